// What the effect tests share: the tables built once, guarded frames and test pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/tables.h"

// Builds the procedural textures (slots 0..4), the polar tables,
// the warp grids and the lens tables once per test program.
void prepare_effect_tables();

// A 320 x 240 frame with guard words on both sides, to see stray writes.
class guarded_frame {
public:
    explicit guarded_frame(uint32_t fill = 0);
    uint32_t* pixels() { return words_.data() + guard; }
    uint32_t& at(int32_t x, int32_t y) { return pixels()[y * screen_width + x]; }
    bool guards_intact() const;

private:
    static constexpr int guard = 4096;
    static constexpr uint32_t guard_word = 0xDEADBEEFu;
    std::vector<uint32_t> words_;
};

// A 256 x 256 texture whose texel (u, v) is v << 8 | u: every texel tells where it is.
std::vector<uint32_t> coordinate_texture();
// Pixels from a fixed-seed generator.
std::vector<uint32_t> random_pixels(size_t count, uint32_t seed);
// The golden hash of a frame.
std::string frame_hash(const uint32_t* pixels, size_t count = frame_pixels);
