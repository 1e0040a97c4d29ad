// The 64 KB packer's library: encoding, decoding, ELF sections and the stub (portable).
#include "size/packers/pack.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "media/whole_file.h"
#include "size/packers/packed_format.h"

namespace {

// The model's memory, zeroed, for one run of encoding or decoding.  calloc
// leaves the large tables to the system's zero pages, so a short input costs
// little.
struct model_memory {
    cm_state* state = static_cast<cm_state*>(std::calloc(1, sizeof(cm_state)));
    uint8_t* table = static_cast<uint8_t*>(std::calloc(size_t(1) << cm_table_bits, 1));
    uint32_t* match_table = static_cast<uint32_t*>(std::calloc(size_t(1) << cm_match_bits, 4));
    explicit model_memory(const cm_params& params)
    {
        if (!state || !table || !match_table) {
            std::fputs("oddball-pack: out of memory\n", stderr);
            std::exit(1);
        }
        cm_init(state, &params, table, match_table);
    }
    ~model_memory()
    {
        std::free(state);
        std::free(table);
        std::free(match_table);
    }
    model_memory(const model_memory&) = delete;
    model_memory& operator=(const model_memory&) = delete;
};

uint32_t get_u32(const pack_bytes& data, size_t at)
{
    return uint32_t(data[at] | data[at + 1] << 8 | data[at + 2] << 16 | uint32_t(data[at + 3]) << 24);
}
uint64_t get_u64(const pack_bytes& data, size_t at)
{
    return get_u32(data, at) | uint64_t(get_u32(data, at + 4)) << 32;
}
void set_u64(pack_bytes* data, size_t at, uint64_t value)
{
    for (int k = 0; k < 8; ++k)
        (*data)[at + k] = uint8_t(value >> (8 * k));
}

// The contexts: orders 1 to 4 and sparse contexts that skip bytes, as
// instruction operands and table columns repeat (`search` looks for a
// better set).
const uint8_t default_masks[] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x02, 0x05, 0x06, 0x04, 0x09, 0x31, 0xA2, 0x0C};
constexpr uint8_t default_mixer_rate = 8;
constexpr uint8_t default_map_shift = 7;
// Table rows: the font sheet's width, and the twelve bytes of a mesh's vertex.
constexpr uint16_t default_strides[cm_strides] = {320, 12};

}  // namespace

bool pack_read_file(const char* path, pack_bytes* data)
{
    std::string error;
    return read_input_file(path, data, &error);
}

bool pack_write_file(const std::string& path, const pack_bytes& data)
{
    std::string error;
    return write_output_file(path, data.data(), data.size(), &error);
}

cm_params default_pack_params()
{
    cm_params params{};
    params.model_count = sizeof default_masks;
    std::memcpy(params.masks, default_masks, sizeof default_masks);
    params.mixer_rate = default_mixer_rate;
    params.map_shift = default_map_shift;
    for (int t = 0; t < cm_strides; ++t)
        params.strides[t] = default_strides[t];
    return params;
}

// The arithmetic-coded stream of `data` (the decoder's counterpart is cm_decode).
pack_bytes cm_encode_bytes(const pack_bytes& data, const cm_params& params)
{
    model_memory memory(params);
    cm_state* s = memory.state;
    pack_bytes history(cm_history);  // the zeros the model reads before the first byte
    history.insert(history.end(), data.begin(), data.end());
    const uint8_t* in = history.data() + cm_history;
    pack_bytes out;
    uint32_t low = 0, high = 0xFFFFFFFFu;
    for (uint32_t position = 0; position < data.size(); ++position) {
        cm_byte_start(s, in, position);
        for (int b = 7; b >= 0; --b) {
            int bit = in[position] >> b & 1;
            uint32_t middle = low + ((high - low) >> 12) * uint32_t(cm_predict(s));
            if (bit)
                high = middle;
            else
                low = middle + 1;
            cm_update(s, bit);
            while (((low ^ high) >> 24) == 0) {
                out.push_back(uint8_t(high >> 24));
                low <<= 8;
                high = high << 8 | 255;
            }
        }
    }
    // One more than `low`'s top byte, with the zeros the decoder reads after it, lies inside the last range.
    out.push_back(uint8_t((low >> 24) + 1));
    return out;
}

pack_bytes cm_decode_bytes(const pack_bytes& stream, uint32_t size, const cm_params& params)
{
    model_memory memory(params);
    pack_bytes padded = stream;
    padded.resize(stream.size() + packed_read_ahead);
    pack_bytes out(cm_history + size);
    cm_decode(memory.state, padded.data(), out.data() + cm_history, size);
    return pack_bytes(out.begin() + cm_history, out.end());
}

// The file range of the ELF section `name`, or false.
bool find_elf_section(const pack_bytes& elf, const char* name, uint32_t* start, uint32_t* end)
{
    auto u16 = [&](size_t at) { return at + 2 <= elf.size() ? uint32_t(elf[at] | elf[at + 1] << 8) : 0u; };
    auto u64 = [&](size_t at) {
        uint64_t v = 0;
        for (int k = 7; k >= 0 && at + 8 <= elf.size(); --k)
            v = v << 8 | elf[at + k];
        return v;
    };
    if (elf.size() < 64 || std::memcmp(elf.data(), "\x7F" "ELF\x02\x01", 6) != 0)
        return false;
    uint64_t table = u64(0x28);
    uint32_t entry_size = u16(0x3A), count = u16(0x3C), names_index = u16(0x3E);
    if (entry_size != 64 || names_index >= count || table > elf.size() || count * 64ull > elf.size() - table)
        return false;
    uint64_t names = u64(table + names_index * 64ull + 0x18);
    uint64_t names_size = u64(table + names_index * 64ull + 0x20);
    if (names > elf.size() || names_size > elf.size() - names)
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        size_t header = table + i * 64ull;
        uint64_t name_at = names + (elf[header] | elf[header + 1] << 8 | elf[header + 2] << 16);
        if (name_at + std::strlen(name) + 1 > names + names_size ||
            std::memcmp(&elf[name_at], name, std::strlen(name) + 1) != 0)
            continue;
        uint64_t offset = u64(header + 0x18), size = u64(header + 0x20);
        if (offset > elf.size() || size > elf.size() - offset)
            return false;
        *start = uint32_t(offset);
        *end = uint32_t(offset + size);
        return true;
    }
    return false;
}

// The packed data: header, then the coded program (filtered in [start, end)).
pack_bytes pack_program(const pack_bytes& program, uint32_t start, uint32_t end, const cm_params& params)
{
    pack_bytes filtered = program;
    cm_x86_filter(filtered.data(), start, end);
    packed_header header{};
    header.size = uint32_t(program.size());
    header.filter_start = start;
    header.filter_end = end;
    header.params = params;
    pack_bytes out(packed_header_size);
    std::memcpy(out.data(), &header, packed_header_size);
    pack_bytes stream = cm_encode_bytes(filtered, params);
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

// What the stub does, done here: false if it would not give back `program`.
bool unpacks_to(const pack_bytes& packed, const pack_bytes& program)
{
    packed_header header;
    if (packed.size() < size_t(packed_header_size))
        return false;
    std::memcpy(&header, packed.data(), packed_header_size);
    if (header.size != program.size())
        return false;
    pack_bytes stream(packed.begin() + packed_header_size, packed.end());
    pack_bytes out = cm_decode_bytes(stream, header.size, header.params);
    cm_x86_unfilter(out.data(), header.filter_start, header.filter_end);
    return out == program;
}

// The stub cut to its one loaded segment, with the packed data behind it and
// the segment grown over it (and over the zeros the decoder reads past its end).
bool attach_to_stub(const pack_bytes& stub_elf, const pack_bytes& packed, pack_bytes* out, std::string* why)
{
    if (stub_elf.size() < 64 || std::memcmp(stub_elf.data(), "\x7F" "ELF\x02\x01", 6) != 0) {
        *why = "the stub is not a 64-bit ELF file";
        return false;
    }
    uint64_t phoff = get_u64(stub_elf, 0x20);
    uint32_t phnum = stub_elf[0x38] | stub_elf[0x39] << 8;
    if (phnum != 1 || phoff != 64 || stub_elf.size() < 64 + 56 || get_u32(stub_elf, 64) != 1) {
        *why = "the stub must have exactly one program header, a loaded segment, right after the ELF header";
        return false;
    }
    uint64_t offset = get_u64(stub_elf, 64 + 0x08), file_size = get_u64(stub_elf, 64 + 0x20);
    uint64_t memory_size = get_u64(stub_elf, 64 + 0x28);
    if (offset != 0 || file_size != memory_size || file_size > stub_elf.size()) {
        *why = "the stub's segment must start the file and hold no zero-filled tail";
        return false;
    }
    *out = pack_bytes(stub_elf.begin(), stub_elf.begin() + long(file_size));
    // No section headers: nothing loads them, and they would now point past the cut.
    set_u64(out, 0x28, 0);
    (*out)[0x3C] = (*out)[0x3D] = (*out)[0x3E] = (*out)[0x3F] = 0;
    out->insert(out->end(), packed.begin(), packed.end());
    set_u64(out, 64 + 0x20, out->size());
    set_u64(out, 64 + 0x28, out->size() + packed_read_ahead);
    return true;
}

