// build-data step: the song, from content/song/ to data/song.mxm and its coded samples data/song.sbc (portable).
#include <cstdio>
#include <cstdlib>

#include "base/memory.h"
#include "tools/data/data_builder.h"
#include "tools/song/codec_encoder.h"
#include "tools/song/song.h"

namespace {

// The coded stream is held to this many bytes: the rate that keeps the
// packed programs within 64 KB (the samples lose little at it: 18 dB).
constexpr uint32_t song_stream_target = 4400;

bool build_song(const std::string& content_dir, std::vector<data_block_out>& out)
{
    song_source song;
    std::string error;
    if (!song_parse(content_dir + "/song", &song, &error)) {
        std::fprintf(stderr, "oddball-tool: %s\n", error.c_str());
        return false;
    }
    // An instrument of kind "same" plays the sample of instrument `of` with
    // its own volume, panning, pitch and envelopes, and costs no sample bytes.
    std::vector<song_sample> samples;
    std::vector<int> sample_of(song.instruments.size(), -1);
    for (size_t i = 0; i < song.instruments.size(); ++i) {
        const song_instrument& in = song.instruments[i];
        auto kind = in.synth.find("kind");
        if (kind != in.synth.end() && kind->second == "same")
            continue;
        samples.emplace_back();
        if (!song_synthesise(in, &samples.back(), &error)) {
            std::fprintf(stderr, "oddball-tool: %s\n", error.c_str());
            return false;
        }
        sample_of[i] = int(samples.size() - 1);
    }
    for (size_t i = 0; i < song.instruments.size(); ++i) {
        song_instrument& in = song.instruments[i];
        if (sample_of[i] < 0) {
            auto of = in.synth.find("of");
            long n = of == in.synth.end() ? 0 : std::strtol(of->second.c_str(), nullptr, 10);
            if (n < 1 || size_t(n) > song.instruments.size() || sample_of[size_t(n - 1)] < 0) {
                std::fprintf(stderr, "oddball-tool: %s:%d: instrument %s: 'of' must name an instrument with a sample of its own\n",
                             in.file.c_str(), in.line, in.name.c_str());
                return false;
            }
            sample_of[i] = sample_of[size_t(n - 1)];
        }
        in.mapped = true;  // one header for every note, naming the sample
        in.sample_headers = {{sample_of[i], in.volume, in.panning, in.relative_pitch}};
    }
    std::vector<std::vector<float>> pcm(samples.size());
    std::vector<codec_input> inputs;
    for (size_t i = 0; i < samples.size(); ++i) {
        pcm[i] = song_codec_input(samples[i]);
        inputs.push_back({pcm[i].data(), uint32_t(pcm[i].size())});
    }
    std::vector<uint32_t> starts(inputs.size());
    codec_layout(inputs.data(), int(inputs.size()), starts.data());
    codec_encoding coded;
    const char* why = nullptr;
    if (!codec_encode(inputs.data(), int(inputs.size()), song_stream_target, &coded, &why)) {
        std::fprintf(stderr, "oddball-tool: the song's samples do not code into %u bytes: %s\n", song_stream_target, why);
        return false;
    }
    std::fprintf(stderr, "build-data: song samples: %u decoded bytes in %u coded bytes (%.2f bits per sample, %.1f dB)\n",
                 coded.samples, coded.size, coded.bits_per_sample, coded.snr_db);
    out.push_back({"song.mxm", song_write_module(song, samples, starts)});
    out.push_back({"song.sbc", std::vector<uint8_t>(coded.stream, coded.stream + coded.size)});
    mem_free(coded.stream);
    return true;
}

}  // namespace

const data_builder song_builder{"song", build_song};
