// The show rendered offline on the virtual backend: a still, a capture, the song as WAV, a benchmark (portable).
//
// One deterministic schedule in virtual milliseconds: the song and the show
// clock start at 0 after precalculation, the streaming step runs every 20 ms
// on the virtual play cursor, the timer every 30 ms, and frame k is shown at
// k x 1000 / fps ms.  What is heard is what the ring plays, one ring behind
// what the mixer rendered.
#include "app/offline.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/clock.h"
#include "app/display.h"
#include "app/entry.h"
#include "app/virtual_show.h"
#include "base/frame.h"
#include "director/timeline.h"
#include "media/media_files.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_controls.h"

namespace {

// Runs the show on the virtual backend with the given sinks; returns the
// program's exit status.
int run_show(const offline_options& options, virtual_frame_sink frames, void* frames_user,
             virtual_sound_sink sound = nullptr, void* sound_user = nullptr)
{
    return virtual_show_run(options.fps, options.scale, frames, frames_user, sound, sound_user);
}

// ---- progress on standard error -------------------------------------------

struct progress_bar {
    uint64_t started_us = platform_real_time_us();
    uint32_t shown_at_ms = 0;
    void update(uint32_t show_ms, uint32_t total_ms)
    {
        if (show_ms < shown_at_ms + 1000 && show_ms < total_ms)
            return;
        shown_at_ms = show_ms;
        double real = (platform_real_time_us() - started_us) / 1e6;
        int filled = total_ms ? int(40.0 * std::min(show_ms, total_ms) / total_ms) : 0;
        char bar[41];
        std::memset(bar, '#', size_t(filled));
        std::memset(bar + filled, '.', size_t(40 - filled));
        bar[40] = 0;
        std::fprintf(stderr, "\r[%s] %6.1f s of the show, %5.1fx real time", bar, show_ms / 1000.0,
                     real > 0 ? show_ms / 1000.0 / real : 0.0);
    }
    void finish() { std::fputc('\n', stderr); }
};

constexpr uint32_t show_length_ms = 158700;  // about; only for the progress bar

// ---- still ----------------------------------------------------------------

struct still_state {
    int32_t until_ms;
    int fps;
    picture shot;
};

void keep_frame(const virtual_frame& frame, void* user)
{
    auto& s = *static_cast<still_state*>(user);
    if (int32_t(frame.time_ms) <= s.until_ms) {
        s.shot.width = frame.width;
        s.shot.height = frame.height;
        s.shot.pixels.resize(size_t(frame.width) * frame.height);
        for (int y = 0; y < frame.height; ++y)
            std::memcpy(&s.shot.pixels[size_t(y) * frame.width], frame.pixels + size_t(y) * frame.pitch,
                        size_t(frame.width) * 4);
    }
    virtual_show_stop_after(s.until_ms, s.fps);
}

// ---- capture --------------------------------------------------------------

struct capture_state {
    FILE* video = nullptr;  // ffmpeg's standard input, or the .y4m file
    bool y4m = false;
    std::vector<uint8_t> sound;  // everything heard, 16-bit stereo
    std::vector<uint8_t> yuv;
    int32_t until_ms = -1;
    int fps = 60;
    progress_bar progress;
    bool write_failed = false;
};

// BT.601 limited range, the usual for video; the mp4 path lets ffmpeg convert.
void write_y4m_frame(capture_state& c, const virtual_frame& f)
{
    int w = f.width, h = f.height;
    c.yuv.resize(size_t(w) * h * 3 / 2);
    uint8_t* y_plane = c.yuv.data();
    uint8_t* u_plane = y_plane + size_t(w) * h;
    uint8_t* v_plane = u_plane + size_t(w / 2) * (h / 2);
    auto pixel = [&](int x, int y) {
        const uint8_t* p = f.pixels + size_t(y) * f.pitch + size_t(x) * 4;
        return std::array<int, 3>{p[2], p[1], p[0]};
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            auto [r, g, b] = pixel(x, y);
            y_plane[size_t(y) * w + x] = uint8_t((66 * r + 129 * g + 25 * b + 128 + 4096) >> 8);
        }
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x) {
            int r = 0, g = 0, b = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    auto [pr, pg, pb] = pixel(2 * x + dx, 2 * y + dy);
                    r += pr, g += pg, b += pb;
                }
            u_plane[size_t(y) * (w / 2) + x] = uint8_t((-38 * r - 74 * g + 112 * b + 512 + 4 * 32768) >> 10);
            v_plane[size_t(y) * (w / 2) + x] = uint8_t((112 * r - 94 * g - 18 * b + 512 + 4 * 32768) >> 10);
        }
    std::fputs("FRAME\n", c.video);
    if (std::fwrite(c.yuv.data(), 1, c.yuv.size(), c.video) != c.yuv.size())
        c.write_failed = true;
}

void capture_frame(const virtual_frame& frame, void* user)
{
    auto& c = *static_cast<capture_state*>(user);
    if (c.y4m) {
        write_y4m_frame(c, frame);
    } else {
        for (int y = 0; y < frame.height && !c.write_failed; ++y)
            if (std::fwrite(frame.pixels + size_t(y) * frame.pitch, 4, size_t(frame.width), c.video) !=
                size_t(frame.width))
                c.write_failed = true;
    }
    if (c.write_failed)
        quit_requested = 1;
    c.progress.update(frame.time_ms, c.until_ms >= 0 ? uint32_t(c.until_ms) : show_length_ms);
    virtual_show_stop_after(c.until_ms, c.fps);
}

void capture_sound(const uint8_t* bytes, uint32_t count, void* user)
{
    auto& c = *static_cast<capture_state*>(user);
    c.sound.insert(c.sound.end(), bytes, bytes + count);
}

bool have_ffmpeg()
{
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

bool ends_with(const std::string& text, const char* suffix)
{
    size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// Whether `path` can be written, found out before any work: an existing
// file must be writable; a new one is made and removed again.  False with
// one line on standard error naming the problem.
bool can_write(const std::string& path)
{
    struct stat info;
    const char* why = nullptr;
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            why = "it is a folder";
        else if (::access(path.c_str(), W_OK) != 0)
            why = std::strerror(errno);
    } else if (FILE* probe = std::fopen(path.c_str(), "wb")) {
        std::fclose(probe);
        std::remove(path.c_str());
    } else {
        why = std::strerror(errno);
    }
    if (why)
        std::fprintf(stderr, "oddball: cannot write %s: %s\n", path.c_str(), why);
    return !why;
}

std::string shell_quote(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

wav_sound as_wav(const std::vector<uint8_t>& bytes)
{
    wav_sound w;
    w.samples.resize(bytes.size() / 2);
    std::memcpy(w.samples.data(), bytes.data(), w.samples.size() * 2);
    return w;
}

// ---- benchmark ------------------------------------------------------------

// Processor time of this thread, which runs the whole virtual show: on a
// shared machine it counts only this program's work, unlike the wall clock.
uint64_t thread_cpu_time_us()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
}

// Each frame's processor time, from one flip to the next: the clock, the
// scene, the presentation and the sound steps that fell in between.
struct benchmark_state {
    int32_t until_ms;
    int fps;
    uint64_t last_flip_us = 0;
    uint64_t first_flip_us = 0;
    scene_frame_times times;
};

void count_frame(const virtual_frame& /*frame*/, void* user)
{
    auto& b = *static_cast<benchmark_state*>(user);
    uint64_t now = thread_cpu_time_us();
    if (b.last_flip_us != 0)
        b.times.add((now - b.last_flip_us) / 1000.0);
    else
        b.first_flip_us = now;
    b.last_flip_us = now;
    virtual_show_stop_after(b.until_ms, b.fps);
}

// Per scene: frames, and the median, 99th percentile and largest processor
// time of a frame (on a shared machine the largest may be another program's
// doing: a frame sharing its core).
void print_scene_table(benchmark_state& b)
{
    std::printf("%-18s %7s %10s %10s %10s\n", "scene", "frames", "median_ms", "p99_ms", "max_ms");
    for (int i = 0; i < scene_count; ++i) {
        const scene_frame_times::summary t = b.times.of(scene_id(i));
        if (t.frames)
            std::printf("%-18s %7zu %10.3f %10.3f %10.3f\n", scene_name(scene_id(i)), t.frames, t.median, t.p99,
                        t.largest);
    }
}


// ---- storyboard -----------------------------------------------------------

// One still of the contact sheet: the frame at 160 x 120, and where it was.
struct board_still {
    std::vector<uint32_t> pixels;  // board_width x board_height
    int32_t ms = 0;
    int32_t order = 0;
};

constexpr int board_width = 160, board_height = 120;  // a still at half size (scale 1)
constexpr int board_columns = 8, board_gap = 4, board_label = 14;

struct storyboard_state {
    int32_t every_ms;
    int32_t until_ms;
    int fps;
    int32_t next_ms = 0;
    std::vector<board_still> stills;
    progress_bar progress;
};

// The frame at 160 x 120, each pixel the mean of the block it covers.
std::vector<uint32_t> half_size(const virtual_frame& frame)
{
    std::vector<uint32_t> out(size_t(board_width) * board_height);
    const int k = std::max(1, frame.width / board_width);  // 2, or 4 at scale 2
    for (int y = 0; y < board_height && k * y + k <= frame.height; ++y)
        for (int x = 0; x < board_width && k * x + k <= frame.width; ++x) {
            uint32_t sum[3] = {0, 0, 0};
            for (int dy = 0; dy < k; ++dy)
                for (int dx = 0; dx < k; ++dx) {
                    const uint8_t* p = frame.pixels + size_t(k * y + dy) * frame.pitch + size_t(k * x + dx) * 4;
                    sum[0] += p[2], sum[1] += p[1], sum[2] += p[0];
                }
            const uint32_t n = uint32_t(k * k);
            out[size_t(y) * board_width + x] =
                0xFF000000u | (sum[0] + n / 2) / n << 16 | (sum[1] + n / 2) / n << 8 | (sum[2] + n / 2) / n;
        }
    return out;
}

// Keeps the frame shown at each multiple of `every_ms`: the last frame at or
// before it, as --still picks it.
void board_frame(const virtual_frame& frame, void* user)
{
    auto& b = *static_cast<storyboard_state*>(user);
    const int64_t next_frame_ms = int64_t(virtual_frames_flipped()) * 1000 / b.fps;
    while (int64_t(frame.time_ms) <= b.next_ms && next_frame_ms > b.next_ms &&
           (b.until_ms < 0 || b.next_ms <= b.until_ms)) {
        b.stills.push_back({half_size(frame), b.next_ms, show_clock.music.music_order});
        b.next_ms += b.every_ms;
    }
    b.progress.update(frame.time_ms, b.until_ms >= 0 ? uint32_t(b.until_ms) : show_length_ms);
    virtual_show_stop_after(b.until_ms, b.fps);
}

// A 3 x 5 font for the labels: the digits, then ':', 'o', 'r', 'd', 'e';
// each glyph is five rows of three bits, the top row first.
const char board_font_chars[] = "0123456789:orde";
const uint16_t board_font[] = {
    0x7B6F, 0x2C97, 0x73E7, 0x72CF, 0x5BC9, 0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF,
    0x0410, 0x01EF, 0x01E4, 0x13EF, 0x0FE7,
};

// `text` at (x, y) on the sheet, each font pixel drawn 2 x 2.
void board_text(picture& sheet, int x, int y, const char* text, uint32_t colour)
{
    for (; *text; ++text, x += 8) {
        const char* at = std::strchr(board_font_chars, *text);
        if (!at || !*text)
            continue;
        const uint16_t glyph = board_font[at - board_font_chars];
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < 3; ++column) {
                if (!(glyph >> (14 - row * 3 - column) & 1))
                    continue;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const int px = x + 2 * column + dx, py = y + 2 * row + dy;
                        if (px >= 0 && px < sheet.width && py >= 0 && py < sheet.height)
                            sheet.pixels[size_t(py) * sheet.width + px] = colour;
                    }
            }
    }
}

// Rows of eight stills, each with its time (m:ss) and order below it.
picture lay_out_board(const std::vector<board_still>& stills)
{
    const int rows = int((stills.size() + board_columns - 1) / board_columns);
    const int cell_w = board_width + board_gap, cell_h = board_height + board_label + board_gap;
    picture sheet;
    sheet.width = board_columns * cell_w + board_gap;
    sheet.height = rows * cell_h + board_gap;
    sheet.pixels.assign(size_t(sheet.width) * sheet.height, 0xFF181818u);
    for (size_t i = 0; i < stills.size(); ++i) {
        const board_still& still = stills[i];
        const int left = board_gap + int(i % board_columns) * cell_w, top = board_gap + int(i / board_columns) * cell_h;
        for (int y = 0; y < board_height; ++y)
            std::memcpy(&sheet.pixels[size_t(top + y) * sheet.width + left], &still.pixels[size_t(y) * board_width],
                        board_width * 4);
        char label[48];
        std::snprintf(label, sizeof label, "%d:%02d  order %d", int(still.ms / 60000), int(still.ms / 1000 % 60),
                      int(still.order));
        board_text(sheet, left, top + board_height + 3, label, 0xFFD8D8D8u);
    }
    return sheet;
}

}  // namespace

int offline_still(int32_t ms, const std::string& path, const offline_options& options)
{
    if (!can_write(path))
        return 1;
    still_state s{ms, options.fps, {}};
    if (int status = run_show(options, keep_frame, &s))
        return status;
    if (s.shot.pixels.empty()) {
        std::fprintf(stderr, "oddball: no frame was shown at or before %d ms\n", ms);
        return 1;
    }
    std::string error;
    if (!png_write(path, s.shot, false, &error)) {
        std::fprintf(stderr, "oddball: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int offline_capture(const std::string& path, const offline_options& options)
{
    capture_state c;
    c.until_ms = options.until_ms;
    c.fps = options.fps;
    bool mp4 = !ends_with(path, ".y4m") && have_ffmpeg();
    std::string base = ends_with(path, ".y4m") || ends_with(path, ".mp4") ? path.substr(0, path.size() - 4) : path;
    std::string video_path = mp4 ? base + ".video-part.mp4" : base + ".y4m";
    std::string wav_path = mp4 ? base + ".sound-part.wav" : base + ".wav";
    int w = screen_width * options.scale, h = screen_height * options.scale;
    if (!can_write(video_path) || !can_write(wav_path) || (mp4 && !can_write(path)))
        return 1;
    if (mp4) {
        // Should ffmpeg end early, writing to it fails instead of ending the program.
#ifdef SIGPIPE
        std::signal(SIGPIPE, SIG_IGN);
#endif
        char command[2048];
        std::snprintf(command, sizeof command,
                      "ffmpeg -loglevel error -y -f rawvideo -pix_fmt bgra -video_size %dx%d -framerate %d -i - "
                      "-c:v libx264 -preset medium -crf 16 -pix_fmt yuv420p -threads 1 "
                      "-fflags +bitexact -flags:v +bitexact -map_metadata -1 %s",
                      w, h, options.fps, shell_quote(video_path).c_str());
        c.video = popen(command, "w");
    } else {
        if (!ends_with(path, ".y4m"))
            std::fprintf(stderr, "oddball: ffmpeg is not installed: writing %s and %s instead\n",
                         video_path.c_str(), wav_path.c_str());
        c.video = std::fopen(video_path.c_str(), "wb");
        c.y4m = true;
        if (c.video)
            std::fprintf(c.video, "YUV4MPEG2 W%d H%d F%d:1 Ip A1:1 C420jpeg\n", w, h, options.fps);
    }
    if (!c.video) {
        std::fprintf(stderr, "oddball: cannot write %s\n", video_path.c_str());
        return 1;
    }
    int status = run_show(options, capture_frame, &c, capture_sound, &c);
    c.progress.finish();
    bool video_ok = (mp4 ? pclose(c.video) == 0 : std::fclose(c.video) == 0) && !c.write_failed;
    std::string error;
    bool sound_ok = wav_write(wav_path, as_wav(c.sound), &error);
    if (status || !video_ok || !sound_ok) {
        std::fprintf(stderr, "oddball: the capture failed%s%s\n", error.empty() ? "" : ": ", error.c_str());
        std::remove(video_path.c_str());
        std::remove(wav_path.c_str());
        return status ? status : 1;
    }
    if (mp4) {
        std::string command = "ffmpeg -loglevel error -y -i " + shell_quote(video_path) + " -i " +
                              shell_quote(wav_path) +
                              " -c:v copy -c:a aac -b:a 192k -fflags +bitexact -flags:a +bitexact "
                              "-map_metadata -1 -shortest " + shell_quote(path);
        int muxed = std::system(command.c_str());
        std::remove(video_path.c_str());
        std::remove(wav_path.c_str());
        if (muxed != 0) {
            std::remove(path.c_str());
            std::fprintf(stderr, "oddball: ffmpeg could not write %s\n", path.c_str());
            return 1;
        }
    }
    std::fprintf(stderr, "oddball: wrote %s (%u frames, %.2f s)\n", mp4 ? path.c_str() : video_path.c_str(),
                 unsigned(loop_stats.frames), loop_stats.last_frame_ms / 1000.0);
    return 0;
}

int offline_wav(const std::string& path)
{
    // The mixer's own output, no ring in between: from the song's start until
    // the player reads order 27, row 62, then the clock's release delay, so
    // it lasts as long as the show.
    if (!can_write(path))
        return 1;
    std::vector<int16_t> samples;
    if (!render_song(-1, samples)) {
        std::fprintf(stderr, "oddball: the song never reaches order %d, row %d\n", int(song_end_order),
                     int(song_end_row));
        return 1;
    }
    wav_sound sound;
    sound.samples = std::move(samples);
    std::string error;
    if (!wav_write(path, sound, &error)) {
        std::fprintf(stderr, "oddball: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int offline_benchmark(const offline_options& options)
{
    benchmark_state b{options.until_ms, options.fps};
    uint64_t started = platform_real_time_us();
    const uint64_t started_cpu = thread_cpu_time_us();
    if (int status = run_show(options, count_frame, &b))
        return status;
    double seconds = (platform_real_time_us() - started - loop_stats.precalc_us) / 1e6;
    double fps = seconds > 0 ? loop_stats.frames / seconds : 0;
    double realtime = seconds > 0 ? loop_stats.last_frame_ms / 1000.0 / seconds : 0;
    // From the first flip to the last: the frames after the first, in processor time.
    double cpu_seconds = (b.last_flip_us - b.first_flip_us) / 1e6;
    double cpu_realtime = cpu_seconds > 0 ? loop_stats.last_frame_ms / 1000.0 / cpu_seconds : 0;
    // Everything before the first frame was shown: the song's unpacking and
    // sample decode, the precalculation, and the first frame itself.
    double startup_cpu_ms = (b.first_flip_us - started_cpu) / 1000.0;
    print_scene_table(b);
    std::printf("start-up (precalculation): %.1f ms\n", loop_stats.precalc_us / 1000.0);
    std::printf("start-up to the first frame, sample decode included (processor time): %.1f ms\n", startup_cpu_ms);
    std::printf("frames rendered: %u in %.3f s (%.0f frames per second)\n", unsigned(loop_stats.frames), seconds, fps);
    std::printf("show time: %.3f s at %d frames per second: %.1fx real time\n", loop_stats.last_frame_ms / 1000.0,
                options.fps, realtime);
    std::printf("processor time of the frames: %.3f s: %.1fx real time\n", cpu_seconds, cpu_realtime);
    std::printf("startup_ms=%.1f frames=%u fps=%.0f realtime=%.2f end_ms=%u cpu_realtime=%.2f startup_cpu_ms=%.1f\n",
                loop_stats.precalc_us / 1000.0, unsigned(loop_stats.frames), fps, realtime,
                unsigned(loop_stats.last_frame_ms), cpu_realtime, startup_cpu_ms);
    return 0;
}

int offline_storyboard(const std::string& path, int32_t every_ms, const offline_options& options)
{
    if (!can_write(path))
        return 1;
    storyboard_state b{every_ms, options.until_ms, options.fps};
    const int status = run_show(options, board_frame, &b);
    b.progress.finish();
    if (status)
        return status;
    if (b.stills.empty()) {
        std::fprintf(stderr, "oddball: the show showed no frame for the storyboard\n");
        return 1;
    }
    std::string error;
    if (!png_write(path, lay_out_board(b.stills), false, &error)) {
        std::fprintf(stderr, "oddball: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "oddball: wrote %s (%zu stills, one every %d ms)\n", path.c_str(), b.stills.size(),
                 int(every_ms));
    return 0;
}
