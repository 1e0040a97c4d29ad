// Reading and writing the files the offline modes and the tools exchange:
// PNG pictures and WAV sound (portable; libpng).  Readers trust nothing in
// the file and say what is wrong in `error`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows back to back
};

// Writes 8-bit RGB (alpha dropped) or RGBA.  False with `error` on failure;
// a file that could not be written whole is removed.
bool png_write(const std::string& path, const picture& pic, bool with_alpha, std::string* error);
// Reads any PNG libpng understands into 0xAARRGGBB (opaque when it has no alpha).
bool png_read(const std::string& path, picture* pic, std::string* error);
// The same from `size` bytes in memory; `name` starts the error message.
bool png_read_bytes(const uint8_t* bytes, size_t size, const std::string& name, picture* pic, std::string* error);

struct wav_sound {
    int rate = 44100;
    int channels = 2;
    int bits = 16;                 // 8 (unsigned in the file) or 16
    std::vector<int16_t> samples;  // interleaved; 8-bit files are read as (byte - 128) << 8
};

// Writes PCM of `bits` 8 or 16 from `samples` (8-bit: samples >> 8, offset by 128).
bool wav_write(const std::string& path, const wav_sound& sound, std::string* error);
// Reads uncompressed PCM (8 or 16 bits, any channel count); refuses anything else.
bool wav_read(const std::string& path, wav_sound* sound, std::string* error);
// The same from `size` bytes in memory; `name` starts the error message.
bool wav_read_bytes(const uint8_t* bytes, size_t size, const std::string& name, wav_sound* sound, std::string* error);
