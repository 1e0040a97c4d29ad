// Reading a whole input file for a command of oddball-tool (portable; tools only).
#include "tools/cli/input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool read_input_file(const std::string& path, std::vector<uint8_t>* bytes, std::string* error, uint64_t limit)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    struct stat info;
    bool ok = false;
    if (fstat(fileno(f), &info) != 0) {
        *error = path + ": cannot open: " + std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        *error = path + (S_ISDIR(info.st_mode) ? ": cannot open: it is a folder" : ": cannot open: not a file");
    } else if (uint64_t(info.st_size) > limit) {
        *error = path + ": larger than " + std::to_string(limit) + " bytes";
    } else {
        bytes->resize(size_t(info.st_size));
        size_t got = bytes->empty() ? 0 : std::fread(bytes->data(), 1, bytes->size(), f);
        // A file that changed size while being read is read as far as it goes.
        bytes->resize(got);
        ok = !std::ferror(f);
        if (!ok)
            *error = path + ": cannot read: " + std::strerror(errno);
    }
    std::fclose(f);
    return ok;
}
