// build-data step: the song, from content/song/ to data/song.mxm and its coded samples data/song.sbc (portable).
#include <cstdio>

#include "base/memory.h"
#include "tools/data/data_builder.h"
#include "tools/song/codec_encoder.h"
#include "tools/song/song.h"

namespace {

// The coded stream must stay within this many bytes.
constexpr uint32_t song_stream_budget = 12 * 1024;

bool build_song(const std::string& content_dir, std::vector<data_block_out>& out)
{
    song_source song;
    std::string error;
    if (!song_parse(content_dir + "/song", &song, &error)) {
        std::fprintf(stderr, "oddball-tool: %s\n", error.c_str());
        return false;
    }
    std::vector<song_sample> samples(song.instruments.size());
    std::vector<std::vector<float>> pcm(song.instruments.size());
    std::vector<codec_input> inputs;
    for (size_t i = 0; i < song.instruments.size(); ++i) {
        if (!song_synthesise(song.instruments[i], &samples[i], &error)) {
            std::fprintf(stderr, "oddball-tool: %s\n", error.c_str());
            return false;
        }
        pcm[i].assign(samples[i].pcm.begin(), samples[i].pcm.end());
        inputs.push_back({pcm[i].data(), uint32_t(pcm[i].size())});
    }
    std::vector<uint32_t> starts(inputs.size());
    codec_layout(inputs.data(), int(inputs.size()), starts.data());
    codec_encoding coded;
    const char* why = nullptr;
    if (!codec_encode(inputs.data(), int(inputs.size()), song_stream_budget, &coded, &why)) {
        std::fprintf(stderr, "oddball-tool: the song's samples do not code into %u bytes: %s\n", song_stream_budget, why);
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
