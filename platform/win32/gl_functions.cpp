// gl_functions.cpp -- the GL functions past 1.1 that we call by name, looked up through WGL on first use
// Windows' GL library exports GL 1.1 only; the driver hands out the rest through
// wglGetProcAddress once a context is current. Each function here forwards to the driver's
// and does nothing (returning 0) where the driver has none, which the callers take as a
// failure: a framebuffer that is never complete. A caller that took the declarations from
// SDL_opengl.h calls them as a DLL's, through a pointer named __imp_NAME: those are here too.
#define GL_GLEXT_PROTOTYPES 1
#include <windows.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

template <typename Function> static Function driverFunction(Function& slot, const char* name) {
    if (slot) return slot;
    const PROC found = wglGetProcAddress(name);
    // Some drivers answer 1, 2, 3 or -1 for a name they lack.
    const intptr_t value = reinterpret_cast<intptr_t>(found);
    if (value >= -1 && value <= 3) return nullptr;
    // Kept only once found: a lookup before any context was current finds nothing.
    slot = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
    return slot;
}

#define TALUMEN_GL_FORWARD(result, name, type, params, args)                 \
    extern "C" result APIENTRY name params {                                 \
        static type function = nullptr;                                      \
        if (type found = driverFunction(function, #name)) return found args; \
        return result();                                                     \
    }                                                                        \
    extern "C" {                                                             \
    type __imp_##name = name;                                                \
    }

TALUMEN_GL_FORWARD(void, glGenFramebuffers, PFNGLGENFRAMEBUFFERSPROC, (GLsizei n, GLuint* names), (n, names))
TALUMEN_GL_FORWARD(void, glDeleteFramebuffers, PFNGLDELETEFRAMEBUFFERSPROC, (GLsizei n, const GLuint* names), (n, names))
TALUMEN_GL_FORWARD(void, glBindFramebuffer, PFNGLBINDFRAMEBUFFERPROC, (GLenum target, GLuint name), (target, name))
TALUMEN_GL_FORWARD(GLenum, glCheckFramebufferStatus, PFNGLCHECKFRAMEBUFFERSTATUSPROC, (GLenum target), (target))
TALUMEN_GL_FORWARD(void, glFramebufferRenderbuffer, PFNGLFRAMEBUFFERRENDERBUFFERPROC,
                   (GLenum target, GLenum attachment, GLenum renderTarget, GLuint name),
                   (target, attachment, renderTarget, name))
TALUMEN_GL_FORWARD(void, glGenRenderbuffers, PFNGLGENRENDERBUFFERSPROC, (GLsizei n, GLuint* names), (n, names))
TALUMEN_GL_FORWARD(void, glDeleteRenderbuffers, PFNGLDELETERENDERBUFFERSPROC, (GLsizei n, const GLuint* names), (n, names))
TALUMEN_GL_FORWARD(void, glBindRenderbuffer, PFNGLBINDRENDERBUFFERPROC, (GLenum target, GLuint name), (target, name))
TALUMEN_GL_FORWARD(void, glRenderbufferStorage, PFNGLRENDERBUFFERSTORAGEPROC,
                   (GLenum target, GLenum format, GLsizei width, GLsizei height), (target, format, width, height))
TALUMEN_GL_FORWARD(void, glBlitFramebuffer, PFNGLBLITFRAMEBUFFERPROC,
                   (GLint x0, GLint y0, GLint x1, GLint y1, GLint toX0, GLint toY0, GLint toX1, GLint toY1,
                    GLbitfield mask, GLenum filter),
                   (x0, y0, x1, y1, toX0, toY0, toX1, toY1, mask, filter))
