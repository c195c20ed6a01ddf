// egl_context_gles.cpp -- the headless context as OpenGL ES 3 on Mesa's surfaceless EGL, for our GL 1.1 layer
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/egl_context.h"
#include "platform/gles/gl11_layer.h"

// Only Mesa's surfaceless platform: the ES 3 path is for checking our layer here, not for GPUs.
bool HeadlessGl::create(int w, int h) { return createOn(EglPlatform::surfaceless, w, h); }

bool HeadlessGl::createOn(EglPlatform where, int w, int h) {
    largestSide = 0;
    if (where != EglPlatform::surfaceless || w <= 0 || h <= 0) return false;
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return false;
    EGLDisplay dpy = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY || !eglInitialize(dpy, nullptr, nullptr)) return false;
    // Every failure from here on gives the display back, so a caller may try again.
    if (!eglBindAPI(EGL_OPENGL_ES_API)) {
        eglTerminate(dpy);
        return false;
    }
    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES3_BIT_KHR,
                                    EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                    EGL_ALPHA_SIZE, 8, EGL_DEPTH_SIZE, 24, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(dpy, configAttribs, &config, 1, &count) || count < 1) {
        eglTerminate(dpy);
        return false;
    }
    const EGLint contextAttribs[] = {EGL_CONTEXT_CLIENT_VERSION, 3, EGL_NONE};
    EGLContext ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, contextAttribs);
    if (ctx == EGL_NO_CONTEXT) {
        eglTerminate(dpy);
        return false;
    }
    if (!eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx)) {
        eglDestroyContext(dpy, ctx);
        eglTerminate(dpy);
        return false;
    }
    display = dpy;
    context = ctx;
    width = w;
    height = h;
    platform = where;

    GLint renderbufferSide = 0;
    GLint viewportSides[2] = {};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbufferSide);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewportSides);
    const int side = std::min({renderbufferSide, viewportSides[0], viewportSides[1]});
    if (w > side || h > side) {
        destroy();
        largestSide = side;
        return false;
    }

    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(1, &colourBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, colourBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer);
    glGenRenderbuffers(1, &depthBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        destroy();
        return false;
    }
    largestSide = side;
    // Through the layer, so that it knows the viewport the scenes read back.
    gl11Viewport(0, 0, w, h);
    return true;
}

void HeadlessGl::destroy() {
    if (!display) return;
    if (context) {
        gl11Release();
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        if (framebuffer) glDeleteFramebuffers(1, &framebuffer);
        if (colourBuffer) glDeleteRenderbuffers(1, &colourBuffer);
        if (depthBuffer) glDeleteRenderbuffers(1, &depthBuffer);
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
    }
    eglTerminate(display);
    *this = HeadlessGl{};
}

void HeadlessGl::readPixels(uint8_t* rgba) const {
    // What the layer still holds is drawn first.
    gl11Flush();
    const size_t row = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> bottomUp(row * static_cast<size_t>(height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // GL rows come bottom-up; images and tests want the top row first.
    for (int y = 0; y < height; ++y)
        std::memcpy(rgba + static_cast<size_t>(y) * row, bottomUp.data() + static_cast<size_t>(height - 1 - y) * row,
                    row);
}

void HeadlessGl::readBottomUp(uint8_t* rgba) const {
    gl11Flush();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
}
