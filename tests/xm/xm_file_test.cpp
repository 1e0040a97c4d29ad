// The XM reader and writer: fields of files from the test builder, the tool's own writer read back, and damaged files.
#include "tests/support/helpers.h"
#include "tests/support/xm_builder.h"
#include "tools/xm/xm.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

test_xm_song small_song()
{
    test_xm_song song;
    song.channels = 3;
    song.speed = 5;
    song.tempo = 140;
    song.restart = 1;
    song.linear = false;
    int a = song.add_pattern(4), b = song.add_pattern(2);
    song.orders = {a, b, a};
    song.set(a, 0, 0, xm_note("C-4"), 1, 0x30, 14, 0x62);
    song.set(a, 3, 2, 97, 0, 0xC8, 13, 0x01);
    song.set(b, 1, 1, xm_note("B-7"), 2, 0, 0, 0x37);
    test_xm_instrument one;
    test_xm_sample s8;
    s8.pcm = {0, 10, -20, 127, -128, 5};
    s8.loop_type = 2;
    s8.loop_start = 1;
    s8.loop_length = 4;
    s8.volume = 40;
    s8.finetune = -128;
    s8.relative_note = -12;
    s8.panning = 200;
    test_xm_sample s16;
    s16.sixteen_bit = true;
    s16.pcm = {0, 32767, -32768, 1000, -1000};
    s16.loop_type = 1;
    s16.loop_start = 2;
    s16.loop_length = 3;
    s16.finetune = 127;
    one.samples = {s8, s16};
    for (int n = 48; n < 96; ++n)
        one.note_map[n] = 1;
    one.volume.points = {{0, 64}, {10, 32}, {30, 0}};
    one.volume.sustain = 1;
    one.volume.loop_start = 0;
    one.volume.loop_end = 1;
    one.panning.points = {{0, 32}, {5, 60}};
    one.fadeout = 300;
    one.vibrato_type = 2;
    one.vibrato_sweep = 10;
    one.vibrato_depth = 8;
    one.vibrato_rate = 20;
    test_xm_instrument empty;  // no samples
    song.instruments = {one, empty};
    return song;
}

TEST(XmFile, ReadsEveryFieldTheBuilderWrites)
{
    std::vector<uint8_t> bytes = test_xm_bytes(small_song());
    xm_song song;
    std::string error;
    ASSERT_TRUE(xm_read(bytes.data(), bytes.size(), &song, &error)) << error;
    EXPECT_EQ(song.channels, 3);
    EXPECT_EQ(song.speed, 5);
    EXPECT_EQ(song.tempo, 140);
    EXPECT_EQ(song.restart, 1);
    EXPECT_FALSE(song.linear);
    EXPECT_EQ(song.orders, (std::vector<uint8_t>{0, 1, 0}));
    ASSERT_EQ(song.patterns.size(), 2u);
    EXPECT_EQ(song.patterns[0].rows, 4);
    EXPECT_EQ(song.patterns[1].rows, 2);
    const xm_cell& c = song.patterns[0].cells[0];
    EXPECT_EQ(c.note, 49);
    EXPECT_EQ(c.instrument, 1);
    EXPECT_EQ(c.volume, 0x30);
    EXPECT_EQ(c.effect, 14);
    EXPECT_EQ(c.parameter, 0x62);
    const xm_cell& k = song.patterns[0].cells[3 * 3 + 2];
    EXPECT_EQ(k.note, 97);
    EXPECT_EQ(k.volume, 0xC8);
    EXPECT_EQ(song.patterns[1].cells[1 * 3 + 1].note, 96);

    ASSERT_EQ(song.instruments.size(), 2u);
    const xm_instrument& in = song.instruments[0];
    ASSERT_EQ(in.samples.size(), 2u);
    EXPECT_EQ(in.note_map[47], 0);
    EXPECT_EQ(in.note_map[48], 1);
    EXPECT_EQ(in.volume_envelope.points, (std::vector<std::pair<int, int>>{{0, 64}, {10, 32}, {30, 0}}));
    EXPECT_EQ(in.volume_envelope.flags, 7);
    EXPECT_EQ(in.volume_envelope.sustain, 1);
    EXPECT_EQ(in.volume_envelope.loop_end, 1);
    EXPECT_EQ(in.panning_envelope.flags, 1);
    EXPECT_EQ(in.fadeout, 300);
    EXPECT_EQ(in.vibrato_type, 2);
    EXPECT_EQ(in.vibrato_rate, 20);
    const xm_sample& a = in.samples[0];
    EXPECT_EQ(a.pcm, (std::vector<int16_t>{0, 10, -20, 127, -128, 5}));  // deltas wrap modulo 256
    EXPECT_EQ(a.type, xm_loop_pingpong);
    EXPECT_EQ(a.loop_start, 1u);
    EXPECT_EQ(a.loop_length, 4u);
    EXPECT_EQ(a.finetune, -128);
    EXPECT_EQ(a.relative_note, -12);
    EXPECT_EQ(a.panning, 200);
    const xm_sample& b = in.samples[1];
    EXPECT_EQ(b.pcm, (std::vector<int16_t>{0, 32767, -32768, 1000, -1000}));
    EXPECT_EQ(b.type, xm_loop_forward | xm_sample_16bit);
    EXPECT_EQ(b.loop_start, 2u);  // the file counts bytes, the model frames
    EXPECT_EQ(b.loop_length, 3u);
    EXPECT_TRUE(song.instruments[1].samples.empty());
}

TEST(XmFile, WhatTheWriterWritesReadsBackTheSame)
{
    std::vector<uint8_t> bytes = test_xm_bytes(small_song());
    xm_song song, again;
    std::string error;
    ASSERT_TRUE(xm_read(bytes.data(), bytes.size(), &song, &error));
    std::vector<uint8_t> written = xm_write(song);
    ASSERT_TRUE(xm_read(written.data(), written.size(), &again, &error)) << error;
    EXPECT_EQ(xm_write(again), written);
    EXPECT_EQ(again.patterns[0].cells[0].parameter, 0x62);
    EXPECT_EQ(again.instruments[0].samples[1].pcm, song.instruments[0].samples[1].pcm);
    EXPECT_EQ(again.instruments[0].volume_envelope.points, song.instruments[0].volume_envelope.points);
    EXPECT_LT(written.size(), bytes.size());  // patterns packed
}

TEST(XmFile, EveryTruncationAndDamagedCountIsRefusedWithAReason)
{
    std::vector<uint8_t> bytes = test_xm_bytes(small_song());
    xm_song song;
    std::string error;
    for (size_t size = 0; size < bytes.size(); ++size) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(size));
        error.clear();
        EXPECT_FALSE(xm_read(cut.data(), cut.size(), &song, &error)) << size;
        EXPECT_FALSE(error.empty()) << size;
    }
    auto damaged = [&](size_t at, std::vector<uint8_t> values, const char* expected) {
        std::vector<uint8_t> copy = bytes;
        for (size_t i = 0; i < values.size(); ++i)
            copy[at + i] = values[i];
        error.clear();
        EXPECT_FALSE(xm_read(copy.data(), copy.size(), &song, &error)) << expected;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    };
    damaged(0, {'X'}, "not an XM module");
    damaged(58, {0x03, 0x01}, "version 1.03");
    damaged(60, {0xFF, 0xFF, 0xFF, 0x7F}, "XM header claims");
    damaged(64, {0, 0}, "song length 0");
    damaged(68, {33, 0}, "33 channels");
    damaged(70, {0x01, 0x01}, "257 patterns");
    damaged(72, {129, 0}, "129 instruments");
    size_t pattern = 60 + 276;
    damaged(pattern, {3, 0, 0, 0}, "header is 3 bytes");
    damaged(pattern + 5, {0, 0}, "0 rows");
    damaged(pattern + 5, {1, 1}, "257 rows");
    damaged(pattern + 7, {0xFF, 0xFF}, "ends inside the data of pattern 0");
    damaged(pattern + 9, {98}, "note 98");
    size_t instrument = pattern + 9 + 4 * 3 * 5 + 9 + 2 * 3 * 5;
    damaged(instrument, {0xFF, 0xFF, 0xFF, 0xFF}, "ends inside the header of instrument 1");
    damaged(instrument + 27, {17, 0}, "17 samples");
    damaged(instrument + 33, {2}, "note map names sample 2");
    damaged(instrument + 225, {13}, "13 points");
    damaged(instrument + 263, {0xFF, 0xFF, 0xFF, 0x0F}, "data of sample 1 of instrument 1");
    damaged(instrument + 263 + 17, {0xAD}, "ADPCM");
}

TEST(XmFile, ImportOfADamagedFileSaysOneLineAndLeavesNoFiles)
{
    std::vector<uint8_t> bytes = test_xm_bytes(small_song());
    bytes.resize(bytes.size() - 263 - 3);  // into the last sample's data
    std::string dir = scratch_dir("xm_damaged");
    write_file_bytes(dir + "/cut.xm", bytes);
    command_result r = run_command(binary_path("oddball-tool") + " import-xm " + dir + "/cut.xm " + dir + "/a.mxm " +
                                   dir + "/a.sbc");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "oddball-tool: import-xm: " + dir + "/cut.xm: the file ends inside the data of sample 2 of "
                        "instrument 1\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/a.mxm"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/a.sbc"));
    r = run_command(binary_path("oddball-tool") + " import-xm " + dir + "/cut.xm " + dir + "/a.mxm");
    EXPECT_EQ(r.status, 2);
    r = run_command(binary_path("oddball-tool") + " import-xm " + dir + "/none.xm " + dir + "/a.mxm " + dir +
                    "/a.sbc --max-bytes 0");
    EXPECT_EQ(r.status, 2);
    r = run_command(binary_path("oddball-tool") + " export-xm " + dir + "/cut.xm " + dir + "/a.xm");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find("shorter than its 10,064-byte header"), std::string::npos) << r.errors;
}

}  // namespace
