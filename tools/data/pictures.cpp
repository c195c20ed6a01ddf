// pictures.cpp -- the demo's pictures, each drawn for the way its scene blends it
//
// Every layer of the demo adds its picture to the frame, so the cards are black wherever
// the scene beneath should show, and the backdrops stay dark enough that two of them
// added together still do not clip to white.
#include "tools/data/pictures.h"

#include <algorithm>
#include <cmath>

#include "tools/data/canvas.h"

namespace {

const double pi = 3.14159265358979323846;

struct Colour {
    double r = 0, g = 0, b = 0;
};

Colour mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Three-stop colour ramp over t in [0, 1].
Colour ramp(Colour lo, Colour mid, Colour hi, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t < 0.5 ? mix(lo, mid, t * 2) : mix(mid, hi, t * 2 - 1);
}

uint32_t pack(Colour c) {
    auto byte = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
    return (byte(c.r) << 16) | (byte(c.g) << 8) | byte(c.b);
}

// Clouds of fractal noise, coloured through a ramp; contrast sharpens the wisps.
void paintNebula(Canvas& c, uint32_t seed, double scale, Colour lo, Colour mid, Colour hi, double contrast,
                 double brightness) {
    cairo_surface_flush(c.surface);
    for (int y = 0; y < c.height; ++y) {
        uint32_t* row = c.row(y);
        for (int x = 0; x < c.width; ++x) {
            const double nx = x * scale / c.width, ny = y * scale / c.width;
            const double warp = fractalNoise(nx * 0.7 + 3.1, ny * 0.7 + 1.7, 3, seed + 7) * 2.0;
            double n = fractalNoise(nx + warp, ny + warp * 0.6, 6, seed);
            n = std::clamp((n - 0.5) * contrast + 0.5, 0.0, 1.0);
            Colour k = ramp(lo, mid, hi, n);
            k.r *= brightness;
            k.g *= brightness;
            k.b *= brightness;
            row[x] = pack(k);
        }
    }
    cairo_surface_mark_dirty(c.surface);
}

void paintStars(Canvas& c, Dice& dice, int count, double brightest) {
    for (int i = 0; i < count; ++i) {
        const double x = dice.range(0, c.width), y = dice.range(0, c.height);
        const double b = brightest * std::pow(dice.unit(), 3.0);
        const double size = 0.5 + 1.3 * std::pow(dice.unit(), 6.0);
        const double tint = dice.unit();
        cairo_set_source_rgb(c.cr, b * (0.8 + 0.2 * tint), b * 0.9, b * (1.0 - 0.2 * tint));
        cairo_arc(c.cr, x, y, size, 0, 2 * pi);
        cairo_fill(c.cr);
    }
}

[[maybe_unused]] void verticalGradient(Canvas& c, double y0, double y1, Colour top, Colour bottom) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgb(p, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(p, 1, bottom.r, bottom.g, bottom.b);
    cairo_set_source(c.cr, p);
    cairo_paint(c.cr);
    cairo_pattern_destroy(p);
}

// A soft light added at (x, y).
void addGlow(Canvas& c, double x, double y, double radius, Colour k, double strength) {
    cairo_save(c.cr);
    cairo_set_operator(c.cr, CAIRO_OPERATOR_ADD);
    cairo_pattern_t* p = cairo_pattern_create_radial(x, y, 0, x, y, radius);
    cairo_pattern_add_color_stop_rgba(p, 0, k.r, k.g, k.b, strength);
    cairo_pattern_add_color_stop_rgba(p, 0.35, k.r, k.g, k.b, strength * 0.35);
    cairo_pattern_add_color_stop_rgba(p, 1, k.r, k.g, k.b, 0);
    cairo_set_source(c.cr, p);
    cairo_paint(c.cr);
    cairo_pattern_destroy(p);
    cairo_restore(c.cr);
}

// The floor grid running to a horizon at y, the demo's recurring motif.
void horizonGrid(Canvas& c, double horizon, Colour k, double alpha, double spacing) {
    cairo_save(c.cr);
    cairo_set_operator(c.cr, CAIRO_OPERATOR_ADD);
    cairo_set_line_width(c.cr, 1.0);
    const double cx = c.width / 2.0;
    for (int i = -24; i <= 24; ++i) {
        cairo_set_source_rgba(c.cr, k.r, k.g, k.b, alpha);
        cairo_move_to(c.cr, cx + i * spacing * 0.08, horizon);
        cairo_line_to(c.cr, cx + i * spacing * 2.2, c.height);
        cairo_stroke(c.cr);
    }
    for (int j = 1; j < 40; ++j) {
        const double y = horizon + (c.height - horizon) * std::pow(j / 40.0, 2.2);
        const double fade = alpha * std::min(1.0, (y - horizon) / 40.0 + 0.15);
        cairo_set_source_rgba(c.cr, k.r, k.g, k.b, fade);
        cairo_move_to(c.cr, 0, y);
        cairo_line_to(c.cr, c.width, y);
        cairo_stroke(c.cr);
    }
    cairo_restore(c.cr);
}

[[maybe_unused]] std::vector<uint8_t> finishJpeg(Canvas& c) {
    std::vector<uint8_t> out = encodeJpeg(c, 92);
    c.destroy();
    return out;
}

}  // namespace

std::vector<uint8_t> makeDialogPicture() {
    Canvas c;
    if (!c.create(256, 144)) {
        c.destroy();
        return {};
    }
    paintNebula(c, 71, 2.5, {0.0, 0.0, 0.02}, {0.10, 0.02, 0.22}, {0.45, 0.20, 0.60}, 1.8, 0.8);
    Dice dice;
    dice.seed(5);
    paintStars(c, dice, 90, 1.0);
    horizonGrid(c, 100, {0.9, 0.3, 0.8}, 0.55, 14);
    addGlow(c, 128, 100, 90, {1.0, 0.45, 0.2}, 0.6);
    glowText(c, "talumen", "DejaVu Sans", true, 42, 128, 84, 0.5, 0.35, 0.85, 1.0, 4, 1.3);
    glowText(c, "a norvi production", "DejaVu Sans", false, 10, 128, 22, 0.5, 1.0, 0.7, 0.3, 2, 0.8);
    std::vector<uint8_t> png = encodePng(c);
    c.destroy();
    return png;
}

const PictureMaker pictures[pictureCount] = {};
