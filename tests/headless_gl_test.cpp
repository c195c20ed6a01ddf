// headless_gl_test.cpp -- which EGL platform headless GL comes up on, and that the device platform draws
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/egl_context.h"

// Surfaceless first where the EGL has it; the device platform where it does not (NVIDIA's
// EGL), or where it is asked for; nothing to try when neither is there.
TEST(HeadlessGl, PicksSurfacelessFirstAndTheDevicePlatformWithoutIt) {
    using P = EglPlatform;
    const char* mesa = "EGL_EXT_device_base EGL_EXT_device_enumeration EGL_EXT_platform_device "
                       "EGL_MESA_platform_surfaceless EGL_EXT_platform_base";
    const char* nvidia = "EGL_EXT_platform_base EGL_EXT_device_base EGL_EXT_platform_device EGL_KHR_platform_x11";
    const struct {
        const char* extensions;
        const char* wanted;
        int count;
        P first, second;
    } cases[] = {
        {mesa, nullptr, 2, P::surfaceless, P::device},
        {mesa, "device", 1, P::device, P::none},
        {mesa, "surfaceless", 1, P::surfaceless, P::none},
        {nvidia, nullptr, 1, P::device, P::none},
        {nvidia, "surfaceless", 0, P::none, P::none},
        // A name that only starts like the extension's is not it.
        {"EGL_MESA_platform_surfaceless_x EGL_EXT_platform_device_y", nullptr, 0, P::none, P::none},
        {nullptr, nullptr, 1, P::surfaceless, P::none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extensions ? c.extensions : "(none)");
        EglPlatform order[2] = {};
        int count = -1;
        eglPlatformOrder(c.extensions, c.wanted, order, count);
        ASSERT_EQ(count, c.count);
        EXPECT_TRUE(count < 1 || order[0] == c.first);
        EXPECT_TRUE(count < 2 || order[1] == c.second);
    }
}

// Mesa lists its software rasteriser as an EGL device too, so the path a GPU machine takes
// is drawn here: a context on each platform clears to the colour asked for.
TEST(HeadlessGl, ComesUpOnEitherPlatform) {
    for (const char* wanted : {"surfaceless", "device"}) {
        SCOPED_TRACE(wanted);
        setenv("TALUMEN_EGL_PLATFORM", wanted, 1);
        HeadlessGl gl;
        ASSERT_TRUE(gl.create(64, 36));
        EXPECT_EQ(gl.platform, std::string(wanted) == "device" ? EglPlatform::device : EglPlatform::surfaceless);
        EXPECT_GE(gl.largestSide, 3840);
        glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        uint8_t pixels[64 * 36 * 4] = {};
        gl.readPixels(pixels);
        EXPECT_EQ(pixels[0], 0);
        EXPECT_EQ(pixels[1], 255);
        gl.destroy();
    }
    unsetenv("TALUMEN_EGL_PLATFORM");
}
