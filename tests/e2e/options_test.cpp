// The command line: good options are taken, a bad one is named on one line
// of standard error with status 2, and --help shows them all.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/helpers.h"

namespace {

command_result oddball(const std::string& arguments)
{
    // No display driver, so an accepted command line ends in the display's failure (status 1).
    return run_command("SDL_VIDEODRIVER=no-such-driver SDL_AUDIODRIVER=dummy " + binary_path("oddball") + " " +
                       arguments);
}

int line_count(const std::string& text)
{
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

}  // namespace

TEST(Options, BadOptionsAreNamedOnOneLineWithStatusTwo)
{
    struct bad {
        const char* arguments;
        const char* named;  // what the line must name
    } cases[] = {
        {"--depth 8", "'8'"},
        {"--depth 32x", "'32x'"},
        {"--depth", "--depth"},
        {"--depth=", "--depth"},
        {"--scale 3", "'3'"},
        {"--scale=0", "'0'"},
        {"--fullscreen", "'--fullscreen'"},
        {"--windowed=1", "--windowed"},
        {"show", "'show'"},
        {"--depth 16 --bogus", "'--bogus'"},
    };
    for (const bad& c : cases) {
        command_result run = oddball(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments;
        EXPECT_EQ(line_count(run.errors), 1) << c.arguments << ": " << run.errors;
        EXPECT_NE(run.errors.find(c.named), std::string::npos) << c.arguments << ": " << run.errors;
        EXPECT_EQ(run.errors.find("DDraw Error"), std::string::npos) << "the show started for " << c.arguments;
    }
}

TEST(Options, GoodOptionsReachTheDisplay)
{
    for (const char* arguments : {"", "--depth 15", "--depth=24 --scale 2", "--windowed --depth 16", "--scale=1",
                                  "--stats"}) {
        command_result run = oddball(arguments);
        EXPECT_EQ(run.status, 1) << arguments << ": " << run.errors;
        EXPECT_NE(run.errors.find("DDraw Error"), std::string::npos) << arguments;
    }
}

TEST(Options, HelpListsEveryOption)
{
    command_result run = oddball("--help");
    EXPECT_EQ(run.status, 0);
    for (const char* option : {"--depth 32|24|16|15", "--scale 1|2", "--windowed", "--help"})
        EXPECT_NE(run.output.find(option), std::string::npos) << option;
    EXPECT_EQ(run.errors, "");
}
