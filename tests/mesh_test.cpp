// mesh_test.cpp -- the OBJ subset read line by line as the loader must, and draws that stay inside the arrays
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <deque>

#include "assets/mesh.h"
#include "testkit.h"

namespace {

using Ints = std::vector<int32_t>;
using Floats = std::vector<float>;

// Loaded meshes stay reachable, as the demo's do, so the leak checker keeps quiet.
std::deque<Mesh>& loaded = *new std::deque<Mesh>;

Mesh& loadText(const std::string& text) {
    writeFile("data/m.obj", text);
    EXPECT_TRUE(loaded.emplace_back().load("data/m.obj"));
    return loaded.back();
}

// Runs a draw in feedback mode: the primitives GL was sent, their corners' texture coordinates in st.
int feedback(void (Mesh::*draw)(), Mesh& mesh, Floats& st) {
    static GLfloat buffer[4096];
    glFeedbackBuffer(4096, GL_3D_COLOR_TEXTURE, buffer);  // a corner: xyz, rgba, strq
    glRenderMode(GL_FEEDBACK);
    (mesh.*draw)();
    const int used = glRenderMode(GL_RENDER);
    int primitives = 0;
    for (int i = 0; i < used; ++primitives) {
        const int corners = buffer[i++] == GL_POLYGON_TOKEN ? static_cast<int>(buffer[i++]) : 2;
        for (int v = 0; v < corners; ++v, i += 11) st.insert(st.end(), {buffer[i + 7], buffer[i + 8]});
    }
    return primitives;
}

}  // namespace

TEST(MeshLoad, ReadsTheSubsetAndStoresOnlyWhatEachLineGives) {
    TempDir dir;
    const Mesh& m = loadText("v 1 2 3\nv -0.5 4e1 .25\nv 7 8\n"  // the last one lacks z
                             "v\t4 5 6\nV 4 5 6\nvn 0 0 1\ng group\n  v 9 9 9\n"  // only the indented one counts, storing nothing
                             "vt 0.5 0.25 0\nf 1/1/1 2/1/1 3/1/1\nf 3/1/1 2/1/1 1/1/1 010/0x10/1\n"  // a quad: its first three corners
                             "f 010/0x10/1 0X1f/011/1 -3/+2/1\nf 1/1 2/2 3/3\nf 1//1 2//2 3//3\n"
                             "# list of faces\n");  // "f " in a comment: a face with nothing in it
    EXPECT_EQ(Ints({m.positionCount, m.texCoordCount, m.faceCount, m.indexCount}), Ints({4, 1, 6, 18}));
    Floats stored{m.texCoords[0].u, m.texCoords[0].v};
    for (int i = 0; i < m.positionCount; ++i) stored.insert(stored.end(), {m.positions[i].x, m.positions[i].y, m.positions[i].z});
    EXPECT_EQ(stored, Floats({0.5f, 0.25f, 1, 2, 3, -0.5f, 40, 0.25f, 7, 8, 0, 0, 0, 0}));
    // Unfilled slots read 0 in the file, so -1 once converted.
    EXPECT_EQ(Ints(m.positionIndices, m.positionIndices + 18), (Ints{0, 1, 2, 2, 1, 0, 7, 30, -4, 0, -1, -1, 0, -1, -1, -1, -1, -1}));
    EXPECT_EQ(Ints(m.texCoordIndices, m.texCoordIndices + 18), (Ints{0, 0, 0, 0, 0, 0, 15, 8, 1, 0, -1, -1, -1, -1, -1, -1, -1, -1}));
}

TEST(MeshLoad, LineEndsLongLinesAndAnEmptyFile) {
    TempDir dir;
    const std::string lf = "v 1 2 3\nv 4 5 6\nf 1/1/1 2/1/1 1/1/1\nf 2/1/1 1/1/1 2/1/1";
    const std::string crlf = "v 1 2 3\r\nv 4 5 6\r\nf 1/1/1 2/1/1 1/1/1\r\nf 2/1/1 1/1/1 2/1/1";
    for (const std::string& text : {lf, lf + "\n", crlf, crlf + "\r\n"}) {
        const Mesh& m = loadText(text);  // the last line is taken once, with or without its end
        EXPECT_EQ(Ints(m.positionIndices, m.positionIndices + m.indexCount), (Ints{0, 1, 0, 1, 0, 1}));
    }
    const Mesh& m = loadText("#" + std::string(90, 'a') + " f 1/1/1 1/1/1 1/1/1\n"  // key in the 2nd piece
                             + std::string(76, 'b') + "f \n"   // 78 characters: one piece
                             + std::string(78, 'c') + "f \n"   // key cut between pieces
                             + "v 1 2 3" + std::string(93, ' ') + "\n");
    EXPECT_EQ(Ints({m.faceCount, m.positionCount}), Ints({2, 1}));
    EXPECT_EQ(m.positions[0].z, 3.0f);
    EXPECT_EQ(loadText("").indexCount, 0);
}

TEST(MeshDraw, SendsCornersInOrderAndSkipsTrianglesOutsideTheArrays) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    Mesh& m = loadText("v 0 0 0\nv 0.5 0 0\nv 0 0.5 0\nvt 0.1 0.2\nvt 0.3 0.4\nvt 0.5 0.6\nf 1/3/1 2/2/1 3/1/1\n"
                       "f 0/1/1 2/1/1 3/1/1\nf 1/1/1 2/1/1 4/1/1\nf -1/1/1 2/1/1 3/1/1\nf 1/1 2/1 3/1\n"
                       "f 0x7fffffff/1/1 1/1/1 1/1/1\nf -2147483648/1/1 1/1/1 1/1/1\n"
                       "f 1/4/1 2/1/1 3/1/1\n");  // texture coordinate past the end: outline only
    Floats st;
    EXPECT_EQ(feedback(&Mesh::drawTextured, m, st), 1);
    EXPECT_EQ(st, Floats({0.5f, 0.6f, 0.3f, 0.4f, 0.1f, 0.2f}));
    // Outlines send no texture coordinate: every corner keeps the current one.
    glTexCoord2f(0.25f, 0.75f);
    st.clear();
    EXPECT_EQ(feedback(&Mesh::drawWireframe, m, st), 2 * 3);
    ASSERT_EQ(st.size(), 24u);
    for (size_t i = 0; i < 24; ++i) EXPECT_EQ(st[i], i % 2 ? 0.75f : 0.25f);
    GLint mode[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(Ints({mode[0], mode[1]}), Ints({GL_FILL, GL_FILL}));
    Mesh& bare = loadText("v 0 0 0\nv 0.5 0 0\nv 0 0.5 0\nf 1/1/1 2/1/1 3/1/1\n");
    EXPECT_EQ(feedback(&Mesh::drawTextured, bare, st), 0);
    EXPECT_EQ(feedback(&Mesh::drawWireframe, bare, st), 3);
}
