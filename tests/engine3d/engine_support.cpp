// What the 3D engine's tests share: small meshes in the stored format, the engine made ready once.
#include "tests/engine3d/engine_support.h"

#include "director/pictures.h"
#include "engine3d/mesh.h"
#include "tools/preview/stand_in_textures.h"

std::vector<uint8_t> stored_mesh(const std::vector<std::array<int, 3>>& vertices,
                                 const std::vector<std::array<int, 3>>& faces)
{
    std::vector<uint8_t> bytes;
    auto put = [&](int value) {
        bytes.push_back(uint8_t(value & 255));
        bytes.push_back(uint8_t((value >> 8) & 255));
    };
    put(int(vertices.size()));
    put(int(faces.size()));
    for (const auto& v : vertices)
        for (int c : v)
            put(c);
    for (const auto& f : faces)
        for (int c : f)
            put(c);
    return bytes;
}

object3d object_from(const std::vector<std::array<int, 3>>& vertices, const std::vector<std::array<int, 3>>& faces)
{
    object3d object{};
    load_mesh(stored_mesh(vertices, faces).data(), object);
    return object;
}

void ready_engine()
{
    static bool ready = false;
    if (ready)
        return;
    fill_stand_in_textures(false);
    setup_objects(texture_slots[slot_bubbles], texture_slots[slot_environment], texture_slots[slot_clouds]);
    ready = true;
}
