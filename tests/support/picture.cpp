// picture.cpp -- PNGs read back through Cairo, and their PSNR
#include "picture.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

Picture readPng(const std::string& path) {
    Picture picture;
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        picture.width = cairo_image_surface_get_width(surface);
        picture.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        picture.rgb.reserve(static_cast<size_t>(picture.width) * picture.height * 3);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                const uint32_t p = reinterpret_cast<const uint32_t*>(data + y * stride)[x];
                picture.rgb.insert(picture.rgb.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
            }
    }
    cairo_surface_destroy(surface);
    return picture;
}

double psnr(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.rgb.empty()) return NAN;
    double squares = 0.0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        const double d = double(a.rgb[i]) - double(b.rgb[i]);
        squares += d * d;
    }
    const double mean = squares / static_cast<double>(a.rgb.size());
    return mean > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / mean) : INFINITY;
}

double psnrOfScaled(const Picture& still, const Picture& screen, int x0, int y0, int w, int h, long& litOutside) {
    double squares = 0;
    litOutside = 0;
    for (int y = 0; y < screen.height; ++y)
        for (int x = 0; x < screen.width; ++x) {
            const uint8_t* got = screen.at(x, y);
            if (x < x0 || x >= x0 + w || y < y0 || y >= y0 + h) {
                litOutside += (got[0] | got[1] | got[2]) > 15;
                continue;
            }
            const double u = std::clamp((x - x0 + 0.5) * still.width / w - 0.5, 0.0, still.width - 1.0);
            const double v = std::clamp((y - y0 + 0.5) * still.height / h - 0.5, 0.0, still.height - 1.0);
            const int u0 = static_cast<int>(u), v0 = static_cast<int>(v);
            const int u1 = std::min(u0 + 1, still.width - 1), v1 = std::min(v0 + 1, still.height - 1);
            const double fu = u - u0, fv = v - v0;
            for (int c = 0; c < 3; ++c) {
                const double top = still.at(u0, v0)[c] * (1 - fu) + still.at(u1, v0)[c] * fu;
                const double bottom = still.at(u0, v1)[c] * (1 - fu) + still.at(u1, v1)[c] * fu;
                const double d = top * (1 - fv) + bottom * fv - got[c];
                squares += d * d;
            }
        }
    const double mse = squares / (3.0 * w * h);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}
