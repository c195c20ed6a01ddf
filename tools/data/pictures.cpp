// pictures.cpp -- the demo's pictures, each drawn for the way its scene blends it
//
// Every layer of the demo adds its picture to the frame, so the cards are black wherever
// the scene beneath should show, and the backdrops stay dark enough that two of them
// added together still do not clip to white.
#include "tools/data/pictures.h"

#include <algorithm>
#include <cmath>

#include "app/keys.h"
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

// Clouds of fractal noise, coloured through a ramp; contrast sharpens the wisps. The noise
// is worked out at half size and drawn up smoothly: clouds have no fine detail to lose.
void paintNebula(Canvas& c, uint32_t seed, double scale, Colour lo, Colour mid, Colour hi, double contrast,
                 double brightness) {
    Canvas small;
    if (!small.create(c.width / 2, c.height / 2)) {
        small.destroy();
        return;
    }
    cairo_surface_flush(small.surface);
    for (int y = 0; y < small.height; ++y) {
        uint32_t* row = small.row(y);
        for (int x = 0; x < small.width; ++x) {
            const double nx = x * scale / small.width, ny = y * scale / small.width;
            const double warp = fractalNoise(nx * 0.7 + 3.1, ny * 0.7 + 1.7, 3, seed + 7) * 2.0;
            double n = fractalNoise(nx + warp, ny + warp * 0.6, 5, seed);
            n = std::clamp((n - 0.5) * contrast + 0.5, 0.0, 1.0);
            Colour k = ramp(lo, mid, hi, n);
            k.r *= brightness;
            k.g *= brightness;
            k.b *= brightness;
            row[x] = pack(k);
        }
    }
    cairo_surface_mark_dirty(small.surface);
    cairo_save(c.cr);
    cairo_scale(c.cr, 2.0, 2.0);
    cairo_set_source_surface(c.cr, small.surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(c.cr), CAIRO_FILTER_BILINEAR);
    cairo_pattern_set_extend(cairo_get_source(c.cr), CAIRO_EXTEND_PAD);
    cairo_paint(c.cr);
    cairo_restore(c.cr);
    small.destroy();
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

std::vector<uint8_t> finishJpeg(Canvas& c) {
    std::vector<uint8_t> out = encodeJpeg(c, 92);
    c.destroy();
    return out;
}

// Lettering filled top to bottom with a bright-to-deep gradient over a blurred halo.
void chromeText(Canvas& c, const char* text, double size, double x, double y, double align, Colour top,
                Colour bottom, Colour halo, int haloRadius, double haloGain, double skew = 0.0) {
    cairo_t* cr = c.cr;
    setFont(cr, "DejaVu Sans", true, size);
    cairo_matrix_t m;
    cairo_matrix_init(&m, size, 0, -skew * size, size, 0, 0);
    cairo_set_font_matrix(cr, &m);
    const double left = x - align * textWidth(cr, text);
    if (haloRadius > 0) addTextHalo(c, text, left, y, halo.r, halo.g, halo.b, size * 0.05, haloRadius, haloGain);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y + e.y_bearing, 0, y + e.y_bearing + e.height);
    cairo_pattern_add_color_stop_rgb(p, 0, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(p, 0.35, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(p, 0.55, bottom.r * 0.6, bottom.g * 0.6, bottom.b * 0.6);
    cairo_pattern_add_color_stop_rgb(p, 1, bottom.r, bottom.g, bottom.b);
    cairo_move_to(cr, left, y);
    cairo_text_path(cr, text);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    cairo_set_source_rgb(cr, std::min(1.0, top.r + 0.3), std::min(1.0, top.g + 0.3), std::min(1.0, top.b + 0.3));
    cairo_set_line_width(cr, std::max(1.0, size * 0.012));
    cairo_stroke(cr);
}

void plainText(Canvas& c, const char* text, double size, double x, double y, double align, Colour k,
               bool bold = false) {
    setFont(c.cr, "DejaVu Sans", bold, size);
    cairo_set_source_rgb(c.cr, k.r, k.g, k.b);
    cairo_move_to(c.cr, x - align * textWidth(c.cr, text), y);
    cairo_show_text(c.cr, text);
}

// Thin horizontal rule that fades out at both ends.
void fadingRule(Canvas& c, double x0, double x1, double y, Colour k, double width) {
    cairo_pattern_t* p = cairo_pattern_create_linear(x0, 0, x1, 0);
    cairo_pattern_add_color_stop_rgba(p, 0, k.r, k.g, k.b, 0);
    cairo_pattern_add_color_stop_rgba(p, 0.5, k.r, k.g, k.b, 1);
    cairo_pattern_add_color_stop_rgba(p, 1, k.r, k.g, k.b, 0);
    cairo_set_source(c.cr, p);
    cairo_set_line_width(c.cr, width);
    cairo_move_to(c.cr, x0, y);
    cairo_line_to(c.cr, x1, y);
    cairo_stroke(c.cr);
    cairo_pattern_destroy(p);
}

// Corner brackets framing the screen, as in a viewfinder.
void brackets(Canvas& c, double inset, double arm, double thick, Colour k) {
    cairo_set_source_rgb(c.cr, k.r, k.g, k.b);
    const double w = c.width, h = c.height;
    const double xs[2] = {inset, w - inset}, ys[2] = {inset, h - inset};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            const double dx = i ? -arm : arm, dy = j ? -arm : arm;
            const double tx = i ? -thick : thick, ty = j ? -thick : thick;
            cairo_rectangle(c.cr, xs[i], ys[j], dx, ty);
            cairo_rectangle(c.cr, xs[i], ys[j], tx, dy);
        }
    cairo_fill(c.cr);
}

std::vector<uint8_t> logoCard() {
    // The group's logo in the top left of a black card, clear of the star in the middle.
    Canvas c;
    if (!c.create(1024, 512)) return {};
    chromeText(c, "norvi", 120, 56, 150, 0.0, {1.0, 0.75, 0.3}, {0.9, 0.2, 0.5}, {0.9, 0.35, 0.1}, 14, 1.0, 0.18);
    fadingRule(c, 20, 420, 176, {1.0, 0.6, 0.3}, 2);
    plainText(c, "p r e s e n t s", 20, 64, 208, 0.0, {0.85, 0.75, 0.65});
    return finishJpeg(c);
}

std::vector<uint8_t> titleCard() {
    Canvas c;
    if (!c.create(1024, 512)) return {};
    chromeText(c, "talumen", 130, 512, 430, 0.5, {0.5, 0.95, 1.0}, {0.2, 0.3, 0.9}, {0.1, 0.5, 1.0}, 16, 1.1);
    fadingRule(c, 140, 884, 455, {0.4, 0.8, 1.0}, 2);
    plainText(c, "a norvi production", 18, 512, 485, 0.5, {0.6, 0.75, 0.9});
    return finishJpeg(c);
}

std::vector<uint8_t> farewellCard() {
    Canvas c;
    if (!c.create(1024, 512)) return {};
    brackets(c, 24, 60, 3, {0.7, 0.45, 0.25});
    chromeText(c, "farewell", 96, 64, 440, 0.0, {1.0, 0.8, 0.45}, {0.9, 0.3, 0.1}, {1.0, 0.35, 0.05}, 12, 0.9,
               0.15);
    plainText(c, "down the tunnel, into the light", 18, 70, 468, 0.0, {0.9, 0.7, 0.55});
    plainText(c, "norvi  //  talumen", 14, 990, 52, 1.0, {0.55, 0.45, 0.4});
    return finishJpeg(c);
}

std::vector<uint8_t> starOverlay() {
    // Added over the star's backdrop every frame; only a faint grid and vignette of its own,
    // plus the bright corner brackets whose bottom-left one colours the star.
    Canvas c;
    if (!c.create(1024, 512)) return {};
    paintNebula(c, 404, 3.0, {0, 0, 0}, {0.0, 0.04, 0.08}, {0.05, 0.12, 0.2}, 1.6, 0.9);
    cairo_set_operator(c.cr, CAIRO_OPERATOR_ADD);
    cairo_set_line_width(c.cr, 1);
    for (int x = 0; x <= 1024; x += 32) {
        cairo_set_source_rgb(c.cr, 0.0, 0.05, 0.08);
        cairo_move_to(c.cr, x + 0.5, 0);
        cairo_line_to(c.cr, x + 0.5, 512);
        cairo_stroke(c.cr);
    }
    for (int y = 0; y <= 512; y += 32) {
        cairo_move_to(c.cr, 0, y + 0.5);
        cairo_line_to(c.cr, 1024, y + 0.5);
        cairo_stroke(c.cr);
    }
    cairo_set_operator(c.cr, CAIRO_OPERATOR_OVER);
    brackets(c, 0, 90, 14, {0.35, 0.9, 1.0});
    c.fillCorner(16, 0.35, 0.9, 1.0);
    return finishJpeg(c);
}

std::vector<uint8_t> starBackdrop() {
    Canvas c;
    if (!c.create(2048, 1024)) return {};
    paintNebula(c, 202, 3.2, {0.01, 0.0, 0.03}, {0.16, 0.04, 0.32}, {0.55, 0.25, 0.55}, 1.9, 0.85);
    Dice dice;
    dice.seed(202);
    paintStars(c, dice, 2500, 1.0);
    addGlow(c, 1400, 380, 420, {0.3, 0.35, 0.9}, 0.35);
    addGlow(c, 520, 760, 360, {0.8, 0.2, 0.5}, 0.25);
    return finishJpeg(c);
}

std::vector<uint8_t> tunnelBackdrop() {
    Canvas c;
    if (!c.create(2048, 1024)) return {};
    paintNebula(c, 303, 2.6, {0.02, 0.0, 0.0}, {0.3, 0.05, 0.02}, {0.6, 0.35, 0.1}, 2.0, 0.8);
    // Light streaks racing sideways, the speed the tunnel hints at.
    Dice dice;
    dice.seed(303);
    cairo_set_operator(c.cr, CAIRO_OPERATOR_ADD);
    for (int i = 0; i < 160; ++i) {
        const double y = dice.range(0, 1024), x = dice.range(-200, 2048), len = dice.range(80, 600);
        const double b = dice.range(0.05, 0.3);
        cairo_pattern_t* p = cairo_pattern_create_linear(x, 0, x + len, 0);
        cairo_pattern_add_color_stop_rgba(p, 0, 1.0, 0.6, 0.3, 0);
        cairo_pattern_add_color_stop_rgba(p, 1, 1.0, 0.8, 0.5, b);
        cairo_set_source(c.cr, p);
        cairo_set_line_width(c.cr, dice.range(1, 3));
        cairo_move_to(c.cr, x, y);
        cairo_line_to(c.cr, x + len, y);
        cairo_stroke(c.cr);
        cairo_pattern_destroy(p);
    }
    return finishJpeg(c);
}

// The tunnel's two overlays: rays from the middle, bright on the beat, dim between.
std::vector<uint8_t> tunnelOverlay(double strength, Colour ray, Colour corner, uint32_t seed) {
    Canvas c;
    if (!c.create(1024, 512)) return {};
    Dice dice;
    dice.seed(seed);
    cairo_set_operator(c.cr, CAIRO_OPERATOR_ADD);
    const double cx = 512, cy = 256;
    for (int i = 0; i < 48; ++i) {
        const double a = 2 * pi * (i + dice.range(-0.3, 0.3)) / 48, w = dice.range(0.01, 0.05);
        cairo_pattern_t* p = cairo_pattern_create_radial(cx, cy, 30, cx, cy, 700);
        cairo_pattern_add_color_stop_rgba(p, 0, ray.r, ray.g, ray.b, 0);
        cairo_pattern_add_color_stop_rgba(p, 0.3, ray.r, ray.g, ray.b, strength * dice.range(0.3, 1.0));
        cairo_pattern_add_color_stop_rgba(p, 1, ray.r, ray.g, ray.b, 0);
        cairo_set_source(c.cr, p);
        cairo_move_to(c.cr, cx, cy);
        cairo_arc(c.cr, cx, cy, 800, a - w, a + w);
        cairo_close_path(c.cr);
        cairo_fill(c.cr);
        cairo_pattern_destroy(p);
    }
    addGlow(c, cx, cy, 220, ray, strength * 0.8);
    cairo_set_operator(c.cr, CAIRO_OPERATOR_OVER);
    // A meter along the bottom edge; its left end is the colour of the tunnel's lines.
    for (int i = 0; i < 24; ++i) {
        const double k = 1.0 - i / 24.0;
        cairo_set_source_rgb(c.cr, corner.r * k, corner.g * k, corner.b * k);
        cairo_rectangle(c.cr, i * 22, 500, 18, 12);
        cairo_fill(c.cr);
    }
    c.fillCorner(16, corner.r, corner.g, corner.b);
    return finishJpeg(c);
}

std::vector<uint8_t> tunnelOverlayLoud() { return tunnelOverlay(0.55, {1.0, 0.35, 0.75}, {1.0, 0.3, 0.8}, 41); }
std::vector<uint8_t> tunnelOverlayQuiet() { return tunnelOverlay(0.18, {0.9, 0.35, 0.1}, {1.0, 0.5, 0.15}, 42); }

std::vector<uint8_t> adieuCard() {
    Canvas c;
    if (!c.create(1024, 512)) return {};
    chromeText(c, "adieu", 110, 980, 120, 1.0, {0.6, 1.0, 0.8}, {0.1, 0.6, 0.5}, {0.1, 0.9, 0.6}, 14, 0.9, 0.15);
    fadingRule(c, 560, 1010, 145, {0.4, 1.0, 0.8}, 2);
    plainText(c, "ten thousand cubes and one long goodbye", 16, 980, 172, 1.0, {0.6, 0.85, 0.8});
    return finishJpeg(c);
}

std::vector<uint8_t> cubesCard() {
    // Seen alone when the music is soft, so it is a picture in its own right: light beams
    // through a teal haze. Its bottom-left corner colours all ten thousand cubes.
    Canvas c;
    if (!c.create(1024, 512)) return {};
    paintNebula(c, 505, 2.2, {0.0, 0.02, 0.03}, {0.02, 0.12, 0.14}, {0.1, 0.3, 0.3}, 1.5, 0.8);
    cairo_set_operator(c.cr, CAIRO_OPERATOR_ADD);
    Dice dice;
    dice.seed(505);
    for (int i = 0; i < 9; ++i) {
        const double x = dice.range(100, 1100), w = dice.range(20, 90);
        cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, 512);
        cairo_pattern_add_color_stop_rgba(p, 0, 0.3, 0.8, 0.8, dice.range(0.06, 0.16));
        cairo_pattern_add_color_stop_rgba(p, 1, 0.3, 0.8, 0.8, 0);
        cairo_set_source(c.cr, p);
        cairo_move_to(c.cr, x, 0);
        cairo_line_to(c.cr, x + w, 0);
        cairo_line_to(c.cr, x + w - 260, 512);
        cairo_line_to(c.cr, x - 260 - w, 512);
        cairo_close_path(c.cr);
        cairo_fill(c.cr);
        cairo_pattern_destroy(p);
    }
    cairo_set_operator(c.cr, CAIRO_OPERATOR_OVER);
    cairo_set_source_rgb(c.cr, 1.0, 0.55, 0.2);
    cairo_rectangle(c.cr, 0, 506, 420, 6);
    cairo_fill(c.cr);
    c.fillCorner(16, 1.0, 0.55, 0.2);
    return finishJpeg(c);
}

std::vector<uint8_t> cubesBackdrop() {
    Canvas c;
    if (!c.create(2048, 1024)) return {};
    paintNebula(c, 606, 3.0, {0.0, 0.01, 0.04}, {0.02, 0.08, 0.2}, {0.15, 0.3, 0.5}, 1.7, 0.75);
    Dice dice;
    dice.seed(606);
    paintStars(c, dice, 1500, 0.9);
    // Faint squares drifting in the haze, echoing the cubes.
    cairo_set_operator(c.cr, CAIRO_OPERATOR_ADD);
    for (int i = 0; i < 70; ++i) {
        const double x = dice.range(0, 2048), y = dice.range(0, 1024), s = dice.range(20, 140);
        cairo_save(c.cr);
        cairo_translate(c.cr, x, y);
        cairo_rotate(c.cr, dice.range(0, pi));
        cairo_set_source_rgba(c.cr, 0.3, 0.6, 0.9, dice.range(0.05, 0.2));
        cairo_set_line_width(c.cr, 1.5);
        cairo_rectangle(c.cr, -s / 2, -s / 2, s, s);
        cairo_stroke(c.cr);
        cairo_restore(c.cr);
    }
    return finishJpeg(c);
}

std::vector<uint8_t> citySky() {
    // Dusk from indigo above to a glowing band low down; it rises through the scene.
    Canvas c;
    if (!c.create(1024, 1024)) return {};
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, 1024);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.02, 0.01, 0.08);
    cairo_pattern_add_color_stop_rgb(p, 0.45, 0.12, 0.05, 0.25);
    cairo_pattern_add_color_stop_rgb(p, 0.7, 0.38, 0.12, 0.26);
    cairo_pattern_add_color_stop_rgb(p, 0.85, 0.48, 0.22, 0.16);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.3, 0.12, 0.12);
    cairo_set_source(c.cr, p);
    cairo_paint(c.cr);
    cairo_pattern_destroy(p);
    Dice dice;
    dice.seed(707);
    cairo_save(c.cr);
    cairo_rectangle(c.cr, 0, 0, 1024, 450);
    cairo_clip(c.cr);
    paintStars(c, dice, 600, 0.8);
    cairo_restore(c.cr);
    addGlow(c, 700, 860, 300, {1.0, 0.5, 0.2}, 0.18);
    return finishJpeg(c);
}

std::vector<uint8_t> cloudLayer() {
    // Dark drifting clouds: added over the city's sky, and the tree's trembling backdrop.
    Canvas c;
    if (!c.create(1024, 1024)) return {};
    paintNebula(c, 808, 3.5, {0.0, 0.0, 0.0}, {0.08, 0.04, 0.12}, {0.35, 0.2, 0.3}, 2.2, 0.75);
    Dice dice;
    dice.seed(808);
    paintStars(c, dice, 400, 0.6);
    return finishJpeg(c);
}

std::vector<uint8_t> foreverCard() {
    Canvas c;
    if (!c.create(1024, 512)) return {};
    chromeText(c, "forever", 104, 990, 470, 1.0, {1.0, 0.7, 0.9}, {0.8, 0.1, 0.5}, {1.0, 0.2, 0.6}, 14, 1.0, 0.15);
    plainText(c, "the city never sleeps", 16, 990, 494, 1.0, {0.85, 0.6, 0.75});
    brackets(c, 24, 40, 2, {0.6, 0.3, 0.5});
    return finishJpeg(c);
}

std::vector<uint8_t> treeCard() {
    // A low red sun behind where the tree stands, bright enough for black branches to cut
    // sharp shapes against it.
    Canvas c;
    if (!c.create(1024, 512)) return {};
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, 512);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.06, 0.02, 0.1);
    cairo_pattern_add_color_stop_rgb(p, 0.55, 0.35, 0.08, 0.15);
    cairo_pattern_add_color_stop_rgb(p, 0.8, 0.6, 0.22, 0.1);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.2, 0.05, 0.05);
    cairo_set_source(c.cr, p);
    cairo_paint(c.cr);
    cairo_pattern_destroy(p);
    addGlow(c, 600, 330, 420, {1.0, 0.4, 0.15}, 0.5);
    cairo_pattern_t* sun = cairo_pattern_create_radial(600, 300, 0, 600, 300, 150);
    cairo_pattern_add_color_stop_rgb(sun, 0, 1.0, 0.85, 0.5);
    cairo_pattern_add_color_stop_rgb(sun, 0.8, 0.95, 0.45, 0.2);
    cairo_pattern_add_color_stop_rgb(sun, 1, 0.8, 0.25, 0.15);
    cairo_set_source(c.cr, sun);
    cairo_arc(c.cr, 600, 300, 150, 0, 2 * pi);
    cairo_fill(c.cr);
    cairo_pattern_destroy(sun);
    // Bands of haze across the sun.
    for (int i = 0; i < 6; ++i) {
        cairo_set_source_rgba(c.cr, 0.35, 0.08, 0.12, 0.35 + 0.08 * i);
        cairo_rectangle(c.cr, 0, 330 + i * 22, 1024, 6 + i * 2);
        cairo_fill(c.cr);
    }
    return finishJpeg(c);
}

std::vector<uint8_t> goAwayCard() {
    Canvas c;
    if (!c.create(1024, 512)) return {};
    chromeText(c, "go away", 96, 40, 110, 0.0, {0.9, 0.95, 1.0}, {0.4, 0.5, 0.9}, {0.5, 0.6, 1.0}, 12, 0.8, 0.15);
    fadingRule(c, 30, 520, 135, {0.7, 0.8, 1.0}, 2);
    plainText(c, "and come back tomorrow", 16, 44, 160, 0.0, {0.75, 0.8, 0.95});
    return finishJpeg(c);
}

std::vector<uint8_t> creditsCard() {
    Canvas c;
    if (!c.create(1024, 512)) return {};
    addGlow(c, 512, 256, 500, {0.2, 0.1, 0.4}, 0.35);
    chromeText(c, "talumen", 70, 512, 120, 0.5, {0.5, 0.95, 1.0}, {0.2, 0.3, 0.9}, {0.1, 0.5, 1.0}, 10, 0.9);
    fadingRule(c, 300, 724, 142, {0.4, 0.8, 1.0}, 1.5);
    const char* lines[][2] = {{"code & design", "norvi"},
                              {"music", "our own little synthesiser"},
                              {"pictures & meshes", "drawn by program, from source"},
                              {"length", "156 seconds"}};
    double y = 200;
    for (const auto& line : lines) {
        plainText(c, line[0], 20, 496, y, 1.0, {0.6, 0.7, 0.9});
        plainText(c, line[1], 20, 528, y, 0.0, {1.0, 0.95, 0.85}, true);
        y += 40;
    }
    glowText(c, "thanks for watching", "DejaVu Sans", false, 26, 512, 420, 0.5, 1.0, 0.6, 0.3, 6, 0.8);
    brackets(c, 20, 40, 2, {0.4, 0.4, 0.6});
    return finishJpeg(c);
}

}  // namespace

// The title artwork, 256 x 144, drawn into canvas at its top-left corner.
static void drawTitle(Canvas& c) {
    paintNebula(c, 71, 2.5, {0.0, 0.0, 0.02}, {0.10, 0.02, 0.22}, {0.45, 0.20, 0.60}, 1.8, 0.8);
    Dice dice;
    dice.seed(5);
    paintStars(c, dice, 90, 1.0);
    horizonGrid(c, 100, {0.9, 0.3, 0.8}, 0.55, 14);
    addGlow(c, 128, 100, 90, {1.0, 0.45, 0.2}, 0.6);
    glowText(c, "talumen", "DejaVu Sans", true, 42, 128, 84, 0.5, 0.35, 0.85, 1.0, 4, 1.3);
    glowText(c, "a norvi production", "DejaVu Sans", false, 10, 128, 22, 0.5, 1.0, 0.7, 0.3, 2, 0.8);
}

std::vector<uint8_t> makeDialogPicture() {
    Canvas c;
    if (!c.create(256, 144)) {
        c.destroy();
        return {};
    }
    drawTitle(c);
    std::vector<uint8_t> png = encodePng(c);
    c.destroy();
    return png;
}

// The keys' table on a dark card, keys on the left and what they do on the right, sized to
// fill it: the player shows it over the picture, see-through. A side of a power of two, so
// that the GL takes it as it is, without rescaling the lettering.
std::vector<uint8_t> makeKeysPicture() {
    Canvas c;
    if (!c.create(keysPictureSide, keysPictureSide)) {
        c.destroy();
        return {};
    }
    const double side = keysPictureSide, margin = 30, gap = 22, top = 96, bottom = 62;
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, side);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.05, 0.04, 0.12);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.02, 0.02, 0.05);
    cairo_set_source(c.cr, p);
    cairo_paint(c.cr);
    cairo_pattern_destroy(p);
    cairo_set_source_rgb(c.cr, 0.45, 0.35, 0.7);
    cairo_set_line_width(c.cr, 2);
    cairo_rectangle(c.cr, 1, 1, side - 2, side - 2);
    cairo_stroke(c.cr);
    glowText(c, "keys", "DejaVu Sans", true, 34, side / 2, 58, 0.5, 0.35, 0.85, 1.0, 4, 1.1);
    fadingRule(c, margin, side - margin, 74, {0.45, 0.35, 0.7}, 1.5);

    // The widest key and action at 16 points, scaled down where the two columns would not fit.
    double size = 16, keysWide = 0, doesWide = 0;
    for (int i = 0; i < keyHelpLines; ++i) {
        setFont(c.cr, "DejaVu Sans", true, size);
        keysWide = std::max(keysWide, textWidth(c.cr, keyHelp[i].keys));
        setFont(c.cr, "DejaVu Sans", false, size);
        doesWide = std::max(doesWide, textWidth(c.cr, keyHelp[i].does));
    }
    const double fits = (side - 2 * margin - gap) / std::max(1.0, keysWide + doesWide);
    if (fits < 1) {
        size *= fits;
        keysWide *= fits;
    }
    const double step = std::min(size * 2.4, (side - top - bottom) / std::max(1, keyHelpLines));
    for (int i = 0; i < keyHelpLines; ++i) {
        const double y = top + step * (i + 0.5) + size * 0.35;
        plainText(c, keyHelp[i].keys, size, margin, y, 0.0, {1.0, 0.8, 0.45}, true);
        plainText(c, keyHelp[i].does, size, margin + keysWide + gap, y, 0.0, {0.9, 0.9, 0.95});
    }
    plainText(c, "the next key hides this card, and does what it says", 12, side / 2, side - 28, 0.5,
              {0.55, 0.5, 0.7});
    return finishJpeg(c);
}

// Scene by scene, in the order the scenes load them.
const PictureMaker pictures[pictureCount] = {
    {"norvi.jpg", logoCard},         {"talumen.jpg", titleCard},      {"farewell.jpg", farewellCard},
    {"2a.jpg", starOverlay},         {"2b.jpg", starBackdrop},        {"4a.jpg", tunnelBackdrop},
    {"4b.jpg", tunnelOverlayLoud},   {"4c.jpg", tunnelOverlayQuiet},  {"adieu.jpg", adieuCard},
    {"3a.jpg", cubesCard},           {"3b.jpg", cubesBackdrop},       {"7c.jpg", citySky},
    {"6a.jpg", cloudLayer},          {"forever.jpg", foreverCard},    {"1b.jpg", treeCard},
    {"goaway.jpg", goAwayCard},      {"credits.jpg", creditsCard},
};
