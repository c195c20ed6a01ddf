// output.h -- writing the generated files so that no half-written file ever carries a final name
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Writes bytes to path + ".part", then renames it over path. On failure says why on
// stderr, removes the partial file and returns false.
bool writeWhole(const std::string& path, const std::vector<uint8_t>& bytes);
bool writeWhole(const std::string& path, const std::string& text);
