// oddball-tool: builds the stored data and inspects, encodes and decodes it (portable).
#include "tools/cli/command.h"

#include <cstdio>
#include <cstring>

namespace {

void print_help(FILE* out)
{
    std::fprintf(out, "usage: oddball-tool COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const tool_command* c : tool_commands())
        std::fprintf(out, "  %s %s\n      %s\n", c->name, c->usage, c->summary);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("oddball-tool: no command given (oddball-tool --help lists them)\n", stderr);
        return 2;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        print_help(stdout);
        return 0;
    }
    return tool_run(argc - 1, argv + 1);
}
