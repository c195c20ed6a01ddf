// texture.cpp -- JPEG decoding into mipmapped GL textures
#include "assets/texture.h"

void Texture::load(const char* path) { (void)path; }
