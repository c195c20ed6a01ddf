// cubes.cpp -- the cubes scene: a seeded table of 10000 steps, drawn as one culled batch under two cards
#include "scenes/cubes.h"

#include <GL/gl.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <vector>

#include "assets/mesh.h"
#include "assets/texture.h"
#include "audio/music.h"
#include "render/overlay.h"
#include "render/random.h"

namespace CubesScene {

bool useReferenceChain = false;

// Everything the scene owns. The table is filled once by load() and only read afterwards;
// the outline and the two work arrays are sized there too, so a frame allocates nothing.
struct CubesState {
    Texture cubesBackdrop;  // the sliding picture
    Texture cubesCard;      // the level card; its bottom-left texel colours the cube lines
    Texture cubesTopCard;   // the last card
    Mesh* cubeMesh = new Mesh;
    CubeLink cubeChain[cubeLinkCount];

    // The cube as the batch sends it: the distinct corners its drawable triangles use
    // (x, y, z each), and per corner slot, in the mesh's order, an index into them.
    std::vector<float> outlinePoints;
    std::vector<int32_t> outlineSlots;
    float boxCentre[3] = {};
    float boxHalf[3] = {};
    std::vector<float> placedPoints;  // one cube's corners after its transform, 4 floats each
    std::vector<float> batch;         // vertices waiting for the next draw, 4 floats of room each
    int32_t batchCapacity = 0;        // in vertices, a multiple of 3
};

static CubesState state;

// A line of width 1 with smoothing reaches about a pixel past its centre; a cube kept back
// by the view test must not have been able to touch a pixel of the viewport.
static constexpr double cullMarginPixels = 4.0;
// Near and far are clipped exactly, so only rounding needs room there.
static constexpr double depthMargin = 1e-4;
// The largest batch sent in one draw, in vertices.
static constexpr int32_t largestBatch = 1 << 20;

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

// The same triangles Mesh::drawWireframe sends: those whose three corners all name an
// existing position.
static bool triangleDrawable(const Mesh& mesh, int firstSlot) {
    for (int c = 0; c < 3; ++c) {
        const int32_t index = mesh.positionIndices[firstSlot + c];
        if (index < 0 || index >= mesh.positionCount) return false;
    }
    return true;
}

static void takeOutline(const Mesh& mesh) {
    state.outlinePoints.clear();
    state.outlineSlots.clear();
    if (!mesh.positionIndices || !mesh.positions || mesh.positionCount <= 0) return;
    std::vector<int32_t> pointOf(static_cast<size_t>(mesh.positionCount), -1);
    for (int slot = 0; slot + 2 < mesh.indexCount; slot += 3) {
        if (!triangleDrawable(mesh, slot)) continue;
        for (int c = 0; c < 3; ++c) {
            const int32_t index = mesh.positionIndices[slot + c];
            if (pointOf[index] < 0) {
                pointOf[index] = static_cast<int32_t>(state.outlinePoints.size() / 3);
                const MeshPosition& p = mesh.positions[index];
                state.outlinePoints.insert(state.outlinePoints.end(), {p.x, p.y, p.z});
            }
            state.outlineSlots.push_back(pointOf[index]);
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

    const int64_t wholeChain = static_cast<int64_t>(state.outlineSlots.size()) * cubeLinkCount;
    state.batchCapacity = static_cast<int32_t>(std::min<int64_t>(wholeChain, largestBatch) / 3 * 3);
    state.batch.assign(static_cast<size_t>(state.batchCapacity) * 4, 0.0f);
    state.placedPoints.assign(state.outlinePoints.size() / 3 * 4, 0.0f);
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
    takeOutline(*state.cubeMesh);
}

const CubeLink& cubeLink(int index) {
    assert(index >= 0 && index < cubeLinkCount);
    return state.cubeChain[index];
}

// One glTranslatef, glScalef and immediate-mode outline per link, straight onto the modelview.
static void drawReferenceChain(float progress) {
    for (const CubeLink& link : state.cubeChain) {
        glTranslatef(link.dx, link.dy, link.dz - progress);
        glScalef(link.scaleXY, link.scaleXY, link.scaleZ);
        state.cubeMesh->drawWireframe();
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
// far down the chain the scales reach 2^20 and a single-precision test would waver.
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

static void sendBatch(int32_t vertices) {
    if (vertices > 0) glDrawArrays(GL_TRIANGLES, 0, vertices);
}

// Appends one cube's outline under transform; sends the batch first whenever it is full, so
// the cubes still reach the GL in chain order.
static void addCube(const float* m, int components, int32_t& filled) {
    const std::vector<float>& points = state.outlinePoints;
    float* placed = state.placedPoints.data();
    for (size_t i = 0, o = 0; i < points.size(); i += 3, o += 4) {
        const float x = points[i], y = points[i + 1], z = points[i + 2];
        for (int r = 0; r < 4; ++r) placed[o + r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
    }
    const int32_t* slots = state.outlineSlots.data();
    const int32_t slotCount = static_cast<int32_t>(state.outlineSlots.size());
    float* batch = state.batch.data();
    for (int32_t s = 0; s < slotCount; s += 3) {
        if (filled + 3 > state.batchCapacity) {
            sendBatch(filled);
            filled = 0;
        }
        for (int c = 0; c < 3; ++c) {
            const float* from = placed + 4 * slots[s + c];
            float* to = batch + static_cast<size_t>(filled) * components;
            for (int k = 0; k < components; ++k) to[k] = from[k];
            ++filled;
        }
    }
}

// The whole chain as few draws of GL_TRIANGLES in line mode from a vertex array, in link
// order, so every triangle edge is drawn and blended exactly as often as in the reference.
// Positions arrive already transformed (the modelview is the identity during the draw);
// the texture coordinate and colour are the current ones, as in the reference.
static void drawBatchedChain(float progress) {
    float m[16];
    float projection[16];
    GLint viewport[4] = {};
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);

    ViewMargins margins;
    margins.kx = 1.0 + 2.0 * cullMarginPixels / std::max(1, viewport[2]);
    margins.ky = 1.0 + 2.0 * cullMarginPixels / std::max(1, viewport[3]);
    margins.kz = 1.0 + depthMargin;
    // An affine entry modelview stays affine under translations and scales: w is 1 throughout.
    const bool affine = m[3] == 0.0f && m[7] == 0.0f && m[11] == 0.0f && m[15] == 1.0f;
    const int components = affine ? 3 : 4;

    const bool drawing = !state.outlineSlots.empty();
    if (drawing) {
        glLoadIdentity();
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_EDGE_FLAG_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(components, GL_FLOAT, 0, state.batch.data());
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    }
    int32_t filled = 0;
    for (const CubeLink& link : state.cubeChain) {
        translateMatrix(m, link.dx, link.dy, link.dz - progress);
        scaleMatrix(m, link.scaleXY, link.scaleXY, link.scaleZ);
        if (!drawing || boxOutsideView(projection, m, margins)) continue;
        addCube(m, components, filled);
    }
    if (drawing) {
        sendBatch(filled);
        glPopClientAttrib();
    }
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glLoadMatrixf(m);
}

void drawChain(float progress) {
    if (useReferenceChain) {
        drawReferenceChain(progress);
    } else {
        drawBatchedChain(progress);
    }
}

void render(float progress) {
    beginOverlay2D();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_SRC_ALPHA);

    // Twice the screen in each direction, its lower-left quarter on screen at the start,
    // sliding 500 pixels down over the scene.
    glPushMatrix();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, state.cubesBackdrop.name);
    glTranslatef(0.0f, progress * -500.0f, 0.0f);
    drawDoubleQuad();
    glPopMatrix();

    // The frame's one level reading: quiet music hides the sliding picture behind the card
    // (alpha clamps at 0), loud music lets it through. The quad's last corner leaves the
    // texture coordinate at (0, 1) and the colour at this alpha for the cube lines.
    glEnable(GL_TEXTURE_2D);
    const float alpha = static_cast<float>(music.level()) - 0.8f;
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    glBindTexture(GL_TEXTURE_2D, state.cubesCard.name);
    drawScreenQuad();
    endOverlay2D();

    glLineWidth(1.0f);
    drawChain(progress);

    beginOverlay2D();
    glBindTexture(GL_TEXTURE_2D, state.cubesTopCard.name);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    drawScreenQuad();
    endOverlay2D();
}

}  // namespace CubesScene
