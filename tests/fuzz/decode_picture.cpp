// Fuzz target: `oddball-tool decode-picture` on any bytes as the MPEG-1
// stream, the whole tool path with edge smoothing and the sample planes
// (tests only).
#include "tests/fuzz/fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string in = fuzz_file("in.m1v", data, size);
    int status = fuzz_tool({"decode-picture", in, fuzz_dir() + "/out.png", "--filter-rows", "64", "--planes",
                            fuzz_dir() + "/out.yuv"});
    if (status != 0 && status != 1)
        __builtin_trap();  // a bad stream is a bad file (1), never anything else
    return 0;
}
