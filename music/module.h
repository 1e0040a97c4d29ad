// The tracker module format, the music image and its loading, and the checker for modules from outside (portable).
//
// A module is a 10,064-byte header (magic "MXM\0", song settings, order table,
// offset tables of instruments, patterns and samples) followed by instruments,
// patterns and the sample pool at the offsets the tables give.  All integers
// are little-endian; offsets count from the module's first byte, which is also
// the first byte of the music image.  The player reads everything straight
// out of the image; nothing is parsed into other structures.
#pragma once

#include <cstddef>
#include <cstdint>

// The music image: the module copy, then the decoded 8-bit PCM behind it.
constexpr uint32_t music_image_size = 1048576;
constexpr uint32_t module_header_size = 10064;

// Limits of the format.
constexpr uint32_t module_max_channels = 32;
constexpr uint32_t module_max_orders = 256;
constexpr uint32_t module_max_instruments = 128;
constexpr uint32_t module_max_patterns = 256;
constexpr uint32_t module_max_samples = 2048;
constexpr uint32_t envelope_max_points = 12;
constexpr uint8_t note_key_off = 97;
constexpr uint8_t effect_count = 52;  // effects 0 to 51; larger numbers mean none

// Header field offsets.
constexpr uint32_t header_song_length = 0x0004;
constexpr uint32_t header_restart_position = 0x0008;
constexpr uint32_t header_channel_count = 0x000C;
constexpr uint32_t header_pattern_count = 0x0010;
constexpr uint32_t header_instrument_count = 0x0014;
constexpr uint32_t header_speed = 0x0018;
constexpr uint32_t header_tempo = 0x0019;
constexpr uint32_t header_flags = 0x001A;
constexpr uint32_t header_sample_data_offset = 0x001C;
constexpr uint32_t header_delta_bytes = 0x0020;
constexpr uint32_t header_delta_values = 0x0024;
constexpr uint32_t header_lowest_period = 0x0028;
constexpr uint32_t header_highest_period = 0x002C;
constexpr uint32_t header_panning = 0x0030;
constexpr uint32_t header_orders = 0x0050;
constexpr uint32_t header_instrument_offsets = 0x0150;
constexpr uint32_t header_pattern_offsets = 0x0350;
constexpr uint32_t header_sample_offsets = 0x0750;

// Module flag bits.
constexpr uint16_t module_linear_frequencies = 0x0001;
constexpr uint16_t module_keep_panning = 0x0002;
constexpr uint16_t module_delta_samples = 0x0004;

// Instrument record field offsets (the sample headers make up its tail).
constexpr uint32_t instrument_sample_count = 0x000;
constexpr uint32_t instrument_note_map = 0x004;
constexpr uint32_t instrument_fadeout = 0x064;
constexpr uint32_t instrument_vibrato_waveform = 0x066;
constexpr uint32_t instrument_vibrato_sweep = 0x067;
constexpr uint32_t instrument_vibrato_depth = 0x068;
constexpr uint32_t instrument_vibrato_rate = 0x069;
constexpr uint32_t instrument_volume_envelope = 0x06A;
constexpr uint32_t instrument_panning_envelope = 0x09E;
constexpr uint32_t instrument_sample_headers = 0x100;
constexpr uint32_t sample_header_size = 16;
// Within an envelope: last point, sustain, loop start, loop end, then 12
// points of u16 length in ticks and u16 value.
constexpr uint32_t envelope_last = 0, envelope_sustain = 1, envelope_loop_start = 2, envelope_loop_end = 3,
                   envelope_points = 4;

// Sample header field offsets.
constexpr uint32_t sample_loop_start = 0x0;
constexpr uint32_t sample_end = 0x4;
constexpr uint32_t sample_flags = 0x8;
constexpr uint32_t sample_volume = 0x9;
constexpr uint32_t sample_panning = 0xA;
constexpr uint32_t sample_relative_pitch = 0xB;
constexpr uint32_t sample_number = 0xD;

// Sample flag bits (bit 5 is the mixer's direction of play).
constexpr uint8_t sample_16bit = 0x04;
constexpr uint8_t sample_forward_loop = 0x08;
constexpr uint8_t sample_pingpong_loop = 0x10;
constexpr uint8_t sample_backwards = 0x20;

// Pattern channel entry head bits.
constexpr uint8_t entry_channel_mask = 0x1F;
constexpr uint8_t entry_note = 0x20;
constexpr uint8_t entry_volume = 0x40;
constexpr uint8_t entry_effect = 0x80;

// Little-endian reads at any alignment.
inline uint16_t read_u16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t read_u32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The module header as the player keeps it: the stored fields, with the three
// offset tables turned into addresses inside the music image.
struct module_header {
    uint8_t magic[4];
    uint32_t song_length;
    uint32_t restart_position;
    uint32_t channel_count;
    uint32_t pattern_count;  // informational
    uint32_t instrument_count;
    uint8_t initial_speed;
    uint8_t initial_tempo;
    uint16_t flags;
    uint32_t sample_data_offset;
    uint32_t delta_bytes;   // 8-bit sample bytes to integrate (flag bit 2)
    uint32_t delta_values;  // 16-bit sample values that follow them
    int32_t lowest_period;
    int32_t highest_period;
    uint8_t initial_panning[module_max_channels];
    uint8_t orders[module_max_orders];
    const uint8_t* instruments[module_max_instruments];  // entry k is instrument k + 1
    const uint8_t* patterns[module_max_patterns];
    const uint8_t* samples[module_max_samples];  // first PCM value of each sample
};

// Bytes past the used part of the image that the mixer may read (the frames
// after a sample's end that interpolation touches); module_check keeps them
// inside the image.
constexpr uint32_t music_read_margin = 16;

// Makes the module at the start of a music image ready to play: checks the
// magic "MXM", copies the header into `header` with offsets turned into
// addresses and integrates delta-coded samples in place (once: the flag is
// cleared).  False for a wrong magic, leaving `header` as it was.
bool module_prepare(uint8_t* image, module_header& header);

// Builds a music image (mem_alloc, 1 MB) from module bytes: copies
// `module_size` bytes to its start and, when `stream` is not null, decodes
// the coded sample stream behind them (decode_sample_stream, codec.h).
// Gives the image; *pcm_size (may be null) receives the decoded byte count.
// Trusts its input: a caller with outside data checks the stream
// (codec_check_stream) and that module and decoded samples fit first, and
// the module (module_check) afterwards.  load_music is this with the
// program's own song.
uint8_t* build_music_image(const uint8_t* module, uint32_t module_size, const uint8_t* stream,
                           uint32_t* pcm_size);

// Checks a module from outside against the limits of the format before it is
// played: magic, header size, counts, every offset and table entry the song
// uses inside the image's used bytes, envelopes, instrument and sample
// indices, and every pattern of the order list parseable within its bytes.
// `image` holds the module (`module_size` bytes) followed by `pcm_size`
// decoded sample bytes.  True when the module is safe to play; otherwise
// false with one sentence naming the fault in `error`.
bool module_check(const uint8_t* image, uint32_t module_size, uint32_t pcm_size, char* error, size_t error_size);
