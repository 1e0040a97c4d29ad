// The looping 65,536-byte sound ring: the SDL audio callback plays it at the
// play cursor; without a sound device a silent one keeps the cursor running
// in real time (SDL2).
#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/sdl/sdl_parts.h"

namespace {

struct sdl_sound_state {
    alignas(16) uint8_t ring[platform_sound_buffer_bytes] = {};  // written as 16-bit samples
    std::atomic<uint32_t> play_cursor{0};  // written by the audio thread, read by the streaming task
    // Raised by the streaming task after each step (release) and read by the
    // audio thread before it plays (acquire): the bytes a step wrote are
    // ordered before the reads that play them a lap later.  (The cursor
    // orders the other way: the reads before the step's writes.)
    std::atomic<uint32_t> steps_written{0};
    SDL_AudioDeviceID device = 0;
    uint32_t device_frames = 0;  // what the device takes a callback, played after the ring
    bool audio_started = false;
    bool open = false;
    bool silent = false;        // no device: the cursor follows the tick clock
    bool playing = false;
    uint32_t silent_start_ms = 0;
};
sdl_sound_state sound;

// Runs on SDL's audio thread: hands the device the next `length` bytes of the
// ring and moves the cursor past them, so the bytes behind it are free.
void SDLCALL play_ring(void*, Uint8* out, int length)
{
    sound.steps_written.load(std::memory_order_acquire);
    uint32_t cursor = sound.play_cursor.load(std::memory_order_relaxed);
    while (length > 0) {
        uint32_t run = platform_sound_buffer_bytes - cursor;
        if (run > uint32_t(length))
            run = uint32_t(length);
        std::memcpy(out, sound.ring + cursor, run);
        out += run;
        length -= int(run);
        cursor = (cursor + run) % platform_sound_buffer_bytes;
    }
    sound.play_cursor.store(cursor, std::memory_order_release);
}

}  // namespace

bool sdl_sound_open(bool* silent)
{
    std::memset(sound.ring, 0, sizeof sound.ring);
    sound.play_cursor.store(0);
    sound.playing = false;
    sound.silent = true;
    char why[256] = "no audio";
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::snprintf(why, sizeof why, "%s", SDL_GetError());
    } else {
        sound.audio_started = true;
        SDL_AudioSpec wanted{};
        wanted.freq = platform_sound_rate;
        wanted.format = AUDIO_S16LSB;
        wanted.channels = 2;
        wanted.samples = 1024;  // about 23 ms a callback, well inside the ring
        wanted.callback = play_ring;
        SDL_AudioSpec obtained{};
        sound.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (sound.device != 0) {
            sound.silent = false;
            sound.device_frames = obtained.samples;
        }
        else
            std::snprintf(why, sizeof why, "%s", SDL_GetError());
    }
    if (sound.silent) {
        char line[320];
        std::snprintf(line, sizeof line, "oddball: no sound device (%s); the show runs silently", why);
        platform_debug_string(line);
    }
    sound.open = true;
    *silent = sound.silent;
    return true;
}

uint32_t sdl_sound_play_cursor()
{
    if (sound.silent)
        return sound.playing ? platform_sound_cursor_after_ms(uint32_t(SDL_GetTicks() - sound.silent_start_ms)) : 0;
    return sound.play_cursor.load(std::memory_order_acquire);
}

void sdl_sound_written()
{
    sound.steps_written.fetch_add(1, std::memory_order_release);
}

uint32_t sdl_sound_output_latency_ms()
{
    // A callback's bytes start to sound when the device's previous buffer has played.
    return sound.device ? sound.device_frames * 1000 / uint32_t(platform_sound_rate) : 0;
}

uint8_t* sdl_sound_buffer()
{
    return sound.ring;
}

void sdl_sound_play()
{
    if (!sound.open || sound.playing)
        return;
    sound.playing = true;
    sound.silent_start_ms = SDL_GetTicks();
    if (sound.device)
        SDL_PauseAudioDevice(sound.device, 0);
}

void sdl_sound_close()
{
    if (sound.device)
        SDL_CloseAudioDevice(sound.device);  // waits for a callback that is running
    sound.device = 0;
    if (sound.audio_started)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sound.audio_started = false;
    sound.open = false;
    sound.playing = false;
}
