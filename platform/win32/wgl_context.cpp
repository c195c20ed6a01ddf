// wgl_context.cpp -- headless GL on Windows: a hidden window's WGL context drawing into a framebuffer object
// The same HeadlessGl as egl_context.cpp gives on Linux: display holds the hidden window,
// context the WGL context; the window is never shown, so it needs no screen of its size.
#define GL_GLEXT_PROTOTYPES 1
#include "platform/egl_context.h"

#include <windows.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>
#include <vector>

const char* headlessGlNeeds = "an OpenGL driver with framebuffer objects";

static const wchar_t* windowClass = L"talumen-headless";

static bool registerClass() {
    static bool registered = false;
    if (registered) return true;
    WNDCLASSW description{};
    // Its own device context, which stays valid for as long as the window lives.
    description.style = CS_OWNDC;
    description.lpfnWndProc = DefWindowProcW;
    description.hInstance = GetModuleHandleW(nullptr);
    description.lpszClassName = windowClass;
    registered = RegisterClassW(&description) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return registered;
}

bool HeadlessGl::create(int w, int h) { return createOn(EglPlatform::none, w, h); }

bool HeadlessGl::createOn(EglPlatform, int w, int h) {
    if (w <= 0 || h <= 0 || display || !registerClass()) return false;
    largestSide = 0;
    HWND window = CreateWindowExW(0, windowClass, L"talumen", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window) return false;
    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    format.cDepthBits = 24;
    const int chosen = dc ? ChoosePixelFormat(dc, &format) : 0;
    HGLRC made = chosen && SetPixelFormat(dc, chosen, &format) ? wglCreateContext(dc) : nullptr;
    if (!made || !wglMakeCurrent(dc, made)) {
        if (made) wglDeleteContext(made);
        DestroyWindow(window);
        return false;
    }
    display = window;
    context = made;
    width = w;
    height = h;

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

    // Drawn into buffers of our own: the window's would be the size of the window.
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
    glViewport(0, 0, w, h);
    return true;
}

void HeadlessGl::destroy() {
    if (!display) return;
    HWND window = static_cast<HWND>(display);
    if (context) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        if (framebuffer) glDeleteFramebuffers(1, &framebuffer);
        if (colourBuffer) glDeleteRenderbuffers(1, &colourBuffer);
        if (depthBuffer) glDeleteRenderbuffers(1, &depthBuffer);
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(static_cast<HGLRC>(context));
    }
    DestroyWindow(window);
    *this = HeadlessGl{};
}

void HeadlessGl::readPixels(uint8_t* rgba) const {
    const size_t row = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> bottomUp(row * static_cast<size_t>(height));
    readBottomUp(bottomUp.data());
    // GL rows come bottom-up; images and tests want the top row first.
    for (int y = 0; y < height; ++y)
        std::memcpy(rgba + static_cast<size_t>(y) * row, bottomUp.data() + static_cast<size_t>(height - 1 - y) * row,
                    row);
}

void HeadlessGl::readBottomUp(uint8_t* rgba) const {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
}
