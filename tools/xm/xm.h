// FastTracker 2 XM modules: the file as a model, its checked reader and its writer, and conversion to and from our module (portable; tool side).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

constexpr int xm_max_channels = 32;  // what our module can play
constexpr int xm_max_orders = 256;
constexpr int xm_max_patterns = 256;
constexpr int xm_max_rows = 256;
constexpr int xm_max_instruments = 128;
constexpr int xm_max_samples = 16;  // per instrument
constexpr int xm_max_envelope_points = 12;
constexpr uint8_t xm_key_off = 97;

// One cell as the XM file stores it: note 0 none, 1 to 96, 97 key off;
// volume-column byte; effect type 0 to 35 (0-9, A-Z) with its parameter.
struct xm_cell {
    uint8_t note = 0;
    uint8_t instrument = 0;
    uint8_t volume = 0;
    uint8_t effect = 0;
    uint8_t parameter = 0;
};

struct xm_pattern {
    int rows = 64;
    std::vector<xm_cell> cells;  // rows x channels, row by row
};

// Envelope flags.
constexpr uint8_t xm_envelope_on = 1, xm_envelope_sustain = 2, xm_envelope_loop = 4;

struct xm_envelope {
    std::vector<std::pair<int, int>> points;  // (tick position, value 0 to 64)
    uint8_t flags = 0;
    uint8_t sustain = 0, loop_start = 0, loop_end = 0;  // point indices
};

// Sample type bits.
constexpr uint8_t xm_loop_forward = 1, xm_loop_pingpong = 2, xm_sample_16bit = 16;

struct xm_sample {
    std::string name;
    uint32_t loop_start = 0, loop_length = 0;  // in frames (the file counts bytes)
    uint8_t volume = 64;
    int8_t finetune = 0;  // 1/128 semitone
    uint8_t type = 0;     // loop bits 0-1, xm_sample_16bit
    uint8_t panning = 128;
    int8_t relative_note = 0;
    std::vector<int16_t> pcm;  // the values (8-bit samples hold -128 to 127)
};

struct xm_instrument {
    std::string name;
    uint8_t note_map[96] = {};  // sample index for each note
    xm_envelope volume_envelope, panning_envelope;
    uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
    uint16_t fadeout = 0;
    std::vector<xm_sample> samples;
};

struct xm_song {
    std::string name;
    std::string tracker = "oddball-tool";
    int channels = 4;
    int restart = 0;
    bool linear = true;
    int speed = 6, tempo = 125;
    std::vector<uint8_t> orders;
    std::vector<xm_pattern> patterns;
    std::vector<xm_instrument> instruments;
};

// Reads an XM file from outside: every offset and count is checked against
// the bytes.  False with one sentence in *error for a truncated or malformed
// file, or one that needs more than 32 channels.
bool xm_read(const uint8_t* bytes, size_t size, xm_song* song, std::string* error);

// The file bytes (version 1.04, samples delta-coded, patterns packed).
std::vector<uint8_t> xm_write(const xm_song& song);

// What the conversion could not carry over: one line each, naming the
// instrument, pattern and row it concerns.
using xm_warnings = std::vector<std::string>;

// A module with its samples, as import-xm writes it: module bytes, and the
// sample PCM that follows the module in the music image (coded into the
// stream unless the module holds it raw).
struct xm_import_result {
    std::vector<uint8_t> module;
    std::vector<uint8_t> stream;  // the coded sample stream
    uint32_t pcm_bytes = 0;       // decoded bytes the stream gives
    double snr_db = 0;            // of the coded samples (0 when raw)
};

struct xm_import_options {
    bool raw = false;         // keep 8-bit and 16-bit PCM uncoded inside the module
    uint32_t max_bytes = 0;   // budget of the coded stream; 0 = the codec's own choice
};

// Converts an XM song into our module and its coded sample stream.  False
// with one sentence in *error when it cannot be done (too big for the music
// image, samples that do not code into the budget).
bool xm_import(const xm_song& song, const xm_import_options& options, xm_import_result* result,
               xm_warnings* warnings, std::string* error);

// Converts a module (checked first) and the decoded PCM behind it into an XM
// song.  False with one sentence in *error for a module that fails its check.
bool xm_export(const uint8_t* image, uint32_t module_size, uint32_t pcm_size, xm_song* song, xm_warnings* warnings,
               std::string* error);
