// cubes_bench.cpp -- prints the cubes scene's cost with the plain and the batched chain side by side
#include <GL/gl.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/allocator.h"
#include "base/globals.h"
#include "app/timeline.h"
#include "assets/data_path.h"
#include "audio/music.h"
#include "platform/egl_context.h"
#include "scenes/cubes.h"

namespace {

HeadlessGl gl;

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

// A size x size JPEG in four quarters: top-left, top-right, bottom-left, bottom-right.
bool writeQuarterJpeg(const char* path, int size, Rgb tl, Rgb tr, Rgb bl, Rgb br) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const Rgb c = y < size / 2 ? (x < size / 2 ? tl : tr) : (x < size / 2 ? bl : br);
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    }
    tjhandle handle = tjInitCompress();
    if (!handle) return false;
    unsigned char* jpeg = nullptr;
    unsigned long bytes = 0;
    const bool made = tjCompress2(handle, rgb.data(), size, 0, size, TJPF_RGB, &jpeg, &bytes, TJSAMP_444, 100, TJFLAG_ACCURATEDCT) == 0;
    if (made) std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(jpeg), static_cast<long>(bytes));
    tjFree(jpeg);
    tjDestroy(handle);
    return made;
}

// The scene's four files in folder: plain pictures (the level card's bottom-left quarter
// colours the cube lines) and a unit cube of 8 corners and 12 triangles.
bool writeFixture(const std::string& folder) {
    const Rgb grey{40, 40, 40}, blue{30, 30, 50}, card{20, 30, 40}, line{10, 150, 60}, last{10, 0, 20};
    std::ofstream cube(folder + "/cube.obj");
    for (int i = 0; i < 8; ++i)
        cube << "v " << ((i & 1) ? 0.5 : -0.5) << ' ' << ((i & 2) ? 0.5 : -0.5) << ' ' << ((i & 4) ? 0.5 : -0.5) << '\n';
    cube << "vt 0 0\nvn 0 0 1\n";
    const int faces[12][3] = {{1, 2, 4}, {1, 4, 3}, {5, 7, 8}, {5, 8, 6}, {1, 5, 6}, {1, 6, 2},
                              {3, 4, 8}, {3, 8, 7}, {1, 3, 7}, {1, 7, 5}, {2, 6, 8}, {2, 8, 4}};
    for (const auto& f : faces) cube << "f " << f[0] << "/1/1 " << f[1] << "/1/1 " << f[2] << "/1/1\n";
    cube.close();
    return cube.good() && writeQuarterJpeg((folder + "/3b.jpg").c_str(), 64, grey, grey, blue, blue) &&
           writeQuarterJpeg((folder + "/3a.jpg").c_str(), 32, card, card, line, card) &&
           writeQuarterJpeg((folder + "/adieu.jpg").c_str(), 32, last, last, last, last);
}

// The player's start at 1280x720: the display-mode globals, then smooth lines.
bool startGl() {
    screenWidth = 1280;
    screenHeight = viewportHeight = 720;
    if (!gl.create(screenWidth, screenHeight)) return false;
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    return true;
}

// One frame as the frame loop draws it with only this scene in it, read back.
std::vector<uint8_t> cubesFrame(float progress, bool reference) {
    drawFrame(-1);  // no row covers -1 ms: the frame is set up and cleared, and nothing drawn
    CubesScene::useReferenceChain = reference;
    CubesScene::render(progress);
    std::vector<uint8_t> pixels(static_cast<size_t>(gl.width) * gl.height * 4);
    gl.readPixels(pixels.data());
    return pixels;
}

// Pixels where some channel differs by more than tolerance.
int pixelsApart(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int tolerance) {
    int apart = 0;
    for (size_t i = 0; i < a.size(); i += 4)
        apart += std::max({std::abs(a[i] - b[i]), std::abs(a[i + 1] - b[i + 1]), std::abs(a[i + 2] - b[i + 2])}) > tolerance;
    return apart;
}

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Processor time of the whole process, the rasteriser's threads included: unlike the wall
// clock it does not grow when other programs share the two cores.
double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Processor time of this thread alone: the GL calls, vertex work and binning, without the
// rasteriser's threads.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Cost {
    double wallMs = 0.0;
    double cpuMs = 0.0;
    double submitMs = 0.0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One whole frame of the scene, finished by the rasteriser before the clocks stop.
Cost sceneCost(float progress) {
    drawFrame(-1);
    glFinish();
    const double cpu = processCpuMs();
    const Clock::time_point start = Clock::now();
    CubesScene::render(progress);
    glFinish();
    return Cost{millisecondsSince(start), processCpuMs() - cpu, 0.0};
}

// The chain alone, on the state the scene's earlier layers leave: blending, texturing, the
// card's alpha and texture coordinate, line width 1.
Cost chainCost(float progress) {
    drawFrame(-1);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1.0f, 1.0f, 1.0f, 0.5f);
    glTexCoord2f(0.0f, 1.0f);
    glLineWidth(1.0f);
    glFinish();
    const double cpu = processCpuMs();
    const double submit = threadCpuMs();
    const Clock::time_point start = Clock::now();
    CubesScene::drawChain(progress);
    glFinish();
    return Cost{millisecondsSince(start), processCpuMs() - cpu, threadCpuMs() - submit};
}

Cost medianOf(Cost (*measure)(float), float progress, bool reference, int frames) {
    CubesScene::useReferenceChain = reference;
    measure(progress);  // warm-up: shaders and caches for this path
    std::vector<double> wall, cpu, submit;
    for (int i = 0; i < frames; ++i) {
        const Cost cost = measure(progress);
        wall.push_back(cost.wallMs);
        cpu.push_back(cost.cpuMs);
        submit.push_back(cost.submitMs);
    }
    return Cost{median(wall), median(cpu), median(submit)};
}

}  // namespace

int main(int argc, char** argv) {
    tuneAllocator();
    int frames = 15;
    std::string data;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) {
            frames = std::max(1, std::atoi(argv[++i]));
        } else if (!std::strcmp(argv[i], "--data") && i + 1 < argc) {
            data = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: cubes_bench [--frames N] [--data DIR]\n"
                         "  DIR holds the scene's files (DIR/cube.obj, DIR/3a.jpg, ...) as talumen-data\n"
                         "  writes them; without it a unit cube and plain pictures are written to a\n"
                         "  temporary directory\n");
            return 2;
        }
    }

    std::string scratch;
    std::error_code error;
    const auto fail = [&](const std::string& what) {
        std::fprintf(stderr, "cubes_bench: %s\n", what.c_str());
        if (!scratch.empty()) std::filesystem::remove_all(scratch, error);
        return 1;
    };
    if (data.empty()) {
        char pattern[] = "/tmp/cubes-bench-XXXXXX";
        if (!mkdtemp(pattern)) return fail("cannot make a scratch directory");
        scratch = data = pattern;
        if (!writeFixture(scratch)) return fail("cannot write the fixture files");
    } else if (!std::filesystem::is_regular_file(data + "/cube.obj", error)) {
        // A folder without the scene's mesh would only give figures for a scene with nothing in it.
        return fail("no cube.obj in " + data + ": DIR is the folder that holds the demo's files");
    }
    setDataFolder(data);
    if (!startGl()) return fail("no headless GL context");
    CubesScene::load();
    music.levelSource = [] { return 1.3; };  // cube lines and level card half transparent

    std::printf("cubes scene at %dx%d, %s, median of %d frames, ms (wall clock, then processor time of all threads)\n",
                screenWidth, screenHeight, scratch.empty() ? data.c_str() : "unit-cube fixture", frames);
    std::printf("(chain cpu: all threads; of it, main: the calling thread, the rest is the rasteriser's)\n");
    std::printf("%8s | %9s %9s %6s | %9s %9s %6s | %9s %9s %6s | %9s %9s | %s\n", "progress", "scene ref", "fast",
                "ratio", "chain ref", "fast", "ratio", "chain cpu", "fast", "ratio", "main ref", "fast",
                "pixels off by >12");
    for (float progress : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
        const Cost sceneRef = medianOf(sceneCost, progress, true, frames);
        const Cost sceneFast = medianOf(sceneCost, progress, false, frames);
        const Cost chainRef = medianOf(chainCost, progress, true, frames);
        const Cost chainFast = medianOf(chainCost, progress, false, frames);
        // The same frame both ways: how far apart the two chains' pictures are.
        const int apart = pixelsApart(cubesFrame(progress, true), cubesFrame(progress, false), 12);
        std::printf("%8.2f | %9.2f %9.2f %5.1fx | %9.2f %9.2f %5.1fx | %9.2f %9.2f %5.1fx | %9.2f %9.2f | %d\n",
                    progress, sceneRef.wallMs, sceneFast.wallMs, sceneRef.wallMs / sceneFast.wallMs, chainRef.wallMs,
                    chainFast.wallMs, chainRef.wallMs / chainFast.wallMs, chainRef.cpuMs, chainFast.cpuMs,
                    chainRef.cpuMs / chainFast.cpuMs, chainRef.submitMs, chainFast.submitMs, apart);
    }
    if (!scratch.empty()) std::filesystem::remove_all(scratch, error);
    return 0;
}
