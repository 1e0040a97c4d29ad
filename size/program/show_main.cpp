// The entry point of the 64 KB build: the show on the SDL backend, with the
// display options of the normal build and nothing else (portable).
#include <cstdio>
#include <cstring>

#include "app/display.h"
#include "app/entry.h"
#include "platform/platform.h"
#include "platform/win32/win32_controls.h"

namespace {

// The value of --depth or --scale: one of `allowed` (a string of the accepted
// numbers, each followed by a space), or 0 when it is not.
int choice(const char* value, const char* allowed)
{
    size_t length = std::strlen(value);
    for (const char* at = allowed; *at; at = std::strchr(at, ' ') + 1)
        if (length && std::strncmp(at, value, length) == 0 && at[length] == ' ') {
            int number = 0;
            for (size_t i = 0; i < length; ++i)
                number = number * 10 + value[i] - '0';
            return number;
        }
    return 0;
}

const char usage[] = "usage: oddball [--windowed] [--depth 32|24|16|15] [--scale 1|2]";

int usage_error(const char* what, const char* arg)
{
    std::fprintf(stderr, "oddball: %s '%s' (%s)\n", what, arg, usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0) {
            std::puts(usage);
            return 0;
        }
        if (std::strcmp(arg, "--windowed") == 0) {
            display.display_windowed = true;
            continue;
        }
        int32_t* target = std::strcmp(arg, "--depth") == 0   ? &display.display_depth
                          : std::strcmp(arg, "--scale") == 0 ? &display.display_scale
                                                             : nullptr;
        if (!target)
            return usage_error("unknown option", arg);
        if (i + 1 == argc)
            return usage_error("no value for", arg);
        *target = choice(argv[++i], target == &display.display_depth ? "32 24 16 15 " : "1 2 ");
        if (!*target)
            return usage_error("bad value", argv[i]);
    }
#ifdef _WIN32
    // Without options the mode dialog asks; its close box ends the program.
    if (argc == 1 && !win32_mode_dialog(&display.display_depth, &display.display_scale))
        return 0;
    platform_use(&platform_win32_backend);
#else
    platform_use(&platform_sdl_backend);
#endif
    return program_entry();
}
