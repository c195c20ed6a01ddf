// cubes_bench.cpp -- prints the cubes scene's cost with the plain and the batched chain side by side
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ctime>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/timeline.h"
#include "cubes_kit.h"
#include "scenes/cubes.h"
#include "testkit.h"

namespace {

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
                         "  DIR holds data/ with the scene's files; without it a unit cube and\n"
                         "  plain pictures are written to a temporary directory\n");
            return 2;
        }
    }

    if (!data.empty()) data = std::filesystem::absolute(data).string();
    TempDir scratch;
    if (!data.empty()) {
        std::error_code error;
        std::filesystem::current_path(data, error);
        if (error) {
            std::fprintf(stderr, "cubes_bench: cannot enter %s\n", data.c_str());
            return 1;
        }
    } else {
        CubesKit::CubesFixture{{40, 40, 40}, {40, 40, 40}, {30, 30, 50}, {30, 30, 50}, {20, 30, 40},
                               {10, 150, 60}, {10, 0, 20}, CubesKit::cubeObjText(0.5f)}
            .write();
    }
    if (!startGl(1280, 720)) return 1;
    CubesScene::load();
    constantLevel(1.3);  // cube lines and level card half transparent

    std::printf("cubes scene at %dx%d, %s, median of %d frames, ms (wall clock, then processor time of all threads)\n",
                screenWidth, screenHeight, data.empty() ? "unit-cube fixture" : data.c_str(), frames);
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
        const CubesKit::FrameDifference apart = CubesKit::compareFrames(CubesKit::cubesFrame(progress, true),
                                                                        CubesKit::cubesFrame(progress, false), 12);
        std::printf("%8.2f | %9.2f %9.2f %5.1fx | %9.2f %9.2f %5.1fx | %9.2f %9.2f %5.1fx | %9.2f %9.2f | %d\n",
                    progress, sceneRef.wallMs, sceneFast.wallMs, sceneRef.wallMs / sceneFast.wallMs, chainRef.wallMs,
                    chainFast.wallMs, chainRef.wallMs / chainFast.wallMs, chainRef.cpuMs, chainFast.cpuMs,
                    chainRef.cpuMs / chainFast.cpuMs, chainRef.submitMs, chainFast.submitMs, apart.pixels);
    }
    return 0;
}
