// Reading and writing PNG pictures and WAV sound (portable; libpng).
#include "media/media_files.h"

#include "media/whole_file.h"

#ifndef ODDBALL_STORED_PNG
#include <png.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>

namespace {

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

void put_u16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put_u32(std::vector<uint8_t>& out, uint32_t v)
{
    put_u16(out, v & 0xFFFF);
    put_u16(out, v >> 16);
}

uint32_t get_u16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t get_u32(const uint8_t* p) { return get_u16(p) | (get_u16(p + 2) << 16); }

bool write_whole(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return fail(error, path + ": cannot create: " + std::strerror(errno));
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
        std::remove(path.c_str());
        return fail(error, path + ": cannot write");
    }
    return true;
}

}  // namespace

// Builds without libpng (the Windows program) write their pictures with
// media/png_stored.cpp and read none.
#ifndef ODDBALL_STORED_PNG
bool png_write(const std::string& path, const picture& pic, bool with_alpha, std::string* error)
{
    if (pic.width <= 0 || pic.height <= 0 || pic.pixels.size() != size_t(pic.width) * size_t(pic.height))
        return fail(error, path + ": no picture to write");
    png_image out;
    std::memset(&out, 0, sizeof out);
    out.version = PNG_IMAGE_VERSION;
    out.width = static_cast<png_uint_32>(pic.width);
    out.height = static_cast<png_uint_32>(pic.height);
    out.format = with_alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    int channels = with_alpha ? 4 : 3;
    std::vector<uint8_t> rows(size_t(pic.width) * pic.height * channels);
    for (size_t i = 0; i < pic.pixels.size(); ++i) {
        uint32_t p = pic.pixels[i];
        uint8_t* o = &rows[i * channels];
        o[0] = uint8_t(p >> 16);
        o[1] = uint8_t(p >> 8);
        o[2] = uint8_t(p);
        if (with_alpha)
            o[3] = uint8_t(p >> 24);
    }
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(out, size, 0, rows.data(), 0, nullptr))
        return fail(error, path + ": cannot encode PNG: " + out.message);
    std::vector<uint8_t> bytes(size);
    if (!png_image_write_to_memory(&out, bytes.data(), &size, 0, rows.data(), 0, nullptr))
        return fail(error, path + ": cannot encode PNG: " + out.message);
    bytes.resize(size);
    return write_whole(path, bytes, error);
}

bool png_read(const std::string& path, picture* pic, std::string* error)
{
    std::vector<uint8_t> bytes;
    std::string why;
    if (!read_input_file(path, &bytes, &why))
        return fail(error, why);
    return png_read_bytes(bytes.data(), bytes.size(), path, pic, error);
}

bool png_read_bytes(const uint8_t* bytes, size_t size, const std::string& path, picture* pic, std::string* error)
{
    png_image in;
    std::memset(&in, 0, sizeof in);
    in.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&in, bytes, size))
        return fail(error, path + ": not a readable PNG file (" + in.message + ")");
    // Sides up to 16,384 and at most 16,777,216 pixels (a 64 MB picture):
    // far beyond anything here, and no header can ask for gigabytes.
    if (in.width == 0 || in.height == 0 || in.width > 16384 || in.height > 16384 ||
        uint64_t(in.width) * in.height > 16777216u) {
        png_image_free(&in);
        return fail(error, path + ": PNG picture size out of range");
    }
    in.format = PNG_FORMAT_BGRA;  // in memory B, G, R, A: a little-endian 0xAARRGGBB word
    std::vector<uint8_t> rows(PNG_IMAGE_SIZE(in));
    if (!png_image_finish_read(&in, nullptr, rows.data(), 0, nullptr)) {
        std::string message = in.message;
        png_image_free(&in);
        return fail(error, path + ": damaged PNG file (" + message + ")");
    }
    pic->width = int(in.width);
    pic->height = int(in.height);
    pic->pixels.resize(size_t(in.width) * in.height);
    for (size_t i = 0; i < pic->pixels.size(); ++i)
        pic->pixels[i] = get_u32(&rows[i * 4]);
    return true;
}

#endif  // ODDBALL_STORED_PNG

bool wav_write(const std::string& path, const wav_sound& sound, std::string* error)
{
    if ((sound.bits != 8 && sound.bits != 16) || sound.channels < 1 || sound.rate < 1)
        return fail(error, path + ": unsupported WAV layout");
    uint32_t bytes_per_sample = uint32_t(sound.bits / 8);
    uint32_t data_size = uint32_t(sound.samples.size()) * bytes_per_sample;
    std::vector<uint8_t> out;
    out.reserve(44 + data_size + 1);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put_u32(out, 36 + data_size + (data_size & 1));
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put_u32(out, 16);
    put_u16(out, 1);
    put_u16(out, uint32_t(sound.channels));
    put_u32(out, uint32_t(sound.rate));
    put_u32(out, uint32_t(sound.rate) * uint32_t(sound.channels) * bytes_per_sample);
    put_u16(out, uint32_t(sound.channels) * bytes_per_sample);
    put_u16(out, uint32_t(sound.bits));
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put_u32(out, data_size);
    for (int16_t s : sound.samples) {
        if (sound.bits == 16)
            put_u16(out, uint16_t(s));
        else
            out.push_back(uint8_t((s >> 8) + 128));
    }
    if (data_size & 1)
        out.push_back(0);
    return write_whole(path, out, error);
}

bool wav_read(const std::string& path, wav_sound* sound, std::string* error)
{
    std::vector<uint8_t> bytes;
    std::string why;
    if (!read_input_file(path, &bytes, &why))
        return fail(error, why);
    return wav_read_bytes(bytes.data(), bytes.size(), path, sound, error);
}

bool wav_read_bytes(const uint8_t* data, size_t data_size, const std::string& path, wav_sound* sound,
                    std::string* error)
{
    const std::span<const uint8_t> bytes(data, data_size);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) || std::memcmp(bytes.data() + 8, "WAVE", 4))
        return fail(error, path + ": not a RIFF/WAVE file");
    bool have_format = false;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + at;
        uint32_t size = get_u32(chunk + 4);
        size_t body = at + 8;
        if (size > bytes.size() - body)
            return fail(error, path + ": truncated WAV file (a chunk runs past the end)");
        if (!std::memcmp(chunk, "fmt ", 4)) {
            if (size < 16)
                return fail(error, path + ": WAV format chunk too short");
            const uint8_t* f = bytes.data() + body;
            uint32_t tag = get_u16(f);
            if (tag == 0xFFFE && size >= 40)
                tag = get_u16(f + 24);  // WAVE_FORMAT_EXTENSIBLE: the sub-format's tag
            if (tag != 1)
                return fail(error, path + ": compressed WAV files are not supported (only PCM)");
            sound->channels = int(get_u16(f + 2));
            uint32_t rate = get_u32(f + 4);
            sound->bits = int(get_u16(f + 14));
            if (sound->channels < 1 || sound->channels > 16)
                return fail(error, path + ": WAV channel count out of range");
            if (sound->bits != 8 && sound->bits != 16)
                return fail(error, path + ": only 8-bit and 16-bit WAV files are supported");
            if (rate < 1 || rate > 1000000)
                return fail(error, path + ": WAV sample rate " + std::to_string(rate) + " Hz is out of range");
            sound->rate = int(rate);
            have_format = true;
        } else if (!std::memcmp(chunk, "data", 4)) {
            if (!have_format)
                return fail(error, path + ": WAV data before its format chunk");
            size_t bytes_per_sample = size_t(sound->bits / 8);
            size_t frame = bytes_per_sample * size_t(sound->channels);
            size_t count = (size / frame) * sound->channels;
            if (count == 0)
                return fail(error, path + ": WAV file holds no samples");
            sound->samples.resize(count);
            const uint8_t* d = bytes.data() + body;
            for (size_t i = 0; i < count; ++i)
                sound->samples[i] = sound->bits == 16 ? int16_t(get_u16(d + 2 * i))
                                                      : int16_t((int(d[i]) - 128) * 256);
            return true;
        }
        at = body + size + (size & 1);
    }
    return fail(error, path + (have_format ? ": WAV file has no data chunk" : ": not a complete WAV file"));
}
