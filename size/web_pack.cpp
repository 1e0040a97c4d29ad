// oddball-web-pack: packs the browser page's payload (the module and its
// script) with the model of cm_model.h, for the page's unpacker
// (size/web_unpack.c), and checks that it unpacks.  A host tool, portable.
//
//   oddball-web-pack PAYLOAD PACKED
#include <cstdio>

#include "size/pack.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: oddball-web-pack PAYLOAD PACKED\n", stderr);
        return 2;
    }
    pack_bytes payload;
    FILE* in = std::fopen(argv[1], "rb");
    if (!in) {
        std::fprintf(stderr, "oddball-web-pack: cannot read %s\n", argv[1]);
        return 1;
    }
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        payload.insert(payload.end(), buffer, buffer + got);
    bool read_ok = !std::ferror(in);
    std::fclose(in);
    if (!read_ok) {
        std::fprintf(stderr, "oddball-web-pack: cannot read %s\n", argv[1]);
        return 1;
    }
    // Nothing here is x86 code: no filter.
    pack_bytes packed = pack_program(payload, 0, 0, default_pack_params());
    if (!unpacks_to(packed, payload)) {
        std::fputs("oddball-web-pack: the packed payload does not unpack to the payload\n", stderr);
        return 1;
    }
    FILE* out = std::fopen(argv[2], "wb");
    if (!out || std::fwrite(packed.data(), 1, packed.size(), out) != packed.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "oddball-web-pack: cannot write %s\n", argv[2]);
        return 1;
    }
    std::fprintf(stderr, "oddball-web-pack: %zu bytes packed to %zu\n", payload.size(), packed.size());
    return 0;
}
