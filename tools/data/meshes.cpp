// meshes.cpp -- the star, tunnel, cube, city, island and tree, each sized for the camera that shows it
//
// The player's reader takes "v", "vt" and "f a/b/c" lines and finds its keys anywhere in a
// line, so the files carry no comments: a word ending in v or f before a blank would be
// read as a vertex or a face.
#include "tools/data/meshes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "tools/data/canvas.h"

namespace {

const double pi = 3.14159265358979323846;

struct P3 {
    double x = 0, y = 0, z = 0;
};

P3 operator+(P3 a, P3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
P3 operator-(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
P3 operator*(P3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
P3 cross(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(P3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
P3 normalised(P3 a) {
    const double l = length(a);
    return l > 0 ? a * (1.0 / l) : P3{0, 1, 0};
}

// Collects positions, texture coordinates and triangles; writes them with one face normal each.
struct ObjBuilder {
    std::vector<P3> positions;
    std::vector<double> texCoords;  // u, v pairs
    struct Tri {
        int p[3] = {};
        int t[3] = {};
    };
    std::vector<Tri> tris;

    int vertex(P3 p) {
        positions.push_back(p);
        return static_cast<int>(positions.size()) - 1;
    }
    int texCoord(double u, double v) {
        texCoords.push_back(u);
        texCoords.push_back(v);
        return static_cast<int>(texCoords.size() / 2) - 1;
    }
    void tri(int a, int b, int c, int ta = 0, int tb = 0, int tc = 0) { tris.push_back({{a, b, c}, {ta, tb, tc}}); }
    // A quad a b c d, counter-clockwise, as two triangles.
    void quad(int a, int b, int c, int d, int ta = 0, int tb = 0, int tc = 0, int td = 0) {
        tri(a, b, c, ta, tb, tc);
        tri(a, c, d, ta, tc, td);
    }

    std::string text() {
        if (texCoords.empty()) texCoord(0, 0);
        std::string out;
        out.reserve(positions.size() * 32 + tris.size() * 64);
        char line[128];
        for (const P3& p : positions) {
            std::snprintf(line, sizeof line, "v %.4f %.4f %.4f\n", p.x, p.y, p.z);
            out += line;
        }
        for (size_t i = 0; i < texCoords.size(); i += 2) {
            std::snprintf(line, sizeof line, "vt %.4f %.4f\n", texCoords[i], texCoords[i + 1]);
            out += line;
        }
        for (const Tri& t : tris) {
            const P3 n = normalised(cross(positions[t.p[1]] - positions[t.p[0]], positions[t.p[2]] - positions[t.p[0]]));
            std::snprintf(line, sizeof line, "vn %.4f %.4f %.4f\n", n.x, n.y, n.z);
            out += line;
        }
        int normal = 1;
        for (const Tri& t : tris) {
            std::snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", t.p[0] + 1, t.t[0] + 1, normal,
                          t.p[1] + 1, t.t[1] + 1, normal, t.p[2] + 1, t.t[2] + 1, normal);
            out += line;
            ++normal;
        }
        return out;
    }

    // An axis-aligned box standing on y = y0, without its floor; walls take texture
    // coordinates from their position so that a facade picture would tile over the block.
    void box(double x0, double z0, double x1, double z1, double y0, double y1) {
        const P3 c[8] = {{x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1},
                         {x0, y1, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}};
        int v[8];
        for (int i = 0; i < 8; ++i) v[i] = vertex(c[i]);
        const int sides[4][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}};
        for (const auto& s : sides) {
            const P3 a = c[s[0]], b = c[s[1]];
            const double ua = (a.x + a.z) * 0.1 + 0.5, ub = (b.x + b.z) * 0.1 + 0.5;
            const int t0 = texCoord(ua, y0 / 8.0), t1 = texCoord(ub, y0 / 8.0);
            const int t2 = texCoord(ub, y1 / 8.0), t3 = texCoord(ua, y1 / 8.0);
            quad(v[s[0]], v[s[1]], v[s[1] + 4], v[s[0] + 4], t0, t1, t2, t3);
        }
        const int r0 = texCoord(x0 * 0.1 + 0.5, z0 * 0.1 + 0.5), r1 = texCoord(x1 * 0.1 + 0.5, z0 * 0.1 + 0.5);
        const int r2 = texCoord(x1 * 0.1 + 0.5, z1 * 0.1 + 0.5), r3 = texCoord(x0 * 0.1 + 0.5, z1 * 0.1 + 0.5);
        quad(v[7], v[6], v[5], v[4], r3, r2, r1, r0);
    }
};

std::string makeStar() {
    // A spiked ball: an icosahedron split once, every face raised into a spike; the spikes
    // from the old faces' middles reach further, so twelve short crowns sit among long rays.
    ObjBuilder b;
    const double g = (1 + std::sqrt(5.0)) / 2;
    std::vector<P3> v = {{-1, g, 0}, {1, g, 0}, {-1, -g, 0}, {1, -g, 0}, {0, -1, g}, {0, 1, g},
                         {0, -1, -g}, {0, 1, -g}, {g, 0, -1}, {g, 0, 1}, {-g, 0, -1}, {-g, 0, 1}};
    for (P3& p : v) p = normalised(p);
    const int faces[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11}, {1, 5, 9},  {5, 11, 4},
                              {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6},  {3, 6, 8},
                              {3, 8, 9},  {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    const double core = 1.0;
    auto spike = [&](P3 a, P3 c, P3 d, double reach) {
        const P3 tip = normalised(a + c + d) * reach;
        const int ia = b.vertex(a * core), ic = b.vertex(c * core), id = b.vertex(d * core), it = b.vertex(tip);
        b.tri(ia, ic, it);
        b.tri(ic, id, it);
        b.tri(id, ia, it);
    };
    for (const auto& f : faces) {
        const P3 a = v[f[0]], c = v[f[1]], d = v[f[2]];
        const P3 ab = normalised(a + c), bc = normalised(c + d), ca = normalised(d + a);
        spike(a, ab, ca, 1.55);
        spike(ab, c, bc, 1.55);
        spike(ca, bc, d, 1.55);
        spike(ab, bc, ca, 2.5);
    }
    return b.text();
}

std::string makeTunnel() {
    // The eye sits at about (0.4, 1.2) in the tube's cross-section and travels from z = 55
    // to z = 30 looking down -z; the tube runs from z = 60 to z = -120, gently winding, its
    // radius ribbed so the rings read as depth.
    ObjBuilder b;
    const int segments = 20;
    const int rings = 73;
    const double zStart = 60.0, zStep = -2.5;
    for (int r = 0; r < rings; ++r) {
        const double z = zStart + r * zStep;
        const double cx = 0.9 * std::sin(z * 0.045) - 0.2;
        const double cy = 0.7 * std::cos(z * 0.033) + 0.6;
        const double radius = 3.2 + 0.55 * std::sin(z * 0.9);
        for (int s = 0; s < segments; ++s) {
            const double a = 2 * pi * s / segments;
            b.vertex({cx + radius * std::cos(a), cy + radius * std::sin(a), z});
            b.texCoord(static_cast<double>(s) / segments, r * 0.1);
        }
    }
    for (int r = 0; r + 1 < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const int a = r * segments + s, c = r * segments + (s + 1) % segments;
            const int d = (r + 1) * segments + (s + 1) % segments, e = (r + 1) * segments + s;
            b.quad(a, c, d, e, a, c, d, e);
        }
    return b.text();
}

std::string makeCube() {
    ObjBuilder b;
    b.box(-0.5, -0.5, 0.5, 0.5, -0.5, 0.5);
    // The box leaves out its floor; a cube needs all six faces.
    const int t = b.texCoord(0, 0);
    b.quad(0, 3, 2, 1, t, t, t, t);
    return b.text();
}

std::string makeCity() {
    // A block of 10 x 10 units on y = 0: a grid of lots between streets, each holding a few
    // buildings whose height grows towards the middle, some with a set-back top and a mast.
    ObjBuilder b;
    Dice dice;
    dice.seed(1977);
    const int lots = 6;
    const double size = 10.0, street = 0.35;
    const double lot = size / lots;
    for (int i = 0; i < lots; ++i)
        for (int j = 0; j < lots; ++j) {
            const double x0 = -size / 2 + i * lot + street / 2, z0 = -size / 2 + j * lot + street / 2;
            const double span = lot - street;
            const double cx = x0 + span / 2 - 0, cz = z0 + span / 2;
            const double centre = std::exp(-(cx * cx + cz * cz) / 14.0);
            const int split = 1 + dice.below(3);  // 1, 2 or 3 buildings a side
            const double cell = span / split;
            for (int a = 0; a < split; ++a)
                for (int c = 0; c < split; ++c) {
                    const double inset = dice.range(0.03, 0.12) * cell;
                    const double bx0 = x0 + a * cell + inset, bz0 = z0 + c * cell + inset;
                    const double bx1 = x0 + (a + 1) * cell - inset, bz1 = z0 + (c + 1) * cell - inset;
                    double height = 0.4 + dice.range(0.3, 1.4) + centre * dice.range(1.5, 4.5);
                    if (dice.below(9) == 0) height *= 1.5;
                    b.box(bx0, bz0, bx1, bz1, 0.0, height);
                    if (height > 2.2 && dice.below(2) == 0) {
                        const double w = (bx1 - bx0) * 0.22, d = (bz1 - bz0) * 0.22;
                        const double top = height + dice.range(0.4, 1.2);
                        b.box(bx0 + w, bz0 + d, bx1 - w, bz1 - d, height, top);
                        if (dice.below(2) == 0) {
                            const double mx = (bx0 + bx1) / 2, mz = (bz0 + bz1) / 2;
                            b.box(mx - 0.03, mz - 0.03, mx + 0.03, mz + 0.03, top, top + dice.range(0.5, 1.3));
                        }
                    }
                }
        }
    // The ground plate the block stands on.
    const int p0 = b.vertex({-5.2, 0, -5.2}), p1 = b.vertex({5.2, 0, -5.2});
    const int p2 = b.vertex({5.2, 0, 5.2}), p3 = b.vertex({-5.2, 0, 5.2});
    const int t0 = b.texCoord(0, 0), t1 = b.texCoord(1, 0), t2 = b.texCoord(1, 1), t3 = b.texCoord(0, 1);
    b.quad(p3, p2, p1, p0, t3, t2, t1, t0);
    return b.text();
}

std::string makeIsland() {
    // A disc of radius 2 (the scene stretches it 9 times in x and z): a flat middle where
    // the first city stands at height 0, a step down to -1 where the other four stand,
    // hills along the far rim and a beach falling away at the edge.
    ObjBuilder b;
    const int rings = 22, segments = 48;
    const double radius = 2.0;
    auto height = [](double r, double a) {
        auto smooth = [](double e0, double e1, double x) {
            const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
            return t * t * (3 - 2 * t);
        };
        const double px = r * std::cos(a), pz = r * std::sin(a);
        const double bumps = (fractalNoise(px * 2.5 + 10, pz * 2.5 + 10, 4, 91) - 0.5) * 0.5;
        const double hills = std::max(0.0, std::sin(a * 3.0 + 0.7)) * 1.8 * smooth(1.25, 1.6, r) * (1 - smooth(1.75, 1.95, r));
        return -0.05 - 0.95 * smooth(0.55, 0.8, r) + bumps * smooth(0.3, 1.0, r) + hills - 1.4 * smooth(1.8, 2.0, r);
    };
    const int centre = b.vertex({0, height(0, 0), 0});
    b.texCoord(0.5, 0.5);
    for (int r = 1; r <= rings; ++r) {
        const double rr = radius * r / rings;
        for (int s = 0; s < segments; ++s) {
            const double a = 2 * pi * s / segments;
            b.vertex({rr * std::cos(a), height(rr, a), rr * std::sin(a)});
            b.texCoord(0.5 + 0.25 * rr * std::cos(a), 0.5 + 0.25 * rr * std::sin(a));
        }
    }
    auto at = [&](int r, int s) { return 1 + (r - 1) * segments + (s % segments); };
    for (int s = 0; s < segments; ++s) b.tri(centre, at(1, s + 1), at(1, s), centre, at(1, s + 1), at(1, s));
    for (int r = 1; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const int a = at(r, s), c = at(r, s + 1), d = at(r + 1, s + 1), e = at(r + 1, s);
            b.quad(a, e, d, c, a, e, d, c);
        }
    return b.text();
}

// One branch: a tapered prism from a to c with the given radii and number of sides.
void branch(ObjBuilder& b, P3 a, P3 c, double ra, double rc, int sides) {
    const P3 axis = normalised(c - a);
    const P3 helper = std::fabs(axis.y) < 0.9 ? P3{0, 1, 0} : P3{1, 0, 0};
    const P3 u = normalised(cross(axis, helper)), w = cross(axis, u);
    const int first = static_cast<int>(b.positions.size());
    for (int s = 0; s < sides; ++s) {
        const double ang = 2 * pi * s / sides;
        const P3 dir = u * std::cos(ang) + w * std::sin(ang);
        b.vertex(a + dir * ra);
        b.vertex(c + dir * rc);
    }
    for (int s = 0; s < sides; ++s) {
        const int n = (s + 1) % sides;
        b.quad(first + 2 * s, first + 2 * n, first + 2 * n + 1, first + 2 * s + 1);
    }
}

void grow(ObjBuilder& b, Dice& dice, P3 base, P3 dir, double len, double radius, int depth) {
    const P3 tip = base + dir * len;
    const int sides = depth < 2 ? 6 : (depth < 4 ? 4 : 3);
    branch(b, base, tip, radius, radius * 0.7, sides);
    if (depth == 6) return;
    const int children = depth < 1 ? 3 : 2 + (dice.below(3) == 0 ? 1 : 0);
    const double turn = dice.range(0, 2 * pi);
    for (int k = 0; k < children; ++k) {
        const double around = turn + 2 * pi * k / children + dice.range(-0.3, 0.3);
        const double spread = dice.range(0.35, 0.65);
        const P3 helper = std::fabs(dir.y) < 0.9 ? P3{0, 1, 0} : P3{1, 0, 0};
        const P3 u = normalised(cross(dir, helper)), w = cross(dir, u);
        // Lean each child out from its parent, and a little back towards the light.
        P3 child = dir * std::cos(spread) + (u * std::cos(around) + w * std::sin(around)) * std::sin(spread);
        child = normalised(child + P3{0, 0.25, 0});
        grow(b, dice, tip, child, len * dice.range(0.66, 0.8), radius * 0.68, depth + 1);
    }
}

std::string makeTree() {
    ObjBuilder b;
    Dice dice;
    dice.seed(2024);
    grow(b, dice, {0, 0, 0}, {0, 1, 0}, 2.6, 0.32, 0);
    // Scale to nine units from the ground to the highest twig.
    double top = 0;
    for (const P3& p : b.positions) top = std::max(top, p.y);
    for (P3& p : b.positions) p = p * (9.0 / top);
    return b.text();
}

}  // namespace

const MeshMaker meshes[meshCount] = {{"star1.obj", makeStar},   {"tunnel.obj", makeTunnel},
                                     {"cube.obj", makeCube},    {"city.obj", makeCity},
                                     {"island.obj", makeIsland}, {"tree.obj", makeTree}};
