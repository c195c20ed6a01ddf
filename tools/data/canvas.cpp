// canvas.cpp -- Cairo surfaces, our own dice and noise, box blur, glowing lettering, JPEG and PNG coding
#include "tools/data/canvas.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>

void Dice::seed(uint64_t n) { state = n * 0x9e3779b97f4a7c15ull + 0x632be59bd9b4e019ull; }

uint32_t Dice::next() {
    // xorshift64*: plenty for placing stars and windows, and fully defined by the seed.
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return static_cast<uint32_t>((state * 0x2545f4914f6cdd1dull) >> 32);
}

double Dice::unit() { return next() / 4294967296.0; }
double Dice::range(double lo, double hi) { return lo + (hi - lo) * unit(); }
int Dice::below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint32_t>(n)); }

bool Canvas::create(int w, int h) {
    width = w;
    height = h;
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    if (cairo_status(cr) == CAIRO_STATUS_SUCCESS) return true;
    destroy();  // a failed canvas holds nothing
    return false;
}

void Canvas::destroy() {
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
    cr = nullptr;
    surface = nullptr;
}

uint32_t* Canvas::row(int y) {
    uint8_t* data = cairo_image_surface_get_data(surface);
    return reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * cairo_image_surface_get_stride(surface));
}

void Canvas::addFrom(Canvas& other, double gain) {
    cairo_surface_flush(surface);
    cairo_surface_flush(other.surface);
    const int g = static_cast<int>(gain * 256.0 + 0.5);
    for (int y = 0; y < height; ++y) {
        uint32_t* d = row(y);
        const uint32_t* s = other.row(y);
        for (int x = 0; x < width; ++x) {
            uint32_t out = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                int v = static_cast<int>((d[x] >> shift) & 255) + ((static_cast<int>((s[x] >> shift) & 255) * g) >> 8);
                out |= static_cast<uint32_t>(std::min(v, 255)) << shift;
            }
            d[x] = out;
        }
    }
    cairo_surface_mark_dirty(surface);
}

static void boxPass(std::vector<int>& line, std::vector<int>& tmp, int n, int radius) {
    // Running sum over a window of 2r+1, edges repeated.
    const int span = 2 * radius + 1;
    int sum = 0;
    for (int i = -radius; i <= radius; ++i) sum += line[std::clamp(i, 0, n - 1)];
    for (int i = 0; i < n; ++i) {
        tmp[i] = sum / span;
        sum += line[std::min(i + radius + 1, n - 1)] - line[std::max(i - radius, 0)];
    }
    line.swap(tmp);
}

void Canvas::blur(int radius) {
    if (radius <= 0) return;
    cairo_surface_flush(surface);
    const int n = std::max(width, height);
    std::vector<int> line(n), tmp(n);
    for (int shift = 0; shift < 24; shift += 8) {
        for (int y = 0; y < height; ++y) {
            uint32_t* r = row(y);
            for (int x = 0; x < width; ++x) line[x] = (r[x] >> shift) & 255;
            for (int pass = 0; pass < 3; ++pass) boxPass(line, tmp, width, radius);
            for (int x = 0; x < width; ++x)
                r[x] = (r[x] & ~(255u << shift)) | (static_cast<uint32_t>(line[x]) << shift);
        }
        for (int x = 0; x < width; ++x) {
            for (int y = 0; y < height; ++y) line[y] = (row(y)[x] >> shift) & 255;
            for (int pass = 0; pass < 3; ++pass) boxPass(line, tmp, height, radius);
            for (int y = 0; y < height; ++y) {
                uint32_t* r = row(y);
                r[x] = (r[x] & ~(255u << shift)) | (static_cast<uint32_t>(line[y]) << shift);
            }
        }
    }
    cairo_surface_mark_dirty(surface);
}

void Canvas::fillCorner(int size, double r, double g, double b) {
    cairo_save(cr);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_rectangle(cr, 0, height - size, size, size);
    cairo_fill(cr);
    cairo_restore(cr);
}

static double hash2(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xffffff) / 16777215.0;
}

double valueNoise(double x, double y, uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const double a = hash2(ix, iy, seed), b = hash2(ix + 1, iy, seed);
    const double c = hash2(ix, iy + 1, seed), d = hash2(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

double fractalNoise(double x, double y, int octaves, uint32_t seed) {
    double sum = 0, amp = 0.5, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * valueNoise(x, y, seed + static_cast<uint32_t>(o) * 101u);
        norm += amp;
        x = x * 2.03 + 17.1;
        y = y * 2.03 + 5.7;
        amp *= 0.5;
    }
    return sum / norm;
}

void setFont(cairo_t* cr, const char* family, bool bold, double size) {
    cairo_select_font_face(cr, family, CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

double textWidth(cairo_t* cr, const char* text) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    return e.x_advance;
}

void addTextHalo(Canvas& canvas, const char* text, double left, double y, double r, double g, double b,
                 double lineWidth, int radius, double gain) {
    Canvas halo;
    if (halo.create(canvas.width, canvas.height)) {
        cairo_matrix_t font;
        cairo_get_font_matrix(canvas.cr, &font);
        cairo_set_font_face(halo.cr, cairo_get_font_face(canvas.cr));
        cairo_set_font_matrix(halo.cr, &font);
        cairo_set_source_rgb(halo.cr, r, g, b);
        cairo_move_to(halo.cr, left, y);
        cairo_text_path(halo.cr, text);
        cairo_set_line_width(halo.cr, lineWidth);
        cairo_stroke_preserve(halo.cr);
        cairo_fill(halo.cr);
        halo.blur(radius);
        canvas.addFrom(halo, gain);
    }
    halo.destroy();
}

void glowText(Canvas& canvas, const char* text, const char* family, bool bold, double size, double x, double y,
              double align, double r, double g, double b, int glowRadius, double glowGain) {
    setFont(canvas.cr, family, bold, size);
    const double left = x - align * textWidth(canvas.cr, text);
    if (glowRadius > 0) addTextHalo(canvas, text, left, y, r, g, b, size * 0.06, glowRadius, glowGain);
    cairo_set_source_rgb(canvas.cr, std::min(1.0, r * 0.5 + 0.5), std::min(1.0, g * 0.5 + 0.5), std::min(1.0, b * 0.5 + 0.5));
    cairo_move_to(canvas.cr, left, y);
    cairo_show_text(canvas.cr, text);
}

std::vector<uint8_t> encodeJpeg(Canvas& canvas, int quality) {
    cairo_surface_flush(canvas.surface);
    std::vector<uint8_t> out;
    tjhandle tj = tjInitCompress();
    if (!tj) return out;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    // Cairo keeps RGB24 as 32-bit words, blue in the lowest byte on little-endian machines.
    #if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    const int format = TJPF_BGRX;
#else
    const int format = TJPF_XRGB;
#endif
    // Full-resolution colour keeps thin lettering and the flat corner exact.
    if (tjCompress2(tj, cairo_image_surface_get_data(canvas.surface), canvas.width,
                    cairo_image_surface_get_stride(canvas.surface), canvas.height, format, &jpeg, &size,
                    TJSAMP_444, quality, TJFLAG_ACCURATEDCT) == 0)
        out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

static cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

std::vector<uint8_t> encodePng(Canvas& canvas) {
    std::vector<uint8_t> out;
    if (cairo_surface_write_to_png_stream(canvas.surface, appendBytes, &out) != CAIRO_STATUS_SUCCESS) out.clear();
    return out;
}
