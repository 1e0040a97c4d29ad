// The caption recipes: a small stored program of image steps that makes the captions and the worded textures (portable).
#pragma once

#include <cstdint>

#include "base/image.h"

// One step is an opcode byte and its operands.  An image operand is one
// byte: a caption slot (0..133), a scratch image, or a texture slot; a colour
// is 4 bytes and a number 2 bytes, low byte first.  Opcode 0 ends the program.
enum recipe_opcode : uint8_t {
    recipe_end = 0,
    recipe_sprite,      // image, text entry, colour
    recipe_text,        // image, text entry
    recipe_copy,        // image, source image
    recipe_double,      // image
    recipe_double_width,
    recipe_double_height,
    recipe_rotate,
    recipe_mirror,
    recipe_flip,
    recipe_invert,
    recipe_release,
    recipe_glow,        // image, radius, brightness, contrast
    recipe_blur,        // image, horizontal radius, vertical radius
    recipe_multiply,    // image, colour
    recipe_brightness,  // image, amount
    recipe_alpha,       // image, source image: the source's blue becomes the alpha
    recipe_add,         // image, source image, x, y
    recipe_subtract,
    recipe_blend,
    recipe_store,       // texture slot, source image (released)
    recipe_opcode_count
};

constexpr uint8_t recipe_scratch_a = 200;
constexpr uint8_t recipe_scratch_b = 201;
constexpr uint8_t recipe_texture_first = 224;  // texture slot n is 224 + n

// Runs the recipe program at `program` over `captions` (caption_count
// images) and `textures` (texture_count of texture_size x texture_size).
// The program is trusted stored data, followed by zero bytes; an operand
// that names no image refers to an empty one.
void run_caption_recipes(const uint8_t* program, image* captions, uint32_t* const* textures, int texture_count);
