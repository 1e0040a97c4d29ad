// The 64 KB packer: what it codes decodes to the same bytes for any input,
// the x86 filter is undone exactly, ELF sections are found (and damaged files
// refused), and the stub is grown over the packed program as the kernel
// needs it.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "size/packers/pack.h"
#include "size/packers/packed_format.h"
#include "size/stubs/unpack.h"
#include "tests/support/helpers.h"

namespace {

pack_bytes round_trip(const pack_bytes& data)
{
    cm_params params = default_pack_params();
    return cm_decode_bytes(cm_encode_bytes(data, params), uint32_t(data.size()), params);
}

pack_bytes random_bytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    pack_bytes data(size);
    for (uint8_t& b : data)
        b = uint8_t(random());
    return data;
}

pack_bytes own_program()
{
    return read_file_bytes("/proc/self/exe");
}

// What the stub's decoder makes of `data` packed with the x86 filter on [start, end).
pack_bytes unpacked_by_stub(const pack_bytes& data, uint32_t start, uint32_t end)
{
    pack_bytes packed = pack_program(data, start, end, default_pack_params());
    packed.resize(packed.size() + packed_read_ahead);
    std::vector<uint8_t> work(CM_UNPACK_WORK_SIZE), out(CM_UNPACK_HISTORY + data.size());
    cm_unpack(packed.data(), out.data() + CM_UNPACK_HISTORY, work.data());
    return pack_bytes(out.begin() + CM_UNPACK_HISTORY, out.end());
}

}  // namespace

TEST(Pack, EveryKindOfInputDecodesToItself)
{
    EXPECT_EQ(round_trip({}), pack_bytes{});
    for (int value : {0, 1, 127, 128, 255})
        EXPECT_EQ(round_trip({uint8_t(value)}), pack_bytes{uint8_t(value)}) << value;
    pack_bytes zeros(65536, 0), ones(5000, 255);
    EXPECT_EQ(round_trip(zeros), zeros);
    EXPECT_EQ(round_trip(ones), ones);
    pack_bytes noise = random_bytes(8000, 7);
    EXPECT_EQ(round_trip(noise), noise);
    // Long repeats with changes, where the match model is right and then wrong.
    pack_bytes repeats;
    for (int k = 0; k < 300; ++k)
        for (char c : std::string("the match model follows this line ") + char('a' + k % 26))
            repeats.push_back(uint8_t(c));
    EXPECT_EQ(round_trip(repeats), repeats);
    pack_bytes program = own_program();
    ASSERT_GT(program.size(), 10000u);
    program.resize(30000 < program.size() ? 30000 : program.size());
    EXPECT_EQ(round_trip(program), program);
}

TEST(Pack, SizesAreWhatAModelShouldGive)
{
    cm_params params = default_pack_params();
    EXPECT_LT(cm_encode_bytes(pack_bytes(65536, 0), params).size(), 40u);
    // Noise cannot shrink and should hardly grow.
    pack_bytes noise = random_bytes(20000, 11);
    size_t noise_size = cm_encode_bytes(noise, params).size();
    EXPECT_GE(noise_size, 20000u);
    EXPECT_LT(noise_size, 20000u * 102 / 100);
    // Text repeated with small changes: the match model finds it.
    pack_bytes repeats;
    for (int k = 0; k < 300; ++k)
        for (char c : std::string("the match model follows this line ") + char('a' + k % 26))
            repeats.push_back(uint8_t(c));
    EXPECT_LT(cm_encode_bytes(repeats, params).size(), repeats.size() / 20);
}

TEST(Pack, X86FilterIsUndoneExactlyAndMakesCallsRepeat)
{
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        pack_bytes data = random_bytes(4096, seed);
        // Plenty of E8 and E9, some in the last four bytes, where the field would not fit.
        for (size_t i = 0; i < data.size(); i += 7)
            data[i] = uint8_t(0xE8 + (i & 1));
        data[data.size() - 3] = 0xE8;
        pack_bytes filtered = data;
        uint32_t start = seed * 13, end = uint32_t(data.size()) - seed;
        cm_x86_filter(filtered.data(), start, end);
        EXPECT_NE(filtered, data);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + start, filtered.begin()));
        EXPECT_TRUE(std::equal(data.begin() + end, data.end(), filtered.begin() + end));
        cm_x86_unfilter(filtered.data(), start, end);
        EXPECT_EQ(filtered, data) << seed;
    }
    // Two calls to one function from different places become the same bytes.
    pack_bytes code = {0x90, 0xE8, 0, 0, 0, 0, 0x90, 0x90, 0x90, 0xE8, 0, 0, 0, 0};
    int32_t target = 0x1234;
    int32_t first = target - 6, second = target - 14;
    std::memcpy(&code[2], &first, 4);
    std::memcpy(&code[10], &second, 4);
    cm_x86_filter(code.data(), 0, uint32_t(code.size()));
    EXPECT_TRUE(std::equal(code.begin() + 1, code.begin() + 6, code.begin() + 9));
    EXPECT_EQ(code[5], 0x34);  // big-endian, low byte last
}

TEST(Pack, ElfSectionsAreFoundAndDamagedFilesRefused)
{
    pack_bytes program = own_program();
    uint32_t start = 0, end = 0;
    ASSERT_TRUE(find_elf_section(program, ".text", &start, &end));
    EXPECT_LT(start, end);
    EXPECT_LE(end, program.size());
    EXPECT_FALSE(find_elf_section(program, ".no-such-section", &start, &end));

    EXPECT_FALSE(find_elf_section({}, ".text", &start, &end));
    EXPECT_FALSE(find_elf_section(pack_bytes(program.begin(), program.begin() + 63), ".text", &start, &end));
    // Section headers past the end of the file, or a name table outside it.
    pack_bytes cut(program.begin(), program.begin() + program.size() / 2);
    EXPECT_FALSE(find_elf_section(cut, ".text", &start, &end));
    pack_bytes bad_names = program;
    bad_names[0x3E] = 0xFF;  // the names' section index beyond the count
    bad_names[0x3F] = 0xFF;
    EXPECT_FALSE(find_elf_section(bad_names, ".text", &start, &end));
}

TEST(Pack, PackedProgramUnpacksAndDamageIsSeen)
{
    pack_bytes program = own_program();
    uint32_t start = 0, end = 0;
    ASSERT_TRUE(find_elf_section(program, ".text", &start, &end));
    // Its first 30,000 bytes, some of them code, will do.
    program.resize(30000 < program.size() ? 30000 : program.size());
    end = end < program.size() ? end : uint32_t(program.size());
    start = start < end ? start : end / 2;
    pack_bytes packed = pack_program(program, start, end, default_pack_params());
    EXPECT_TRUE(unpacks_to(packed, program));
    EXPECT_LT(packed.size(), program.size() / 2);
    pack_bytes damaged = packed;
    damaged[packed_header_size + damaged.size() / 3] ^= 0x10;
    EXPECT_FALSE(unpacks_to(damaged, program));
    EXPECT_FALSE(unpacks_to(pack_bytes(packed.begin(), packed.begin() + 10), program));
}

TEST(Pack, StubIsGrownOverThePackedProgram)
{
    // A stub as stub.ld lays it out: ELF header, one loaded segment from offset 0, section headers behind.
    pack_bytes stub(300, 0x90);
    std::memcpy(stub.data(), "\x7F" "ELF\x02\x01\x01", 7);
    auto put = [&](pack_bytes& b, size_t at, uint64_t value, int size) {
        for (int k = 0; k < size; ++k)
            b[at + k] = uint8_t(value >> (8 * k));
    };
    auto get = [](const pack_bytes& b, size_t at) {
        uint64_t v = 0;
        for (int k = 7; k >= 0; --k)
            v = v << 8 | b[at + k];
        return v;
    };
    put(stub, 0x20, 64, 8);         // program headers at 64
    put(stub, 0x28, 250, 8);        // section headers at 250
    put(stub, 0x38, 1, 2);          // one program header
    put(stub, 0x3C, 3, 2);          // three sections
    put(stub, 64, 1, 4);            // PT_LOAD
    put(stub, 64 + 0x08, 0, 8);     // from offset 0
    put(stub, 64 + 0x20, 200, 8);   // 200 bytes in the file
    put(stub, 64 + 0x28, 200, 8);   // and in memory
    pack_bytes packed(1000, 0xAB), out;
    std::string why;
    ASSERT_TRUE(attach_to_stub(stub, packed, &out, &why)) << why;
    EXPECT_EQ(out.size(), 1200u);
    EXPECT_TRUE(std::equal(stub.begin() + 120, stub.begin() + 200, out.begin() + 120));
    EXPECT_TRUE(std::equal(packed.begin(), packed.end(), out.begin() + 200));
    EXPECT_EQ(get(out, 64 + 0x20), 1200u);
    EXPECT_EQ(get(out, 64 + 0x28), 1200u + packed_read_ahead);
    EXPECT_EQ(get(out, 0x28), 0u) << "no section headers";
    EXPECT_EQ(out[0x3C] | out[0x3D] << 8, 0);

    pack_bytes two_headers = stub;
    put(two_headers, 0x38, 2, 2);
    EXPECT_FALSE(attach_to_stub(two_headers, packed, &out, &why));
    pack_bytes zero_tail = stub;
    put(zero_tail, 64 + 0x28, 400, 8);  // memory beyond the file: packed data would land in it
    EXPECT_FALSE(attach_to_stub(zero_tail, packed, &out, &why));
    pack_bytes too_long = stub;
    put(too_long, 64 + 0x20, 5000, 8);
    put(too_long, 64 + 0x28, 5000, 8);
    EXPECT_FALSE(attach_to_stub(too_long, packed, &out, &why));
    EXPECT_FALSE(attach_to_stub(pack_bytes(stub.begin(), stub.begin() + 100), packed, &out, &why));
}

// The stub's decoder is the model written again in assembly; the layouts it
// assumes are the model's.
static_assert(CM_UNPACK_HISTORY == cm_history);
static_assert(packed_header_size == 36 && sizeof(cm_params) == 24);
static_assert(cm_inputs == 20 && cm_max_models + cm_strides == 18 && cm_table_bits == 26 && cm_match_bits == 18);
static_assert(CM_UNPACK_WORK_SIZE == CM_UNPACK_STATE_SIZE + (4 << cm_match_bits) + (1 << cm_table_bits));

TEST(Pack, StubDecoderGivesWhatThePlainDecoderGives)
{
    EXPECT_EQ(unpacked_by_stub({}, 0, 0), pack_bytes{});
    EXPECT_EQ(unpacked_by_stub({0x42}, 0, 0), pack_bytes{0x42});
    pack_bytes noise = random_bytes(3000, 5);
    EXPECT_EQ(unpacked_by_stub(noise, 100, 2000), noise);
    // A table a row of 320 bytes wide, and another of 12: the table models at work.
    pack_bytes table(320 * 40);
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = uint8_t((i % 320) / 7 + (i / 320) % 3 + (i % 12 == 0 ? 100 : 0));
    EXPECT_EQ(unpacked_by_stub(table, 0, 0), table);
    pack_bytes repeats;
    for (int k = 0; k < 200; ++k)
        for (char c : std::string("the match model follows this line ") + char('a' + k % 26))
            repeats.push_back(uint8_t(c));
    EXPECT_EQ(unpacked_by_stub(repeats, 0, 0), repeats);
    pack_bytes program = own_program();
    uint32_t start = 0, end = 0;
    ASSERT_TRUE(find_elf_section(program, ".text", &start, &end));
    program.resize(40000 < program.size() ? 40000 : program.size());
    end = end < program.size() ? end : uint32_t(program.size());
    start = start < end ? start : end / 2;
    EXPECT_EQ(unpacked_by_stub(program, start, end), program);
}
