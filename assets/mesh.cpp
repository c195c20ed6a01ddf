// mesh.cpp -- OBJ-subset reading and the two immediate-mode draws
#include "assets/mesh.h"

bool Mesh::load(const char* path) {
    (void)path;
    return false;
}

void Mesh::drawTextured() {}

void Mesh::drawWireframe() {}
