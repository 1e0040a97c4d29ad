// Fuzz target: the PNG reader, on any bytes (tests only).
#include <cstddef>
#include <cstdint>

#include "media/media_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    picture pic;
    std::string error;
    if (png_read_bytes(data, size, "input", &pic, &error)) {
        if (pic.width < 1 || pic.height < 1 || pic.pixels.size() != size_t(pic.width) * size_t(pic.height))
            __builtin_trap();
    } else if (error.empty() || error.find('\n') != std::string::npos) {
        __builtin_trap();  // a refusal says what is wrong in one line
    }
    return 0;
}
