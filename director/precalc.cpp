// Precalculation: the shared buffers and the fixed order that fills them (portable).
#include "director/precalc.h"

#include "atlas/atlas.h"
#include "base/memory.h"
#include "data/blocks.h"
#include "engine3d/mesh.h"
#include "imaging/effects.h"
#include "imaging/procedural.h"
#include "imaging/tables.h"
#include "text/captions.h"
#include "text/font.h"

uint32_t* texture_slots[texture_slot_count] = {};
image caption_table[caption_slot_count] = {};
uint32_t* work_buffer = nullptr;
image work_image = {};

void precalc_all()
{
    // Made once: the show only reads what is made here, so a second run
    // (the page's "play again") starts from the same without making it again.
    // Only the warp grids, which the effects carry from frame to frame,
    // start again from zero, so every run draws the same frames.
    static bool made = false;
    if (made) {
        warp_grids_clear();
        return;
    }
    made = true;
    work_buffer = static_cast<uint32_t*>(mem_alloc(size_t(screen_width) * screen_height * 4));
    for (auto& slot : texture_slots)
        slot = static_cast<uint32_t*>(mem_alloc(texture_size * texture_size * 4));
    work_image = {screen_width, screen_height, work_buffer};
    make_procedural_textures(&texture_slots[slot_glow]);  // slots 0 to 4
    build_texture_atlas(&texture_slots[slot_organic], texture_slots[slot_embossed]);  // 5 to 23, and 25
    font_init(embedded_font_bin, font_glyph_height, character_order, font_gap_threshold);
    setup_objects(texture_slots[slot_bubbles], texture_slots[slot_environment], texture_slots[slot_clouds]);
    polar_tables();              // and the zoomer's warp grids
    blob_table_setup();          // the lens tables
    render_captions(caption_table, texture_slots, texture_slot_count);  // and texture slots 25 to 28
}
