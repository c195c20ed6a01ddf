// capture_test.cpp -- talumen-render's captures on the generator's data: other sizes, supersampling, quick stills, seeks, lossless and default video, a chained track's sound
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "audio/music.h"
#include "ogg_fixture.h"
#include "picture.h"
#include "testkit.h"

namespace fs = std::filesystem;

// At other sizes the 1280x720 picture is fitted whole, black bars around it, and scaled: its
// lines and overlays grow with it, so scaled back down it is close to the 1280x720 still.
// Supersampling keeps the size and the picture and smooths the edges.
TEST(Capture, OtherSizesAndSupersamplingShowThe720pPictureScaled) {
    TempDir dir;
    linkSharedData();
    // The city: silhouettes and island lines under a sky that fills the frame. (Where thousands
    // of one-pixel lines cross, as among the cubes, their smoothing differs too much between
    // sizes for a PSNR to say much.)
    const std::string instant = "--level 2 --fps 10 --at 100000 ";
    ASSERT_EQ(renderTool(instant + "ref.png"), 0) << readWhole("tool.err");
    const Picture reference = readPng("ref.png");
    ASSERT_EQ(reference.width, 1280);
    const struct {
        const char* args;
        int width, height, x, y, w, h;
    } sizes[] = {
        {"--size 1920x1080", 1920, 1080, 0, 0, 1920, 1080},   {"--size 3840x2160", 3840, 2160, 0, 0, 3840, 2160},
        {"--size 2560x1080", 2560, 1080, 320, 0, 1920, 1080}, {"--size 1080x1920", 1080, 1920, 0, 656, 1080, 608},
        {"--ssaa 2", 1280, 720, 0, 0, 1280, 720},
    };
    for (const auto& s : sizes) {
        SCOPED_TRACE(s.args);
        ASSERT_EQ(renderTool(instant + s.args + " big.png"), 0) << readWhole("tool.err");
        const Picture big = readPng("big.png");
        ASSERT_EQ(big.width, s.width);
        ASSERT_EQ(big.height, s.height);
        long litOutside = 0;
        for (int y = 0; y < big.height; ++y)
            for (int x = 0; x < big.width; ++x)
                if (x < s.x || x >= s.x + s.w || y < s.y || y >= s.y + s.h) litOutside += big.lit(x, y);
        EXPECT_EQ(litOutside, 0);
        // The sky reaches the top, left and right edges of the area (the city stands black at the bottom).
        long top = 0, left = 0, right = 0;
        for (int x = s.x; x < s.x + s.w; ++x) top += big.lit(x, s.y);
        for (int y = s.y; y < s.y + s.h; ++y) left += big.lit(s.x, y), right += big.lit(s.x + s.w - 1, y);
        EXPECT_GT(top, s.w / 2);
        EXPECT_GT(left, s.h / 4);
        EXPECT_GT(right, s.h / 4);
        const std::string scale = "ffmpeg -v error -y -i big.png -vf crop=" + std::to_string(s.w) + ":" +
                                  std::to_string(s.h) + ":" + std::to_string(s.x) + ":" + std::to_string(s.y) +
                                  ",scale=1280:720:flags=area small.png";
        ASSERT_EQ(std::system(scale.c_str()), 0);
        const double db = psnr(readPng("small.png"), reference);
        EXPECT_GE(db, 30.0);
        if (s.width == 1280) {
            EXPECT_NE(big.rgb, reference.rgb) << "supersampling changed nothing";
        }
    }
}

// A still's catch-up runs the frames before it without drawing them; drawing them all must
// give the same pictures, byte for byte, wherever the state they carry matters: the cubes'
// modelview at the city's first frame, the city's camera and generator, the tree's latches
// and line widths. A seek lands on the state a run from 0 has at its frame, whatever state it
// leaves: first from the start-up state, then back from the city's line width to the star's,
// late, across the cubes' hand-over to the city, forward and back; each frame is the still of
// its instant.
TEST(Capture, QuickStillsAndSeeksLandOnTheFramesOfAFullyDrawnRun) {
    TempDir dir;
    linkSharedData();
    const std::string late = "--fps 10 --at 92500,121000,148000 ";
    ASSERT_EQ(renderTool(late + "quick/"), 0) << readWhole("tool.err");
    ASSERT_EQ(renderTool(late + "drawn/", nullptr, "TALUMEN_RENDER_CATCH_UP=drawn"), 0) << readWhole("tool.err");
    ASSERT_EQ(renderTool("--seek 150000,100010,20000,140000,92500,60000,121000,92000 seeks/"), 0) << readWhole("tool.err");
    ASSERT_EQ(renderTool("--at 20000,60000,92000,92500,100016,121000,140000,150000 stills/"), 0) << readWhole("tool.err");
    int compared = 0;
    for (const auto& [expected, got] : {std::pair{"drawn", "quick"}, {"stills", "seeks"}})
        for (const auto& still : fs::directory_iterator(expected)) {
            const std::string name = still.path().filename().string(), want = readWhole(still.path().string());
            EXPECT_TRUE(!want.empty() && readWhole(got + ("/" + name)) == want) << got << " " << name;
            ++compared;
        }
    EXPECT_EQ(compared, 11);
}

// --lossless decodes to exactly the frames drawn, with FFV1 and FLAC; the default export, H.264
// and AAC, has every frame of the range, both ends included, within 40 dB of them on the cubes'
// fine lines.
TEST(Capture, LosslessVideoHoldsTheFramesAndTheDefaultStaysClose) {
    TempDir dir;
    linkSharedData();
    const std::string range = "--fps 10 --from 60000 --to 61000 ";
    ASSERT_EQ(renderTool(range + "frames/"), 0) << readWhole("tool.err");
    ASSERT_EQ(renderTool(range + "--lossless archive.mkv"), 0) << readWhole("tool.err");
    ASSERT_EQ(renderTool(range + "share.mp4"), 0) << readWhole("tool.err");
    for (const auto& [video, streams] : {std::pair{"archive.mkv", "ffv1,video,11\nflac,audio,"}, {"share.mp4", "h264,video,11\naac,audio,"}}) {
        ASSERT_EQ(std::system(("ffprobe -v error -count_frames -show_entries stream=codec_name,codec_type,nb_read_frames -of csv=p=0 " +
                               std::string(video) + " >probe.txt").c_str()), 0);
        EXPECT_EQ(readWhole("probe.txt").rfind(streams, 0), 0u) << readWhole("probe.txt");
    }
    ASSERT_EQ(std::system("ffmpeg -v error -i archive.mkv -f rawvideo -pix_fmt rgb24 decoded.rgb"), 0);
    const std::string decoded = readWhole("decoded.rgb");
    const size_t frameBytes = 1280 * 720 * 3;
    ASSERT_EQ(decoded.size(), 11 * frameBytes);
    for (int k = 0; k < 11; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frames/%06d.png", k);
        const Picture frame = readPng(name);
        ASSERT_EQ(frame.rgb.size(), frameBytes) << name;
        EXPECT_EQ(std::memcmp(frame.rgb.data(), decoded.data() + k * frameBytes, frameBytes), 0) << name;
    }
    ASSERT_EQ(std::system("ffmpeg -v info -i share.mp4 -framerate 10 -i frames/%06d.png -lavfi psnr -f null - 2>&1 |"
                          " grep -o 'average:[0-9.inf]*' | tail -1 | cut -d: -f2 >psnr.txt"), 0);
    const double db = std::atof(readWhole("psnr.txt").c_str());
    std::printf("default export against its frames: %.2f dB PSNR\n", db);
    EXPECT_GE(db, 40.0);
}

// The sound of an export is the track as the demo plays it: across the join of a chained track,
// from 44.1 kHz stereo to 48 kHz mono, both exports carry the whole range's sound, the second
// stream's included, and the lossless one's FLAC holds the track's own samples (to 24 bits).
TEST(Capture, AnExportAcrossTheJoinOfAChainedTrackCarriesEveryStreamsSound) {
    TempDir dir;
    fs::remove_all("data");
    fs::create_directory("data");
    for (const auto& file : fs::directory_iterator(sharedData()))
        if (file.path().filename() != "talumen.ogg") fs::create_symlink(file.path(), "data" / file.path().filename());
    ASSERT_TRUE(writeChainedOgg("data/talumen.ogg", {{silenceThenSine(0, 8, 440, 0.5f, 2, 44100), 2, 44100},
                                                     {silenceThenSine(0, 8, 1000, 0.8f, 1, 48000), 1, 48000}}));
    ASSERT_TRUE(music.open());
    // Frames 15 to 65 of the 5 fps clock: 10.2 s of sound from 3 s on, the join 5 s in.
    const size_t frames = 449820, joined = 5 * 44100;
    std::vector<float> track(frames * 2);
    copyTrackFrames(3 * 44100, frames, track.data());
    music.stop();
    for (const char* video : {"across.mkv", "across.mp4"}) {
        SCOPED_TRACE(video);
        const bool lossless = std::strstr(video, "mkv");
        ASSERT_EQ(renderTool("--size 320x180 --fps 5 --from 3000 --to 13000 " + std::string(lossless ? "--lossless " : "") + video), 0)
            << readWhole("tool.err");
        ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + std::string(video) + " -map 0:a -f f32le sound.raw").c_str()), 0);
        const std::string raw = readWhole("sound.raw");
        std::vector<float> sound(raw.size() / 4);
        std::memcpy(sound.data(), raw.data(), sound.size() * 4);
        EXPECT_NEAR(double(sound.size() / 2), double(frames), lossless ? 0 : 2048);
        double afterJoin = 0, worst = 0;
        for (size_t i = 0; i < std::min(sound.size(), frames * 2); ++i) {
            if (i >= (joined + 44100) * 2) afterJoin += double(sound[i]) * sound[i] / double((frames - joined - 44100) * 2);
            worst = std::max(worst, std::fabs(double(sound[i]) - track[i]));
        }
        EXPECT_GT(std::sqrt(afterJoin), 0.3) << "the second stream's sound";
        if (lossless) {
            EXPECT_LE(worst * (1 << 23), 1.0) << "the FLAC against the track's samples";
        }
    }
}
