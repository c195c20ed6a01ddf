// image.cpp -- stills as RGB PNG through Cairo, and files that appear under their name only when complete
#include <cairo.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "render_tool.h"

static cairo_status_t writeToFile(void* closure, const unsigned char* data, unsigned int length) {
    FILE* file = static_cast<FILE*>(closure);
    return std::fwrite(data, 1, length, file) == length ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

bool writePng(FILE* file, int width, int height, const uint8_t* rgb) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        // Cairo keeps a pixel as one native-endian word 0xXXRRGGBB.
        uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * static_cast<size_t>(stride));
        const uint8_t* source = rgb + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = source + static_cast<size_t>(x) * 3;
            row[x] = 0xFF000000u | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | uint32_t{p[2]};
        }
    }
    cairo_surface_mark_dirty(surface);
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface, writeToFile, file);
    cairo_surface_destroy(surface);
    return status == CAIRO_STATUS_SUCCESS;
}

bool PendingFile::create(const std::string& path, bool keepOpen, std::string& error) {
    finalPath = path;
    tempPath = path + ".part";
    file = std::fopen(tempPath.c_str(), "wb");
    if (!file) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        tempPath.clear();
        return false;
    }
    trackPartialFile(tempPath);
    if (!keepOpen) {
        std::fclose(file);
        file = nullptr;
    }
    return true;
}

bool PendingFile::commit(std::string& error) {
    if (file) {
        const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
        const int savedErrno = errno;
        const bool closed = std::fclose(file) == 0;
        file = nullptr;
        if (!flushed || !closed) {
            error = "writing \"" + finalPath + "\" failed: " + std::strerror(flushed ? errno : savedErrno);
            discard();
            return false;
        }
    }
    if (std::rename(tempPath.c_str(), finalPath.c_str()) != 0) {
        error = "cannot write \"" + finalPath + "\": " + std::strerror(errno);
        discard();
        return false;
    }
    trackPartialFile("");
    tempPath.clear();
    return true;
}

void PendingFile::discard() {
    if (file) std::fclose(file);
    file = nullptr;
    if (!tempPath.empty()) unlink(tempPath.c_str());
    trackPartialFile("");
    tempPath.clear();
}
