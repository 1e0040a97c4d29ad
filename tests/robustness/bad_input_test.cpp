// Bad input to every command of oddball and oddball-tool: unknown options,
// missing and extra arguments, values out of range, files that are missing,
// folders, empty, truncated or of another format, outputs that cannot be
// written.  Each gets one line on standard error naming the problem, status
// 2 (arguments) or 1 (files), and leaves no output file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/helpers.h"

namespace {

struct bad_case {
    const char* program;  // oddball or oddball-tool
    const char* arguments;
    int status;
    const char* names;    // what the message must name (the option, value or file)
    const char* output;   // a file that must not exist afterwards ("" for none)
};

// ROOT in the arguments stands for the checkout.  Files in the test's folder: good and damaged inputs of every kind the
// tools read, an empty file, and a folder where a file is expected.  (The
// tests run as root, for whom no permission bit makes a file unreadable, so
// a folder stands in for an unreadable file.)
const bad_case cases[] = {
    // ---- oddball -----------------------------------------------------------
    {"oddball", "--bogus", 2, "--bogus", ""},
    {"oddball", "extra", 2, "extra", ""},
    {"oddball", "--depth 17", 2, "17", ""},
    {"oddball", "--depth", 2, "--depth", ""},
    {"oddball", "--depth=", 2, "--depth", ""},
    {"oddball", "--scale 0", 2, "--scale", ""},
    {"oddball", "--scale 3", 2, "--scale", ""},
    {"oddball", "--fps 0 --benchmark", 2, "--fps", ""},
    {"oddball", "--fps 1001 --benchmark", 2, "--fps", ""},
    {"oddball", "--seconds 0 --benchmark", 2, "--seconds", ""},
    {"oddball", "--seconds x --benchmark", 2, "--seconds", ""},
    {"oddball", "--still -5 out.png", 2, "--still", "out.png"},
    {"oddball", "--still 99999999999 out.png", 2, "--still", "out.png"},
    {"oddball", "--still 0", 2, "--still", ""},
    {"oddball", "--still x out.png", 2, "--still", "out.png"},
    {"oddball", "--wav out.wav --still 0 out.png", 2, "--still", "out.png"},
    {"oddball", "--windowed=1", 2, "--windowed", ""},
    {"oddball", "--help --bogus", 2, "--bogus", ""},
    {"oddball", "--still 0 nowhere/out.png", 1, "nowhere/out.png", ""},
    {"oddball", "--still 0 folder", 1, "folder", ""},
    {"oddball", "--wav nowhere/out.wav", 1, "nowhere/out.wav", ""},
    {"oddball", "--wav folder", 1, "folder", ""},
    {"oddball", "--capture nowhere/out.y4m --seconds 1", 1, "nowhere/out.y4m", ""},
    {"oddball", "--capture nowhere/out.mp4 --seconds 1", 1, "nowhere/out", ""},
    {"oddball", "--capture folder --seconds 1", 1, "folder", ""},
    // ---- oddball-tool ------------------------------------------------------
    {"oddball-tool", "", 2, "command", ""},
    {"oddball-tool", "no-such-command", 2, "no-such-command", ""},
    {"oddball-tool", "--bogus", 2, "--bogus", ""},
    // decode-picture
    {"oddball-tool", "decode-picture", 2, "decode-picture", ""},
    {"oddball-tool", "decode-picture good.m1v", 2, "decode-picture", ""},
    {"oddball-tool", "decode-picture good.m1v out.png extra", 2, "extra", "out.png"},
    {"oddball-tool", "decode-picture --bogus good.m1v out.png", 2, "--bogus", "out.png"},
    {"oddball-tool", "decode-picture good.m1v out.png --filter-rows -1", 2, "--filter-rows", "out.png"},
    {"oddball-tool", "decode-picture good.m1v out.png --filter-rows", 2, "--filter-rows", "out.png"},
    {"oddball-tool", "decode-picture good.m1v out.png --planes", 2, "--planes", "out.png"},
    {"oddball-tool", "decode-picture missing.m1v out.png", 1, "missing.m1v", "out.png"},
    {"oddball-tool", "decode-picture folder out.png", 1, "folder", "out.png"},
    {"oddball-tool", "decode-picture empty out.png", 1, "empty", "out.png"},
    {"oddball-tool", "decode-picture truncated.m1v out.png", 1, "truncated", "out.png"},
    {"oddball-tool", "decode-picture good.png out.png", 1, "good.png", "out.png"},
    {"oddball-tool", "decode-picture good.m1v nowhere/out.png", 1, "nowhere/out.png", ""},
    {"oddball-tool", "decode-picture good.m1v folder", 1, "folder", ""},
    {"oddball-tool", "decode-picture good.m1v out.png --planes nowhere/out.yuv", 1, "nowhere/out.yuv", "out.png"},
    {"oddball-tool", "decode-picture good.m1v nowhere/out.png --planes out.yuv", 1, "nowhere/out.png", "out.yuv"},
    // encode-picture
    {"oddball-tool", "encode-picture", 2, "encode-picture", ""},
    {"oddball-tool", "encode-picture good.png out.m1v extra", 2, "extra", "out.m1v"},
    {"oddball-tool", "encode-picture good.png out.m1v --qscale 0", 2, "--qscale", "out.m1v"},
    {"oddball-tool", "encode-picture good.png out.m1v --qscale 32", 2, "--qscale", "out.m1v"},
    {"oddball-tool", "encode-picture missing.png out.m1v", 1, "missing.png", "out.m1v"},
    {"oddball-tool", "encode-picture folder out.m1v", 1, "folder", "out.m1v"},
    {"oddball-tool", "encode-picture empty out.m1v", 1, "empty", "out.m1v"},
    {"oddball-tool", "encode-picture truncated.png out.m1v", 1, "truncated.png", "out.m1v"},
    {"oddball-tool", "encode-picture good.wav out.m1v", 1, "good.wav", "out.m1v"},
    {"oddball-tool", "encode-picture odd-size.png out.m1v", 1, "odd-size.png", "out.m1v"},
    {"oddball-tool", "encode-picture good.png nowhere/out.m1v", 1, "nowhere/out.m1v", ""},
    {"oddball-tool", "encode-picture good.png folder", 1, "folder", ""},
    // decode-samples
    {"oddball-tool", "decode-samples", 2, "decode-samples", ""},
    {"oddball-tool", "decode-samples good.sbc out.wav extra", 2, "decode-samples", "out.wav"},
    {"oddball-tool", "decode-samples good.sbc out.wav --rate 0", 2, "--rate", "out.wav"},
    {"oddball-tool", "decode-samples good.sbc out.wav --rate 1000001", 2, "--rate", "out.wav"},
    {"oddball-tool", "decode-samples good.sbc out.wav --bogus", 2, "--bogus", "out.wav"},
    {"oddball-tool", "decode-samples missing.sbc out.wav", 1, "missing.sbc", "out.wav"},
    {"oddball-tool", "decode-samples folder out.wav", 1, "folder", "out.wav"},
    {"oddball-tool", "decode-samples empty out.wav", 1, "empty", "out.wav"},
    {"oddball-tool", "decode-samples truncated.sbc out.wav", 1, "truncated.sbc", "out.wav"},
    {"oddball-tool", "decode-samples good.wav out.wav", 1, "good.wav", "out.wav"},
    {"oddball-tool", "decode-samples good.sbc nowhere/out.wav", 1, "nowhere/out.wav", ""},
    {"oddball-tool", "decode-samples good.sbc folder", 1, "folder", ""},
    // encode-samples
    {"oddball-tool", "encode-samples", 2, "encode-samples", ""},
    {"oddball-tool", "encode-samples good.wav", 2, "encode-samples", ""},
    {"oddball-tool", "encode-samples good.wav out.sbc --max-bytes 0", 2, "--max-bytes", "out.sbc"},
    {"oddball-tool", "encode-samples good.wav out.sbc --max-bytes", 2, "--max-bytes", "out.sbc"},
    {"oddball-tool", "encode-samples good.wav out.sbc --max-bytes 5", 1, "--max-bytes", "out.sbc"},
    {"oddball-tool", "encode-samples missing.wav out.sbc", 1, "missing.wav", "out.sbc"},
    {"oddball-tool", "encode-samples folder out.sbc", 1, "folder", "out.sbc"},
    {"oddball-tool", "encode-samples empty out.sbc", 1, "empty", "out.sbc"},
    {"oddball-tool", "encode-samples truncated.wav out.sbc", 1, "truncated.wav", "out.sbc"},
    {"oddball-tool", "encode-samples good.wav truncated.wav out.sbc", 1, "truncated.wav", "out.sbc"},
    {"oddball-tool", "encode-samples good.png out.sbc", 1, "good.png", "out.sbc"},
    {"oddball-tool", "encode-samples good.wav nowhere/out.sbc", 1, "nowhere/out.sbc", ""},
    {"oddball-tool", "encode-samples good.wav folder", 1, "folder", ""},
    // render-song, play-song, export-xm, import-xm
    {"oddball-tool", "render-song", 2, "render-song", ""},
    {"oddball-tool", "render-song song.mxm", 2, "render-song", ""},
    {"oddball-tool", "render-song song.mxm out.wav --seconds -1", 2, "--seconds", "out.wav"},
    {"oddball-tool", "render-song missing.mxm out.wav", 1, "missing.mxm", "out.wav"},
    {"oddball-tool", "render-song folder out.wav", 1, "folder", "out.wav"},
    {"oddball-tool", "render-song empty out.wav", 1, "empty", "out.wav"},
    {"oddball-tool", "render-song truncated.mxm out.wav", 1, "truncated.mxm", "out.wav"},
    {"oddball-tool", "render-song good.wav out.wav", 1, "good.wav", "out.wav"},
    {"oddball-tool", "render-song song.mxm out.wav", 1, "song.mxm", "out.wav"},  // its samples are not given
    {"oddball-tool", "render-song song.mxm out.wav --samples folder", 1, "folder", "out.wav"},
    {"oddball-tool", "render-song song.mxm out.wav --samples truncated.sbc", 1, "truncated.sbc", "out.wav"},
    {"oddball-tool", "render-song song.mxm nowhere/out.wav --samples song.sbc --seconds 0.1", 1, "nowhere/out.wav", ""},
    {"oddball-tool", "render-song song.mxm folder --samples song.sbc --seconds 0.1", 1, "folder", ""},
    {"oddball-tool", "render-song song.mxm out.wav --samples song.sbc --seconds 0.1 --trace nowhere/t.txt", 1,
     "nowhere/t.txt", "out.wav"},
    {"oddball-tool", "play-song", 2, "play-song", ""},
    {"oddball-tool", "play-song song.mxm extra", 2, "play-song", ""},
    {"oddball-tool", "play-song folder", 1, "folder", ""},
    {"oddball-tool", "play-song empty", 1, "empty", ""},
    {"oddball-tool", "play-song good.wav", 1, "good.wav", ""},
    {"oddball-tool", "play-song song.mxm --samples folder", 1, "folder", ""},
    {"oddball-tool", "export-xm", 2, "export-xm", ""},
    {"oddball-tool", "export-xm song.mxm out.xm extra", 2, "export-xm", "out.xm"},
    {"oddball-tool", "export-xm folder out.xm", 1, "folder", "out.xm"},
    {"oddball-tool", "export-xm truncated.mxm out.xm", 1, "truncated.mxm", "out.xm"},
    {"oddball-tool", "export-xm song.mxm out.xm --samples folder", 1, "folder", "out.xm"},
    {"oddball-tool", "export-xm song.mxm nowhere/out.xm --samples song.sbc", 1, "nowhere/out.xm", ""},
    {"oddball-tool", "import-xm", 2, "import-xm", ""},
    {"oddball-tool", "import-xm song.xm out.mxm", 2, "import-xm", "out.mxm"},
    {"oddball-tool", "import-xm song.xm out.mxm out.sbc --bogus", 2, "--bogus", "out.mxm"},
    {"oddball-tool", "import-xm song.xm out.mxm out.sbc --max-bytes 0", 2, "--max-bytes", "out.mxm"},
    {"oddball-tool", "import-xm folder out.mxm out.sbc", 1, "folder", "out.mxm"},
    {"oddball-tool", "import-xm empty out.mxm out.sbc", 1, "empty", "out.mxm"},
    {"oddball-tool", "import-xm truncated.xm out.mxm out.sbc", 1, "truncated.xm", "out.mxm"},
    {"oddball-tool", "import-xm good.wav out.mxm out.sbc", 1, "good.wav", "out.mxm"},
    {"oddball-tool", "import-xm song.xm nowhere/out.mxm out.sbc", 1, "nowhere/out.mxm", "out.sbc"},
    {"oddball-tool", "import-xm song.xm out.mxm nowhere/out.sbc", 1, "nowhere/out.sbc", "out.mxm"},
    // build-data, atlas-source, captions
    {"oddball-tool", "build-data extra", 2, "extra", ""},
    {"oddball-tool", "build-data --bogus", 2, "--bogus", ""},
    {"oddball-tool", "build-data --root", 2, "--root", ""},
    {"oddball-tool", "build-data --root nowhere", 1, "nowhere", ""},
    {"oddball-tool", "build-data --root empty", 1, "empty", ""},
    {"oddball-tool", "build-data --check --root folder", 1, "folder", ""},
    {"oddball-tool", "atlas-source", 2, "atlas-source", ""},
    {"oddball-tool", "atlas-source out.png extra", 2, "extra", "out.png"},
    {"oddball-tool", "atlas-source --bogus out.png", 2, "--bogus", "out.png"},
    {"oddball-tool", "atlas-source --root", 2, "--root", ""},
    {"oddball-tool", "atlas-source --root nowhere out.png", 1, "nowhere", "out.png"},
    {"oddball-tool", "atlas-source --root ROOT nowhere/out.png", 1, "nowhere/out.png", ""},
    {"oddball-tool", "atlas-source --root ROOT folder", 1, "folder", ""},
    {"oddball-tool", "captions", 2, "captions", ""},
    {"oddball-tool", "captions folder extra", 2, "captions", ""},
    {"oddball-tool", "captions empty", 1, "empty", ""},
    // inspectors and previews
    {"oddball-tool", "info extra", 2, "info", ""},
    {"oddball-tool", "info-atlas extra", 2, "info-atlas", ""},
    {"oddball-tool", "info-meshes extra", 2, "info-meshes", ""},
    {"oddball-tool", "preview", 2, "preview", ""},
    {"oddball-tool", "preview plasma 0", 2, "preview", ""},
    {"oddball-tool", "preview plasma 0 out.png extra", 2, "preview", "out.png"},
    {"oddball-tool", "preview bogus 0 out.png", 2, "bogus", "out.png"},
    {"oddball-tool", "preview plasma abc out.png", 2, "abc", "out.png"},
    {"oddball-tool", "preview plasma 99999999999 out.png", 2, "99999999999", "out.png"},
    {"oddball-tool", "preview plasma 0 nowhere/out.png", 1, "nowhere/out.png", ""},
    {"oddball-tool", "preview-3d", 2, "preview-3d", ""},
    {"oddball-tool", "preview-3d bogus 0 out.png", 2, "bogus", "out.png"},
    {"oddball-tool", "preview-3d blob0 x out.png", 2, "'x'", "out.png"},
    {"oddball-tool", "preview-3d blob0 nan out.png", 2, "nan", "out.png"},
    {"oddball-tool", "preview-3d blob0 0 out.png --amplitude", 2, "--amplitude", "out.png"},
    {"oddball-tool", "preview-3d blob0 0 out.png --spin inf", 2, "--spin", "out.png"},
    {"oddball-tool", "preview-3d blob0 0 out.png --background zzzzzz", 2, "zzzzzz", "out.png"},
    {"oddball-tool", "preview-3d blob0 0 out.png --bogus", 2, "--bogus", "out.png"},
    {"oddball-tool", "preview-3d blob0 0 nowhere/out.png", 1, "nowhere/out.png", ""},
    {"oddball-tool", "preview-composite", 2, "preview-composite", ""},
    {"oddball-tool", "preview-composite bogus 0 out.png", 2, "bogus", "out.png"},
    {"oddball-tool", "preview-composite tunnel -1 out.png", 2, "-1", "out.png"},
    {"oddball-tool", "preview-composite tunnel 0 nowhere/out.png", 1, "nowhere/out.png", ""},
};

// Lays out the inputs once for all cases.
std::string prepare_inputs()
{
    std::string dir = scratch_dir("bad-input");
    auto copy = [&](const std::string& from, const std::string& to, size_t keep) {
        std::vector<uint8_t> bytes = read_file_bytes(source_path(from));
        if (keep && keep < bytes.size())
            bytes.resize(keep);
        write_file_bytes(dir + "/" + to, bytes);
    };
    copy("tests/fuzz/decode_picture/mandelbrot-48x32-q2.m1v", "good.m1v", 0);
    copy("tests/fuzz/decode_picture/mandelbrot-48x32-q2.m1v", "truncated.m1v", 600);
    copy("tests/fuzz/png_read/rgb-32x16.png", "good.png", 0);
    copy("tests/fuzz/png_read/rgb-32x16.png", "truncated.png", 300);
    copy("tests/fuzz/png_read/rgb16-8x8.png", "odd-size.png", 0);  // sides not multiples of 16
    copy("tests/fuzz/wav_read/noise-16bit-stereo.wav", "good.wav", 0);
    copy("tests/fuzz/wav_read/noise-16bit-stereo.wav", "truncated.wav", 100);
    copy("tests/fuzz/decode_samples/noise.sbc", "good.sbc", 0);
    copy("tests/fuzz/decode_samples/noise.sbc", "truncated.sbc", 100);
    copy("data/song.mxm", "song.mxm", 0);
    copy("data/song.mxm", "truncated.mxm", 5000);
    copy("data/song.sbc", "song.sbc", 0);
    write_file_bytes(dir + "/empty", {});
    // An XM file of the program's song, made by export-xm, and its first half.
    command_result xm = run_command(binary_path("oddball-tool") + " export-xm " + dir + "/song.mxm " + dir +
                                    "/song.xm --samples " + dir + "/song.sbc");
    EXPECT_EQ(xm.status, 0) << xm.errors;
    std::vector<uint8_t> xm_bytes = read_file_bytes(dir + "/song.xm");
    xm_bytes.resize(xm_bytes.size() / 2);
    write_file_bytes(dir + "/truncated.xm", xm_bytes);
    std::filesystem::create_directory(dir + "/folder");
    return dir;
}

// Files a failed command may have left: its outputs' temporaries and parts.
std::vector<std::string> leftovers(const std::string& dir)
{
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        if (name.find(".tmp") != std::string::npos || name.find("part") != std::string::npos)
            found.push_back(name);
    }
    return found;
}

TEST(BadInput, EveryCommandRefusesWithOneLineAStatusAndNoOutput)
{
    std::string dir = prepare_inputs();
    for (const bad_case& c : cases) {
        std::string arguments = c.arguments;
        if (size_t root = arguments.find("ROOT"); root != std::string::npos)
            arguments.replace(root, 4, source_path(""));
        SCOPED_TRACE(std::string(c.program) + " " + arguments);
        command_result r = run_command("cd " + dir + " && " + binary_path(c.program) + " " + arguments);
        EXPECT_EQ(r.status, c.status) << r.errors;
        // One line, the program's name first, naming the problem.
        std::string prefix = std::string(c.program) + ": ";
        EXPECT_EQ(r.errors.rfind(prefix, 0), 0u) << r.errors;
        EXPECT_TRUE(!r.errors.empty() && r.errors.find('\n') == r.errors.size() - 1) << r.errors;
        EXPECT_NE(r.errors.find(c.names), std::string::npos) << "the message does not name '" << c.names << "': " << r.errors;
        if (*c.output) {
            EXPECT_FALSE(std::filesystem::exists(dir + "/" + c.output)) << c.output << " was left behind";
        }
        EXPECT_EQ(leftovers(dir), std::vector<std::string>{});
        EXPECT_TRUE(std::filesystem::is_empty(dir + "/folder")) << "something was written into the folder";
        for (const char* output :
             {"out.png", "out.wav", "out.m1v", "out.sbc", "out.yuv", "out.y4m", "out.mp4", "out.xm", "out.mxm"})
            std::filesystem::remove(dir + "/" + output);
    }
}

}  // namespace
