// meshes.h -- the demo's six meshes, written in the OBJ subset the player reads
#pragma once
#include <string>

struct MeshMaker {
    const char* fileName = nullptr;  // under the data directory
    std::string (*make)() = nullptr; // the whole OBJ text
};

constexpr int meshCount = 6;
extern const MeshMaker meshes[meshCount];
