// glu11.cpp -- the GLU calls the demo makes: projections, the look-at camera and mipmapped pictures
#include <cmath>
#include <cstring>
#include <vector>

#include "render/gl11/gl11_layer.h"

void glu11Perspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    const double radians = fovy / 2.0 * M_PI / 180.0;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    // A degenerate frustum leaves the matrix alone rather than dividing by zero.
    if (deltaZ == 0.0 || sine == 0.0 || aspect == 0.0) return;
    const double cotangent = std::cos(radians) / sine;
    double m[16] = {};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(zFar + zNear) / deltaZ;
    m[11] = -1.0;
    m[14] = -2.0 * zNear * zFar / deltaZ;
    float f[16];
    for (int i = 0; i < 16; ++i) f[i] = static_cast<float>(m[i]);
    gl11MultMatrixf(f);
}

void glu11Ortho2D(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top) {
    // glOrtho with near -1 and far 1, worked out in float as GL does.
    const float l = static_cast<float>(left), r = static_cast<float>(right);
    const float b = static_cast<float>(bottom), t = static_cast<float>(top);
    if (l == r || b == t) return;
    float m[16] = {};
    m[0] = 2.0f / (r - l);
    m[5] = 2.0f / (t - b);
    m[10] = -1.0f;
    m[12] = -(r + l) / (r - l);
    m[13] = -(t + b) / (t - b);
    m[15] = 1.0f;
    gl11MultMatrixf(m);
}

static void normalise(float* v) {
    const float r = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (r == 0.0f) return;
    v[0] /= r;
    v[1] /= r;
    v[2] /= r;
}

static void cross(const float* a, const float* b, float* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void glu11LookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centreX, GLdouble centreY,
                 GLdouble centreZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
    float forward[3] = {static_cast<float>(centreX - eyeX), static_cast<float>(centreY - eyeY),
                        static_cast<float>(centreZ - eyeZ)};
    float up[3] = {static_cast<float>(upX), static_cast<float>(upY), static_cast<float>(upZ)};
    float side[3];
    normalise(forward);
    cross(forward, up, side);
    normalise(side);
    cross(side, forward, up);
    float m[16] = {};
    for (int i = 0; i < 3; ++i) {
        m[4 * i + 0] = side[i];
        m[4 * i + 1] = up[i];
        m[4 * i + 2] = -forward[i];
    }
    m[15] = 1.0f;
    gl11MultMatrixf(m);
    gl11Translatef(static_cast<float>(-eyeX), static_cast<float>(-eyeY), static_cast<float>(-eyeZ));
}

// GLU's rounding of a side to a power of two: to the nearer one, in the sense of its two
// leading bits.
static int nearestPower(int value) {
    int power = 1;
    for (;;) {
        if (value == 1) return power;
        if (value == 3) return power * 4;
        value >>= 1;
        power *= 2;
    }
}

// Area-weighted resampling of packed RGB, each output pixel the mean of the source area it covers.
static void resample(const Gl11Level& from, Gl11Level& to) {
    to.rgb.assign(static_cast<size_t>(to.width) * to.height * 3, 0);
    const double sx = static_cast<double>(from.width) / to.width;
    const double sy = static_cast<double>(from.height) / to.height;
    for (int y = 0; y < to.height; ++y) {
        const double y0 = y * sy, y1 = y0 + sy;
        for (int x = 0; x < to.width; ++x) {
            const double x0 = x * sx, x1 = x0 + sx;
            double sum[3] = {0, 0, 0}, area = 0;
            for (int j = static_cast<int>(y0); j < from.height && j < y1; ++j) {
                const double h = std::fmin(y1, j + 1.0) - std::fmax(y0, static_cast<double>(j));
                for (int i = static_cast<int>(x0); i < from.width && i < x1; ++i) {
                    const double w = (std::fmin(x1, i + 1.0) - std::fmax(x0, static_cast<double>(i))) * h;
                    if (w <= 0.0) continue;
                    const uint8_t* p = &from.rgb[(static_cast<size_t>(j) * from.width + i) * 3];
                    for (int c = 0; c < 3; ++c) sum[c] += w * p[c];
                    area += w;
                }
            }
            uint8_t* q = &to.rgb[(static_cast<size_t>(y) * to.width + x) * 3];
            for (int c = 0; c < 3; ++c) q[c] = static_cast<uint8_t>(area > 0 ? sum[c] / area + 0.5 : 0);
        }
    }
}

// The next level down: the mean of each 2 x 2 block, rounded, or of each pair where one side
// is already 1.
static void halve(const Gl11Level& from, Gl11Level& to) {
    to.width = from.width > 1 ? from.width / 2 : 1;
    to.height = from.height > 1 ? from.height / 2 : 1;
    to.rgb.assign(static_cast<size_t>(to.width) * to.height * 3, 0);
    const int dx = from.width > 1 ? 1 : 0, dy = from.height > 1 ? 1 : 0;
    for (int y = 0; y < to.height; ++y)
        for (int x = 0; x < to.width; ++x) {
            const int sx = x * (dx + 1), sy = y * (dy + 1);
            auto at = [&](int i, int j) { return &from.rgb[(static_cast<size_t>(j) * from.width + i) * 3]; };
            uint8_t* q = &to.rgb[(static_cast<size_t>(y) * to.width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                if (dx && dy)
                    q[c] = static_cast<uint8_t>(
                        (at(sx, sy)[c] + at(sx + 1, sy)[c] + at(sx, sy + 1)[c] + at(sx + 1, sy + 1)[c] + 2) / 4);
                else
                    q[c] = static_cast<uint8_t>((at(sx, sy)[c] + at(sx + dx, sy + dy)[c]) / 2);
            }
        }
}

GLint glu11Build2DMipmaps(GLenum target, GLint components, GLint width, GLint height, GLenum format,
                          GLenum type, const void* data) {
    const GLint invalidValue = 100901, invalidEnum = 100900, outOfMemory = 100902;
    if (width < 1 || height < 1 || !data) return invalidValue;
    if (target != GL_TEXTURE_2D || (components != 3 && components != GL_RGB && components != GL_RGB8) ||
        format != GL_RGB || type != GL_UNSIGNED_BYTE)
        return invalidEnum;
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    if (maxSide <= 0) maxSide = 2048;
    if (width > (1 << 24) || height > (1 << 24)) return invalidValue;

    // The caller's rows, at its unpack alignment, packed into the first level.
    const int alignment = gl11UnpackAlignment();
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    const size_t stride = (rowBytes + alignment - 1) / alignment * alignment;
    std::vector<Gl11Level> levels(1);
    levels[0].width = width;
    levels[0].height = height;
    levels[0].rgb.resize(rowBytes * height);
    for (int y = 0; y < height; ++y)
        std::memcpy(&levels[0].rgb[y * rowBytes], static_cast<const uint8_t*>(data) + y * stride, rowBytes);

    // Sides go to powers of two, then halve together until both fit.
    int w = nearestPower(width), h = nearestPower(height);
    while (w > maxSide || h > maxSide) {
        if (w > 1) w /= 2;
        if (h > 1) h /= 2;
    }
    if (w != width || h != height) {
        Gl11Level scaled;
        scaled.width = w;
        scaled.height = h;
        resample(levels[0], scaled);
        levels[0] = std::move(scaled);
    }
    while (levels.back().width > 1 || levels.back().height > 1) {
        Gl11Level next;
        halve(levels.back(), next);
        levels.push_back(std::move(next));
    }
    return gl11LoadLevels(levels) ? 0 : outOfMemory;
}
