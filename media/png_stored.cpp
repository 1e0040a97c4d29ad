// PNG pictures written without libpng: 8-bit RGB or RGBA, filter 0 on every
// row, the zlib stream in stored (uncompressed) deflate blocks.  Larger than
// libpng's files, the same pixels.  Reading is left to builds with libpng.
#include <cstdio>
#include <cstring>

#include "media/media_files.h"

namespace {

uint32_t crc_table[256];

uint32_t crc32(const uint8_t* bytes, size_t size, uint32_t crc = 0)
{
    if (!crc_table[1])
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            crc_table[n] = c;
        }
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = crc_table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void put_be32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}

void put_chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data)
{
    put_be32(out, uint32_t(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put_be32(out, crc32(out.data() + start, out.size() - start));
}

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

}  // namespace

bool png_write(const std::string& path, const picture& pic, bool with_alpha, std::string* error)
{
    if (pic.width <= 0 || pic.height <= 0 || pic.pixels.size() != size_t(pic.width) * size_t(pic.height))
        return fail(error, path + ": no picture to write");
    int channels = with_alpha ? 4 : 3;
    std::vector<uint8_t> raw;
    raw.reserve(size_t(pic.height) * (size_t(pic.width) * channels + 1));
    for (int y = 0; y < pic.height; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < pic.width; ++x) {
            uint32_t p = pic.pixels[size_t(y) * pic.width + x];
            raw.push_back(uint8_t(p >> 16));
            raw.push_back(uint8_t(p >> 8));
            raw.push_back(uint8_t(p));
            if (with_alpha)
                raw.push_back(uint8_t(p >> 24));
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;  // Adler-32
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size() || at == 0;) {
        size_t length = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z.push_back(at + length == raw.size() ? 1 : 0);
        z.push_back(uint8_t(length));
        z.push_back(uint8_t(length >> 8));
        z.push_back(uint8_t(~length));
        z.push_back(uint8_t(~length >> 8));
        z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + length));
        at += length;
        if (at == raw.size())
            break;
    }
    put_be32(z, b << 16 | a);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put_be32(header, uint32_t(pic.width));
    put_be32(header, uint32_t(pic.height));
    header.insert(header.end(), {8, uint8_t(with_alpha ? 6 : 2), 0, 0, 0});
    put_chunk(out, "IHDR", header);
    put_chunk(out, "IDAT", z);
    put_chunk(out, "IEND", {});

    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return fail(error, path + ": cannot create");
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::remove(path.c_str());
        return fail(error, path + ": cannot write");
    }
    return true;
}

bool png_read_bytes(const uint8_t*, size_t, const std::string& name, picture*, std::string* error)
{
    return fail(error, name + ": this program reads no PNG files");
}

bool png_read(const std::string& path, picture* pic, std::string* error)
{
    return png_read_bytes(nullptr, 0, path, pic, error);
}
