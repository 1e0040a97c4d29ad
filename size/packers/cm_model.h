/* The context-mixing model of the 64 KB packer, shared by the packer (which
 * encodes) and the stub (which decodes), so both predict every bit the same
 * way (portable C, also compiled as C++).
 *
 * Bits are coded one at a time, most significant first.  Each of up to
 * cm_max_models context models hashes a chosen set of the previous eight
 * bytes (its mask: bit k takes the byte k + 1 back) with the bits of the
 * current byte so far, and keeps there a pair of small counts of the zeros
 * and ones seen.  Two more models do the same for tables: their context is
 * the previous byte and the bytes one and two rows back, for a row length
 * (stride) the packer chooses, such as a bitmap's width.  A per-model table learns what each pair of counts means as
 * a probability.  A match model follows the last earlier place where the same
 * few bytes occurred and predicts the bit that came next there.  Four mixers
 * combine all predictions in the logistic domain, with weights chosen by the
 * partial byte, the match model's state, the previous byte and the one
 * before; their outputs are averaged, and all learn from every coded bit.
 *
 * The stub carries the decoder, uncompressed, so the code here is written to
 * compile small: tables start at zero where the memory does, the data always
 * has eight zero bytes before it, and nothing is done that only saves time.
 * Only integer arithmetic, so encoder and decoder agree on every machine.
 * Signed right shifts are arithmetic (as GCC defines them). */
#ifndef ODDBALL_SIZE_CM_MODEL_H
#define ODDBALL_SIZE_CM_MODEL_H

#include <stdint.h>

enum {
    cm_max_models = 16,   /* masked models; the two stride models come after them */
    cm_strides = 2,
    cm_table_bits = 26,   /* counter pairs, one byte each, shared by all models */
    cm_match_bits = 18,   /* match model: positions by hash of the last cm_match_min bytes */
    cm_match_min = 6,
    cm_max_stride = 512,
    cm_history = 2 * cm_max_stride, /* zero bytes the data must have before it */
    cm_inputs = cm_max_models + cm_strides + 2, /* the models, the match model, a bias */
    cm_mixers = 4
};

/* The packer's choices, stored at the head of the packed data. */
typedef struct cm_params {
    uint16_t strides[cm_strides]; /* 1..cm_max_stride: the row length of a table the data holds */
    uint8_t model_count;
    uint8_t mixer_rate;    /* mixers' learning rate: larger learns faster */
    uint8_t map_shift;     /* counter-pair tables' learning rate: larger learns slower */
    uint8_t masks[cm_max_models];
} cm_params;

/* Everything the model learns.  It starts as zeroed memory plus cm_init;
 * weights are kept less 1/4 and probabilities less 1/2, so zero means those. */
typedef struct cm_state {
    /* The small fields first, where instructions reach them with one-byte offsets. */
    uint32_t partial;                      /* 1, then the bits of the byte so far behind a leading one */
    uint8_t last[2];                       /* the previous byte and the one before it */
    uint32_t expected;                     /* the predicted byte, shifted left a bit per bit coded; 0: none */
    uint32_t match_length;                 /* 0: no match; counts up to 15 */
    uint32_t match_at;                     /* where the predicted byte is */
    int32_t probability;                   /* of a one, 12 bits, for the bit being coded */
    uint8_t* table;                        /* 1 << cm_table_bits counter pairs */
    uint32_t* match_table;                 /* 1 << cm_match_bits positions */
    cm_params params;
    uint32_t hashes[cm_max_models + cm_strides]; /* this byte's context per model */
    int32_t inputs[cm_inputs];
    uint8_t* pairs[cm_max_models + cm_strides]; /* the counter pair each model uses for this bit */
    int32_t* rows[cm_mixers];              /* each mixer's weights for this bit */
    int16_t match_map[32];                 /* match length (0..15) and predicted bit -> probability, less 1/2 */
    int16_t maps[cm_max_models + cm_strides][256]; /* counter pair -> probability of a one, 16 bits, less 1/2 */
    int16_t stretch[4096];
    /* Weights of the mixers, one set chosen per bit by the partial byte, the
     * match state, the previous byte and the one before it. */
    int32_t weights[256 + 33 + 256 + 256][cm_inputs];
} cm_state;

/* The logistic function at d / 256 for d in -2047..2047 (callers keep it
 * there), as 12-bit probabilities. */
static inline int cm_squash(int d)
{
    /* 4096 / (1 + exp(-x / 2)) at x = -16..16, rounded and kept off 0 and 4096. */
    static const uint16_t knots[33] = {1,    2,    4,    6,    10,   17,   27,   45,   74,   120,  194,
                                       311,  488,  747,  1102, 1546, 2048, 2550, 2994, 3349, 3608, 3785,
                                       3902, 3976, 4022, 4051, 4069, 4079, 4086, 4090, 4092, 4094, 4095};
    d += 2048;
    int low = d >> 7, weight = d & 127;
    return (knots[low] * (128 - weight) + knots[low + 1] * weight + 64) >> 7;
}

/* `s` zeroed; `table` and `match_table` zeroed and of the sizes above. */
static inline void cm_init(cm_state* s, const cm_params* params, uint8_t* table, uint32_t* match_table)
{
    s->params = *params;
    s->table = table;
    s->match_table = match_table;
    /* stretch is squash's inverse: the smallest d whose squash reaches p. */
    int p = 0;
    for (int d = -2047; d < 2048; ++d)
        for (int reach = cm_squash(d); p <= reach; ++p)
            s->stretch[p] = (int16_t)d;
    /* A pair of counts starts as their estimate, (ones + 1/2) / (both + 1). */
    for (int m = 0; m < cm_max_models + cm_strides; ++m)
        for (int pair = 0; pair < 256; ++pair)
            s->maps[m][pair] = (int16_t)(65536 * (2 * (pair >> 4) + 1) / (2 * (pair & 15) + 2 * (pair >> 4) + 2) - 32768);
    s->partial = 1;
}

/* Before the byte at `position` of `data` (the bytes before it known). */
static inline void cm_byte_start(cm_state* s, const uint8_t* data, uint32_t position)
{
    const uint8_t* here = data + position;
    int n = s->params.model_count;
    for (int m = 0; m < n; ++m) {
        uint32_t h = (uint32_t)(m + 1) * 0x9E3779B1u;
        for (int k = 0; k < 8; ++k)
            if (s->params.masks[m] >> k & 1)
                h = (h + here[-1 - k] + 1) * 0x2F0B4C13u;
        s->hashes[m] = h;
    }
    for (int t = 0; t < cm_strides; ++t) {
        const uint8_t* above = here - s->params.strides[t];
        s->hashes[n + t] = ((above[0] * 0x2F0B4C13u + here[-1] + t + 77) * 0x9E3779B1u + above[-s->params.strides[t]]) *
                           0x6F4F2A45u;
    }
    /* The match model: follow the match while it holds, else look one up. */
    if (s->match_length && data[s->match_at] == here[-1]) {
        s->match_length += s->match_length < 15;
        ++s->match_at;
    } else {
        s->match_length = 0;
    }
    uint32_t h = 0;
    for (int k = 1; k <= cm_match_min; ++k)
        h = (h + here[-k] + 1) * 0x2F0B4C13u;
    h >>= 32 - cm_match_bits;
    if (!s->match_length && s->match_table[h]) {
        s->match_length = 1;
        s->match_at = s->match_table[h];
    }
    s->match_table[h] = position;
    s->expected = s->match_length ? data[s->match_at] | 256u : 0;
    s->last[0] = here[-1];
    s->last[1] = here[-2];
    s->partial = 1;
}

/* The probability (12 bits) that the next bit is a one. */
static inline int cm_predict(cm_state* s)
{
    int n = s->params.model_count + cm_strides;
    for (int m = 0; m < n; ++m) {
        uint8_t* pair = s->table + ((s->hashes[m] + s->partial * 0x6F4F2A45u) * 0x9E3779B1u >> (32 - cm_table_bits));
        s->pairs[m] = pair;
        s->inputs[m] = s->stretch[(s->maps[m][*pair] + 32768) >> 4];
    }
    s->inputs[n] = s->expected ? s->stretch[(s->match_map[s->match_length * 2 + (s->expected >> 7 & 1)] + 32768) >> 4] : 0;
    s->inputs[n + 1] = 256;
    s->rows[0] = s->weights[s->partial];
    s->rows[1] = s->weights[256 + (s->expected ? s->match_length * 2 + (s->expected >> 7 & 1) : 0)];
    s->rows[2] = s->weights[256 + 33 + s->last[0]];
    s->rows[3] = s->weights[256 + 33 + 256 + s->last[1]];
    int64_t dot = 0;
    for (int r = 0; r < cm_mixers; ++r)
        for (int i = 0; i < n + 2; ++i)
            dot += (int64_t)(s->rows[r][i] + (1 << 14)) * s->inputs[i];
    dot >>= 18;
    return s->probability = cm_squash(dot > 2047 ? 2047 : dot < -2047 ? -2047 : (int)dot);
}

/* A counter pair after seeing `bit`: its count up (to 15), the other's halved above 2. */
static inline uint8_t cm_count(uint8_t pair, int bit)
{
    int seen = bit ? pair >> 4 : pair & 15, other = bit ? pair & 15 : pair >> 4;
    seen += seen < 15;
    if (other > 2)
        other = (other + 1) >> 1;
    return (uint8_t)(bit ? seen << 4 | other : other << 4 | seen);
}

/* One table entry moved toward the coded bit. */
static inline void cm_learn(int16_t* entry, int bit, int shift)
{
    *entry = (int16_t)(*entry + (((bit ? 32767 : -32768) - *entry) >> shift));
}

/* Learns from the coded bit; after the eighth, the caller calls cm_byte_start. */
static inline void cm_update(cm_state* s, int bit)
{
    int n = s->params.model_count + cm_strides;
    int32_t error = ((bit << 12) - s->probability) * s->params.mixer_rate;
    for (int r = 0; r < cm_mixers; ++r)
        for (int i = 0; i < n + 2; ++i)
            s->rows[r][i] += (s->inputs[i] * error) >> 14;
    for (int m = 0; m < n; ++m) {
        cm_learn(&s->maps[m][*s->pairs[m]], bit, s->params.map_shift);
        *s->pairs[m] = cm_count(*s->pairs[m], bit);
    }
    if (s->expected) {
        cm_learn(&s->match_map[s->match_length * 2 + (s->expected >> 7 & 1)], bit, 5);
        s->expected = (int)(s->expected >> 7 & 1) == bit ? s->expected << 1 : 0;
    }
    s->partial = s->partial * 2 + bit;
}

/* Decodes `size` bytes coded by the packer's binary arithmetic coder from
 * `in` (read up to 4 bytes past the stream's end, which must be zeros) into
 * `out`, which has cm_history zero bytes before it. */
static inline void cm_decode(cm_state* s, const uint8_t* in, uint8_t* out, uint32_t size)
{
    uint32_t low = 0, high = 0xFFFFFFFFu, x = 0;
    for (int i = 0; i < 4; ++i)
        x = x << 8 | *in++;
    for (uint32_t position = 0; position < size; ++position) {
        cm_byte_start(s, out, position);
        while (s->partial < 256) {
            uint32_t middle = low + ((high - low) >> 12) * (uint32_t)cm_predict(s);
            int bit = x <= middle;
            if (bit)
                high = middle;
            else
                low = middle + 1;
            cm_update(s, bit);
            while (((low ^ high) >> 24) == 0) {
                low <<= 8;
                high = high << 8 | 255;
                x = x << 8 | *in++;
            }
        }
        out[position] = (uint8_t)s->partial;
    }
}

/* The x86 filter: the 32-bit offsets after E8 (call) and E9 (jmp) bytes in
 * [start, end) become absolute big-endian positions, so calls to one
 * function repeat.  cm_x86_unfilter undoes it. */
static inline void cm_x86_filter(uint8_t* data, uint32_t start, uint32_t end)
{
    for (uint32_t i = start; i + 5 <= end; ++i)
        if ((data[i] & 0xFE) == 0xE8) {
            uint8_t* field = data + i + 1;
            uint32_t value = (uint32_t)field[0] | (uint32_t)field[1] << 8 | (uint32_t)field[2] << 16 |
                             (uint32_t)field[3] << 24;
            value += i + 5;
            for (int k = 0; k < 4; ++k)
                field[k] = (uint8_t)(value >> (24 - 8 * k));
            i += 4;
        }
}

static inline void cm_x86_unfilter(uint8_t* data, uint32_t start, uint32_t end)
{
    for (uint32_t i = start; i + 5 <= end; ++i)
        if ((data[i] & 0xFE) == 0xE8) {
            uint8_t* field = data + i + 1;
            uint32_t value = (uint32_t)field[0] << 24 | (uint32_t)field[1] << 16 | (uint32_t)field[2] << 8 | field[3];
            value -= i + 5;
            for (int k = 0; k < 4; ++k)
                field[k] = (uint8_t)(value >> (8 * k));
            i += 4;
        }
}

#endif
