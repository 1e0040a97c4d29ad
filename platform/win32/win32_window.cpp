// The show's one window: its class, the window procedure and the one-message
// pump, the cursor (USER32).
#include "platform/win32/win32_parts.h"

HWND win32_main_window = nullptr;
DWORD win32_window_error = 0;

namespace {

// What the window procedure made of the last message it was given.
platform_event last_event = platform_event::none;
char class_name[64];
bool class_registered = false;

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_DESTROY:
        return 0;
    case WM_PAINT:
        ValidateRect(window, nullptr);
        break;
    case WM_CLOSE:
        last_event = platform_event::close;
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:  // Escape with Alt held (or thought held) is Escape still
        if (wparam == VK_ESCAPE) {
            last_event = platform_event::key_escape;
            return 0;
        }
        last_event = platform_event::key_other;
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

bool win32_window_create(const char* title)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    lstrcpynA(class_name, title, sizeof class_name);
    WNDCLASSA window_class = {};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.lpszMenuName = class_name;
    window_class.lpszClassName = class_name;
    // The full-screen display covers the window; in a window the picture is
    // blitted over a black background.
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    class_registered = RegisterClassA(&window_class) != 0;
    // Not visible and of no size: the picture comes from the display.
    win32_main_window = CreateWindowExA(0, class_name, title, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                                        instance, nullptr);
    if (!win32_main_window) {
        win32_window_error = GetLastError();
        return false;
    }
    UpdateWindow(win32_main_window);
    return true;
}

platform_event win32_poll_event()
{
    // At most one message a call, taken for whichever window of the thread
    // it is meant (a pump filtered to the main window would wait forever on
    // a message for another one).
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        return platform_event::none;
    if (message.message == WM_QUIT)
        return platform_event::close;
    last_event = platform_event::other;
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return last_event;
}

void win32_window_destroy()
{
    win32_display_close();
    if (win32_main_window)
        DestroyWindow(win32_main_window);
    win32_main_window = nullptr;
    if (class_registered)
        UnregisterClassA(class_name, GetModuleHandleA(nullptr));
    class_registered = false;
}

void win32_show_cursor(bool visible)
{
    ShowCursor(visible ? TRUE : FALSE);
}

RECT win32_picture_rect(int width, int height)
{
    int w = width, h = width * 3 / 4;
    if (h > height) {
        h = height;
        w = height * 4 / 3;
    }
    RECT r;
    r.left = (width - w) / 2;
    r.top = (height - h) / 2;
    r.right = r.left + w;
    r.bottom = r.top + h;
    return r;
}
