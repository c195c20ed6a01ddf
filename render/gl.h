// gl.h -- the one GL header of portable code: desktop GL 1.1 and GLU, or our own layer over ES 3
#pragma once

#if defined(TALUMEN_GL_LAYER)
#include "render/gl11/gl11.h"
#else
#include <GL/gl.h>
// Past GL 1.1 (GL_CLAMP_TO_EDGE): Mesa's gl.h brings it along, Windows' does not.
#include <GL/glext.h>
#include <GL/glu.h>
#endif
