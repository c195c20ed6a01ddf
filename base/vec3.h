// vec3.h -- three 32-bit floats, the program's only vector type
#pragma once

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vec3& set(float nx, float ny, float nz) {
        x = nx;
        y = ny;
        z = nz;
        return *this;
    }
};
