// The show's window, its events and its display: a streaming texture in the
// chosen pixel format, scaled to the window keeping 4:3 (SDL2).
#include <SDL.h>

#include <cstdio>

#include "platform/sdl/sdl_parts.h"

namespace {

struct sdl_video_state {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    bool video_started = false;
    char window_failure[256] = {};  // why the window could not be made
};
sdl_video_state video;

Uint32 texture_format(int depth)
{
    switch (depth) {
    case 15: return SDL_PIXELFORMAT_XRGB1555;
    case 16: return SDL_PIXELFORMAT_RGB565;
    case 24: return SDL_PIXELFORMAT_RGB24;  // red, green, blue at increasing addresses
    case 32: return SDL_PIXELFORMAT_XRGB8888;
    default: return SDL_PIXELFORMAT_UNKNOWN;
    }
}

bool fail(char* why, int why_size, const char* what)
{
    std::snprintf(why, why_size, "%s: %s", what, SDL_GetError());
    return false;
}

}  // namespace

bool sdl_window_create(const char* title)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::snprintf(video.window_failure, sizeof video.window_failure, "no video: %s", SDL_GetError());
        return false;
    }
    video.video_started = true;
    // Hidden until the display is set up, as the show's window is never shown on its own.
    video.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 320, 240,
                                    SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (!video.window) {
        std::snprintf(video.window_failure, sizeof video.window_failure, "no window: %s", SDL_GetError());
        return false;
    }
    return true;
}

platform_event sdl_poll_event()
{
    if (!video.video_started)
        return platform_event::none;
    SDL_Event event;
    if (!SDL_PollEvent(&event))
        return platform_event::none;
    switch (event.type) {
    case SDL_QUIT:
        return platform_event::close;
    case SDL_WINDOWEVENT:
        return event.window.event == SDL_WINDOWEVENT_CLOSE ? platform_event::close : platform_event::other;
    case SDL_KEYDOWN:
        return event.key.keysym.sym == SDLK_ESCAPE ? platform_event::key_escape : platform_event::key_other;
    default:
        return platform_event::other;
    }
}

void sdl_window_destroy()
{
    sdl_display_close();
    if (video.window)
        SDL_DestroyWindow(video.window);
    video.window = nullptr;
    if (video.video_started)
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    video.video_started = false;
}

void sdl_show_cursor(bool visible)
{
    if (video.video_started)
        SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool sdl_display_open(const platform_display_mode& mode, char* why, int why_size)
{
    if (!video.window) {
        std::snprintf(why, why_size, "%s", video.window_failure[0] ? video.window_failure : "no window");
        return false;
    }
    Uint32 format = texture_format(mode.depth);
    if (format == SDL_PIXELFORMAT_UNKNOWN) {
        std::snprintf(why, why_size, "no pixel format of depth %d", mode.depth);
        return false;
    }
    SDL_SetWindowSize(video.window, mode.width, mode.height);
    if (mode.fullscreen && SDL_SetWindowFullscreen(video.window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
        return fail(why, why_size, "no full screen");
    // The flip waits for the display; a renderer that cannot wait still presents.
    video.renderer = SDL_CreateRenderer(video.window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!video.renderer)
        video.renderer = SDL_CreateRenderer(video.window, -1, 0);
    if (!video.renderer)
        return fail(why, why_size, "no renderer");
    // The picture keeps its 4:3 shape with black bars; its pixels stay sharp.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    if (SDL_RenderSetLogicalSize(video.renderer, mode.width, mode.height) != 0)
        return fail(why, why_size, "no scaling");
    video.texture = SDL_CreateTexture(video.renderer, format, SDL_TEXTUREACCESS_STREAMING, mode.width, mode.height);
    if (!video.texture)
        return fail(why, why_size, "no back buffer");
    // Shown only now: making the renderer may replace the window with one of another visual.
    SDL_ShowWindow(video.window);
    return true;
}

bool sdl_display_lock(uint8_t** pixels, int* pitch)
{
    void* memory = nullptr;
    if (!video.texture || SDL_LockTexture(video.texture, nullptr, &memory, pitch) != 0)
        return false;
    *pixels = static_cast<uint8_t*>(memory);
    return true;
}

bool sdl_display_unlock()
{
    if (!video.texture)
        return false;
    SDL_UnlockTexture(video.texture);
    return true;
}

bool sdl_display_flip()
{
    if (!video.renderer || !video.texture)
        return false;
    SDL_SetRenderDrawColor(video.renderer, 0, 0, 0, 255);
    if (SDL_RenderClear(video.renderer) != 0 || SDL_RenderCopy(video.renderer, video.texture, nullptr, nullptr) != 0)
        return false;
    SDL_RenderPresent(video.renderer);
    return true;
}

void sdl_display_close()
{
    if (video.texture)
        SDL_DestroyTexture(video.texture);
    video.texture = nullptr;
    if (video.renderer)
        SDL_DestroyRenderer(video.renderer);
    video.renderer = nullptr;
    if (video.window) {
        SDL_SetWindowFullscreen(video.window, 0);
        SDL_HideWindow(video.window);
    }
}
