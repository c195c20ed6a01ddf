// cubes.h -- a chain of 10000 wireframe cubes under a sliding picture
#pragma once

namespace CubesScene {

// One step of the chain: an offset, then a scale, both applied on top of every earlier step.
struct CubeLink {
    float dx = 0.0f;
    float dy = 0.0f;
    float dz = 0.0f;  // before the progress is subtracted
    float scaleXY = 0.0f;
    float scaleZ = 0.0f;
};

constexpr int cubeLinkCount = 10000;

// The chain is drawn as one batch: link transforms composed on the CPU, cubes wholly
// outside the view volume skipped. True draws it link by link in immediate mode (one
// glTranslatef, glScalef and wireframe draw per link), the plain form the batch must match.
extern bool useReferenceChain;

// Loads the three pictures and the cube, then seeds Random and fills the chain table.
void load();
// Sliding picture, level card (one level reading), the chain, the last card. Leaves the
// modelview holding all 10000 link transforms on top of the one it was entered with (with
// skipDrawing, the one it was entered with: nothing that frame draws reads it).
void render(float progress);

// The chain alone (render's step after the level card), on the GL state in force; for the benchmark.
void drawChain(float progress);
// Entry index of the table filled by load(); index must lie in 0..cubeLinkCount-1.
const CubeLink& cubeLink(int index);

}  // namespace CubesScene
