// egl_context.h -- headless GL through EGL (surfaceless or device platform), drawing into an offscreen buffer
#pragma once
#include <cstdint>

// Which EGL platform HeadlessGl::create takes: Mesa's surfaceless one where the EGL has it,
// otherwise the first device EGL_EXT_platform_device lists (NVIDIA's EGL has no surfaceless
// platform). TALUMEN_EGL_PLATFORM=device or =surfaceless asks for one of them only.
enum class EglPlatform { none, surfaceless, device };
// The platforms to try, in order, given EGL's client extension string (null: an EGL without
// client extensions, where only surfaceless is tried) and the value of TALUMEN_EGL_PLATFORM
// (null: unset). count is 0 when none can serve.
void eglPlatformOrder(const char* clientExtensions, const char* wanted, EglPlatform (&order)[2], int& count);

// What a headless context needs of the system, for the message that says there is none:
// "EGL's surfaceless or device platform".
extern const char* headlessGlNeeds;

// A context current on this thread, with an RGBA8 colour buffer and a 24-bit depth buffer
// of width x height in a framebuffer object. No display server. egl_context.cpp makes it
// desktop GL's compatibility profile, or, built with TALUMEN_EGL_ES3, OpenGL ES 3 for our GL 1.1
// layer, which it tells the viewport and flushes before reading.
struct HeadlessGl {
    void* display = nullptr;
    void* context = nullptr;
    uint32_t framebuffer = 0;
    uint32_t colourBuffer = 0;
    uint32_t depthBuffer = 0;
    int width = 0;
    int height = 0;
    // After create(), whether it succeeded or not: the largest side the GL draws a frame
    // buffer at (0 when no context came up), and the platform it came up on.
    int largestSide = 0;
    EglPlatform platform = EglPlatform::none;

    bool create(int w, int h);
    bool createOn(EglPlatform where, int w, int h);
    void destroy();
    // The whole buffer as RGBA, width x height x 4 bytes, top row first.
    void readPixels(uint8_t* rgba) const;
    // The same as GL gives it, bottom row first: no copy, no flip.
    void readBottomUp(uint8_t* rgba) const;
};
