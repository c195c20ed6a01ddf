// cubes.cpp -- the cubes scene: a seeded table of 10000 steps, drawn as one culled batch under two cards
#include "scenes/cubes.h"

#include "render/gl.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <vector>

#include "base/globals.h"
#include "assets/loader.h"
#include "assets/mesh.h"
#include "assets/texture.h"
#include "audio/music.h"
#include "render/carried_gl.h"
#include "render/overlay.h"
#include "render/random.h"

namespace CubesScene {

bool useReferenceChain = false;

// Everything the scene owns. The table is filled once by load() and only read afterwards;
// the outline and the two work arrays are sized there too, so a frame allocates nothing.
// No frame leaves anything here for a later one (the work arrays are filled afresh each
// frame), so a seek has nothing of the scene's own to put back.
struct CubesState {
    Texture cubesBackdrop;  // the sliding picture
    Texture cubesCard;      // the level card; its bottom-left texel colours the cube lines
    Texture cubesTopCard;   // the last card
    Mesh* cubeMesh = new Mesh;
    CubeLink cubeChain[cubeLinkCount];

    // The cube as the batch sends it: the distinct corners its drawable triangles use
    // (x, y, z each), and per corner slot, in the mesh's order, an index into them.
    std::vector<float> outlinePoints;
    std::vector<uint32_t> outlineSlots;
    float boxCentre[3] = {};
    float boxHalf[3] = {};
    // Cubes waiting for the next draw: their corners after their transforms (room for 4
    // floats each) and their corner slots pointing into those.
    std::vector<float> batchPoints;
    std::vector<uint32_t> batchSlots;
    int32_t batchPointCount = 0;
    int32_t batchSlotCount = 0;
};

static CubesState state;

// A line of width 1 with smoothing reaches about a pixel past its centre; a cube kept back
// by the view test must not have been able to touch a pixel of the viewport.
static constexpr double cullMarginPixels = 4.0;
// Near and far are clipped exactly, so only rounding needs room there.
static constexpr double depthMargin = 1e-4;
// The most corner slots one draw sends, unless a single cube has more.
static constexpr int64_t largestBatch = 1 << 18;
// The cube is drawn 10000 times a frame. A cube file of more triangles than this would make
// every frame take minutes and the demo stop answering Escape, so it is drawn like a cube
// that failed to load: the links still move the modelview, and no line is drawn.
static constexpr int32_t largestCubeTriangles = 4096;

static float stepOffset(int r, float unit) { return static_cast<float>(r % 500 - 250) * unit; }

static void fillChain() {
    for (CubeLink& link : state.cubeChain) {
        link.dx = stepOffset(Random::next(), 0.02f);
        link.dy = stepOffset(Random::next(), 0.02f);
        link.dz = stepOffset(Random::next(), 0.01f);
        link.scaleXY = static_cast<float>(Random::next() / 32700 + 1);
        link.scaleZ = static_cast<float>(Random::next() / 32680 + 1);
    }
}

static void takeOutline(const Mesh& mesh) {
    state.outlinePoints.clear();
    state.outlineSlots.clear();
    if (mesh.positionCount <= 0 || mesh.indexCount / 3 > largestCubeTriangles) return;
    std::vector<int32_t> pointOf(static_cast<size_t>(mesh.positionCount), -1);
    for (int32_t t = 0; t < mesh.indexCount / 3; ++t) {
        // Exactly the triangles Mesh::drawWireframe sends, so both chains draw the same edges.
        if (!mesh.triangleInRange(t, false)) continue;
        const int32_t slot = 3 * t;
        for (int c = 0; c < 3; ++c) {
            const int32_t index = mesh.positionIndices[slot + c];
            if (pointOf[index] < 0) {
                pointOf[index] = static_cast<int32_t>(state.outlinePoints.size() / 3);
                const MeshPosition& p = mesh.positions[index];
                state.outlinePoints.insert(state.outlinePoints.end(), {p.x, p.y, p.z});
            }
            state.outlineSlots.push_back(static_cast<uint32_t>(pointOf[index]));
        }
    }
    if (state.outlineSlots.empty()) return;

    float low[3] = {INFINITY, INFINITY, INFINITY};
    float high[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (size_t i = 0; i < state.outlinePoints.size(); i += 3) {
        for (int a = 0; a < 3; ++a) {
            low[a] = std::min(low[a], state.outlinePoints[i + a]);
            high[a] = std::max(high[a], state.outlinePoints[i + a]);
        }
    }
    for (int a = 0; a < 3; ++a) {
        state.boxCentre[a] = 0.5f * (low[a] + high[a]);
        state.boxHalf[a] = 0.5f * (high[a] - low[a]);
    }

    // Room for as many whole cubes as fit in the largest batch (at least one), or the whole chain.
    const int64_t slots = static_cast<int64_t>(state.outlineSlots.size());
    const int64_t points = static_cast<int64_t>(state.outlinePoints.size() / 3);
    const int64_t cubes = std::min<int64_t>(cubeLinkCount, std::max<int64_t>(1, largestBatch / slots));
    state.batchSlots.assign(static_cast<size_t>(cubes * slots), 0);
    state.batchPoints.assign(static_cast<size_t>(cubes * points * 4), 0.0f);
}

void load() {
    state.cubesTopCard.load("data/adieu.jpg");
    state.cubesCard.load("data/3a.jpg");
    state.cubesBackdrop.load("data/3b.jpg");
    state.cubeMesh->load("data/cube.obj");
    // Seeded here, after the loads, so the chain has the same shape on every run whatever
    // was drawn from the generator before.
    Random::seed(23183);
    fillChain();
    // The outline is taken from the mesh, so once it is in.
    whenLoaded([] { takeOutline(*state.cubeMesh); });
}

const CubeLink& cubeLink(int index) {
    assert(index >= 0 && index < cubeLinkCount);
    return state.cubeChain[index];
}

// One glTranslatef, glScalef and immediate-mode outline per link, straight onto the modelview.
static void drawReferenceChain(float progress) {
    const bool drawing = !state.outlineSlots.empty();
    for (const CubeLink& link : state.cubeChain) {
        glTranslatef(link.dx, link.dy, link.dz - progress);
        glScalef(link.scaleXY, link.scaleXY, link.scaleZ);
        if (drawing) state.cubeMesh->drawWireframe();
    }
}

// glTranslatef and glScalef on a column-major matrix, with the GL's own single-precision
// operations in the GL's order: the composed transforms are the reference chain's, bit for
// bit on Mesa, so the matrix left behind for the next scene is the same too.
static void translateMatrix(float* m, float x, float y, float z) {
    m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
    m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
    m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
    m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
}

static void scaleMatrix(float* m, float x, float y, float z) {
    for (int r = 0; r < 4; ++r) {
        m[r] *= x;
        m[4 + r] *= y;
        m[8 + r] *= z;
    }
}

// Widening of the six clip planes: a point counts as outside x = w only past x = kx w.
struct ViewMargins {
    double kx = 1.0;
    double ky = 1.0;
    double kz = 1.0;
};

// True when the cube's box, under projection x transform, lies wholly on the outer side of one
// of the widened clip planes, so clipping would remove every line of it. Worked in double:
// far down the chain the scales reach 2^20 in x and y and 2^25 in z, and a single-precision
// test would waver.
static bool boxOutsideView(const float* projection, const float* transform, const ViewMargins& margins) {
    double clip[16];
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += double(projection[4 * k + row]) * transform[4 * col + k];
            clip[4 * col + row] = sum;
        }
    }
    const float* centre = state.boxCentre;
    const float* half = state.boxHalf;
    // Plane a . (x, y, z, 1) > 0 over the whole box: its smallest value is positive.
    auto wholeBoxAbove = [&](const double* a) {
        const double value = a[0] * centre[0] + a[1] * centre[1] + a[2] * centre[2] + a[3];
        const double spread = std::fabs(a[0]) * half[0] + std::fabs(a[1]) * half[1] + std::fabs(a[2]) * half[2];
        return value - spread > 0.0;
    };
    const double widen[3] = {margins.kx, margins.ky, margins.kz};
    for (int axis = 0; axis < 3; ++axis) {
        double above[4];
        double below[4];
        for (int col = 0; col < 4; ++col) {
            const double coordinate = clip[4 * col + axis];
            const double w = clip[4 * col + 3];
            above[col] = coordinate - widen[axis] * w;
            below[col] = -coordinate - widen[axis] * w;
        }
        if (wholeBoxAbove(above) || wholeBoxAbove(below)) return true;
    }
    return false;
}

static void sendBatch() {
    if (state.batchSlotCount > 0) {
        glDrawElements(GL_TRIANGLES, state.batchSlotCount, GL_UNSIGNED_INT, state.batchSlots.data());
    }
    state.batchPointCount = 0;
    state.batchSlotCount = 0;
}

// Appends one cube's corners under transform m and its corner slots; sends the batch first
// when the cube would not fit, so the cubes still reach the GL in chain order.
static void addCube(const float* m, int components) {
    const std::vector<float>& points = state.outlinePoints;
    const int32_t pointCount = static_cast<int32_t>(points.size() / 3);
    const int32_t slotCount = static_cast<int32_t>(state.outlineSlots.size());
    if (static_cast<size_t>(state.batchSlotCount + slotCount) > state.batchSlots.size()) sendBatch();

    float* placed = state.batchPoints.data() + static_cast<size_t>(state.batchPointCount) * components;
    for (size_t i = 0; i < points.size(); i += 3, placed += components) {
        const float x = points[i], y = points[i + 1], z = points[i + 2];
        for (int r = 0; r < components; ++r) placed[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
    }
    const uint32_t base = static_cast<uint32_t>(state.batchPointCount);
    uint32_t* slots = state.batchSlots.data() + state.batchSlotCount;
    for (int32_t s = 0; s < slotCount; ++s) slots[s] = base + state.outlineSlots[s];
    state.batchPointCount += pointCount;
    state.batchSlotCount += slotCount;
}

// The whole chain as few draws of GL_TRIANGLES in line mode from indexed vertex arrays, in
// link and corner order, so every triangle edge is drawn and blended exactly as often as in
// the reference while each cube's corners are transformed once rather than once per slot.
// Positions arrive already transformed (the modelview is the identity during the draw);
// the texture coordinate and colour are the current ones, as in the reference.
static void drawBatchedChain(float progress) {
    float m[16];
    float projection[16];
    GLint viewport[4] = {};
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);

    // Lines drawn wider for a larger frame buffer reach further past their centres.
    const double marginPixels = cullMarginPixels * std::max(1.0f, lineWidthScale);
    ViewMargins margins;
    margins.kx = 1.0 + 2.0 * marginPixels / std::max(1, viewport[2]);
    margins.ky = 1.0 + 2.0 * marginPixels / std::max(1, viewport[3]);
    margins.kz = 1.0 + depthMargin;
    // An affine entry modelview stays affine under translations and scales: w is 1 throughout.
    const bool affine = m[3] == 0.0f && m[7] == 0.0f && m[11] == 0.0f && m[15] == 1.0f;
    const int components = affine ? 3 : 4;

    const bool drawing = !state.outlineSlots.empty() && !skipDrawing;
    if (drawing) {
        glLoadIdentity();
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_EDGE_FLAG_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(components, GL_FLOAT, 0, state.batchPoints.data());
        setPolygonMode(GL_LINE);
    }
    for (const CubeLink& link : state.cubeChain) {
        translateMatrix(m, link.dx, link.dy, link.dz - progress);
        scaleMatrix(m, link.scaleXY, link.scaleXY, link.scaleZ);
        if (!drawing || boxOutsideView(projection, m, margins)) continue;
        addCube(m, components);
    }
    if (drawing) {
        sendBatch();
        glPopClientAttrib();
    }
    setPolygonMode(GL_FILL);
    glLoadMatrixf(m);
}

void drawChain(float progress) {
    // The modelview the chain leaves is read only by what later scenes of the same frame draw,
    // and the frame loop loads a new one for the next frame: a frame that draws nothing has
    // no use for the 10000 links, which would be most of what it costs.
    if (skipDrawing) return;
    if (useReferenceChain) {
        drawReferenceChain(progress);
    } else {
        drawBatchedChain(progress);
    }
}

void render(float progress) {
    beginOverlay2D();
    glDisable(GL_DEPTH_TEST);
    setBlending(true);
    setBlendFunction(GL_ONE, GL_SRC_ALPHA);

    // Twice the screen in each direction, its lower-left quarter on screen at the start,
    // sliding 500 pixels down over the scene.
    glPushMatrix();
    setColour(1.0f, 1.0f, 1.0f, 1.0f);
    setTexturing(true);
    bindPicture(state.cubesBackdrop.name);
    glTranslatef(0.0f, progress * -500.0f, 0.0f);
    drawDoubleQuad();
    glPopMatrix();

    // The frame's one level reading: quiet music hides the sliding picture behind the card
    // (alpha clamps at 0), loud music lets it through. The quad's last corner leaves the
    // texture coordinate at (0, 1) and the colour at this alpha for the cube lines.
    setTexturing(true);
    const float alpha = static_cast<float>(music.level()) - 0.8f;
    setColour(1.0f, 1.0f, 1.0f, alpha);
    bindPicture(state.cubesCard.name);
    drawScreenQuad();
    endOverlay2D();

    setLineWidth(1.0f);
    drawChain(progress);

    beginOverlay2D();
    bindPicture(state.cubesTopCard.name);
    setColour(1.0f, 1.0f, 1.0f, 1.0f);
    drawScreenQuad();
    endOverlay2D();
}

}  // namespace CubesScene
