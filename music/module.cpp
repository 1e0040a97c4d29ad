// Module loading: the music image, the module made ready to play, and the checker for modules from outside (portable).
#include "music/module.h"

#include "base/format.h"
#include "base/memory.h"
#include "music/codec.h"

#include <cstdarg>
#include <cstring>

uint8_t* build_music_image(const uint8_t* module, uint32_t module_size, const uint8_t* stream, uint32_t* pcm_size)
{
    auto* image = static_cast<uint8_t*>(mem_alloc(music_image_size));
    if (module_size)  // an empty module may come with no bytes at all (a null pointer)
        std::memcpy(image, module, module_size);
    uint32_t decoded = 0;
    if (stream)
        decoded = decode_sample_stream(&codec_work, stream, reinterpret_cast<int8_t*>(image + module_size));
    if (pcm_size)
        *pcm_size = decoded;
    return image;
}

namespace {

// image + offset as an address, without pointer arithmetic past the block
// (unused table entries may hold any offset).
const uint8_t* address_in(const uint8_t* image, uint32_t offset)
{
    return reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(image) + offset);
}

void copy_header(module_header& h, const uint8_t* image)
{
    std::memcpy(h.magic, image, 4);
    h.song_length = read_u32(image + header_song_length);
    h.restart_position = read_u32(image + header_restart_position);
    h.channel_count = read_u32(image + header_channel_count);
    h.pattern_count = read_u32(image + header_pattern_count);
    h.instrument_count = read_u32(image + header_instrument_count);
    h.initial_speed = image[header_speed];
    h.initial_tempo = image[header_tempo];
    h.flags = read_u16(image + header_flags);
    h.sample_data_offset = read_u32(image + header_sample_data_offset);
    h.delta_bytes = read_u32(image + header_delta_bytes);
    h.delta_values = read_u32(image + header_delta_values);
    h.lowest_period = int32_t(read_u32(image + header_lowest_period));
    h.highest_period = int32_t(read_u32(image + header_highest_period));
    std::memcpy(h.initial_panning, image + header_panning, sizeof h.initial_panning);
    std::memcpy(h.orders, image + header_orders, sizeof h.orders);
    // Offsets become addresses in table order; an entry of 0 becomes the
    // image itself (valid songs never use those).
    for (uint32_t k = 0; k < module_max_instruments; ++k)
        h.instruments[k] = address_in(image, read_u32(image + header_instrument_offsets + 4 * k));
    for (uint32_t p = 0; p < module_max_patterns; ++p)
        h.patterns[p] = address_in(image, read_u32(image + header_pattern_offsets + 4 * p));
    for (uint32_t s = 0; s < module_max_samples; ++s)
        h.samples[s] = address_in(image, read_u32(image + header_sample_offsets + 4 * s));
}

// Turns the sample pool's differences into values: 8-bit bytes with a
// running byte sum, then the 16-bit values after them with a fresh 16-bit sum.
void integrate_samples(uint8_t* image, uint32_t offset, uint32_t bytes, uint32_t values)
{
    uint8_t* p = image + offset;
    uint8_t sum8 = 0;
    for (uint32_t i = 0; i < bytes; ++i) {
        sum8 = uint8_t(sum8 + p[i]);
        p[i] = sum8;
    }
    p += bytes;
    uint16_t sum16 = 0;
    for (uint32_t i = 0; i < values; ++i) {
        sum16 = uint16_t(sum16 + read_u16(p + 2 * i));
        p[2 * i] = uint8_t(sum16);
        p[2 * i + 1] = uint8_t(sum16 >> 8);
    }
}

}  // namespace

bool module_prepare(uint8_t* image, module_header& header)
{
    if (std::memcmp(image, "MXM", 4) != 0)
        return false;
    copy_header(header, image);
    if (read_u16(image + header_flags) & module_delta_samples) {
        // Cleared first, so a second preparation leaves the samples alone.
        image[header_flags] = uint8_t(image[header_flags] & ~module_delta_samples);
        integrate_samples(image, header.sample_data_offset, header.delta_bytes, header.delta_values);
    }
    return true;
}

// ---------------------------------------------------------------------------
// The checker for modules from outside.

namespace {

struct checker {
    const uint8_t* image;
    uint64_t module_size;
    uint64_t used;  // module plus decoded samples
    char* error;
    size_t error_size;

    bool fail(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        va_list args;
        va_start(args, format);
        if (error_size)
            format_text_v(error, error_size, format, args);
        va_end(args);
        return false;
    }

    bool envelope(uint32_t instrument, const uint8_t* env, const char* name)
    {
        uint32_t last = env[envelope_last];
        if (last >= envelope_max_points)
            return fail("instrument %u: the %s envelope has %u points (at most 12)", instrument, name, last + 1);
        const uint8_t* points = env + envelope_points;
        for (uint32_t p = 0; p <= last; ++p) {
            uint32_t length = read_u16(points + 4 * p);
            uint32_t value = read_u16(points + 4 * p + 2);
            if (p < last && length == 0)
                return fail("instrument %u: segment %u of the %s envelope is 0 ticks long", instrument, p, name);
            if (value > 64)
                return fail("instrument %u: point %u of the %s envelope has value %u (at most 64)", instrument, p,
                            name, value);
        }
        // A loop end the envelope reaches sends it to the loop start, which
        // must be one of its points.
        if (env[envelope_loop_end] <= last && env[envelope_loop_start] > last)
            return fail("instrument %u: the %s envelope loops back to point %u of %u", instrument, name,
                        env[envelope_loop_start], last + 1);
        return true;
    }

    bool sample_header(uint32_t instrument, uint32_t index, const uint8_t* header)
    {
        uint32_t loop_start = read_u32(header + sample_loop_start);
        uint32_t end = read_u32(header + sample_end);
        uint8_t flags = header[sample_flags];
        uint32_t number = read_u16(header + sample_number);
        if (flags & sample_backwards)
            return fail("instrument %u: sample header %u has flag bit 5 set", instrument, index);
        if (header[sample_volume] > 64)
            return fail("instrument %u: sample header %u has volume %u (at most 64)", instrument, index,
                        header[sample_volume]);
        if (number >= module_max_samples)
            return fail("instrument %u: sample header %u names sample %u (at most 2,047)", instrument, index,
                        number);
        uint64_t offset = read_u32(image + header_sample_offsets + 4 * number);
        uint64_t width = (flags & sample_16bit) ? 2 : 1;
        if (offset + uint64_t(end) * width > used)
            return fail("sample %u (%u frames at offset %llu) lies outside the module and its samples (%llu bytes)",
                        number, end, static_cast<unsigned long long>(offset),
                        static_cast<unsigned long long>(used));
        if ((flags & (sample_forward_loop | sample_pingpong_loop)) && loop_start >= end)
            return fail("sample %u: its loop starts at frame %u, not before its end %u", number, loop_start, end);
        return true;
    }

    bool instrument(uint32_t number)
    {
        uint64_t offset = read_u32(image + header_instrument_offsets + 4 * (number - 1));
        if (offset < module_header_size || offset + instrument_sample_headers > module_size)
            return fail("instrument %u: its offset %llu is outside the module", number,
                        static_cast<unsigned long long>(offset));
        const uint8_t* record = image + offset;
        uint64_t count = read_u32(record + instrument_sample_count);
        if (offset + instrument_sample_headers + count * sample_header_size > module_size)
            return fail("instrument %u: its %llu sample headers run past the end of the module", number,
                        static_cast<unsigned long long>(count));
        if (record[instrument_vibrato_waveform] > 3)
            return fail("instrument %u: auto-vibrato waveform %u (0 to 3)", number,
                        record[instrument_vibrato_waveform]);
        if (record[instrument_vibrato_sweep] > 127 || record[instrument_vibrato_depth] > 31)
            return fail("instrument %u: auto-vibrato sweep %u or depth %u beyond 127 and 31", number,
                        record[instrument_vibrato_sweep], record[instrument_vibrato_depth]);
        if (!envelope(number, record + instrument_volume_envelope, "volume") ||
            !envelope(number, record + instrument_panning_envelope, "panning"))
            return false;
        // The sample headers that notes reach (map entries beyond the count
        // are ignored by the player).
        bool checked[256] = {};
        for (uint32_t s = 0; s < 96; ++s) {
            uint32_t k = record[instrument_note_map + s];
            if (k >= count || checked[k])
                continue;
            checked[k] = true;
            if (!sample_header(number, k, record + instrument_sample_headers + sample_header_size * k))
                return false;
        }
        return true;
    }

    bool pattern(uint32_t number, uint32_t channels)
    {
        uint64_t offset = read_u32(image + header_pattern_offsets + 4 * number);
        if (offset < module_header_size || offset + 4 > module_size)
            return fail("pattern %u: its offset %llu is outside the module", number,
                        static_cast<unsigned long long>(offset));
        uint32_t rows = read_u32(image + offset);
        if (rows == 0)
            return fail("pattern %u has no rows", number);
        uint64_t at = offset + 4;
        for (uint32_t row = 0; row < rows; ++row) {
            int previous = -1;
            for (;;) {
                if (at >= module_size)
                    return fail("pattern %u: row %u runs past the end of the module", number, row);
                uint8_t head = image[at++];
                if (head == 0)
                    break;
                int channel = head & entry_channel_mask;
                if (uint32_t(channel) >= channels)
                    return fail("pattern %u, row %u: an entry for channel %d, but the song has %u channels", number,
                                row, channel, channels);
                if (channel <= previous)
                    return fail("pattern %u, row %u: the entries are not in increasing channel order", number, row);
                previous = channel;
                uint64_t size = ((head & entry_note) ? 2 : 0) + ((head & entry_volume) ? 1 : 0) +
                                ((head & entry_effect) ? 2 : 0);
                if (at + size > module_size)
                    return fail("pattern %u: row %u runs past the end of the module", number, row);
                if ((head & entry_note) && image[at] > note_key_off)
                    return fail("pattern %u, row %u: note %u (1 to 96, or 97 for key off)", number, row, image[at]);
                at += size;
            }
        }
        return true;
    }

    bool run()
    {
        if (module_size < module_header_size)
            return fail("the module is %llu bytes, shorter than its 10,064-byte header",
                        static_cast<unsigned long long>(module_size));
        if (std::memcmp(image, "MXM", 4) != 0)
            return fail("not a module: it does not begin with \"MXM\" and a zero byte");
        if (used + music_read_margin > music_image_size)
            return fail("the module and its samples take %llu bytes, more than the 1 MB music image holds",
                        static_cast<unsigned long long>(used));
        uint32_t length = read_u32(image + header_song_length);
        uint32_t restart = read_u32(image + header_restart_position);
        uint32_t channels = read_u32(image + header_channel_count);
        uint32_t instruments = read_u32(image + header_instrument_count);
        if (length == 0 || length > module_max_orders)
            return fail("song length %u (1 to 256 order positions)", length);
        if (restart >= length)
            return fail("restart position %u is not one of the song's %u order positions", restart, length);
        if (channels == 0 || channels > module_max_channels)
            return fail("channel count %u (1 to 32)", channels);
        if (instruments > module_max_instruments)
            return fail("instrument count %u (at most 128)", instruments);
        if (image[header_speed] == 0 || image[header_tempo] == 0)
            return fail("initial speed %u and tempo %u must not be 0", image[header_speed], image[header_tempo]);
        if (read_u16(image + header_flags) & module_delta_samples) {
            uint64_t end = uint64_t(read_u32(image + header_sample_data_offset)) +
                           read_u32(image + header_delta_bytes) + 2 * uint64_t(read_u32(image + header_delta_values));
            if (end > used)
                return fail("the delta-coded samples run to byte %llu, past the module and its samples (%llu bytes)",
                            static_cast<unsigned long long>(end), static_cast<unsigned long long>(used));
        }
        for (uint32_t k = 1; k <= instruments; ++k)
            if (!instrument(k))
                return false;
        bool checked[module_max_patterns] = {};
        for (uint32_t position = 0; position < length; ++position) {
            uint32_t p = image[header_orders + position];
            if (checked[p])
                continue;
            checked[p] = true;
            if (!pattern(p, channels))
                return false;
        }
        return true;
    }
};

}  // namespace

bool module_check(const uint8_t* image, uint32_t module_size, uint32_t pcm_size, char* error, size_t error_size)
{
    checker c{image, module_size, uint64_t(module_size) + pcm_size, error, error_size};
    if (error_size)
        error[0] = 0;
    return c.run();
}
