// The caption recipes' interpreter: one image step after another, as the stored program gives them (portable).
#include "text/recipes.h"

#include <cstring>

#include "imaging/blits.h"
#include "imaging/image.h"
#include "text/captions.h"
#include "text/font.h"

namespace {

struct recipe_reader {
    const uint8_t* at;

    uint8_t byte() { return *at++; }
    int16_t number()
    {
        int16_t value = int16_t(at[0] | at[1] << 8);
        at += 2;
        return value;
    }
    uint32_t colour()
    {
        uint32_t value = uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
        at += 4;
        return value;
    }
};

struct recipe_images {
    image* captions;
    uint32_t* const* textures;
    int texture_count;
    image scratch[2] = {};
    image texture_views[2] = {};  // texture slots seen as images: the target's, a source's
    image none = {};              // what an operand naming nothing refers to

    // The image an operand names; `view` keeps a target's texture view apart from a source's.
    image& operator()(uint8_t operand, int view = 1)
    {
        if (operand < caption_count)
            return captions[operand];
        if (operand == recipe_scratch_a || operand == recipe_scratch_b)
            return scratch[operand - recipe_scratch_a];
        if (operand >= recipe_texture_first && operand < recipe_texture_first + texture_count) {
            texture_views[view] = {texture_size, texture_size, textures[operand - recipe_texture_first]};
            return texture_views[view];
        }
        none = {};
        return none;
    }
};

}  // namespace

void run_caption_recipes(const uint8_t* program, image* captions, uint32_t* const* textures, int texture_count)
{
    recipe_reader in{program};
    recipe_images images{captions, textures, texture_count};
    for (;;) {
        const uint8_t opcode = in.byte();
        if (opcode == recipe_end || opcode >= recipe_opcode_count)
            return;
        image& target = images(in.byte(), 0);
        switch (opcode) {
        case recipe_sprite: {
            const int entry = in.byte();
            target = text_sprite(caption_text(entry), in.colour());
            break;
        }
        case recipe_text:
            target = text_image(caption_text(in.byte()));
            break;
        case recipe_copy:
            target = image_copy(images(in.byte()));
            break;
        case recipe_double:
            target = double_size(target);
            break;
        case recipe_double_width:
            target = double_width(target);
            break;
        case recipe_double_height:
            target = double_height(target);
            break;
        case recipe_rotate:
            rotate_quarter(target);
            break;
        case recipe_mirror:
            mirror_horizontal(target);
            break;
        case recipe_flip:
            flip_vertical(target);
            break;
        case recipe_invert:
            invert_image(target);
            break;
        case recipe_release:
            image_release(target);
            break;
        case recipe_glow: {
            const int16_t radius = in.number(), brightness = in.number();
            target = make_glow(radius, brightness, uint16_t(in.number()), target);
            break;
        }
        case recipe_blur: {
            const int16_t horizontal = in.number();
            blur(horizontal, in.number(), target);
            break;
        }
        case recipe_multiply:
            multiply_colour(in.colour(), target);
            break;
        case recipe_brightness:
            adjust_brightness(in.number(), target);
            break;
        case recipe_alpha:
            alpha_from_blue(images(in.byte()), target);
            break;
        case recipe_add:
        case recipe_subtract:
        case recipe_blend: {
            const image source = images(in.byte());
            const int16_t x = in.number(), y = in.number();
            if (opcode == recipe_add)
                blit_add(source, target, x, y);
            else if (opcode == recipe_subtract)
                blit_subtract(source, target, x, y);
            else
                blit_alpha(source, target, x, y);
            break;
        }
        case recipe_store: {
            image& source = images(in.byte());
            if (target.pixels && source.width == texture_size && source.height == texture_size)
                std::memcpy(target.pixels, source.pixels, size_t(texture_size) * texture_size * 4);
            image_release(source);
            break;
        }
        }
    }
}
