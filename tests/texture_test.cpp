// texture_test.cpp -- JPEG files into textures: upright and unsheared pixels, the three failures, the settings left behind
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "assets/texture.h"
#include "testkit.h"

TEST(TextureLoad, FailuresLeaveGlAloneAndAnOddWidthPictureArrivesUprightTwice) {
    TempDir dir;
    ASSERT_TRUE(startGl(64, 64));
    // Smooth ramps survive JPEG and rescaling; a sheared row, a flip or swapped channels do not.
    const int width = 333, height = 101;
    std::vector<uint8_t> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rgb.insert(rgb.end(), {uint8_t(x * 255 / (width - 1)), uint8_t(y * 255 / (height - 1)), uint8_t(200 - x * 150 / (width - 1))});
    writeJpeg("data/ramp.jpg", width, height, rgb.data());
    const std::string whole = readWhole("data/ramp.jpg");
    std::string corrupt = whole;
    std::fill(corrupt.begin() + whole.find("\xff\xda") + 40, corrupt.end() - 200, '\xfe');
    GLuint other = 0;
    GLint value = 0, tw = 0, th = 0;
    glGenTextures(1, &other);
    glBindTexture(GL_TEXTURE_2D, other);
    // Their messages are the hostile-data test's to check.
    recordMessages();
    for (const std::string& bytes : {std::string(), whole.substr(0, whole.size() / 2), corrupt}) {
        if (!bytes.empty()) writeFile("data/f.jpg", bytes);  // none, first: the file is missing
        Texture texture;
        texture.load("data/f.jpg");
        EXPECT_EQ(texture.name, 0u) << bytes.size();
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
        EXPECT_EQ(value, static_cast<GLint>(other)) << "no GL call on a failure";
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    Texture first, second;
    first.load("data/ramp.jpg");
    second.load("data/ramp.jpg");
    ASSERT_NE(first.name, 0u);
    EXPECT_NE(first.name, second.name);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(value, static_cast<GLint>(second.name));
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &value);
    EXPECT_EQ(value, 4);
    for (auto [setting, expected] : {std::pair<GLenum, GLint>{GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR},
             {GL_TEXTURE_MAG_FILTER, GL_LINEAR}, {GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE}, {GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE}}) {
        glGetTexParameteriv(GL_TEXTURE_2D, setting, &value);
        EXPECT_EQ(value, expected) << setting;
    }
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &tw);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &th);
    std::vector<uint8_t> texels(static_cast<size_t>(tw) * th * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    // Texel row 0 comes from the buffer's first row, which must be the picture's top row.
    int worst = 0;
    for (int t = 0; t < tw * th; ++t) {
        const size_t want = (size_t((t / tw + 0.5) * height / th) * width + size_t((t % tw + 0.5) * width / tw)) * 3;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(rgb[want + c] - texels[size_t(t) * 3 + c]));
    }
    EXPECT_LE(worst, 8) << "level 0 is " << tw << "x" << th;
}
