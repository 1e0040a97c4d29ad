// The MPEG-1 intra-picture decoder that unpacks the texture atlas: headers, blocks, IDCT, colours, edge smoothing (portable).
#pragma once

#include <cstdint>

#include "imaging/image.h"

// How a decode ended.  The show ignores it; the tools report it.
enum mpeg_result : int32_t {
    mpeg_finished,        // every macroblock decoded and the edges smoothed
    mpeg_bad_header,      // sequence or picture header refused: nothing written
    mpeg_too_large,       // the macroblocks would not fit the destination: nothing written
    mpeg_bad_slice,       // no slice start code where one must be
    mpeg_bad_macroblock,  // address increment other than 1, or not an intra macroblock
    mpeg_bad_block,       // a code outside the tables, or a coefficient past scan position 63
};

// Where the decoder also stores its samples before colour conversion
// (tools and tests): planar 4:2:0 bytes, each sample + 128 clamped to 0..255.
struct mpeg_sample_planes {
    uint8_t* luma;
    uint8_t* cb;
    uint8_t* cr;
    int32_t luma_stride;    // at least mb_width x 16
    int32_t chroma_stride;  // at least mb_width x 8
};

struct mpeg_decoder_state {
    int32_t picture_width, picture_height;  // from the sequence header
    int32_t mb_width, mb_height;
    int32_t mb_total;               // 0 until the headers were parsed successfully
    int32_t quant_matrix[64];       // intra weights by scan position
    int32_t quantiser_scale;
    int32_t dc_predictor[3];        // luminance, Cb, Cr
    // Colour conversion terms for values -512..511, stored at value + 512.
    int32_t cr_to_r[1024], cb_to_g[1024], cr_to_g[1024], cb_to_b[1024];
    // Macroblock work area: samples centred on 0.
    int32_t luminance[256], cb[64], cr[64];
    int32_t coefficients[64];       // the block being decoded, natural order
    bool block_has_ac;              // a coefficient besides DC was decoded into it
    int32_t macroblock;             // the one being decoded; when stopped, how many were written
    int32_t slices;                 // slice start codes met
    const mpeg_sample_planes* planes;  // null in the show
};
extern mpeg_decoder_state mpeg_decoder;

// Parses the headers of the `size`-byte stream at `data`, then decodes the
// picture into `destination` (row stride = its width) and smooths the block
// edges of its top `filter_rows` rows.  Reads nothing outside the stream.
mpeg_result decode_atlas_picture(const uint8_t* data, uint32_t size, image destination, int32_t filter_rows);

// Builds the colour tables, resets the matrix and parses up to the first
// slice; on failure mb_total stays 0 and decoding then writes nothing.
void mpeg_parse_headers(const uint8_t* data, uint32_t size);

// Decodes every macroblock into `destination`, whole macroblocks at their
// places (nothing cropped), then smooths the edges of the top `filter_rows`
// rows.  A bad slice, macroblock or block stops it without smoothing.
mpeg_result mpeg_decode_picture(image destination, int32_t filter_rows);

// Decodes block b (0-3 luminance, 4 Cb, 5 Cr) into mpeg_decoder.coefficients.
bool mpeg_decode_block(int b);

// The integer inverse DCT: the column pass works in place on a block in
// natural order; the row pass writes its rows to `out` with row stride `out_stride`.
void idct_column_pass(int32_t* block);
void idct_row_pass(const int32_t* block, int32_t* out, int32_t out_stride);
// Both passes on a block (which the column pass overwrites): with AVX2 when
// the processor has it (idct_block_avx2, x86-64 only), else the plain passes
// (idct_block_plain); the results are the same.
void idct_block(int32_t* block, int32_t* out, int32_t out_stride);
void idct_block_plain(int32_t* block, int32_t* out, int32_t out_stride);
void idct_block_avx2(int32_t* block, int32_t* out, int32_t out_stride);

// Converts the macroblock work area (luminance, cb, cr) into 16 x 16 pixels
// at `out` (row stride `stride`): 0x00RRGGBB, each channel clamped.  The
// plain version pixel by pixel through the colour tables is the reference
// the faster one (SSE2, arithmetic in place of the tables) must match.
void mpeg_convert_macroblock(uint32_t* out, int32_t stride);
void mpeg_convert_macroblock_plain(uint32_t* out, int32_t stride);

// Blends the pixels on both sides of every 8-pixel block edge in the top
// `filter_rows` rows (horizontal edges first, then vertical ones).
void smooth_block_edges(image destination, int32_t filter_rows);
