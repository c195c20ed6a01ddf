// render_tool_test.cpp -- talumen-render from the outside: repeatable stills and frames, clean failures, where it reads its data
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "picture.h"
#include "testkit.h"

using std::filesystem::exists;

// Pixels of a PNG that are not black; -1 when it does not read, or is not 1280 x 720.
static long litPixels(const std::string& path) {
    const Picture picture = readPng(path);
    if (picture.width != 1280 || picture.height != 720) return -1;
    long lit = 0;
    for (int y = 0; y < 720; ++y)
        for (int x = 0; x < 1280; ++x) lit += picture.lit(x, y);
    return lit;
}

TEST(RenderTool, StillsOfOneInstantAreIdenticalAndMatchTheFrameOfARange) {
    TempDir dir;
    linkSharedData();
    // Every loud frame of the city draws a new camera path from the generator, reseeded on the
    // frame at 92500 ms, so the picture at 94 s depends on every frame before it.
    std::string err;
    ASSERT_EQ(renderTool("--level 5 --fps 10 --at 94000 a.png", &err), 0) << err;
    ASSERT_EQ(renderTool("--fps=10 --level=5 --at=94000 b.png", &err), 0) << err;
    const std::string a = readWhole("a.png");
    EXPECT_EQ(a, readWhole("b.png"));
    // Sky and black city both show: the still is drawn in full, not in the cheap frames' scissor box.
    const long lit = litPixels("a.png");
    EXPECT_TRUE(lit > 1280 * 720 / 10 && lit < 1280 * 720) << lit;
    // Frame 940 of a 10 fps run is 94000 ms: the same picture when every frame before it is drawn in full.
    ASSERT_EQ(renderTool("--level 5 --fps 10 --from 93800 --to 94000 frames/", &err), 0) << err;
    EXPECT_EQ(readWhole("frames/000002.png"), a);
    EXPECT_FALSE(exists("frames/000003.png"));
    // Several stills of one run: each the same as the still of its instant alone.
    ASSERT_EQ(renderTool("--level 5 --fps 10 --at 93000,94000 stills/", &err), 0) << err;
    EXPECT_EQ(readWhole("stills/094000.png"), a);
    EXPECT_TRUE(exists("stills/093000.png"));
}

TEST(RenderTool, FailuresAreOneClearLineAndLeaveNoOutput) {
    TempDir dir;
    std::string err;
    // The last one passes the command line and is refused once the GL says how large it draws.
    for (const char* args : {"--bogus x.png", "--size 0x0 --at 0 x.png", "--size 99999x99999 --at 0 x.png",
                             "--size 1281x720 --at 0 x.png", "--size 1280x721 --at 0 x.png", "--size 318x180 --at 0 x.png",
                             "--ssaa 9 --at 0 x.png", "--crf -1 x.mp4", "--crf 20 --at 0 x.png", "--lossless x.mp4",
                             "--lossless --crf 0 x.mkv", "--fps 0 --at 0 x.png", "x.gif", "--at 200000 x.png",
                             "--level loud --at 0 x.png", "x.png", "--at 5 x.mp4", "--from 9 --to 8 x.mkv",
                             "--at 0 x.png --data", "--data= --at 0 x.png", "--at 200,100 d/", "--at 100,110 d/",
                             "--at 0,100 x.png", "--seek 100 x.png", "--seek 100 --at 100 d/", "--bench-seek --seek 5",
                             "--bench-start --at 0 x.png",
                             "--level 1 --size 16384x9216 --ssaa 4 --at 0 x.png"}) {
        EXPECT_EQ(renderTool(args, &err), 2) << args;
        EXPECT_TRUE(err.rfind("talumen-render: ", 0) == 0 && err.find('\n') == err.size() - 1) << args << ": " << err;
        for (const auto& entry : std::filesystem::directory_iterator("."))
            EXPECT_TRUE(entry.path().filename() == "data" || entry.path().filename() == "tool.err")
                << args << " wrote " << entry.path();
    }
    // An unwritable output; no music without --level; no ffmpeg; an encoder that gives up half-way, its reason shown.
    std::filesystem::create_directory("bin");
    writeFile("bin/ffmpeg", "#!/bin/sh\nhead -c 1000 >/dev/null\necho 'encoder gave up' >&2\nexit 1\n");
    chmod("bin/ffmpeg", 0755);
    const struct {
        const char *args, *env, *output, *reason;
        bool oneLine;
    } failures[] = {{"--level 1 --at 0 missing/x.png", "", "missing/x.png", "cannot write \"missing/x.png\"", true},
                    {"--at 0 x.png", "", "x.png", "Music opening error", false},
                    {"--level 1 --to 100 x.mp4", "PATH=/nonexistent", "x.mp4", "ffmpeg", true},
                    {"--level 1 --fps 10 --to 1000 x.mkv", "PATH=$PWD/bin:$PATH", "x.mkv", "encoder gave up", false}};
    for (const auto& f : failures) {
        EXPECT_NE(renderTool(f.args, &err, f.env), 0) << f.args;
        EXPECT_NE(err.find(f.reason), std::string::npos) << f.args << ": " << err;
        EXPECT_TRUE(!f.oneLine || err.find('\n') == err.size() - 1) << f.args << ": " << err;
        EXPECT_FALSE(exists(f.output) || exists(std::string(f.output) + ".part")) << f.args;
    }
}

// Where the files are read from: a data/ in the working directory first, else the data installed
// beside the program (bin/../share/talumen/data), and --data DIR over both.
TEST(RenderTool, ReadsTheWorkingDirectorysDataTheInstalledDataOrTheFolderNamed) {
    TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directories("root/bin");
    fs::create_directories("root/share/talumen");
    fs::create_directory_symlink(sharedData(), "root/share/talumen/data");
    fs::copy_file(std::string(std::getenv("TALUMEN_BIN")) + "/tools/talumen-render", "root/bin/talumen-render");
    fs::create_directories("elsewhere/data");
    fs::create_directories("project/data");
    writeFile("project/data/talumen.ogg", "");
    const std::string still = "--level 5 --fps 10 --at 94000 ";
    const struct {
        const char *where, *args;
        bool loads;
    } cases[] = {
        {"elsewhere", "--data ../root/share/talumen/data", true},  // named: the working directory's data/ is passed over
        {"root", "", true},                                        // no data/ here: the installed one
        {"elsewhere", "", true},                                   // a data/ here without the track is not the demo's
        {"project", "", false},                                    // one with it comes first, however broken
        {"root", "--data elsewhere", false},                       // a folder without the files
    };
    std::string reference;
    for (const auto& c : cases) {
        const std::string command = "cd " + std::string(c.where) + " && '" + dir.path + "/root/bin/talumen-render' " +
                                    still + c.args + " '" + dir.path + "/out.png' >/dev/null 2>'" + dir.path + "/err'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        const std::string err = readWhole(dir.path + "/err");
        EXPECT_EQ(err.empty(), c.loads) << c.where << " " << c.args << ": " << err;
        const std::string png = readWhole(dir.path + "/out.png");
        if (reference.empty()) reference = png;
        EXPECT_EQ(png == reference, c.loads) << c.where << " " << c.args;
    }
    EXPECT_GT(litPixels("out.png"), 0);
}
