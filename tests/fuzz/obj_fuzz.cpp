// obj_fuzz.cpp -- libFuzzer target: any bytes as an OBJ file through Mesh::load and the draws' reads
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "assets/mesh.h"

static std::string scratch;

static void removeScratch() { std::remove(scratch.c_str()); }

// One file per process, rewritten for every input and removed when the run ends.
static const std::string& scratchPath() {
    const char* dir = std::getenv("TMPDIR");
    scratch = std::string(dir && *dir ? dir : "/tmp") + "/talumen-obj-fuzz-" + std::to_string(getpid()) + ".obj";
    std::atexit(removeScratch);
    return scratch;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = scratchPath();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    Mesh mesh;
    if (mesh.load(path.c_str())) {
        if (mesh.indexCount != 3 * mesh.faceCount || mesh.positionsFilled != mesh.positionCount ||
            mesh.texCoordsFilled != mesh.texCoordCount || mesh.indicesFilled != mesh.indexCount)
            __builtin_trap();
        // Every element the two draws would send, read as they read it, so the sanitizer
        // sees any access outside the arrays.
        volatile float sink = 0.0f;
        for (int32_t t = 0; t < mesh.indexCount / 3; ++t) {
            for (bool textured : {false, true}) {
                if (!mesh.triangleInRange(t, textured)) continue;
                for (int32_t slot = 3 * t; slot < 3 * t + 3; ++slot) {
                    const MeshPosition& p = mesh.positions[mesh.positionIndices[slot]];
                    sink = sink + p.x + p.y + p.z;
                    if (textured) {
                        const MeshTexCoord& c = mesh.texCoords[mesh.texCoordIndices[slot]];
                        sink = sink + c.u + c.v;
                    }
                }
            }
        }
    }
    mesh.release();
    return 0;
}
