// overlay.cpp -- pixel-space 2D projection and the screen quads in immediate mode
#include "render/overlay.h"

#include "render/gl.h"

#include "base/globals.h"
#include "render/carried_gl.h"

void beginOverlay2D() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, screenWidth, 0, screenHeight);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void endOverlay2D() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

// The corner order is fixed: the last corner leaves texture coordinate (0, 1) current,
// and the wireframe meshes drawn after a quad take their colour from that texel.
static void drawQuad(int width, int height) {
    if (skipDrawing) {
        setTexCoord(0, 1);
        return;
    }
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2i(0, height);
    glTexCoord2f(1, 0);
    glVertex2i(width, height);
    glTexCoord2f(1, 1);
    glVertex2i(width, 0);
    glTexCoord2f(0, 1);
    glVertex2i(0, 0);
    glEnd();
    noteTexCoord(0, 1);
}

void drawScreenQuad() { drawQuad(screenWidth, screenHeight); }
void drawDoubleQuad() { drawQuad(2 * screenWidth, 2 * screenHeight); }
void drawTallQuad() { drawQuad(screenWidth, 2 * screenHeight); }
