// carried_gl.cpp -- the carried GL state, set in GL and in the frame's record together
#include "render/carried_gl.h"

#include "render/gl.h"

#include "base/frame_state.h"

float lineWidthScale = 1.0f;

namespace {

CarriedGl& carried() { return frameState.gl; }

void enable(GLenum cap, bool on) { on ? glEnable(cap) : glDisable(cap); }

}  // namespace

void setBlending(bool on) {
    carried().blend = on;
    enable(GL_BLEND, on);
}

void setBlendFunction(uint32_t source, uint32_t destination) {
    carried().blendSource = source;
    carried().blendDestination = destination;
    glBlendFunc(static_cast<GLenum>(source), static_cast<GLenum>(destination));
}

void setTexturing(bool on) {
    carried().texturing = on;
    enable(GL_TEXTURE_2D, on);
}

void bindPicture(uint32_t name) {
    carried().boundTexture = name;
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
}

void setColour(float r, float g, float b, float a) {
    float* colour = carried().colour;
    colour[0] = r;
    colour[1] = g;
    colour[2] = b;
    colour[3] = a;
    glColor4f(r, g, b, a);
}

void setTexCoord(float s, float t) {
    noteTexCoord(s, t);
    glTexCoord2f(s, t);
}

void noteTexCoord(float s, float t) {
    carried().texCoord[0] = s;
    carried().texCoord[1] = t;
}

void setPolygonMode(uint32_t mode) {
    carried().polygonMode = mode;
    glPolygonMode(GL_FRONT_AND_BACK, static_cast<GLenum>(mode));
}

void setLineWidth(float width) {
    const float scaled = width * lineWidthScale;
    // GL refuses a width of 0 or below with an error and keeps the one in force.
    if (scaled <= 0.0f) return;
    carried().lineWidth = scaled;
    glLineWidth(scaled);
}

void applyCarriedGl() {
    const CarriedGl& gl = carried();
    enable(GL_BLEND, gl.blend);
    glBlendFunc(static_cast<GLenum>(gl.blendSource), static_cast<GLenum>(gl.blendDestination));
    enable(GL_TEXTURE_2D, gl.texturing);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(gl.boundTexture));
    glColor4f(gl.colour[0], gl.colour[1], gl.colour[2], gl.colour[3]);
    glTexCoord2f(gl.texCoord[0], gl.texCoord[1]);
    glLineWidth(gl.lineWidth);
    glPolygonMode(GL_FRONT_AND_BACK, static_cast<GLenum>(gl.polygonMode));
}

CarriedGl readCarriedGl() {
    CarriedGl gl;
    gl.blend = glIsEnabled(GL_BLEND) == GL_TRUE;
    gl.texturing = glIsEnabled(GL_TEXTURE_2D) == GL_TRUE;
    GLint value = 0;
    glGetIntegerv(GL_BLEND_SRC, &value);
    gl.blendSource = static_cast<uint32_t>(value);
    glGetIntegerv(GL_BLEND_DST, &value);
    gl.blendDestination = static_cast<uint32_t>(value);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    gl.boundTexture = static_cast<uint32_t>(value);
    glGetFloatv(GL_CURRENT_COLOR, gl.colour);
    GLfloat coordinates[4] = {};
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, coordinates);
    gl.texCoord[0] = coordinates[0];
    gl.texCoord[1] = coordinates[1];
    glGetFloatv(GL_LINE_WIDTH, &gl.lineWidth);
    GLint modes[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, modes);
    gl.polygonMode = static_cast<uint32_t>(modes[0]);
    return gl;
}
