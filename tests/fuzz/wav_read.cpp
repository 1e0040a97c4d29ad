// Fuzz target: the WAV reader, on any bytes (tests only).
#include <cstddef>
#include <cstdint>

#include "media/media_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    wav_sound sound;
    std::string error;
    if (wav_read_bytes(data, size, "input", &sound, &error)) {
        // What was read must be whole frames of a sane layout.
        if (sound.samples.empty() || sound.samples.size() % size_t(sound.channels) != 0 ||
            (sound.bits != 8 && sound.bits != 16) || sound.rate < 1)
            __builtin_trap();
    } else if (error.empty() || error.find('\n') != std::string::npos) {
        __builtin_trap();  // a refusal says what is wrong in one line
    }
    return 0;
}
