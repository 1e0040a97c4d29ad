// Precalculation: the shared buffers and the fixed order that fills them (portable).
#include "director/precalc.h"

#include "atlas/atlas.h"
#include "data/blocks.h"
#include "engine3d/mesh.h"
#include "imaging/procedural.h"
#include "imaging/tables.h"
#include "shell/display.h"
#include "shell/memory.h"
#include "text/captions.h"
#include "text/font.h"

uint32_t* screen_pixels = nullptr;
uint32_t* work_a = nullptr;
uint32_t* texture_slots[texture_slot_count] = {};
image screen_image = {};
image work_a_image = {};
uint8_t* zoom_tables = nullptr;

void precalc_all()
{
    screen_pixels = display_frame_buffer();
    work_a = static_cast<uint32_t*>(mem_alloc(size_t(screen_width) * screen_height * 4));
    for (auto& slot : texture_slots)
        slot = static_cast<uint32_t*>(mem_alloc(texture_size * texture_size * 4));
    screen_image = {screen_width, screen_height, screen_pixels};
    work_a_image = {screen_width, screen_height, work_a};
    make_procedural_textures();  // slots 0 to 4
    build_texture_atlas();       // slots 5 to 23 and 25
    font_init(embedded_font_bin, 19, character_order, 100);
    zoom_tables = static_cast<uint8_t*>(mem_alloc(256));
    setup_objects();             // the 3D objects and slot 24
    polar_tables();              // and the zoomer's warp grids
    blob_table_setup();          // the lens tables
    render_captions();           // and texture slots 25 to 28
}
