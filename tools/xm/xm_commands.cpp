// oddball-tool import-xm and export-xm: FastTracker 2 songs into our module and coded sample stream, and back (portable; tool side).
#include "media/whole_file.h"
#include "music/codec.h"
#include "music/module.h"
#include "tools/cli/command.h"
#include "tools/song/music_loader.h"
#include "tools/xm/xm.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr size_t max_warning_lines = 200;

// Writes all files or none: each goes to a temporary file first, and the
// temporaries are renamed only when every one has been written.
bool write_files(const std::vector<std::pair<std::string, const std::vector<uint8_t>*>>& files, std::string* error)
{
    std::error_code ignored;
    size_t written = 0;
    for (; written < files.size(); ++written) {
        const auto& [path, bytes] = files[written];
        std::ofstream out(path + ".tmp", std::ios::binary | std::ios::trunc);
        if (out)
            out.write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
        if (!out) {
            *error = path + ": cannot write: " + std::strerror(errno);
            break;
        }
    }
    if (written == files.size()) {
        for (const auto& file : files) {
            std::error_code failed;
            std::filesystem::rename(file.first + ".tmp", file.first, failed);
            if (failed) {
                *error = file.first + ": cannot write: " + failed.message();
                return false;
            }
        }
        return true;
    }
    for (size_t i = 0; i <= written && i < files.size(); ++i)
        std::filesystem::remove(files[i].first + ".tmp", ignored);
    return false;
}

void print_warnings(const char* command, const xm_warnings& warnings)
{
    for (size_t i = 0; i < warnings.size() && i < max_warning_lines; ++i)
        std::fprintf(stderr, "%s: warning: %s\n", command, warnings[i].c_str());
    if (warnings.size() > max_warning_lines)
        std::fprintf(stderr, "%s: warning: and %zu more\n", command, warnings.size() - max_warning_lines);
}

int import_xm(int argc, char** argv)
{
    std::vector<std::string> paths;
    xm_import_options options;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--raw")) {
            options.raw = true;
        } else if (!std::strcmp(argv[i], "--max-bytes")) {
            uint64_t n = 0;
            if (i + 1 >= argc || !parse_integer(argv[i + 1], 1, UINT32_MAX, &n))
                return tool_usage_error("import-xm: --max-bytes takes a positive whole number of bytes");
            options.max_bytes = uint32_t(n);
            ++i;
        } else if (argv[i][0] == '-' && argv[i][1]) {
            return tool_usage_error("import-xm: unknown option '%s'", argv[i]);
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.size() != 3)
        return tool_usage_error("import-xm: give the XM file, the module to write and the sample stream to write");
    if (options.raw && options.max_bytes)
        return tool_usage_error("import-xm: --max-bytes is for coded samples; --raw keeps them uncoded");

    std::vector<uint8_t> bytes;
    std::string error;
    if (!read_input_file(paths[0], &bytes, &error))
        return tool_fail("import-xm: %s", error.c_str());
    xm_song song;
    if (!xm_read(bytes.data(), bytes.size(), &song, &error))
        return tool_fail("import-xm: %s: %s", paths[0].c_str(), error.c_str());
    xm_import_result result;
    xm_warnings warnings;
    if (!xm_import(song, options, &result, &warnings, &error))
        return tool_fail("import-xm: %s: %s", paths[0].c_str(), error.c_str());
    print_warnings("import-xm", warnings);
    // What the program would load must pass the checks that outside modules get.
    std::vector<uint8_t> image;
    uint32_t module_size = 0, pcm_size = 0;
    if (!load_music_bytes(result.module, &result.stream, &image, &module_size, &pcm_size, &error))
        return tool_fail("import-xm: %s: the converted module does not load: %s", paths[0].c_str(), error.c_str());
    if (!write_files({{paths[1], &result.module}, {paths[2], &result.stream}}, &error))
        return tool_fail("import-xm: %s", error.c_str());
    std::printf("%s: %d channels, %zu orders, %zu patterns, %zu instruments; module %zu bytes, ", paths[1].c_str(),
                song.channels, song.orders.size(), song.patterns.size(), song.instruments.size(),
                result.module.size());
    if (options.raw)
        std::printf("samples raw inside it\n");
    else
        std::printf("stream %zu bytes for %u sample bytes (SNR %.1f dB)\n", result.stream.size(), result.pcm_bytes,
                    result.snr_db);
    return 0;
}

int export_xm(int argc, char** argv)
{
    std::vector<std::string> paths;
    std::string stream_path;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--samples")) {
            if (i + 1 >= argc)
                return tool_usage_error("export-xm: --samples takes the coded sample stream file");
            stream_path = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1]) {
            return tool_usage_error("export-xm: unknown option '%s'", argv[i]);
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.size() != 2)
        return tool_usage_error("export-xm: give the module and the XM file to write");
    std::vector<uint8_t> image;
    uint32_t module_size = 0, pcm_size = 0;
    std::string error;
    if (!load_music_files(paths[0], stream_path, &image, &module_size, &pcm_size, &error))
        return tool_fail("export-xm: %s", error.c_str());
    xm_song song;
    xm_warnings warnings;
    if (!xm_export(image.data(), module_size, pcm_size, &song, &warnings, &error))
        return tool_fail("export-xm: %s: %s", paths[0].c_str(), error.c_str());
    print_warnings("export-xm", warnings);
    std::vector<uint8_t> bytes = xm_write(song);
    if (!write_files({{paths[1], &bytes}}, &error))
        return tool_fail("export-xm: %s", error.c_str());
    std::printf("%s: %d channels, %zu orders, %zu patterns, %zu instruments, %zu bytes\n", paths[1].c_str(),
                song.channels, song.orders.size(), song.patterns.size(), song.instruments.size(), bytes.size());
    return 0;
}

}  // namespace

const tool_command import_xm_command{"import-xm", "IN.xm OUT.mxm OUT.sbc [--raw] [--max-bytes N]",
                     "converts a FastTracker 2 XM song into a module and its coded sample stream (--raw: PCM kept "
                     "inside the module)",
                     import_xm};
const tool_command export_xm_command{"export-xm", "IN.mxm OUT.xm [--samples STREAM]",
                     "converts a module (with its coded samples) into a FastTracker 2 XM song", export_xm};
