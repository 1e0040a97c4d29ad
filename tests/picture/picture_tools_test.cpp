// encode-picture and decode-picture against ffmpeg's MPEG-1 encoder and decoder, and on bad files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "media/media_files.h"
#include "tests/support/helpers.h"

namespace {

std::string ffmpeg() { return "ffmpeg -hide_banner -nostdin -loglevel error -y"; }

void run_ok(const std::string& command)
{
    command_result r = run_command(command);
    ASSERT_EQ(r.status, 0) << command << "\n" << r.errors;
}

struct plane_difference {
    int largest = 0;
    double mean = 0;
};

plane_difference compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    plane_difference d;
    double sum = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        int diff = std::abs(int(a[i]) - int(b[i]));
        d.largest = std::max(d.largest, diff);
        sum += diff;
    }
    d.mean = a.empty() ? 0 : sum / double(a.size());
    return d;
}

double psnr(const picture& a, const picture& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        for (int shift = 0; shift <= 16; shift += 8) {
            double d = double((a.pixels[i] >> shift) & 255) - double((b.pixels[i] >> shift) & 255);
            sum += d * d;
        }
    return 10 * std::log10(255.0 * 255.0 * 3.0 * double(a.pixels.size()) / sum);
}

class PictureTools : public testing::Test {
protected:
    // Each test has its own folder: CTest runs them as parallel processes.
    void SetUp() override
    {
        dir_ = scratch_dir(std::string("atlas-") + testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_EQ(run_command("ffmpeg -version").status, 0) << "ffmpeg is needed (./check installs it)";
        // The atlas painting, an ffmpeg test picture, and blocks of noise of
        // every strength (which make the encoders use codes of every length).
        run_ok(tool() + " atlas-source --root " + source_path("") + " " + dir_ + "/atlas.png");
        run_ok(ffmpeg() + " -f lavfi -i mandelbrot=size=256x192 -frames:v 1 " + dir_ + "/mandelbrot.png");
        picture noise;
        noise.width = 256;
        noise.height = 192;
        std::mt19937 random(5);
        for (int y = 0; y < 192; ++y)
            for (int x = 0; x < 256; ++x) {
                int block = (y / 8) * 32 + x / 8;
                int spread = (block * 37) % 160;
                int base = 40 + (block * 53) % 170;
                uint32_t p = 0xFF000000u;
                for (int shift = 0; shift <= 16; shift += 8)
                    p |= uint32_t(std::clamp(base + int(random() % uint32_t(2 * spread + 1)) - spread, 0, 255))
                         << shift;
                noise.pixels.push_back(p);
            }
        std::string error;
        ASSERT_TRUE(png_write(dir_ + "/noise.png", noise, false, &error)) << error;
    }

    // Our decoder's samples and ffmpeg's for the same stream.
    static void expect_same_samples(const std::string& stream, const std::string& what)
    {
        run_ok(ffmpeg() + " -i " + stream + " -f rawvideo -pix_fmt yuv420p " + dir_ + "/theirs.yuv");
        run_ok(tool() + " decode-picture " + stream + " " + dir_ + "/ours.png --planes " + dir_ + "/ours.yuv");
        std::vector<uint8_t> theirs = read_file_bytes(dir_ + "/theirs.yuv");
        std::vector<uint8_t> ours = read_file_bytes(dir_ + "/ours.yuv");
        ASSERT_EQ(ours.size(), 256u * 192 * 3 / 2) << what;
        ASSERT_EQ(ours.size(), theirs.size()) << what;
        plane_difference d = compare(ours, theirs);
        EXPECT_LE(d.largest, 2) << what;
        EXPECT_LT(d.mean, 0.1) << what;
    }

    static std::string dir_;
};
std::string PictureTools::dir_;

TEST_F(PictureTools, FfmpegStreamsDecodeLikeFfmpeg)
{
    const std::pair<const char*, int> cases[] = {{"atlas", 5}, {"mandelbrot", 5}, {"noise", 5}, {"noise", 2},
                                                 {"mandelbrot", 1}};
    for (const auto& [name, q] : cases) {
        std::string stream = dir_ + "/ffmpeg-" + name + "-" + std::to_string(q) + ".m1v";
        run_ok(ffmpeg() + " -i " + dir_ + "/" + name + ".png -frames:v 1 -c:v mpeg1video -q:v " + std::to_string(q) +
               " -f mpeg1video " + stream);
        expect_same_samples(stream, std::string(name) + " at -q:v " + std::to_string(q));
    }
}

TEST_F(PictureTools, OurStreamsDecodeInFfmpegLikeInOurs)
{
    const std::pair<const char*, int> cases[] = {{"atlas", 5}, {"mandelbrot", 5}, {"noise", 5}, {"noise", 1},
                                                 {"mandelbrot", 31}};
    for (const auto& [name, q] : cases) {
        std::string stream = dir_ + "/ours-" + name + "-" + std::to_string(q) + ".m1v";
        run_ok(tool() + " encode-picture " + dir_ + "/" + name + ".png " + stream + " --qscale " + std::to_string(q));
        expect_same_samples(stream, std::string(name) + " at quantiser scale " + std::to_string(q));
    }
}

// The atlas painting (clouds, skin, fur-like cells: natural-looking content)
// comes back from our encoder at quantiser scale 5 with at least 32 dB.
TEST_F(PictureTools, EncoderKeepsTheAtlasPaintingAbove32Decibels)
{
    run_ok(tool() + " encode-picture " + dir_ + "/atlas.png " + dir_ + "/atlas.m1v");
    run_ok(tool() + " decode-picture " + dir_ + "/atlas.m1v " + dir_ + "/atlas-decoded.png");
    picture source, decoded;
    std::string error;
    ASSERT_TRUE(png_read(dir_ + "/atlas.png", &source, &error)) << error;
    ASSERT_TRUE(png_read(dir_ + "/atlas-decoded.png", &decoded, &error)) << error;
    ASSERT_EQ(decoded.pixels.size(), source.pixels.size());
    EXPECT_GE(psnr(source, decoded), 32.0);
    EXPECT_LE(read_file_bytes(dir_ + "/atlas.m1v").size(), 12u * 1024);
}

TEST_F(PictureTools, StoredAtlasIsWhatTheContentBuilds)
{
    run_ok(tool() + " encode-picture " + dir_ + "/atlas.png " + dir_ + "/rebuilt.m1v --qscale 5");
    EXPECT_EQ(read_file_bytes(dir_ + "/rebuilt.m1v"), read_file_bytes(source_path("data/atlas.m1v")))
        << "run oddball-tool build-data after changing content/atlas or its painter";
    command_result info = run_command(tool() + " info-atlas");
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.output.find("256 x 192 pixels, 1 slice, 192 of 192 macroblocks"), std::string::npos) << info.output;
}

TEST_F(PictureTools, BadFilesFailWithOneLineAndLeaveNothing)
{
    std::vector<uint8_t> stored = read_file_bytes(source_path("data/atlas.m1v"));
    write_file_bytes(dir_ + "/short.m1v", std::vector<uint8_t>(stored.begin(), stored.begin() + 3000));
    write_file_bytes(dir_ + "/headers-only.m1v", std::vector<uint8_t>(stored.begin(), stored.begin() + 20));
    std::vector<uint8_t> junk(5000);
    std::mt19937 random(3);
    for (uint8_t& b : junk)
        b = uint8_t(random());
    write_file_bytes(dir_ + "/junk.m1v", junk);
    std::vector<uint8_t> png = read_file_bytes(dir_ + "/atlas.png");
    write_file_bytes(dir_ + "/short.png", std::vector<uint8_t>(png.begin(), png.begin() + long(png.size() / 2)));
    picture odd;
    odd.width = 250;
    odd.height = 190;
    odd.pixels.assign(250 * 190, 0xFF336699);
    std::string error;
    ASSERT_TRUE(png_write(dir_ + "/odd.png", odd, false, &error));

    struct bad_case {
        std::string arguments;
        int status;
        const char* says;
    };
    const std::string out = dir_ + "/out";
    const bad_case cases[] = {
        {"decode-picture " + dir_ + "/short.m1v " + out + ".png --planes " + out + ".yuv", 1, "truncated stream"},
        {"decode-picture " + dir_ + "/headers-only.m1v " + out + ".png", 1, "truncated stream"},
        {"decode-picture " + dir_ + "/junk.m1v " + out + ".png", 1, "not an MPEG-1 intra picture"},
        {"decode-picture " + dir_ + "/missing.m1v " + out + ".png", 1, "missing.m1v"},
        {"encode-picture " + dir_ + "/short.png " + out + ".m1v", 1, "short.png"},
        {"encode-picture " + dir_ + "/odd.png " + out + ".m1v", 1, "multiples of 16"},
        {"encode-picture " + dir_ + "/atlas.png " + out + ".m1v --qscale 0", 2, "--qscale"},
        {"decode-picture " + dir_ + "/short.m1v", 2, "usage"},
        {"decode-picture " + dir_ + "/short.m1v " + out + ".png --frobnicate", 2, "--frobnicate"},
    };
    for (const bad_case& c : cases) {
        command_result r = run_command(tool() + " " + c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
        EXPECT_NE(r.errors.find(c.says), std::string::npos) << r.errors;
        for (const char* ext : {".png", ".yuv", ".m1v", ".png.tmp", ".yuv.tmp"})
            EXPECT_FALSE(std::filesystem::exists(out + ext)) << c.arguments << " left " << out << ext;
    }
}

}  // namespace
