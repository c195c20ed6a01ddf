// gl11.cpp -- immediate mode, matrix stacks, smooth wide lines and the modulate environment over ES 3 shaders
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "render/gl11/gl11_layer.h"

namespace {

// Column-major, as GL keeps and returns it.
struct Matrix {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

Matrix product(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.m[4 * k + row] * b.m[4 * col + k];
            r.m[4 * col + row] = sum;
        }
    return r;
}

// GL's minimum stack depth for the modelview; the projection gets the same.
constexpr int stackDepth = 32;

// Lines in one row of the line texture; the line program has the same number.
constexpr size_t linesPerRow = 256;
// The most lines one draw sends before the next part of a batch follows.
constexpr size_t linesPerDraw = 8192;

struct MatrixStack {
    Matrix items[stackDepth];
    int top = 0;
};

// A filled triangle corner: clip-space position, colour, texture coordinate.
struct FillVertex {
    float position[4] = {};
    float colour[4] = {};
    float uv[2] = {};
};

// One line, drawn as a screen-space quad by the line program: both ends in clip space, the
// colour and texture coordinate of its first end, and its half width with the smooth flag.
// Four RGBA float texels of the line texture, which the program reads by vertex number.
struct LineTexels {
    float from[4] = {};
    float to[4] = {};
    float colour[4] = {};
    float uv[2] = {};
    float halfWidth = 0.0f;
    float smooth = 0.0f;
};

enum class BatchKind { none, fill, lines };

struct VertexPointer {
    GLint size = 4;
    GLenum type = GL_FLOAT;
    GLsizei stride = 0;
    const void* pointer = nullptr;
    bool enabled = false;
};

struct Program {
    GLuint name = 0;
    GLint viewport = -1;
    GLint target = -1;
    GLint textured = -1;
    GLint picture = -1;
};

struct Layer {
    bool ready = false;
    bool broken = false;  // shaders failed: nothing is drawn, and the reason was printed once
    Program fill;
    Program plainFill;  // filled triangles with texturing off: nothing to sample or interpolate but colour
    Program lines;
    GLuint fillArray = 0, lineArray = 0;
    GLuint fillBuffer = 0;
    size_t fillCapacity = 0;  // bytes of the buffer's store
    GLuint lineTexture = 0;
    GLuint lineCorners = 0;  // the element buffer of every line's two triangles
    size_t cornerLines = 0;  // lines it holds triangles for
    GLint lineRows = 0;      // rows of the line texture's store
    GLint largestSide = 0;   // the implementation's largest texture side

    MatrixStack modelview;
    MatrixStack projection;
    GLenum matrixMode = GL_MODELVIEW;
    Matrix combined;
    bool combinedValid = false;

    float colour[4] = {1, 1, 1, 1};
    float uv[2] = {0, 0};

    bool inBegin = false;
    GLenum beginMode = 0;
    std::vector<FillVertex> primitive;

    bool texturing = false;
    bool blend = false;
    bool depthTest = false;
    bool scissorTest = false;
    bool cullFace = false;
    bool lineSmooth = false;
    GLenum blendSource = GL_ONE, blendDestination = GL_ZERO;
    GLboolean depthMask = GL_TRUE;
    GLenum polygonMode = GL_FILL;
    float lineWidth = 1.0f;
    GLint viewport[4] = {0, 0, 0, 0};
    bool viewportKnown = false;
    GLuint boundTexture = 0;
    std::vector<GLuint> completeTextures;  // sorted
    // The texture names the layer hands out are its own, so that they outlive a context: each
    // one's object in the current context, 0 until the name is next bound there.
    std::vector<GLuint> textureObjects = std::vector<GLuint>(1, 0);
    GLint unpackAlignment = 4;
    GLenum error = GL_NO_ERROR;

    VertexPointer vertexArray;
    VertexPointer savedVertexArray;
    bool clientSaved = false;

    BatchKind kind = BatchKind::none;
    std::vector<FillVertex> fillBatch;
    std::vector<LineTexels> lineBatch;
    std::vector<float> transformed;  // glDrawElements' vertices in clip space
    unsigned drawCalls = 0;
};

Layer layer;

void setError(GLenum error) {
    if (layer.error == GL_NO_ERROR) layer.error = error;
}

// Filled triangles: the modulate environment (texel x colour) with a complete texture bound and
// enabled, and the colour alone otherwise, each its own program, so that the untextured one
// interpolates nothing but the colour.
const char* fillFragmentSource = R"(#version 300 es
precision highp float;
uniform sampler2D picture;
in vec4 colour;
in vec2 uv;
out vec4 fragment;
void main() {
    fragment = colour * texture(picture, uv);
}
)";

const char* plainFillVertexSource = R"(#version 300 es
in vec4 position;
in vec4 vertexColour;
out vec4 colour;
void main() {
    gl_Position = position;
    colour = vertexColour;
}
)";

const char* plainFillFragmentSource = R"(#version 300 es
precision highp float;
in vec4 colour;
out vec4 fragment;
void main() {
    fragment = colour;
}
)";

// Lines: their colour, already modulated by the one texel their texture coordinate names, and
// the smooth line's coverage in alpha. edge holds, in pixels, the distance across the line and
// its half width, the distance along it from its middle and its half length.
const char* lineFragmentSource = R"(#version 300 es
precision highp float;
in vec4 colour;
in vec4 edge;
out vec4 fragment;
void main() {
    float across = clamp(edge.y - abs(edge.x), 0.0, 1.0);
    float along = min(clamp(edge.w - abs(edge.z), 0.0, 1.0), 2.0 * edge.w - 1.0);
    fragment = vec4(colour.rgb, colour.a * across * along);
}
)";

const char* fillVertexSource = R"(#version 300 es
in vec4 position;
in vec4 vertexColour;
in vec2 vertexUv;
out vec4 colour;
out vec2 uv;
void main() {
    gl_Position = position;
    colour = vertexColour;
    uv = vertexUv;
}
)";

// Four vertices draw each line, the corners 0..3 of a quad that runs as a strip, in two triangles
// (0, 1, 2) and (2, 1, 3) from the element buffer: the rasteriser's vertex cache shades each corner
// once, where six vertices of their own took each line through this shader six times for the same
// triangles. The line's four texels sit in row line / 256 of the line texture. The line is cut to
// the view volume in clip space, taken to window coordinates, widened there by its half width
// across and half a pixel beyond each end, and handed back at w = 1 so that the window-space
// distances interpolate linearly; depth stays that of each end. The quad may reach past the
// viewport by its width: it is placed in the larger target viewport. A line's texture coordinate is
// the same all along it, so its texel (at the base level, as a fragment with no change of
// coordinate gets it) is taken here once, not for every fragment.
const char* lineVertexSource = R"(#version 300 es
uniform vec4 viewport;
uniform vec4 target;
uniform highp sampler2D lines;
uniform sampler2D picture;
uniform bool textured;
out vec4 colour;
out vec4 edge;
void main() {
    int line = gl_VertexID / 4;
    int corner = gl_VertexID - 4 * line;
    ivec2 at = ivec2((line % 256) * 4, line / 256);
    vec4 from = texelFetch(lines, at, 0);
    vec4 to = texelFetch(lines, at + ivec2(1, 0), 0);
    vec4 more = texelFetch(lines, at + ivec2(3, 0), 0);
    vec2 width = more.zw;
    colour = texelFetch(lines, at + ivec2(2, 0), 0);
    if (textured) colour *= textureLod(picture, more.xy, 0.0);
    gl_Position = vec4(2.0, 2.0, 2.0, 1.0);
    edge = vec4(0.0);
    vec4 a = from;
    vec4 b = to;
    float t0 = 0.0, t1 = 0.0;
    for (int i = 0; i < 6; ++i) {
        float sign = (i & 1) == 0 ? 1.0 : -1.0;
        int axis = i / 2;
        float d0 = a.w + sign * a[axis];
        float d1 = b.w + sign * b[axis];
        if (d1 < 0.0) t1 = max(t1, d1 / (d1 - d0));
        if (d0 < 0.0) t0 = max(t0, d0 / (d0 - d1));
        if (t0 + t1 >= 1.0) return;
    }
    if (t0 > 0.0) a = from + t0 * (to - from);
    if (t1 > 0.0) b = to + t1 * (from - to);
    vec3 da = a.xyz / a.w;
    vec3 db = b.xyz / b.w;
    vec2 wa = (da.xy * 0.5 + 0.5) * viewport.zw + viewport.xy;
    vec2 wb = (db.xy * 0.5 + 0.5) * viewport.zw + viewport.xy;
    vec2 d = wb - wa;
    float len = length(d);
    if (!(len > 0.0)) return;
    vec2 dir = d / len;
    vec2 across = vec2(-dir.y, dir.x);
    float halfWidth = width.x;
    float halfLength = 0.5 * len + 0.5;
    bool atEnd = corner >= 2;
    float side = (corner & 1) == 0 ? 1.0 : -1.0;
    vec2 w = (atEnd ? wb + 0.5 * dir : wa - 0.5 * dir) + side * halfWidth * across;
    float z = atEnd ? db.z : da.z;
    gl_Position = vec4((w - target.xy) / target.zw * 2.0 - 1.0, z, 1.0);
    if (width.y > 0.5)
        edge = vec4(-side * halfWidth, halfWidth, atEnd ? halfLength : -halfLength, halfLength);
    else
        edge = vec4(0.0, 1.0, 0.0, 1.0);
}
)";

GLuint compile(GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "gl11: shader did not compile: %s\n", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// Attribute locations are fixed before linking, so one vertex array per program holds them.
bool link(Program& program, const char* vertexSource, const char* fragmentSource, const char* const* attributes,
          int attributeCount) {
    const GLuint vertex = compile(GL_VERTEX_SHADER, vertexSource);
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, fragmentSource);
    if (!vertex || !fragment) {
        if (vertex) glDeleteShader(vertex);
        if (fragment) glDeleteShader(fragment);
        return false;
    }
    program.name = glCreateProgram();
    glAttachShader(program.name, vertex);
    glAttachShader(program.name, fragment);
    for (int i = 0; i < attributeCount; ++i) glBindAttribLocation(program.name, static_cast<GLuint>(i), attributes[i]);
    glLinkProgram(program.name);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(program.name, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetProgramInfoLog(program.name, sizeof log, nullptr, log);
        std::fprintf(stderr, "gl11: program did not link: %s\n", log);
        return false;
    }
    program.viewport = glGetUniformLocation(program.name, "viewport");
    program.target = glGetUniformLocation(program.name, "target");
    program.textured = glGetUniformLocation(program.name, "textured");
    program.picture = glGetUniformLocation(program.name, "picture");
    glUseProgram(program.name);
    glUniform1i(program.picture, 0);
    return true;
}

void attribute(GLuint index, GLint size, GLsizei stride, size_t offset) {
    glEnableVertexAttribArray(index);
    glVertexAttribPointer(index, size, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offset));
}

// The GL objects are made on first use, in whatever context is current then.
bool ensureReady() {
    if (layer.ready) return true;
    if (layer.broken) return false;
    static const char* const fillAttributes[] = {"position", "vertexColour", "vertexUv"};
    if (!link(layer.fill, fillVertexSource, fillFragmentSource, fillAttributes, 3) ||
        !link(layer.plainFill, plainFillVertexSource, plainFillFragmentSource, fillAttributes, 2) ||
        !link(layer.lines, lineVertexSource, lineFragmentSource, nullptr, 0)) {
        layer.broken = true;
        return false;
    }
    glGenVertexArrays(1, &layer.fillArray);
    glGenBuffers(1, &layer.fillBuffer);
    glBindVertexArray(layer.fillArray);
    glBindBuffer(GL_ARRAY_BUFFER, layer.fillBuffer);
    const GLsizei fillStride = sizeof(FillVertex);
    attribute(0, 4, fillStride, offsetof(FillVertex, position));
    attribute(1, 4, fillStride, offsetof(FillVertex, colour));
    attribute(2, 2, fillStride, offsetof(FillVertex, uv));

    // The line program reads no attributes, only its vertex number and the line texture; its
    // vertex array holds the element buffer of the lines' corners.
    glGenVertexArrays(1, &layer.lineArray);
    glGenBuffers(1, &layer.lineCorners);
    glBindVertexArray(layer.lineArray);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, layer.lineCorners);
    glGenTextures(1, &layer.lineTexture);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, layer.lineTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glUseProgram(layer.lines.name);
    glUniform1i(glGetUniformLocation(layer.lines.name, "lines"), 1);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &layer.largestSide);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
    if (!layer.viewportKnown) {
        glGetIntegerv(GL_VIEWPORT, layer.viewport);
        layer.viewportKnown = true;
    }
    layer.ready = true;
    return true;
}

bool textureComplete(GLuint name) {
    return name != 0 && std::binary_search(layer.completeTextures.begin(), layer.completeTextures.end(), name);
}

// Into the bound array buffer. Its store keeps its size from batch to batch and only grows, so
// that a frame does not give the driver a fresh allocation for every batch.
void upload(const void* data, size_t bytes, size_t& capacity) {
    if (bytes > capacity) {
        capacity = std::max(bytes, 2 * capacity);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(capacity), nullptr, GL_DYNAMIC_DRAW);
    }
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes), data);
}

// Grows the element buffer of the bound line vertex array to hold at least lines lines' two
// triangles, written a slice at a time so that no array of the whole is ever held; it keeps
// its size from batch to batch.
void ensureLineCorners(size_t lines) {
    if (lines <= layer.cornerLines) return;
    const size_t grown = std::max(lines, 2 * layer.cornerLines);
    constexpr size_t slice = 4096;
    std::vector<uint32_t> corners(6 * slice);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(6 * grown * sizeof(uint32_t)), nullptr,
                 GL_STATIC_DRAW);
    for (size_t first = 0; first < grown; first += slice) {
        const size_t count = std::min(slice, grown - first);
        for (size_t i = 0; i < count; ++i) {
            const uint32_t corner = static_cast<uint32_t>(4 * (first + i));
            const uint32_t triangles[6] = {corner, corner + 1, corner + 2, corner + 2, corner + 1, corner + 3};
            std::memcpy(&corners[6 * i], triangles, sizeof triangles);
        }
        glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLintptr>(6 * first * sizeof(uint32_t)),
                        static_cast<GLsizeiptr>(6 * count * sizeof(uint32_t)), corners.data());
    }
    layer.cornerLines = grown;
}

// Draws what has been gathered, with the state in force now: every call that would change
// how the gathered primitives look comes here first.
void flush() {
    if (layer.kind == BatchKind::none) return;
    const BatchKind kind = layer.kind;
    layer.kind = BatchKind::none;
    if (!ensureReady()) {
        layer.fillBatch.clear();
        layer.lineBatch.clear();
        return;
    }
    const bool textured = layer.texturing && textureComplete(layer.boundTexture);
    const Program& program = kind == BatchKind::lines ? layer.lines : textured ? layer.fill : layer.plainFill;
    glUseProgram(program.name);
    if (kind == BatchKind::lines) glUniform1i(program.textured, textured ? 1 : 0);
    if (kind == BatchKind::fill) {
        glBindVertexArray(layer.fillArray);
        glBindBuffer(GL_ARRAY_BUFFER, layer.fillBuffer);
        upload(layer.fillBatch.data(), layer.fillBatch.size() * sizeof(FillVertex), layer.fillCapacity);
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(layer.fillBatch.size()));
        ++layer.drawCalls;
        layer.fillBatch.clear();
    } else {
        const GLint* v = layer.viewport;
        glUniform4f(program.viewport, static_cast<float>(v[0]), static_cast<float>(v[1]),
                    static_cast<float>(std::max(1, v[2])), static_cast<float>(std::max(1, v[3])));
        // A line is cut at the viewport's edge, but its quad reaches past it by up to its half
        // width and half a pixel, as on the desktop rasteriser: the draw gets a viewport that
        // much larger on every side.
        float reach = 0.0f;
        for (const LineTexels& line : layer.lineBatch) reach = std::max(reach, line.halfWidth);
        const GLint margin = static_cast<GLint>(std::ceil(reach)) + 1;
        const GLint target[4] = {v[0] - margin, v[1] - margin, std::max(1, v[2]) + 2 * margin,
                                 std::max(1, v[3]) + 2 * margin};
        glViewport(target[0], target[1], target[2], target[3]);
        glUniform4f(program.target, static_cast<float>(target[0]), static_cast<float>(target[1]),
                    static_cast<float>(target[2]), static_cast<float>(target[3]));
        glBindVertexArray(layer.lineArray);
        glActiveTexture(GL_TEXTURE1);
        // Whole rows go up, so the last one is padded with lines that draw nothing.
        const size_t rowsLimit = static_cast<size_t>(std::max<GLint>(1, std::min<GLint>(layer.largestSide, 4096)));
        const size_t count = layer.lineBatch.size();
        layer.lineBatch.resize((count + linesPerRow - 1) / linesPerRow * linesPerRow);
        for (size_t first = 0; first < count; first += rowsLimit * linesPerRow) {
            const size_t lines = std::min(count - first, rowsLimit * linesPerRow);
            const GLint rows = static_cast<GLint>((lines + linesPerRow - 1) / linesPerRow);
            if (rows > layer.lineRows) {
                layer.lineRows = std::min<GLint>(static_cast<GLint>(rowsLimit), std::max(rows, 2 * layer.lineRows));
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 4 * linesPerRow, layer.lineRows, 0, GL_RGBA, GL_FLOAT,
                             nullptr);
            }
            glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 4 * linesPerRow, rows, GL_RGBA, GL_FLOAT,
                            layer.lineBatch.data() + first);
            glPixelStorei(GL_UNPACK_ALIGNMENT, layer.unpackAlignment);
            // A draw of a few thousand lines at a time, each but the last handed on with a flush:
            // the rasteriser draws one part on its threads while the next is shaded and sorted
            // into its tiles, rather than starting only once all of them are.
            ensureLineCorners(lines);
            for (size_t part = 0; part < lines; part += linesPerDraw) {
                const size_t partLines = std::min(linesPerDraw, lines - part);
                glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(6 * partLines), GL_UNSIGNED_INT,
                               reinterpret_cast<const void*>(6 * part * sizeof(uint32_t)));
                ++layer.drawCalls;
                if (part + partLines < lines) glFlush();
            }
        }
        glActiveTexture(GL_TEXTURE0);
        glViewport(v[0], v[1], v[2], v[3]);
        layer.lineBatch.clear();
    }
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void startBatch(BatchKind kind) {
    if (layer.kind != kind) flush();
    layer.kind = kind;
}

MatrixStack& currentStack() { return layer.matrixMode == GL_PROJECTION ? layer.projection : layer.modelview; }
Matrix& currentMatrix() {
    MatrixStack& stack = currentStack();
    return stack.items[stack.top];
}

void matrixChanged() { layer.combinedValid = false; }

const Matrix& combined() {
    if (!layer.combinedValid) {
        layer.combined = product(layer.projection.items[layer.projection.top], layer.modelview.items[layer.modelview.top]);
        layer.combinedValid = true;
    }
    return layer.combined;
}

void toClip(const float* in, float* out) {
    const float* m = combined().m;
    for (int r = 0; r < 4; ++r) out[r] = m[r] * in[0] + m[4 + r] * in[1] + m[8 + r] * in[2] + m[12 + r] * in[3];
}

float clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

void addLine(const FillVertex& a, const FillVertex& b) {
    startBatch(BatchKind::lines);
    LineTexels line;
    std::memcpy(line.from, a.position, sizeof line.from);
    std::memcpy(line.to, b.position, sizeof line.to);
    std::memcpy(line.colour, a.colour, sizeof line.colour);
    std::memcpy(line.uv, a.uv, sizeof line.uv);
    // A smooth line is covered fully across its width less a pixel and fades to nothing over
    // the pixel on each side; widths of 1 and less all fade from its centre line to a pixel
    // away. Its colour and texture coordinate are those of its first end.
    const float width = layer.lineWidth;
    if (layer.lineSmooth) {
        line.halfWidth = width <= 1.0f ? 1.0f : 0.5f * width + 0.5f;
        line.smooth = 1.0f;
    } else {
        line.halfWidth = 0.5f * std::max(1.0f, std::round(width));
        line.smooth = 0.0f;
    }
    layer.lineBatch.push_back(line);
}

// A triangle in line mode is drawn as its three edges, last-to-first edge first.
void addTriangle(const FillVertex& a, const FillVertex& b, const FillVertex& c) {
    if (layer.polygonMode == GL_LINE) {
        addLine(c, a);
        addLine(a, b);
        addLine(b, c);
    } else if (layer.polygonMode == GL_FILL) {
        startBatch(BatchKind::fill);
        layer.fillBatch.push_back(a);
        layer.fillBatch.push_back(b);
        layer.fillBatch.push_back(c);
    }
}

// A quad's outline in line mode leaves out the diagonal that splits it.
void addQuad(const FillVertex& a, const FillVertex& b, const FillVertex& c, const FillVertex& d) {
    if (layer.polygonMode == GL_LINE) {
        addLine(a, b);
        addLine(b, c);
        addLine(c, d);
        addLine(d, a);
    } else {
        addTriangle(a, b, d);
        addTriangle(b, c, d);
    }
}

void vertex(float x, float y, float z) {
    if (!layer.inBegin) return;
    FillVertex v;
    const float in[4] = {x, y, z, 1.0f};
    toClip(in, v.position);
    for (int i = 0; i < 4; ++i) v.colour[i] = clamp01(layer.colour[i]);
    v.uv[0] = layer.uv[0];
    v.uv[1] = layer.uv[1];
    layer.primitive.push_back(v);
    const std::vector<FillVertex>& p = layer.primitive;
    // Complete primitives leave at once, so a long glBegin/glEnd run keeps little in hand.
    if (layer.beginMode == GL_TRIANGLES && p.size() == 3) {
        addTriangle(p[0], p[1], p[2]);
        layer.primitive.clear();
    } else if (layer.beginMode == GL_QUADS && p.size() == 4) {
        addQuad(p[0], p[1], p[2], p[3]);
        layer.primitive.clear();
    } else if (layer.beginMode == GL_LINES && p.size() == 2) {
        addLine(p[0], p[1]);
        layer.primitive.clear();
    }
}

bool setCap(GLenum cap, bool on) {
    auto change = [](bool& flag, bool value) {
        if (flag == value) return false;
        flush();
        flag = value;
        return true;
    };
    switch (cap) {
        case GL_TEXTURE_2D: change(layer.texturing, on); return true;
        case GL_LINE_SMOOTH: layer.lineSmooth = on; return true;
        case GL_BLEND:
            if (change(layer.blend, on)) on ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
            return true;
        case GL_DEPTH_TEST:
            if (change(layer.depthTest, on)) on ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
            return true;
        case GL_SCISSOR_TEST:
            if (change(layer.scissorTest, on)) on ? glEnable(GL_SCISSOR_TEST) : glDisable(GL_SCISSOR_TEST);
            return true;
        case GL_CULL_FACE:
            if (change(layer.cullFace, on)) on ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
            return true;
        default: return false;
    }
}

}  // namespace

void gl11Begin(GLenum mode) {
    if (layer.inBegin) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    if (mode != GL_TRIANGLES && mode != GL_QUADS && mode != GL_LINES) {
        setError(GL_INVALID_ENUM);
        return;
    }
    layer.inBegin = true;
    layer.beginMode = mode;
    layer.primitive.clear();
}

void gl11End() {
    if (!layer.inBegin) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    // An unfinished primitive at the end is dropped, as GL drops it.
    layer.inBegin = false;
    layer.primitive.clear();
}

void gl11Vertex2i(GLint x, GLint y) { vertex(static_cast<float>(x), static_cast<float>(y), 0.0f); }
void gl11Vertex2f(GLfloat x, GLfloat y) { vertex(x, y, 0.0f); }
void gl11Vertex3f(GLfloat x, GLfloat y, GLfloat z) { vertex(x, y, z); }

void gl11TexCoord2f(GLfloat s, GLfloat t) {
    layer.uv[0] = s;
    layer.uv[1] = t;
}

void gl11Color3f(GLfloat r, GLfloat g, GLfloat b) { gl11Color4f(r, g, b, 1.0f); }

void gl11Color4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    layer.colour[0] = r;
    layer.colour[1] = g;
    layer.colour[2] = b;
    layer.colour[3] = a;
}

void gl11MatrixMode(GLenum mode) {
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION) {
        setError(GL_INVALID_ENUM);
        return;
    }
    layer.matrixMode = mode;
}

void gl11LoadIdentity() {
    currentMatrix() = Matrix();
    matrixChanged();
}

void gl11LoadMatrixf(const GLfloat* m) {
    if (!m) return;
    std::memcpy(currentMatrix().m, m, sizeof(Matrix::m));
    matrixChanged();
}

void gl11MultMatrixf(const GLfloat* m) {
    if (!m) return;
    Matrix right;
    std::memcpy(right.m, m, sizeof right.m);
    currentMatrix() = product(currentMatrix(), right);
    matrixChanged();
}

void gl11PushMatrix() {
    MatrixStack& stack = currentStack();
    if (stack.top + 1 >= stackDepth) {
        setError(GL_STACK_OVERFLOW);
        return;
    }
    stack.items[stack.top + 1] = stack.items[stack.top];
    ++stack.top;
}

void gl11PopMatrix() {
    MatrixStack& stack = currentStack();
    if (stack.top == 0) {
        setError(GL_STACK_UNDERFLOW);
        return;
    }
    --stack.top;
    matrixChanged();
}

void gl11Translatef(GLfloat x, GLfloat y, GLfloat z) {
    float* m = currentMatrix().m;
    for (int r = 0; r < 4; ++r) m[12 + r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
    matrixChanged();
}

void gl11Scalef(GLfloat x, GLfloat y, GLfloat z) {
    float* m = currentMatrix().m;
    for (int r = 0; r < 4; ++r) {
        m[r] *= x;
        m[4 + r] *= y;
        m[8 + r] *= z;
    }
    matrixChanged();
}

void gl11Rotatef(GLfloat degrees, GLfloat x, GLfloat y, GLfloat z) {
    // A zero (or nearly zero) axis leaves the matrix as it is rather than filling it with NaN.
    const float length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 1.0e-4f)) return;
    x /= length;
    y /= length;
    z /= length;
    const float radians = degrees * static_cast<float>(M_PI / 180.0);
    const float s = std::sin(radians), c = std::cos(radians), k = 1.0f - c;
    Matrix r;
    r.m[0] = x * x * k + c;
    r.m[1] = y * x * k + z * s;
    r.m[2] = x * z * k - y * s;
    r.m[4] = x * y * k - z * s;
    r.m[5] = y * y * k + c;
    r.m[6] = y * z * k + x * s;
    r.m[8] = x * z * k + y * s;
    r.m[9] = y * z * k - x * s;
    r.m[10] = z * z * k + c;
    currentMatrix() = product(currentMatrix(), r);
    matrixChanged();
}

void gl11Enable(GLenum cap) {
    if (!setCap(cap, true)) setError(GL_INVALID_ENUM);
}

void gl11Disable(GLenum cap) {
    if (!setCap(cap, false)) setError(GL_INVALID_ENUM);
}

void gl11BlendFunc(GLenum source, GLenum destination) {
    if (source == layer.blendSource && destination == layer.blendDestination) return;
    flush();
    layer.blendSource = source;
    layer.blendDestination = destination;
    glBlendFunc(source, destination);
}

void gl11DepthMask(GLboolean flag) {
    if (flag == layer.depthMask) return;
    flush();
    layer.depthMask = flag;
    glDepthMask(flag);
}

void gl11PolygonMode(GLenum face, GLenum mode) {
    if (face != GL_FRONT && face != GL_BACK && face != GL_FRONT_AND_BACK) {
        setError(GL_INVALID_ENUM);
        return;
    }
    if (mode != GL_POINT && mode != GL_LINE && mode != GL_FILL) {
        setError(GL_INVALID_ENUM);
        return;
    }
    // Only both faces together are kept: the demo never sets them apart.
    layer.polygonMode = mode;
}

void gl11LineWidth(GLfloat width) {
    if (!(width > 0.0f)) {
        setError(GL_INVALID_VALUE);
        return;
    }
    // The widest smooth line this layer draws, as wide as the desktop rasteriser's.
    layer.lineWidth = std::min(width, 255.0f);
}

void gl11Hint(GLenum target, GLenum mode) {
    if (target == GL_GENERATE_MIPMAP_HINT || target == GL_FRAGMENT_SHADER_DERIVATIVE_HINT) glHint(target, mode);
}

void gl11Viewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    if (width < 0 || height < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    if (layer.viewportKnown && x == layer.viewport[0] && y == layer.viewport[1] && width == layer.viewport[2] &&
        height == layer.viewport[3])
        return;
    flush();
    layer.viewport[0] = x;
    layer.viewport[1] = y;
    layer.viewport[2] = width;
    layer.viewport[3] = height;
    layer.viewportKnown = true;
    glViewport(x, y, width, height);
}

void gl11Scissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    flush();
    glScissor(x, y, width, height);
}

void gl11ClearColor(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { glClearColor(r, g, b, a); }

void gl11Clear(GLbitfield mask) {
    flush();
    glClear(mask);
}

GLboolean gl11IsEnabled(GLenum cap) {
    switch (cap) {
        case GL_TEXTURE_2D: return layer.texturing;
        case GL_LINE_SMOOTH: return layer.lineSmooth;
        case GL_BLEND: return layer.blend;
        case GL_DEPTH_TEST: return layer.depthTest;
        case GL_SCISSOR_TEST: return layer.scissorTest;
        case GL_CULL_FACE: return layer.cullFace;
        default: setError(GL_INVALID_ENUM); return GL_FALSE;
    }
}

// The current colour reads back as it was given, unclamped, as desktop GL keeps it.
void gl11GetFloatv(GLenum name, GLfloat* values) {
    if (!values) return;
    if (name == GL_MODELVIEW_MATRIX || name == GL_PROJECTION_MATRIX) {
        const MatrixStack& stack = name == GL_MODELVIEW_MATRIX ? layer.modelview : layer.projection;
        std::memcpy(values, stack.items[stack.top].m, sizeof(Matrix::m));
    } else if (name == GL_LINE_WIDTH) {
        values[0] = layer.lineWidth;
    } else if (name == GL_CURRENT_COLOR) {
        std::memcpy(values, layer.colour, sizeof layer.colour);
    } else if (name == GL_CURRENT_TEXTURE_COORDS) {
        const GLfloat coordinates[4] = {layer.uv[0], layer.uv[1], 0.0f, 1.0f};
        std::memcpy(values, coordinates, sizeof coordinates);
    } else {
        glGetFloatv(name, values);
    }
}

void gl11GetIntegerv(GLenum name, GLint* values) {
    if (!values) return;
    if (name == GL_VIEWPORT) {
        if (!layer.viewportKnown) {
            glGetIntegerv(GL_VIEWPORT, layer.viewport);
            layer.viewportKnown = true;
        }
        std::memcpy(values, layer.viewport, sizeof layer.viewport);
    } else if (name == GL_MATRIX_MODE) {
        values[0] = static_cast<GLint>(layer.matrixMode);
    } else if (name == GL_POLYGON_MODE) {
        values[0] = values[1] = static_cast<GLint>(layer.polygonMode);
    } else if (name == GL_BLEND_SRC || name == GL_BLEND_DST) {
        values[0] = static_cast<GLint>(name == GL_BLEND_SRC ? layer.blendSource : layer.blendDestination);
    } else if (name == GL_TEXTURE_BINDING_2D) {
        values[0] = static_cast<GLint>(layer.boundTexture);
    } else if (name == GL_UNPACK_ALIGNMENT) {
        values[0] = layer.unpackAlignment;
    } else {
        glGetIntegerv(name, values);
    }
}

GLenum gl11GetError() {
    const GLenum own = layer.error;
    layer.error = GL_NO_ERROR;
    return own != GL_NO_ERROR ? own : glGetError();
}

void gl11Flush() {
    flush();
    glFlush();
}

void gl11Finish() {
    flush();
    glFinish();
}

void gl11GenTextures(GLsizei count, GLuint* names) {
    if (count < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    if (!names) return;
    for (GLsizei i = 0; i < count; ++i) {
        names[i] = static_cast<GLuint>(layer.textureObjects.size());
        layer.textureObjects.push_back(0);
    }
}

void gl11DeleteTextures(GLsizei count, const GLuint* names) {
    if (count < 0 || !names) return;
    flush();
    for (GLsizei i = 0; i < count; ++i) {
        auto at = std::lower_bound(layer.completeTextures.begin(), layer.completeTextures.end(), names[i]);
        if (at != layer.completeTextures.end() && *at == names[i]) layer.completeTextures.erase(at);
        if (names[i] == layer.boundTexture) layer.boundTexture = 0;
        if (names[i] < layer.textureObjects.size() && layer.textureObjects[names[i]] != 0) {
            glDeleteTextures(1, &layer.textureObjects[names[i]]);
            layer.textureObjects[names[i]] = 0;
        }
    }
}

void gl11BindTexture(GLenum target, GLuint name) {
    if (target != GL_TEXTURE_2D) {
        setError(GL_INVALID_ENUM);
        return;
    }
    if (name == layer.boundTexture) return;
    flush();
    // As in GL 1.1, binding a name makes its texture object; a name the layer never handed out
    // binds none.
    GLuint object = 0;
    if (name < layer.textureObjects.size()) {
        if (layer.textureObjects[name] == 0) glGenTextures(1, &layer.textureObjects[name]);
        object = layer.textureObjects[name];
    }
    layer.boundTexture = name;
    glBindTexture(GL_TEXTURE_2D, object);
}

void gl11TexParameteri(GLenum target, GLenum name, GLint value) {
    flush();
    glTexParameteri(target, name, value);
}

void gl11PixelStorei(GLenum name, GLint value) {
    if (name == GL_UNPACK_ALIGNMENT && (value == 1 || value == 2 || value == 4 || value == 8))
        layer.unpackAlignment = value;
    glPixelStorei(name, value);
}

void gl11EnableClientState(GLenum array) {
    if (array == GL_VERTEX_ARRAY) layer.vertexArray.enabled = true;
}

void gl11DisableClientState(GLenum array) {
    if (array == GL_VERTEX_ARRAY) layer.vertexArray.enabled = false;
}

void gl11PushClientAttrib(GLbitfield mask) {
    if (layer.clientSaved) {
        setError(GL_STACK_OVERFLOW);
        return;
    }
    if (mask & GL_CLIENT_VERTEX_ARRAY_BIT) {
        layer.savedVertexArray = layer.vertexArray;
        layer.clientSaved = true;
    }
}

void gl11PopClientAttrib() {
    if (!layer.clientSaved) {
        setError(GL_STACK_UNDERFLOW);
        return;
    }
    layer.vertexArray = layer.savedVertexArray;
    layer.clientSaved = false;
}

void gl11VertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    if (size < 2 || size > 4 || stride < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    if (type != GL_FLOAT) {
        setError(GL_INVALID_ENUM);
        return;
    }
    layer.vertexArray.size = size;
    layer.vertexArray.type = type;
    layer.vertexArray.stride = stride;
    layer.vertexArray.pointer = pointer;
}

void gl11DrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    if (count < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    if (mode != GL_TRIANGLES && mode != GL_LINES) {
        setError(GL_INVALID_ENUM);
        return;
    }
    if (type != GL_UNSIGNED_INT && type != GL_UNSIGNED_SHORT && type != GL_UNSIGNED_BYTE) {
        setError(GL_INVALID_ENUM);
        return;
    }
    const VertexPointer& array = layer.vertexArray;
    if (!array.enabled || !array.pointer || !indices || count == 0) return;
    auto indexAt = [&](GLsizei i) -> uint32_t {
        if (type == GL_UNSIGNED_INT) return static_cast<const uint32_t*>(indices)[i];
        if (type == GL_UNSIGNED_SHORT) return static_cast<const uint16_t*>(indices)[i];
        return static_cast<const uint8_t*>(indices)[i];
    };
    // Each vertex is taken to clip space once, however many triangles share it.
    uint32_t highest = 0;
    for (GLsizei i = 0; i < count; ++i) highest = std::max(highest, indexAt(i));
    const size_t stride = array.stride ? static_cast<size_t>(array.stride) : sizeof(float) * array.size;
    const size_t vertices = static_cast<size_t>(highest) + 1;
    layer.transformed.resize(vertices * 4);
    const char* base = static_cast<const char*>(array.pointer);
    for (size_t v = 0; v < vertices; ++v) {
        float in[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        std::memcpy(in, base + v * stride, sizeof(float) * array.size);
        toClip(in, &layer.transformed[v * 4]);
    }
    FillVertex corner[3];
    for (FillVertex& c : corner) {
        for (int i = 0; i < 4; ++i) c.colour[i] = clamp01(layer.colour[i]);
        c.uv[0] = layer.uv[0];
        c.uv[1] = layer.uv[1];
    }
    const int corners = mode == GL_TRIANGLES ? 3 : 2;
    for (GLsizei i = 0; i + corners <= count; i += corners) {
        for (int c = 0; c < corners; ++c)
            std::memcpy(corner[c].position, &layer.transformed[static_cast<size_t>(indexAt(i + c)) * 4],
                        sizeof corner[c].position);
        if (corners == 3)
            addTriangle(corner[0], corner[1], corner[2]);
        else
            addLine(corner[0], corner[1]);
    }
}

void gl11Release() {
    if (layer.ready) {
        glDeleteProgram(layer.fill.name);
        glDeleteProgram(layer.plainFill.name);
        glDeleteProgram(layer.lines.name);
        glDeleteVertexArrays(1, &layer.fillArray);
        glDeleteVertexArrays(1, &layer.lineArray);
        glDeleteBuffers(1, &layer.fillBuffer);
        glDeleteTextures(1, &layer.lineTexture);
        glDeleteBuffers(1, &layer.lineCorners);
    }
    layer = Layer();
}

void gl11ContextRenewed() {
    const size_t names = layer.textureObjects.size();
    layer = Layer();
    layer.textureObjects.assign(names, 0);
}

unsigned gl11DrawCalls() { return layer.drawCalls; }

int gl11UnpackAlignment() { return layer.unpackAlignment; }

bool gl11LoadLevels(const std::vector<Gl11Level>& levels) {
    if (layer.boundTexture == 0 || levels.empty()) return false;
    flush();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (size_t i = 0; i < levels.size(); ++i)
        glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGB8, levels[i].width, levels[i].height, 0, GL_RGB,
                     GL_UNSIGNED_BYTE, levels[i].rgb.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, layer.unpackAlignment);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels.size() - 1));
    auto at = std::lower_bound(layer.completeTextures.begin(), layer.completeTextures.end(), layer.boundTexture);
    if (at == layer.completeTextures.end() || *at != layer.boundTexture)
        layer.completeTextures.insert(at, layer.boundTexture);
    return true;
}
