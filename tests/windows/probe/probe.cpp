// A helper the Windows tests run under Wine beside oddball.exe:
//   probe mode           prints the display mode as WIDTHxHEIGHTxBITS
//   probe close TITLE    asks the top-level window TITLE to close (WM_CLOSE)
//   probe wait TITLE S   waits up to S seconds for window TITLE to show; 1 if none came
//   probe exists TITLE S the same for a window that need not show
//   probe hold S         keeps a hidden window "oddball probe" for S seconds
//   probe enabled TITLE  prints which of window TITLE's controls 201-204 are enabled (as 0 and 1)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "mode") == 0) {
        DEVMODEA mode = {};
        mode.dmSize = sizeof mode;
        if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode))
            return 1;
        std::printf("%lux%lux%lu\n", mode.dmPelsWidth, mode.dmPelsHeight, mode.dmBitsPerPel);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "enabled") == 0) {
        HWND window = FindWindowA(nullptr, argv[2]);
        if (!window)
            return 1;
        for (int id = 201; id <= 204; ++id)
            std::printf("%d", IsWindowEnabled(GetDlgItem(window, id)) ? 1 : 0);
        std::printf("\n");
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "close") == 0) {
        HWND window = FindWindowA(nullptr, argv[2]);
        return window && PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    bool wait = argc == 4 && std::strcmp(argv[1], "wait") == 0;
    if (wait || (argc == 4 && std::strcmp(argv[1], "exists") == 0)) {
        for (int i = 0; i < std::atoi(argv[3]) * 10; ++i) {
            HWND window = FindWindowA(nullptr, argv[2]);
            if (window && (!wait || IsWindowVisible(window)))
                return 0;
            Sleep(100);
        }
        return 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0) {
        HWND window = CreateWindowExA(0, "STATIC", "oddball probe", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        if (!window)
            return 1;
        DWORD until = GetTickCount() + DWORD(std::atoi(argv[2])) * 1000;
        MSG message;
        while (LONG(until - GetTickCount()) > 0) {
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
            Sleep(50);
        }
        return 0;
    }
    std::fputs("usage: probe mode | probe close TITLE | probe wait|exists TITLE SECONDS | probe hold SECONDS\n", stderr);
    return 2;
}
