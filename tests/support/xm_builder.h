// A small FastTracker 2 XM writer for tests, written apart from the tool's own so each checks the other.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct test_xm_sample {
    std::vector<int16_t> pcm;  // -128..127 for 8-bit samples
    bool sixteen_bit = false;
    int loop_type = 0;  // 0 none, 1 forward, 2 ping-pong
    uint32_t loop_start = 0, loop_length = 0;  // frames
    int volume = 64, finetune = 0, panning = 128, relative_note = 0;
};

struct test_xm_envelope {
    std::vector<std::pair<int, int>> points;  // (tick, value); empty = off
    int sustain = -1, loop_start = -1, loop_end = -1;  // -1 = none
};

struct test_xm_instrument {
    std::vector<test_xm_sample> samples;
    uint8_t note_map[96] = {};
    test_xm_envelope volume, panning;
    int fadeout = 0;
    int vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
};

struct test_xm_song {
    int channels = 4, speed = 6, tempo = 125, restart = 0;
    bool linear = true;
    std::vector<int> orders;
    std::vector<int> pattern_rows;                // rows of each pattern
    std::vector<std::vector<uint8_t>> cells;      // per pattern: rows x channels x 5 bytes
    std::vector<test_xm_instrument> instruments;

    // Adds a pattern of `rows` empty rows and gives its number.
    int add_pattern(int rows);
    // Sets one cell: note (0 none, 1..96, 97 key off), instrument, volume
    // byte, effect type (0-9, A-Z as 10-35) and parameter.
    void set(int pattern, int row, int channel, int note, int instrument = 0, int volume = 0, int effect = 0,
             int parameter = 0);
};

// "C-4" -> 49, "==" -> 97 (key off).
int xm_note(const std::string& name);
// The file bytes: every cell stored unpacked (five bytes), samples delta-coded.
std::vector<uint8_t> test_xm_bytes(const test_xm_song& song);
