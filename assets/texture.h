// texture.h -- one JPEG picture as one mipmapped GL texture
#pragma once
#include <cstdint>

struct Texture {
    uint32_t name = 0;  // GL texture name; 0 until a load succeeds

    // Decodes path and builds a mipmapped RGB texture, left bound to GL_TEXTURE_2D.
    // A failure shows its message and leaves name and the GL state as they were (the only
    // GL call then is the query of the largest texture size, for a picture too big for it).
    void load(const char* path);
};

// Decodes every picture loaded so far again into its own texture name, for a GL context made
// anew after the one they were loaded in was lost (names as GL 1.1 keeps them: binding one
// makes its texture). The binding is left as it was; nothing is said of a picture that fails.
void reloadTextures();

// The JPEG half of Texture::load, apart from GL so that it can be exercised on its own:
// one decompressor, the file's bytes, the size from its header and the decoded rows.
struct JpegDecoder {
    void* handle = nullptr;              // TurboJPEG decompressor; null until begin()
    const unsigned char* bytes = nullptr;  // the whole file, owned by the caller
    unsigned long size = 0;
    int width = 0;
    int height = 0;
    unsigned char* rgb = nullptr;  // width x height x 3 bytes, packed rows, top row first

    // Sets the decompressor up; false when it cannot be made.
    bool begin();
    // Reads the header of the file in memory; false for a header that cannot be read,
    // an empty picture or one over 64 megapixels.
    bool readSize(const unsigned char* file, unsigned long fileSize);
    // Decodes the whole picture into rgb; false when memory runs out or the picture is
    // damaged anywhere, even where the library would only warn and hand back part of it.
    bool decode();
    // Frees the rows and the decompressor; safe to call at any point.
    void end();
};
