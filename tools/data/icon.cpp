// icon.cpp -- the program's icon: a banded sun setting on the demo's floor grid, drawn for each size a desktop asks for
#include "tools/data/icon.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace {

const double pi = 3.14159265358979323846;
const double side = 256;     // the drawing's own units
const double horizon = 158;  // where the sun sets and the grid starts

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

void roundedSquare(cairo_t* cr, double inset, double radius) {
    const double lo = inset, hi = side - inset;
    cairo_new_sub_path(cr);
    cairo_arc(cr, hi - radius, lo + radius, radius, -pi / 2, 0);
    cairo_arc(cr, hi - radius, hi - radius, radius, 0, pi / 2);
    cairo_arc(cr, lo + radius, hi - radius, radius, pi / 2, pi);
    cairo_arc(cr, lo + radius, lo + radius, radius, pi, 3 * pi / 2);
    cairo_close_path(cr);
}

// Drawn in a 256-unit square that lands on pixels x pixels: where a pixel would hold several
// of the grid's lines or the sun's bands, there are fewer of them and each is wider, so that
// the small sizes stay a sun on a grid rather than a smudge. Vector only, so that the same
// drawing is the scalable icon.
void drawIcon(cairo_t* cr, double pixels) {
    const double pixel = side / pixels;  // one pixel in the drawing's units
    roundedSquare(cr, 8, 44);
    cairo_save(cr);
    cairo_clip_preserve(cr);

    // The title's night sky, deepest at the top.
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 8, 0, horizon);
    cairo_pattern_add_color_stop_rgb(sky, 0, 0.02, 0.0, 0.08);
    cairo_pattern_add_color_stop_rgb(sky, 1, 0.22, 0.05, 0.36);
    cairo_set_source(cr, sky);
    cairo_fill(cr);
    cairo_pattern_destroy(sky);

    // A glow around the sun, then the sun itself with gaps cut across its lower half.
    cairo_pattern_t* glow = cairo_pattern_create_radial(128, horizon, 40, 128, horizon, 128);
    cairo_pattern_add_color_stop_rgba(glow, 0, 1.0, 0.45, 0.3, 0.55);
    cairo_pattern_add_color_stop_rgba(glow, 1, 1.0, 0.45, 0.3, 0.0);
    cairo_set_source(cr, glow);
    cairo_rectangle(cr, 0, 0, side, horizon);
    cairo_fill(cr);
    cairo_pattern_destroy(glow);

    cairo_save(cr);
    const int bands = pixels >= 48 ? 4 : pixels >= 24 ? 2 : 0;
    cairo_rectangle(cr, 0, 0, side, horizon);
    for (int i = 0; i < bands; ++i) {
        const double gap = std::max(3.0 + 2.0 * i, 1.5 * pixel), y = horizon - 8 - i * 15;
        cairo_rectangle(cr, 0, y - gap, side, gap);
    }
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);  // each band a hole in the sky's clip
    cairo_clip(cr);
    cairo_pattern_t* sun = cairo_pattern_create_linear(0, horizon - 76, 0, horizon);
    cairo_pattern_add_color_stop_rgb(sun, 0, 1.0, 0.88, 0.45);
    cairo_pattern_add_color_stop_rgb(sun, 1, 1.0, 0.3, 0.55);
    cairo_set_source(cr, sun);
    cairo_arc(cr, 128, horizon, 76, pi, 2 * pi);
    cairo_fill(cr);
    cairo_pattern_destroy(sun);
    cairo_restore(cr);

    // The floor and its grid, running to the horizon as under the title.
    cairo_set_source_rgb(cr, 0.04, 0.0, 0.1);
    cairo_rectangle(cr, 0, horizon, side, side - horizon);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.95, 0.3, 0.85);
    cairo_set_line_width(cr, std::max(3.0, pixel));
    const int rays = pixels >= 48 ? 6 : pixels >= 24 ? 4 : 3, rungs = pixels >= 48 ? 5 : pixels >= 24 ? 3 : 2;
    for (int i = -rays; i <= rays; ++i) {
        cairo_move_to(cr, 128 + i * std::max(6.0, 1.5 * pixel), horizon);
        cairo_line_to(cr, 128 + i * 150.0 / rays, side);
    }
    for (int j = 0; j <= rungs; ++j) {
        const double y = horizon + (side - horizon) * std::pow(static_cast<double>(j) / rungs, 1.7);
        cairo_move_to(cr, 0, y);
        cairo_line_to(cr, side, y);
    }
    cairo_stroke(cr);
    cairo_restore(cr);

    // A thin rim, so that the square holds on a dark panel as on a light one.
    roundedSquare(cr, 8 + pixel / 2, 44 - pixel / 2);
    cairo_set_source_rgba(cr, 0.7, 0.5, 1.0, 0.6);
    cairo_set_line_width(cr, pixel);
    cairo_stroke(cr);
}

}  // namespace

const int iconSizes[iconSizeCount] = {16, 24, 32, 48, 256};

std::vector<uint8_t> makeIcon(int size) {
    std::vector<uint8_t> png;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, size / side, size / side);
    drawIcon(cr, size);
    if (cairo_status(cr) == CAIRO_STATUS_SUCCESS)
        if (cairo_surface_write_to_png_stream(surface, appendBytes, &png) != CAIRO_STATUS_SUCCESS) png.clear();
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return png;
}

std::vector<uint8_t> makeScalableIcon() {
    std::vector<uint8_t> svg;
    cairo_surface_t* surface = cairo_svg_surface_create_for_stream(appendBytes, &svg, side, side);
    cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PX);
    cairo_t* cr = cairo_create(surface);
    drawIcon(cr, side);
    const bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    // The document is written out as the surface finishes.
    cairo_surface_finish(surface);
    if (!drawn || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) svg.clear();
    cairo_surface_destroy(surface);
    return svg;
}
