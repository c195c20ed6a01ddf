// mesh_test.cpp -- the OBJ subset read line by line as the loader must, and draws that stay inside the arrays
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/message.h"
#include "assets/mesh.h"
#include "testkit.h"

namespace {

// Loaded meshes stay reachable, as the demo's do, so the leak checker keeps quiet.
std::vector<Mesh>& loaded = *new std::vector<Mesh>;

Mesh loadText(const std::string& text) {
    writeFile("data/m.obj", text);
    Mesh mesh;
    EXPECT_TRUE(mesh.load("data/m.obj"));
    loaded.push_back(mesh);
    return mesh;
}

std::vector<int32_t> positionIndices(const Mesh& m) {
    return std::vector<int32_t>(m.positionIndices, m.positionIndices + m.indexCount);
}
std::vector<int32_t> texCoordIndices(const Mesh& m) {
    return std::vector<int32_t>(m.texCoordIndices, m.texCoordIndices + m.indexCount);
}

// One vertex as GL's feedback mode reports it: window position and texture coordinate.
struct FedVertex {
    float x, y, s, t;
};

// Runs draw in feedback mode with identity matrices and returns every vertex GL received,
// grouped as it reports them (triangles, or line segments in line mode).
std::vector<FedVertex> feedback(void (*draw)(Mesh&), Mesh& mesh, int* primitives) {
    static std::vector<GLfloat> buffer(1 << 16);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw(mesh);
    const int used = glRenderMode(GL_RENDER);
    EXPECT_GE(used, 0);
    std::vector<FedVertex> out;
    *primitives = 0;
    const int vertexFloats = 3 + 4 + 4;
    auto vertexAt = [&](int i) {
        return FedVertex{buffer[i], buffer[i + 1], buffer[i + 7], buffer[i + 8]};
    };
    for (int i = 0; i < used;) {
        const int token = static_cast<int>(buffer[i++]);
        int count = 0;
        if (token == GL_POLYGON_TOKEN) count = static_cast<int>(buffer[i++]);
        else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) count = 2;
        else ADD_FAILURE() << "unexpected token " << token;
        ++*primitives;
        for (int v = 0; v < count; ++v, i += vertexFloats) out.push_back(vertexAt(i));
        if (count == 0) break;
    }
    return out;
}

void textured(Mesh& m) { m.drawTextured(); }
void wireframe(Mesh& m) { m.drawWireframe(); }

GLint polygonMode() {
    GLint mode[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], mode[1]);
    return mode[0];
}

}  // namespace

TEST(MeshLoad, ReadsPositionsTexCoordsFacesAndQuads) {
    TempDir dir;
    Mesh m = loadText(
        "# two triangles\n"
        "v 1 2 3\nv -0.5 4e1 .25\nv 7 8 9\n"
        "vn 0 0 1\n"
        "vt 0.5 0.25 0\nvt 1 1\n"
        "g group\nusemtl stone\ns 1\n"
        "f 1/1/1 2/2/1 3/1/1\n"
        "f 3/2/1 2/1/1 1/2/1 010/0x10/1\n");
    EXPECT_EQ(m.positionCount, 3);
    EXPECT_EQ(m.texCoordCount, 2);
    EXPECT_EQ(m.faceCount, 2);
    EXPECT_EQ(m.indexCount, 6);
    EXPECT_EQ(m.positionsFilled, 3);
    EXPECT_EQ(m.texCoordsFilled, 2);
    EXPECT_EQ(m.indicesFilled, 6);
    EXPECT_FLOAT_EQ(m.positions[1].x, -0.5f);
    EXPECT_FLOAT_EQ(m.positions[1].y, 40.0f);
    EXPECT_FLOAT_EQ(m.positions[1].z, 0.25f);
    EXPECT_FLOAT_EQ(m.texCoords[0].u, 0.5f);
    EXPECT_FLOAT_EQ(m.texCoords[0].v, 0.25f);
    // The quad keeps its first three corners.
    EXPECT_EQ(positionIndices(m), (std::vector<int32_t>{0, 1, 2, 2, 1, 0}));
    EXPECT_EQ(texCoordIndices(m), (std::vector<int32_t>{0, 1, 0, 1, 0, 1}));
}

TEST(MeshLoad, OctalAndHexadecimalIndices) {
    TempDir dir;
    Mesh m = loadText("f 010/0x10/1 0X1f/011/1 -3/+2/1\n");
    EXPECT_EQ(positionIndices(m), (std::vector<int32_t>{7, 30, -4}));
    EXPECT_EQ(texCoordIndices(m), (std::vector<int32_t>{15, 8, 1}));
}

TEST(MeshLoad, LineEndsDoNotChangeTheMesh) {
    TempDir dir;
    const std::string lf = "v 1 2 3\nv 4 5 6\nvt 0.5 0.5\nf 1/1/1 2/1/1 1/1/1\nf 2/1/1 1/1/1 2/1/1";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& text : {lf, lf + "\n", crlf, crlf + "\r\n"}) {
        Mesh m = loadText(text);
        // The last line is taken once, with or without its line feed.
        EXPECT_EQ(m.faceCount, 2);
        EXPECT_EQ(m.positionCount, 2);
        EXPECT_EQ(positionIndices(m), (std::vector<int32_t>{0, 1, 0, 1, 0, 1}));
        EXPECT_FLOAT_EQ(m.positions[1].z, 6.0f);
    }
}

TEST(MeshLoad, LongLinesAreClassifiedInPiecesOf79) {
    TempDir dir;
    // Key only in the second piece of a long line: counted, nothing stored.
    const std::string longComment = "#" + std::string(90, 'a') + " f 1/1/1 1/1/1 1/1/1\n";
    // 78 characters and the line feed fit one read; "f " at characters 77-78 still counts.
    const std::string fits = std::string(76, 'b') + "f \n";
    // At 79 characters the blank of the key is cut into the next piece: no key either side.
    const std::string split = std::string(78, 'c') + "f \n";
    // A position line of 100 characters: its first piece is a position line, the rest not.
    const std::string longPosition = "v 1 2 3" + std::string(93, ' ') + "\n";
    Mesh m = loadText(longComment + fits + split + longPosition);
    EXPECT_EQ(m.faceCount, 2);
    EXPECT_EQ(m.positionCount, 1);
    EXPECT_FLOAT_EQ(m.positions[0].z, 3.0f);
    EXPECT_EQ(positionIndices(m), (std::vector<int32_t>(6, -1)));
}

TEST(MeshLoad, PartlyReadLinesStoreOnlyWhatWasRead) {
    TempDir dir;
    Mesh m = loadText(
        "v 1 2 3\n"
        "v\t4 5 6\n"    // tab after the key: not a position line
        "V 4 5 6\n"     // capital: not a position line
        "  v 7 8 9\n"   // indented: counted, nothing stored
        "v 1 2\n"       // two of three numbers
        "f 1/1 2/2 3/3\n"
        "f 1//1 2//2 3//3\n"
        "# list of faces\n");
    EXPECT_EQ(m.positionCount, 3);
    EXPECT_EQ(m.positionsFilled, 3);
    EXPECT_FLOAT_EQ(m.positions[1].x, 0.0f);
    EXPECT_FLOAT_EQ(m.positions[2].y, 2.0f);
    EXPECT_FLOAT_EQ(m.positions[2].z, 0.0f);
    EXPECT_EQ(m.faceCount, 3);
    // Unfilled slots read 0 in the file, so -1 once converted.
    EXPECT_EQ(positionIndices(m), (std::vector<int32_t>{0, -1, -1, 0, -1, -1, -1, -1, -1}));
    EXPECT_EQ(texCoordIndices(m), (std::vector<int32_t>{0, -1, -1, -1, -1, -1, -1, -1, -1}));
}

TEST(MeshLoad, MissingAndEmptyFiles) {
    TempDir dir;
    recordMessages();
    Mesh missing;
    EXPECT_FALSE(missing.load("data/none.obj"));
    EXPECT_EQ(recordedMessages(), (std::vector<std::string>{"App: Error opening .obj file"}));
    EXPECT_EQ(missing.positions, nullptr);
    EXPECT_EQ(missing.indexCount, 0);

    Mesh empty = loadText("");
    EXPECT_EQ(empty.positionCount + empty.texCoordCount + empty.faceCount + empty.indexCount, 0);
    EXPECT_EQ(recordedMessages().size(), 1u);
}

TEST(MeshDraw, SendsCornersInOrderAndLeavesFill) {
    TempDir dir;
    ASSERT_TRUE(startGl(200, 100));
    Mesh m = loadText("v -0.5 -0.5 0\nv 0.5 -0.5 0\nv 0 0.5 0\nvt 0.1 0.2\nvt 0.3 0.4\nvt 0.5 0.6\n"
                      "f 1/3/1 2/2/1 3/1/1\n");
    int primitives = 0;
    std::vector<FedVertex> v = feedback(textured, m, &primitives);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(primitives, 1);
    EXPECT_NEAR(v[0].x, 50.0f, 0.01f);
    EXPECT_NEAR(v[0].y, 25.0f, 0.01f);
    EXPECT_NEAR(v[1].x, 150.0f, 0.01f);
    EXPECT_NEAR(v[2].y, 75.0f, 0.01f);
    EXPECT_NEAR(v[0].s, 0.5f, 1e-6f);
    EXPECT_NEAR(v[1].t, 0.4f, 1e-6f);
    EXPECT_NEAR(v[2].s, 0.1f, 1e-6f);
    EXPECT_EQ(polygonMode(), GL_FILL);

    // The outline sends no texture coordinate: every corner keeps the current one.
    glTexCoord2f(0.25f, 0.75f);
    v = feedback(wireframe, m, &primitives);
    EXPECT_EQ(primitives, 3);  // three edges
    ASSERT_EQ(v.size(), 6u);
    for (const FedVertex& corner : v) {
        EXPECT_FLOAT_EQ(corner.s, 0.25f);
        EXPECT_FLOAT_EQ(corner.t, 0.75f);
    }
    EXPECT_EQ(polygonMode(), GL_FILL);
}

TEST(MeshDraw, TrianglesWithIndicesOutsideTheArraysAreSkipped) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    Mesh m = loadText("v 0 0 0\nv 0.5 0 0\nv 0 0.5 0\nvt 0 0\n"
                      "f 1/1/1 2/1/1 3/1/1\n"    // fine
                      "f 0/1/1 2/1/1 3/1/1\n"    // position index 0 in the file
                      "f 1/1/1 2/1/1 4/1/1\n"    // one past the positions
                      "f -1/1/1 2/1/1 3/1/1\n"   // relative indices are not supported
                      "f 1/1/1 2/2/1 3/1/1\n"    // texture coordinate past the end: outline only
                      "f 1/1 2/1 3/1\n"          // corners not supplied
                      "f 0x7fffffff/1/1 1/1/1 1/1/1\n"
                      "f -2147483648/-2147483648/1 1/1/1 1/1/1\n");
    int primitives = 0;
    feedback(textured, m, &primitives);
    EXPECT_EQ(primitives, 1);
    feedback(wireframe, m, &primitives);
    EXPECT_EQ(primitives, 2 * 3);

    // Faces but no texture coordinates at all: nothing filled, the outlines still drawn.
    Mesh bare = loadText("v 0 0 0\nv 0.5 0 0\nv 0 0.5 0\nf 1/1/1 2/1/1 3/1/1\n");
    EXPECT_EQ(bare.texCoords, nullptr);
    feedback(textured, bare, &primitives);
    EXPECT_EQ(primitives, 0);
    feedback(wireframe, bare, &primitives);
    EXPECT_EQ(primitives, 3);

    // An empty mesh draws an empty list and leaves fill behind it.
    Mesh empty;
    feedback(wireframe, empty, &primitives);
    EXPECT_EQ(primitives, 0);
    EXPECT_EQ(polygonMode(), GL_FILL);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
