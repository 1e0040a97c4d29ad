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

uint32_t* screen_pixels = nullptr;
uint32_t* work_buffer = nullptr;
image work_image = {};

void precalc_all(uint32_t* frame_buffer)
{
    screen_pixels = frame_buffer;
    // Made once: the show only reads what is made here, so a second run
    // (the page's "play again") starts from the same without making it again.
    static bool made = false;
    if (made)
        return;
    made = true;
    work_buffer = static_cast<uint32_t*>(mem_alloc(size_t(screen_width) * screen_height * 4));
    for (auto& slot : texture_slots)
        slot = static_cast<uint32_t*>(mem_alloc(texture_size * texture_size * 4));
    work_image = {screen_width, screen_height, work_buffer};
    make_procedural_textures();  // slots 0 to 4
    build_texture_atlas();       // slots 5 to 23 and 25
    font_init(embedded_font_bin, 19, character_order, 100);
    zoom_tables = static_cast<uint8_t*>(mem_alloc(256));
    setup_objects();             // the 3D objects and slot 24
    polar_tables();              // and the zoomer's warp grids
    blob_table_setup();          // the lens tables
    render_captions();           // and texture slots 25 to 28
}
