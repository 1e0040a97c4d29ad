// What the 3D engine's tests share: small meshes in the stored format, the engine made ready once.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine3d/mesh.h"

// A mesh in the stored format from vertex and face lists.
std::vector<uint8_t> stored_mesh(const std::vector<std::array<int, 3>>& vertices,
                                 const std::vector<std::array<int, 3>>& faces);
// load_mesh of such a mesh into a fresh object (release it with release_object).
object3d object_from(const std::vector<std::array<int, 3>>& vertices, const std::vector<std::array<int, 3>>& faces);

// Stand-in textures in every slot the engine reads and the three objects set
// up from the stored meshes; done once per test program.
void ready_engine();
