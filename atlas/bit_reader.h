// The MPEG-1 decoder's bit reader: most significant bit first, bounded by the stream's size (portable).
#pragma once

#include <cstdint>

struct bit_reader_state {
    const uint8_t* bit_data = nullptr;  // start of the stream
    uint32_t bit_size = 0;              // bytes in the stream; bits past them read as 0
    int32_t bit_position = 0;           // in bits from bit_data
};
extern bit_reader_state bit_reader;

// The largest stream the reader takes: bit positions stay well inside int32.
constexpr uint32_t bit_reader_max_size = 1u << 27;

// Starts reading `size` bytes at `data` (size at most bit_reader_max_size).
void bits_start(const uint8_t* data, uint32_t size);

// The four bytes from the one holding the current bit, big-endian; bytes
// past the end of the stream read as 0, so nothing outside it is touched.
inline uint32_t bits_fetch()
{
    const uint32_t at = uint32_t(bit_reader.bit_position) >> 3;
    const uint8_t* data = bit_reader.bit_data;
    if (at + 4 <= bit_reader.bit_size)
        return (uint32_t(data[at]) << 24) | (uint32_t(data[at + 1]) << 16) | (uint32_t(data[at + 2]) << 8) |
               data[at + 3];
    uint32_t word = 0;
    for (uint32_t i = at; i < at + 4; ++i)
        word = (word << 8) | (i < bit_reader.bit_size ? data[i] : 0u);
    return word;
}

// The next n bits (1 <= n, n plus the bit offset within the byte <= 32), not consumed.
inline uint32_t bits_peek(int n)
{
    return (bits_fetch() << (bit_reader.bit_position & 7)) >> (32 - n);
}

inline void bits_skip(int n) { bit_reader.bit_position += n; }

inline uint32_t bits_read(int n)
{
    uint32_t value = bits_peek(n);
    bits_skip(n);
    return value;
}

inline uint32_t bits_read1() { return bits_read(1); }

// Rounds the position up to a byte and skips whole bytes until the next 24
// bits are 0x000001 (not consumed).  False when the stream ends first.
bool next_start_code();

// True once every bit of the stream has been read or skipped: a decode that
// stops then has run out of stream (it was truncated).
inline bool bits_exhausted() { return uint32_t(bit_reader.bit_position) >= bit_reader.bit_size * 8u; }
