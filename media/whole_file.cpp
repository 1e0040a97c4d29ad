// Whole files in and out: a checked reader and a writer through a temporary file (portable).
#include "media/whole_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

bool read_text_file(const std::string& path, std::string* text, std::string* error)
{
    std::vector<uint8_t> bytes;
    if (!read_input_file(path, &bytes, error))
        return false;
    text->assign(bytes.begin(), bytes.end());
    return true;
}

bool write_output_file(const std::string& path, const uint8_t* bytes, size_t size, std::string* error)
{
    std::string temporary = path + ".tmp";
    FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) {
        *error = path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    bool ok = size == 0 || std::fwrite(bytes, 1, size, f) == size;
    int saved = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    std::error_code failed;
    if (ok)
        std::filesystem::rename(temporary, path, failed);
    if (!ok || failed) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        *error = path + ": cannot write: " + (ok ? failed.message() : std::string(std::strerror(saved)));
        return false;
    }
    return true;
}
