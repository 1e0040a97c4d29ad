// The whole show at 60 frames per second as a viewer sees and hears it: one
// run on the virtual backend, its flipped frames and the sound the ring
// played, measured against the song played once through on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/clock.h"
#include "app/display.h"
#include "app/entry.h"
#include "app/virtual_show.h"
#include "director/timeline.h"
#include "music/sound.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_controls.h"
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
    bool fading;  // in one of the show's fades or blackouts, or black before the first beat
    bool streaks;  // the streak scene, whose beat flashes are white by design
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
    const int32_t order = show_clock.music.music_order, row = show_clock.music.music_row;
    // The fades: order 16 from row 56, order 17, order 26 after row 32, the
    // blackout of about 0.94 s after each event of value 3 from order 23 on;
    // and the black before the first beat.
    const bool fading = (order == 16 && row >= 56) || order == 17 || (order == 26 && row > 32) ||
                        (order >= 23 && show_clock.elapsed_ms - director.sync3_time < 943) ||
                        (order == 0 && director.reveal_beats == 0);
    frame_look look = {frame.time_ms, order, row, 0, 0, 0, {}, fading,
                       scene_for_order(order) == scene_id::zoomer_streaks};
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
    quit_requested = 0;
    EXPECT_EQ(virtual_show_run(fps, 1, record_frame, &record, record_sound, &record), 0);
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
    player_init(player, load_music());
    player_start(player, 0);
    song_walk walk = walk_song(player, 0, true);
    player_stop(player);
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

namespace {

// Flashes in the sense of the three-flashes rule: a change is a run of
// frames in which the relative luminance of the frame, or of one of its
// quarters, moves one way by 0.1 or more with the darker end below 0.8; a
// flash is a pair of opposing changes; no more than three flashes may fall
// in any one second.  Counted per area; reported per scene.
TEST(Viewer, NoMoreThanThreeFlashesInAnySecond)
{
    const std::vector<frame_look>& looks = whole_show().looks;
    ASSERT_GT(looks.size(), size_t(150 * fps));
    size_t most_by_scene[16] = {};
    for (int area = 0; area < 5; ++area) {
        std::vector<size_t> changes;  // the frame where each ends
        size_t start = 0;
        auto step = [&](size_t k) { return looks[k].luminance[area] - looks[k - 1].luminance[area]; };
        for (size_t i = 1; i <= looks.size(); ++i) {
            if (i < looks.size() && step(i) != 0 && (i == start + 1 || (step(i) > 0) == (step(i - 1) > 0)))
                continue;
            const double from = looks[start].luminance[area], to = looks[i - 1].luminance[area];
            if (std::fabs(to - from) >= 0.1 && std::min(from, to) < 0.8)
                changes.push_back(i - 1);
            start = i - 1;
        }
        for (size_t first = 0, last = 0; last < changes.size(); ++last) {
            while (changes[last] - changes[first] >= size_t(fps))
                ++first;
            const frame_look& at = looks[changes[last]];
            size_t& most = most_by_scene[int(scene_for_order(at.order))];
            most = std::max(most, last - first + 1);
            EXPECT_LE((last - first + 1) / 2, 3u) << "area " << area << ", the second up to " << at.ms << " ms";
        }
    }
    std::printf("most flashes in one second, by scene:");
    for (int scene = 0; scene <= int(scene_id::closing_layer); ++scene)
        std::printf(" %zu", most_by_scene[scene] / 2);
    std::printf("\n");
}

// Every second of the show outside its fades has a mean luma of at least 40
// (of 255) and a deviation of at least 25; no frame outside the streak
// scene's beat flashes is more than 10 % near white.
TEST(Viewer, NoSecondIsDeadAndNoFrameIsBlownOut)
{
    const std::vector<frame_look>& looks = whole_show().looks;
    const uint32_t end_ms = looks.back().ms;
    struct {
        int second = -1;
        double value;
    } darkest{-1, 256}, flattest{-1, 256}, whitest_second{-1, 0};
    for (size_t first = 0; first < looks.size(); first += fps) {
        const int second = int(first / fps);
        double mean = 0, deviation = 0, whitest = 0;
        size_t counted = 0;
        for (size_t i = first; i < std::min(looks.size(), first + fps); ++i) {
            const frame_look& f = looks[i];
            if (!f.streaks)
                whitest = std::max(whitest, f.near_white);
            if (f.fading || f.ms + 1000 > end_ms)
                continue;
            mean += f.luma_mean;
            deviation += f.luma_deviation;
            ++counted;
        }
        EXPECT_LE(whitest, 0.10) << "second " << second;
        if (whitest > whitest_second.value)
            whitest_second = {second, whitest};
        if (counted < size_t(fps / 2))
            continue;
        EXPECT_GE(mean / counted, 40.0) << "second " << second;
        EXPECT_GE(deviation / counted, 25.0) << "second " << second;
        if (mean / counted < darkest.value)
            darkest = {second, mean / counted};
        if (deviation / counted < flattest.value)
            flattest = {second, deviation / counted};
    }
    std::printf("darkest second %d (mean luma %.1f), flattest %d (deviation %.1f), whitest %d (%.1f %% near-white)\n",
                darkest.second, darkest.value, flattest.second, flattest.value, whitest_second.second,
                100 * whitest_second.value);
}

}  // namespace
