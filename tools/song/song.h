// The song's sources: parsing content/song/, synthesising its instruments and writing the module (portable).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "music/module.h"

constexpr int song_max_channels = int(module_max_channels);
constexpr int song_max_rows = 256;
constexpr int song_max_envelope_points = int(envelope_max_points);
constexpr uint8_t song_note_key_off = note_key_off;
constexpr uint8_t song_no_effect = 0xFF;

struct song_cell {
    uint8_t note = 0;        // 0 none, 1..96, 97 key off
    uint8_t instrument = 0;  // 0 none
    uint8_t volume = 0;      // the volume byte as stored (0 none)
    uint8_t effect = song_no_effect;
    uint8_t parameter = 0;
};

struct song_pattern {
    int rows = 0;
    std::vector<song_cell> cells;  // rows x channel count, row by row
    std::string file;              // where it came from, for messages
};

struct song_envelope {
    // Points as (tick, value) the way a tracker shows them; the module stores
    // the segment lengths between them.
    std::vector<std::pair<int, int>> points;
    int sustain = 255;     // 255 = none
    int loop_start = 0;
    int loop_end = 255;    // 255 = no loop
};

// One sample header of an instrument that lists its own (see song_instrument::mapped).
struct song_instrument_sample {
    int sample = 0;  // sample number: index into the samples given to song_write_module
    int volume = 64;
    int panning = 128;
    int relative_pitch = 0;  // 1/256 semitone
};

struct song_instrument {
    int number = 0;  // 1..
    std::string name;
    std::map<std::string, std::string> synth;  // synthesis parameters, by name
    int volume = 64;
    int panning = 128;
    int relative_pitch = 0;  // 1/256 semitone
    int fadeout = 0;
    int vibrato_waveform = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
    song_envelope volume_envelope;   // empty: none (the module then holds 64 at point 0)
    song_envelope panning_envelope;  // empty: none (32 at point 0)
    std::string file;
    int line = 0;
    // Instruments from outside (import-xm) list their sample headers and
    // note map; the song's own have one header each, for sample number - 1,
    // with the instrument's volume, panning and relative pitch.
    bool mapped = false;
    std::vector<song_instrument_sample> sample_headers;
    uint8_t note_map[96] = {};
};

struct song_source {
    std::string name;
    int channels = 0;
    int speed = 6;
    int tempo = 125;
    bool linear = true;
    int restart = 0;
    int lowest_period = -18432, highest_period = 24576;  // nine octaves around note 49 in linear mode
    int panning[song_max_channels] = {};
    std::vector<int> orders;
    std::vector<song_pattern> patterns;  // by pattern number
    std::vector<song_instrument> instruments;  // by number - 1
};

// Reads content/song/ (song.txt, instruments.txt, patterns/NN.txt).  On a
// bad source returns false with one line naming the file and line in `error`.
bool song_parse(const std::string& song_dir, song_source* song, std::string* error);

// One instrument's sample as signed 8-bit PCM, with its loop (frames; loop
// mode 0 none, 1 forward, 2 ping-pong).
struct song_sample {
    std::vector<int8_t> pcm;
    int loop_mode = 0;
    uint32_t loop_start = 0;
    uint32_t loop_end = 0;
    bool sixteen_bit = false;    // the values are in pcm16 instead (raw modules only)
    std::vector<int16_t> pcm16;
};
bool song_synthesise(const song_instrument& instrument, song_sample* sample, std::string* error);

// What the sample codec is given for a sample: its PCM and, for a forward
// loop that ends the sample, the loop carried on for song_loop_coded_tail
// frames (never played), so the coding noise at the end of the input stays
// away from the loop's join.  Samples start where codec_layout puts these.
constexpr uint32_t song_loop_coded_tail = 256;
std::vector<float> song_codec_input(const song_sample& sample);

// The module bytes for the song whose samples, decoded, start at the given
// offsets of the PCM that follows the module.  With `raw_pcm` that PCM is
// appended to the module itself (samples kept uncoded, 8- or 16-bit).
std::vector<uint8_t> song_write_module(const song_source& song, const std::vector<song_sample>& samples,
                                       const std::vector<uint32_t>& pcm_starts,
                                       const std::vector<uint8_t>* raw_pcm = nullptr);
