// pictures.h -- the demo's seventeen pictures, the setup dialog's title picture and the player's help card
#pragma once
#include <cstdint>
#include <vector>

struct PictureMaker {
    const char* fileName = nullptr;  // under the data directory
    std::vector<uint8_t> (*make)() = nullptr;  // the encoded JPEG; empty on failure
};

constexpr int pictureCount = 17;
extern const PictureMaker pictures[pictureCount];

constexpr const char* dialogPictureName = "dialog.png";
// The 256 x 144 title picture of the setup dialog, as a 24-bit PNG.
std::vector<uint8_t> makeDialogPicture();

// The player's help card: the keys' table (app/keys.h), keysPictureSide square, as a JPEG.
constexpr int keysPictureSide = 512;
std::vector<uint8_t> makeKeysPicture();
