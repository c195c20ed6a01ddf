// windows_files.cpp -- the Windows player's dialog bitmap and icon file, from the drawings the other targets use
#include "tools/data/windows_files.h"

#include <cairo.h>

#include <cstring>

#include "tools/data/icon.h"

namespace {

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}

struct PngReader {
    const std::vector<uint8_t>* bytes = nullptr;
    size_t at = 0;
};

cairo_status_t readBytes(void* closure, unsigned char* data, unsigned int length) {
    PngReader& reader = *static_cast<PngReader*>(closure);
    if (reader.bytes->size() - reader.at < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, reader.bytes->data() + reader.at, length);
    reader.at += length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::vector<uint8_t> bmpFromPng(const std::vector<uint8_t>& png) {
    PngReader reader{&png, 0};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(readBytes, &reader);
    std::vector<uint8_t> bmp;
    const bool read = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS &&
                      cairo_image_surface_get_format(surface) != CAIRO_FORMAT_INVALID;
    const int width = read ? cairo_image_surface_get_width(surface) : 0;
    const int height = read ? cairo_image_surface_get_height(surface) : 0;
    if (width > 0 && height > 0) {
        cairo_surface_flush(surface);
        // Rows of three bytes a pixel, each padded to four bytes, the bottom row first.
        const uint32_t row = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
        const uint32_t pixels = row * static_cast<uint32_t>(height);
        bmp.push_back('B');
        bmp.push_back('M');
        put32(bmp, 14 + 40 + pixels);
        put32(bmp, 0);
        put32(bmp, 14 + 40);
        put32(bmp, 40);  // BITMAPINFOHEADER
        put32(bmp, static_cast<uint32_t>(width));
        put32(bmp, static_cast<uint32_t>(height));
        put16(bmp, 1);
        put16(bmp, 24);
        put32(bmp, 0);  // uncompressed
        put32(bmp, pixels);
        put32(bmp, 2835);  // 72 dots an inch
        put32(bmp, 2835);
        put32(bmp, 0);
        put32(bmp, 0);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        for (int y = height; y-- > 0;) {
            const uint32_t* source = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
            size_t written = 0;
            for (int x = 0; x < width; ++x) {
                // Cairo keeps premultiplied 0xAARRGGBB; a transparent part shows black.
                const uint32_t pixel = source[x];
                bmp.push_back(static_cast<uint8_t>(pixel));
                bmp.push_back(static_cast<uint8_t>(pixel >> 8));
                bmp.push_back(static_cast<uint8_t>(pixel >> 16));
                written += 3;
            }
            for (; written < row; ++written) bmp.push_back(0);
        }
    }
    cairo_surface_destroy(surface);
    return bmp;
}

std::vector<uint8_t> makeIconFile() {
    std::vector<std::vector<uint8_t>> images;
    for (int size : iconSizes) {
        images.push_back(makeIcon(size));
        if (images.back().empty()) return {};
    }
    std::vector<uint8_t> ico;
    put16(ico, 0);
    put16(ico, 1);  // an icon, not a cursor
    put16(ico, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        // A side of 256 is written as 0.
        ico.push_back(static_cast<uint8_t>(iconSizes[i] & 0xff));
        ico.push_back(static_cast<uint8_t>(iconSizes[i] & 0xff));
        ico.push_back(0);  // no palette
        ico.push_back(0);
        put16(ico, 1);   // planes
        put16(ico, 32);  // bits a pixel
        put32(ico, static_cast<uint32_t>(images[i].size()));
        put32(ico, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const std::vector<uint8_t>& image : images) ico.insert(ico.end(), image.begin(), image.end());
    return ico;
}
