// oddball-pe-pack: packs the Windows show (a PE executable linked at a fixed
// address, without relocations) with the model of cm_model.h, as an array
// for a PE stub to carry (the stub is not written yet; scripts/size_windows.sh
// uses this to measure the packed size).  A host tool, portable.
//
//   oddball-pe-pack PROGRAM.exe PACKED.c     writes the array `packed_program`
#include <cstdio>
#include <cstring>

#include "size/pack.h"
#include "size/packed_format.h"

namespace {

bool read_file(const char* path, pack_bytes* data)
{
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        data->insert(data->end(), buffer, buffer + got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

uint32_t u32(const pack_bytes& d, size_t at)
{
    return at + 4 <= d.size() ? uint32_t(d[at] | d[at + 1] << 8 | d[at + 2] << 16 | uint32_t(d[at + 3]) << 24) : 0;
}

// The file range of the section named `.text`; false when PROGRAM is not a PE file with one.
bool find_text(const pack_bytes& pe, uint32_t* start, uint32_t* end)
{
    if (pe.size() < 64 || pe[0] != 'M' || pe[1] != 'Z')
        return false;
    uint32_t nt = u32(pe, 0x3C);
    if (nt > pe.size() - 24 || u32(pe, nt) != 0x4550)
        return false;
    uint32_t sections = pe[nt + 6] | pe[nt + 7] << 8;
    uint32_t optional_size = pe[nt + 20] | pe[nt + 21] << 8;
    size_t table = size_t(nt) + 24 + optional_size;
    for (uint32_t i = 0; i < sections && table + 40 * (i + 1) <= pe.size(); ++i) {
        size_t header = table + 40 * i;
        if (std::memcmp(&pe[header], ".text\0\0\0", 8) != 0)
            continue;
        uint32_t raw_size = u32(pe, header + 16), raw_at = u32(pe, header + 20);
        if (raw_at > pe.size() || raw_size > pe.size() - raw_at)
            return false;
        *start = raw_at;
        *end = raw_at + raw_size;
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: oddball-pe-pack PROGRAM.exe PACKED.c\n", stderr);
        return 2;
    }
    pack_bytes program;
    uint32_t start = 0, end = 0;
    if (!read_file(argv[1], &program) || !find_text(program, &start, &end)) {
        std::fprintf(stderr, "oddball-pe-pack: %s is not a PE program with a .text section\n", argv[1]);
        return 1;
    }
    pack_bytes packed = pack_program(program, start, end, default_pack_params());
    if (!unpacks_to(packed, program)) {
        std::fputs("oddball-pe-pack: the packed program does not unpack to the program\n", stderr);
        return 1;
    }
    packed.resize(packed.size() + packed_read_ahead);
    FILE* out = std::fopen(argv[2], "w");
    if (!out) {
        std::fprintf(stderr, "oddball-pe-pack: cannot write %s\n", argv[2]);
        return 1;
    }
    std::fprintf(out, "/* The packed show, made by oddball-pe-pack. */\nconst unsigned char packed_program[%zu] = {",
                 packed.size());
    for (size_t i = 0; i < packed.size(); ++i)
        std::fprintf(out, "%s%u,", i % 24 ? "" : "\n", packed[i]);
    std::fputs("\n};\n", out);
    bool ok = std::fclose(out) == 0;
    std::fprintf(stderr, "oddball-pe-pack: %zu bytes packed to %zu\n", program.size(), packed.size());
    return ok ? 0 : 1;
}
