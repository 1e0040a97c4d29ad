// What the fuzz targets share: a private folder for the files a tool path
// reads and writes, and running an oddball-tool command in-process (tests only).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/cli/command.h"

// A folder of this process's own, made once (in /dev/shm when there is one:
// the files are written and read at every run).
inline const std::string& fuzz_dir()
{
    static const std::string dir = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/oddball-fuzz-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back(0);
        if (!mkdtemp(name.data()))
            std::abort();
        std::string made = name.data();
        // Removed at exit; libFuzzer ends through exit() after its runs.
        static std::string removal = made;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removal, ignored);
        });
        return made;
    }();
    return dir;
}

// Writes `size` bytes to `name` inside fuzz_dir() and gives its path.
inline std::string fuzz_file(const std::string& name, const uint8_t* data, size_t size)
{
    std::string path = fuzz_dir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
        std::abort();
    return path;
}

// Runs `oddball-tool ARGS...` in this process; gives its exit status.
inline int fuzz_tool(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return tool_run(int(args.size()), argv.data());
}
