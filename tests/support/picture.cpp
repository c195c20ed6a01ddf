// picture.cpp -- PNGs read back through Cairo, and their PSNR
#include "picture.h"

#include <cairo.h>

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
