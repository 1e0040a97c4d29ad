// oddball-tool play-song: a module or an XM song played through the sound path in real time, its position printed as it is heard (POSIX terminal; tool side).
#include "media/whole_file.h"
#include "music/module.h"
#include "music/player.h"
#include "music/sound.h"
#include "platform/platform.h"
#include "tools/cli/command.h"
#include "tools/song/music_loader.h"
#include "tools/xm/xm.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <set>
#include <termios.h>
#include <unistd.h>

namespace {

// What is rendered is heard about one ring later: the ring's length.
constexpr uint32_t heard_after_ms = uint32_t(uint64_t(platform_sound_buffer_bytes) / 4 * 1000 / platform_sound_rate);
constexpr uint32_t poll_ms = 5;

volatile std::sig_atomic_t interrupted = 0;
void on_interrupt(int) { interrupted = 1; }

// The terminal without line buffering or echo, so that Escape is seen at
// once; put back as it was by the destructor.
struct raw_terminal {
    bool active = false;
    termios saved{};
    raw_terminal()
    {
        if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0)
            return;
        termios raw = saved;
        raw.c_lflag &= tcflag_t(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        active = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~raw_terminal()
    {
        if (active)
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
    bool escape_pressed() const
    {
        char c;
        while (active && read(STDIN_FILENO, &c, 1) == 1)
            if (c == 27)
                return true;
        return false;
    }
};

struct position_change {
    uint32_t at_ms;
    uint16_t position;
    uint8_t sync;
};

bool is_xm(const std::vector<uint8_t>& bytes)
{
    return bytes.size() >= 17 && std::memcmp(bytes.data(), "Extended Module: ", 17) == 0;
}

int play_song(int argc, char** argv)
{
    std::string path, stream_path;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--samples")) {
            if (i + 1 >= argc)
                return tool_usage_error("play-song: --samples takes the coded sample stream file");
            stream_path = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1]) {
            return tool_usage_error("play-song: unknown option '%s'", argv[i]);
        } else if (path.empty()) {
            path = argv[i];
        } else {
            return tool_usage_error("play-song: give one song file");
        }
    }
    if (path.empty())
        return tool_usage_error("play-song: give the module or XM file to play");

    std::vector<uint8_t> bytes;
    std::string read_error;
    if (!read_input_file(path, &bytes, &read_error))
        return tool_fail("play-song: %s", read_error.c_str());
    std::vector<uint8_t> image;
    uint32_t module_size = 0, pcm_size = 0;
    std::string error;
    if (is_xm(bytes)) {
        if (!stream_path.empty())
            return tool_usage_error("play-song: an XM song carries its own samples; --samples is for modules");
        xm_song song;
        xm_import_result result;
        xm_import_options options;
        options.raw = true;
        xm_warnings warnings;
        if (!xm_read(bytes.data(), bytes.size(), &song, &error) ||
            !xm_import(song, options, &result, &warnings, &error))
            return tool_fail("play-song: %s: %s", path.c_str(), error.c_str());
        for (const std::string& w : warnings)
            std::fprintf(stderr, "play-song: warning: %s\n", w.c_str());
        if (!load_music_bytes(result.module, nullptr, &image, &module_size, &pcm_size, &error))
            return tool_fail("play-song: %s: %s", path.c_str(), error.c_str());
    } else if (!load_music_files(path, stream_path, &image, &module_size, &pcm_size, &error)) {
        return tool_fail("play-song: %s", error.c_str());
    }

    // The pattern of each order position and its row count, to see the song
    // come round again.
    uint32_t length = read_u32(image.data() + header_song_length);
    uint32_t restart = read_u32(image.data() + header_restart_position);
    uint32_t last_rows = read_u32(
        image.data() + read_u32(image.data() + header_pattern_offsets + 4 * image[header_orders + length - 1]));

    if (!sound_start(image.data()))
        return tool_fail("play-song: no sound output could be opened");
    if (sound_output.silent)
        std::fprintf(stderr, "play-song: no sound device: the song plays silently in real time\n");
    struct sigaction action{};
    action.sa_handler = on_interrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    raw_terminal terminal;
    std::printf("%s: %u order positions; Escape or Ctrl-C stops\n", path.c_str(), length);
    std::fflush(stdout);
    player_start(sound_output.player, 0);

    std::deque<position_change> pending;
    std::set<uint32_t> orders_played;
    uint32_t last = 0xFFFFFFFF, end_ms = 0;
    bool ended = false, stopped = false;
    for (;;) {
        uint32_t now = platform_ticks_ms();
        uint16_t position = player_position(sound_output.player);
        if (!ended && position != last) {
            uint32_t order = position >> 8, row = position & 0xFF;
            if (last != 0xFFFFFFFF) {
                uint32_t before_order = last >> 8, before_row = last & 0xFF;
                // The song is over when play comes back to an order position
                // it has played, or past the last one to the restart position.
                bool back = order != before_order && orders_played.count(order);
                bool round = before_order == length - 1 && order == restart && row == 0 &&
                             before_row + 1 >= last_rows;
                if (back || round) {
                    ended = true;
                    end_ms = now + heard_after_ms;
                }
            }
            if (!ended) {
                orders_played.insert(order);
                pending.push_back({now, position, player_sync_value(sound_output.player)});
                last = position;
            }
        }
        while (!pending.empty() && now - pending.front().at_ms >= heard_after_ms) {
            const position_change& c = pending.front();
            std::printf("order %3u  row %3u  sync %u\n", c.position >> 8u, c.position & 0xFFu, c.sync);
            pending.pop_front();
        }
        std::fflush(stdout);
        if (interrupted || terminal.escape_pressed()) {
            stopped = true;
            break;
        }
        if (ended && pending.empty() && int32_t(now - end_ms) >= 0)
            break;
        platform_sleep_ms(poll_ms);
    }
    player_stop(sound_output.player);
    sound_shutdown();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::printf(stopped ? "stopped\n" : "end of the song\n");
    return 0;
}

}  // namespace

const tool_command play_song_command{"play-song", "FILE [--samples STREAM]",
                     "plays a module (its coded samples with --samples) or an XM song through the sound output, "
                     "printing order, row and sync as they are heard, until the song ends or Escape/Ctrl-C",
                     play_song};
