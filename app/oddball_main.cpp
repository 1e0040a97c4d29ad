// oddball: the show's entry point; reads the options, picks the backend and
// runs the show (portable; the backends live in platform/).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/display.h"
#include "app/entry.h"
#include "app/offline.h"
#include "platform/platform.h"
#include "platform/win32/win32_controls.h"

namespace {

// Everything the command line can ask for.
struct program_options {
    int depth = 32;
    int scale = 1;
    bool windowed = false;
    bool mode_given = false;  // any of --depth, --scale, --windowed
    bool stats = false;
    bool help = false;
    // offline modes (the virtual backend)
    enum { play, still, capture, wav, benchmark, storyboard } mode = play;
    int32_t still_ms = 0;
    int32_t every_ms = -1;  // storyboard: a still every so many ms (-1: not given)
    const char* file = nullptr;
    offline_options offline;
};

// One option: its name, the values it takes, and how it stores them.  An
// option with values may also be written --name=VALUE when it takes one.
struct option_rule {
    const char* name;
    int value_count;
    const char* values;   // for --help and error messages, e.g. "32|24|16|15"
    const char* summary;
    bool (*take)(program_options& options, char** values);  // false: a bad value
};

// A whole decimal number, nothing before or after it.
bool parse_int(const char* text, int* value)
{
    if (!*text)
        return false;
    char* end = nullptr;
    long number = std::strtol(text, &end, 10);
    if (*end || number < -1000000000L || number > 1000000000L)
        return false;
    *value = int(number);
    return true;
}

bool take_depth(program_options& options, char** values)
{
    int depth = 0;
    if (!parse_int(values[0], &depth) || (depth != 32 && depth != 24 && depth != 16 && depth != 15))
        return false;
    options.depth = depth;
    return options.mode_given = true;
}

bool take_scale(program_options& options, char** values)
{
    int scale = 0;
    if (!parse_int(values[0], &scale) || (scale != 1 && scale != 2))
        return false;
    options.scale = scale;
    return options.mode_given = true;
}

bool take_windowed(program_options& options, char**) { return options.windowed = options.mode_given = true; }

// Only one offline mode at a time.
bool set_mode(program_options& options, decltype(program_options::mode) mode, const char* file)
{
    if (options.mode != program_options::play || !*file)
        return false;
    options.mode = mode;
    options.file = file;
    return true;
}

bool take_still(program_options& options, char** values)
{
    int ms = 0;
    if (!parse_int(values[0], &ms) || ms < 0)
        return false;
    options.still_ms = ms;
    return set_mode(options, program_options::still, values[1]);
}

bool take_capture(program_options& options, char** values)
{
    return set_mode(options, program_options::capture, values[0]);
}

bool take_wav(program_options& options, char** values) { return set_mode(options, program_options::wav, values[0]); }

bool take_benchmark(program_options& options, char**)
{
    return set_mode(options, program_options::benchmark, "-");
}

bool take_storyboard(program_options& options, char** values)
{
    return set_mode(options, program_options::storyboard, values[0]);
}

bool take_every(program_options& options, char** values)
{
    int ms = 0;
    if (!parse_int(values[0], &ms) || ms < 100)
        return false;
    options.every_ms = ms;
    return true;
}

bool take_fps(program_options& options, char** values)
{
    int fps = 0;
    if (!parse_int(values[0], &fps) || fps < 1 || fps > 1000)
        return false;
    options.offline.fps = fps;
    return true;
}

bool take_seconds(program_options& options, char** values)
{
    int seconds = 0;
    if (!parse_int(values[0], &seconds) || seconds < 1 || seconds > 3600)
        return false;
    options.offline.until_ms = seconds * 1000;
    return true;
}
bool take_stats(program_options& options, char**) { return options.stats = true; }
bool take_help(program_options& options, char**) { return options.help = true; }

const option_rule option_rules[] = {
    {"--depth", 1, "32|24|16|15", "bits per pixel of the display (default 32)", take_depth},
    {"--scale", 1, "1|2", "2 doubles the picture to 640 x 480 (default 1)", take_scale},
    {"--windowed", 0, "", "a window instead of the full screen", take_windowed},
    {"--stats", 0, "", "at exit, print the frames per second and the streaming step's worst delay", take_stats},
    {"--still", 2, "MS FILE.png", "write the frame shown at MS milliseconds of the show", take_still},
    {"--capture", 1, "FILE", "the whole show to FILE.mp4 (or FILE.y4m and FILE.wav)", take_capture},
    {"--wav", 1, "FILE", "the song as the mixer renders it, to a WAV file", take_wav},
    {"--benchmark", 0, "", "render the whole show offline as fast as possible", take_benchmark},
    {"--storyboard", 1, "FILE.png", "a contact sheet of the show: a labelled still every 4 s, rows of eight",
     take_storyboard},
    {"--every", 1, "MS", "the storyboard's stills come every MS milliseconds (at least 100)", take_every},
    {"--fps", 1, "N", "frames per second of the offline modes (default 60)", take_fps},
    {"--seconds", 1, "S", "the offline modes stop after S seconds of the show", take_seconds},
    {"--help", 0, "", "show this and exit", take_help},
};

void print_help(FILE* out)
{
    std::fputs("usage: oddball [options]\n\nPlays the show; Escape or closing the window ends it.\n\noptions:\n", out);
    for (const option_rule& rule : option_rules) {
        char left[64];
        std::snprintf(left, sizeof left, "%s%s%s", rule.name, rule.value_count ? " " : "", rule.values);
        std::fprintf(out, "  %-22s %s\n", left, rule.summary);
    }
}

int usage_error(const char* format, const char* a, const char* b = "")
{
    std::fputs("oddball: ", stderr);
    std::fprintf(stderr, format, a, b);
    std::fputs(" (see oddball --help)\n", stderr);
    return 2;
}

// Fills `options` from the command line; returns 0, or 2 after one line on
// standard error naming what is wrong.
int parse_options(int argc, char** argv, program_options& options)
{
    for (int i = 1; i < argc; ++i) {
        char* arg = argv[i];
        char* inline_value = std::strchr(arg, '=');
        size_t name_length = inline_value ? size_t(inline_value - arg) : std::strlen(arg);
        const option_rule* rule = nullptr;
        for (const option_rule& r : option_rules)
            if (std::strlen(r.name) == name_length && std::strncmp(r.name, arg, name_length) == 0)
                rule = &r;
        if (!rule)
            return usage_error(arg[0] == '-' ? "unknown option '%s'" : "unexpected argument '%s'", arg);
        char* values[4] = {};
        if (inline_value) {
            if (rule->value_count != 1)
                return usage_error("option %s takes no value after '='", rule->name);
            values[0] = inline_value + 1;
        } else {
            if (argc - 1 - i < rule->value_count)
                return usage_error("option %s needs %s", rule->name, rule->values);
            for (int v = 0; v < rule->value_count; ++v)
                values[v] = argv[++i];
        }
        if (!rule->take(options, values)) {
            if (rule->value_count == 1)
                return usage_error("bad value '%s' for %s", values[0], rule->name);
            return usage_error("bad values for %s (%s)", rule->name, rule->values);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    program_options options;
    if (int status = parse_options(argc, argv, options))
        return status;
    if (options.help) {
        print_help(stdout);
        return 0;
    }
    if (options.every_ms > 0 && options.mode != program_options::storyboard)
        return usage_error("option %s needs %s", "--every", "--storyboard");
    options.offline.scale = options.scale;
    switch (options.mode) {
    case program_options::still:
        return offline_still(options.still_ms, options.file, options.offline);
    case program_options::capture:
        return offline_capture(options.file, options.offline);
    case program_options::wav:
        return offline_wav(options.file);
    case program_options::benchmark:
        return offline_benchmark(options.offline);
    case program_options::storyboard:
        return offline_storyboard(options.file, options.every_ms > 0 ? options.every_ms : 4000, options.offline);
    case program_options::play:
        break;
    }
#ifdef _WIN32
    // Without a choice on the command line the mode dialog asks; its close box ends the program.
    if (!options.mode_given && !win32_mode_dialog(&options.depth, &options.scale))
        return 0;
#endif
    display.display_depth = options.depth;
    display.display_scale = options.scale;
    display.display_windowed = options.windowed;
#ifdef _WIN32
    platform_use(&platform_win32_backend);
#else
    platform_use(&platform_sdl_backend);
#endif
    int status = program_entry();
    if (options.stats && status == 0) {
        double seconds = loop_stats.milliseconds / 1000.0;
        std::fprintf(stderr, "oddball: %u frames in %.3f s (%.1f frames per second)\n", unsigned(loop_stats.frames),
                     seconds, seconds > 0 ? loop_stats.frames / seconds : 0.0);
        std::fprintf(stderr, "oddball: precalculation took %.0f ms\n", loop_stats.precalc_us / 1000.0);
        // The sound survives as long as the streaming step comes back before
        // the ring (16,384 frames, 371.5 ms) has played round once.
        std::fprintf(stderr, "oddball: streaming step every 20 ms, at worst %.1f ms after the one before (the ring holds 371.5 ms)\n",
                     platform_largest_tick_gap_us() / 1000.0);
    }
    return status;
}
