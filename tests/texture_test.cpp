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

// A picture with detail everywhere, so damage anywhere in its data shows.
void writeNoisyJpeg(const std::string& path, int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    uint32_t state = 12345;
    for (uint8_t& byte : rgb) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    writeJpeg(path, width, height, rgb.data());
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

TEST(TextureLoad, MissingFileFailsAtTheHeader) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    expectFailure("data/none.jpg", "Error: Read params error!");
    expectFailure("data", "Error: Read params error!");  // a directory
    writeFile("data/empty.jpg", "");
    expectFailure("data/empty.jpg", "Error: Read params error!");
}

TEST(TextureLoad, TruncatedAndCorruptPicturesFail) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    writeNoisyJpeg("data/whole.jpg", 96, 80);
    const std::string whole = readBytes("data/whole.jpg");

    // Cut in the middle of the picture data: the library would hand back half a picture.
    writeFile("data/half.jpg", whole.substr(0, whole.size() / 2));
    expectFailure("data/half.jpg", "Image Load Error: Last error!");
    // Cut inside the header.
    writeFile("data/stub.jpg", whole.substr(0, 40));
    expectFailure("data/stub.jpg", "Error: Read params error!");
    // Picture data overwritten with bytes that are no valid code.
    const size_t scan = whole.find("\xff\xda");
    ASSERT_NE(scan, std::string::npos);
    std::string corrupt = whole;
    for (size_t i = scan + 40; i < corrupt.size() - 200; ++i) corrupt[i] = static_cast<char>(0xfe);
    writeFile("data/corrupt.jpg", corrupt);
    expectFailure("data/corrupt.jpg", "Image Load Error: Last error!");
    writeFile("data/text.jpg", "not a picture at all");
    expectFailure("data/text.jpg", "Error: Read params error!");
}

TEST(TextureLoad, SizesTheGlCannotTakeFailAtTheHeader) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    writeSolidJpeg("data/small.jpg", 16, 16, 10, 20, 30);
    const std::string small = readBytes("data/small.jpg");
    const size_t frame = small.find("\xff\xc0");
    ASSERT_NE(frame, std::string::npos);
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    // Header fields: marker, length, precision, then height and width, big-endian.
    auto withSize = [&](int width, int height) {
        std::string bytes = small;
        bytes[frame + 5] = static_cast<char>(height >> 8);
        bytes[frame + 6] = static_cast<char>(height & 0xff);
        bytes[frame + 7] = static_cast<char>(width >> 8);
        bytes[frame + 8] = static_cast<char>(width & 0xff);
        writeFile("data/sized.jpg", bytes);
        return "data/sized.jpg";
    };
    expectFailure(withSize(maxSide + 1, 16), "Error: Read params error!");
    expectFailure(withSize(16, maxSide + 1), "Error: Read params error!");
    expectFailure(withSize(65000, 65000), "Error: Read params error!");  // 4 gigapixels
    expectFailure(withSize(8200, 8200), "Error: Read params error!");    // just over 64 megapixels
}

TEST(TextureLoad, OddWidthPictureArrivesUprightPixelForPixel) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    // Smooth ramps survive JPEG and any rescaling nearly unchanged, while a sheared row
    // (wrong unpack alignment), a flipped picture or swapped channels miss by far.
    const int width = 333, height = 101;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / (width - 1));
            p[1] = static_cast<uint8_t>(y * 255 / (height - 1));
            p[2] = static_cast<uint8_t>(200 - x * 150 / (width - 1));
        }
    }
    writeJpeg("data/ramp.jpg", width, height, rgb.data());
    recordMessages();
    Texture texture;
    texture.load("data/ramp.jpg");
    ASSERT_NE(texture.name, 0u);
    EXPECT_TRUE(recordedMessages().empty());

    GLint texWidth = 0, texHeight = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &texWidth);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &texHeight);
    ASSERT_GT(texWidth, 0);
    ASSERT_GT(texHeight, 0);
    std::vector<uint8_t> texels(static_cast<size_t>(texWidth) * texHeight * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);

    // Texel rows run from the buffer's first row, which must be the picture's top row.
    int worst = 0;
    for (int ty = 0; ty < texHeight; ++ty) {
        for (int tx = 0; tx < texWidth; ++tx) {
            const int x = static_cast<int>((tx + 0.5) * width / texWidth);
            const int y = static_cast<int>((ty + 0.5) * height / texHeight);
            const uint8_t* want = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            const uint8_t* got = &texels[(static_cast<size_t>(ty) * texWidth + tx) * 3];
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(want[c] - got[c]));
        }
    }
    EXPECT_LE(worst, 8) << "level 0 is " << texWidth << "x" << texHeight;
}

TEST(TextureLoad, EachLoadMakesANewBoundTextureWithTheSettings) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    writeSolidJpeg("data/6a.jpg", 40, 30, 200, 100, 50);
    Texture first, second;
    first.load("data/6a.jpg");
    second.load("data/6a.jpg");
    EXPECT_NE(first.name, 0u);
    EXPECT_NE(second.name, 0u);
    EXPECT_NE(first.name, second.name);
    EXPECT_EQ(boundTexture(), static_cast<GLint>(second.name));
    const GLuint before = second.name;
    second.load("data/6a.jpg");
    EXPECT_NE(second.name, before);
    EXPECT_TRUE(glIsTexture(before));

    for (GLuint name : {first.name, second.name}) {
        glBindTexture(GL_TEXTURE_2D, name);
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
        EXPECT_EQ(value, GL_LINEAR_MIPMAP_LINEAR);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
        EXPECT_EQ(value, GL_LINEAR);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
        EXPECT_EQ(value, GL_CLAMP_TO_EDGE);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
        EXPECT_EQ(value, GL_CLAMP_TO_EDGE);
        // The whole mipmap chain is there, down to one texel.
        GLint level = 0, w = 0;
        do {
            glGetTexLevelParameteriv(GL_TEXTURE_2D, level++, GL_TEXTURE_WIDTH, &w);
        } while (w > 1 && level < 20);
        EXPECT_EQ(w, 1);
    }
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
