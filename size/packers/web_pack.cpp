// oddball-web-pack: packs the browser page's payload (the module and its
// script) with the model of cm_model.h, for the page's unpacker
// (size/stubs/web_unpack.c), and checks that it unpacks.  A host tool, portable.
//
//   oddball-web-pack PAYLOAD PACKED
#include <cstdio>
#include <cstring>

#include "size/packers/pack.h"

namespace {

// The Linux packer's settings as a search over the payload's contexts found
// them better for WebAssembly and script (one mask dropped or added at a
// time, the learning rates tried): counter pairs that learn a little
// slower, the byte 3 back alone left out, and two sparse contexts added
// (the bytes 2, 4 and 5 back; the bytes 1, 3, 5 and 7 back).
cm_params web_pack_params()
{
    static const uint8_t masks[] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x02, 0x05, 0x06, 0x09, 0x31, 0xA2, 0x0C, 0x1A, 0x55};
    cm_params params = default_pack_params();
    params.map_shift = 8;
    params.model_count = sizeof masks;
    std::memcpy(params.masks, masks, sizeof masks);
    return params;
}

}  // namespace

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
    pack_bytes packed = pack_program(payload, 0, 0, web_pack_params());
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
