// Fuzz target: `oddball-tool decode-samples` on any bytes as the coded
// sample stream, the whole tool path: check, decode, write the WAV (tests only).
#include "tests/fuzz/fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string in = fuzz_file("in.sbc", data, size);
    int status = fuzz_tool({"decode-samples", in, fuzz_dir() + "/out.wav"});
    if (status != 0 && status != 1)
        __builtin_trap();  // a bad stream is a bad file (1), never anything else
    return 0;
}
