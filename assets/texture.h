// texture.h -- one JPEG picture as one mipmapped GL texture
#pragma once
#include <cstdint>
#include <string>

// Which step of a load failed; each has its own message.
enum class PictureFailure { none, init, readParams, decode };

// One picture decoded and waiting for GL, or the step at which it failed: what passes from the
// thread that decodes it to the GL thread.
struct DecodedPicture {
    PictureFailure failure = PictureFailure::none;
    int width = 0;
    int height = 0;
    // width x height x 3 bytes, packed rows, top row first, in a mapping of their own that
    // Texture::take frees
    unsigned char* rgb = nullptr;
    std::string path;  // as the load named it, so that the picture can be had again
};

// Reads and decodes path, on any thread; no GL calls. A picture with a side over maxSide (the
// GL's largest texture; 0: not checked) fails like a header that cannot be read.
DecodedPicture decodePicture(const char* path, int maxSide);

struct Texture {
    uint32_t name = 0;  // GL texture name; 0 until a load succeeds

    // Decodes path and builds a mipmapped RGB texture, left bound to GL_TEXTURE_2D.
    // A failure shows its message and leaves name and the GL state as they were (the only
    // GL call then is the query of the largest texture size). While the start-up's loads are
    // open (loader.h) it only queues the file: the texture, or the message, comes when the
    // loads are taken into GL.
    void load(const char* path);
    // The GL half of load, on the GL thread: the failure's message, or the texture built from
    // the pixels. A picture with a side over maxSide fails like one whose header cannot be
    // read. The pixels are freed either way.
    void take(DecodedPicture& picture, int maxSide);
};

// Where Texture::load hands its file while the start-up's loads are open (loader.h sets it);
// true when it took the file. Null: every load runs whole when it is called.
extern bool (*pictureLoadQueue)(Texture& texture, const char* path);

// Frees the pixels of a picture that will not be taken.
void releasePicture(DecodedPicture& picture);
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
    // The same into pixels the caller made, width x height x 3 bytes.
    bool decodeInto(unsigned char* pixels);
    // Frees the rows and the decompressor; safe to call at any point.
    void end();
};
