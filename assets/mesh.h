// mesh.h -- a triangle mesh read from a small subset of Wavefront OBJ, drawn filled or as lines
#pragma once
#include <cstdint>

struct MeshPosition {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

struct MeshTexCoord {
    float u = 0.0f;
    float v = 0.0f;
};

struct Mesh;
// Where Mesh::load hands its file while the start-up's loads are open (loader.h sets it); true
// when it took the file. Null: every load runs whole when it is called.
extern bool (*meshLoadQueue)(Mesh& mesh, const char* path);

struct Mesh {
    int32_t positionCount = 0;
    int32_t texCoordCount = 0;
    int32_t faceCount = 0;
    int32_t indexCount = 0;  // 3 x faceCount corner slots
    int32_t* positionIndices = nullptr;
    int32_t* texCoordIndices = nullptr;
    MeshPosition* positions = nullptr;
    MeshTexCoord* texCoords = nullptr;
    int32_t positionsFilled = 0;
    int32_t texCoordsFilled = 0;
    int32_t indicesFilled = 0;

    // Reads the file (two passes); false, with the "Error opening .obj file" box and the mesh
    // left empty, when it cannot be opened or read, or its counts or arrays do not fit.
    // Indices are stored as the file gives them less 1, unchecked; unread slots hold 0
    // (so -1 for an index). No GL calls. While the start-up's loads are open (loader.h) it
    // only queues the file and returns true: the mesh is read, or its message shown, by the
    // time the loads finish.
    bool load(const char* path);
    // The reading alone, on any thread: no message, no GL.
    bool read(const char* path);
    // The message of a mesh that could not be read.
    static void reportReadFailure();
    // GL_TRIANGLES with texture coordinates; polygon mode fill. Like the outline draw, it
    // skips every triangle that triangleInRange() refuses, so it never reads past an array.
    void drawTextured();
    // GL_TRIANGLES outlines, positions only; polygon mode back to fill afterwards.
    // With skipDrawing both only leave the polygon mode and texture coordinate they would.
    void drawWireframe();

    // True when every corner of triangle t (slots 3t..3t+2) names an existing position and,
    // when textured, an existing texture coordinate. The draws skip the other triangles;
    // code that walks the arrays itself should do the same.
    bool triangleInRange(int32_t t, bool textured) const;
    // Frees the arrays and empties the mesh. The demo keeps its meshes until exit; this is
    // for tools and tests that load many.
    void release();
};
