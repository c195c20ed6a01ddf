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
