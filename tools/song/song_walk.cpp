// Playing a song once through the player and mixer, row by row (portable; tool side).
#include "tools/song/song_walk.h"

#include "music/mixer.h"

namespace {

constexpr uint64_t longest_song_frames = uint64_t(20) * 60 * mix_rate;  // 20 minutes

// Whether the row the coming tick reads (if it reads one) is reached by
// passing the song's end.
bool tick_wraps(const player_state& s)
{
    uint32_t target = s.jump_order;
    if (target == no_jump)
        target = s.row + 1 >= s.pattern_rows ? s.order + 1 : s.order;
    return target >= s.header.song_length;
}

}  // namespace

song_walk walk_song(player_state& s, uint64_t limit_frames, bool keep_pcm)
{
    song_walk walk;
    uint64_t limit = limit_frames ? limit_frames : longest_song_frames;
    std::vector<int32_t> chunk;
    while (walk.frames < limit) {
        // A tick is rendered alone with its first frame, so the row it reads
        // is seen with the frame it starts at; the frames between ticks go
        // in one call.
        bool ticking = s.tick_countdown < 256;
        uint32_t order_before = s.order;
        bool wraps = ticking && tick_wraps(s);
        uint64_t n = ticking ? 1 : s.tick_countdown >> 8;
        if (n > limit - walk.frames)
            n = limit - walk.frames;
        chunk.assign(2 * n, 0);
        mixer_render(s, uint32_t(n), chunk.data());
        if (ticking && s.row_tick) {
            if (!limit_frames && s.order == s.header.restart_position && (order_before != s.order || wraps)) {
                walk.returned = true;
                break;
            }
            walk.rows.push_back({walk.frames, s.order, s.row, player_sync_value(s)});
        }
        if (keep_pcm) {
            size_t at = walk.pcm.size();
            walk.pcm.resize(at + chunk.size());
            convert_to_pcm16(chunk.data(), walk.pcm.data() + at, uint32_t(2 * chunk.size()));
        }
        walk.frames += n;
    }
    return walk;
}
