// The MPEG-1 intra-picture encoder that makes atlas streams from ordinary pictures (portable; tools only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/media_files.h"

constexpr int mpeg_encoder_default_qscale = 5;

// Encodes `pic` (sides multiples of 16, at most 4080) as one sequence with
// one group of pictures, one I picture and one slice holding every
// macroblock at quantiser scale `qscale` (1 to 31), ended by the sequence
// end code.  False with `error` when the picture cannot be encoded.
bool encode_intra_picture(const picture& pic, int qscale, std::vector<uint8_t>* stream, std::string* error);

// Decodes `stream` with the program's decoder into `pic` (cropped to the
// picture size, no edge smoothing unless `filter_rows` > 0).  False with a
// one-line `error` naming what is wrong with the stream.
bool decode_intra_picture(const std::vector<uint8_t>& stream, int filter_rows, picture* pic,
                          std::vector<uint8_t>* planes, std::string* error);

// Peak signal-to-noise ratio in dB over red, green and blue of two pictures
// of the same size (99 for identical pictures).
double picture_psnr(const picture& a, const picture& b);
