// egl_context.cpp -- EGL context on the surfaceless or device platform plus a framebuffer object, for rendering without a display
#define GL_GLEXT_PROTOTYPES 1
#include "platform/egl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(TALUMEN_EGL_ES3)
// Built for our GL 1.1 layer: an OpenGL ES 3 context. The layer batches what it is sent and
// keeps the viewport the scenes read back, so it is told the viewport, flushed before every
// read and released before the context goes.
void gl11Viewport(int x, int y, int width, int height);
void gl11Flush();
void gl11Release();
static constexpr EGLenum contextApi = EGL_OPENGL_ES_API;
static constexpr EGLint renderableBit = EGL_OPENGL_ES3_BIT_KHR;
static const EGLint contextAttribs[] = {EGL_CONTEXT_CLIENT_VERSION, 3, EGL_NONE};
static void setViewport(int w, int h) { gl11Viewport(0, 0, w, h); }
static void flushLayer() { gl11Flush(); }
static void releaseLayer() { gl11Release(); }
#else
// Desktop GL with no attributes: Mesa hands back its compatibility profile, where immediate
// mode works.
static constexpr EGLenum contextApi = EGL_OPENGL_API;
static constexpr EGLint renderableBit = EGL_OPENGL_BIT;
static const EGLint contextAttribs[] = {EGL_NONE};
static void setViewport(int w, int h) { glViewport(0, 0, w, h); }
static void flushLayer() {}
static void releaseLayer() {}
#endif

const char* headlessGlNeeds = "EGL's surfaceless or device platform";

static bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t n = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name)) {
        const bool starts = at == list || at[-1] == ' ';
        if (starts && (at[n] == ' ' || at[n] == '\0')) return true;
    }
    return false;
}

void eglPlatformOrder(const char* clientExtensions, const char* wanted, EglPlatform (&order)[2], int& count) {
    count = 0;
    // An EGL that lists no client extensions at all is an old Mesa: surfaceless may still work.
    const bool surfaceless = !clientExtensions || hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless");
    const bool device = hasExtension(clientExtensions, "EGL_EXT_platform_device") &&
                        (hasExtension(clientExtensions, "EGL_EXT_device_enumeration") ||
                         hasExtension(clientExtensions, "EGL_EXT_device_base"));
    const bool onlyDevice = wanted && std::strcmp(wanted, "device") == 0;
    const bool onlySurfaceless = wanted && std::strcmp(wanted, "surfaceless") == 0;
    if (surfaceless && !onlyDevice) order[count++] = EglPlatform::surfaceless;
    if (device && !onlySurfaceless) order[count++] = EglPlatform::device;
}

// An initialised display on the platform, or EGL_NO_DISPLAY.
static EGLDisplay openDisplay(EglPlatform platform) {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return EGL_NO_DISPLAY;
    EGLDisplay dpy = EGL_NO_DISPLAY;
    if (platform == EglPlatform::surfaceless) {
        dpy = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (dpy != EGL_NO_DISPLAY && !eglInitialize(dpy, nullptr, nullptr)) return EGL_NO_DISPLAY;
        return dpy;
    }
    auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    if (!queryDevices) return EGL_NO_DISPLAY;
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (!queryDevices(16, devices, &count)) return EGL_NO_DISPLAY;
    // The first device that initialises: a GPU where there is one, listed before software ones.
    for (EGLint i = 0; i < count; ++i) {
        dpy = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
        if (dpy != EGL_NO_DISPLAY && eglInitialize(dpy, nullptr, nullptr)) return dpy;
    }
    return EGL_NO_DISPLAY;
}

bool HeadlessGl::create(int w, int h) {
    if (w <= 0 || h <= 0) return false;
    largestSide = 0;
    EglPlatform order[2] = {};
    int platforms = 0;
    eglPlatformOrder(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS), std::getenv("TALUMEN_EGL_PLATFORM"), order,
                     platforms);
    for (int i = 0; i < platforms; ++i) {
        if (createOn(order[i], w, h)) return true;
        // A context that came up but cannot hold the buffer fails the same way everywhere.
        if (largestSide > 0) return false;
    }
    return false;
}

bool HeadlessGl::createOn(EglPlatform where, int w, int h) {
    EGLDisplay dpy = openDisplay(where);
    if (dpy == EGL_NO_DISPLAY) return false;
    // Every failure from here on gives the display back, so a caller may try again.
    if (!eglBindAPI(contextApi)) {
        eglTerminate(dpy);
        return false;
    }

    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, renderableBit,
                                    EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                    EGL_ALPHA_SIZE, 8, EGL_DEPTH_SIZE, 24, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(dpy, configAttribs, &config, 1, &count) || count < 1) {
        eglTerminate(dpy);
        return false;
    }
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
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE || glGetError() == GL_OUT_OF_MEMORY) {
        destroy();
        return false;
    }
    largestSide = side;
    setViewport(w, h);
    return true;
}

void HeadlessGl::destroy() {
    if (!display) return;
    if (context) {
        releaseLayer();
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
    flushLayer();
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
    flushLayer();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
}
