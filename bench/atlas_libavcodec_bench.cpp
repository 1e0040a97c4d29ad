// The atlas stream decoded by libavcodec, beside our decoder's benchmark in atlas_bench.cpp: the same bytes, one picture per iteration, one thread.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstring>
#include <vector>

#include "data/blocks.h"

namespace {

// libavcodec's MPEG-1 decoder on the stored atlas stream.  Each iteration
// sends the whole stream, drains the decoder to get the picture (planar
// 4:2:0, no colour conversion, no edge smoothing: less work than ours) and
// flushes it for the next round.
void BM_libavcodec_decode_atlas_picture(benchmark::State& state)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG1VIDEO);
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!context) {
        state.SkipWithError("libavcodec has no MPEG-1 decoder");
        return;
    }
    context->thread_count = 1;
    if (avcodec_open2(context, codec, nullptr) < 0) {
        state.SkipWithError("libavcodec could not open its MPEG-1 decoder");
        avcodec_free_context(&context);
        return;
    }
    // The packet's data must be followed by AV_INPUT_BUFFER_PADDING_SIZE zero bytes.
    std::vector<uint8_t> stream(embedded_atlas_m1v_size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(stream.data(), embedded_atlas_m1v, embedded_atlas_m1v_size);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int64_t pictures = 0;
    for (auto _ : state) {
        packet->data = stream.data();
        packet->size = int(embedded_atlas_m1v_size);
        avcodec_send_packet(context, packet);
        avcodec_send_packet(context, nullptr);  // end of stream: the picture comes out
        while (avcodec_receive_frame(context, frame) == 0) {
            benchmark::DoNotOptimize(frame->data[0]);
            ++pictures;
            av_frame_unref(frame);
        }
        avcodec_flush_buffers(context);
    }
    if (pictures != int64_t(state.iterations()))
        state.SkipWithError("libavcodec did not give one picture per round");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(embedded_atlas_m1v_size));
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
}
BENCHMARK(BM_libavcodec_decode_atlas_picture)->Unit(benchmark::kMicrosecond);

}  // namespace
