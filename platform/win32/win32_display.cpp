// The display through DirectDraw (version-1 interfaces): an exclusive
// full-screen mode with a flipping primary surface and one back buffer, or,
// in a window, an off-screen back buffer blitted to the client area.
#include <cstdio>

#include "platform/win32/win32_parts.h"

#include <ddraw.h>

namespace {

struct win32_video_state {
    IDirectDraw* direct_draw = nullptr;
    IDirectDrawSurface* primary_surface = nullptr;
    IDirectDrawSurface* back_surface = nullptr;
    IDirectDrawClipper* clipper = nullptr;
    bool windowed = false;
    bool mode_set = false;
    DDSURFACEDESC locked = {};
};
win32_video_state video;

bool fail(char* why, int why_size, const char* what, HRESULT result)
{
    std::snprintf(why, why_size, "%s failed (0x%08lx)", what, static_cast<unsigned long>(result));
    return false;
}

// A back buffer in the system's memory with the pixel layout of `depth`.
DDPIXELFORMAT pixel_format(int depth)
{
    DDPIXELFORMAT format = {};
    format.dwSize = sizeof format;
    format.dwFlags = DDPF_RGB;
    format.dwRGBBitCount = depth == 15 ? 16 : depth;
    switch (depth) {
    case 15: format.dwRBitMask = 0x7C00, format.dwGBitMask = 0x03E0, format.dwBBitMask = 0x001F; break;
    case 16: format.dwRBitMask = 0xF800, format.dwGBitMask = 0x07E0, format.dwBBitMask = 0x001F; break;
    default: format.dwRBitMask = 0xFF0000, format.dwGBitMask = 0x00FF00, format.dwBBitMask = 0x0000FF; break;
    }
    return format;
}

bool open_full_screen(const platform_display_mode& mode, char* why, int why_size)
{
    HRESULT result = video.direct_draw->SetCooperativeLevel(win32_main_window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
    if (FAILED(result))
        return fail(why, why_size, "SetCooperativeLevel", result);
    result = video.direct_draw->SetDisplayMode(DWORD(mode.width), DWORD(mode.height), DWORD(mode.depth));
    if (FAILED(result)) {
        std::snprintf(why, why_size, "SetDisplayMode %d x %d x %d failed (0x%08lx)", mode.width, mode.height,
                      mode.depth, static_cast<unsigned long>(result));
        return false;
    }
    video.mode_set = true;
    // The keyboard comes here: a window that is never shown cannot be the
    // active one, and after the mode dialog nothing else would be.  Shown,
    // it covers the screen of the mode.
    SetWindowPos(win32_main_window, HWND_TOPMOST, 0, 0, mode.width, mode.height, SWP_SHOWWINDOW);
    SetForegroundWindow(win32_main_window);
    SetFocus(win32_main_window);
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.dwBackBufferCount = 1;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;
    result = video.direct_draw->CreateSurface(&desc, &video.primary_surface, nullptr);
    if (FAILED(result))
        return fail(why, why_size, "CreateSurface", result);
    DDSCAPS caps = {};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    result = video.primary_surface->GetAttachedSurface(&caps, &video.back_surface);
    if (FAILED(result))
        return fail(why, why_size, "GetAttachedSurface", result);
    // Only its success matters: the layout written is fixed by the depth.
    DDPIXELFORMAT format = {};
    format.dwSize = sizeof format;
    result = video.primary_surface->GetPixelFormat(&format);
    if (FAILED(result))
        return fail(why, why_size, "GetPixelFormat", result);
    // For whoever watches the debugger: the mode as DirectDraw gives it.
    char line[160];
    std::snprintf(line, sizeof line, "oddball: display %d x %d, %lu bits a pixel (red %04lx, green %04lx, blue %04lx)",
                  mode.width, mode.height, static_cast<unsigned long>(format.dwRGBBitCount),
                  static_cast<unsigned long>(format.dwRBitMask), static_cast<unsigned long>(format.dwGBitMask),
                  static_cast<unsigned long>(format.dwBBitMask));
    OutputDebugStringA(line);
    return true;
}

bool open_windowed(const platform_display_mode& mode, char* why, int why_size)
{
    HRESULT result = video.direct_draw->SetCooperativeLevel(win32_main_window, DDSCL_NORMAL);
    if (FAILED(result))
        return fail(why, why_size, "SetCooperativeLevel", result);
    RECT frame = {0, 0, mode.width, mode.height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(win32_main_window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOMOVE);
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    result = video.direct_draw->CreateSurface(&desc, &video.primary_surface, nullptr);
    if (FAILED(result))
        return fail(why, why_size, "CreateSurface (primary)", result);
    result = video.direct_draw->CreateClipper(0, &video.clipper, nullptr);
    if (FAILED(result))
        return fail(why, why_size, "CreateClipper", result);
    video.clipper->SetHWnd(0, win32_main_window);
    video.primary_surface->SetClipper(video.clipper);
    desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.dwWidth = DWORD(mode.width);
    desc.dwHeight = DWORD(mode.height);
    desc.ddpfPixelFormat = pixel_format(mode.depth);
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    result = video.direct_draw->CreateSurface(&desc, &video.back_surface, nullptr);
    if (FAILED(result))
        return fail(why, why_size, "CreateSurface (back buffer)", result);
    ShowWindow(win32_main_window, SW_SHOWNORMAL);
    return true;
}

}  // namespace

bool win32_display_open(const platform_display_mode& mode, char* why, int why_size)
{
    if (!win32_main_window) {
        std::snprintf(why, why_size, "no window (CreateWindowExA failed, error %lu)",
                      static_cast<unsigned long>(win32_window_error));
        return false;
    }
    HRESULT result = DirectDrawCreate(nullptr, &video.direct_draw, nullptr);
    if (FAILED(result)) {
        video.direct_draw = nullptr;
        return fail(why, why_size, "DirectDrawCreate", result);
    }
    video.windowed = !mode.fullscreen;
    return video.windowed ? open_windowed(mode, why, why_size) : open_full_screen(mode, why, why_size);
}

bool win32_display_lock(uint8_t** pixels, int* pitch)
{
    if (!video.back_surface)
        return false;
    video.locked = {};
    video.locked.dwSize = sizeof video.locked;
    if (FAILED(video.back_surface->Lock(nullptr, &video.locked, DDLOCK_WAIT, nullptr)))
        return false;
    *pixels = static_cast<uint8_t*>(video.locked.lpSurface);
    *pitch = int(video.locked.lPitch);
    return true;
}

bool win32_display_unlock()
{
    return video.back_surface && SUCCEEDED(video.back_surface->Unlock(nullptr));
}

bool win32_display_flip()
{
    if (!video.primary_surface)
        return false;
    if (!video.windowed)
        return SUCCEEDED(video.primary_surface->Flip(nullptr, DDFLIP_WAIT));
    RECT client;
    GetClientRect(win32_main_window, &client);
    if (client.right <= 0 || client.bottom <= 0)
        return true;  // minimised: nothing to show
    RECT target = win32_picture_rect(client.right, client.bottom);
    POINT corner = {0, 0};
    ClientToScreen(win32_main_window, &corner);
    OffsetRect(&target, corner.x, corner.y);
    return SUCCEEDED(video.primary_surface->Blt(&target, video.back_surface, nullptr, DDBLT_WAIT, nullptr));
}

void win32_display_close()
{
    if (video.back_surface)
        video.back_surface->Release();
    video.back_surface = nullptr;
    if (video.primary_surface)
        video.primary_surface->Release();
    video.primary_surface = nullptr;
    if (video.clipper)
        video.clipper->Release();
    video.clipper = nullptr;
    if (video.direct_draw) {
        video.direct_draw->SetCooperativeLevel(win32_main_window, DDSCL_NORMAL);
        if (video.mode_set)
            video.direct_draw->RestoreDisplayMode();
        video.direct_draw->Release();
    }
    video.direct_draw = nullptr;
    video.mode_set = false;
    if (video.windowed && win32_main_window)
        ShowWindow(win32_main_window, SW_HIDE);
    video.windowed = false;
}
