// egl_context.h -- headless GL on Mesa's surfaceless EGL platform, drawing into an offscreen buffer
#pragma once
#include <cstdint>

// A context current on this thread, with an RGBA8 colour buffer and a 24-bit depth buffer
// of width x height in a framebuffer object. No display server. egl_context.cpp makes it
// desktop GL's compatibility profile; egl_context_gles.cpp makes it OpenGL ES 3 for our GL 1.1
// layer, which it tells the viewport and flushes before reading.
struct HeadlessGl {
    void* display = nullptr;
    void* context = nullptr;
    uint32_t framebuffer = 0;
    uint32_t colourBuffer = 0;
    uint32_t depthBuffer = 0;
    int width = 0;
    int height = 0;

    bool create(int w, int h);
    void destroy();
    // The whole buffer as RGBA, width x height x 4 bytes, top row first.
    void readPixels(uint8_t* rgba) const;
};
