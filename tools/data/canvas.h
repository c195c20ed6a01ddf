// canvas.h -- the generator's drawing kit: a Cairo surface, seeded dice, noise, blur, glow and encoders
#pragma once
#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

// A small generator of our own so that every picture and mesh is the same on every run,
// whatever the C library's rand() does.
struct Dice {
    uint64_t state = 0x9e3779b97f4a7c15ull;

    void seed(uint64_t n);
    uint32_t next();
    double unit();                         // [0, 1)
    double range(double lo, double hi);    // [lo, hi)
    int below(int n);                      // 0..n-1
};

// One RGB24 picture being drawn.
struct Canvas {
    int width = 0;
    int height = 0;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;

    bool create(int w, int h);  // false, holding nothing, when Cairo cannot make it
    void destroy();
    uint32_t* row(int y);
    // Adds another canvas of the same size pixel by pixel, clamped (light adds up).
    void addFrom(Canvas& other, double gain);
    // Box blur, three passes: close to a Gaussian of the given radius.
    void blur(int radius);
    // The corner that a wireframe drawn after a screen quad takes its colour from, kept
    // a flat patch so that JPEG coding does not shift it.
    void fillCorner(int size, double r, double g, double b);
};

// Smooth value noise and its fractal sum, both in [0, 1].
double valueNoise(double x, double y, uint32_t seed);
double fractalNoise(double x, double y, int octaves, uint32_t seed);

// Text helpers with the DejaVu faces.
void setFont(cairo_t* cr, const char* family, bool bold, double size);
double textWidth(cairo_t* cr, const char* text);
// Lettering with a soft halo: the text is drawn, blurred and added, then drawn sharp.
// align: 0 left, 0.5 centre, 1 right of x.
// Adds a blurred copy of the text's outline, in the font set on canvas, stroked lineWidth wide:
// the halo behind glowing lettering.
void addTextHalo(Canvas& canvas, const char* text, double left, double y, double r, double g, double b,
                 double lineWidth, int radius, double gain);
void glowText(Canvas& canvas, const char* text, const char* family, bool bold, double size,
              double x, double y, double align, double r, double g, double b, int glowRadius,
              double glowGain);

// Encoded files, in memory; an empty result means the encoder failed.
std::vector<uint8_t> encodeJpeg(Canvas& canvas, int quality);
std::vector<uint8_t> encodePng(Canvas& canvas);
