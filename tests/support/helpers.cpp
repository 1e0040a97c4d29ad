// Helpers the tests share: where things are, running a program, hashing bytes.
#include "tests/support/helpers.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

std::string source_path(const std::string& relative)
{
    return std::string(ODDBALL_SOURCE_DIR) + "/" + relative;
}

std::string tool()
{
    return binary_path("oddball-tool");
}

std::string binary_path(const std::string& relative)
{
    return std::string(ODDBALL_BINARY_DIR) + "/" + relative;
}

std::string scratch_dir(const std::string& name)
{
    std::string dir = binary_path("test-scratch/" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

namespace {
std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

command_result run_command(const std::string& command_line)
{
    static int counter = 0;
    std::string base = binary_path("test-scratch/run-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(binary_path("test-scratch"));
    std::string full = "(" + command_line + ") >" + base + ".out 2>" + base + ".err </dev/null";
    int raw = std::system(full.c_str());
    command_result result{};
    if (raw == -1)
        result.status = -1;
    else if (WIFEXITED(raw))
        result.status = WEXITSTATUS(raw);
    else
        result.status = 128 + WTERMSIG(raw);
    result.output = slurp(base + ".out");
    result.errors = slurp(base + ".err");
    std::filesystem::remove(base + ".out");
    std::filesystem::remove(base + ".err");
    return result;
}

std::vector<uint8_t> read_file_bytes(const std::string& path)
{
    std::string text = slurp(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void write_file_bytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string hash_bytes(const void* data, size_t size)
{
    uint64_t h = 0xcbf29ce484222325ull;
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}
