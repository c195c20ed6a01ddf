// texture.cpp -- JPEG decoding into mipmapped GL textures
#include "assets/texture.h"

#include "render/gl.h"
#include <turbojpeg.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/message.h"
#include "assets/data_path.h"

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
    if (!rgb) return false;
    // Rows are asked for top row first and packed (pitch 0 = width x 3). A warning means
    // part of the picture is missing or garbage, so it stops the decode like an error;
    // the scan limit keeps a hostile progressive file from taking minutes.
    const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
    if (tjDecompress2(handle, bytes, size, rgb, width, 0, height, TJPF_RGB, flags) != 0) {
        std::free(rgb);
        rgb = nullptr;
        return false;
    }
    return true;
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

namespace {

// Every picture loaded so far, by texture name, so that a GL context made anew can have them again.
struct LoadedPicture {
    uint32_t name = 0;
    std::string path;
};
std::vector<LoadedPicture> loadedPictures;

// Reads and decodes path into decoder; on failure, the message the loader gives for it (null
// when the decompressor itself could not be made).
bool decodeFile(const char* path, JpegDecoder& decoder, const char*& failure, const char*& caption) {
    failure = "Init error!";
    caption = "Error";
    if (!decoder.begin()) return false;
    unsigned char* file = nullptr;
    unsigned long fileSize = 0;
    bool sized = readWholeFile(path ? dataPath(path).c_str() : nullptr, file, fileSize) && decoder.readSize(file, fileSize);
    if (sized) {
        // The one GL call before success: a query, which changes no state. A side the GL
        // cannot take would fail only inside gluBuild2DMipmaps, after the name was made.
        GLint maxSide = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
        if (maxSide > 0 && (decoder.width > maxSide || decoder.height > maxSide)) sized = false;
    }
    if (!sized) {
        std::free(file);
        failure = "Read params error!";
        return false;
    }
    const bool decoded = decoder.decode();
    std::free(file);
    failure = "Last error!";
    caption = "Image Load Error";
    return decoded;
}

// The decoded picture as the mipmapped texture name, left bound.
void upload(uint32_t name, const JpegDecoder& decoder) {
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    // Rows are packed with no padding, so any width reads correctly only at alignment 1;
    // the default of 4 is put back for everyone else.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, decoder.width, decoder.height, GL_RGB, GL_UNSIGNED_BYTE, decoder.rgb);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

}  // namespace

void Texture::load(const char* path) {
    JpegDecoder decoder;
    const char* failure = nullptr;
    const char* caption = nullptr;
    if (!decodeFile(path, decoder, failure, caption)) {
        decoder.end();
        messageBox(failure, caption);
        return;
    }
    glGenTextures(1, &name);
    upload(name, decoder);
    decoder.end();
    for (LoadedPicture& picture : loadedPictures) {
        if (picture.name == name) {
            picture.path = path;
            return;
        }
    }
    loadedPictures.push_back(LoadedPicture{name, path});
}

void reloadTextures() {
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    for (const LoadedPicture& picture : loadedPictures) {
        JpegDecoder decoder;
        const char* failure = nullptr;
        const char* caption = nullptr;
        // Said once, when it was first loaded; one that fails now stays empty.
        if (decodeFile(picture.path.c_str(), decoder, failure, caption)) upload(picture.name, decoder);
        decoder.end();
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
}
