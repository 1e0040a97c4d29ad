// The MPEG-1 decoder's bit reader: start and start-code search (portable).
#include "atlas/bit_reader.h"

bit_reader_state bit_reader;

void bits_start(const uint8_t* data, uint32_t size)
{
    bit_reader.bit_data = data;
    bit_reader.bit_size = size < bit_reader_max_size ? size : bit_reader_max_size;
    bit_reader.bit_position = 0;
}

bool next_start_code()
{
    uint32_t at = (uint32_t(bit_reader.bit_position) + 7) >> 3;
    const uint8_t* data = bit_reader.bit_data;
    while (at + 3 <= bit_reader.bit_size) {
        if (data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1) {
            bit_reader.bit_position = int32_t(at * 8);
            return true;
        }
        ++at;
    }
    bit_reader.bit_position = int32_t(bit_reader.bit_size * 8);
    return false;
}
