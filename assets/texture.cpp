// texture.cpp -- JPEG decoding into mipmapped GL textures
#include "assets/texture.h"

#include "render/gl.h"
#include <turbojpeg.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/message.h"
#include "base/run_marks.h"
#include "base/system.h"
#include "assets/data_path.h"
#include "assets/load_times.h"
#include "base/frame_state.h"
#include "render/carried_gl.h"

// Pictures larger than this are refused before any buffer is made for them: 8192 x 8192
// still fits, and nothing the demo shows comes near it.
static const long long maxPixels = 64LL * 1024 * 1024;
// A JPEG file bigger than this cannot hold a picture we would accept, so it is not read whole.
static const unsigned long maxFileBytes = 128UL * 1024 * 1024;

bool JpegDecoder::begin() {
    handle = tjInitDecompress();
    return handle != nullptr;
}

bool JpegDecoder::readSize(const unsigned char* file, unsigned long fileSize) {
    bytes = file;
    size = fileSize;
    width = 0;
    height = 0;
    if (!handle || !file || fileSize == 0) return false;
    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle, file, fileSize, &w, &h, &subsampling, &colourspace) != 0) return false;
    if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > maxPixels) return false;
    width = w;
    height = h;
    return true;
}

bool JpegDecoder::decode() {
    if (!handle || width <= 0 || height <= 0) return false;
    std::free(rgb);
    rgb = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(width) * height * 3));
    if (rgb && decodeInto(rgb)) return true;
    std::free(rgb);
    rgb = nullptr;
    return false;
}

bool JpegDecoder::decodeInto(unsigned char* pixels) {
    if (!handle || width <= 0 || height <= 0 || !pixels) return false;
    // Rows are asked for top row first and packed (pitch 0 = width x 3). A warning means
    // part of the picture is missing or garbage, so it stops the decode like an error;
    // the scan limit keeps a hostile progressive file from taking minutes.
    const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
    return tjDecompress2(handle, bytes, size, pixels, width, 0, height, TJPF_RGB, flags) == 0;
}

void JpegDecoder::end() {
    std::free(rgb);
    rgb = nullptr;
    if (handle) tjDestroy(handle);
    handle = nullptr;
}

// The whole file in one malloc'd block; false when it cannot be opened or read, is empty,
// is too big to be a picture we would take, or memory runs out.
static bool readWholeFile(const char* path, unsigned char*& data, unsigned long& size) {
    data = nullptr;
    size = 0;
    FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) return false;
    // Read in growing chunks rather than trusting a size from seeking, which a pipe or a
    // directory does not give.
    unsigned long capacity = 0;
    bool ok = true;
    for (;;) {
        if (size == capacity) {
            if (capacity >= maxFileBytes) {
                ok = false;
                break;
            }
            unsigned long grown = capacity ? capacity * 2 : 64 * 1024;
            if (grown > maxFileBytes) grown = maxFileBytes;
            unsigned char* bigger = static_cast<unsigned char*>(std::realloc(data, grown));
            if (!bigger) {
                ok = false;
                break;
            }
            data = bigger;
            capacity = grown;
        }
        const size_t got = std::fread(data + size, 1, capacity - size, file);
        size += got;
        if (got == 0) {
            ok = !std::ferror(file);
            break;
        }
    }
    std::fclose(file);
    if (!ok || size == 0) {
        std::free(data);
        data = nullptr;
        size = 0;
        return false;
    }
    return true;
}

// A picture's pixels in a mapping of their own, given back to the system when freed. From
// the heap, pixels that a helper thread decoded and the GL thread freed would stay in the
// helper's part of the heap, unused, for the rest of the run.
static size_t pixelBytes(const DecodedPicture& picture) {
    return static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 3;
}

void releasePicture(DecodedPicture& picture) {
    freePages(picture.rgb, pixelBytes(picture));
    picture.rgb = nullptr;
}

DecodedPicture decodePicture(const char* path, int maxSide) {
    DecodedPicture picture;
    picture.path = path ? path : "";
    JpegDecoder decoder;
    if (!decoder.begin()) {
        picture.failure = PictureFailure::init;
        return picture;
    }
    unsigned char* file = nullptr;
    unsigned long fileSize = 0;
    const bool sized = readWholeFile(path ? dataPath(path).c_str() : nullptr, file, fileSize) &&
                       decoder.readSize(file, fileSize) &&
                       (maxSide <= 0 || (decoder.width <= maxSide && decoder.height <= maxSide));
    if (!sized) {
        picture.failure = PictureFailure::readParams;
    } else {
        picture.width = decoder.width;
        picture.height = decoder.height;
        picture.rgb = static_cast<unsigned char*>(allocatePages(pixelBytes(picture)));
        if (!decoder.decodeInto(picture.rgb)) {
            releasePicture(picture);
            picture.width = picture.height = 0;
            picture.failure = PictureFailure::decode;
        }
    }
    std::free(file);
    decoder.end();
    return picture;
}

bool (*pictureLoadQueue)(Texture& texture, const char* path) = nullptr;

namespace {

// Every picture taken into GL so far, by texture name, so that a GL context made anew can
// have them again.
struct LoadedPicture {
    uint32_t name = 0;
    std::string path;
};
std::vector<LoadedPicture> loadedPictures;

// The decoded picture as the mipmapped texture name, left bound; the pixels are freed, GL
// holding its own copy.
void upload(uint32_t name, DecodedPicture& picture) {
    bindPicture(name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    // The mipmapped filter goes first: Mesa sizes a texture's storage from the filter in force
    // at its first level, and with GL's default it keeps level 0 in a place of its own beside
    // the whole chain until the texture is first drawn (a third more memory for every picture).
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    // Rows are packed with no padding, so any width reads correctly only at alignment 1;
    // the default of 4 is put back for everyone else.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, picture.width, picture.height, GL_RGB, GL_UNSIGNED_BYTE, picture.rgb);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    releasePicture(picture);
}

}  // namespace

void Texture::load(const char* path) {
    if (pictureLoadQueue && pictureLoadQueue(*this, path)) return;
    // The one GL call before success: a query, which changes no state.
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    const double started = steadySeconds();
    DecodedPicture picture = decodePicture(path, maxSide);
    loadTimes.pictureDecodeSeconds += steadySeconds() - started;
    take(picture, maxSide);
}

void Texture::take(DecodedPicture& picture, int maxSide) {
    // A side the GL cannot take would fail only inside gluBuild2DMipmaps, after the name was made.
    if (maxSide > 0 && (picture.width > maxSide || picture.height > maxSide)) {
        releasePicture(picture);
        picture.width = picture.height = 0;
        picture.failure = PictureFailure::readParams;
    }
    switch (picture.failure) {
        case PictureFailure::init: messageBox("Init error!", "Error"); return;
        case PictureFailure::readParams: messageBox("Read params error!", "Error"); return;
        case PictureFailure::decode: messageBox("Last error!", "Image Load Error"); return;
        case PictureFailure::none: break;
    }
    const double started = steadySeconds();
    glGenTextures(1, &name);
    upload(name, picture);
    loadTimes.pictureUploadSeconds += steadySeconds() - started;
    ++loadTimes.pictures;
    for (LoadedPicture& loaded : loadedPictures) {
        if (loaded.name == name) {
            loaded.path = picture.path;
            return;
        }
    }
    loadedPictures.push_back(LoadedPicture{name, picture.path});
}

void reloadTextures() {
    const uint32_t bound = frameState.gl.boundTexture;
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    for (const LoadedPicture& loaded : loadedPictures) {
        // Said once, when it was first loaded; one that fails now stays empty.
        DecodedPicture picture = decodePicture(loaded.path.c_str(), maxSide);
        if (picture.failure == PictureFailure::none)
            upload(loaded.name, picture);
        else
            releasePicture(picture);
    }
    bindPicture(bound);
}
