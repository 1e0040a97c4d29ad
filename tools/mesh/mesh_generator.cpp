// Generates the show's three meshes from their parameters and stores them in the engine's mesh format (portable; tool code).
#include "tools/mesh/mesh_generator.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

#include "engine3d/mesh.h"
#include "media/whole_file.h"

namespace {

struct dvec {
    double x, y, z;
    dvec operator+(const dvec& o) const { return {x + o.x, y + o.y, z + o.z}; }
    dvec operator-(const dvec& o) const { return {x - o.x, y - o.y, z - o.z}; }
    dvec operator*(double k) const { return {x * k, y * k, z * k}; }
    double dot(const dvec& o) const { return x * o.x + y * o.y + z * o.z; }
    dvec cross(const dvec& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double length() const { return std::sqrt(dot(*this)); }
};

// splitmix64: a small, fully specified generator, so a seed gives the same mesh everywhere.
struct random_source {
    uint64_t state;
    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform(double lo, double hi) { return lo + (hi - lo) * double(next() >> 11) * 0x1.0p-53; }
};

const double pi = 3.14159265358979323846;

bool need(const mesh_parameters& p, const std::string& key, size_t count, std::vector<double>& out,
          std::string& error)
{
    auto it = p.find(key);
    if (it == p.end() || it->second.size() != count) {
        error = "parameter '" + key + "' needs " + std::to_string(count) + " number(s)";
        return false;
    }
    out = it->second;
    return true;
}

// Rotation by three angles in degrees (about x, then y, then z).
dvec rotate(dvec p, const std::vector<double>& degrees)
{
    const double a = degrees[0] * pi / 180, b = degrees[1] * pi / 180, c = degrees[2] * pi / 180;
    p = {p.x, p.y * std::cos(a) - p.z * std::sin(a), p.y * std::sin(a) + p.z * std::cos(a)};
    p = {p.x * std::cos(b) + p.z * std::sin(b), p.y, -p.x * std::sin(b) + p.z * std::cos(b)};
    return {p.x * std::cos(c) - p.y * std::sin(c), p.x * std::sin(c) + p.y * std::cos(c), p.z};
}

std::array<int16_t, 3> rounded(const dvec& p)
{
    return {int16_t(std::lrint(p.x)), int16_t(std::lrint(p.y)), int16_t(std::lrint(p.z))};
}

dvec as_dvec(const std::array<int16_t, 3>& p)
{
    return {double(p[0]), double(p[1]), double(p[2])};
}

// Winds a face so that its normal points along `outward`.
std::array<int16_t, 3> wound(const generated_mesh& m, int a, int b, int c, const dvec& outward)
{
    const dvec pa = as_dvec(m.vertices[a]), pb = as_dvec(m.vertices[b]), pc = as_dvec(m.vertices[c]);
    if ((pb - pa).cross(pc - pa).dot(outward) < 0)
        std::swap(b, c);
    return {int16_t(a), int16_t(b), int16_t(c)};
}

// Every face must have a normal the engine can measure: the cross product / 32
// neither so small that its rounded squares vanish nor so large that their sum
// leaves 32 bits.
bool faces_measurable(const generated_mesh& m, std::string& error)
{
    for (const auto& f : m.faces) {
        const dvec pa = as_dvec(m.vertices[f[0]]), pb = as_dvec(m.vertices[f[1]]), pc = as_dvec(m.vertices[f[2]]);
        const double n = (pb - pa).cross(pc - pa).length() / 32;
        if (n < 16 || n * n >= 2147483647.0) {
            error = "a face's normal is out of the measurable range";
            return false;
        }
    }
    return true;
}

bool check_counts(const generated_mesh& m, size_t vertices, size_t faces, int32_t features, const char* name,
                  std::string& error)
{
    if (m.vertices.size() != vertices || m.faces.size() != faces) {
        error = std::string(name) + ": " + std::to_string(m.vertices.size()) + " vertices and " +
                std::to_string(m.faces.size()) + " faces instead of " + std::to_string(vertices) + " and " +
                std::to_string(faces);
        return false;
    }
    const int32_t found = count_feature_edges(encode_mesh(m));
    if (found != features) {
        error = std::string(name) + ": " + std::to_string(found) + " feature edges instead of " +
                std::to_string(features);
        return false;
    }
    return faces_measurable(m, error);
}

bool radii_within(const generated_mesh& m, double lo, double hi, const char* name, std::string& error)
{
    for (const auto& v : m.vertices) {
        const double r = as_dvec(v).length();
        if (r < lo || r > hi) {
            error = std::string(name) + ": a vertex at distance " + std::to_string(r);
            return false;
        }
    }
    return true;
}

// ---- the outline ----

using point2 = std::array<int64_t, 2>;

int64_t cross2(const point2& o, const point2& a, const point2& b)
{
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

double angle_at(const point2& at, const point2& p, const point2& q)
{
    const double ax = double(p[0] - at[0]), ay = double(p[1] - at[1]);
    const double bx = double(q[0] - at[0]), by = double(q[1] - at[1]);
    return std::acos(std::clamp((ax * bx + ay * by) / std::hypot(ax, ay) / std::hypot(bx, by), -1.0, 1.0));
}

// Ear clipping of a counter-clockwise simple polygon, always cutting the ear
// with the widest smallest angle so the caps get no needle triangles.
bool triangulate(const std::vector<point2>& polygon, std::vector<std::array<int, 3>>& out)
{
    std::vector<int> left(polygon.size());
    for (size_t i = 0; i < left.size(); ++i)
        left[i] = int(i);
    while (left.size() > 3) {
        const size_t n = left.size();
        int best = -1;
        double best_angle = -1;
        for (size_t k = 0; k < n; ++k) {
            const point2& p = polygon[left[(k + n - 1) % n]];
            const point2& a = polygon[left[k]];
            const point2& q = polygon[left[(k + 1) % n]];
            if (cross2(p, a, q) <= 0)
                continue;  // reflex or straight
            bool empty = true;
            for (size_t m = 0; m < n && empty; ++m) {
                const point2& r = polygon[left[m]];
                if (m == k || m == (k + 1) % n || m == (k + n - 1) % n)
                    continue;
                empty = !(cross2(p, a, r) >= 0 && cross2(a, q, r) >= 0 && cross2(q, p, r) >= 0);
            }
            if (!empty)
                continue;
            const double smallest = std::min({angle_at(a, p, q), angle_at(p, a, q), angle_at(q, a, p)});
            if (smallest > best_angle)
                best_angle = smallest, best = int(k);
        }
        if (best < 0)
            return false;
        out.push_back({left[(best + n - 1) % n], left[best], left[(best + 1) % n]});
        left.erase(left.begin() + best);
    }
    out.push_back({left[0], left[1], left[2]});
    return true;
}

bool try_outline(const mesh_parameters& p, random_source& random, generated_mesh& out, std::string& error)
{
    std::vector<double> count, xr, yr, zr, tip, valley, jitter, turn;
    if (!need(p, "outline.points", 1, count, error) || !need(p, "outline.x", 2, xr, error) ||
        !need(p, "outline.y", 2, yr, error) || !need(p, "outline.z", 2, zr, error) ||
        !need(p, "outline.tip_radius", 2, tip, error) || !need(p, "outline.valley_radius", 2, valley, error) ||
        !need(p, "outline.angle_jitter", 1, jitter, error) || !need(p, "outline.min_turn_degrees", 1, turn, error))
        return false;
    const int n = int(count[0]);
    // A star: tips and valleys by turns at jittered angles, counter-clockwise.
    std::vector<double> px(n), py(n);
    for (int k = 0; k < n; ++k) {
        const double step = 2 * pi / n;
        const double angle = k * step + random.uniform(-jitter[0], jitter[0]) * step;
        const double r = k % 2 == 0 ? random.uniform(tip[0], tip[1]) : random.uniform(valley[0], valley[1]);
        px[k] = r * std::cos(angle);
        py[k] = r * std::sin(angle);
    }
    // Stretched to fill the extents exactly.
    const auto [x0, x1] = std::minmax_element(px.begin(), px.end());
    const auto [y0, y1] = std::minmax_element(py.begin(), py.end());
    const double bx0 = *x0, bx1 = *x1, by0 = *y0, by1 = *y1;
    std::vector<point2> polygon(n);
    for (int k = 0; k < n; ++k)
        polygon[k] = {std::llrint(xr[0] + (px[k] - bx0) / (bx1 - bx0) * (xr[1] - xr[0])),
                      std::llrint(yr[0] + (py[k] - by0) / (by1 - by0) * (yr[1] - yr[0]))};
    // Every corner must turn clearly, or the side faces there would meet almost flat.
    for (int k = 0; k < n; ++k) {
        const point2& prev = polygon[(k + n - 1) % n];
        const point2& at = polygon[k];
        const point2& next = polygon[(k + 1) % n];
        if (pi - angle_at(at, prev, next) < turn[0] * pi / 180) {
            error = "outline: a corner turns too little";
            return false;
        }
    }
    std::vector<std::array<int, 3>> cap;
    if (!triangulate(polygon, cap)) {
        error = "outline: no triangulation";
        return false;
    }
    out = {};
    for (int side = 0; side < 2; ++side)
        for (int k = 0; k < n; ++k)
            out.vertices.push_back({int16_t(polygon[k][0]), int16_t(polygon[k][1]), int16_t(zr[side])});
    const dvec front_out = {0, 0, zr[0] > zr[1] ? 1.0 : -1.0};
    for (const auto& t : cap)
        out.faces.push_back(wound(out, t[0], t[1], t[2], front_out));
    for (const auto& t : cap)
        out.faces.push_back(wound(out, t[0] + n, t[1] + n, t[2] + n, front_out * -1));
    for (int k = 0; k < n; ++k) {
        const int j = (k + 1) % n;
        // Outwards from a counter-clockwise outline is to the right of its direction.
        const dvec outward = {double(polygon[j][1] - polygon[k][1]), double(polygon[k][0] - polygon[j][0]), 0};
        out.faces.push_back(wound(out, k, j, j + n, outward));
        out.faces.push_back(wound(out, k, j + n, k + n, outward));
    }
    return check_counts(out, size_t(2 * n), size_t(4 * n - 4), 3 * n, "outline", error);
}

// ---- the ball: a truncated icosidodecahedron with its faces fanned into triangles ----

std::vector<dvec> truncated_icosidodecahedron()
{
    const double phi = (1 + std::sqrt(5.0)) / 2;
    const dvec groups[5] = {{1 / phi, 1 / phi, 3 + phi},
                            {2 / phi, phi, 1 + 2 * phi},
                            {1 / phi, phi * phi, -1 + 3 * phi},
                            {2 * phi - 1, 2, 2 + phi},
                            {phi, 3, 2 * phi}};
    std::vector<dvec> points;
    for (const dvec& g : groups)
        for (int rotation = 0; rotation < 3; ++rotation)  // the even permutations
            for (int signs = 0; signs < 8; ++signs) {
                dvec p = rotation == 0 ? g : rotation == 1 ? dvec{g.y, g.z, g.x} : dvec{g.z, g.x, g.y};
                points.push_back({signs & 1 ? -p.x : p.x, signs & 2 ? -p.y : p.y, signs & 4 ? -p.z : p.z});
            }
    return points;
}

// The faces of the convex hull of points around the origin, each as its
// vertices in counter-clockwise order seen from outside.
std::vector<std::vector<int>> hull_faces(const std::vector<dvec>& points)
{
    std::set<std::vector<int>> found;
    const int n = int(points.size());
    const double eps = 1e-7;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            for (int k = j + 1; k < n; ++k) {
                dvec normal = (points[j] - points[i]).cross(points[k] - points[i]);
                if (normal.length() < 1e-9)
                    continue;
                normal = normal * (1 / normal.length());
                if (normal.dot(points[i]) < 0)
                    normal = normal * -1;
                const double d = normal.dot(points[i]);
                std::vector<int> on;
                bool supporting = true;
                for (int m = 0; m < n && supporting; ++m) {
                    const double s = normal.dot(points[m]) - d;
                    supporting = s < eps;
                    if (std::fabs(s) < eps)
                        on.push_back(m);
                }
                if (supporting)
                    found.insert(on);
            }
    std::vector<std::vector<int>> faces;
    for (std::vector<int> f : found) {
        dvec centre = {0, 0, 0};
        for (int v : f)
            centre = centre + points[v];
        centre = centre * (1.0 / double(f.size()));
        const dvec axis = centre * (1 / centre.length());
        const dvec e1 = (points[f[0]] - centre) * (1 / (points[f[0]] - centre).length());
        const dvec e2 = axis.cross(e1);
        std::sort(f.begin(), f.end(), [&](int a, int b) {
            const dvec da = points[a] - centre, db = points[b] - centre;
            return std::atan2(da.dot(e2), da.dot(e1)) < std::atan2(db.dot(e2), db.dot(e1));
        });
        faces.push_back(f);
    }
    return faces;
}

// ---- the geodesic sphere ----

std::vector<dvec> icosahedron_vertices()
{
    const double phi = (1 + std::sqrt(5.0)) / 2;
    std::vector<dvec> v;
    for (int s = 0; s < 4; ++s) {
        const double a = s & 1 ? -1 : 1, b = s & 2 ? -phi : phi;
        v.push_back({0, a, b});
        v.push_back({a, b, 0});
        v.push_back({b, 0, a});
    }
    return v;
}

}  // namespace

bool read_mesh_parameters(const std::string& path, mesh_parameters& out, std::string& error)
{
    std::string text;
    if (!read_text_file(path, &text, &error))
        return false;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        const size_t equals = line.find('=');
        std::istringstream name_in(line.substr(0, equals)), values_in(equals == std::string::npos ? "" : line.substr(equals + 1));
        std::string name, extra;
        std::vector<double> values;
        double value;
        while (values_in >> value)
            values.push_back(value);
        if (equals == std::string::npos || !(name_in >> name) || (name_in >> extra) || values.empty() ||
            !values_in.eof()) {
            error = path + ":" + std::to_string(number) + ": expected 'name = numbers'";
            return false;
        }
        out[name] = values;
    }
    return true;
}

bool generate_outline_mesh(const mesh_parameters& p, generated_mesh& out, std::string& error)
{
    std::vector<double> seed, attempts;
    if (!need(p, "outline.seed", 1, seed, error) || !need(p, "outline.attempts", 1, attempts, error))
        return false;
    random_source random{uint64_t(seed[0])};
    // Draws stars until one has clear corners, a clean triangulation and the
    // expected feature edges.
    for (int attempt = 0; attempt < int(attempts[0]); ++attempt) {
        if (try_outline(p, random, out, error))
            return true;
        if (error.rfind("parameter", 0) == 0)
            return false;
    }
    error = "outline: no star in " + std::to_string(int(attempts[0])) + " attempts (last: " + error + ")";
    return false;
}

bool generate_ball_mesh(const mesh_parameters& p, generated_mesh& out, std::string& error)
{
    std::vector<double> radius, turn;
    if (!need(p, "ball.radius", 1, radius, error) || !need(p, "ball.turn_degrees", 3, turn, error))
        return false;
    std::vector<dvec> points = truncated_icosidodecahedron();
    const double scale = radius[0] / points[0].length();
    for (dvec& q : points)
        q = rotate(q * scale, turn);
    out = {};
    for (const dvec& q : points)
        out.vertices.push_back(rounded(q));
    // Each flat face (square, hexagon, decagon) becomes a fan of nearly
    // coplanar triangles whose shared edges the line drawing leaves out.
    const auto faces = hull_faces(points);
    if (faces.size() != 62) {
        error = "ball: " + std::to_string(faces.size()) + " flat faces instead of 62";
        return false;
    }
    for (const auto& f : faces)
        for (size_t k = 1; k + 1 < f.size(); ++k)
            out.faces.push_back(wound(out, f[0], f[k], f[k + 1], points[f[0]]));
    return check_counts(out, 120, 236, 180, "ball", error) && radii_within(out, 562, 572, "ball", error);
}

bool generate_sphere_mesh(const mesh_parameters& p, generated_mesh& out, std::string& error)
{
    std::vector<double> radius, turn, divisions;
    if (!need(p, "sphere.radius", 1, radius, error) || !need(p, "sphere.turn_degrees", 3, turn, error) ||
        !need(p, "sphere.divisions", 1, divisions, error))
        return false;
    const int n = int(divisions[0]);
    const std::vector<dvec> ico = icosahedron_vertices();
    std::vector<dvec> directions;  // unit vectors of the vertices made so far
    auto vertex_at = [&](const dvec& q) {
        const dvec d = q * (1 / q.length());
        for (size_t i = 0; i < directions.size(); ++i)
            if ((directions[i] - d).length() < 1e-9)
                return int(i);
        directions.push_back(d);
        return int(directions.size() - 1);
    };
    std::vector<std::array<int, 3>> triangles;
    for (int i = 0; i < 12; ++i)
        for (int j = i + 1; j < 12; ++j)
            for (int k = j + 1; k < 12; ++k) {
                const dvec a = ico[i], b = ico[j], c = ico[k];
                if (std::fabs((b - a).length() - 2) > 1e-9 || std::fabs((c - a).length() - 2) > 1e-9 ||
                    std::fabs((c - b).length() - 2) > 1e-9)
                    continue;
                // Each face of the icosahedron cut into n x n triangles.
                auto grid = [&](int s, int t) { return vertex_at(a + (b - a) * (double(s) / n) + (c - a) * (double(t) / n)); };
                for (int s = 0; s < n; ++s)
                    for (int t = 0; s + t < n; ++t) {
                        triangles.push_back({grid(s, t), grid(s + 1, t), grid(s, t + 1)});
                        if (s + t + 1 < n)
                            triangles.push_back({grid(s + 1, t), grid(s + 1, t + 1), grid(s, t + 1)});
                    }
            }
    out = {};
    for (const dvec& d : directions)
        out.vertices.push_back(rounded(rotate(d * radius[0], turn)));
    for (const auto& t : triangles)
        out.faces.push_back(wound(out, t[0], t[1], t[2], as_dvec(out.vertices[t[0]])));
    const size_t faces = size_t(20 * n * n);
    return check_counts(out, faces / 2 + 2, faces, int32_t(faces * 3 / 2), "sphere", error) &&
           radii_within(out, 508, 516, "sphere", error);
}

std::vector<uint8_t> encode_mesh(const generated_mesh& mesh)
{
    std::vector<uint8_t> bytes;
    auto put = [&](int32_t value) {
        bytes.push_back(uint8_t(value & 255));
        bytes.push_back(uint8_t((value >> 8) & 255));
    };
    put(int32_t(mesh.vertices.size()));
    put(int32_t(mesh.faces.size()));
    for (const auto& v : mesh.vertices)
        for (int16_t c : v)
            put(c);
    for (const auto& f : mesh.faces)
        for (int16_t c : f)
            put(c);
    return bytes;
}

int32_t count_feature_edges(const std::vector<uint8_t>& stored)
{
    object3d object{};
    load_mesh(stored.data(), object);
    build_edge_list(object, 256);
    const int32_t count = object.edge_count;
    release_object(object);
    return count;
}
