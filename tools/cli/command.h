// The commands of oddball-tool: what each one is, the table main() runs them from, and how they fail (portable).
#pragma once

#include <span>

struct tool_command {
    const char* name;     // the word after oddball-tool
    const char* usage;    // arguments, for --help
    const char* summary;  // one line saying what it does
    int (*run)(int argc, char** argv);  // argv[0] is the command's name; returns the exit status
};

// Each command is defined beside its code, in its room of tools/; the table
// in command.cpp lists them all.
extern const tool_command atlas_source_command, build_data_command, captions_command, decode_picture_command,
    decode_samples_command, encode_picture_command, encode_samples_command, export_xm_command, import_xm_command,
    info_command, info_atlas_command, info_meshes_command, play_song_command, preview_command, preview_3d_command,
    preview_composite_command, render_song_command;

// Every command, sorted by name.
std::span<const tool_command* const> tool_commands();
// Runs the command named by argv[0] (what main does; tests call it in-process).
int tool_run(int argc, char** argv);

// A whole number from the command line between `low` and `high`: digits, with
// a minus sign first when negative, and nothing else.  False otherwise.
bool parse_integer(const char* text, long long low, long long high, long long* value);
template <typename T>
bool parse_integer(const char* text, long long low, long long high, T* value)
{
    long long v = 0;
    if (!parse_integer(text, low, high, &v))
        return false;
    *value = T(v);
    return true;
}

// Prints "oddball-tool: <message>" on standard error and returns 1 (for
// `return tool_fail(...)` on a bad file) or 2 with tool_usage_error (bad arguments).
int tool_fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
int tool_usage_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
