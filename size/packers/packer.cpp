// oddball-pack: packs the 64 KB build's program behind the unpacking stub,
// and reports where the packed bytes go (a host tool of the size build,
// portable).
//
//   oddball-pack pack STUB PROGRAM PACKED             the packed show
//   oddball-pack report STUB PROGRAM PACKED FILE...   its breakdown; FILEs are the stored data blocks
//   oddball-pack search PROGRAM [ROUNDS]              looks for better context masks (slow)
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "size/packers/pack.h"
#include "size/packers/packed_format.h"

namespace {

constexpr long size_limit = 65536;

int cannot_read(const char* path)
{
    std::fprintf(stderr, "oddball-pack: cannot read %s\n", path);
    return 1;
}

// The program and its code's range.
bool read_program(const char* path, pack_bytes* program, uint32_t* start, uint32_t* end)
{
    if (!pack_read_file(path, program))
        return false;
    if (!find_elf_section(*program, ".text", start, end)) {
        std::fprintf(stderr, "oddball-pack: %s is not an ELF program with a .text section\n", path);
        return false;
    }
    return true;
}

int command_pack(const char* stub_path, const char* program_path, const char* packed_path)
{
    pack_bytes stub, program, out;
    uint32_t start = 0, end = 0;
    if (!pack_read_file(stub_path, &stub))
        return cannot_read(stub_path);
    if (!read_program(program_path, &program, &start, &end))
        return 1;
    pack_bytes packed = pack_program(program, start, end, default_pack_params());
    if (!unpacks_to(packed, program)) {
        std::fprintf(stderr, "oddball-pack: the packed program does not unpack to itself\n");
        return 1;
    }
    std::string why;
    if (!attach_to_stub(stub, packed, &out, &why)) {
        std::fprintf(stderr, "oddball-pack: %s: %s\n", stub_path, why.c_str());
        return 1;
    }
    if (!pack_write_file(packed_path, out) || chmod(packed_path, 0755) != 0) {
        std::fprintf(stderr, "oddball-pack: cannot write %s\n", packed_path);
        return 1;
    }
    std::fprintf(stderr, "oddball-pack: %s: %zu bytes (%+ld to the limit): stub %zu, packed program %zu of %zu\n",
                 packed_path, out.size(), size_limit - long(out.size()), out.size() - packed.size(), packed.size(),
                 program.size());
    return 0;
}

// The size of `data` packed alone, header included; code is x86-filtered throughout.
size_t packed_alone(const pack_bytes& data, bool code)
{
    return pack_program(data, 0, code ? uint32_t(data.size()) : 0, default_pack_params()).size();
}

void row(const char* part, size_t raw, size_t packed)
{
    std::printf("  %-34s %8zu %8zu\n", part, raw, packed);
}

int command_report(const char* stub_path, const char* program_path, const char* packed_path, int count,
                   char** blocks)
{
    pack_bytes stub, program, packed;
    uint32_t start = 0, end = 0;
    if (!pack_read_file(stub_path, &stub))
        return cannot_read(stub_path);
    if (!pack_read_file(packed_path, &packed))
        return cannot_read(packed_path);
    if (!read_program(program_path, &program, &start, &end))
        return 1;
    size_t payload = pack_program(program, start, end, default_pack_params()).size();
    std::printf("packed show %s: %zu bytes of %ld (%+ld)\n\n", packed_path, packed.size(), size_limit,
                size_limit - long(packed.size()));
    std::printf("  %-34s %8s %8s\n", "part", "raw", "packed");
    row("stub (unpacks and runs the show)", packed.size() - payload, packed.size() - payload);
    row("the program, packed", program.size(), payload);
    std::printf("\nparts of the program, each packed alone:\n");
    pack_bytes code(program.begin() + start, program.begin() + end);
    size_t code_packed = packed_alone(code, true);
    row("code (.text)", code.size(), code_packed);
    pack_bytes all_blocks;
    size_t blocks_raw = 0;
    for (int i = 0; i < count; ++i) {
        pack_bytes block;
        if (!pack_read_file(blocks[i], &block))
            return cannot_read(blocks[i]);
        row(blocks[i], block.size(), packed_alone(block, false));
        all_blocks.insert(all_blocks.end(), block.begin(), block.end());
        blocks_raw += block.size() + 64;  // each block is embedded with 64 zero bytes behind it
    }
    size_t blocks_packed = packed_alone(all_blocks, false);
    row("all data blocks together", all_blocks.size(), blocks_packed);
    // What the packed program holds beyond code and blocks packed alone: the
    // rest of the program, less what packing everything together saves.
    row("the rest (headers, linking, tables)", program.size() - code.size() - blocks_raw,
        payload - std::min(payload, code_packed + blocks_packed));
    return 0;
}

// Greedy search: each round adds the mask that shrinks the program most.
int command_search(const char* program_path, int rounds)
{
    pack_bytes program;
    uint32_t start = 0, end = 0;
    if (!read_program(program_path, &program, &start, &end))
        return 1;
    cm_params params = default_pack_params();
    size_t best = pack_program(program, start, end, params).size();
    std::printf("defaults: %zu\n", best);
    for (int round = 0; round < rounds && params.model_count < cm_max_models; ++round) {
        int chosen = -1;
        for (int mask = 0; mask < 256; ++mask) {
            if (std::memchr(params.masks, mask, params.model_count))
                continue;
            cm_params trial = params;
            trial.masks[trial.model_count++] = uint8_t(mask);
            size_t size = pack_program(program, start, end, trial).size();
            if (size < best) {
                best = size;
                chosen = mask;
            }
        }
        if (chosen < 0)
            break;
        params.masks[params.model_count++] = uint8_t(chosen);
        std::printf("add 0x%02X: %zu\n", chosen, best);
        std::fflush(stdout);
    }
    return 0;
}

int usage()
{
    std::fputs("usage: oddball-pack pack STUB PROGRAM PACKED | report STUB PROGRAM PACKED FILE... | "
               "search PROGRAM [ROUNDS]\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "pack") == 0)
        return command_pack(argv[2], argv[3], argv[4]);
    if (argc >= 5 && std::strcmp(argv[1], "report") == 0)
        return command_report(argv[2], argv[3], argv[4], argc - 5, argv + 5);
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "search") == 0)
        return command_search(argv[2], argc == 4 ? std::atoi(argv[3]) : 4);
    return usage();
}
