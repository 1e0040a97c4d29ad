// oddball-tool encode-picture and decode-picture: PNG to MPEG-1 intra stream and back (portable; tools only).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "atlas/bit_reader.h"
#include "media/whole_file.h"
#include "tools/cli/command.h"
#include "tools/picture/mpeg1_encoder.h"

namespace {

int encode_picture(int argc, char** argv)
{
    const char* files[2] = {nullptr, nullptr};
    int file_count = 0;
    int qscale = mpeg_encoder_default_qscale;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--qscale")) {
            if (i + 1 >= argc || !parse_integer(argv[i + 1], 1, 31, &qscale))
                return tool_usage_error("encode-picture: --qscale takes a number from 1 to 31");
            ++i;
        } else if (argv[i][0] == '-' && argv[i][1]) {
            return tool_usage_error("encode-picture: unknown option '%s'", argv[i]);
        } else if (file_count < 2) {
            files[file_count++] = argv[i];
        } else {
            return tool_usage_error("encode-picture: unexpected argument '%s'", argv[i]);
        }
    }
    if (file_count != 2)
        return tool_usage_error("encode-picture: usage: encode-picture IN.png OUT.m1v [--qscale N]");
    picture source;
    std::string error;
    if (!png_read(files[0], &source, &error))
        return tool_fail("encode-picture: %s", error.c_str());
    std::vector<uint8_t> stream;
    if (!encode_intra_picture(source, qscale, &stream, &error))
        return tool_fail("encode-picture: %s: %s", files[0], error.c_str());
    picture decoded;
    if (!decode_intra_picture(stream, 0, &decoded, nullptr, &error))
        return tool_fail("encode-picture: the encoded stream does not decode: %s", error.c_str());
    if (!write_output_file(files[1], stream.data(), stream.size(), &error))
        return tool_fail("encode-picture: %s", error.c_str());
    std::printf("%s: %d x %d, %zu bytes at quantiser scale %d, PSNR %.2f dB\n", files[1], source.width,
                source.height, stream.size(), qscale, picture_psnr(source, decoded));
    return 0;
}

int decode_picture(int argc, char** argv)
{
    const char* files[2] = {nullptr, nullptr};
    int file_count = 0;
    int filter_rows = 0;
    const char* planes_path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--filter-rows")) {
            if (i + 1 >= argc || !parse_integer(argv[i + 1], 0, 4096, &filter_rows))
                return tool_usage_error("decode-picture: --filter-rows takes a number from 0 to 4096");
            ++i;
        } else if (!std::strcmp(argv[i], "--planes")) {
            if (i + 1 >= argc)
                return tool_usage_error("decode-picture: --planes takes a file name");
            planes_path = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1]) {
            return tool_usage_error("decode-picture: unknown option '%s'", argv[i]);
        } else if (file_count < 2) {
            files[file_count++] = argv[i];
        } else {
            return tool_usage_error("decode-picture: unexpected argument '%s'", argv[i]);
        }
    }
    if (file_count != 2)
        return tool_usage_error(
            "decode-picture: usage: decode-picture IN.m1v OUT.png [--filter-rows N] [--planes OUT.yuv]");
    std::vector<uint8_t> stream;
    std::string error;
    if (!read_input_file(files[0], &stream, &error, bit_reader_max_size))
        return tool_fail("decode-picture: %s", error.c_str());
    picture decoded;
    std::vector<uint8_t> planes;
    if (!decode_intra_picture(stream, filter_rows, &decoded, planes_path ? &planes : nullptr, &error))
        return tool_fail("decode-picture: %s: %s", files[0], error.c_str());
    if (planes_path && !write_output_file(planes_path, planes.data(), planes.size(), &error))
        return tool_fail("decode-picture: %s", error.c_str());
    if (!png_write(files[1], decoded, false, &error)) {
        if (planes_path)
            std::remove(planes_path);
        return tool_fail("decode-picture: %s", error.c_str());
    }
    return 0;
}

}  // namespace

const tool_command encode_picture_command{"encode-picture", "IN.png OUT.m1v [--qscale N]",
                     "encodes a picture (sides multiples of 16) as an MPEG-1 intra stream the show decodes",
                     encode_picture};
const tool_command decode_picture_command{"decode-picture", "IN.m1v OUT.png [--filter-rows N] [--planes OUT.yuv]",
                     "decodes an MPEG-1 intra stream with the show's decoder; --planes also writes 4:2:0 samples",
                     decode_picture};
