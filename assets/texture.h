// texture.h -- one JPEG picture as one mipmapped GL texture
#pragma once
#include <cstdint>

struct Texture {
    uint32_t name = 0;  // GL texture name; 0 until a load succeeds

    // Decodes path and builds a mipmapped RGB texture, left bound to GL_TEXTURE_2D.
    // A failure shows its message and leaves name as it was; no GL call is made then.
    void load(const char* path);
};
