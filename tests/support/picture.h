// picture.h -- PNGs read back as RGB pictures, and how close two of them are
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// An RGB picture, top row first; empty when it did not read.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
    bool lit(int x, int y) const { return at(x, y)[0] || at(x, y)[1] || at(x, y)[2]; }
};

Picture readPng(const std::string& path);

// Peak signal-to-noise ratio over the three channels, in dB: infinity for equal pictures, NaN
// when either is empty or the sizes differ.
double psnr(const Picture& a, const Picture& b);
// A screen that shows the still scaled to fit at (x0, y0), w x h: the still scaled bilinearly onto
// that area (pixel centres onto pixel centres) and compared there, in dB over the RGB channels;
// litOutside counts the pixels around it that are not black.
double psnrOfScaled(const Picture& still, const Picture& screen, int x0, int y0, int w, int h, long& litOutside);
