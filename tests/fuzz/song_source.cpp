// Fuzz target: the song source parser of build-data and the module writer
// behind it.  The input is the folder's files one after another, each ended
// by a zero byte: song.txt, instruments.txt, then patterns/00.txt, 01.txt,
// ...; files the input does not reach are missing (tests only).
#include <filesystem>

#include "tests/fuzz/fuzz_files.h"
#include "tools/song/song.h"

namespace {

constexpr int max_pattern_files = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    namespace fs = std::filesystem;
    const std::string dir = fuzz_dir() + "/song";
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    fs::create_directories(dir + "/patterns");
    size_t at = 0;
    for (int file = 0; at < size && file < 2 + max_pattern_files; ++file) {
        size_t end = at;
        while (end < size && data[end] != 0)
            ++end;
        char name[32];
        if (file == 0)
            std::snprintf(name, sizeof name, "song.txt");
        else if (file == 1)
            std::snprintf(name, sizeof name, "instruments.txt");
        else
            std::snprintf(name, sizeof name, "patterns/%02d.txt", file - 2);
        fuzz_file(std::string("song/") + name, data + at, end - at);
        at = end + 1;
    }

    song_source song;
    std::string error;
    if (!song_parse(dir, &song, &error)) {
        if (std::getenv("FUZZ_VERBOSE"))  // to see why a seed is refused
            std::fprintf(stderr, "refused: %s\n", error.c_str());
        if (error.empty() || error.find('\n') != std::string::npos)
            __builtin_trap();  // a refusal names the file and line in one line
        return 0;
    }
    // What the parser accepts, the module writer must take: tiny stand-in
    // samples keep the run fast (synthesis is not parsing).
    std::vector<song_sample> samples(song.instruments.size());
    std::vector<uint32_t> starts(song.instruments.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i].pcm.assign(16, int8_t(i));
        starts[i] = uint32_t(16 * i);
    }
    std::vector<uint8_t> module = song_write_module(song, samples, starts);
    if (module.size() < 0x2750)
        __builtin_trap();
    return 0;
}
