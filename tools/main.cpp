// oddball-tool: builds the stored data and inspects, encodes and decodes it (portable).
#include "tools/command.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

tool_command* command_list = nullptr;

void print_help(FILE* out)
{
    std::fprintf(out, "usage: oddball-tool COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const tool_command* c = command_list; c; c = c->next)
        std::fprintf(out, "  %s %s\n      %s\n", c->name, c->usage, c->summary);
}

int vreport(int status, const char* format, va_list args)
{
    std::fputs("oddball-tool: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    return status;
}

}  // namespace

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

int main(int argc, char** argv)
{
    if (argc < 2)
        return print_help(stderr), 2;
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        print_help(stdout);
        return 0;
    }
    for (const tool_command* c = command_list; c; c = c->next)
        if (!std::strcmp(c->name, argv[1]))
            return c->run(argc - 1, argv + 1);
    return tool_usage_error("unknown command '%s' (see oddball-tool --help)", argv[1]);
}
