// import-xm and export-xm: what reaches the module, the warnings for what cannot, and round trips.
#include "music/module.h"
#include "tests/support/helpers.h"
#include "tests/support/xm_builder.h"
#include "tools/xm/xm.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

xm_song read_song(const test_xm_song& built)
{
    std::vector<uint8_t> bytes = test_xm_bytes(built);
    xm_song song;
    std::string error;
    EXPECT_TRUE(xm_read(bytes.data(), bytes.size(), &song, &error)) << error;
    return song;
}

xm_import_result import(const xm_song& song, bool raw, xm_warnings* warnings)
{
    xm_import_result result;
    std::string error;
    xm_import_options options;
    options.raw = raw;
    EXPECT_TRUE(xm_import(song, options, &result, warnings, &error)) << error;
    return result;
}

bool has_warning(const xm_warnings& warnings, const std::string& text)
{
    return std::any_of(warnings.begin(), warnings.end(),
                       [&](const std::string& w) { return w.find(text) != std::string::npos; });
}

// The cells of row `row` of a module pattern: (channel, note, instrument, volume, effect, parameter).
std::vector<std::vector<int>> module_row(const std::vector<uint8_t>& m, int pattern, int row)
{
    const uint8_t* at = m.data() + read_u32(m.data() + header_pattern_offsets + 4 * pattern) + 4;
    std::vector<std::vector<int>> cells;
    for (int r = 0; r <= row; ++r)
        for (uint8_t head; (head = *at++) != 0;) {
            std::vector<int> cell = {head & 31, 0, 0, 0, 255, 0};
            if (head & 0x20)
                cell[1] = *at++, cell[2] = *at++;
            if (head & 0x40)
                cell[3] = *at++;
            if (head & 0x80)
                cell[4] = *at++, cell[5] = *at++;
            if (r == row)
                cells.push_back(cell);
        }
    return cells;
}

const uint8_t* module_instrument(const std::vector<uint8_t>& m, int number)
{
    return m.data() + read_u32(m.data() + header_instrument_offsets + 4 * (number - 1));
}

test_xm_sample looped_sample(bool sixteen_bit, int finetune, int relative_note)
{
    test_xm_sample s;
    s.sixteen_bit = sixteen_bit;
    for (int i = 0; i < 100; ++i)
        s.pcm.push_back(int16_t(sixteen_bit ? i * 300 - 15000 : i - 50));
    s.loop_type = 1;
    s.loop_start = 20;
    s.loop_length = 60;  // frames 80 to 99 are never heard
    s.finetune = finetune;
    s.relative_note = relative_note;
    return s;
}

TEST(XmImport, PitchEnvelopesAndSamplesReachTheModuleInItsUnits)
{
    test_xm_song built;
    int p = built.add_pattern(8);
    built.orders = {p};
    test_xm_instrument in;
    in.samples = {looped_sample(false, -128, 3), looped_sample(true, 127, -2), looped_sample(false, 1, 0)};
    in.samples[2].loop_type = 2;
    for (int n = 0; n < 96; ++n)
        in.note_map[n] = uint8_t(n / 40);
    in.volume.points = {{0, 64}, {8, 20}, {16, 56}, {40, 0}};
    in.volume.sustain = 2;
    in.volume.loop_start = 1;
    in.volume.loop_end = 2;
    in.panning.points = {{5, 10}};  // one point: held, not "no envelope"
    in.fadeout = 512;
    in.vibrato_type = 1;  // square
    in.vibrato_depth = 9;
    in.vibrato_sweep = 40;
    in.vibrato_rate = 7;
    built.instruments = {in};
    xm_warnings warnings;
    xm_import_result raw = import(read_song(built), true, &warnings);
    const std::vector<uint8_t>& m = raw.module;
    const uint8_t* record = module_instrument(m, 1);
    EXPECT_EQ(read_u32(record), 3u);
    EXPECT_EQ(record[instrument_note_map + 39], 0);
    EXPECT_EQ(record[instrument_note_map + 40], 1);
    EXPECT_EQ(record[instrument_note_map + 95], 2);
    EXPECT_EQ(read_u16(record + instrument_fadeout), 512u);
    EXPECT_EQ(record[instrument_vibrato_waveform], 2);  // our square table
    EXPECT_EQ(record[instrument_vibrato_depth], 9);
    const uint8_t* v = record + instrument_volume_envelope;
    EXPECT_EQ(v[envelope_last], 3);
    EXPECT_EQ(v[envelope_sustain], 2);
    EXPECT_EQ(v[envelope_loop_start], 1);
    EXPECT_EQ(v[envelope_loop_end], 2);
    // Points at ticks 0, 8, 16, 40 become segments of 8, 8, 24 ticks.
    const uint32_t lengths[4] = {8, 8, 24, 0}, values[4] = {64, 20, 56, 0};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(read_u16(v + envelope_points + 4 * i), lengths[i]);
        EXPECT_EQ(read_u16(v + envelope_points + 4 * i + 2), values[i]);
    }
    const uint8_t* pe = record + instrument_panning_envelope;
    EXPECT_EQ(pe[envelope_last], 1);
    EXPECT_EQ(read_u16(pe + envelope_points), 1u);
    EXPECT_EQ(read_u16(pe + envelope_points + 6), 10u);
    EXPECT_EQ(pe[envelope_sustain], 255);
    EXPECT_EQ(pe[envelope_loop_end], 255);

    // Finetune -128/128 with relative note 3: 3 x 256 - 256; 127/128 with -2: -512 + 254.
    const int pitches[3] = {512, -258, 2};
    for (int k = 0; k < 3; ++k) {
        const uint8_t* h = record + instrument_sample_headers + sample_header_size * k;
        EXPECT_EQ(int16_t(read_u16(h + sample_relative_pitch)), pitches[k]);
        EXPECT_EQ(read_u32(h + sample_loop_start), 20u);
        EXPECT_EQ(read_u32(h + sample_end), 80u);  // cut at the loop end
        EXPECT_EQ(read_u16(h + sample_number), uint32_t(k));
    }
    const uint8_t* h16 = record + instrument_sample_headers + sample_header_size;
    EXPECT_EQ(record[instrument_sample_headers + sample_flags], sample_forward_loop);
    EXPECT_EQ(h16[sample_flags], sample_forward_loop | sample_16bit);
    EXPECT_EQ(record[instrument_sample_headers + 2 * sample_header_size + sample_flags], sample_pingpong_loop);
    // Raw PCM inside the module: 8-bit bytes, 16-bit values as they were.
    const uint8_t* pcm8 = m.data() + read_u32(m.data() + header_sample_offsets);
    const uint8_t* pcm16 = m.data() + read_u32(m.data() + header_sample_offsets + 4);
    EXPECT_EQ(int8_t(pcm8[5]), -45);
    EXPECT_EQ(int16_t(read_u16(pcm16 + 2 * 7)), 7 * 300 - 15000);
    // Behind a forward loop, the frames that interpolation reads repeat its start.
    EXPECT_EQ(int8_t(pcm8[80]), int8_t(pcm8[20]));
    EXPECT_EQ(raw.pcm_bytes, 0u);

    // Coded: the 16-bit sample becomes 8-bit, with a warning.
    warnings.clear();
    xm_import_result coded = import(read_song(built), false, &warnings);
    EXPECT_EQ(module_instrument(coded.module, 1)[instrument_sample_headers + sample_header_size + sample_flags],
              sample_forward_loop);
    EXPECT_TRUE(has_warning(warnings, "instrument 1, sample 2: 16-bit sample coded as 8-bit"));
    EXPECT_GT(coded.pcm_bytes, 240u);
}

TEST(XmImport, EffectsAndTheVolumeColumnMapAndWhatCannotBePlayedIsNamed)
{
    test_xm_song built;
    built.channels = 2;
    int p = built.add_pattern(16), q = built.add_pattern(8);
    built.orders = {p, q};
    built.instruments.resize(1);
    built.instruments[0].samples = {looped_sample(false, 0, 0)};
    built.set(p, 0, 0, xm_note("C-4"), 1, 0x40, 14, 0x62);  // E62 -> effect 42, parameter 2
    built.set(p, 0, 1, 97, 0, 0xF3, 10, 0x0F);               // key off, tone portamento column, A0F
    built.set(p, 1, 0, 0, 0, 0x55, 0, 0);                    // not a volume command
    built.set(p, 2, 0, 0, 0, 0x05, 14, 0x43);                // vibrato waveform random
    built.set(p, 3, 0, 0, 0, 0, 14, 0x53);                   // set finetune
    built.set(p, 4, 1, 0, 0, 0, 24, 0x10);                   // O: not an FT2 effect
    built.set(p, 5, 0, 0, 0, 0, 13, 0x12);                   // break to row 12 of an 8-row pattern
    built.set(p, 6, 1, 0, 0, 0xC4, 0, 0x37);                 // panning 4, arpeggio 37
    built.set(p, 7, 0, 0, 5, 0, 15, 0);                      // instrument 5 of 1; F00
    built.set(p, 8, 0, xm_note("D-4"), 1, 0, 14, 0xD3);      // delayed note without volume
    built.set(p, 9, 0, 0, 0, 0xA3, 4, 0x48);                 // vibrato speeds, doubled for our player
    built.set(p, 10, 0, 0, 0, 0, 4, 0xA2);                   // too fast for it
    xm_warnings warnings;
    xm_import_result r = import(read_song(built), true, &warnings);
    auto row = [&](int pattern, int n) { return module_row(r.module, pattern, n); };
    EXPECT_EQ(row(p, 0), (std::vector<std::vector<int>>{{0, 49, 1, 0x40, 42, 2}, {1, 97, 0, 0xF3, 10, 0x0F}}));
    EXPECT_EQ(row(p, 1), std::vector<std::vector<int>>{});
    EXPECT_EQ(row(p, 2), (std::vector<std::vector<int>>{{0, 0, 0, 0, 40, 3}}));
    EXPECT_EQ(row(p, 5), (std::vector<std::vector<int>>{{0, 0, 0, 0, 13, 0}}));
    EXPECT_EQ(row(p, 6), (std::vector<std::vector<int>>{{1, 0, 0, 0xC4, 0, 0x37}}));
    EXPECT_EQ(row(p, 8), (std::vector<std::vector<int>>{{0, 51, 1, 0x10 + 64, 49, 3}}));
    EXPECT_EQ(row(p, 9), (std::vector<std::vector<int>>{{0, 0, 0, 0xA6, 4, 0x88}}));
    EXPECT_EQ(row(p, 10), (std::vector<std::vector<int>>{{0, 0, 0, 0, 4, 0xF2}}));
    EXPECT_TRUE(has_warning(warnings, "pattern 0, row 10, channel 1: effect 4A2: vibrato speed A is faster"));
    EXPECT_TRUE(has_warning(warnings, "pattern 0, row 1, channel 1: volume column byte 55"));
    EXPECT_TRUE(has_warning(warnings, "pattern 0, row 2, channel 1: effect E43: the random vibrato waveform"));
    EXPECT_TRUE(has_warning(warnings, "pattern 0, row 3, channel 1: effect E53: set finetune"));
    EXPECT_TRUE(has_warning(warnings, "pattern 0, row 4, channel 2: effect O10"));
    EXPECT_TRUE(has_warning(warnings, "pattern 0, row 5, channel 1: pattern break to row 12 of a 8-row pattern"));
    EXPECT_TRUE(has_warning(warnings, "pattern 0, row 6, channel 2: panning 4 in the volume column sets 68"));
    EXPECT_TRUE(has_warning(warnings, "pattern 0, row 7, channel 1: instrument 5 does not exist"));
    EXPECT_TRUE(has_warning(warnings, "pattern 0, row 7, channel 1: effect F00"));
    EXPECT_EQ(warnings.size(), 9u);
}

TEST(XmImport, EnvelopesOurPlayerCannotFollowAreNamedPerInstrument)
{
    test_xm_song built;
    built.orders = {built.add_pattern(1)};
    built.instruments.resize(2);
    built.instruments[0].samples = {looped_sample(false, 0, 0)};
    built.instruments[0].volume.points = {{0, 64}, {10, 80}, {10, 0}};
    built.instruments[0].volume.loop_start = 0;
    built.instruments[0].volume.loop_end = 2;  // the last point
    built.instruments[1].samples = {looped_sample(false, 0, 0)};
    built.instruments[1].panning.points = {{0, 10}, {4, 20}};
    built.instruments[1].panning.sustain = 5;
    xm_warnings warnings;
    xm_import_result r = import(read_song(built), true, &warnings);
    EXPECT_TRUE(has_warning(warnings, "instrument 1: volume envelope: point 1 has value 80"));
    EXPECT_TRUE(has_warning(warnings, "instrument 1: volume envelope: point 2 does not come after"));
    EXPECT_TRUE(has_warning(warnings, "instrument 1: volume envelope: its loop ends at the last point"));
    EXPECT_TRUE(has_warning(warnings, "instrument 2: panning envelope: sustain point 5 of 2 points"));
    const uint8_t* v = module_instrument(r.module, 1) + instrument_volume_envelope;
    EXPECT_EQ(read_u16(v + envelope_points + 4), 1u);  // the zero-tick segment lasts one tick
}

TEST(XmRoundTrip, ImportOfAnExportedModuleGivesTheSameModule)
{
    // The program's own song, coded.
    std::string dir = scratch_dir("xm_round_trip");
    command_result r = run_command(tool() + " export-xm " + source_path("data/song.mxm") + " " + dir +
                                   "/song.xm --samples " + source_path("data/song.sbc"));
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.errors, "");
    r = run_command(tool() + " import-xm " + dir + "/song.xm " + dir + "/song.mxm " + dir + "/song.sbc");
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.errors, "");
    EXPECT_EQ(read_file_bytes(dir + "/song.mxm"), read_file_bytes(source_path("data/song.mxm")));
    // Without its samples the module cannot be exported.
    r = run_command(tool() + " export-xm " + source_path("data/song.mxm") + " " + dir + "/none.xm");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find("--samples"), std::string::npos) << r.errors;

    // A song of our own with 8- and 16-bit samples, raw, several samples an instrument.
    test_xm_song built;
    built.channels = 5;
    built.restart = 1;
    int p = built.add_pattern(32), q = built.add_pattern(64);
    built.orders = {p, q, p};
    built.instruments.resize(2);
    built.instruments[0].samples = {looped_sample(true, -7, 12), looped_sample(false, 5, -3)};
    built.instruments[0].samples[1].loop_type = 0;
    built.instruments[0].note_map[60] = 1;
    built.instruments[0].volume.points = {{0, 64}, {3, 10}, {9, 40}};
    built.instruments[0].volume.sustain = 1;
    built.instruments[1].samples = {looped_sample(false, 0, 0)};
    built.instruments[1].samples[0].loop_type = 2;
    built.set(p, 0, 0, xm_note("C-4"), 1, 0x20, 14, 0x93);
    built.set(p, 31, 4, xm_note("C#6"), 2, 0x9F, 27, 0x42);
    built.set(q, 10, 2, 97, 0, 0, 20, 4);
    built.set(q, 11, 3, 0, 0, 0xA2, 4, 0x36);  // vibrato speeds: doubled on import, halved on export
    write_file_bytes(dir + "/own.xm", test_xm_bytes(built));
    r = run_command(tool() + " import-xm " + dir + "/own.xm " + dir + "/own.mxm " + dir + "/own.sbc --raw");
    ASSERT_EQ(r.status, 0) << r.errors;
    r = run_command(tool() + " export-xm " + dir + "/own.mxm " + dir + "/own2.xm");
    ASSERT_EQ(r.status, 0) << r.errors;
    r = run_command(tool() + " import-xm " + dir + "/own2.xm " + dir + "/own2.mxm " + dir + "/own2.sbc --raw");
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(read_file_bytes(dir + "/own2.mxm"), read_file_bytes(dir + "/own.mxm"));
    // The exported 16-bit sample is the original up to its loop end.
    std::vector<uint8_t> bytes = read_file_bytes(dir + "/own2.xm");
    xm_song song;
    std::string error;
    ASSERT_TRUE(xm_read(bytes.data(), bytes.size(), &song, &error)) << error;
    std::vector<int16_t> expected(built.instruments[0].samples[0].pcm.begin(),
                                  built.instruments[0].samples[0].pcm.begin() + 80);
    EXPECT_EQ(song.instruments[0].samples[0].pcm, expected);
    EXPECT_EQ(song.instruments[0].samples[0].finetune, -7);
    EXPECT_EQ(song.instruments[0].samples[0].relative_note, 12);
}

}  // namespace

namespace {

TEST(XmImport, ASongTooBigForTheMusicImageIsRefused)
{
    xm_song song;
    song.orders = {0};
    song.patterns.resize(1);
    song.patterns[0].cells.resize(64 * 4);
    song.instruments.resize(1);
    song.instruments[0].samples.resize(1);
    song.instruments[0].samples[0].pcm.assign(1100000, 1);
    xm_import_result result;
    xm_warnings warnings;
    std::string error;
    xm_import_options options;
    options.raw = true;
    EXPECT_FALSE(xm_import(song, options, &result, &warnings, &error));
    EXPECT_NE(error.find("the music image holds 1,048,576"), std::string::npos) << error;
    song.instruments[0].samples[0].pcm.resize(1000000);
    EXPECT_TRUE(xm_import(song, options, &result, &warnings, &error)) << error;
}

}  // namespace
