// The looping 65,536-byte sound ring through DirectSound.  The streaming
// step writes into a copy of the ring in memory; after each step, what it
// has written is copied into the DirectSound buffer.  Without a sound
// device a silent ring takes its place whose cursor runs in real time.
#include <cstdio>
#include <cstring>

#include "platform/win32/win32_parts.h"

#include <mmsystem.h>
#include <dsound.h>

namespace {

struct win32_sound_state {
    alignas(16) uint8_t ring[platform_sound_buffer_bytes] = {};  // what the device is to play
    IDirectSound* direct_sound = nullptr;
    IDirectSoundBuffer* primary_buffer = nullptr;
    IDirectSoundBuffer* stream_buffer = nullptr;
    bool open = false;
    bool playing = false;
    uint32_t silent_start_ms = 0;
    // The cursors handed out by the last two calls: everything the step has
    // written since lies between the older one (less a frame's alignment)
    // and the newer.
    uint32_t cursor_before = 0;
    uint32_t cursor_last = 0;
};
win32_sound_state sound;

void release_all()
{
    if (sound.stream_buffer) {
        sound.stream_buffer->Stop();
        sound.stream_buffer->Release();
    }
    sound.stream_buffer = nullptr;
    if (sound.primary_buffer)
        sound.primary_buffer->Release();
    sound.primary_buffer = nullptr;
    if (sound.direct_sound)
        sound.direct_sound->Release();
    sound.direct_sound = nullptr;
}

// Copies ring bytes [from, to) (wrapping) into the DirectSound buffer.
void copy_span(uint32_t from, uint32_t to)
{
    uint32_t length = (to - from) % platform_sound_buffer_bytes;
    if (length == 0)
        return;
    void* first = nullptr;
    void* second = nullptr;
    DWORD first_length = 0, second_length = 0;
    HRESULT result = sound.stream_buffer->Lock(from, length, &first, &first_length, &second, &second_length, 0);
    if (result == DSERR_BUFFERLOST) {
        sound.stream_buffer->Restore();
        result = sound.stream_buffer->Lock(from, length, &first, &first_length, &second, &second_length, 0);
    }
    if (FAILED(result))
        return;
    std::memcpy(first, sound.ring + from, first_length);
    if (second)
        std::memcpy(second, sound.ring, second_length);
    sound.stream_buffer->Unlock(first, first_length, second, second_length);
}

bool open_direct_sound(char* why, int why_size)
{
    HRESULT result = DirectSoundCreate(nullptr, &sound.direct_sound, nullptr);
    if (FAILED(result)) {
        sound.direct_sound = nullptr;
        std::snprintf(why, why_size, "DirectSoundCreate failed (0x%08lx)", static_cast<unsigned long>(result));
        return false;
    }
    HWND window = win32_main_window ? win32_main_window : GetDesktopWindow();
    sound.direct_sound->SetCooperativeLevel(window, DSSCL_EXCLUSIVE);
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = platform_sound_rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = platform_sound_rate * 4;
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (SUCCEEDED(sound.direct_sound->CreateSoundBuffer(&desc, &sound.primary_buffer, nullptr)))
        sound.primary_buffer->SetFormat(&format);
    desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS;  // 0x18000
    desc.dwBufferBytes = platform_sound_buffer_bytes;
    desc.lpwfxFormat = &format;
    result = sound.direct_sound->CreateSoundBuffer(&desc, &sound.stream_buffer, nullptr);
    if (FAILED(result)) {
        sound.stream_buffer = nullptr;
        std::snprintf(why, why_size, "CreateSoundBuffer failed (0x%08lx)", static_cast<unsigned long>(result));
        release_all();
        return false;
    }
    copy_span(0, platform_sound_buffer_bytes - 4);  // silence throughout
    copy_span(platform_sound_buffer_bytes - 4, 0);
    return true;
}

}  // namespace

bool win32_sound_open(bool* silent)
{
    std::memset(sound.ring, 0, sizeof sound.ring);
    sound.playing = false;
    sound.cursor_before = sound.cursor_last = 0;
    char why[256];
    *silent = !open_direct_sound(why, sizeof why);
    if (*silent) {
        char line[320];
        std::snprintf(line, sizeof line, "oddball: no sound device (%s); the show runs silently", why);
        platform_debug_string(line);
    }
    sound.open = true;
    return true;
}

uint32_t win32_sound_play_cursor()
{
    if (!sound.playing)
        return 0;
    if (!sound.stream_buffer)
        return platform_sound_cursor_after_ms(uint32_t(GetTickCount() - sound.silent_start_ms));
    DWORD play = 0, write = 0;
    HRESULT result = sound.stream_buffer->GetCurrentPosition(&play, &write);
    if (result == DSERR_BUFFERLOST) {
        sound.stream_buffer->Restore();
        sound.stream_buffer->Play(0, 0, DSBPLAY_LOOPING);
        result = sound.stream_buffer->GetCurrentPosition(&play, &write);
    }
    if (FAILED(result))
        return sound.cursor_last;
    uint32_t cursor = uint32_t(play) % platform_sound_buffer_bytes & ~3u;
    sound.cursor_before = sound.cursor_last;
    sound.cursor_last = cursor;
    return cursor;
}

void win32_sound_flush()
{
    // The step wrote, at most, from a frame's alignment before the cursor it
    // was given the time before up to the cursor it was given this time.
    if (sound.stream_buffer && sound.playing)
        copy_span((sound.cursor_before + platform_sound_buffer_bytes - 32) % platform_sound_buffer_bytes,
                  sound.cursor_last);
}

uint8_t* win32_sound_buffer()
{
    return sound.ring;
}

void win32_sound_play()
{
    if (!sound.open || sound.playing)
        return;
    if (sound.stream_buffer) {
        copy_span(0, platform_sound_buffer_bytes - 4);
        copy_span(platform_sound_buffer_bytes - 4, 0);
        sound.stream_buffer->Play(0, 0, DSBPLAY_LOOPING);
    }
    sound.silent_start_ms = GetTickCount();
    sound.playing = true;
}

void win32_sound_close()
{
    release_all();
    sound.open = false;
    sound.playing = false;
}
