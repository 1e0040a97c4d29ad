// The commands of oddball-tool: each file of tools/ registers its own (portable).
#pragma once

struct tool_command {
    const char* name;     // the word after oddball-tool
    const char* usage;    // arguments, for --help
    const char* summary;  // one line saying what it does
    int (*run)(int argc, char** argv);  // argv[0] is the command's name; returns the exit status
    tool_command* next;
};

// Adds a command to the list that main() searches; used through
// ODDBALL_TOOL_COMMAND at namespace scope in the command's file.
struct tool_command_registrar {
    explicit tool_command_registrar(tool_command* command);
};

#define ODDBALL_TOOL_COMMAND(id, name, usage, summary, run) \
    static tool_command id##_command{name, usage, summary, run, nullptr}; \
    static tool_command_registrar id##_registrar{&id##_command}

// The registered commands, sorted by name.
const tool_command* tool_commands();
// Runs the command named by argv[0] (what main does; tests call it in-process).
int tool_run(int argc, char** argv);

// Prints "oddball-tool: <message>" on standard error and returns 1 (for
// `return tool_fail(...)` on a bad file) or 2 with tool_usage_error (bad arguments).
int tool_fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
int tool_usage_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
