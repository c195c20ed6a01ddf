// gl11_layer.h -- what the layer's GL 1.1 half and its GLU half share, apart from the public calls
#pragma once
#include <cstdint>
#include <vector>

#define TALUMEN_GL11_NO_RENAME 1
#include "render/gl11/gl11.h"

// One mipmap level, RGB bytes packed with no row padding.
struct Gl11Level {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// The unpack alignment the caller set, which rows of its pixels follow.
int gl11UnpackAlignment();
// Loads a full chain of levels into the bound texture and marks it complete, so that texturing
// with it enabled samples it; false when no texture is bound or the chain is empty.
bool gl11LoadLevels(const std::vector<Gl11Level>& levels);
