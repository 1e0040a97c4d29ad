// Module loading and checking: player_init, delta samples, pattern entries, the checker, and oddball-tool render-song.
#include "media/media_files.h"
#include "tests/music/song_harness.h"
#include "tests/support/helpers.h"
#include "tools/song/codec_encoder.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

namespace {

uint32_t get32(const std::vector<uint8_t>& m, size_t at)
{
    return uint32_t(m[at]) | uint32_t(m[at + 1]) << 8 | uint32_t(m[at + 2]) << 16 | uint32_t(m[at + 3]) << 24;
}
void set32(std::vector<uint8_t>& m, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m[at + i] = uint8_t(v >> (8 * i));
}

// A small song with two instruments (8-bit with an envelope, 16-bit looped),
// two patterns and sync commands: speed 2, tempo 125 (882 frames a tick).
mb::module small_song()
{
    mb::module m;
    m.channels = 3;
    m.speed = 2;
    m.orders = {0, 1};
    m.patterns.emplace_back(4);
    m.patterns.emplace_back(4);
    mb::sample_header a;
    a.end = 2000;
    m.add_sample_instrument(pcm8(std::vector<int>(2000, 40)), a);
    m.instruments[0].volume = {2, 1, 0, 255, {{3, 64}, {3, 40}, {0, 20}}};
    m.instruments[0].fadeout = 500;
    mb::sample_header b;
    b.end = 300;
    b.loop_start = 20;
    b.flags = 0x04 | 0x08;
    std::vector<int> wave;
    for (int i = 0; i < 300; ++i)
        wave.push_back(i * 200 - 30000);
    m.add_sample_instrument(pcm16(wave), b);
    m.patterns[0].at(0, mb::note(0, 49, 1)).at(1, mb::effect(2, 32, 2)).at(2, mb::note(1, 37, 2));
    m.patterns[1].at(0, mb::note(0, 97, 0)).at(2, mb::effect(2, 32, 3)).at(3, mb::note(1, 42, 2));
    return m;
}

bool accepted(const std::vector<uint8_t>& bytes, std::string* why = nullptr)
{
    char error[256];
    bool ok = module_check(bytes.data(), uint32_t(bytes.size()), 0, error, sizeof error);
    if (why)
        *why = error;
    return ok;
}

}  // namespace

TEST(Module, DeltaSamplesAreIntegratedOnce)
{
    mb::module m = small_song();
    m.sample_data.push_back({1, 1, 1, 0x01, 0x00, 0xFF, 0xFF, 0x02, 0x00});
    m.flags |= 4;
    m.delta_bytes = 3;
    m.delta_values = 3;
    std::vector<uint8_t> bytes = m.build();
    uint32_t pool = get32(bytes, 0x750 + 4 * 2);
    set32(bytes, 0x1C, pool);
    uint8_t* image = build_music_image(bytes.data(), uint32_t(bytes.size()), nullptr, nullptr);
    player_state state{};
    ASSERT_TRUE(player_init(state, image));
    auto at = [&](int i) { return int(image[pool + i]); };
    EXPECT_EQ((std::vector<int>{at(0), at(1), at(2)}), (std::vector<int>{1, 2, 3}));
    // 16-bit values 1, -1, 2 summed from 0: 1, 0, 2.
    EXPECT_EQ((std::vector<int>{at(3), at(4), at(5), at(6), at(7), at(8)}), (std::vector<int>{1, 0, 0, 0, 2, 0}));
    EXPECT_EQ(image[0x1A] & 4, 0);
    ASSERT_TRUE(player_init(state, image));
    EXPECT_EQ((std::vector<int>{at(0), at(1), at(2), at(7)}), (std::vector<int>{1, 2, 3, 2}));
    mem_free(image);

    // Without the flag the bytes stay as they are.
    m.flags = 1;
    bytes = m.build();
    image = build_music_image(bytes.data(), uint32_t(bytes.size()), nullptr, nullptr);
    ASSERT_TRUE(player_init(state, image));
    EXPECT_EQ(std::vector<uint8_t>(image, image + bytes.size()), bytes);
    mem_free(image);
}

TEST(Module, EntryHeadsSayHowManyBytesFollow)
{
    // 0xE3: channel 3 with all three groups (five bytes); 0x25: channel 5
    // with note and instrument (two bytes).  The next row must still parse.
    mb::module m = small_song();
    m.channels = 8;
    m.patterns[0].rows[0] = {mb::cell{3, 49, 1, 0x30, 8, 200}, mb::cell{5, 61, 2, -1, -1, 0}};
    m.patterns[0].rows[1] = {mb::effect(7, 32, 9)};
    std::vector<uint8_t> bytes = m.build();
    uint32_t pattern = get32(bytes, 0x350);
    EXPECT_EQ((std::vector<uint8_t>(bytes.begin() + pattern + 4, bytes.begin() + pattern + 14)),
              (std::vector<uint8_t>{0xE3, 49, 1, 0x30, 8, 200, 0x25, 61, 2, 0}));
    loaded_song song(m);
    song.tick();
    EXPECT_EQ(song.channel(3).voice_volume, 64);
    EXPECT_EQ(song.channel(3).voice_panning, 200);
    EXPECT_EQ(song.channel(5).period, -12 * 256);
    song.ticks_to_next_row();
    EXPECT_EQ(player_sync_value(*song.state), 9);
}

TEST(ModuleCheck, RefusesModulesThatBreakTheFormatsLimits)
{
    const std::vector<uint8_t> good = small_song().build();
    std::string why;
    ASSERT_TRUE(accepted(good, &why)) << why;
    uint32_t instrument = get32(good, 0x150);
    uint32_t pattern = get32(good, 0x350);

    struct fault {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> make;
    };
    const fault faults[] = {
        {"magic", [](auto& m) { m[2] = 'Z'; }},
        {"song length 0", [](auto& m) { set32(m, 0x04, 0); }},
        {"song length 257", [](auto& m) { set32(m, 0x04, 257); }},
        {"restart past the end", [](auto& m) { set32(m, 0x08, 2); }},
        {"no channels", [](auto& m) { set32(m, 0x0C, 0); }},
        {"33 channels", [](auto& m) { set32(m, 0x0C, 33); }},
        {"129 instruments", [](auto& m) { set32(m, 0x14, 129); }},
        {"instrument without offset", [](auto& m) { set32(m, 0x14, 3); }},
        {"speed 0", [](auto& m) { m[0x18] = 0; }},
        {"tempo 0", [](auto& m) { m[0x19] = 0; }},
        {"delta samples past the end", [](auto& m) { m[0x1A] |= 4; set32(m, 0x20, 1000000); }},
        {"instrument offset", [&](auto& m) { set32(m, 0x150, uint32_t(m.size()) - 100); }},
        {"sample headers", [&](auto& m) { set32(m, instrument, 5000); }},
        {"13 envelope points", [&](auto& m) { m[instrument + 0x6A] = 12; }},
        {"empty segment", [&](auto& m) { m[instrument + 0x6E + 4] = 0; }},
        {"loop back past the last point", [&](auto& m) { m[instrument + 0x6C] = 3; m[instrument + 0x6D] = 1; }},
        {"envelope value", [&](auto& m) { m[instrument + 0x6E + 2] = 65; }},
        {"auto-vibrato waveform", [&](auto& m) { m[instrument + 0x66] = 4; }},
        {"auto-vibrato depth", [&](auto& m) { m[instrument + 0x68] = 32; }},
        {"sample number", [&](auto& m) { m[instrument + 0x100 + 0xE] = 0x08; }},
        {"sample past the end", [&](auto& m) { set32(m, instrument + 0x100 + 4, 2000000); }},
        {"flag bit 5", [&](auto& m) { m[instrument + 0x100 + 8] |= 0x20; }},
        {"sample volume", [&](auto& m) { m[instrument + 0x100 + 9] = 65; }},
        {"empty loop", [&](auto& m) { m[instrument + 0x100 + 8] |= 0x08; set32(m, instrument + 0x100, 2000); }},
        {"pattern offset", [&](auto& m) { set32(m, 0x354, uint32_t(m.size())); }},
        {"order naming a missing pattern", [](auto& m) { m[0x51] = 7; }},
        {"no rows", [&](auto& m) { set32(m, pattern, 0); }},
        {"rows past the end", [&](auto& m) { set32(m, pattern, 1000000); }},
        {"channel beyond the count", [&](auto& m) { m[pattern + 4] = 0x23; }},
        {"note 98", [&](auto& m) { m[pattern + 5] = 98; }},
    };
    for (const fault& f : faults) {
        std::vector<uint8_t> bad = good;
        f.make(bad);
        EXPECT_FALSE(accepted(bad, &why)) << f.name;
        EXPECT_FALSE(why.empty()) << f.name;
    }
    // Channels out of order within a row.
    mb::module m = small_song();
    m.patterns[0].rows[0] = {mb::note(1, 49), mb::note(0, 49)};
    std::vector<uint8_t> bytes = m.build();
    uint32_t p = get32(bytes, 0x350);
    std::swap(bytes[p + 4], bytes[p + 7]);  // heads 0x21 and 0x20 in that order
    std::swap(bytes[p + 5], bytes[p + 8]);
    std::swap(bytes[p + 6], bytes[p + 9]);
    EXPECT_FALSE(accepted(bytes, &why));
    EXPECT_NE(why.find("channel order"), std::string::npos) << why;

    // Every truncation is refused.
    for (size_t size = 0; size < good.size(); size += (size < 10100 ? 997 : 1)) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(size));
        EXPECT_FALSE(accepted(cut)) << size;
    }
}

// Plays a checked module from a block that ends music_read_margin bytes
// after it, so that the sanitizer build catches any read past what the
// checker allowed.
void play_within_bounds(const std::vector<uint8_t>& bytes, int calls)
{
    // Exactly that long (a vector may hold spare capacity the sanitizer ignores).
    std::unique_ptr<uint8_t[]> image(new uint8_t[bytes.size() + music_read_margin]());
    std::copy(bytes.begin(), bytes.end(), image.get());
    auto state = std::make_unique<player_state>();
    player_init(*state, image.get());
    player_start(*state, 0);
    std::vector<int32_t> out(2 * 4096);
    for (int call = 0; call < calls; ++call)
        mixer_render(*state, 4096, out.data());
}

TEST(ModuleCheck, WhatItAcceptsPlaysWithoutReadingOutsideTheModule)
{
    // Random damage to a valid module: the checker refuses it or the song plays.
    const std::vector<uint8_t> good = small_song().build();
    std::mt19937 random(3);
    int played = 0;
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<uint8_t> bad = good;
        int hits = 1 + int(random() % 4);
        for (int h = 0; h < hits; ++h) {
            size_t at = random() % 2 ? 0x100 * (random() % 2) + random() % 0x60 : 10064 + random() % (bad.size() - 10064);
            bad[at] = uint8_t(random() % 3 ? random() : bad[at] ^ (1u << (random() % 8)));
        }
        if (!accepted(bad))
            continue;
        ++played;
        play_within_bounds(bad, 10);
    }
    EXPECT_GT(played, 50);
}

TEST(ModuleCheck, AnyPatternContentPlaysWithinTheModule)
{
    // Well-formed patterns full of random notes, instruments, volume bytes and
    // effects (jumps, breaks past the end, loops, delays, large sample
    // offsets into every kind of loop): whatever they say, the player stays
    // within the module and its samples.
    std::mt19937 random(17);
    for (int trial = 0; trial < 40; ++trial) {
        mb::module m;
        m.channels = 1 + random() % 8;
        m.speed = uint8_t(1 + random() % 6);
        m.tempo = uint8_t(32 + random() % 200);
        m.flags = uint16_t(random() % 4);
        int patterns = 1 + int(random() % 3);
        m.orders.clear();
        for (int o = 0; o < 1 + int(random() % 5); ++o)
            m.orders.push_back(uint8_t(random() % patterns));
        for (int p = 0; p < patterns; ++p) {
            mb::pattern pat(1 + random() % 20);
            for (auto& row : pat.rows)
                for (uint32_t c = 0; c < m.channels; ++c) {
                    if (random() % 3)
                        continue;
                    mb::cell cell{int(c)};
                    if (random() % 2) {
                        cell.note = int(random() % 98);
                        cell.instrument = int(random() % 4 ? random() % 4 : random() % 256);
                    }
                    if (random() % 2)
                        cell.volume = int(random() % 256);
                    if (random() % 2) {
                        // Half of them from the effects that move the song or the sample.
                        const int moving[] = {9, 11, 13, 13, 15, 27, 42, 42, 45, 49, 50};
                        cell.effect = random() % 2 ? moving[random() % 11] : int(random() % 56);
                        cell.parameter = int(random() % 256);
                        if (cell.effect == 42 || cell.effect == 50)
                            cell.parameter %= 4;
                    }
                    row.push_back(cell);
                }
            m.patterns.push_back(pat);
        }
        for (int k = 0; k < 3; ++k) {
            mb::sample_header h;
            h.end = 2 + random() % 200;
            h.loop_start = random() % h.end;
            h.flags = uint8_t((random() % 2 ? sample_16bit : 0) | (random() % 3 == 0 ? 0 : random() % 2 ? sample_forward_loop : sample_pingpong_loop));
            h.relative_pitch = int16_t(random() % 8192 - 4096);
            std::vector<uint8_t> pcm((h.flags & sample_16bit ? 2 : 1) * h.end);
            for (uint8_t& b : pcm)
                b = uint8_t(random());
            int number = m.add_sample_instrument(pcm, h);
            mb::instrument& in = m.instruments[number - 1];
            in.volume = {3, uint8_t(random() % 4), uint8_t(random() % 4), uint8_t(random() % 5), {{1 + random() % 5, 64}, {1 + random() % 5, 0}, {1 + random() % 5, 30}, {0, 50}}};
            in.vibrato_waveform = uint8_t(random() % 4);
            in.vibrato_depth = uint8_t(random() % 32);
            in.vibrato_rate = uint8_t(random());
            in.vibrato_sweep = uint8_t(random() % 128);
            in.fadeout = uint16_t(random() % 4000);
            for (uint8_t& n : in.note_map)
                n = uint8_t(random() % 2);
        }
        std::vector<uint8_t> bytes = m.build();
        std::string why;
        ASSERT_TRUE(accepted(bytes, &why)) << why;
        play_within_bounds(bytes, 30);
    }
}

TEST(RenderSong, WritesTheSongOnceWithARowTrace)
{
    std::string dir = scratch_dir("render-song-trace");
    std::vector<uint8_t> bytes = small_song().build();
    write_file_bytes(dir + "/song.mxm", bytes);
    command_result r = run_command(tool() + " render-song " + dir + "/song.mxm " + dir + "/song.wav --trace " + dir +
                                   "/trace.txt");
    ASSERT_EQ(r.status, 0) << r.errors;
    std::vector<uint8_t> trace = read_file_bytes(dir + "/trace.txt");
    EXPECT_EQ(std::string(trace.begin(), trace.end()),
              "0 0 0 0\n1764 0 1 2\n3528 0 2 2\n5292 0 3 2\n7056 1 0 2\n8820 1 1 2\n10584 1 2 3\n12348 1 3 3\n");

    // The file holds exactly one pass, as mixer_render and convert_to_pcm16 make it.
    wav_sound sound;
    std::string error;
    ASSERT_TRUE(wav_read(dir + "/song.wav", &sound, &error)) << error;
    EXPECT_EQ(sound.rate, 44100);
    EXPECT_EQ(sound.channels, 2);
    EXPECT_EQ(sound.bits, 16);
    ASSERT_EQ(sound.samples.size(), 2u * 16 * 882);
    loaded_song song(small_song());
    std::vector<int32_t> mixed(2 * 16 * 882);
    mixer_render(*song.state, 16 * 882, mixed.data());
    std::vector<int16_t> expected(mixed.size());
    convert_to_pcm16(mixed.data(), expected.data(), uint32_t(2 * mixed.size()));
    EXPECT_EQ(sound.samples, expected);
    EXPECT_NE(expected, std::vector<int16_t>(expected.size(), 0));

    // --seconds renders past the restart and traces on.
    r = run_command(tool() + " render-song " + dir + "/song.mxm " + dir + "/half.wav --seconds 0.5 --trace " + dir +
                    "/half.txt");
    ASSERT_EQ(r.status, 0) << r.errors;
    ASSERT_TRUE(wav_read(dir + "/half.wav", &sound, &error)) << error;
    EXPECT_EQ(sound.samples.size(), 2u * 22050);
    trace = read_file_bytes(dir + "/half.txt");
    std::string text(trace.begin(), trace.end());
    EXPECT_NE(text.find("\n14112 0 0 3\n15876 0 1 2\n"), std::string::npos) << text;
}

TEST(RenderSong, RefusesDamagedModulesWithStatusOne)
{
    std::string dir = scratch_dir("render-song-refusal");
    std::vector<uint8_t> good = small_song().build();
    std::vector<std::vector<uint8_t>> bad;
    bad.emplace_back(good.begin(), good.begin() + 5000);       // inside the header
    bad.emplace_back(good.begin(), good.end() - 700);          // samples cut off
    bad.emplace_back(good);
    set32(bad.back(), 0x350, 0xFFFFFF00);                      // pattern offset
    bad.emplace_back(good);
    bad.back()[get32(good, 0x150) + 0x6E + 4] = 0;             // a 0-tick envelope segment
    bad.emplace_back();                                        // empty file
    for (size_t i = 0; i < bad.size(); ++i) {
        std::string module = dir + "/bad" + std::to_string(i) + ".mxm";
        std::string wav = dir + "/bad" + std::to_string(i) + ".wav";
        write_file_bytes(module, bad[i]);
        command_result r = run_command(tool() + " render-song " + module + " " + wav + " --trace " + wav + ".txt");
        EXPECT_EQ(r.status, 1) << i << ": " << r.errors;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
        EXPECT_FALSE(std::filesystem::exists(wav)) << i;
        EXPECT_FALSE(std::filesystem::exists(wav + ".txt")) << i;
    }
    command_result r = run_command(tool() + " render-song " + dir + "/missing.mxm " + dir + "/x.wav");
    EXPECT_EQ(r.status, 1);

    // Bad arguments: status 2.
    write_file_bytes(dir + "/good.mxm", good);
    std::string song = dir + "/good.mxm ";
    std::string out = dir + "/y.wav";
    for (std::string args : {song, song + out + " --seconds", song + out + " --seconds 0", song + out + " --seconds x",
                             song + out + " --bogus", song + out + " " + out}) {
        r = run_command(tool() + " render-song " + args);
        EXPECT_EQ(r.status, 2) << args << ": " << r.errors;
        EXPECT_FALSE(std::filesystem::exists(out)) << args;
    }
}

TEST(RenderSong, PlaysSamplesDecodedFromACodedStream)
{
    // A sine coded into a sample stream; the module's one sample lies in the
    // decoded PCM behind the module.
    std::vector<float> sine(3000);
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = float(100 * std::sin(double(i) * 0.05));
    codec_input input{sine.data(), uint32_t(sine.size())};
    uint32_t start = 0;
    codec_layout(&input, 1, &start);
    codec_encoding coded;
    const char* problem = nullptr;
    ASSERT_TRUE(codec_encode(&input, 1, 0, &coded, &problem)) << problem;
    std::vector<uint8_t> stream(coded.stream, coded.stream + coded.size);
    mem_free(coded.stream);

    mb::module m = small_song();
    m.instruments[0].headers[0].end = 3000;
    m.instruments[0].headers[0].loop_start = 1000;
    m.instruments[0].headers[0].flags = sample_forward_loop;
    std::vector<uint8_t> bytes = m.build();
    set32(bytes, 0x750, uint32_t(bytes.size()) + start);

    std::string dir = scratch_dir("render-song-samples");
    write_file_bytes(dir + "/song.mxm", bytes);
    write_file_bytes(dir + "/song.smp", stream);
    command_result r = run_command(tool() + " render-song " + dir + "/song.mxm " + dir + "/song.wav --samples " + dir +
                                   "/song.smp --seconds 0.25");
    ASSERT_EQ(r.status, 0) << r.errors;
    wav_sound sound;
    std::string error;
    ASSERT_TRUE(wav_read(dir + "/song.wav", &sound, &error)) << error;

    uint32_t pcm_size = 0;
    uint8_t* image = build_music_image(bytes.data(), uint32_t(bytes.size()), stream.data(), &pcm_size);
    EXPECT_EQ(pcm_size, coded.samples);
    ASSERT_TRUE(module_check(image, uint32_t(bytes.size()), pcm_size, nullptr, 0));
    auto state = std::make_unique<player_state>();
    player_init(*state, image);
    player_start(*state, 0);
    std::vector<int32_t> mixed(2 * 11025);
    mixer_render(*state, 11025, mixed.data());
    std::vector<int16_t> expected(mixed.size());
    convert_to_pcm16(mixed.data(), expected.data(), uint32_t(2 * mixed.size()));
    mem_free(image);
    EXPECT_EQ(sound.samples, expected);
    // The first note's left channel follows the sine, not silence.
    int loud = 0;
    for (size_t i = 0; i < 1764; ++i)
        loud += std::abs(expected[2 * i]) > 1000;
    EXPECT_GT(loud, 500);

    // Without the stream the sample lies outside the module; a cut stream is refused.
    r = run_command(tool() + " render-song " + dir + "/song.mxm " + dir + "/none.wav");
    EXPECT_EQ(r.status, 1) << r.errors;
    stream.resize(stream.size() / 2);
    write_file_bytes(dir + "/cut.smp", stream);
    r = run_command(tool() + " render-song " + dir + "/song.mxm " + dir + "/cut.wav --samples " + dir + "/cut.smp");
    EXPECT_EQ(r.status, 1) << r.errors;
    EXPECT_FALSE(std::filesystem::exists(dir + "/cut.wav"));
}
