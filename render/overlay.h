// overlay.h -- pixel-space 2D mode and the three textured screen quads the cards use
#pragma once

// Pushes both matrices and sets x 0..screenWidth, y 0..screenHeight (bottom up) over
// whatever viewport is in force; leaves the matrix mode at GL_MODELVIEW.
void beginOverlay2D();
// Pops both matrices pushed by beginOverlay2D(); leaves the matrix mode at GL_MODELVIEW.
void endOverlay2D();

// Each quad sends texture coordinates and vertices only, t = 0 on its top edge, so the
// first row of a picture shows at the top. Colour, blending and texture are the caller's.
// With skipDrawing only the texture coordinate the last corner leaves is set.
void drawScreenQuad();  // screenWidth x screenHeight
void drawDoubleQuad();  // 2 screenWidth x 2 screenHeight
void drawTallQuad();    // screenWidth x 2 screenHeight
