// carried_gl.h -- the GL state one frame hands the next, set only through here so that the frame's record always says what GL holds
#pragma once
#include <cstdint>

// Blending, texturing, the bound picture, the current colour and texture coordinate, the line
// width and the polygon mode outlive a frame; portable code sets them through these calls
// alone, which set GL and frameState.gl together. Everything else a frame sets afresh.
void setBlending(bool on);
void setBlendFunction(uint32_t source, uint32_t destination);
void setTexturing(bool on);
void bindPicture(uint32_t name);
void setColour(float r, float g, float b, float a = 1.0f);
// Outside glBegin/glEnd. Inside, immediate-mode draws send their own coordinates, and then
// note the one their last corner leaves current with noteTexCoord, which only records it.
void setTexCoord(float s, float t);
void noteTexCoord(float s, float t);
void setPolygonMode(uint32_t mode);  // front and back alike

// Line widths are given in pixels of the display mode; a frame buffer that holds the picture
// larger (a capture at another size, or supersampled) draws them this many times wider, so
// the lines keep their share of the picture. 1 on the display itself.
extern float lineWidthScale;
// glLineWidth(width x lineWidthScale): a width GL refuses (0 or below) is still refused and
// the one in force kept.
void setLineWidth(float width);

// Makes GL hold what frameState.gl says: after a snapshot is put back, or in a context made anew.
void applyCarriedGl();
// What GL itself says of the same state, read back, for checks that the two agree.
struct CarriedGl readCarriedGl();
