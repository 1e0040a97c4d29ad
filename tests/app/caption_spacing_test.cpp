// The captions as the director draws them over the whole show: which caption
// lights which pixel of every frame, found by running the show with only some
// captions kept; no two captions come within 3 pixels of each other
// (Chebyshev distance: 3 in x and in y) and no frame shows more than eight
// words.
//
// Every caption gets a code of 9 bits, 4 of them set (a shadow, reflection or
// scratch copy takes the code of the caption it is made from).  One run
// draws no caption (each image left with zero width and height, which every
// blit and the row wave skip: no other pixel moves); run j keeps the
// captions whose code has bit j.  A pixel is lit where a run moves one of its
// channels by more than `lit_level` from the run without captions, and its
// code is the bits of the runs that move it by more than `touch_level`: a
// pixel one caption lights carries that caption's code, one where captions
// meet a mix (more bits, or fewer where one covers another: no caption's
// code), a collision too, whose message names the codes found around it (a
// mix may read as a third caption's code).  A dark halo or backdrop a caption
// draws is its own; so is what an effect makes of it (the lens scene bends
// its line through the lens and streaks it); no scene carries pixels from one
// frame into the next.  The runs are on the virtual backend and repeat byte
// for byte (checked on every span: the page's "play again" is such a second
// run), so frames of two runs compare; the
// show is run in spans, from its start to each span's end, so only one span
// of frames is held at a time.  About 30 s.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/entry.h"
#include "app/virtual_show.h"
#include "data/blocks.h"
#include "director/pictures.h"
#include "director/precalc.h"
#include "director/timeline.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_controls.h"
#include "text/captions.h"
#include "text/recipes.h"

namespace {

constexpr int fps = 12;            // a scroller moves 5 pixels a frame at most
constexpr int span_ms = 40000;     // the show is looked at 40 s at a time (some 220 MB)
constexpr int lit_level = 40;      // a channel moved by more than this: lit (faint glow edges are not)
constexpr int touch_level = 12;    // by more than this: touched (a lit pixel's code has the bits of every run
                                   // that touched it, so one near the lit level keeps its whole code)
constexpr int min_visible = 12;    // pixels a caption must light to count as shown
constexpr int near = 3;            // pixels two captions must keep apart (Chebyshev distance)
constexpr int most_words = 8;
constexpr int width = 320, height = 240, pixels = width * height;
constexpr int code_bits = 9, code_weight = 4, code_count = 1 << code_bits;
constexpr int tag_entry = 6, halo_entry = 7;  // the title's sideways tag and its dark mirrored line

// Slots drawn as part of another caption: its shadow, reflection or the
// scratch a scene waves it into.
int source_slot(int slot)
{
    switch (slot) {
    case caption_big_name_wave:
    case caption_big_name_tall: return caption_big_name;
    case caption_waving_scratch: return caption_waving;
    case caption_banner_dark: return caption_column_left_5;   // the dark banner behind "numbers"
    case caption_outline_12: return caption_outline_3;        // its dark flipped copy
    case caption_outline_9: return caption_outline_10;        // its dark blurred shadow
    case caption_name_pair_1 + 1: return caption_name_pair_1;  // the other shade of the same word
    case caption_name_pair_2 + 1: return caption_name_pair_2;
    default: return slot;
    }
}

// The text entry each caption slot is made from, as the stored recipes make it.
std::vector<int> slot_entries()
{
    std::vector<int> entry(256, -1);
    const uint8_t* at = embedded_recipes_bin;
    for (;;) {
        const uint8_t opcode = *at++;
        if (opcode == recipe_end || opcode >= recipe_opcode_count)
            break;
        const uint8_t target = *at++;
        switch (opcode) {
        case recipe_sprite: entry[target] = at[0]; at += 5; break;
        case recipe_text: entry[target] = at[0]; at += 1; break;
        case recipe_copy: entry[target] = entry[at[0]]; at += 1; break;
        case recipe_glow: at += 6; break;
        case recipe_blur:
        case recipe_multiply: at += 4; break;
        case recipe_brightness: at += 2; break;
        case recipe_alpha:
        case recipe_store: at += 1; break;
        case recipe_add:
        case recipe_subtract:
        case recipe_blend: at += 5; break;
        default: break;
        }
    }
    return entry;
}

// Words: runs of characters between spaces holding a letter or digit; a
// caption of a single character is a mark.
int words_in(const char* text)
{
    if (std::strlen(text) == 1)
        return 0;
    int words = 0;
    bool in_word = false;
    for (const char* c = text; *c; ++c) {
        if (*c == ' ')
            in_word = false;
        else if (std::isalnum(static_cast<unsigned char>(*c)) && !in_word)
            in_word = true, ++words;
    }
    return words;
}

// Every caption: its code, its text and words; and what each code names.
struct caption_codes {
    int code[caption_slot_count] = {};
    int slot[code_count];  // -1: a mix, no caption's code
    std::string text[caption_slot_count];
    int words[caption_slot_count] = {};

    caption_codes()
    {
        std::fill(slot, slot + code_count, -1);
        int next = 0;
        for (int s = 0; s < caption_slot_count; ++s) {
            if (source_slot(s) != s)
                continue;
            while (std::popcount(unsigned(next)) != code_weight)
                ++next;
            EXPECT_LT(next, code_count) << "more captions than codes";
            code[s] = next;
            slot[next++] = s;
        }
        for (int s = 0; s < caption_slot_count; ++s)
            code[s] = code[source_slot(s)];
        // The title frames hold the name (one word), the dark mirrored line
        // across them and, in the last two, the sideways tag.
        const std::vector<int> entries = slot_entries();
        for (int s = 0; s < caption_slot_count; ++s) {
            if (s >= caption_title_frames && s < caption_title_frames + title_frame_count) {
                const bool tagged = s >= caption_title_frames + 4;
                text[s] = std::string("ODDBALL / ") + caption_text(halo_entry);
                words[s] = 1 + words_in(caption_text(halo_entry));
                if (tagged)
                    text[s] += std::string(" / ") + caption_text(tag_entry), words[s] += words_in(caption_text(tag_entry));
            } else if (entries[s] >= 0) {
                text[s] = caption_text(entries[s]);
                words[s] = words_in(text[s].c_str());
            }
        }
    }
    std::string name(int s) const { return "slot " + std::to_string(s) + " \"" + text[s] + "\""; }
};

std::string clock_text(uint32_t ms)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u:%04.1f", ms / 60000, (ms % 60000) / 1000.0);
    return text;
}

// The captions' images as the precalculation made them, restored before each
// run (the scratch slots keep what a wave left in them).
struct saved_captions {
    image shape[caption_slot_count];
    std::vector<uint32_t> pixels[caption_slot_count];

    saved_captions()
    {
        for (int s = 0; s < caption_slot_count; ++s) {
            shape[s] = caption_table[s];
            if (shape[s].pixels)
                pixels[s].assign(shape[s].pixels, shape[s].pixels + size_t(shape[s].width) * shape[s].height);
        }
    }
    // Keeps the captions whose code shares a bit with `mask`.
    void keep(const caption_codes& codes, unsigned mask)
    {
        for (int s = 0; s < caption_slot_count; ++s) {
            caption_table[s] = shape[s];
            if (shape[s].pixels)
                std::copy(pixels[s].begin(), pixels[s].end(), shape[s].pixels);
            if (!(unsigned(codes.code[s]) & mask))
                caption_table[s].width = caption_table[s].height = 0;
        }
    }
};

// One span of the show: the frames without captions, then each frame's codes.
struct span_run {
    uint32_t from, to;
    int bit = -1;  // -1: the run without captions
    size_t frame = 0;
    uint32_t last_ms = 0;
    std::vector<std::vector<uint8_t>> blank;  // 3 bytes a pixel
    std::vector<std::vector<uint16_t>> codes;
    std::vector<std::vector<uint8_t>> most_moved;
    std::vector<uint32_t> ms;
    std::vector<scene_id> scenes;
    bool repeat_differs = false;
};

void record(const virtual_frame& f, void* user)
{
    auto& r = *static_cast<span_run*>(user);
    virtual_show_stop_after(int32_t(r.to) - 1, fps);
    r.last_ms = f.time_ms;
    if (f.time_ms < r.from || f.time_ms >= r.to)
        return;
    const size_t k = r.frame++;
    if (r.bit < 0 && k == r.blank.size()) {
        std::vector<uint8_t> b(size_t(pixels) * 3);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                std::memcpy(&b[size_t(y * width + x) * 3], f.pixels + size_t(y) * f.pitch + size_t(x) * 4, 3);
        r.blank.push_back(std::move(b));
        r.codes.emplace_back(size_t(pixels), 0);
        r.most_moved.emplace_back(size_t(pixels), 0);
        r.ms.push_back(f.time_ms);
        r.scenes.push_back(scene_for_order(show_clock.music.music_order));
        return;
    }
    ASSERT_LT(k, r.blank.size());
    const uint8_t* blank = r.blank[k].data();
    uint16_t* codes = r.codes[k].data();
    uint8_t* most = r.most_moved[k].data();
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = f.pixels + size_t(y) * f.pitch;
        for (int x = 0; x < width; ++x, p += 4, blank += 3, ++codes, ++most) {
            int moved = 0;
            for (int c = 0; c < 3; ++c)
                moved = std::max(moved, std::abs(int(p[c]) - int(blank[c])));
            if (r.bit < 0)
                r.repeat_differs = r.repeat_differs || moved != 0;
            else if (moved > touch_level) {
                *codes = uint16_t(*codes | 1 << r.bit);
                *most = uint8_t(std::max(int(*most), moved));
            }
        }
    }
}

void run_span(span_run& r, int bit)
{
    r.bit = bit;
    r.frame = 0;
    quit_requested = 0;
    EXPECT_EQ(virtual_show_run(fps, 1, record, &r), 0);
}

// The captions that come within `near` of each other in x and y, as pairs of
// slots (-1: a caption that is only seen mixed with others).  Every lit pixel
// is checked against the least and greatest code in the square around it
// (separable); where one differs, the captions of the square are the pair's.
std::vector<std::pair<int, int>> near_pairs(const std::vector<uint16_t>& codes, const caption_codes& captions)
{
    constexpr uint16_t none = 0xFFFF;
    std::vector<uint16_t> low(pixels), high(pixels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint16_t lo = none, hi = 0;
            for (int dx = std::max(0, x - near); dx <= std::min(width - 1, x + near); ++dx)
                if (const uint16_t c = codes[y * width + dx])
                    lo = std::min(lo, c), hi = std::max(hi, c);
            low[y * width + x] = lo, high[y * width + x] = hi;
        }
    std::vector<std::pair<int, int>> pairs;
    auto add = [&](int a, int b) {
        const std::pair<int, int> pair{std::min(a, b), std::max(a, b)};
        if (std::find(pairs.begin(), pairs.end(), pair) == pairs.end())
            pairs.push_back(pair);
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint16_t c = codes[y * width + x];
            if (!c)
                continue;
            uint16_t lo = none, hi = 0;
            for (int dy = std::max(0, y - near); dy <= std::min(height - 1, y + near); ++dy)
                lo = std::min(lo, low[dy * width + x]), hi = std::max(hi, high[dy * width + x]);
            if (lo == c && hi == c)
                continue;
            std::vector<int> around;
            for (int dy = std::max(0, y - near); dy <= std::min(height - 1, y + near); ++dy)
                for (int dx = std::max(0, x - near); dx <= std::min(width - 1, x + near); ++dx) {
                    const int s = captions.slot[codes[dy * width + dx]];
                    if (s >= 0 && std::find(around.begin(), around.end(), s) == around.end())
                        around.push_back(s);
                }
            if (around.size() < 2)
                around.push_back(-1);
            if (around.size() < 2)
                around.push_back(-1);
            for (size_t i = 0; i < around.size(); ++i)
                for (size_t j = i + 1; j < around.size(); ++j)
                    add(around[i], around[j]);
        }
    return pairs;
}

struct collision {
    int a, b;  // slots, a < b (-1: one seen only mixed with others)
    scene_id scene;
    uint32_t first_ms, last_ms;
    int frames;
};

struct busiest {
    int words = -1;
    uint32_t ms = 0;
    std::string shown;
};

TEST(CaptionSpacing, NoTwoCaptionsComeNearAndNoFrameSaysMoreThanEightWords)
{
    platform_use(&platform_virtual_backend);
    precalc_all();  // made once: the runs below draw from these captions
    saved_captions saved;
    const caption_codes codes;

    std::vector<collision> collisions;
    busiest most[scene_count];
    bool last_span = false;
    for (uint32_t from = 0; !last_span; from += span_ms) {
        span_run r;
        r.from = from;
        r.to = from + span_ms;
        saved.keep(codes, 0);
        run_span(r, -1);
        last_span = r.last_ms + 2000 / fps < r.to;
        run_span(r, -1);  // the same run again gives the same frames
        EXPECT_FALSE(r.repeat_differs) << "two runs of the show differ from " << clock_text(r.from);
        for (int bit = 0; bit < code_bits; ++bit) {
            saved.keep(codes, 1u << bit);
            run_span(r, bit);
        }
        for (size_t k = 0; k < r.ms.size(); ++k) {
            for (int p = 0; p < pixels; ++p)
                if (r.most_moved[k][p] <= lit_level)
                    r.codes[k][p] = 0;
            int lit[code_count] = {};
            for (uint16_t c : r.codes[k])
                ++lit[c];
            // The captions shown: a code of a caption on enough pixels.
            busiest here{0, r.ms[k], ""};
            for (int c = 1; c < code_count; ++c)
                if (codes.slot[c] >= 0 && lit[c] >= min_visible) {
                    const int s = codes.slot[c];
                    here.words += codes.words[s];
                    here.shown += "\n  " + codes.name(s) + ": " + std::to_string(codes.words[s]);
                }
            busiest& m = most[int(r.scenes[k])];
            if (here.words > m.words)
                m = here;

            for (const std::pair<int, int>& pair : near_pairs(r.codes[k], codes)) {
                const int a = pair.first, b = pair.second;  // clang 14's lambdas cannot take structured bindings
                auto same = std::find_if(collisions.begin(), collisions.end(), [&](const collision& c) {
                    return c.a == a && c.b == b && c.scene == r.scenes[k] && r.ms[k] - c.last_ms <= 3000 / fps;
                });
                if (same != collisions.end())
                    same->last_ms = r.ms[k], ++same->frames;
                else
                    collisions.push_back({a, b, r.scenes[k], r.ms[k], r.ms[k], 1});
            }
        }
    }
    saved.keep(codes, ~0u);
    platform_use(&platform_sdl_backend);

    for (const collision& c : collisions)
        ADD_FAILURE() << clock_text(c.first_ms) << " to " << clock_text(c.last_ms) << " (" << c.frames << " frames), "
                      << scene_name(c.scene) << ": " << (c.a < 0 ? "a caption mixed with it" : codes.name(c.a))
                      << " and " << (c.b < 0 ? "a caption mixed with it" : codes.name(c.b)) << " within " << near << " px";
    for (int s = 0; s < scene_count; ++s) {
        std::printf("%s: at most %d words, at %s%s\n", scene_name(scene_id(s)), most[s].words,
                    clock_text(most[s].ms).c_str(), most[s].shown.c_str());
        EXPECT_LE(most[s].words, most_words) << scene_name(scene_id(s)) << " at " << clock_text(most[s].ms);
    }
}

}  // namespace
