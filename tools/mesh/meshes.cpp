// The meshes' data builder (content/meshes/ to data/*_mesh.bin) and `oddball-tool info-meshes` (portable; tool code).
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "data/blocks.h"
#include "engine3d/mesh.h"
#include "tools/cli/command.h"
#include "tools/data/data_builder.h"
#include "tools/mesh/mesh_generator.h"
#include "tools/mesh/mesh_info.h"

namespace {

bool build_meshes(const std::string& content_dir, std::vector<data_block_out>& out)
{
    const std::string path = content_dir + "/meshes/meshes.txt";
    mesh_parameters parameters;
    std::string error;
    if (!read_mesh_parameters(path, parameters, error)) {
        std::fprintf(stderr, "oddball-tool: %s\n", error.c_str());
        return false;
    }
    struct {
        const char* block;
        bool (*generate)(const mesh_parameters&, generated_mesh&, std::string&);
    } const meshes[] = {
        {"outline_mesh.bin", generate_outline_mesh},
        {"ball_mesh.bin", generate_ball_mesh},
        {"sphere_mesh.bin", generate_sphere_mesh},
    };
    for (const auto& m : meshes) {
        generated_mesh mesh;
        if (!m.generate(parameters, mesh, error)) {
            std::fprintf(stderr, "oddball-tool: %s: %s\n", path.c_str(), error.c_str());
            return false;
        }
        out.push_back({m.block, encode_mesh(mesh)});
    }
    return true;
}

int info_meshes(int argc, char**)
{
    if (argc != 1)
        return tool_usage_error("info-meshes takes no arguments");
    print_mesh_info(stdout);
    return 0;
}

}  // namespace

void print_mesh_info(FILE* out)
{
    struct {
        const char* name;
        const unsigned char* bytes;
        unsigned long size;
    } const meshes[] = {
        {"outline_mesh", embedded_outline_mesh_bin, embedded_outline_mesh_bin_size},
        {"ball_mesh", embedded_ball_mesh_bin, embedded_ball_mesh_bin_size},
        {"sphere_mesh", embedded_sphere_mesh_bin, embedded_sphere_mesh_bin_size},
    };
    for (const auto& m : meshes) {
        object3d object{};
        load_mesh(m.bytes, object);
        build_edge_list(object, 256);
        float low[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, high[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
        double near = DBL_MAX, far = 0;
        for (int32_t i = 0; i < object.vertex_count; ++i) {
            const vec3& v = object.base_vertices[i];
            const float c[3] = {v.x, v.y, v.z};
            for (int k = 0; k < 3; ++k)
                low[k] = std::fmin(low[k], c[k]), high[k] = std::fmax(high[k], c[k]);
            const double r = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
            near = std::fmin(near, r);
            far = std::fmax(far, r);
        }
        std::fprintf(out,
                     "%s: %d vertices, %d faces, %lu bytes\n"
                     "  x %g..%g, y %g..%g, z %g..%g\n"
                     "  distance from the origin %.1f..%.1f\n"
                     "  feature edges %d\n",
                     m.name, object.vertex_count, object.face_count, m.size, low[0], high[0], low[1], high[1],
                     low[2], high[2], near, far, object.edge_count);
        release_object(object);
    }
}

const data_builder meshes_builder{"meshes", build_meshes};
const tool_command info_meshes_command{"info-meshes", "",
                     "prints each stored mesh's counts, extents, distance range and feature edges", info_meshes};
