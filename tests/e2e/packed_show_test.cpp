// The 64 KB build: scripts/build_64k.sh makes one packed executable of at most
// 65,536 bytes that needs only SDL2 and the C library, starts under a private
// X server, ends with status 0 on Escape, passes other statuses through and
// leaves no file behind; its stub runs any packed program with the arguments
// and environment it was given.
#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

#include "tests/e2e/x_session.h"
#include "tests/support/helpers.h"

namespace {

constexpr long size_limit = 65536;

// Builds the packed show into the test tree's build-64k (incrementally) and gives its path.
std::string build_packed_show()
{
    std::string tree = binary_path("build-64k");
    command_result build = run_command(source_path("scripts/build_64k.sh") + " " + tree + " 2>&1");
    EXPECT_EQ(build.status, 0) << build.output;
    return tree + "/oddball";
}

std::vector<std::string> files_in(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                names.push_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

std::string text_of(const std::string& path)
{
    auto bytes = read_file_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(PackedShow, FitsIn64KAndNeedsOnlySdlAndTheCLibrary)
{
    std::string packed = build_packed_show();
    if (HasFailure())
        return;
    long size = long(read_file_bytes(packed).size());
    EXPECT_GT(size, 0);
    EXPECT_LE(size, size_limit) << "the packed show is " << size - size_limit << " bytes over";

    command_result needed = run_command("readelf -d " + binary_path("build-64k/oddball-unpacked") +
                                        " | sed -n 's/.*Shared library: \\[\\(.*\\)\\]/\\1/p' | sort");
    ASSERT_EQ(needed.status, 0) << needed.errors;
    EXPECT_EQ(needed.output, "libSDL2-2.0.so.0\nlibc.so.6\nlibm.so.6\n");
}

TEST(PackedShow, StartsUnderXAndEndsWithStatusZeroOnEscape)
{
    std::string packed = build_packed_show();
    if (HasFailure())
        return;
    xvfb_server server;
    std::string why;
    ASSERT_TRUE(server.start(&why)) << why;
    x_client x(server.display());
    ASSERT_TRUE(x.connected());

    // A private folder for temporary files shows whether the unpacked program is removed.
    std::string temporary = scratch_dir("packed-show-tmp");
    std::string errors_path = scratch_dir("packed-show") + "/stderr.txt";
    background_program show;
    ASSERT_TRUE(show.start({packed}, {"DISPLAY=" + server.display(), "SDL_AUDIODRIVER=dummy", "TMPDIR=" + temporary},
                           errors_path));
    unsigned long window = x.wait_for_window("oddball", 20000);
    ASSERT_NE(window, 0u) << "no window appeared; stderr: " << text_of(errors_path);
    x.focus(window);
    int status = -1;
    ASSERT_FALSE(show.wait_exit(300, &status)) << "ended by itself with " << status << ": " << text_of(errors_path);

    command_result escape = run_command("DISPLAY=" + server.display() + " xdotool key Escape");
    ASSERT_EQ(escape.status, 0) << escape.errors;
    ASSERT_TRUE(show.wait_exit(5000, &status)) << "still running 5 s after Escape";
    EXPECT_EQ(status, 0) << text_of(errors_path);
    EXPECT_TRUE(files_in(temporary).empty()) << "left behind: " << files_in(temporary)[0];
}

TEST(PackedShow, PassesTheProgramsStatusAndArgumentsThrough)
{
    std::string packed = build_packed_show();
    if (HasFailure())
        return;
    std::string temporary = scratch_dir("packed-status-tmp");
    std::string environment = "TMPDIR=" + temporary + " SDL_AUDIODRIVER=dummy ";

    command_result bad = run_command(environment + packed + " --depth 8");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.errors.find("oddball: bad value '8'"), std::string::npos) << bad.errors;

    command_result no_display = run_command(environment + "SDL_VIDEODRIVER=no-such-driver " + packed + " --windowed");
    EXPECT_EQ(no_display.status, 1);
    EXPECT_NE(no_display.errors.find("oddball: the display could not be set up: "), std::string::npos)
        << no_display.errors;
    EXPECT_TRUE(files_in(temporary).empty());
}

TEST(PackedShow, StubRunsAPackedProgramWithItsArgumentsAndEnvironment)
{
    build_packed_show();
    if (HasFailure())
        return;
    // env(1), packed: it prints the environment it got, or runs a command with it.
    std::string packed_env = scratch_dir("packed-env") + "/env";
    command_result pack = run_command(binary_path("build-64k/oddball-pack") + " pack " +
                                      binary_path("build-64k/oddball-stub") + " /usr/bin/env " + packed_env);
    ASSERT_EQ(pack.status, 0) << pack.errors;

    command_result listed = run_command("ODDBALL_PACKED_TEST='a b' " + packed_env);
    EXPECT_EQ(listed.status, 0) << listed.errors;
    EXPECT_NE(listed.output.find("ODDBALL_PACKED_TEST=a b\n"), std::string::npos) << listed.output;

    command_result ran = run_command(packed_env + " sh -c 'echo \"$0|$1\"; exit 7' 'first arg' ''");
    EXPECT_EQ(ran.status, 7) << ran.errors;
    EXPECT_EQ(ran.output, "first arg|\n");
}
