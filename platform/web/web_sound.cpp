// The page's sound ring: its final bytes go to the AudioWorklet, its cursor is what the worklet has played, or the page's clock where no sound plays (emscripten).
#include <emscripten.h>

#include <cstdio>
#include <cstring>

#include "platform/web/web_parts.h"

// clang-format off
EM_JS(int, page_sound_open, (), { return ob.soundOpen(); });
EM_JS(void, page_sound_send, (const uint8_t* bytes, uint32_t count), { ob.soundSend(bytes, count); });
EM_JS(double, page_sound_frames_played, (), { return ob.framesPlayed; });
EM_JS(void, page_sound_close, (), { ob.soundClose(); });
EM_JS(void, page_sound_watch, (), { ob.soundWatch(); });
EM_JS(int, page_sound_lost, (), { return ob.lost ? 1 : 0; });
EM_JS(void, page_sound_off, (), { ob.soundOff(); });
// The page's audio context's own delay before the speakers, in seconds.
EM_JS(double, page_sound_latency, (), { var a = ob.audio; return a ? (a.baseLatency || 0) + (a.outputLatency || 0) : 0; });
// clang-format on

// Gives the worklet every byte of the ring that will not change before it
// plays: the streaming step writes only what has played, so everything
// from the last cursor it read up to one ring ahead of it is final.
void web_feed_sound()
{
    if (!web_world.ring_started || web_world.sound_silent)
        return;
    uint64_t final_end = (web_world.cursor_bytes & ~uint64_t(31)) + platform_sound_buffer_bytes;
    while (web_world.sent_bytes < final_end) {
        uint32_t offset = uint32_t(web_world.sent_bytes % platform_sound_buffer_bytes);
        uint32_t span = platform_sound_buffer_bytes - offset;
        if (uint64_t(span) > final_end - web_world.sent_bytes)
            span = uint32_t(final_end - web_world.sent_bytes);
        page_sound_send(web_world.sound_ring + offset, span);
        web_world.sent_bytes += span;
    }
}

bool web_sound_open(bool* silent)
{
    std::memset(web_world.sound_ring, 0, sizeof web_world.sound_ring);
    web_world.sound_silent = page_sound_open() == 0;
    web_world.sound_open = true;
    web_world.sound_playing = false;
    web_world.ring_started = false;
    web_world.cursor_bytes = 0;
    web_world.sent_bytes = 0;
    *silent = web_world.sound_silent;
    if (web_world.sound_silent)
        page_sound_off();
    return true;
}

namespace {

// From now on the ring plays silently, its cursor in real time from when
// it last moved (the ring's start when the context never ran), so the song
// keeps to the show's schedule.  The sound does not come back in this run:
// "play again" tries it anew.
void go_silent()
{
    page_sound_close();
    web_world.sound_silent = true;
    web_world.silent_since_ms = web_world.moved_ms;
    web_world.silent_from_bytes = web_world.cursor_bytes;
    page_sound_off();
}

// How far a silent ring may fall behind the page's clock and still catch
// up, a ring per reading (the two seconds the page waits for a context to
// run, and some); a page held up longer (or in the background) resumes the
// song where it stopped, as the worklet does.
constexpr uint64_t silent_catch_up_bytes = 4 * platform_sound_rate * 4;

}  // namespace

// The ring starts to play when the streaming step first asks where it is:
// the start-up work that follows sound_play holds up the page, and the
// streaming step with it, so a ring started at once would have played on
// (or run dry) with nobody refilling it.  The cursor is how far the worklet
// has played, moved on by less than a whole ring per reading, so a worklet
// that ran dry while the page was held up resumes the song where it stopped.
// A context that does not run (no sound output, a browser that refuses it)
// never plays a frame: once the page gives up on it, the cursor follows the
// page's clock.
uint32_t web_sound_play_cursor()
{
    if (!web_world.sound_playing)
        return 0;
    if (!web_world.ring_started) {
        web_world.ring_started = true;
        web_world.moved_ms = web_world.silent_since_ms = web_now_ms();
        web_world.silent_from_bytes = 0;
        web_world.frames_before = page_sound_frames_played();
        web_world.cursor_bytes = 0;
        if (!web_world.sound_silent)
            page_sound_watch();
        web_feed_sound();
        return 0;
    }
    if (!web_world.sound_silent && page_sound_lost())
        go_silent();
    uint64_t most = web_world.cursor_bytes + platform_sound_buffer_bytes - 32;
    uint64_t played;
    double now = web_now_ms();
    if (web_world.sound_silent) {
        played = web_world.silent_from_bytes + uint64_t((now - web_world.silent_since_ms) * platform_sound_rate / 1000) * 4;
        if (played > most + silent_catch_up_bytes) {
            web_world.silent_since_ms = now;
            web_world.silent_from_bytes = most;
        }
    } else {
        played = uint64_t(page_sound_frames_played() - web_world.frames_before) * 4;
        if (played > web_world.cursor_bytes)
            web_world.moved_ms = now;
    }
    web_world.cursor_bytes = played < most ? played : most;
    return uint32_t(web_world.cursor_bytes % platform_sound_buffer_bytes);
}

uint32_t web_sound_output_latency_ms()
{
    return web_world.sound_silent ? 0 : uint32_t(page_sound_latency() * 1000 + 0.5);
}

uint8_t* web_sound_buffer()
{
    return web_world.sound_ring;
}

void web_sound_play()
{
    if (!web_world.sound_open || web_world.sound_playing)
        return;
    web_world.sound_playing = true;
    web_world.ring_started = false;
}

void web_sound_close()
{
    if (web_world.sound_open && !web_world.sound_silent)
        page_sound_close();
    web_world.sound_open = false;
    web_world.sound_playing = false;
    web_world.ring_started = false;
}
