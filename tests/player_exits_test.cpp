// player_exits_test.cpp -- the real player's ways out during loading and in the loop, on hostile data, and in a read-only project
#include "player_kit.h"

#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "snapshot.h"

namespace {

namespace fs = std::filesystem;

// The messages of a run, from the player's stderr (a server without fonts shows no box).
std::vector<std::string> messageLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("Error: ", 0) == 0 || line.rfind("App: ", 0) == 0 || line.rfind("Image Load Error: ", 0) == 0)
            lines.push_back(line);
    return lines;
}

// What the scenes' load steps say, in load order, when every file is missing.
std::vector<std::string> everyLoadFails() {
    std::vector<std::string> messages(8, "Error: Read params error!");
    messages.insert(messages.end(), 2, "App: Error opening .obj file");
    messages.insert(messages.end(), 3, "Error: Read params error!");
    messages.push_back("App: Error opening .obj file");
    messages.insert(messages.end(), 3, "Error: Read params error!");
    messages.insert(messages.end(), 2, "App: Error opening .obj file");
    messages.insert(messages.end(), 3, "Error: Read params error!");
    messages.push_back("App: Error opening .obj file");
    messages.push_back("Error: Read params error!");
    return messages;
}

// True once the process holds the file open; polled often, so a load that lasts a
// fraction of a second is still caught while it runs.
bool waitUntilReading(pid_t pid, const std::string& file, double seconds) {
    const fs::path wanted = fs::absolute(file);
    const auto start = Clock::now();
    while (secondsSince(start) < seconds) {
        std::error_code error;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
            if (fs::read_symlink(fd.path(), error) == wanted) return true;
        pause(0.002);
    }
    return false;
}

struct PlayerExit : PlayerRun {
    // The window is up, then loading runs: a million-face tree, the last mesh loaded,
    // keeps it busy long enough to be caught at it.
    void stopDuringLoading(const std::function<void(Window)>& stop) {
        writeFixtureData(true);
        std::string tree = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n";
        for (int i = 0; i < 1000000; ++i) tree += "f 1/1/1 2/2/1 3/3/1\n";
        writeFile("data/tree.obj", tree);
        ASSERT_TRUE(server.start(1024, 768)) << "Xvfb did not start";
        player.start(server);
        const Window demo = runDemo("Return");
        ASSERT_NE(demo, 0u);
        ASSERT_TRUE(waitUntilReading(player.pid, "data/tree.obj", windowWait)) << "loading was not caught";
        stop(demo);
        // Loading goes on to its end; the loop's first test then leaves.
        ASSERT_TRUE(player.waitExit(exitWait + 60)) << "the player did not end";
        EXPECT_EQ(player.exitCode(), 0) << readText(player.errors);
        EXPECT_EQ(server.findWindow("Demo"), 0u);
        EXPECT_EQ(messageLines(readText(player.errors)), std::vector<std::string>{}) << readText(player.errors);
    }
};

TEST_F(PlayerExit, SigintDuringLoading) {
    stopDuringLoading([&](Window) { kill(player.pid, SIGINT); });
}

TEST_F(PlayerExit, SigtermDuringLoading) {
    stopDuringLoading([&](Window) { kill(player.pid, SIGTERM); });
}

TEST_F(PlayerExit, EscapeDuringLoading) {
    stopDuringLoading([&](Window) { server.keys("key Escape"); });
}

TEST_F(PlayerExit, CloseDuringLoading) {
    stopDuringLoading([&](Window demo) { server.requestClose(demo); });
}

TEST_F(PlayerExit, SigintInTheFrameLoop) {
    startAt(1024, 768);
    ASSERT_NE(runDemo("Return"), 0u);
    pause(1.0);
    kill(player.pid, SIGINT);
    expectCleanExit();
    EXPECT_EQ(server.findWindow("Demo"), 0u);
}

// Hostile data through the player: every message on stderr in load order, then the
// demo plays on, or without its music ends, with exit code 0 and the window gone.
struct PlayerWithoutData : PlayerRun {
    void run(bool dataIsAFile) {
        fs::remove_all("data");
        if (dataIsAFile) writeFile("data", "not a directory");
        ASSERT_TRUE(server.start(1024, 768, false)) << "Xvfb did not start";
        player.start(server);
        ASSERT_NE(dialog(), 0u);
        server.keys("key Return");
        ASSERT_TRUE(player.waitExit(windowWait)) << "the player did not end";
        EXPECT_EQ(player.exitCode(), 0);
        EXPECT_EQ(server.findWindow("Demo"), 0u);
        std::vector<std::string> expected = everyLoadFails();
        expected.push_back("Error: Music opening error");
        EXPECT_EQ(messageLines(readText(player.errors)), expected) << readText(player.errors);
    }
};

TEST_F(PlayerWithoutData, EveryDataFileMissing) { run(false); }

TEST_F(PlayerWithoutData, DataIsAFile) { run(true); }

TEST_F(PlayerExit, DamagedPicturesAndMeshesPlayOn) {
    writeFixtureData(true);
    // A noisy picture, so that most of its bytes are the picture and half of it is cut from there.
    std::vector<uint8_t> rgb(64 * 64 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    writeJpeg("noisy.jpg", 64, 64, rgb.data());
    const std::string jpeg = readText("noisy.jpg");
    writeFile("data/norvi.jpg", "");
    writeFile("data/talumen.jpg", jpeg.substr(0, jpeg.size() / 2));
    writeFile("data/3a.jpg", "\x89PNG\r\n\x1a\n garbage");
    writeFile("data/star1.obj", std::string(4096, '\0'));
    writeFile("data/cube.obj", "v 0 0 0\nf 0/0/0 -1/-1/-1 9/9/9\n");
    writeFile("data/city.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/1/1 2/2/1 3/3/1\n");
    ASSERT_TRUE(server.start(1024, 768, false)) << "Xvfb did not start";
    player.start(server);
    ASSERT_NE(runDemo("Return"), 0u);
    pause(3.0);
    ASSERT_EQ(player.waitExit(0), false) << "the player ended by itself: " << readText(player.errors);
    server.keys("key Escape");
    expectCleanExit();
    EXPECT_EQ(server.findWindow("Demo"), 0u);
    const std::vector<std::string> expected = {"Error: Read params error!", "Image Load Error: Last error!",
                                               "Error: Read params error!"};
    EXPECT_EQ(messageLines(readText(player.errors)), expected) << readText(player.errors);
}

// The player in a project it may not write to: as root the permission bits would not
// stop a write, so the whole tree is compared before and after the run instead.
TEST_F(PlayerExit, WritesNothingInAReadOnlyProject) {
    writeFixtureData(true);
    fs::create_directory("home");
    fs::create_directory("tmp");
    char errors[] = "/tmp/talumen-player-errors-XXXXXX";
    const int fd = mkstemp(errors);
    ASSERT_GE(fd, 0);
    close(fd);
    player.errors = errors;
    const std::string root = fs::current_path().string();
    ASSERT_EQ(std::system("chmod -R a-w ."), 0);
    const TreeSnapshot before = snapshotTree(root);

    ASSERT_TRUE(server.start(1024, 768)) << "Xvfb did not start";
    player.start(server, {"HOME=" + root + "/home", "TMPDIR=" + root + "/tmp", "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=",
                          "XDG_DATA_HOME=", "XDG_STATE_HOME="});
    ASSERT_NE(runDemo("Return"), 0u);
    pause(3.0);
    server.keys("key Escape");
    expectCleanExit();

    EXPECT_EQ(snapshotDifferences(before, snapshotTree(root)), "") << "the player wrote into its project";
    EXPECT_EQ(messageLines(readText(player.errors)), std::vector<std::string>{}) << readText(player.errors);
    std::system("chmod -R u+w .");
    fs::remove(errors);
}

}  // namespace
