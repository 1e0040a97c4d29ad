// oddball-tool encode-samples and decode-samples: WAV files to and from the subband-coded sample stream (portable).
#include "base/memory.h"
#include "media/media_files.h"
#include "media/whole_file.h"
#include "music/codec.h"
#include "tools/cli/command.h"
#include "tools/song/codec_encoder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The sound on the 8-bit scale: channels mixed down, 16-bit values divided by 256.
std::vector<float> mono_samples(const wav_sound& sound)
{
    size_t frames = sound.samples.size() / size_t(sound.channels);
    std::vector<float> out(frames);
    for (size_t i = 0; i < frames; ++i) {
        double sum = 0;
        for (int c = 0; c < sound.channels; ++c)
            sum += sound.samples[i * size_t(sound.channels) + size_t(c)];
        out[i] = float(sum / sound.channels / 256.0);
    }
    return out;
}

int encode_samples(int argc, char** argv)
{
    std::vector<std::string> paths;
    uint64_t max_bytes = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--max-bytes")) {
            if (i + 1 >= argc || !parse_integer(argv[i + 1], 1, UINT32_MAX, &max_bytes))
                return tool_usage_error("encode-samples: --max-bytes takes a positive whole number of bytes");
            ++i;
        } else if (argv[i][0] == '-' && argv[i][1]) {
            return tool_usage_error("encode-samples: unknown option '%s'", argv[i]);
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.size() < 2)
        return tool_usage_error("encode-samples: give one or more WAV files and the stream file to write");
    std::string out_path = paths.back();
    paths.pop_back();

    std::vector<std::vector<float>> sounds;
    for (const std::string& path : paths) {
        wav_sound sound;
        std::string error;
        if (!wav_read(path, &sound, &error))
            return tool_fail("encode-samples: %s", error.c_str());
        sounds.push_back(mono_samples(sound));
    }
    std::vector<codec_input> inputs;
    for (const std::vector<float>& s : sounds)
        inputs.push_back({s.data(), uint32_t(s.size() > UINT32_MAX ? UINT32_MAX : s.size())});
    std::vector<uint32_t> starts(inputs.size());
    uint64_t length = codec_layout(inputs.data(), int(inputs.size()), starts.data());
    if (length > codec_max_samples)
        return tool_fail("encode-samples: %llu samples are too many for one stream (at most %u)",
                         (unsigned long long)length, codec_max_samples);
    if (max_bytes && max_bytes < codec_smallest_size(length))
        return tool_fail("encode-samples: --max-bytes %llu is below the smallest stream for these samples (%llu bytes)",
                         (unsigned long long)max_bytes, (unsigned long long)codec_smallest_size(length));

    codec_encoding coded;
    const char* problem = nullptr;
    if (!codec_encode(inputs.data(), int(inputs.size()), uint32_t(max_bytes), &coded, &problem))
        return tool_fail("encode-samples: %s", problem);
    std::string error;
    bool written = write_output_file(out_path, coded.stream, coded.size, &error);

    // Each input's own quality, from the stream as the program will decode it.
    std::vector<int8_t> decoded(coded.samples);
    static codec_state state;
    decode_sample_stream(&state, coded.stream, decoded.data());
    mem_free(coded.stream);
    if (!written)
        return tool_fail("encode-samples: %s", error.c_str());

    if (inputs.size() > 1)
        for (size_t i = 0; i < inputs.size(); ++i)
            std::printf("%s: starts at sample %u, %u samples, SNR %.2f dB\n", paths[i].c_str(), starts[i],
                        inputs[i].length, codec_snr_db(inputs[i].samples, decoded.data() + starts[i], inputs[i].length));
    std::printf("%s: %u granules, %u bytes, %u samples, %.3f bits per sample, SNR %.2f dB\n", out_path.c_str(),
                coded.granules, coded.size, coded.samples, coded.bits_per_sample, coded.snr_db);
    return 0;
}

int decode_samples(int argc, char** argv)
{
    std::vector<std::string> paths;
    uint64_t rate = 8363;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rate")) {
            if (i + 1 >= argc || !parse_integer(argv[i + 1], 1, 1000000, &rate))
                return tool_usage_error("decode-samples: --rate takes a sample rate from 1 to 1000000 Hz");
            ++i;
        } else if (argv[i][0] == '-' && argv[i][1]) {
            return tool_usage_error("decode-samples: unknown option '%s'", argv[i]);
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.size() != 2)
        return tool_usage_error("decode-samples: give the stream file and the WAV file to write");

    std::vector<uint8_t> stream;
    std::string read_error;
    if (!read_input_file(paths[0], &stream, &read_error))
        return tool_fail("decode-samples: %s", read_error.c_str());
    const char* problem = nullptr;
    int64_t size = codec_check_stream(stream.data(), stream.size(), &problem);
    if (size < 0)
        return tool_fail("decode-samples: %s: %s", paths[0].c_str(), problem);

    std::vector<int8_t> decoded(size_t(size) + 1);
    static codec_state state;
    decode_sample_stream(&state, stream.data(), decoded.data());
    wav_sound sound;
    sound.rate = int(rate);
    sound.channels = 1;
    sound.bits = 8;
    sound.samples.resize(size_t(size));
    for (size_t i = 0; i < sound.samples.size(); ++i)
        sound.samples[i] = int16_t(decoded[i] * 256);
    std::string error;
    if (!wav_write(paths[1], sound, &error))
        return tool_fail("decode-samples: %s", error.c_str());
    std::printf("%s: %u granules, %lld samples\n", paths[1].c_str(), uint32_t(stream[0] | stream[1] << 8 | stream[2] << 16 | uint32_t(stream[3]) << 24),
                (long long)size);
    return 0;
}

}  // namespace

const tool_command encode_samples_command{"encode-samples", "IN.wav [IN2.wav ...] OUT.sbc [--max-bytes N]",
                     "codes mono or stereo WAV sound into a subband sample stream, back to back", encode_samples};
const tool_command decode_samples_command{"decode-samples", "IN.sbc OUT.wav [--rate N]",
                     "decodes a subband sample stream into an 8-bit mono WAV file (8,363 Hz unless --rate)",
                     decode_samples};
