// oddball-web-pack: packs the browser page's payload (the module and its
// script) with the model of cm_model.h, for the page's unpacker
// (size/stubs/web_unpack.c), and checks that it unpacks.  A host tool, portable.
//
//   oddball-web-pack PAYLOAD PACKED
#include <cstdio>

#include "size/packers/pack.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: oddball-web-pack PAYLOAD PACKED\n", stderr);
        return 2;
    }
    pack_bytes payload;
    if (!pack_read_file(argv[1], &payload)) {
        std::fprintf(stderr, "oddball-web-pack: cannot read %s\n", argv[1]);
        return 1;
    }
    // Nothing here is x86 code: no filter.
    pack_bytes packed = pack_program(payload, 0, 0, default_pack_params());
    if (!unpacks_to(packed, payload)) {
        std::fputs("oddball-web-pack: the packed payload does not unpack to the payload\n", stderr);
        return 1;
    }
    if (!pack_write_file(argv[2], packed)) {
        std::fprintf(stderr, "oddball-web-pack: cannot write %s\n", argv[2]);
        return 1;
    }
    std::fprintf(stderr, "oddball-web-pack: %zu bytes packed to %zu\n", payload.size(), packed.size());
    return 0;
}
