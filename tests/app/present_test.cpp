// The presentation conversion: the worked values, every depth and scale on a
// frame of chosen colours, and rows kept at a pitch wider than the picture.
#include "app/present.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Chosen colours: the worked greys and white, the primaries, values whose
// dropped low bits differ from their kept ones, and top bytes that only
// depth 32 may carry.
const uint32_t colours[] = {
    0x00FFFFFF,  // white
    0x00080808,  // grey 8: lowest grey every depth keeps
    0x00070707,  // grey 7: only green keeps a bit at depth 16
    0x00000000,  // black
    0x00FF0000,  // red
    0x0000FF00,  // green
    0x000000FF,  // blue
    0x00F8FCF8,  // every kept bit set, every dropped bit clear
    0x00070307,  // every dropped bit set, every kept bit clear
    0x00808080,  // mid grey
    0x00ABCDEF,  // mixed
    0x12345678,  // a top byte, ignored below depth 32
    0xFF010203,  // a full top byte and tiny channels
    0x80FEDCBA,  // mixed with top bit
    0x00C0FFEE,  // mixed
};
constexpr int frame_width = 5;
constexpr int frame_height = 3;
static_assert(sizeof colours / sizeof colours[0] == frame_width * frame_height);

int bytes_per_pixel(int depth)
{
    return depth == 32 ? 4 : depth == 24 ? 3 : 2;
}

// The expected bytes of one pixel, written from the channels rather than
// with the shifts and masks of the conversion.
std::vector<uint8_t> expected_bytes(uint32_t p, int depth)
{
    uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    uint32_t word = 0;
    switch (depth) {
    case 15: word = (r / 8) * 1024 + (g / 8) * 32 + b / 8; return {uint8_t(word), uint8_t(word >> 8)};
    case 16: word = (r / 8) * 2048 + (g / 4) * 32 + b / 8; return {uint8_t(word), uint8_t(word >> 8)};
    case 24: return {uint8_t(r), uint8_t(g), uint8_t(b)};
    default: return {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), uint8_t(p >> 24)};
    }
}

}  // namespace

TEST(Present, WorkedValues)
{
    EXPECT_EQ(pixel_to_rgb555(0x00FFFFFF), 0x7FFF);
    EXPECT_EQ(pixel_to_rgb565(0x00FFFFFF), 0xFFFF);
    EXPECT_EQ(pixel_to_rgb555(0x00080808), 0x0421);
    EXPECT_EQ(pixel_to_rgb565(0x00080808), 0x0841);
    EXPECT_EQ(pixel_to_rgb555(0x00070707), 0x0000);
    EXPECT_EQ(pixel_to_rgb565(0x00070707), 0x0020);
    // Bit 15 stays clear at depth 15 whatever the top byte holds.
    EXPECT_EQ(pixel_to_rgb555(0xFFFFFFFF), 0x7FFF);

    // The same values as they land in a surface (a 16-bit word, low byte first).
    const uint32_t frame[3] = {0x00FFFFFF, 0x00080808, 0x00070707};
    uint8_t surface[6];
    present_convert(frame, 3, 1, 15, false, surface, 6);
    EXPECT_EQ(std::vector<uint8_t>(surface, surface + 6), (std::vector<uint8_t>{0xFF, 0x7F, 0x21, 0x04, 0x00, 0x00}));
    present_convert(frame, 3, 1, 16, false, surface, 6);
    EXPECT_EQ(std::vector<uint8_t>(surface, surface + 6), (std::vector<uint8_t>{0xFF, 0xFF, 0x41, 0x08, 0x20, 0x00}));
}

TEST(Present, EveryDepthAndScaleKeepsRowsAtThePitch)
{
    constexpr uint8_t untouched = 0xA5;
    for (int depth : {15, 16, 24, 32}) {
        for (int scale : {1, 2}) {
            int bpp = bytes_per_pixel(depth);
            int row_bytes = frame_width * scale * bpp;
            int rows = frame_height * scale;
            // Exactly the picture's width, a little wider, and odd padding (rows off any alignment).
            for (int extra : {0, 12, 5}) {
                SCOPED_TRACE(testing::Message() << "depth " << depth << " scale " << scale << " pitch +" << extra);
                int pitch = row_bytes + extra;
                std::vector<uint8_t> surface(size_t(pitch) * rows + 16, untouched);
                present_convert(colours, frame_width, frame_height, depth, scale == 2, surface.data(), pitch);
                for (int r = 0; r < rows; ++r) {
                    const uint8_t* row = surface.data() + size_t(r) * pitch;
                    for (int c = 0; c < frame_width * scale; ++c) {
                        std::vector<uint8_t> want = expected_bytes(colours[(r / scale) * frame_width + c / scale], depth);
                        ASSERT_EQ(std::vector<uint8_t>(row + c * bpp, row + (c + 1) * bpp), want)
                            << "row " << r << " column " << c;
                    }
                    for (int i = row_bytes; i < pitch; ++i)
                        ASSERT_EQ(row[i], untouched) << "padding of row " << r << " written at byte " << i;
                }
                for (size_t i = size_t(pitch) * rows; i < surface.size(); ++i)
                    ASSERT_EQ(surface[i], untouched) << "written past the last row";
            }
        }
    }
}

// The faster rows against the plain conversion at odd widths (vector
// bodies with one-pixel tails), random words with busy top bytes.
TEST(Present, FastRowsMatchThePlainConversionAtOddWidths)
{
    uint32_t seed = 7;
    for (int width : {1, 3, 4, 7, 8, 9, 13, 17, 320}) {
        const int height = 3;
        std::vector<uint32_t> frame(size_t(width) * height);
        for (auto& p : frame) {
            seed = seed * 1664525u + 1013904223u;
            p = seed ^ (seed >> 11);
        }
        for (int depth : {15, 16, 24, 32})
            for (bool doubled : {false, true}) {
                const int pitch = width * (doubled ? 2 : 1) * bytes_per_pixel(depth) + 3;
                const size_t size = size_t(pitch) * height * (doubled ? 2 : 1);
                std::vector<uint8_t> fast(size, 0x5A), plain(size, 0x5A);
                present_convert(frame.data(), width, height, depth, doubled, fast.data(), pitch);
                present_convert_plain(frame.data(), width, height, depth, doubled, plain.data(), pitch);
                EXPECT_EQ(fast, plain) << "width " << width << " depth " << depth << " doubled " << doubled;
            }
    }
}
