// windows_files.h -- the Windows player's resources: the dialog's picture as a bitmap, the icon as an icon file
#pragma once
#include <cstdint>
#include <vector>

// A PNG (8-bit RGB or RGBA) as a 24-bit bottom-up BMP file, the form a dialog's bitmap resource
// takes; empty when the PNG does not decode.
std::vector<uint8_t> bmpFromPng(const std::vector<uint8_t>& png);
// The icon at every size of iconSizes as one .ico file, each image stored as its PNG (which
// Windows reads from Vista on); empty when one cannot be drawn.
std::vector<uint8_t> makeIconFile();
