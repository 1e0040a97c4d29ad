// Test helpers: small MPEG-1 intra streams built bit by bit, and memory that ends at an inaccessible page.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Bits, most significant first; codes may be given as text ("0000 01").
struct stream_builder {
    std::vector<uint8_t> bytes;
    int filled = 0;

    void put(uint32_t value, int length)
    {
        for (int i = length - 1; i >= 0; --i) {
            if (filled == 0)
                bytes.push_back(0);
            bytes.back() |= uint8_t(((value >> i) & 1) << (7 - filled));
            filled = (filled + 1) & 7;
        }
    }
    void put(const std::string& text)
    {
        for (char c : text)
            if (c == '0' || c == '1')
                put(c == '1', 1);
    }
    void align() { filled = 0; }
    void start_code(uint32_t code)
    {
        align();
        put(code, 32);
    }

    // Sequence header (default matrices), group of pictures, I-picture header.
    void headers(int width, int height)
    {
        start_code(0x1B3);
        put(uint32_t(width), 12);
        put(uint32_t(height), 12);
        put(1, 4);
        put(3, 4);
        put(0x3FFFF, 18);
        put(1, 1);
        put(20, 10);
        put(1, 1);
        put(0, 2);
        start_code(0x1B8);
        put(0, 12);  // drop frame, hours, minutes
        put(1, 1);   // marker
        put(0, 12);  // seconds, pictures
        put(1, 1);   // closed GOP
        put(0, 1);   // broken link
        start_code(0x100);
        put(0, 10);
        put(1, 3);
        put(0xFFFF, 16);
        put(0, 1);
    }
    void slice(int row, int qscale)
    {
        start_code(0x100u + uint32_t(row));
        put(uint32_t(qscale), 5);
        put(0, 1);
    }
    // DC difference of a block: the size code of the component, then the bits.
    void dc(int component, int difference)
    {
        static const char* luminance[12] = {"100", "00", "01", "101", "110", "1110", "11110", "111110",
                                            "1111110", "11111110", "111111110", "111111111"};
        static const char* chrominance[12] = {"00", "01", "10", "110", "1110", "11110", "111110", "1111110",
                                              "11111110", "111111110", "1111111110", "1111111111"};
        int size = 0;
        for (int m = difference < 0 ? -difference : difference; m; m >>= 1)
            ++size;
        put(component == 0 ? luminance[size] : chrominance[size]);
        if (size)
            put(uint32_t(difference > 0 ? difference : difference + (1 << size) - 1), size);
    }
    void end_of_block() { put("10"); }
    // One intra macroblock whose six blocks hold only the given DC differences.
    void dc_macroblock(const int differences[6])
    {
        put("1");  // address increment 1
        put("1");  // intra
        for (int b = 0; b < 6; ++b) {
            dc(b < 4 ? 0 : b - 3, differences[b]);
            end_of_block();
        }
    }
    void end() { start_code(0x1B7); }
};

// `size` bytes that end exactly where an inaccessible page begins, so any
// read or write past them stops the test with a fault.
class guarded_memory {
public:
    explicit guarded_memory(size_t size)
    {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        const size_t usable = (size + page - 1) / page * page;
        total_ = usable + page;
        base_ = static_cast<uint8_t*>(mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(base_ + usable, page, PROT_NONE);
        data_ = base_ + usable - size;
    }
    ~guarded_memory() { munmap(base_, total_); }
    guarded_memory(const guarded_memory&) = delete;
    guarded_memory& operator=(const guarded_memory&) = delete;
    uint8_t* data() { return data_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t total_ = 0;
};
