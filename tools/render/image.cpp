// image.cpp -- stills as RGB PNG through libpng, and files that appear under their name only when complete
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "render_tool.h"

// zlib's fastest level, each row kept as its difference from the row above: about a fifth of
// the time the library's default settings take, for a file about a fifth larger. The pixels are
// the same either way.
bool writePng(FILE* file, int width, int height, const uint8_t* rgb) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    // libpng reports a failure, a failed write included, by jumping back here.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(y) * static_cast<size_t>(width) * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fflush(file) == 0 && !std::ferror(file);
}

bool PendingFile::create(const std::string& path, bool keepOpen, std::string& error) {
    finalPath = path;
    tempPath = path + ".part";
    file = openPartialFile(tempPath);
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
    // Over a file of that name, where there is one, on every system.
    std::error_code renamed;
    std::filesystem::rename(tempPath, finalPath, renamed);
    if (renamed) {
        error = "cannot write \"" + finalPath + "\": " + renamed.message();
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
    if (!tempPath.empty()) std::remove(tempPath.c_str());
    trackPartialFile("");
    tempPath.clear();
}
