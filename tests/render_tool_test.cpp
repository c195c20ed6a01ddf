// render_tool_test.cpp -- talumen-render from the outside: repeatable stills, frames, video with sound, clean failures
#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "testkit.h"

struct ToolRun {
    int code = -1;
    std::string out;
    std::string err;
};

static std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

static bool exists(const std::string& path) { return std::filesystem::exists(path); }

// Runs talumen-render in the working directory (a TempDir) with args, prefixed by env settings.
static ToolRun renderTool(const std::string& args, const std::string& env = "") {
    const char* bin = std::getenv("TALUMEN_BIN");
    const std::string tool = std::string(bin ? bin : ".") + "/tools/talumen-render";
    const std::string command = env + " '" + tool + "' " + args + " >tool.out 2>tool.err";
    ToolRun run;
    const int status = std::system(command.c_str());
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readAll("tool.out");
    run.err = readAll("tool.err");
    return run;
}

static int lineCount(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

struct Png {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBB, top row first
};

static Png readPng(const std::string& path) {
    Png png;
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        png.width = cairo_image_surface_get_width(surface);
        png.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < png.height; ++y)
            for (int x = 0; x < png.width; ++x)
                png.pixels.push_back(reinterpret_cast<const uint32_t*>(data + y * stride)[x] & 0xFFFFFFu);
    }
    cairo_surface_destroy(surface);
    return png;
}

// Rows first..last (from the top) that hold anything but black.
static int litPixels(const Png& png, int firstRow, int lastRow) {
    int lit = 0;
    for (int y = firstRow; y <= lastRow; ++y)
        for (int x = 0; x < png.width; ++x) lit += png.pixels[static_cast<size_t>(y) * png.width + x] != 0;
    return lit;
}

// A short tone as the music track, so no media of anyone else's is needed.
static void writeToneTrack(double seconds) {
    const std::string command = "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" +
                                std::to_string(seconds) + " -ac 2 -c:a libvorbis data/talumen.ogg";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

// A city the camera can see: one black box on a grey backdrop, with a dark card over it.
static void writeCityFixtures() {
    writeSolidJpeg("data/6a.jpg", 64, 64, 120, 120, 120);
    writeSolidJpeg("data/7c.jpg", 64, 64, 0, 0, 0);
    writeSolidJpeg("data/forever.jpg", 64, 64, 0, 0, 0);
    std::string box = "vt 0 0\nvt 1 0\nvt 1 1\n";
    for (int i = 0; i < 8; ++i)
        box += "v " + std::to_string(i & 1 ? 6 : -6) + " " + std::to_string(i & 2 ? 12 : 0) + " " +
               std::to_string(i & 4 ? 6 : -6) + "\n";
    const int faces[12][3] = {{1, 2, 4}, {1, 4, 3}, {5, 6, 8}, {5, 8, 7}, {1, 2, 6}, {1, 6, 5},
                              {3, 4, 8}, {3, 8, 7}, {1, 3, 7}, {1, 7, 5}, {2, 4, 8}, {2, 8, 6}};
    for (const auto& f : faces)
        box += "f " + std::to_string(f[0]) + "/1/1 " + std::to_string(f[1]) + "/2/1 " + std::to_string(f[2]) + "/3/1\n";
    writeFile("data/city.obj", box);
    writeFile("data/island.obj", box);
}

TEST(RenderTool, StillsOfOneInstantAreIdenticalAndMatchTheFrameOfARange) {
    TempDir dir;
    writeCityFixtures();
    // Every loud frame of the city draws a new camera path from the generator, reseeded on the
    // frame at 92500 ms, so the picture at 94 s depends on every frame before it.
    ToolRun run = renderTool("--level 5 --fps 10 --at 94000 a.png");
    ASSERT_EQ(run.code, 0) << run.err;
    run = renderTool("--fps=10 --level=5 --at=94000 b.png");
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string a = readAll("a.png");
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, readAll("b.png"));
    EXPECT_FALSE(exists("a.png.part"));

    const Png still = readPng("a.png");
    ASSERT_EQ(still.width, 1280);
    ASSERT_EQ(still.height, 720);
    // Grey backdrop and black city both show: the still is drawn in full, not in the
    // scissor box the earlier frames used.
    EXPECT_GT(litPixels(still, 0, 719), 1280 * 720 / 10);
    EXPECT_LT(litPixels(still, 0, 719), 1280 * 720);

    // Frame 940 of a 10 fps run is 94000 ms: the numbered frames of a range, drawn in full,
    // show the same picture as a still made after cheap frames.
    run = renderTool("--level 5 --fps 10 --from 93800 --to 94000 frames/");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(exists("frames/000000.png"));
    EXPECT_TRUE(exists("frames/000001.png"));
    EXPECT_FALSE(exists("frames/000003.png"));
    EXPECT_EQ(readAll("frames/000002.png"), a);

    // Another frame rate is another history of camera jumps, hence another picture.
    run = renderTool("--level 5 --fps 20 --at 94000 c.png");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(readAll("c.png"), a);
}

TEST(RenderTool, StillsShowTheWholeScreenWithBandsAndTheGapIsBlack) {
    TempDir dir;
    // The missing pictures and meshes are reported on stderr; the scenes still draw their cards.
    ToolRun run = renderTool("--size 1024x768 --level 5 --at 1000 band.png");
    ASSERT_EQ(run.code, 0) << run.err;
    const Png band = readPng("band.png");
    ASSERT_EQ(band.width, 1024);
    ASSERT_EQ(band.height, 768);
    EXPECT_EQ(litPixels(band, 0, 95), 0);
    EXPECT_GT(litPixels(band, 96, 96), 0);
    EXPECT_GT(litPixels(band, 671, 671), 0);
    EXPECT_EQ(litPixels(band, 672, 767), 0);

    run = renderTool("--fps 5 --level 5 --at 149800 gap.png");
    ASSERT_EQ(run.code, 0) << run.err;
    const Png gap = readPng("gap.png");
    ASSERT_EQ(gap.width, 1280);
    EXPECT_EQ(litPixels(gap, 0, 719), 0);
}

TEST(RenderTool, VideoHasTheRangesFramesAndTheMusic) {
    TempDir dir;
    writeToneTrack(3.0);
    ToolRun run = renderTool("--fps 10 --from 1000 --to 1500 clip.mp4");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_FALSE(exists("clip.mp4.part"));
    const std::string probe = "ffprobe -v error -count_frames -show_entries stream=codec_type,codec_name,nb_read_frames"
                              " -of csv=p=0 clip.mp4 >probe.txt";
    ASSERT_EQ(std::system(probe.c_str()), 0);
    const std::string streams = readAll("probe.txt");
    // 1000, 1100, ..., 1500 ms: both ends of the range are frames.
    EXPECT_NE(streams.find("h264,video,6"), std::string::npos) << streams;
    EXPECT_NE(streams.find("aac,audio"), std::string::npos) << streams;
}

TEST(RenderTool, FailuresAreOneLineAndLeaveNoOutput) {
    TempDir dir;
    ToolRun run = renderTool("--help");
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.out.find("usage: talumen-render"), std::string::npos);

    for (const char* args : {"--bogus x.png", "--size 800x600 --at 0 x.png", "--fps 0 --at 0 x.png",
                             "--at 200000 x.png", "--level loud --at 0 x.png", "x.png", "--at 5 x.mp4",
                             "--from 9 --to 8 x.mkv", "--bench x.png", "x.gif"}) {
        run = renderTool(args);
        EXPECT_EQ(run.code, 2) << args;
        EXPECT_EQ(lineCount(run.err), 1) << args << ": " << run.err;
        EXPECT_EQ(run.err.rfind("talumen-render: ", 0), 0u) << run.err;
    }

    run = renderTool("--level 1 --at 0 missing/x.png");
    EXPECT_NE(run.code, 0);
    EXPECT_NE(run.err.find("cannot write \"missing/x.png\""), std::string::npos) << run.err;

    // Without --level the music is needed: its message, then a non-zero exit and no still.
    run = renderTool("--at 0 x.png");
    EXPECT_NE(run.code, 0);
    EXPECT_NE(run.err.find("Music opening error"), std::string::npos) << run.err;
    EXPECT_FALSE(exists("x.png"));
    EXPECT_FALSE(exists("x.png.part"));

    run = renderTool("--level 1 --to 100 x.mp4", "PATH=/nonexistent");
    EXPECT_NE(run.code, 0);
    EXPECT_EQ(lineCount(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("ffmpeg"), std::string::npos);
    EXPECT_FALSE(exists("x.mp4"));
    EXPECT_FALSE(exists("x.mp4.part"));

    // An encoder that gives up half-way: its reason is shown and nothing is left behind.
    std::filesystem::create_directory("bin");
    writeFile("bin/ffmpeg", "#!/bin/sh\nhead -c 1000 >/dev/null\necho 'encoder gave up' >&2\nexit 1\n");
    chmod("bin/ffmpeg", 0755);
    run = renderTool("--level 1 --fps 10 --to 1000 x.mkv", "PATH=\"$PWD/bin:$PATH\"");
    EXPECT_NE(run.code, 0);
    EXPECT_NE(run.err.find("encoder gave up"), std::string::npos) << run.err;
    EXPECT_FALSE(exists("x.mkv"));
    EXPECT_FALSE(exists("x.mkv.part"));
}

// The frame count in the --bench row of that name; -1 when there is no such row.
static int benchFrames(const std::string& table, const std::string& name) {
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string first;
        int frames = -1;
        if (fields >> first >> frames && first == name) return frames;
    }
    return -1;
}

TEST(RenderTool, BenchCountsEveryFrameOfTheSequenceOnceByScene) {
    TempDir dir;
    const ToolRun run = renderTool("--bench --fps 1 --level 1");
    ASSERT_EQ(run.code, 0) << run.err;
    // One frame a second, 0 to 156 s; a frame two scenes share counts for the one ending.
    const std::pair<const char*, int> rows[] = {{"opening", 57}, {"cubes", 36}, {"city", 29},
                                                {"tree", 28},    {"credits", 7}, {"whole", 157}};
    for (const auto& [name, frames] : rows) EXPECT_EQ(benchFrames(run.out, name), frames) << name << "\n" << run.out;
    EXPECT_EQ(run.out.find("(none)"), std::string::npos);
}
