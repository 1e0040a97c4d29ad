// Fuzz target: the XM reader of `oddball-tool import-xm` and the conversion
// behind it (raw samples, so no coding), on any bytes; whatever the
// conversion writes must pass the module check (tests only).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/song/music_loader.h"
#include "tools/xm/xm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    xm_song song;
    std::string error;
    if (!xm_read(data, size, &song, &error)) {
        if (error.empty() || error.find('\n') != std::string::npos)
            __builtin_trap();  // a refusal says what is wrong in one line
        return 0;
    }
    xm_import_options options;
    options.raw = true;
    xm_import_result result;
    xm_warnings warnings;
    if (!xm_import(song, options, &result, &warnings, &error)) {
        if (error.empty() || error.find('\n') != std::string::npos)
            __builtin_trap();
        return 0;
    }
    std::vector<uint8_t> image;
    uint32_t module_size = 0, pcm_size = 0;
    if (!load_music_bytes(result.module, nullptr, &image, &module_size, &pcm_size, &error))
        __builtin_trap();  // the converter wrote a module its own player refuses
    return 0;
}
