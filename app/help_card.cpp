// help_card.cpp -- the keys' help card: its picture taken into GL and drawn over the frame
#include "app/help_card.h"

#include "render/gl.h"

#include <algorithm>

#include "assets/texture.h"
#include "render/carried_gl.h"

HelpCard helpCard;

static bool powerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

bool HelpCard::take() {
    tried = true;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    JpegDecoder decoder;
    const bool decoded = jpeg && size > 0 && decoder.begin() && decoder.readSize(jpeg, size) &&
                         powerOfTwo(decoder.width) && powerOfTwo(decoder.height) && decoder.width <= largest &&
                         decoder.height <= largest && decoder.decode();
    if (decoded) {
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        // Mipmapped, for a band smaller than the card; at one texel a pixel level 0 alone is read.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        const bool built = gluBuild2DMipmaps(GL_TEXTURE_2D, 3, decoder.width, decoder.height, GL_RGB,
                                             GL_UNSIGNED_BYTE, decoder.rgb) == 0;
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        if (built) {
            texture = name;
            width = decoder.width;
            height = decoder.height;
        } else {
            glDeleteTextures(1, &name);
        }
        // The frame's own picture bound again.
        applyCarriedGl();
    }
    decoder.end();
    return texture != 0;
}

void HelpCard::draw() {
    if (!tried) take();
    if (!texture) return;
    GLint band[4] = {};
    glGetIntegerv(GL_VIEWPORT, band);
    if (band[2] <= 0 || band[3] <= 0) return;
    const double fit = std::min({1.0, 0.9 * band[2] / width, 0.9 * band[3] / height});
    const int wide = static_cast<int>(width * fit), high = static_cast<int>(height * fit);
    // Whole pixels, so that at one texel a pixel the card shows exactly as drawn.
    const int left = (band[2] - wide) / 2, bottom = (band[3] - high) / 2;

    GLint matrixMode = GL_MODELVIEW;
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    const GLboolean depthTest = glIsEnabled(GL_DEPTH_TEST);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, band[2], 0, band[3]);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, opacity);
    // The picture's first row at the top.
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2i(left, bottom + high);
    glTexCoord2f(1, 0);
    glVertex2i(left + wide, bottom + high);
    glTexCoord2f(1, 1);
    glVertex2i(left + wide, bottom);
    glTexCoord2f(0, 1);
    glVertex2i(left, bottom);
    glEnd();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(static_cast<GLenum>(matrixMode));
    if (depthTest) glEnable(GL_DEPTH_TEST);
    applyCarriedGl();
}

void HelpCard::release() {
    if (texture) {
        const GLuint name = texture;
        glDeleteTextures(1, &name);
    }
    texture = 0;
    width = height = 0;
    tried = false;
}

void drawHelpCard() { helpCard.draw(); }
