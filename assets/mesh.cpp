// mesh.cpp -- OBJ-subset reading and the two immediate-mode draws
#include "assets/mesh.h"

#include "render/gl.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/globals.h"
#include "base/message.h"
#include "base/run_marks.h"
#include "assets/data_path.h"
#include "assets/load_times.h"
#include "render/carried_gl.h"

// What a slot holds when its line does not supply it: every array starts zeroed, so an
// unread position is (0, 0, 0), an unread texture coordinate (0, 0), and an unread corner
// index 0, which the conversion to 0-based turns into -1. An index of -1, like any index
// outside its array, makes the draws skip that whole triangle rather than read past the
// arrays; so does a textured draw of a mesh with no texture coordinates.

namespace {

enum class LineKind { none, position, texCoord, face };

// Reads like fgets into an 80-byte buffer in text mode: CR LF arrives as LF, at most 79
// characters a read, and the read ends after the line feed. A line longer than 78
// characters before its line feed therefore comes in several pieces. False at the end.
bool readPiece(FILE* file, char (&piece)[80]) {
    int length = 0;
    while (length < 79) {
        int c = std::getc(file);
        if (c == EOF) break;
        if (c == '\r') {
            const int next = std::getc(file);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                std::ungetc(next, file);
        }
        piece[length++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    piece[length] = '\0';
    return length > 0;
}

// The keys may stand anywhere in the piece, and the first that is found in this order wins,
// so both passes put every piece in the same kind.
LineKind classify(const char* piece) {
    if (std::strstr(piece, "v ")) return LineKind::position;
    if (std::strstr(piece, "vt ")) return LineKind::texCoord;
    if (std::strstr(piece, "f ")) return LineKind::face;
    return LineKind::none;
}

// Fails on a count that leaves int32 or whose array cannot be made, so a file with too
// many lines can never end up with an allocation smaller than its counts.
template <typename T>
bool allocate(T*& array, long long count) {
    array = nullptr;
    if (count == 0) return true;
    array = new (std::nothrow) T[static_cast<size_t>(count)]();
    return array != nullptr;
}

int32_t toZeroBased(int32_t index) { return index == INT32_MIN ? INT32_MIN : index - 1; }

}  // namespace

bool (*meshLoadQueue)(Mesh& mesh, const char* path) = nullptr;

bool Mesh::load(const char* path) {
    if (meshLoadQueue && meshLoadQueue(*this, path)) return true;
    const double started = steadySeconds();
    const bool read = this->read(path);
    loadTimes.meshSeconds += steadySeconds() - started;
    if (read)
        ++loadTimes.meshes;
    else
        reportReadFailure();
    return read;
}

void Mesh::reportReadFailure() { messageBox("Error opening .obj file", "App"); }

bool Mesh::read(const char* path) {
    FILE* file = path ? std::fopen(dataPath(path).c_str(), "rb") : nullptr;
    if (!file) return false;
    // A mesh is loaded once; should it be loaded again, the new file replaces the old data.
    release();

    char piece[80];
    long long positionLines = 0, texCoordLines = 0, faceLines = 0;
    while (readPiece(file, piece)) {
        switch (classify(piece)) {
            case LineKind::position: ++positionLines; break;
            case LineKind::texCoord: ++texCoordLines; break;
            case LineKind::face: ++faceLines; break;
            case LineKind::none: break;
        }
    }
    // Counts are int32 and there are 3 corner slots a face: a file beyond that (gigabytes
    // of lines) or one whose arrays cannot be allocated is refused as a whole, and reported
    // like a file that cannot be opened; the mesh stays empty.
    bool ok = !std::ferror(file) && positionLines <= INT32_MAX && texCoordLines <= INT32_MAX &&
              faceLines <= INT32_MAX / 3;
    ok = ok && allocate(positions, positionLines) && allocate(texCoords, texCoordLines) &&
         allocate(positionIndices, faceLines * 3) && allocate(texCoordIndices, faceLines * 3);
    if (!ok) {
        release();
        std::fclose(file);
        return false;
    }
    positionCount = static_cast<int32_t>(positionLines);
    texCoordCount = static_cast<int32_t>(texCoordLines);
    faceCount = static_cast<int32_t>(faceLines);
    indexCount = faceCount * 3;

    // The filling pass stores only what each pattern reads; a counter advances for every
    // line of its kind whether or not anything was stored. Lines beyond the counts (a file
    // that grew between the passes) are ignored so nothing is written past an array.
    std::rewind(file);
    while (readPiece(file, piece)) {
        switch (classify(piece)) {
            case LineKind::position:
                if (positionsFilled < positionCount) {
                    MeshPosition& p = positions[positionsFilled++];
                    std::sscanf(piece, "v %f %f %f", &p.x, &p.y, &p.z);
                }
                break;
            case LineKind::texCoord:
                if (texCoordsFilled < texCoordCount) {
                    MeshTexCoord& t = texCoords[texCoordsFilled++];
                    std::sscanf(piece, "vt %f %f", &t.u, &t.v);
                }
                break;
            case LineKind::face:
                if (indicesFilled < indexCount) {
                    int n[9] = {};
                    const int read = std::sscanf(piece, "f %i/%i/%i %i/%i/%i %i/%i/%i", &n[0], &n[1], &n[2],
                                                 &n[3], &n[4], &n[5], &n[6], &n[7], &n[8]);
                    for (int c = 0; c < 3; ++c) {
                        if (3 * c < read) positionIndices[indicesFilled + c] = n[3 * c];
                        if (3 * c + 1 < read) texCoordIndices[indicesFilled + c] = n[3 * c + 1];
                    }
                    indicesFilled += 3;
                }
                break;
            case LineKind::none: break;
        }
    }
    std::fclose(file);

    // OBJ counts from 1. The most negative index stays where it is instead of wrapping
    // round to a large positive one; it is out of range either way.
    for (int32_t i = 0; i < indexCount; ++i) positionIndices[i] = toZeroBased(positionIndices[i]);
    for (int32_t i = 0; i < indexCount; ++i) texCoordIndices[i] = toZeroBased(texCoordIndices[i]);
    return true;
}

bool Mesh::triangleInRange(int32_t t, bool textured) const {
    if (t < 0 || t >= indexCount / 3 || !positionIndices || !positions) return false;
    if (textured && (!texCoordIndices || !texCoords)) return false;
    for (int32_t slot = 3 * t; slot < 3 * t + 3; ++slot) {
        const int32_t p = positionIndices[slot];
        if (p < 0 || p >= positionCount) return false;
        if (textured) {
            const int32_t q = texCoordIndices[slot];
            if (q < 0 || q >= texCoordCount) return false;
        }
    }
    return true;
}

// The texture coordinate the textured draw leaves current: its last corner's; none where no
// triangle is drawn.
static bool lastTexCoord(const Mesh& mesh, MeshTexCoord& last) {
    for (int32_t t = mesh.indexCount / 3 - 1; t >= 0; --t) {
        if (!mesh.triangleInRange(t, true)) continue;
        last = mesh.texCoords[mesh.texCoordIndices[3 * t + 2]];
        return true;
    }
    return false;
}

void Mesh::drawTextured() {
    setPolygonMode(GL_FILL);
    MeshTexCoord last;
    const bool leavesOne = lastTexCoord(*this, last);
    if (skipDrawing) {
        // Only what the draw leaves behind.
        if (leavesOne) setTexCoord(last.u, last.v);
        return;
    }
    glBegin(GL_TRIANGLES);
    const int32_t triangles = indexCount / 3;
    for (int32_t t = 0; t < triangles; ++t) {
        if (!triangleInRange(t, true)) continue;
        for (int32_t slot = 3 * t; slot < 3 * t + 3; ++slot) {
            const MeshTexCoord& c = texCoords[texCoordIndices[slot]];
            const MeshPosition& p = positions[positionIndices[slot]];
            glTexCoord2f(c.u, c.v);
            glVertex3f(p.x, p.y, p.z);
        }
    }
    glEnd();
    if (leavesOne) noteTexCoord(last.u, last.v);
}

void Mesh::drawWireframe() {
    if (skipDrawing) {
        setPolygonMode(GL_FILL);
        return;
    }
    setPolygonMode(GL_LINE);
    glBegin(GL_TRIANGLES);
    // Positions only: with texturing on, every corner takes the texture coordinate that
    // was current before the call.
    const int32_t triangles = indexCount / 3;
    for (int32_t t = 0; t < triangles; ++t) {
        if (!triangleInRange(t, false)) continue;
        for (int32_t slot = 3 * t; slot < 3 * t + 3; ++slot) {
            const MeshPosition& p = positions[positionIndices[slot]];
            glVertex3f(p.x, p.y, p.z);
        }
    }
    glEnd();
    setPolygonMode(GL_FILL);
}

void Mesh::release() {
    delete[] positionIndices;
    delete[] texCoordIndices;
    delete[] positions;
    delete[] texCoords;
    *this = Mesh();
}
