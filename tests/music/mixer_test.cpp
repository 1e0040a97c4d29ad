// The mixer: worked gains, clipping, loop boundaries, start positions, frame splitting, and the fast mixer against the plain one.
#include "tests/music/song_harness.h"

#include <random>

namespace {

// A bare player whose voices the tests set by hand (no song plays).
struct voice_bench {
    std::unique_ptr<player_state> state = std::make_unique<player_state>();
    channel_record& voice(int v) { return state->channels[v]; }
};

// PCM followed by the bytes the mixer may read past a sample's end.
std::vector<uint8_t> padded(std::vector<uint8_t> pcm)
{
    pcm.resize(pcm.size() + music_read_margin, 0);
    return pcm;
}

void set_voice(channel_record& ch, const std::vector<uint8_t>& pcm, uint8_t flags, uint32_t loop_start, uint32_t end,
               uint16_t step, uint16_t volume = 128, uint8_t panning = 128)
{
    ch.active = 1;
    ch.sample = pcm.data();
    ch.sample_flags = flags;
    ch.loop_start = loop_start;
    ch.end = end;
    ch.step = step;
    ch.voice_volume = volume;
    ch.voice_panning = panning;
    ch.start_position = 0;
}

int64_t frames(double f) { return int64_t(f * 4294967296.0); }

}  // namespace

TEST(Mixer, WorkedGainsOfAn8BitAndA16BitVoice)
{
    voice_bench bench;
    std::vector<uint8_t> pcm = padded(constant8(127, 64));
    set_voice(bench.voice(0), pcm, 0, 0, 64, 1024);
    std::vector<int32_t> out(8);
    EXPECT_EQ(mix_voices(*bench.state, 4, out.data()), out.data() + 8);
    // (127 x 128 x 127 x 256) >> 16 left, (127 x 128 x 128 x 256) >> 16 right.
    EXPECT_EQ(out, (std::vector<int32_t>{8064, 8128, 8064, 8128, 8064, 8128, 8064, 8128}));

    std::vector<uint8_t> pcm16_data = padded(pcm16(std::vector<int>(64, -32768)));
    set_voice(bench.voice(0), pcm16_data, sample_16bit, 0, 64, 1024, 128, 0);
    mix_voices(*bench.state, 1, out.data());
    EXPECT_EQ(out[0], (-32768 * 128 * 255) >> 16);
    EXPECT_EQ(out[1], 0);
}

TEST(Mixer, InterpolatesBetweenNeighbours)
{
    voice_bench bench;
    std::vector<uint8_t> pcm = padded(pcm8({0, 100, -100, 0}));
    set_voice(bench.voice(0), pcm, 0, 0, 4, 256, 64, 0);  // a quarter frame a frame
    std::vector<int32_t> out(16);
    mix_voices(*bench.state, 8, out.data());
    // v = s0 + ((s1 - s0) f) >> 16, left gain 64 x 255 x 256.
    std::vector<int32_t> left;
    for (int i = 0; i < 8; ++i)
        left.push_back(out[2 * i]);
    auto mixed = [](int v) { return int32_t((int64_t(v) * 64 * 255 * 256) >> 16); };
    EXPECT_EQ(left, (std::vector<int32_t>{mixed(0), mixed(25), mixed(50), mixed(75), mixed(100), mixed(50), mixed(0),
                                          mixed(-50)}));
}

TEST(Mixer, ConversionClipsAt32500)
{
    std::vector<int32_t> in{0, 1, -1, 32500, 32501, -32500, -32501, 2000000000, -2000000000, 12345};
    std::vector<int16_t> out(10, 7);
    convert_to_pcm16(in.data(), out.data(), 18);  // 9 values
    EXPECT_EQ(out, (std::vector<int16_t>{0, 1, -1, 32500, 32500, -32500, -32500, 32500, -32500, 7}));
    convert_to_pcm16(in.data(), out.data(), 1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[9], 7);
}

TEST(Mixer, AVoiceWithoutLoopStopsAtItsEnd)
{
    voice_bench bench;
    std::vector<uint8_t> pcm = padded(constant8(64, 10));
    set_voice(bench.voice(0), pcm, 0, 0, 10, 1024 * 3);  // 3 frames a frame: frames 0, 3, 6, 9
    std::vector<int32_t> out(20);
    mix_voices(*bench.state, 10, out.data());
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(out[2 * i] != 0, i < 4) << i;
    EXPECT_EQ(bench.voice(0).active, 0);
    mix_voices(*bench.state, 10, out.data());
    EXPECT_EQ(out, std::vector<int32_t>(20, 0));
}

TEST(Mixer, ForwardLoopGoesBackByItsLength)
{
    voice_bench bench;
    std::vector<uint8_t> pcm = padded(constant8(1, 400));
    channel_record& ch = bench.voice(0);
    set_voice(ch, pcm, sample_forward_loop, 100, 300, 1024);
    ch.start_position = no_start_position;
    ch.position = frames(299.5);
    std::vector<int32_t> out(4);
    mix_voices(*bench.state, 1, out.data());  // the frame at 299.5, then 300.5 maps to 100.5
    EXPECT_EQ(ch.position, frames(100.5));
    EXPECT_EQ(ch.active, 1);
    // A half-frame step lands on the end itself, which is across it.
    ch.step = 512;
    ch.position = frames(299.5);
    mix_voices(*bench.state, 2, out.data());  // 299.5, then 300.0 -> 100.0
    EXPECT_EQ(ch.position, frames(100.5));
}

TEST(Mixer, PingPongLoopReflectsAndTurnsRound)
{
    voice_bench bench;
    std::vector<uint8_t> pcm = padded(constant8(1, 400));
    channel_record& ch = bench.voice(0);
    set_voice(ch, pcm, sample_pingpong_loop, 100, 300, 1024);
    ch.start_position = no_start_position;
    ch.position = frames(298.25);
    std::vector<int32_t> out(4);
    mix_voices(*bench.state, 2, out.data());  // 298.25, 299.25 -> 300.25, reflected to 299.75
    EXPECT_EQ(ch.position, frames(299.75));
    EXPECT_TRUE(ch.sample_flags & sample_backwards);
    EXPECT_EQ(ch.end, 100u);  // the boundary while playing backwards
    EXPECT_EQ(ch.loop_start, 300u);
    // Backwards down through the loop start and forward again.
    std::vector<int32_t> more(400);
    mix_voices(*bench.state, 200, more.data());
    EXPECT_EQ(ch.position, frames(100.25));
    EXPECT_FALSE(ch.sample_flags & sample_backwards);
    EXPECT_EQ(ch.end, 300u);
}

TEST(Mixer, StartPositionsApplyAtTheNextCall)
{
    voice_bench bench;
    std::vector<uint8_t> ramp(1000);
    for (int i = 0; i < 1000; ++i)
        ramp[i] = uint8_t(i / 8);
    ramp = padded(ramp);
    channel_record& ch = bench.voice(0);
    set_voice(ch, ramp, 0, 0, 1000, 1024);
    ch.start_position = 800;
    std::vector<int32_t> out(8);
    mix_voices(*bench.state, 2, out.data());
    EXPECT_EQ(ch.position, frames(802));
    EXPECT_EQ(ch.start_position, no_start_position);
    ch.start_position = 0;  // as a note, E9 or R sets it between calls
    EXPECT_EQ(ch.position, frames(802));
    mix_voices(*bench.state, 1, out.data());
    EXPECT_EQ(ch.position, frames(1));
}

TEST(Mixer, RenderingDoesNotDependOnHowFramesAreSplit)
{
    mb::module m;
    m.channels = 3;
    m.speed = 3;
    m.tempo = 111;  // ticks of 254,270/256 frames
    m.patterns.emplace_back(16);
    std::vector<int> wave;
    for (int i = 0; i < 500; ++i)
        wave.push_back((i * 37) % 200 - 100);
    mb::sample_header looped;
    looped.end = 500;
    looped.loop_start = 100;
    looped.flags = sample_pingpong_loop;
    m.add_sample_instrument(pcm8(wave), looped);
    std::vector<int> wave16;
    for (int i = 0; i < 300; ++i)
        wave16.push_back((i * 997) % 60000 - 30000);
    mb::sample_header sixteen;
    sixteen.end = 300;
    sixteen.loop_start = 10;
    sixteen.flags = sample_16bit | sample_forward_loop;
    m.add_sample_instrument(pcm16(wave16), sixteen);
    m.patterns[0].at(0, mb::note(0, 60, 1)).at(0, mb::note(1, 30, 2)).at(3, mb::note(2, 70, 2));
    m.patterns[0].at(2, mb::effect(0, 27, 0x13)).at(5, mb::cell{1, 50, 1, 0x24, 9, 1});
    m.patterns[0].at(7, mb::effect(2, 4, 0x48)).at(9, mb::effect(0, 0, 0x47));

    const uint32_t total = 30000;
    std::vector<int32_t> whole(2 * total);
    {
        loaded_song song(m);
        mixer_render(*song.state, total, whole.data());
    }
    std::mt19937 random(5);
    for (int trial = 0; trial < 3; ++trial) {
        loaded_song song(m);
        std::vector<int32_t> pieces(2 * total);
        uint32_t done = 0;
        while (done < total) {
            uint32_t n = std::min<uint32_t>(total - done, 1 + random() % (trial == 0 ? 3 : 2000));
            mixer_render(*song.state, n, pieces.data() + 2 * done);
            done += n;
        }
        ASSERT_EQ(pieces, whole) << "trial " << trial;
    }
    // And something was heard.
    EXPECT_NE(whole, std::vector<int32_t>(2 * total, 0));
}

TEST(Mixer, MeasuredRunsMatchThePlainFrameByFrameMixer)
{
    // Random voices of every kind, steps and start positions: the mixer that
    // measures its runs must give the plain mixer's frames and voice states.
    std::mt19937 random(11);
    std::vector<uint8_t> pcm(4096);
    for (uint8_t& b : pcm)
        b = uint8_t(random());
    pcm = padded(pcm);
    voice_bench fast, plain;
    for (int trial = 0; trial < 300; ++trial) {
        for (int v = 0; v < 32; ++v) {
            channel_record ch{};
            uint8_t kinds[] = {0, sample_forward_loop, sample_pingpong_loop, sample_forward_loop | sample_pingpong_loop};
            uint8_t flags = uint8_t(kinds[random() % 4] | ((random() & 1) ? sample_16bit : 0));
            uint32_t end = 2 + random() % 1500;
            uint32_t loop_start = random() % end;
            uint16_t step = uint16_t(random() % 4 == 0 ? random() % 8 * 2 : random() % 65536 & ~1u);
            set_voice(ch, pcm, flags, loop_start, end, step, uint16_t(random() % 256), uint8_t(random()));
            ch.active = uint8_t(random() % 5 != 0);
            ch.start_position = random() % 3 == 0 ? no_start_position : random() % 3 == 0 ? random() % 70000 : random() % end;
            ch.position = int64_t(random() % end) << 32 | int64_t(random() % 1024) << 22;
            fast.voice(v) = ch;
            plain.voice(v) = ch;
        }
        for (int call = 0; call < 4; ++call) {
            uint32_t n = 1 + random() % 1200;
            std::vector<int32_t> a(2 * n), b(2 * n);
            mix_voices(*fast.state, n, a.data());
            mix_voices_reference(*plain.state, n, b.data());
            ASSERT_EQ(a, b) << "trial " << trial << " call " << call;
            for (int v = 0; v < 32; ++v) {
                const channel_record& x = fast.voice(v);
                const channel_record& y = plain.voice(v);
                ASSERT_EQ(x.active, y.active) << trial << " voice " << v;
                ASSERT_EQ(x.position, y.position) << trial << " voice " << v;
                ASSERT_EQ(x.sample_flags, y.sample_flags);
                ASSERT_EQ(x.end, y.end);
                ASSERT_EQ(x.loop_start, y.loop_start);
            }
        }
    }
}

TEST(Mixer, ReadsNoFurtherThanTheMarginPastASamplesEnd)
{
    // Samples that end exactly music_read_margin bytes before the end of
    // their block, played up to and around their end by every kernel (steps
    // small and large, forward, backward, looped): the sanitizer build would
    // catch a read past the block; both mixers must agree.
    std::mt19937 random(23);
    const uint16_t steps[] = {2, 194, 1024, 2046, 2048, 2050, 4096, 4098, 9000, 65534};
    for (uint8_t kind : {uint8_t(0), sample_forward_loop, sample_pingpong_loop})
        for (uint8_t width : {uint8_t(0), sample_16bit})
            for (uint16_t step : steps) {
                uint32_t end = 40 + random() % 200;
                size_t bytes = size_t(end) * (width ? 2 : 1);
                std::unique_ptr<uint8_t[]> block(new uint8_t[bytes + music_read_margin]);
                for (size_t i = 0; i < bytes + music_read_margin; ++i)
                    block[i] = uint8_t(random());
                std::vector<int32_t> a(2 * 300), b(2 * 300);
                voice_bench fast, plain;
                for (voice_bench* bench : {&fast, &plain}) {
                    channel_record& ch = bench->voice(0);
                    ch = channel_record{};
                    ch.active = 1;
                    ch.sample = block.get();
                    ch.sample_flags = uint8_t(kind | width);
                    ch.loop_start = end / 2;
                    ch.end = end;
                    ch.step = step;
                    ch.voice_volume = 128;
                    ch.voice_panning = 40;
                    ch.start_position = end - 30;
                }
                for (int call = 0; call < 5; ++call) {
                    mix_voices(*fast.state, 300, a.data());
                    mix_voices_reference(*plain.state, 300, b.data());
                    ASSERT_EQ(a, b) << int(kind) << " " << int(width) << " " << step;
                }
            }
}
