// The list of oddball-tool's commands and the two ways a command reports failure (portable).
#include "tools/command.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

tool_command* command_list = nullptr;

int vreport(int status, const char* format, va_list args)
{
    std::fputs("oddball-tool: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    return status;
}

}  // namespace

const tool_command* tool_commands()
{
    return command_list;
}

tool_command_registrar::tool_command_registrar(tool_command* command)
{
    // Keep the list sorted by name so --help reads well.
    tool_command** at = &command_list;
    while (*at && std::strcmp((*at)->name, command->name) < 0)
        at = &(*at)->next;
    command->next = *at;
    *at = command;
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

int tool_run(int argc, char** argv)
{
    for (const tool_command* c = command_list; c; c = c->next)
        if (!std::strcmp(c->name, argv[0]))
            return c->run(argc, argv);
    return tool_usage_error("unknown command '%s' (see oddball-tool --help)", argv[0]);
}
