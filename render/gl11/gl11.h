// gl11.h -- the GL 1.1 and GLU calls the demo makes, provided by our own layer over OpenGL ES 3 / WebGL 2
#pragma once

// The ES 3 header gives the types and the enums the two APIs share. Every GL 1.1 name the
// demo uses is then renamed to a gl11 symbol of ours, so that portable code calling glEnable
// reaches the layer, and the layer's own calls reach the real ES entry points.
#include <GLES3/gl3.h>

typedef double GLdouble;

// Enums that GL 1.1 has and ES 3 dropped, with their desktop values.
#ifndef GL_QUADS
#define GL_QUADS 0x0007
#endif
#define GL_MATRIX_MODE 0x0BA0
#define GL_MODELVIEW 0x1700
#define GL_PROJECTION 0x1701
#define GL_MODELVIEW_MATRIX 0x0BA6
#define GL_PROJECTION_MATRIX 0x0BA7
#define GL_POINT 0x1B00
#define GL_LINE 0x1B01
#define GL_FILL 0x1B02
#define GL_LINE_SMOOTH 0x0B20
#define GL_LINE_SMOOTH_HINT 0x0C52
#define GL_CLIENT_VERTEX_ARRAY_BIT 0x00000002
#define GL_VERTEX_ARRAY 0x8074
#define GL_NORMAL_ARRAY 0x8075
#define GL_COLOR_ARRAY 0x8076
#define GL_TEXTURE_COORD_ARRAY 0x8078
#define GL_EDGE_FLAG_ARRAY 0x8079
#define GL_CURRENT_COLOR 0x0B00
#define GL_CURRENT_TEXTURE_COORDS 0x0B03
#define GL_POLYGON_MODE 0x0B40
#define GL_BLEND_DST 0x0BE0
#define GL_BLEND_SRC 0x0BE1
#define GL_STACK_OVERFLOW 0x0503
#define GL_STACK_UNDERFLOW 0x0504

// Immediate mode; the current colour and texture coordinate persist between primitives.
void gl11Begin(GLenum mode);
void gl11End();
void gl11Vertex2i(GLint x, GLint y);
void gl11Vertex2f(GLfloat x, GLfloat y);
void gl11Vertex3f(GLfloat x, GLfloat y, GLfloat z);
void gl11TexCoord2f(GLfloat s, GLfloat t);
void gl11Color3f(GLfloat r, GLfloat g, GLfloat b);
void gl11Color4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);

// Matrix stacks.
void gl11MatrixMode(GLenum mode);
void gl11LoadIdentity();
void gl11LoadMatrixf(const GLfloat* m);
void gl11MultMatrixf(const GLfloat* m);
void gl11PushMatrix();
void gl11PopMatrix();
void gl11Translatef(GLfloat x, GLfloat y, GLfloat z);
void gl11Rotatef(GLfloat degrees, GLfloat x, GLfloat y, GLfloat z);
void gl11Scalef(GLfloat x, GLfloat y, GLfloat z);

// State.
void gl11Enable(GLenum cap);
void gl11Disable(GLenum cap);
void gl11BlendFunc(GLenum source, GLenum destination);
void gl11DepthMask(GLboolean flag);
void gl11PolygonMode(GLenum face, GLenum mode);
void gl11LineWidth(GLfloat width);
void gl11Hint(GLenum target, GLenum mode);
void gl11Viewport(GLint x, GLint y, GLsizei width, GLsizei height);
void gl11Scissor(GLint x, GLint y, GLsizei width, GLsizei height);
void gl11ClearColor(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
void gl11Clear(GLbitfield mask);
GLboolean gl11IsEnabled(GLenum cap);
void gl11GetFloatv(GLenum name, GLfloat* values);
void gl11GetIntegerv(GLenum name, GLint* values);
GLenum gl11GetError();
void gl11Flush();
void gl11Finish();

// Textures.
void gl11GenTextures(GLsizei count, GLuint* names);
void gl11DeleteTextures(GLsizei count, const GLuint* names);
void gl11BindTexture(GLenum target, GLuint name);
void gl11TexParameteri(GLenum target, GLenum name, GLint value);
void gl11PixelStorei(GLenum name, GLint value);

// Client vertex arrays, as far as glDrawElements over a vertex pointer needs them.
void gl11EnableClientState(GLenum array);
void gl11DisableClientState(GLenum array);
void gl11PushClientAttrib(GLbitfield mask);
void gl11PopClientAttrib();
void gl11VertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void gl11DrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices);

// GLU.
void glu11Perspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);
void glu11Ortho2D(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top);
void glu11LookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centreX, GLdouble centreY,
                 GLdouble centreZ, GLdouble upX, GLdouble upY, GLdouble upZ);
GLint glu11Build2DMipmaps(GLenum target, GLint components, GLint width, GLint height, GLenum format,
                          GLenum type, const void* data);

// Draw calls the layer has made so far: what batching saves shows here.
unsigned gl11DrawCalls();

// For the platform layer: gives back the layer's GL objects before its context goes, so a
// later context starts the layer afresh.
void gl11Release();
// For the platform layer, once its context was lost and is usable again (or another is current):
// the old GL objects are gone, not given back. The layer makes its own anew on first use and
// tracks a new context's state; every texture name handed out stays valid and names an empty
// texture until a picture is loaded into it again.
void gl11ContextRenewed();

#if !defined(TALUMEN_GL11_NO_RENAME)
#define glBegin gl11Begin
#define glEnd gl11End
#define glVertex2i gl11Vertex2i
#define glVertex2f gl11Vertex2f
#define glVertex3f gl11Vertex3f
#define glTexCoord2f gl11TexCoord2f
#define glColor3f gl11Color3f
#define glColor4f gl11Color4f
#define glMatrixMode gl11MatrixMode
#define glLoadIdentity gl11LoadIdentity
#define glLoadMatrixf gl11LoadMatrixf
#define glMultMatrixf gl11MultMatrixf
#define glPushMatrix gl11PushMatrix
#define glPopMatrix gl11PopMatrix
#define glTranslatef gl11Translatef
#define glRotatef gl11Rotatef
#define glScalef gl11Scalef
#define glEnable gl11Enable
#define glDisable gl11Disable
#define glBlendFunc gl11BlendFunc
#define glDepthMask gl11DepthMask
#define glPolygonMode gl11PolygonMode
#define glLineWidth gl11LineWidth
#define glHint gl11Hint
#define glViewport gl11Viewport
#define glScissor gl11Scissor
#define glClearColor gl11ClearColor
#define glClear gl11Clear
#define glIsEnabled gl11IsEnabled
#define glGetFloatv gl11GetFloatv
#define glGetIntegerv gl11GetIntegerv
#define glGetError gl11GetError
#define glFlush gl11Flush
#define glFinish gl11Finish
#define glGenTextures gl11GenTextures
#define glDeleteTextures gl11DeleteTextures
#define glBindTexture gl11BindTexture
#define glTexParameteri gl11TexParameteri
#define glPixelStorei gl11PixelStorei
#define glEnableClientState gl11EnableClientState
#define glDisableClientState gl11DisableClientState
#define glPushClientAttrib gl11PushClientAttrib
#define glPopClientAttrib gl11PopClientAttrib
#define glVertexPointer gl11VertexPointer
#define glDrawElements gl11DrawElements
#define gluPerspective glu11Perspective
#define gluOrtho2D glu11Ortho2D
#define gluLookAt glu11LookAt
#define gluBuild2DMipmaps glu11Build2DMipmaps
#endif
