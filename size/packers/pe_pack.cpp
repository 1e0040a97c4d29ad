// oddball-pe-pack: packs the Windows show (a PE32+ program linked at a fixed
// address, without relocations) behind the Windows stub (pe_stub.S), as one
// PE executable.  A host tool, portable.
//
//   oddball-pe-pack [--report] STUB.bin PROGRAM.exe OUT.exe
//
// --report adds each packed section's bytes, raw and packed alone.
//
// The program's sections that hold bytes (not its unwind tables, which
// nothing registers once the stub has placed it) are trimmed of their
// trailing zeros and put one after the other, code first, each behind its
// place and size, the load table (the program's address, size, entry point,
// imports and TLS callbacks) before them all; that is packed with the model
// of cm_model.h.  Behind the stub come the packed program and the zeros the
// decoder reads past it; the stub is then given the program's address range
// (which it reserves first), and its headers their sizes, the program's
// stack, time stamp and linker version, and last the checksum.  An image
// whose sections the Windows loader would refuse is not written.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "size/packers/pack.h"
#include "size/packers/packed_format.h"

namespace {

constexpr long size_limit = 65536;
constexpr uint32_t stub_alignment = 16;  // pe_stub.S's section and file alignment

uint32_t u16(const pack_bytes& d, size_t at) { return at + 2 <= d.size() ? uint32_t(d[at] | d[at + 1] << 8) : 0; }
uint32_t u32(const pack_bytes& d, size_t at)
{
    return at + 4 <= d.size() ? uint32_t(d[at] | d[at + 1] << 8 | d[at + 2] << 16 | uint32_t(d[at + 3]) << 24) : 0;
}
uint64_t u64(const pack_bytes& d, size_t at) { return u32(d, at) | uint64_t(u32(d, at + 4)) << 32; }
void put32(pack_bytes* d, size_t at, uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        (*d)[at + k] = uint8_t(value >> (8 * k));
}
void put64(pack_bytes* d, size_t at, uint64_t value)
{
    put32(d, at, uint32_t(value));
    put32(d, at + 4, uint32_t(value >> 32));
}

// Where a PE32+ file's optional header and section table are; false if it is not one.
struct pe_layout {
    size_t optional = 0;  // the optional header
    size_t sections = 0;  // the section table
    uint32_t section_count = 0;
};
bool find_layout(const pack_bytes& pe, pe_layout* layout)
{
    if (pe.size() < 64 || pe[0] != 'M' || pe[1] != 'Z')
        return false;
    uint32_t nt = u32(pe, 0x3C);
    if (nt > pe.size() - 24 || u32(pe, nt) != 0x4550 || u16(pe, nt + 4) != 0x8664)
        return false;
    layout->optional = nt + 24;
    layout->section_count = u16(pe, nt + 6);
    layout->sections = layout->optional + u16(pe, nt + 20);
    return u16(pe, layout->optional) == 0x20B && layout->sections + 40 * layout->section_count <= pe.size();
}

// The optional header's data directory `index`: its address (relative) and size.
uint32_t directory(const pack_bytes& pe, const pe_layout& layout, int index, uint32_t* size = nullptr)
{
    if (uint32_t(index) >= u32(pe, layout.optional + 108))
        return 0;
    if (size)
        *size = u32(pe, layout.optional + 112 + 8 * index + 4);
    return u32(pe, layout.optional + 112 + 8 * index);
}

// The Linux packer's settings as a search over this program's contexts
// found them better (a greedy search that drops or adds one mask at a time
// and tries the learning rates): counter pairs that learn a little slower,
// the order-3 and order-4 contexts left out, and four sparse contexts added
// (the bytes 4 and 5 back, as in the fields of instructions and of tables;
// the byte 8 back; the bytes 1 to 3 and 7 back; the bytes 2 and 4 back).
cm_params pe_pack_params()
{
    static const uint8_t masks[] = {0x00, 0x01, 0x03, 0x02, 0x05, 0x06, 0x04, 0x09, 0x31, 0xA2, 0x0C, 0x18, 0x80, 0x47, 0x0A};
    cm_params params = default_pack_params();
    params.map_shift = 8;
    params.model_count = sizeof masks;
    std::memcpy(params.masks, masks, sizeof masks);
    return params;
}

// What the Windows loader asks of an image whose section alignment is under
// a page (it maps the file as it lies): the same file alignment, and every
// section's bytes at its address in the file, none of it past them.
bool low_alignment_sections_hold(const pack_bytes& pe, const pe_layout& layout)
{
    uint32_t section_alignment = u32(pe, layout.optional + 32), file_alignment = u32(pe, layout.optional + 36);
    if (section_alignment >= 0x1000)
        return true;
    if (file_alignment != section_alignment)
        return false;
    for (uint32_t i = 0; i < layout.section_count; ++i) {
        size_t header = layout.sections + 40 * i;
        uint32_t virtual_size = u32(pe, header + 8), at = u32(pe, header + 12);
        uint32_t raw_size = u32(pe, header + 16), raw_at = u32(pe, header + 20);
        if (raw_at != at || virtual_size > raw_size || uint64_t(raw_at) + raw_size > pe.size())
            return false;
    }
    return true;
}

// The checksum the system's CheckSumMappedFile gives: the file's 16-bit
// words summed with their carries folded in (the checksum field counting
// as zero), plus the file's length.
uint32_t pe_checksum(const pack_bytes& pe, size_t checksum_at)
{
    uint32_t sum = 0;
    for (size_t at = 0; at < pe.size(); at += 2) {
        if (at == checksum_at || at == checksum_at + 2)
            continue;
        sum += pe[at] | (at + 1 < pe.size() ? pe[at + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + uint32_t(pe.size());
}

int fail(const char* what, const char* path)
{
    std::fprintf(stderr, "oddball-pe-pack: %s: %s\n", path, what);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    bool report = argc > 1 && std::strcmp(argv[1], "--report") == 0;
    argv += report;
    argc -= report;
    if (argc != 4) {
        std::fputs("usage: oddball-pe-pack [--report] STUB.bin PROGRAM.exe OUT.exe\n", stderr);
        return 2;
    }
    const char* stub_path = argv[1];
    const char* program_path = argv[2];
    pack_bytes stub, program;
    pe_layout stub_layout, layout;
    if (!pack_read_file(stub_path, &stub) || !find_layout(stub, &stub_layout) || stub_layout.section_count != 1)
        return fail("not the stub (one PE32+ section)", stub_path);
    if (!pack_read_file(program_path, &program) || !find_layout(program, &layout))
        return fail("not a PE32+ program", program_path);

    uint64_t base = u64(program, layout.optional + 24);
    uint32_t image_size = u32(program, layout.optional + 56);
    if (base % 0x10000 || base + image_size > 0xFFFFFFFFu)
        return fail("its address must be fixed below 4 GB", program_path);
    uint32_t relocations_size = 0;
    if (directory(program, layout, 5, &relocations_size) && relocations_size)
        return fail("it has relocations; link it with --disable-reloc-section at a fixed address", program_path);

    // The sections that hold bytes, code first, trimmed of trailing zeros.
    pack_bytes flat;
    pack_bytes table;  // where each goes, and its bytes
    std::vector<std::string> names;
    uint32_t text_start = 0, text_end = 0;
    for (int pass = 0; pass < 2; ++pass)
        for (uint32_t i = 0; i < layout.section_count; ++i) {
            size_t header = layout.sections + 40 * i;
            const char* raw_name = reinterpret_cast<const char*>(&program[header]);
            std::string name(raw_name, strnlen(raw_name, 8));
            bool text = name == ".text";
            if (text != (pass == 0) || name == ".pdata" || name == ".xdata")
                continue;
            uint32_t virtual_size = u32(program, header + 8), at = u32(program, header + 12);
            uint32_t raw_size = u32(program, header + 16), raw_at = u32(program, header + 20);
            uint32_t size = raw_size < virtual_size ? raw_size : virtual_size;
            if (raw_at > program.size() || size > program.size() - raw_at)
                return fail("a section lies outside the file", program_path);
            while (size && program[raw_at + size - 1] == 0)
                --size;
            if (!size)
                continue;
            if (text) {
                text_start = uint32_t(flat.size());
                text_end = text_start + size;
            }
            flat.insert(flat.end(), program.begin() + raw_at, program.begin() + raw_at + size);
            names.push_back(name);
            table.resize(table.size() + 8);
            put32(&table, table.size() - 8, at);
            put32(&table, table.size() - 4, size);
        }
    table.resize(table.size() + 4);  // the end of the sections

    // The offset in `flat` of the image's byte at `rva`, or -1.
    auto flat_at = [&](uint64_t rva, uint32_t bytes) -> long {
        for (size_t at = 0, f = 0; at + 8 <= table.size(); at += 8) {
            uint32_t where = u32(table, at), size = u32(table, at + 4);
            if (rva >= where && rva + bytes <= uint64_t(where) + size)
                return long(f + (rva - where));
            f += size;
        }
        return -1;
    };
    // The imports as the stub reads them: each DLL's address table, holding
    // ordinals and where the names are.  The lookup tables that repeat them
    // and the names' hints (the system's guesses at an export's place, which
    // GetProcAddress does not take) become zeros, which pack to almost nothing.
    for (uint32_t descriptor = directory(program, layout, 1);; descriptor += 20) {
        long at = flat_at(descriptor, 20);
        if (at < 0)
            return fail("its import directory lies outside its sections", program_path);
        if (!u32(flat, at + 12))
            break;
        for (uint32_t entry = u32(flat, at + 16);; entry += 8) {
            long slot = flat_at(entry, 8);
            if (slot < 0)
                return fail("an import address table lies outside its sections", program_path);
            uint64_t value = u64(flat, slot);
            if (!value)
                break;
            if (value >> 63)
                continue;  // an ordinal
            long hint = flat_at(value, 3);
            if (hint < 0)
                return fail("an import's name lies outside its sections", program_path);
            flat[hint] = flat[hint + 1] = 0;
        }
        for (uint32_t entry = u32(flat, at); entry; entry += 8) {
            long slot = flat_at(entry, 8);
            if (slot < 0 || !u64(flat, slot))
                break;
            put64(&flat, slot, 0);
        }
        put32(&flat, at, 0);
    }

    // TLS: callbacks are run; thread-local data would need the system's own loader.
    uint32_t tls_callbacks = 0;
    if (uint32_t tls = directory(program, layout, 9)) {
        pack_bytes image(image_size);
        for (size_t at = 0, f = 0; at + 8 <= table.size(); at += 8) {
            uint32_t where = u32(table, at), size = u32(table, at + 4);
            std::memcpy(&image[where], &flat[f], size);
            f += size;
        }
        if (u64(image, tls) != u64(image, tls + 8) || u32(image, tls + 32))
            return fail("it has thread-local data, which the stub cannot give it", program_path);
        tls_callbacks = uint32_t(u64(image, tls + 24));
    }

    // What the stub decodes: the load table (the program's address, size,
    // entry point, imports and TLS callbacks), then each section's place
    // and size before its bytes, then a zero.
    pack_bytes stream(20);
    put32(&stream, 0, uint32_t(base));
    put32(&stream, 4, image_size);
    put32(&stream, 8, u32(program, layout.optional + 16));
    put32(&stream, 12, directory(program, layout, 1));
    put32(&stream, 16, tls_callbacks);
    uint32_t code_start = 0, code_end = 0;
    for (size_t at = 0, f = 0; at + 8 <= table.size(); at += 8) {
        uint32_t size = u32(table, at + 4);
        stream.insert(stream.end(), table.begin() + long(at), table.begin() + long(at + 8));
        if (f == text_start && text_end > text_start) {
            code_start = uint32_t(stream.size());
            code_end = code_start + (text_end - text_start);
        }
        stream.insert(stream.end(), flat.begin() + long(f), flat.begin() + long(f + size));
        f += size;
    }
    stream.resize(stream.size() + 4);

    pack_bytes packed = pack_program(stream, code_start, code_end, pe_pack_params());
    if (!unpacks_to(packed, stream))
        return fail("the packed program does not unpack to the program", program_path);

    pack_bytes out = stub;
    // The stub's last two words, before the packed program: the range it reserves.
    if (out.size() < 8 || u64(out, out.size() - 8))
        return fail("the stub does not end in the program's address and size", stub_path);
    put32(&out, out.size() - 8, uint32_t(base));
    put32(&out, out.size() - 4, image_size);
    out.insert(out.end(), packed.begin(), packed.end());
    out.resize((out.size() + packed_read_ahead + stub_alignment - 1) / stub_alignment * stub_alignment);
    size_t section = stub_layout.sections;
    uint32_t section_at = u32(stub, section + 12);
    uint32_t section_size = uint32_t(out.size()) - section_at;
    put32(&out, section + 8, section_size);
    put32(&out, section + 16, section_size);
    put32(&out, stub_layout.optional + 4, section_size);
    put32(&out, stub_layout.optional + 8, section_size);
    put32(&out, stub_layout.optional + 56, uint32_t(out.size()));
    put64(&out, stub_layout.optional + 72, u64(program, layout.optional + 72));
    put64(&out, stub_layout.optional + 80, u64(program, layout.optional + 80));
    // The program's time stamp and linker version (the stub's are zeros,
    // which scanners take for a made-up file).
    put32(&out, stub_layout.optional - 16, u32(program, layout.optional - 16));
    out[stub_layout.optional + 2] = program[layout.optional + 2];
    out[stub_layout.optional + 3] = program[layout.optional + 3];
    if (!low_alignment_sections_hold(out, stub_layout))
        return fail("its sections break the loader's rule for an alignment under a page "
                    "(each section's bytes at its address in the file, its virtual size within them)",
                    stub_path);
    put32(&out, stub_layout.optional + 64, pe_checksum(out, stub_layout.optional + 64));

    if (!pack_write_file(argv[3], out))
        return fail("cannot write", argv[3]);
    std::fprintf(stderr,
                 "oddball-pe-pack: %s: %zu bytes of %ld (%+ld)\n"
                 "  stub (headers, imports, loader, decoder)  %6zu\n"
                 "  the program, packed                       %6zu  (%zu bytes: load table, %zu of sections, %zu of code)\n"
                 "  zeros read past it, alignment             %6zu\n",
                 argv[3], out.size(), size_limit, size_limit - long(out.size()), stub.size(), packed.size(),
                 stream.size(), flat.size(), size_t(text_end - text_start), out.size() - stub.size() - packed.size());
    if (report) {
        std::fputs("the program's sections, each packed alone:\n", stderr);
        for (size_t i = 0, at = 0; i < names.size(); ++i) {
            uint32_t size = u32(table, 8 * i + 4);
            pack_bytes part(flat.begin() + long(at), flat.begin() + long(at + size));
            uint32_t code_end = names[i] == ".text" ? size : 0;
            std::fprintf(stderr, "  %-8s %7u  %6zu\n", names[i].c_str(), size,
                         pack_program(part, 0, code_end, pe_pack_params()).size());
            at += size;
        }
    }
    return 0;
}
