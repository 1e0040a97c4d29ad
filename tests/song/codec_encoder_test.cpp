// The sample codec's encoder: round trips through the decoder, byte budgets, back-to-back inputs, and the tool commands.
#include "base/memory.h"
#include "media/media_files.h"
#include "music/codec.h"
#include "tests/support/helpers.h"
#include "tools/song/codec_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr double rate = 8363;

// A sine of amplitude 100 gliding from 50 Hz to 4 kHz: every subband in turn.
std::vector<float> sine_sweep(int length)
{
    std::vector<float> x(static_cast<size_t>(length));
    double phase = 0;
    for (int n = 0; n < length; ++n) {
        phase += 2 * std::numbers::pi * 50 * std::pow(80.0, double(n) / length) / rate;
        x[size_t(n)] = float(100 * std::sin(phase));
    }
    return x;
}

// White noise bursts of 2,000 samples with silence between: all subbands at once, switched hard.
std::vector<float> noise_bursts(int length)
{
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0, 40);
    std::vector<float> x(static_cast<size_t>(length));
    for (int n = 0; n < length; ++n)
        x[size_t(n)] = (n / 2000) % 2 ? 0.0f : float(std::clamp(noise(rng), -128.0, 127.0));
    return x;
}

// A kick drum: a falling pitch under a fast decay, with a click of noise at the start.
std::vector<float> drum_hit(int length)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> click(-1, 1);
    std::vector<float> x(static_cast<size_t>(length));
    for (int n = 0; n < length; ++n) {
        double t = n / rate;
        double phase = 2 * std::numbers::pi * (60 * t + 140 * (1 - std::exp(-30 * t)) / 30);
        x[size_t(n)] = float(110 * std::exp(-12 * t) * std::sin(phase) + 30 * std::exp(-60 * t) * click(rng));
    }
    return x;
}

struct round_trip {
    codec_encoding coded;
    std::vector<int8_t> decoded;
};

round_trip encode_and_decode(const std::vector<codec_input>& inputs, uint32_t max_bytes)
{
    round_trip r;
    const char* error = nullptr;
    EXPECT_TRUE(codec_encode(inputs.data(), int(inputs.size()), max_bytes, &r.coded, &error)) << error;
    // The stream must stand up to the checker of outside streams and say its own size.
    int64_t size = codec_check_stream(r.coded.stream, r.coded.size, &error);
    EXPECT_EQ(size, int64_t(r.coded.samples)) << (size < 0 ? error : "");
    r.decoded.resize(r.coded.samples);
    static codec_state state;
    decode_sample_stream(&state, r.coded.stream, r.decoded.data());
    mem_free(r.coded.stream);
    r.coded.stream = nullptr;
    return r;
}

}  // namespace

// A broken analysis bank (wrong delay, wrong phase, wrong scale, time
// reversed) gives back something unrelated to the input: 0 dB or less.  The
// thresholds sit a few dB under what the format reaches for each signal.
TEST(CodecEncoder, RoundTripsTestSignalsAtTheirStatedQuality)
{
    struct signal_case {
        const char* name;
        std::vector<float> samples;
        double min_snr_db;
    } cases[] = {
        {"sine sweep", sine_sweep(8000), 18.0},
        {"noise bursts", noise_bursts(8000), 12.0},
        {"drum hit", drum_hit(7001), 15.0},
    };
    for (const signal_case& c : cases) {
        codec_input input{c.samples.data(), uint32_t(c.samples.size())};
        round_trip r = encode_and_decode({input}, 0);
        uint32_t whole = (input.length + 31) / 32 * 32;
        EXPECT_EQ(r.decoded.size(), whole) << c.name;
        EXPECT_EQ(r.coded.granules, whole / 32 + 15) << c.name;
        double snr = codec_snr_db(c.samples.data(), r.decoded.data(), input.length);
        EXPECT_GE(snr, c.min_snr_db) << c.name;
        EXPECT_NEAR(snr, r.coded.snr_db, 0.5) << c.name << ": the reported figure is the decoded one";
        // The padding after the end stays quiet.
        for (uint32_t i = input.length; i < whole; ++i)
            EXPECT_LE(std::abs(r.decoded[i]), 8) << c.name << " sample " << i;
    }
}

TEST(CodecEncoder, ByteLimitIsHardAndMoreBytesNeverHurt)
{
    std::vector<float> x = drum_hit(4000);
    std::vector<float> y = noise_bursts(4000);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = 0.5f * (x[i] + y[i]);
    codec_input input{x.data(), uint32_t(x.size())};
    // The finest coding the format gives this input, then budgets below it.
    round_trip finest = encode_and_decode({input}, UINT32_MAX);
    double last_snr = -1e9;
    for (uint32_t limit : {150u, 300u, 450u, 600u, 750u, 900u}) {
        ASSERT_LT(limit, finest.coded.size);
        round_trip r = encode_and_decode({input}, limit);
        EXPECT_LE(r.coded.size, limit);
        EXPECT_GE(r.coded.size + 8, limit) << "most of the budget should be spent";
        EXPECT_GE(r.coded.snr_db, last_snr - 0.3) << limit << " bytes";
        last_snr = r.coded.snr_db;
    }
    EXPECT_GT(last_snr, 10.0);
    EXPECT_GE(finest.coded.snr_db, last_snr - 0.3);
    // The default stops where more bytes stop helping: smaller than the
    // finest coding, and within a quarter dB of it.
    round_trip chosen = encode_and_decode({input}, 0);
    EXPECT_LT(chosen.coded.size, finest.coded.size);
    EXPECT_GE(chosen.coded.snr_db, finest.coded.snr_db - 0.25);
    // Below the masks of every block nothing fits.
    codec_encoding coded;
    const char* error = nullptr;
    EXPECT_EQ(codec_smallest_size(4000), 4 + 9 * 12u);  // 125 + 15 granules in 9 blocks
    EXPECT_FALSE(codec_encode(&input, 1, uint32_t(codec_smallest_size(4000) - 1), &coded, &error));
    EXPECT_NE(error, nullptr);
    EXPECT_EQ(coded.stream, nullptr);
}

TEST(CodecEncoder, InputsGoBackToBackOnGranules)
{
    std::vector<float> a = drum_hit(1000), b = sine_sweep(3000), c = drum_hit(64);
    std::vector<codec_input> inputs = {{a.data(), 1000}, {b.data(), 3000}, {c.data(), 64}};
    uint32_t starts[3];
    EXPECT_EQ(codec_layout(inputs.data(), 3, starts), 1024 + 480 + 3008 + 480 + 64u);
    EXPECT_EQ(starts[0], 0u);
    EXPECT_EQ(starts[1], 1024 + 480u);
    EXPECT_EQ(starts[2], 1024 + 480 + 3008 + 480u);
    round_trip r = encode_and_decode(inputs, 0);
    ASSERT_EQ(r.decoded.size(), 1024 + 480 + 3008 + 480 + 64u);
    EXPECT_GT(codec_snr_db(a.data(), r.decoded.data() + starts[0], 1000), 12.0);
    EXPECT_GT(codec_snr_db(b.data(), r.decoded.data() + starts[1], 3000), 12.0);
    EXPECT_GT(codec_snr_db(c.data(), r.decoded.data() + starts[2], 64), 12.0);

    // Silence codes to the smallest stream and decodes to silence.
    std::vector<float> quiet(5000, 0.0f);
    codec_input q{quiet.data(), 5000};
    round_trip s = encode_and_decode({q}, 0);
    EXPECT_EQ(s.coded.size, codec_smallest_size(5000));
    for (int8_t v : s.decoded)
        ASSERT_EQ(v, 0);
}

TEST(CodecTools, EncodeAndDecodeWavFiles)
{
    std::string dir = scratch_dir("codec_tools");
    wav_sound sound;
    sound.rate = 22050;
    sound.channels = 2;
    sound.bits = 16;
    std::vector<float> x = sine_sweep(5000);
    for (float v : x) {  // the same sweep on both channels: the mix-down keeps it
        sound.samples.push_back(int16_t(std::lround(v * 256)));
        sound.samples.push_back(int16_t(std::lround(v * 256)));
    }
    std::string error;
    ASSERT_TRUE(wav_write(dir + "/sweep.wav", sound, &error)) << error;

    command_result enc = run_command(tool() + " encode-samples " + dir + "/sweep.wav " + dir + "/sweep.sbc");
    ASSERT_EQ(enc.status, 0) << enc.errors;
    EXPECT_NE(enc.output.find("172 granules"), std::string::npos) << enc.output;  // 157 + 15
    EXPECT_NE(enc.output.find("bits per sample"), std::string::npos) << enc.output;
    EXPECT_NE(enc.output.find("SNR"), std::string::npos) << enc.output;

    command_result dec = run_command(tool() + " decode-samples " + dir + "/sweep.sbc " + dir + "/back.wav");
    ASSERT_EQ(dec.status, 0) << dec.errors;
    wav_sound back;
    ASSERT_TRUE(wav_read(dir + "/back.wav", &back, &error)) << error;
    EXPECT_EQ(back.rate, 8363);
    EXPECT_EQ(back.channels, 1);
    EXPECT_EQ(back.bits, 8);
    ASSERT_EQ(back.samples.size(), 5024u);
    std::vector<int8_t> bytes;
    for (int16_t v : back.samples)
        bytes.push_back(int8_t(v >> 8));
    EXPECT_GT(codec_snr_db(x.data(), bytes.data(), 5000), 15.0);

    // Several inputs: each one's start is printed.
    command_result two = run_command(tool() + " encode-samples " + dir + "/sweep.wav " + dir + "/sweep.wav " + dir +
                                     "/two.sbc --max-bytes 3000");
    ASSERT_EQ(two.status, 0) << two.errors;
    EXPECT_NE(two.output.find("starts at sample 5504"), std::string::npos) << two.output;
    EXPECT_LE(read_file_bytes(dir + "/two.sbc").size(), 3000u);
    dec = run_command(tool() + " decode-samples " + dir + "/two.sbc " + dir + "/two.wav --rate 22050");
    ASSERT_EQ(dec.status, 0) << dec.errors;
    ASSERT_TRUE(wav_read(dir + "/two.wav", &back, &error)) << error;
    EXPECT_EQ(back.rate, 22050);
}

TEST(CodecTools, BadInputGetsOneLineAndNoOutputFile)
{
    std::string dir = scratch_dir("codec_tools_bad");
    write_file_bytes(dir + "/text.wav", {'h', 'e', 'l', 'l', 'o'});
    std::vector<uint8_t> wav = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                                2, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0};
    write_file_bytes(dir + "/adpcm.wav", wav);
    wav[20] = 1;
    std::vector<uint8_t> truncated = wav;
    for (uint8_t b : std::vector<uint8_t>{'d', 'a', 't', 'a', 100, 0, 0, 0, 1, 2, 3})
        truncated.push_back(b);
    write_file_bytes(dir + "/truncated.wav", truncated);
    std::vector<uint8_t> empty = wav;
    for (uint8_t b : std::vector<uint8_t>{'d', 'a', 't', 'a', 0, 0, 0, 0})
        empty.push_back(b);
    write_file_bytes(dir + "/empty.wav", empty);

    // A good stream, then cut short, and one of 14 granules.
    std::vector<float> x = drum_hit(2000);
    codec_input input{x.data(), 2000};
    codec_encoding coded;
    const char* problem = nullptr;
    ASSERT_TRUE(codec_encode(&input, 1, 0, &coded, &problem));
    std::vector<uint8_t> stream(coded.stream, coded.stream + coded.size);
    mem_free(coded.stream);
    write_file_bytes(dir + "/cut.sbc", std::vector<uint8_t>(stream.begin(), stream.end() - 1));
    write_file_bytes(dir + "/tiny.sbc", {14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    write_file_bytes(dir + "/short.sbc", {0x40, 0});
    write_file_bytes(dir + "/good.sbc", stream);
    wav_sound drum;
    drum.channels = 1;
    drum.bits = 8;
    for (float v : x)
        drum.samples.push_back(int16_t(std::lround(v) * 256));
    std::string error;
    ASSERT_TRUE(wav_write(dir + "/drum.wav", drum, &error));

    struct bad_case {
        std::string arguments;
        int status;
        const char* says;
    } cases[] = {
        {"encode-samples " + dir + "/text.wav " + dir + "/out.sbc", 1, "not a RIFF/WAVE file"},
        {"encode-samples " + dir + "/adpcm.wav " + dir + "/out.sbc", 1, "compressed"},
        {"encode-samples " + dir + "/truncated.wav " + dir + "/out.sbc", 1, "truncated"},
        {"encode-samples " + dir + "/empty.wav " + dir + "/out.sbc", 1, "no samples"},
        {"encode-samples " + dir + "/missing.wav " + dir + "/out.sbc", 1, "cannot open"},
        {"encode-samples " + dir + "/drum.wav " + dir + "/out.sbc --max-bytes 10", 1, "smallest stream"},
        {"encode-samples " + dir + "/drum.wav " + dir + "/out.sbc --max-bytes x", 2, "--max-bytes"},
        {"encode-samples " + dir + "/drum.wav " + dir + "/out.sbc --quality 3", 2, "unknown option"},
        {"encode-samples " + dir + "/out.sbc", 2, "give one or more"},
        {"decode-samples " + dir + "/cut.sbc " + dir + "/out.wav", 1, "ends before"},
        {"decode-samples " + dir + "/tiny.sbc " + dir + "/out.wav", 1, "fewer than 15 granules"},
        {"decode-samples " + dir + "/short.sbc " + dir + "/out.wav", 1, "shorter than"},
        {"decode-samples " + dir + "/missing.sbc " + dir + "/out.wav", 1, "cannot open"},
        {"decode-samples " + dir + "/good.sbc " + dir + "/out.wav --rate 0", 2, "--rate"},
        {"decode-samples " + dir + "/good.sbc", 2, "give the stream file"},
    };
    for (const bad_case& c : cases) {
        command_result r = run_command(binary_path("oddball-tool") + " " + c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.errors;
        EXPECT_NE(r.errors.find(c.says), std::string::npos) << c.arguments << "\n" << r.errors;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
        EXPECT_FALSE(std::filesystem::exists(dir + "/out.sbc")) << c.arguments;
        EXPECT_FALSE(std::filesystem::exists(dir + "/out.wav")) << c.arguments;
    }
    // The good ones work.
    EXPECT_EQ(run_command(tool() + " decode-samples " + dir + "/good.sbc " + dir + "/out.wav").status, 0);
    EXPECT_EQ(run_command(tool() + " encode-samples " + dir + "/drum.wav " + dir + "/out.sbc").status, 0);
}
