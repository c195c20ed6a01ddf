// mesh_test.cpp -- the OBJ subset read line by line as the loader must, and draws that stay inside the arrays
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "assets/mesh.h"
#include "testkit.h"

namespace {

using Ints = std::vector<int32_t>;

// Loaded meshes stay reachable, as the demo's do, so the leak checker keeps quiet.
std::deque<Mesh>& loaded = *new std::deque<Mesh>;

const Mesh& loadText(const std::string& text) {
    writeFile("data/m.obj", text);
    loaded.emplace_back();
    EXPECT_TRUE(loaded.back().load("data/m.obj"));
    return loaded.back();
}

Ints positionIndices(const Mesh& m) { return Ints(m.positionIndices, m.positionIndices + m.indexCount); }
Ints texCoordIndices(const Mesh& m) { return Ints(m.texCoordIndices, m.texCoordIndices + m.indexCount); }

// Runs a draw in feedback mode with identity matrices; returns the primitives GL was sent
// and the texture coordinates of their vertices.
int feedback(void (Mesh::*draw)(), Mesh& mesh, std::vector<float>* texCoords = nullptr) {
    static GLfloat buffer[4096];
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glFeedbackBuffer(4096, GL_3D_COLOR_TEXTURE, buffer);  // a vertex: xyz, rgba, strq
    glRenderMode(GL_FEEDBACK);
    (mesh.*draw)();
    const int used = glRenderMode(GL_RENDER);
    int primitives = 0;
    for (int i = 0; i < used; ++primitives) {
        const int token = static_cast<int>(buffer[i++]);
        const int vertices = token == GL_POLYGON_TOKEN ? static_cast<int>(buffer[i++]) : 2;
        for (int v = 0; v < vertices; ++v, i += 11)
            if (texCoords) texCoords->insert(texCoords->end(), {buffer[i + 7], buffer[i + 8]});
    }
    GLint mode[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_FILL);
    EXPECT_EQ(mode[1], GL_FILL);
    return primitives;
}

}  // namespace

TEST(MeshLoad, ReadsTheSubsetAndStoresOnlyWhatEachLineGives) {
    TempDir dir;
    const Mesh& m = loadText(
        "v 1 2 3\nv -0.5 4e1 .25\nv 7 8\n"  // the last one lacks z
        "v\t4 5 6\nV 4 5 6\nvn 0 0 1\ng group\nusemtl stone\ns 1\n"  // none of these count
        "  v 9 9 9\n"  // indented: counted, nothing stored
        "vt 0.5 0.25 0\n"
        "f 1/1/1 2/1/1 3/1/1\n"
        "f 3/1/1 2/1/1 1/1/1 010/0x10/1\n"  // a quad gives its first three corners
        "f 010/0x10/1 0X1f/011/1 -3/+2/1\n"
        "f 1/1 2/2 3/3\nf 1//1 2//2 3//3\n"
        "# list of faces\n");  // "f " in a comment: a face with nothing in it
    EXPECT_EQ(m.positionCount, 4);
    EXPECT_EQ(m.texCoordCount, 1);
    EXPECT_EQ(m.faceCount, 6);
    EXPECT_EQ(m.indexCount, 18);
    EXPECT_EQ(m.positionsFilled + m.texCoordsFilled + m.indicesFilled, 4 + 1 + 18);
    EXPECT_FLOAT_EQ(m.positions[1].y, 40.0f);
    EXPECT_FLOAT_EQ(m.positions[1].z, 0.25f);
    EXPECT_FLOAT_EQ(m.positions[2].y, 8.0f);
    EXPECT_FLOAT_EQ(m.positions[2].z, 0.0f);
    EXPECT_FLOAT_EQ(m.positions[3].x, 0.0f);
    EXPECT_FLOAT_EQ(m.texCoords[0].u, 0.5f);
    EXPECT_FLOAT_EQ(m.texCoords[0].v, 0.25f);
    // Unfilled slots read 0 in the file, so -1 once converted.
    EXPECT_EQ(positionIndices(m), (Ints{0, 1, 2, 2, 1, 0, 7, 30, -4, 0, -1, -1, 0, -1, -1, -1, -1, -1}));
    EXPECT_EQ(texCoordIndices(m), (Ints{0, 0, 0, 0, 0, 0, 15, 8, 1, 0, -1, -1, -1, -1, -1, -1, -1, -1}));
}

TEST(MeshLoad, LineEndsAndLongLines) {
    TempDir dir;
    const std::string lf = "v 1 2 3\nv 4 5 6\nf 1/1/1 2/1/1 1/1/1\nf 2/1/1 1/1/1 2/1/1";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& text : {lf, lf + "\n", crlf, crlf + "\r\n"}) {
        const Mesh& m = loadText(text);  // the last line is taken once, with or without its end
        EXPECT_EQ(m.faceCount, 2);
        EXPECT_EQ(positionIndices(m), (Ints{0, 1, 0, 1, 0, 1}));
        EXPECT_FLOAT_EQ(m.positions[1].z, 6.0f);
    }
    const Mesh& m = loadText("#" + std::string(90, 'a') + " f 1/1/1 1/1/1 1/1/1\n"  // key in the 2nd piece
                             + std::string(76, 'b') + "f \n"   // 78 characters: one piece
                             + std::string(78, 'c') + "f \n"   // key cut between pieces
                             + "v 1 2 3" + std::string(93, ' ') + "\n");
    EXPECT_EQ(m.faceCount, 2);
    EXPECT_EQ(m.positionCount, 1);
    EXPECT_FLOAT_EQ(m.positions[0].z, 3.0f);
}

TEST(MeshLoad, FilesThatCannotBeReadShowOneMessage) {
    TempDir dir;
    recordMessages();
    Mesh missing, directory;
    EXPECT_FALSE(missing.load("data/none.obj"));
    EXPECT_FALSE(directory.load("data"));
    EXPECT_EQ(recordedMessages(), (std::vector<std::string>(2, "App: Error opening .obj file")));
    EXPECT_EQ(missing.positions, nullptr);
    EXPECT_EQ(directory.indexCount, 0);
    const Mesh& empty = loadText("");
    EXPECT_EQ(empty.positionCount + empty.texCoordCount + empty.faceCount, 0);
    EXPECT_EQ(recordedMessages().size(), 2u);
}

TEST(MeshDraw, SendsCornersInOrderAndSkipsTrianglesOutsideTheArrays) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    Mesh m = loadText("v 0 0 0\nv 0.5 0 0\nv 0 0.5 0\nvt 0.1 0.2\nvt 0.3 0.4\nvt 0.5 0.6\n"
                      "f 1/3/1 2/2/1 3/1/1\n"
                      "f 0/1/1 2/1/1 3/1/1\nf 1/1/1 2/1/1 4/1/1\nf -1/1/1 2/1/1 3/1/1\n"
                      "f 1/1 2/1 3/1\nf 0x7fffffff/1/1 1/1/1 1/1/1\nf -2147483648/1/1 1/1/1 1/1/1\n"
                      "f 1/4/1 2/1/1 3/1/1\n");  // texture coordinate past the end: outline only
    std::vector<float> st;
    EXPECT_EQ(feedback(&Mesh::drawTextured, m, &st), 1);
    EXPECT_EQ(st, (std::vector<float>{0.5f, 0.6f, 0.3f, 0.4f, 0.1f, 0.2f}));
    // Outlines send no texture coordinate: every corner keeps the current one.
    glTexCoord2f(0.25f, 0.75f);
    st.clear();
    EXPECT_EQ(feedback(&Mesh::drawWireframe, m, &st), 2 * 3);
    ASSERT_EQ(st.size(), 24u);
    for (size_t i = 0; i < st.size(); ++i) EXPECT_FLOAT_EQ(st[i], i % 2 ? 0.75f : 0.25f);

    Mesh bare = loadText("v 0 0 0\nv 0.5 0 0\nv 0 0.5 0\nf 1/1/1 2/1/1 3/1/1\n");
    EXPECT_EQ(feedback(&Mesh::drawTextured, bare), 0);
    EXPECT_EQ(feedback(&Mesh::drawWireframe, bare), 3);
    Mesh empty;
    EXPECT_EQ(feedback(&Mesh::drawWireframe, empty), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
