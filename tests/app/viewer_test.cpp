// The whole show at 60 frames per second as a viewer sees and hears it: one
// run on the virtual backend, its flipped frames and the sound the ring
// played, measured against the song played once through on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/clock.h"
#include "app/display.h"
#include "app/entry.h"
#include "director/timeline.h"
#include "music/sound.h"
#include "platform/platform.h"
#include "tools/song/song_walk.h"

namespace {

constexpr int fps = 60;

struct released_event {
    int32_t value;
    uint32_t frame_ms;  // the flip of the first frame drawn after it
};

// What a frame looks like: luma (BT.601, 0 to 255) and the relative
// luminance (0 to 1) of the whole picture and of its four quarters.
struct frame_look {
    uint32_t ms;
    int32_t order, row;
    double luma_mean, luma_deviation;
    double near_white;  // share of pixels with red, green and blue all 248 or more
    double luminance[5];  // the whole frame, then the quarters (top left, top right, bottom left, bottom right)
};

struct show_record {
    std::vector<uint8_t> heard;  // every byte the ring played, from virtual time 0
    std::vector<released_event> released;
    std::vector<frame_look> looks;
    bool pending[clock_ring_size] = {};
    uint32_t last_ms = 0;
};

void record_frame(const virtual_frame& frame, void* user)
{
    auto& r = *static_cast<show_record*>(user);
    // A sync entry the frame loop took off the ring since the last flip was
    // acted on in this frame.
    for (int i = 0; i < clock_ring_size; ++i) {
        bool now = show_clock.sync_ring[i].pending != 0;
        if (r.pending[i] && !now)
            r.released.push_back({show_clock.sync_ring[i].value, frame.time_ms});
        r.pending[i] = now;
    }
    r.last_ms = frame.time_ms;

    static double linear[256];
    if (linear[255] == 0)
        for (int i = 0; i < 256; ++i) {
            double c = i / 255.0;
            linear[i] = c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
    frame_look look = {frame.time_ms, show_music.music_order, show_music.music_row, 0, 0, 0, {}};
    double sum = 0, squares = 0;
    int64_t white = 0;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            const uint8_t* p = frame.pixels + size_t(y) * frame.pitch + size_t(x) * 4;
            double luma = 0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0];
            sum += luma;
            squares += luma * luma;
            white += p[0] >= 248 && p[1] >= 248 && p[2] >= 248;
            double l = 0.2126 * linear[p[2]] + 0.7152 * linear[p[1]] + 0.0722 * linear[p[0]];
            look.luminance[1 + (y >= frame.height / 2) * 2 + (x >= frame.width / 2)] += l;
        }
    const double pixels = double(frame.width) * frame.height;
    look.luma_mean = sum / pixels;
    look.luma_deviation = std::sqrt(std::max(0.0, squares / pixels - look.luma_mean * look.luma_mean));
    look.near_white = double(white) / pixels;
    for (int q = 1; q < 5; ++q) {
        look.luminance[0] += look.luminance[q] / pixels;
        look.luminance[q] /= pixels / 4;
    }
    r.looks.push_back(look);
}

void record_sound(const uint8_t* bytes, uint32_t count, void* user)
{
    auto& r = *static_cast<show_record*>(user);
    r.heard.insert(r.heard.end(), bytes, bytes + count);
}

const show_record& whole_show()
{
    static show_record record;
    static bool done = false;
    if (done)
        return record;
    done = true;
    platform_use(&platform_virtual_backend);
    virtual_reset();
    virtual_set_frame_sink(record_frame, &record);
    virtual_set_sound_sink(record_sound, &record);
    virtual_set_frame_rate(fps);
    display.display_depth = 32;
    display.display_scale = 1;
    display.display_windowed = true;
    quit_requested = 0;
    show_clock = clock_state{};
    show_music = music_position{};
    EXPECT_EQ(program_entry(), 0);
    platform_use(&platform_sdl_backend);
    return record;
}

// Every sync event of the song reaches the picture when its row is heard:
// on average within a frame, none more than two frames off.  Where a row is
// heard comes from the song played through on its own: its output appears
// unchanged in what the ring played, one lag later, and the row's tick
// starts at a known frame of it.
TEST(Viewer, EverySyncEventIsSeenWhenItsRowIsHeard)
{
    player_state player;
    player_init(&player, load_music());
    player_start(0);
    song_walk walk = walk_song(player, 0, true);
    player_stop();
    const show_record& show = whole_show();
    ASSERT_GT(show.heard.size(), size_t(150) * 176400);
    auto heard = reinterpret_cast<const int16_t*>(show.heard.data());
    const uint64_t heard_frames = show.heard.size() / 4;

    // The lag: where the song's first second, once it is no longer silent, lies in what was heard.
    uint64_t loud = 0;
    while (loud < walk.frames && walk.pcm[2 * loud] == 0 && walk.pcm[2 * loud + 1] == 0)
        ++loud;
    const size_t window = 2 * 44100;
    uint64_t lag = 0;
    while (lag + loud + window / 2 < heard_frames &&
           std::memcmp(heard + 2 * (lag + loud), walk.pcm.data() + 2 * loud, window * 2) != 0)
        ++lag;
    ASSERT_LT(lag + loud + window / 2, heard_frames) << "the song is not in what the ring played";

    std::vector<double> offsets;
    uint8_t previous = 0;
    size_t next = 0;
    for (const song_row_event& row : walk.rows) {
        if (row.sync == previous)
            continue;
        previous = row.sync;
        const uint64_t at = row.frame + lag;
        // Only events heard a frame before the show ended can have been seen.
        if (at * 1000 / 44100 + 1000 / fps >= show.last_ms)
            break;
        ASSERT_LT(next, show.released.size()) << "order " << row.order << ", row " << row.row << " was never seen";
        const released_event& seen = show.released[next++];
        EXPECT_EQ(seen.value, row.sync);
        EXPECT_EQ(std::memcmp(heard + 2 * at, walk.pcm.data() + 2 * row.frame, 2 * 2048), 0)
            << "order " << row.order << ", row " << row.row << " is not heard at the lag";
        const double offset = seen.frame_ms - at * 1000.0 / 44100;
        offsets.push_back(offset);
        EXPECT_LE(std::fabs(offset), 2000.0 / fps)
            << "order " << row.order << ", row " << row.row << ": seen " << offset << " ms after it is heard";
    }
    EXPECT_EQ(next, show.released.size()) << "events were seen that the song did not have";
    ASSERT_GE(offsets.size(), 20u);
    double mean = 0;
    for (double o : offsets)
        mean += o / double(offsets.size());
    const auto [low, high] = std::minmax_element(offsets.begin(), offsets.end());
    std::printf("%zu sync events, seen %.1f ms after they are heard on average (%.1f to %.1f)\n", offsets.size(),
                mean, *low, *high);
    EXPECT_LE(std::fabs(mean), 1000.0 / fps);
}

}  // namespace
