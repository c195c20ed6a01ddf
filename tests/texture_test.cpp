// texture_test.cpp -- JPEG files into textures: upright and unsheared pixels, the three failures, the settings left behind
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/message.h"
#include "assets/texture.h"
#include "testkit.h"

namespace {

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

GLint boundTexture() {
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    return bound;
}

// Loads path into a fresh Texture and expects exactly one message and no GL change.
void expectFailure(const char* path, const std::string& message) {
    recordMessages();
    GLuint other = 0;
    glGenTextures(1, &other);
    glBindTexture(GL_TEXTURE_2D, other);
    Texture texture;
    texture.load(path);
    EXPECT_EQ(texture.name, 0u) << path;
    EXPECT_EQ(recordedMessages(), std::vector<std::string>{message}) << path;
    EXPECT_EQ(boundTexture(), static_cast<GLint>(other)) << path;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace

TEST(TextureLoad, EachFailureShowsItsOneMessageAndLeavesGlAlone) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    const std::string header = "Error: Read params error!", picture = "Image Load Error: Last error!";
    expectFailure("data/none.jpg", header);
    expectFailure("data", header);  // a directory
    writeFile("data/text.jpg", "not a picture at all");
    expectFailure("data/text.jpg", header);

    // Noise, so damage anywhere in the picture data shows.
    std::vector<uint8_t> rgb(96 * 80 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    writeJpeg("data/whole.jpg", 96, 80, rgb.data());
    const std::string whole = readBytes("data/whole.jpg");
    writeFile("data/f.jpg", whole.substr(0, 40));
    expectFailure("data/f.jpg", header);
    // Cut in the picture data: the library would call it a warning and hand back half a picture.
    writeFile("data/f.jpg", whole.substr(0, whole.size() / 2));
    expectFailure("data/f.jpg", picture);
    const size_t scan = whole.find("\xff\xda");
    std::string corrupt = whole;
    for (size_t i = scan + 40; i < corrupt.size() - 200; ++i) corrupt[i] = static_cast<char>(0xfe);
    writeFile("data/f.jpg", corrupt);
    expectFailure("data/f.jpg", picture);

    // Sizes the GL cannot take, or absurd ones, are refused before any buffer is made.
    // Frame header: marker, length, precision, then height and width, big-endian.
    const size_t frame = whole.find("\xff\xc0");
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    for (auto [w, h] : {std::pair{maxSide + 1, 16}, {16, maxSide + 1}, {8200, 8200}, {65000, 65000}}) {
        std::string bytes = whole;
        const char size[4] = {char(h >> 8), char(h & 0xff), char(w >> 8), char(w & 0xff)};
        bytes.replace(frame + 5, 4, size, 4);
        writeFile("data/f.jpg", bytes);
        expectFailure("data/f.jpg", header);
    }
}

TEST(TextureLoad, OddWidthPictureArrivesUprightPixelForPixel) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    // Smooth ramps survive JPEG and GLU's rescaling nearly unchanged, while a sheared row
    // (wrong unpack alignment), a flipped picture or swapped channels miss by far.
    const int width = 333, height = 101;
    std::vector<uint8_t> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rgb.insert(rgb.end(), {uint8_t(x * 255 / (width - 1)), uint8_t(y * 255 / (height - 1)),
                                   uint8_t(200 - x * 150 / (width - 1))});
    writeJpeg("data/ramp.jpg", width, height, rgb.data());
    Texture texture;
    texture.load("data/ramp.jpg");
    ASSERT_NE(texture.name, 0u);

    GLint tw = 0, th = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &tw);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &th);
    std::vector<uint8_t> texels(static_cast<size_t>(tw) * th * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    // Texel row 0 comes from the buffer's first row, which must be the picture's top row.
    int worst = 0;
    for (int ty = 0; ty < th; ++ty) {
        for (int tx = 0; tx < tw; ++tx) {
            const int x = static_cast<int>((tx + 0.5) * width / tw), y = static_cast<int>((ty + 0.5) * height / th);
            const size_t want = (static_cast<size_t>(y) * width + x) * 3;
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(rgb[want + c] - texels[(static_cast<size_t>(ty) * tw + tx) * 3 + c]));
        }
    }
    EXPECT_LE(worst, 8) << "level 0 is " << tw << "x" << th;
}

TEST(TextureLoad, EachLoadMakesANewBoundTextureWithTheSettings) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    writeSolidJpeg("data/6a.jpg", 40, 30, 200, 100, 50);
    Texture first, second;
    first.load("data/6a.jpg");
    second.load("data/6a.jpg");
    EXPECT_NE(first.name, 0u);
    EXPECT_NE(first.name, second.name);
    EXPECT_EQ(boundTexture(), static_cast<GLint>(second.name));
    GLint value = 0;
    const std::pair<GLenum, GLint> settings[] = {{GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR},
                                                 {GL_TEXTURE_MAG_FILTER, GL_LINEAR},
                                                 {GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE},
                                                 {GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE}};
    for (GLuint name : {first.name, second.name}) {
        glBindTexture(GL_TEXTURE_2D, name);
        for (auto [setting, expected] : settings) {
            glGetTexParameteriv(GL_TEXTURE_2D, setting, &value);
            EXPECT_EQ(value, expected) << setting;
        }
        // The whole mipmap chain is there, or the minification filter would leave it blank.
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 5, GL_TEXTURE_WIDTH, &value);
        EXPECT_EQ(value, 1);
    }
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &value);
    EXPECT_EQ(value, 4);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
