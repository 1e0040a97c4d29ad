// Notes, volume, envelopes, pitch and the per-tick effects, as the voices see them after each tick.
#include "tests/music/song_harness.h"

#include <cmath>

#include "music/pitch.h"

namespace {

constexpr int effect_arpeggio = 0, effect_portamento_up = 1, effect_tone_portamento = 3, effect_sample_offset = 9,
              effect_volume_slide = 10, effect_set_volume = 12, effect_global_slide = 17, effect_key_off = 20,
              effect_retrigger = 27, effect_E3 = 39, effect_EC = 48, effect_EE = 50;

// Two channels, one instrument: a long non-looped 8-bit sample; speed 6.
mb::module one_instrument_song(uint32_t rows = 16)
{
    mb::module m;
    m.channels = 2;
    m.patterns.emplace_back(rows);
    mb::sample_header header;
    header.end = 20000;
    m.add_sample_instrument(constant8(100, 20000), header);
    return m;
}

mb::cell with_volume(mb::cell c, int volume)
{
    c.volume = volume;
    return c;
}
mb::cell with_effect(mb::cell c, int effect, int parameter)
{
    c.effect = effect;
    c.parameter = parameter;
    return c;
}

// The voice volume after each of `ticks` ticks.
std::vector<int> voice_volumes(loaded_song& song, int ticks, int channel = 0)
{
    std::vector<int> v;
    for (int t = 0; t < ticks; ++t) {
        song.tick();
        v.push_back(song.channel(channel).voice_volume);
    }
    return v;
}

std::vector<int> tick_periods(loaded_song& song, int ticks, int channel = 0)
{
    std::vector<int> v;
    for (int t = 0; t < ticks; ++t) {
        song.tick();
        v.push_back(song.channel(channel).tick_period);
    }
    return v;
}

}  // namespace

TEST(Pitch, PitchToPeriodMultipliesItsFourTables)
{
    // One digit at a time against the tables' formulas: T3 alone, then one
    // factor of T2, T1 or T0 on 6,848 (T3[8]).
    for (int n = 0; n < 16; ++n) {
        int32_t t3 = int32_t(std::nearbyint(6848.0 * std::exp2(4.0 * (8 - n) / 3.0)));
        EXPECT_EQ(pitch_to_period(4096 * n - 32768), uint32_t(t3)) << n;
        int64_t t2 = std::llrint(32768.0 * std::exp2(-n / 12.0));
        int64_t t1 = std::llrint(32768.0 * std::exp2(-n / 192.0));
        int64_t t0 = std::llrint(32768.0 * std::exp2(-n / 3072.0));
        EXPECT_EQ(pitch_to_period(256 * n), uint32_t((6848 * t2) >> 15)) << n;
        EXPECT_EQ(pitch_to_period(16 * n), uint32_t((6848 * t1) >> 15)) << n;
        EXPECT_EQ(pitch_to_period(n), uint32_t((6848 * t0) >> 15)) << n;
        EXPECT_EQ(pitch_semitone_factors[n], uint32_t(t2));
    }
    // Every argument stays within a part in a thousand (and three units of
    // truncation) of 6,848 x 2^(-x/3072),
    // and only x mod 65,536 counts.
    for (int32_t x = -32768; x < 32768; ++x) {
        double exact = 6848.0 * std::exp2(-x / 3072.0);
        ASSERT_NEAR(pitch_to_period(x), exact, exact * 0.001 + 3.0) << x;
    }
    EXPECT_EQ(pitch_to_period(100), pitch_to_period(100 + 65536));
}

TEST(Pitch, Note49StepsAbout8355HzInBothModes)
{
    for (uint16_t flags : {uint16_t(1), uint16_t(0)}) {
        mb::module m = one_instrument_song();
        m.flags = flags;
        m.patterns[0].at(0, mb::note(0, 49));
        loaded_song song(m);
        song.tick();
        EXPECT_EQ(song.channel(0).period, flags ? 0 : 6848);
        EXPECT_EQ(song.channel(0).step, 194);  // 194 / 1024 frame per output frame
    }
    // Relative pitch: a sample tuned an octave up plays note 37 at note 49's step.
    mb::module m = one_instrument_song();
    m.instruments[0].headers[0].relative_pitch = 12 * 256;
    m.patterns[0].at(0, mb::note(0, 37));
    loaded_song song(m);
    song.tick();
    EXPECT_EQ(song.channel(0).period, 0);
    EXPECT_EQ(song.channel(0).step, 194);
}

TEST(Notes, VolumeStageDoublesTheChannelVolume)
{
    mb::module m = one_instrument_song();
    m.patterns[0].at(0, with_volume(mb::note(0, 49), 0x30)).at(1, mb::effect(0, effect_set_volume, 80));
    loaded_song song(m);
    EXPECT_EQ(voice_volumes(song, 1), (std::vector<int>{64}));  // volume 0x20
    song.ticks_to_next_row();
    EXPECT_EQ(song.channel(0).voice_volume, 128);  // C80 is limited to 64
    EXPECT_EQ(song.channel(0).voice_panning, 128);
}

TEST(Notes, InstrumentNumbersAboveTheCountKeepTheChannelsInstrument)
{
    mb::module m = one_instrument_song();
    m.patterns[0]
        .at(0, mb::note(0, 49, 255))  // no instrument yet: ignored
        .at(1, with_effect(mb::note(0, 49, 1), effect_set_volume, 32))
        .at(2, mb::note(0, 61, 255));  // counts as an instrument: volume restarts
    loaded_song song(m);
    song.tick();
    EXPECT_EQ(song.channel(0).active, 0);
    song.ticks_to_next_row();
    EXPECT_EQ(song.channel(0).active, 1);
    EXPECT_EQ(song.channel(0).voice_volume, 64);
    song.ticks_to_next_row();
    EXPECT_EQ(song.channel(0).period, -12 * 256);
    EXPECT_EQ(song.channel(0).voice_volume, 128);
}

TEST(Notes, NoteMapEntriesBeyondTheSampleCountAreIgnored)
{
    mb::module m = one_instrument_song();
    m.instruments[0].note_map[60] = 1;  // the instrument has one sample header
    m.patterns[0].at(0, mb::note(0, 61)).at(1, mb::note(0, 49)).at(2, mb::note(0, 61));
    loaded_song song(m);
    song.tick();
    EXPECT_EQ(song.channel(0).active, 0);
    song.ticks_to_next_row();
    EXPECT_EQ(song.channel(0).active, 1);
    song.channel(0).start_position = no_start_position;  // as the mixer leaves it
    song.ticks_to_next_row();
    EXPECT_EQ(song.channel(0).period, 0);  // note 49 plays on
    EXPECT_EQ(song.channel(0).start_position, no_start_position);
}

TEST(Notes, TonePortamentoMovesOnlyTheTarget)
{
    mb::module m = one_instrument_song();
    m.speed = 4;
    m.patterns[0]
        .at(0, with_volume(mb::note(0, 49), 0x30))
        .at(1, with_effect(mb::note(0, 61, 0), effect_tone_portamento, 0x10))
        .at(2, with_effect(mb::note(0, 61, 1), effect_tone_portamento, 0x00));
    loaded_song song(m);
    song.tick();
    song.channel(0).start_position = no_start_position;
    for (int t = 0; t < 3; ++t)
        song.tick();
    // The note neither restarts the sample nor the volume; the period slides
    // 256 a tick on the later ticks.
    EXPECT_EQ(tick_periods(song, 4), (std::vector<int>{0, -256, -512, -768}));
    EXPECT_EQ(song.channel(0).start_position, no_start_position);
    EXPECT_EQ(song.channel(0).voice_volume, 64);
    // With an instrument in the cell, volume and fade restart (the slide goes on).
    EXPECT_EQ(tick_periods(song, 2), (std::vector<int>{-768, -1024}));
    EXPECT_EQ(song.channel(0).voice_volume, 128);
    EXPECT_EQ(song.channel(0).start_position, no_start_position);
}

TEST(Notes, GlissandoRoundsTheHeardPeriodToSemitones)
{
    mb::module m = one_instrument_song();
    m.speed = 4;
    m.patterns[0]
        .at(0, with_effect(mb::note(0, 49), effect_E3, 1))
        .at(1, with_effect(mb::note(0, 61, 0), effect_tone_portamento, 0x0C));
    loaded_song song(m);
    for (int t = 0; t < 4; ++t)
        song.tick();
    EXPECT_EQ(tick_periods(song, 4), (std::vector<int>{0, -256, -256, -512}));
    EXPECT_EQ(song.channel(0).period, -576);  // the slide itself is not rounded
}

TEST(Notes, SampleOffsetStartsAt256FramesAUnitAndRemembersIt)
{
    mb::module m = one_instrument_song();
    m.patterns[0]
        .at(0, with_effect(mb::note(0, 49), effect_sample_offset, 0x20))
        .at(1, with_effect(mb::note(0, 49), effect_sample_offset, 0x00))
        .at(2, mb::note(0, 49));
    loaded_song song(m);
    song.tick();
    EXPECT_EQ(song.channel(0).start_position, 8192u);
    song.ticks_to_next_row();
    EXPECT_EQ(song.channel(0).start_position, 8192u);
    song.ticks_to_next_row();
    EXPECT_EQ(song.channel(0).start_position, 0u);
}

TEST(Notes, KeyOffWithoutVolumeEnvelopeSilencesAtOnce)
{
    for (mb::cell off : {mb::note(0, 97, 0), mb::effect(0, effect_key_off, 0)}) {
        mb::module m = one_instrument_song();
        m.speed = 2;
        m.patterns[0].at(0, mb::note(0, 49)).at(1, off);
        loaded_song song(m);
        EXPECT_EQ(voice_volumes(song, 4), (std::vector<int>{128, 128, 0, 0}));
    }
    // K with a parameter acts on that tick of the row.
    mb::module m = one_instrument_song();
    m.speed = 4;
    m.patterns[0].at(0, mb::note(0, 49)).at(1, mb::effect(0, effect_key_off, 2));
    loaded_song song(m);
    EXPECT_EQ(voice_volumes(song, 8), (std::vector<int>{128, 128, 128, 128, 128, 128, 0, 0}));
}

TEST(Notes, SustainHoldsUntilKeyOffAndFadeout128EmptiesIn256Ticks)
{
    mb::module m = one_instrument_song();
    m.speed = 3;
    m.instruments[0].volume = {2, 1, 0, 255, {{2, 64}, {2, 16}, {0, 0}}};
    m.patterns[0].at(0, mb::note(0, 49)).at(2, mb::note(0, 97, 0));
    loaded_song song(m);
    EXPECT_EQ(voice_volumes(song, 9), (std::vector<int>{128, 80, 32, 32, 32, 32, 32, 16, 0}));

    mb::module f = one_instrument_song(300);
    f.speed = 1;
    f.instruments[0].fadeout = 128;
    f.instruments[0].volume = {1, 0, 0, 255, {{1, 64}, {0, 64}}};
    f.patterns[0].at(0, mb::note(0, 49)).at(1, mb::note(0, 97, 0));
    loaded_song faded(f);
    faded.tick();
    std::vector<int> v = voice_volumes(faded, 256);
    EXPECT_EQ(v[0], 128);  // the key-off tick is still at full fade
    EXPECT_EQ(v[1], 127);
    EXPECT_EQ(faded.channel(0).fade_level, 0);
    EXPECT_EQ(v[255], 0);
    faded.tick();
    EXPECT_EQ(faded.channel(0).voice_volume, 0);
}

TEST(Notes, VolumeEnvelopeLoops)
{
    // The loop end is heard for one tick, then play goes on in the loop
    // start's segment at tick 1.
    mb::module m = one_instrument_song();
    m.instruments[0].volume = {3, 255, 1, 2, {{2, 0}, {4, 64}, {4, 32}, {1, 0}}};
    m.patterns[0].at(0, mb::note(0, 49));
    loaded_song song(m);
    EXPECT_EQ(voice_volumes(song, 12), (std::vector<int>{0, 64, 128, 112, 96, 80, 64, 112, 96, 80, 64, 112}));

    // A loop back to a 1-tick segment moves on from it instead of sliding
    // past its next point.
    mb::module one = one_instrument_song();
    one.instruments[0].volume = {3, 255, 1, 2, {{1, 64}, {1, 48}, {2, 16}, {0, 0}}};
    one.patterns[0].at(0, mb::note(0, 49));
    loaded_song short_loop(one);
    EXPECT_EQ(voice_volumes(short_loop, 8), (std::vector<int>{128, 96, 32, 32, 32, 32, 32, 32}));

    // A loop whose end is the last point does not loop: it stays there
    // (sustain at point 2, loop 3 to 5, last point 5).
    mb::module s = one_instrument_song();
    s.speed = 4;
    s.instruments[0].volume = {5, 2, 3, 5, {{2, 64}, {2, 48}, {2, 32}, {2, 16}, {2, 8}, {0, 40}}};
    s.patterns[0].at(0, mb::note(0, 49)).at(2, mb::note(0, 97, 0));
    loaded_song stays(s);
    std::vector<int> v = voice_volumes(stays, 20);
    EXPECT_EQ(std::vector<int>(v.begin(), v.begin() + 16),
              (std::vector<int>{128, 112, 96, 80, 64, 64, 64, 64, 64, 48, 32, 24, 16, 48, 80, 80}));
    EXPECT_EQ(v[19], 80);
}

TEST(Notes, PanningEnvelopeAndAutoVibrato)
{
    mb::module m = one_instrument_song();
    m.instruments[0].panning = {3, 255, 0, 255, {{1, 0}, {1, 16}, {1, 64}, {0, 32}}};
    m.instruments[0].vibrato_waveform = 2;  // square
    m.instruments[0].vibrato_depth = 16;
    m.instruments[0].vibrato_rate = 1;
    m.instruments[0].vibrato_sweep = 2;
    m.patterns[0].at(0, mb::note(0, 49));
    loaded_song song(m);
    std::vector<int> pan, period;
    for (int t = 0; t < 4; ++t) {
        song.tick();
        pan.push_back(song.channel(0).voice_panning);
        period.push_back(song.channel(0).tick_period);
    }
    // 128 + floor((e - 32) x 127 / 32).
    EXPECT_EQ(pan, (std::vector<int>{1, 64, 255, 128}));
    // The square's -64, then 64 swept in over two ticks.
    EXPECT_EQ(period, (std::vector<int>{0, -32, -64, -64}));
}

TEST(Ticks, ArpeggioCyclesFromTheRowTick)
{
    mb::module m = one_instrument_song();
    m.patterns[0].at(0, with_effect(mb::note(0, 49), effect_arpeggio, 0x37));
    loaded_song song(m);
    EXPECT_EQ(tick_periods(song, 5), (std::vector<int>{0, -768, -1792, 0, -768}));
}

TEST(Ticks, SpeedOneNeverRunsLaterTickHandlers)
{
    for (uint8_t speed : {uint8_t(1), uint8_t(2)}) {
        mb::module m = one_instrument_song();
        m.speed = speed;
        m.patterns[0]
            .at(0, with_effect(mb::note(0, 49), effect_volume_slide, 0x01))
            .at(1, mb::effect(0, effect_volume_slide, 0x01))
            .at(0, mb::note(1, 49))
            .at(1, mb::effect(1, effect_portamento_up, 0x01));
        loaded_song song(m);
        song.rows(3);
        int slid = speed == 1 ? 0 : 2;
        EXPECT_EQ(song.channel(0).voice_volume, 128 - 2 * slid);
        EXPECT_EQ(song.channel(1).period, -16 * (slid / 2));
    }
}

TEST(Ticks, MultiRetriggerCountsFromTheRowTick)
{
    mb::module m = one_instrument_song();
    m.speed = 10;
    m.patterns[0].at(0, with_effect(mb::note(0, 49), effect_retrigger, 0x02));
    loaded_song song(m);
    std::vector<int> restarts;
    for (int t = 0; t < 10; ++t) {
        song.tick();
        if (t > 0 && song.channel(0).start_position == 0)
            restarts.push_back(t);
        song.channel(0).start_position = no_start_position;
    }
    EXPECT_EQ(restarts, (std::vector<int>{2, 5, 8}));
}

TEST(Ticks, NoteCutOnTickZeroActsOnlyInAPatternDelay)
{
    mb::module m = one_instrument_song();
    m.speed = 3;
    m.patterns[0].at(0, with_effect(mb::note(0, 49), effect_EC, 0)).at(2, mb::effect(0, effect_EC, 0));
    m.patterns[0].at(2, mb::effect(1, effect_EE, 1));
    loaded_song song(m);
    EXPECT_EQ(voice_volumes(song, 9), (std::vector<int>{128, 128, 128, 128, 128, 128, 128, 128, 128}));
    EXPECT_EQ(voice_volumes(song, 2), (std::vector<int>{0, 0}));  // the repeated tick 0
}

TEST(Ticks, NoteDelayStartsTheNoteOnItsTick)
{
    mb::module m = one_instrument_song();
    m.speed = 4;
    // The delayed note keeps the channel's volume (here from the volume column).
    m.patterns[0].at(0, with_volume(with_effect(mb::note(0, 61), 49, 2), 0x30));
    loaded_song song(m);
    song.tick();
    EXPECT_EQ(song.channel(0).active, 0);
    song.tick();
    EXPECT_EQ(song.channel(0).active, 0);
    song.tick();
    EXPECT_EQ(song.channel(0).active, 1);
    EXPECT_EQ(song.channel(0).period, -12 * 256);
    EXPECT_EQ(song.channel(0).voice_volume, 64);
}

TEST(Ticks, EachGlobalVolumeSlideInARowSlides)
{
    mb::module m = one_instrument_song();
    m.speed = 2;
    m.channels = 3;
    m.patterns[0].at(0, mb::note(2, 49)).at(0, mb::effect(0, effect_global_slide, 0x01));
    m.patterns[0].at(1, mb::effect(0, effect_global_slide, 0x00)).at(1, mb::effect(1, effect_global_slide, 0x01));
    loaded_song song(m);
    // Voice volume = 2 x global volume here: one channel slides 1, then two.
    EXPECT_EQ(voice_volumes(song, 4, 2), (std::vector<int>{128, 126, 126, 122}));
}

TEST(Effects, WorkedValuesOverTheTicksOfARow)
{
    // Row 0 starts note 49 (volume 64, or the volume byte given); row 1
    // carries the cell under test; the four ticks of row 1 (speed 4) give
    // these voice values.
    enum what { period, volume, panning };
    struct worked {
        const char* name;
        int start_volume;  // volume byte of row 0's note, or -1
        mb::cell cell;
        what seen;
        std::vector<int> expected;
    };
    const worked cases[] = {
        {"4 vibrato", -1, mb::effect(0, 4, 0x48), period, {0, 0, 48, 96}},
        {"7 tremolo", 0x30, mb::effect(0, 7, 0x48), volume, {64, 64, 88, 108}},
        {"T tremor", -1, mb::effect(0, 29, 0x12), volume, {128, 128, 128, 0}},
        {"P left", -1, mb::effect(0, 25, 0x20), panning, {128, 126, 124, 122}},
        {"P right", -1, mb::effect(0, 25, 0x03), panning, {128, 131, 134, 137}},
        {"X1 extra fine up", -1, mb::effect(0, 33, 0x13), period, {-12, -12, -12, -12}},
        {"X2 extra fine down", -1, mb::effect(0, 33, 0x23), period, {12, 12, 12, 12}},
        {"E1 fine up", -1, mb::effect(0, 37, 2), period, {-32, -32, -32, -32}},
        {"E2 fine down", -1, mb::effect(0, 38, 2), period, {32, 32, 32, 32}},
        {"1 portamento up", -1, mb::effect(0, 1, 3), period, {0, -48, -96, -144}},
        {"2 portamento down", -1, mb::effect(0, 2, 3), period, {0, 48, 96, 144}},
        {"A slide up", 0x30, mb::effect(0, 10, 0x20), volume, {64, 68, 72, 76}},
        {"A slide down", -1, mb::effect(0, 10, 0x03), volume, {128, 122, 116, 110}},
        {"EA fine up", 0x30, mb::effect(0, 46, 4), volume, {72, 72, 72, 72}},
        {"EB fine down", 0x30, mb::effect(0, 47, 4), volume, {56, 56, 56, 56}},
        {"E8 coarse panning", -1, mb::effect(0, 44, 3), panning, {51, 51, 51, 51}},
        {"8 panning", -1, mb::effect(0, 8, 200), panning, {200, 200, 200, 200}},
        {"G global volume", -1, mb::effect(0, 16, 32), volume, {64, 64, 64, 64}},
        {"volume 0x8x", -1, with_volume(mb::cell{0}, 0x85), volume, {118, 118, 118, 118}},
        {"volume 0x9x", 0x30, with_volume(mb::cell{0}, 0x95), volume, {74, 74, 74, 74}},
        {"volume 0x5x", 0x30, with_volume(mb::cell{0}, 0x57), volume, {128, 128, 128, 128}},
        {"volume 0x6x", -1, with_volume(mb::cell{0}, 0x63), volume, {128, 122, 116, 110}},
        {"volume 0x7x", 0x30, with_volume(mb::cell{0}, 0x73), volume, {64, 70, 76, 82}},
        {"volume 0xCx", -1, with_volume(mb::cell{0}, 0xC8), panning, {136, 136, 136, 136}},
        {"volume 0xDx", -1, with_volume(mb::cell{0}, 0xD4), panning, {128, 124, 120, 116}},
        {"volume 0xEx", -1, with_volume(mb::cell{0}, 0xE4), panning, {128, 132, 136, 140}},
        // Both vibratos act, each moving the one position on.
        {"volume 0xBx with 4", -1, with_volume(mb::effect(0, 4, 0x40), 0xB8), period, {0, 48, 240, 392}},
    };
    for (const worked& w : cases) {
        mb::module m = one_instrument_song();
        m.speed = 4;
        mb::cell start = mb::note(0, 49);
        if (w.start_volume >= 0)
            start.volume = w.start_volume;
        m.patterns[0].at(0, start).at(1, w.cell);
        loaded_song song(m);
        for (int t = 0; t < 4; ++t)
            song.tick();
        std::vector<int> seen;
        for (int t = 0; t < 4; ++t) {
            song.tick();
            const channel_record& ch = song.channel(0);
            seen.push_back(w.seen == period ? ch.tick_period : w.seen == volume ? ch.voice_volume : ch.voice_panning);
        }
        EXPECT_EQ(seen, w.expected) << w.name;
    }
}

TEST(Effects, EnvelopePositionSetsBothEnvelopes)
{
    mb::module m = one_instrument_song();
    m.speed = 4;
    m.instruments[0].volume = {2, 255, 0, 255, {{4, 64}, {4, 0}, {0, 32}}};
    m.instruments[0].panning = {1, 255, 0, 255, {{5, 0}, {0, 64}}};
    m.patterns[0].at(0, mb::note(0, 49)).at(1, mb::effect(0, 21, 6));
    loaded_song song(m);
    for (int t = 0; t < 4; ++t)
        song.tick();
    // Tick 6: volume point 1 at tick 2, panning at its last point.
    EXPECT_EQ(voice_volumes(song, 4), (std::vector<int>{32, 48, 64, 64}));
    EXPECT_EQ(song.channel(0).voice_panning, 255);
}

TEST(Effects, VibratoFollowsTheWaveformE4Selects)
{
    mb::module m = one_instrument_song();
    m.speed = 4;
    m.patterns[0].at(0, with_effect(mb::note(0, 49), 40, 1)).at(1, mb::effect(0, 4, 0x48));  // rising saw
    loaded_song song(m);
    for (int t = 0; t < 4; ++t)
        song.tick();
    EXPECT_EQ(tick_periods(song, 4), (std::vector<int>{0, 0, 16, 32}));
}
