// The table of oddball-tool's commands and the two ways a command reports failure (portable).
#include "tools/cli/command.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Sorted by name, so --help reads well.
const tool_command* const command_table[] = {
    &atlas_source_command,   &build_data_command,     &captions_command,      &decode_picture_command,
    &decode_samples_command, &encode_picture_command, &encode_samples_command, &export_xm_command,
    &import_xm_command,      &info_command,           &info_atlas_command,    &info_meshes_command,
    &play_song_command,      &preview_command,        &preview_3d_command,    &preview_composite_command,
    &render_song_command,
};

int vreport(int status, const char* format, va_list args)
{
    std::fputs("oddball-tool: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    return status;
}

}  // namespace

std::span<const tool_command* const> tool_commands()
{
    return command_table;
}

int tool_fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int status = vreport(1, format, args);
    va_end(args);
    return status;
}

int tool_usage_error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int status = vreport(2, format, args);
    va_end(args);
    return status;
}

bool parse_integer(const char* text, long long low, long long high, long long* value)
{
    const char* digits = text[0] == '-' ? text + 1 : text;
    if (*digits < '0' || *digits > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (errno || *end || v < low || v > high)
        return false;
    *value = v;
    return true;
}

int tool_run(int argc, char** argv)
{
    for (const tool_command* c : command_table)
        if (!std::strcmp(c->name, argv[0]))
            return c->run(argc, argv);
    return tool_usage_error("unknown command '%s' (see oddball-tool --help)", argv[0]);
}
