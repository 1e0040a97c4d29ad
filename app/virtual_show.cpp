// The show on the virtual backend: one run, its stop, the frames' times per scene, the song alone (portable).
#include "app/virtual_show.h"

#include <algorithm>

#include "app/clock.h"
#include "app/display.h"
#include "app/entry.h"
#include "music/mixer.h"
#include "music/player.h"
#include "music/sound.h"

int virtual_show_run(int fps, int scale, virtual_frame_sink frames, void* frames_user, virtual_sound_sink sound,
                     void* sound_user)
{
    platform_use(&platform_virtual_backend);
    virtual_reset();
    virtual_set_frame_sink(frames, frames_user);
    virtual_set_sound_sink(sound, sound_user);
    virtual_set_frame_rate(uint32_t(fps));
    display.display_depth = 32;
    display.display_scale = scale;
    display.display_windowed = true;
    return program_entry();
}

void virtual_show_stop_after(int32_t until_ms, int fps)
{
    // Frame k comes at k x 1000 / fps ms, rounded down.
    const uint64_t next = uint64_t(virtual_frames_flipped()) * 1000 / uint64_t(fps);
    if (until_ms >= 0 && int64_t(next) > until_ms)
        quit_requested = 1;
}

void scene_frame_times::add(double frame_ms)
{
    ms[int(scene_for_order(show_clock.music.music_order))].push_back(float(frame_ms));
}

scene_frame_times::summary scene_frame_times::of(scene_id scene)
{
    std::vector<float>& t = ms[int(scene)];
    if (t.empty())
        return {};
    std::sort(t.begin(), t.end());
    return {t.size(), t[t.size() / 2], t[t.size() * 99 / 100], double(t.back())};
}

bool render_song(int64_t frames, std::vector<int16_t>& samples)
{
    constexpr int block = 441;  // 10 ms
    player_init(sound_output.player, load_music());
    player_start(sound_output.player, 0);
    samples.clear();
    std::vector<int32_t> mix(2 * block);
    // To the end: the song's last row, then the clock's delay, as the show hears it.
    int64_t tail = -1;
    for (int64_t at = 0; frames < 0 ? tail != 0 : at < frames; at += block) {
        const int n = int(frames < 0 ? block : std::min<int64_t>(block, frames - at));
        mixer_render(sound_output.player, uint32_t(n), mix.data());
        const size_t end = samples.size();
        samples.resize(end + size_t(n) * 2);
        convert_to_pcm16(mix.data(), samples.data() + end, uint32_t(n) * 4);
        if (frames >= 0)
            continue;
        const uint16_t position = player_position(sound_output.player);
        if (tail > 0)
            --tail;
        else if (tail < 0 && position >= (song_end_order << 8 | song_end_row))
            tail = clock_release_delay_ms / 10;
        if (samples.size() > size_t(20) * 60 * 44100 * 2)
            return false;
    }
    return true;
}
