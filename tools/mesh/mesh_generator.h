// Generates the show's three meshes from their parameters and stores them in the engine's mesh format (portable; tool code).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct generated_mesh {
    std::vector<std::array<int16_t, 3>> vertices;
    std::vector<std::array<int16_t, 3>> faces;  // wound so (b - a) x (c - a) points outwards
};

// Parameters read from content/meshes/meshes.txt: "name = numbers" lines.
using mesh_parameters = std::map<std::string, std::vector<double>>;
// False with one line in `error` (file and line) on a malformed line.
bool read_mesh_parameters(const std::string& path, mesh_parameters& out, std::string& error);

// Each returns false with a reason in `error` when the parameters do not give
// a mesh of the expected counts, extents and feature edges.
bool generate_outline_mesh(const mesh_parameters& p, generated_mesh& out, std::string& error);
bool generate_ball_mesh(const mesh_parameters& p, generated_mesh& out, std::string& error);
bool generate_sphere_mesh(const mesh_parameters& p, generated_mesh& out, std::string& error);

// The stored form: V, F, vertices, faces, all signed 16-bit little-endian.
std::vector<uint8_t> encode_mesh(const generated_mesh& mesh);
// The number of feature edges the engine's own build_edge_list finds (threshold 256).
int32_t count_feature_edges(const std::vector<uint8_t>& stored);
