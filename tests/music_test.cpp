// music_test.cpp -- the loudness measure, the audible position, and opening and playing the track
#include <gtest/gtest.h>

#include <grp.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

#include "base/globals.h"
#include "audio/level.h"
#include "audio/music.h"
#include "audio/playhead.h"
#include "ogg_fixture.h"
#include "testkit.h"

namespace {

using Messages = std::vector<std::string>;

long double levelOf(const std::vector<float>& frames, int channels, int64_t end, float* spectrum = nullptr) {
    return measureLevel(frames.data(), int64_t(frames.size()) / channels, channels, end, spectrum);
}

float levelAt(int32_t ms) {
    elapsedMs = ms;
    return static_cast<float>(music.level());
}

// The times the sound output was closed.
int closed = 0;

// The file decoded once from its start, as the track numbers a plain file's frames.
std::vector<float> plainDecode(const char* path, int channels) {
    std::vector<float> decoded;
    OggVorbis_File file;
    if (ov_fopen(path, &file) != 0) return decoded;
    float** pcm = nullptr;
    int section = 0;
    for (long n; (n = ov_read_float(&file, &pcm, 4096, &section)) > 0 || n == OV_HOLE;)
        for (long i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c) decoded.push_back(pcm[c][i]);
    ov_clear(&file);
    return decoded;
}

// Stereo material that no stretch of repeats: a read from the wrong place shows.
std::vector<float> varied(double seconds) {
    std::vector<float> frames(size_t(seconds * 44100) * 2);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = 0.5f * std::sin(0.001f * float(i % 100003) * float(i % 7 + 1));
    return frames;
}

// The nice value of each of the process's threads.
std::vector<int> threadNiceValues() {
    std::vector<int> values;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        const std::string stat = readWhole(task.path().string() + "/stat");
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int i = 3; i <= 19 && fields >> field; ++i) {
        }
        values.push_back(std::stoi(field));
    }
    return values;
}

}  // namespace

// music_test is linked with --wrap=pthread_create: while threadsFail is set, no thread of ours starts.
std::atomic<bool> threadsFail{false};
extern "C" int __real_pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
extern "C" int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*run)(void*), void* arg) {
    return threadsFail ? EAGAIN : __real_pthread_create(thread, attributes, run, arg);
}

TEST(Level, SilenceOrFramesOutsideTheWindowReadZeroAndASineAboutItsAmplitude) {
    EXPECT_EQ(levelOf(std::vector<float>(8192, 0.0f), 2, 2048), 0.0L);
    // A burst at frames 10000..10999 enters the window ending at 10001 and has left it by
    // 12024 (the oldest frame of a window weighs nothing); far ends read nothing either.
    std::vector<float> burst(20000, 0.0f);
    for (int f = 10000; f < 11000; ++f) burst[f] = f % 2 ? 0.8f : -0.8f;
    for (auto [end, heard] : {std::pair{int64_t(10000), false}, {10001, true}, {12022, true}, {12024, false},
                              {INT64_MAX, false}, {INT64_MIN, false}})
        EXPECT_EQ(levelOf(burst, 1, end) > 0.0L, heard) << end;
    for (auto [hz, amplitude] : {std::pair{440.0, 1.0f}, {1000.0, 1.0f}, {1722.65625, 1.0f}, {3000.0, 0.5f}}) {
        float spectrum[512];
        std::vector<float> wave = silenceThenSine(0.0, 0.2, hz, amplitude, 2, 44100);
        EXPECT_NEAR(double(levelOf(wave, 2, 6000, spectrum)), amplitude, 0.15 * amplitude) << hz;
        EXPECT_NEAR(std::max_element(spectrum, spectrum + 512) - spectrum, hz * 1024 / 44100, 1.0) << hz;
        // The mono mix is the mean of the channels: a silent right channel halves the reading.
        for (size_t f = 1; f < wave.size(); f += 2) wave[f] = 0.0f;
        EXPECT_NEAR(double(levelOf(wave, 2, 6000)), amplitude / 2.0, 0.08 * amplitude) << hz;
    }
}

TEST(AudiblePosition, DeviceAndClockArithmetic) {
    // 0 before any callback, never before the start, never past what was handed over.
    const struct { int64_t handed, buffer; double since; int rate; int64_t want; } device[] = {
        {0, 1024, 0.5, 44100, 0}, {1024, 1024, 0.0, 44100, 0}, {1024, 1024, 0.010, 44100, 441},
        {44100, 1024, 0.005, 48000, 43316}, {44100, 1024, 3.0, 44100, 44100},
        {44100, 1024, -1.0, 44100, 43076}, {512, 1024, 0.0, 44100, 0}};
    for (const auto& d : device) EXPECT_EQ(deviceAudibleFrame(d.handed, d.buffer, d.since, d.rate), d.want) << d.handed;
    const struct { int32_t ms; int rate; int64_t want; } clock[] = {
        {1, 44100, 44}, {156000, 48000, 7488000}, {-1, 44100, -45}, {INT32_MAX, 192000, int64_t(INT32_MAX) * 192}};
    for (const auto& c : clock) EXPECT_EQ(clockAudibleFrame(c.ms, c.rate), c.want) << c.ms;
}

// A track of 0.5 in both channels from frame 0 on: what the mixer hands out is its gain.
static void halfTrack(int64_t first, int64_t count, float* out) {
    for (int64_t i = 0; i < count; ++i) out[2 * i] = out[2 * i + 1] = first + i >= 0 ? 0.5f : 0.0f;
}

// A seek and a pause fade out and in over 220 frames (5 ms at 44100 Hz) and never step by more;
// while the device still plays the old place, the new one is what counts as heard.
TEST(Playhead, PausesAndJumpsWithoutAClickAndKnowsWhereTheSoundIs) {
    Playhead head;
    head.begin(2, 44100, 0);
    std::vector<float> out;
    const auto mix = [&](int64_t frames) {
        out.resize(out.size() + size_t(frames) * 2);
        head.mix(out.data() + out.size() - frames * 2, frames, halfTrack);
    };
    mix(1000);
    EXPECT_EQ(out.front(), 0.5f) << "the track's first frame, not faded in";
    head.move(90000, true);
    bool heard = true;
    EXPECT_EQ(head.trackFrameAt(1100, &heard), 90000);
    EXPECT_FALSE(heard);
    mix(1000);  // fades out from device frame 1000, jumps at 1220
    EXPECT_EQ(head.trackFrameAt(1219), 90000);
    EXPECT_EQ(head.trackFrameAt(1500, &heard), 90280);
    EXPECT_TRUE(heard);
    EXPECT_EQ(out[2 * 1219], 0.0f) << "the fade out ends in silence";
    head.move(90500, false);  // paused at 90500
    mix(2000);
    EXPECT_EQ(head.trackFrameAt(3900), 90500);
    EXPECT_EQ(out.back(), 0.0f) << "sound while paused";
    head.move(90500, true);
    mix(500);  // silent already: the jump is at once, at device frame 4000
    EXPECT_EQ(head.trackFrameAt(4400), 90900);
    EXPECT_EQ(out.back(), 0.5f);
    // Muted, the sound fades to silence as after a jump and the track goes on under it.
    head.muted = true;
    mix(500);
    EXPECT_EQ(out.back(), 0.0f) << "sound while muted";
    EXPECT_EQ(head.trackFrameAt(4900), 91400) << "the position goes on";
    head.muted = false;
    mix(500);
    EXPECT_EQ(out.back(), 0.5f);
    float largestStep = 0.0f;
    for (size_t i = 2; i < out.size(); ++i) largestStep = std::max(largestStep, std::fabs(out[i] - out[i - 2]));
    EXPECT_LE(largestStep, 0.5f / 220 + 1e-6f);
}

TEST(Music, TrackSilentForASecondThenLoudInEitherLayout) {
    TempDir dir;
    for (auto [channels, rate] : {std::pair{2, 44100}, {1, 48000}}) {
        ASSERT_TRUE(writeOggVorbis(musicPath, silenceThenSine(1.0, 1.0, 1000.0, 0.9f, channels, rate), channels, rate));
        ASSERT_TRUE(music.open());
        EXPECT_EQ(music.frameCount(), 2 * rate);
        EXPECT_EQ(levelAt(1500), 0.0f) << "nothing is audible before play()";
        ASSERT_TRUE(music.play());
        for (auto [ms, low, high] : {std::tuple{500, 0.0f, 0.01f}, {980, 0.0f, 0.05f}, {1100, 0.75f, 1.05f},
                                     {1900, 0.75f, 1.05f}, {2100, 0.0f, 0.0f}}) {
            const float reading = levelAt(ms);
            EXPECT_TRUE(reading >= low && reading <= high) << rate << " Hz at " << ms << " ms: " << reading;
        }
        music.stop();
        EXPECT_EQ(levelAt(1500), 0.0f) << "after stop()";
    }
}

// A page lost mid-stream is skipped, and what follows it numbered on from what came before: read
// back to front, past what the held seconds hold, each stretch is what one decode from the start
// gives, though a seek after the loss would land elsewhere.
TEST(Music, AStreamWithALostPageReadsTheSameInAnyOrder) {
    TempDir dir;
    ASSERT_TRUE(writeOggVorbis("whole.ogg", varied(12), 2, 44100));
    std::string bytes = readWhole("whole.ogg");
    size_t page = 0;
    for (int n = 0; n < 30; ++n) page = bytes.find("OggS", page + 1);
    writeFile(musicPath, bytes.erase(page, bytes.find("OggS", page + 1) - page));
    const std::vector<float> decoded = plainDecode(musicPath, 2);
    ASSERT_TRUE(music.open());
    ASSERT_EQ(music.frameCount(), int64_t(decoded.size() / 2));
    std::vector<float> read(decoded.size());
    for (int64_t end = music.frameCount(), first; end > 0; end = first) {
        first = std::max<int64_t>(0, end - 20000);
        copyTrackFrames(first, end - first, read.data() + first * 2);
    }
    EXPECT_TRUE(read == decoded);
    music.stop();
}

// Where the track's thread cannot start, its readers decode it themselves: here the sound card's
// thread reading on from the start and the loudness reading windows all over, at once, each read
// checked against one plain decode. Two decodes of one file at once crash or mix their samples.
TEST(Music, WithoutTheTracksThreadTwoReadersAtOnceReadWhatOneDecodeGives) {
    TempDir dir;
    ASSERT_TRUE(writeOggVorbis(musicPath, varied(20), 2, 44100));
    const std::vector<float> decoded = plainDecode(musicPath, 2);
    const int64_t total = int64_t(decoded.size() / 2);
    threadsFail = true;
    openTrack(musicPath, 0, 0, false);
    threadsFail = false;
    ASSERT_EQ(trackLayout().channels, 2);
    std::atomic<int> wrong{0};
    const auto reader = [&](unsigned seed, bool onwards) {
        std::mt19937 pick(seed);
        std::vector<float> got(4096 * 2);
        for (int64_t i = 0, at = 0, count = 1024; i < 1500; ++i, at = onwards ? (at + count) % total : pick() % total) {
            count = onwards ? 1024 : 1 + pick() % 4096;
            copyTrackFrames(at, count, got.data());
            for (int64_t f = 0; f < count * 2; ++f)
                if (got[f] != (at * 2 + f < total * 2 ? decoded[at * 2 + f] : 0.0f)) {
                    ++wrong;
                    break;
                }
        }
    };
    std::thread sound(reader, 1, true), loudness(reader, 2, false);
    sound.join();
    loudness.join();
    EXPECT_EQ(wrong, 0) << "reads that differ from the plain decode";
    EXPECT_EQ(trackFrameCount(), total);
    closeTrack();
}

// Behind the setup dialog the track is decoded below the program's priority; once the music plays,
// every thread that decodes for the sound card runs at the priority of the thread that started it.
// Only a privileged thread may take back a nice value it gave up, so this runs as nobody.
TEST(Music, OncePlayingTheTrackIsDecodedAtThePlayersPriority) {
    TempDir dir;
    ASSERT_TRUE(writeOggVorbis(musicPath, varied(20), 2, 44100));
    const std::vector<float> decoded = plainDecode(musicPath, 2);
    std::filesystem::permissions(dir.path, std::filesystem::perms(0755));
    std::filesystem::permissions("data", std::filesystem::perms(0755));
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                               setresuid(65534, 65534, 65534) != 0))
            _exit(2);
        audioDevice = AudioDevice{};
        audioDevice.init = [](int, int) { return true; };
        audioDevice.start = [] { return true; };
        audioDevice.fedByMixer = true;
        // The player's own nice value, whatever the test runs at (a nice CI, say).
        const int own = getpriority(PRIO_PROCESS, 0);
        music.startReading(60, 20000, true);
        if (!music.open()) _exit(3);
        const std::vector<int> behind = threadNiceValues();
        if (std::count_if(behind.begin(), behind.end(), [own](int value) { return value > own; }) != 1) _exit(4);
        music.play();
        // A seek far ahead: what the sound card plays first there is decoded after the play.
        std::vector<float> got(1024 * 2);
        copyTrackFrames(15 * 44100, 1024, got.data());
        // The niced thread ends once the chunk it was decoding, if any, is done.
        std::vector<int> playing = threadNiceValues();
        for (int wait = 0; wait < 100 && std::count(playing.begin(), playing.end(), own) < int(playing.size()); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            playing = threadNiceValues();
        }
        std::fprintf(stderr, "nice values while playing:");
        for (int value : playing) std::fprintf(stderr, " %d", value);
        std::fprintf(stderr, "\n");
        if (!std::equal(got.begin(), got.end(), decoded.begin() + 15 * 44100 * 2)) _exit(5);
        _exit(std::count(playing.begin(), playing.end(), own) == int(playing.size()) && playing.size() > 1 ? 0 : 6);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "2: no switch to nobody, 3: no track, 4: no niced thread behind the dialog, 5: wrong samples, "
           "6: a thread below the player's priority while playing; got status " << status;
}

// A chained file (streams one after the other, as `cat` makes) plays every stream, converted to the
// first one's rate and channels: each stretch is heard and measured at its own pitch, the 5.1
// stream's centre equally in both channels, and the track lasts as long as its streams together.
TEST(Music, EveryStreamOfAChainedFilePlaysInTheFirstStreamsLayout) {
    TempDir dir;
    std::vector<float> centre(32000 * 6, 0.0f);
    for (size_t f = 0; f < 32000; ++f) centre[f * 6 + 1] = 0.6f * float(std::sin(2 * M_PI * 1500 * f / 32000));
    ASSERT_TRUE(writeChainedOgg(musicPath, {{silenceThenSine(0, 2, 440, 0.5f, 2, 44100), 2, 44100},
                                            {silenceThenSine(0, 2, 1000, 0.8f, 1, 48000), 1, 48000},
                                            {centre, 6, 32000},
                                            {silenceThenSine(0, 1, 2000, 0.5f, 2, 44100), 2, 44100}}));
    ASSERT_TRUE(music.open());
    ASSERT_TRUE(music.play());
    EXPECT_EQ(music.rate(), 44100);
    EXPECT_EQ(music.channels(), 2);
    EXPECT_NEAR(double(music.frameCount()), 6 * 44100, 2);
    // The mono stream at -3 dB in each channel; the 5.1 stream's centre in the library's downmix.
    for (auto [ms, hz, low, high] : {std::tuple{1000, 440, 0.45f, 0.6f}, {3000, 1000, 0.5f, 0.65f},
                                     {4500, 1500, 0.1f, 0.3f}, {5500, 2000, 0.45f, 0.6f}}) {
        const float reading = levelAt(ms);
        EXPECT_TRUE(reading >= low && reading <= high) << ms << " ms: " << reading;
        EXPECT_NEAR(std::max_element(music.spectrum, music.spectrum + 512) - music.spectrum, hz * 1024.0 / 44100, 1.0) << ms;
        std::vector<float> stretch(4410 * 2);
        copyTrackFrames(int64_t(ms) * 44100 / 1000, 4410, stretch.data());
        double left = 0, right = 0;
        for (size_t f = 0; f < 4410; ++f) left += stretch[2 * f] * stretch[2 * f], right += stretch[2 * f + 1] * stretch[2 * f + 1];
        EXPECT_GT(left, 4410 * 0.005) << ms;
        EXPECT_NEAR(left, right, left * 0.01) << ms;
    }
    music.stop();
}

TEST(Music, UnplayableFilesGiveTheirMessagesAndTheDemoRunsOnInSilence) {
    TempDir dir;
    ASSERT_TRUE(writeOggNotVorbis("other.ogg"));
    std::ifstream other("other.ogg", std::ios::binary);
    audioDevice.stop = [] { ++closed; };
    for (const std::string& contents : {std::string(), std::string(5000, 'x'), std::string(std::istreambuf_iterator<char>(other), {})}) {
        recordMessages();
        std::remove(musicPath);
        if (!contents.empty()) writeFile(musicPath, contents);
        EXPECT_FALSE(music.open()) << contents.size();
        EXPECT_FALSE(music.play());
        EXPECT_EQ(recordedMessages(), (Messages{"Error: Music opening error", "Error: Music play error"}));
        EXPECT_EQ(levelAt(500), 0.0f);
    }
    EXPECT_EQ(closed, 3) << "a failed open gives back the output it opened";
    recordMessages();
    ASSERT_TRUE(writeOggVorbis(musicPath, silenceThenSine(0.0, 1.0, 500.0, 0.5f, 2, 44100), 2, 44100));
    audioDevice.start = [] { return false; };
    ASSERT_TRUE(music.open());
    EXPECT_FALSE(music.play());
    EXPECT_EQ(recordedMessages(), Messages{"Error: Music play error"});
    EXPECT_EQ(levelAt(500), 0.0f);
}
