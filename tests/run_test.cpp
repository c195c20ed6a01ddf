// run_test.cpp -- one run driven through what every front end feeds it: the clock, pause, seeks and frame steps, the end from everywhere, a stalled sound, a lost context
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>

#include "app/help_card.h"
#include "app/keys.h"
#include "app/run.h"
#include "app/timeline.h"
#include "audio/music.h"
#include "base/frame_state.h"
#include "base/globals.h"
#include "ogg_fixture.h"
#include "render/carried_gl.h"
#include "testkit.h"

namespace {

uint32_t counter = 0;
uint32_t readCounter() { return counter; }
int64_t deviceFrame = 0;

// The generated data loaded at 1280x720 and a run begun at atMs on the counter (at 0), every
// reading 3.1, as the player begins one once its window is up.
bool beginRun(int32_t atMs = 0) {
    if (!startGl(1280, 720)) return false;
    linkSharedData();
    loadScenes(0);
    constantLevel(3.1);
    setUpContext();
    // The counter reads the run's instant, as the renderer's virtual clock does.
    counter = static_cast<uint32_t>(atMs);
    RunStart start;
    start.atMs = atMs;
    start.counter = readCounter;
    demoRun.startRun(start);
    return true;
}

RunTurn turnAt(uint32_t ms) {
    counter = ms;
    return demoRun.turn();
}

RunTurn post(RunCommand command, int32_t ms = 0) {
    if (command == RunCommand::seekTo) counter = static_cast<uint32_t>(ms);
    demoRun.post(RunEvent{command, ms});
    return demoRun.turn();
}

::testing::AssertionResult glAgreesWithTheRecord() {
    const CarriedGl gl = readCarriedGl();
    const CarriedGl& kept = frameState.gl;
    if (gl.blend == kept.blend && gl.blendSource == kept.blendSource && gl.blendDestination == kept.blendDestination &&
        gl.texturing == kept.texturing && gl.boundTexture == kept.boundTexture &&
        std::memcmp(gl.colour, kept.colour, sizeof gl.colour) == 0 &&
        std::memcmp(gl.texCoord, kept.texCoord, sizeof gl.texCoord) == 0 && gl.lineWidth == kept.lineWidth &&
        gl.polygonMode == kept.polygonMode)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "GL holds blend " << gl.blend << " texturing " << gl.texturing << " texture "
                                         << gl.boundTexture << " alpha " << gl.colour[3] << " width " << gl.lineWidth
                                         << "; the record says " << kept.blend << ", " << kept.texturing << ", "
                                         << kept.boundTexture << ", " << kept.colour[3] << ", " << kept.lineWidth;
}

}  // namespace

// The last frame at or past the end is shown and the run ends; a seek past it, a scene skip
// from the credits and a context renewed after the clock passed it end the run the same way,
// drawing nothing more. The viewer's stop ends it as stopped.
TEST(Run, EveryWayPastTheEndEndsTheRunTheSameWay) {
    ASSERT_TRUE(beginRun(155000));
    RunTurn turn = turnAt(155000);
    EXPECT_TRUE(turn.drawn && turn.landed);
    EXPECT_EQ(turnAt(155900).ended, RunEnd::none);
    turn = turnAt(156010);
    EXPECT_TRUE(turn.drawn);
    EXPECT_EQ(turn.ended, RunEnd::sequenceEnd);
    turn = turnAt(156100);
    EXPECT_FALSE(turn.drawn);
    EXPECT_EQ(turn.ended, RunEnd::sequenceEnd);

    const struct {
        const char* way;
        RunCommand command;
        uint32_t clockAfter;  // where the clock stands when the command comes
    } ways[] = {
        {"10 s on", RunCommand::forward, 150100},
        {"the next scene", RunCommand::nextScene, 150100},
        {"a seek", RunCommand::seekTo, 150100},
        {"a context renewed", RunCommand::contextRenewed, 157000},
        {"Escape", RunCommand::stop, 150100},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        RunStart start;
        start.atMs = 150000;
        start.counter = readCounter;
        counter = 150000;
        demoRun.startRun(start);
        EXPECT_TRUE(turnAt(150000).landed);
        if (way.command == RunCommand::contextRenewed) {
            turn = post(RunCommand::contextLost);
            EXPECT_FALSE(turn.drawn);
            EXPECT_GT(turn.waitMs, 0);
            EXPECT_EQ(turnAt(153000).ended, RunEnd::none) << "nothing is drawn while the context is gone";
        }
        counter = way.clockAfter;
        turn = post(way.command, 156001);
        EXPECT_FALSE(turn.drawn);
        EXPECT_EQ(turn.ended, way.command == RunCommand::stop ? RunEnd::stopped : RunEnd::sequenceEnd);
        EXPECT_FALSE(turnAt(way.clockAfter + 100).drawn);
    }
}

// Paused, nothing steps, the window's request shows the frame again, a seek lands and stays
// paused, and a frame step goes one frame of the 60 fps clock from the frame on screen (a
// sound's instant between two frames steps to the nearer side's frame); playing, steps are
// ignored. Every move is said once its frame is on screen.
TEST(Run, PauseSeeksAndFrameStepsLandOnTheClocksFrames) {
    ASSERT_TRUE(beginRun());
    EXPECT_TRUE(turnAt(0).drawn);
    EXPECT_TRUE(turnAt(20).drawn);
    EXPECT_FALSE(turnAt(20).drawn) << "no new frame at the same instant";
    RunTurn turn = post(RunCommand::pauseOrResume);
    EXPECT_FALSE(turn.drawn);
    EXPECT_EQ(demoRun.takeSaid(), "talumen: paused at 0.020 s\n");
    turn = turnAt(900);
    EXPECT_FALSE(turn.drawn);
    EXPECT_EQ(turn.waitMs, 10);
    EXPECT_TRUE(post(RunCommand::redraw).drawn);
    EXPECT_EQ(demoRun.shownMs, 20);

    const struct {
        RunCommand command;
        int32_t ms;
        int32_t lands;
    } moves[] = {
        {RunCommand::frameForward, 0, 33},  // 20 lies between frames 1 (16) and 2 (33)
        {RunCommand::frameBack, 0, 16},
        {RunCommand::frameBack, 0, 0},
        {RunCommand::frameBack, 0, 0},      // not before the start
        {RunCommand::seekTo, 92500, 92500},
        {RunCommand::frameForward, 0, 92516},
        {RunCommand::seekTo, 155983, 155983},
        {RunCommand::frameForward, 0, 155983},  // nor onto the last, which ends the run
        {RunCommand::previousScene, 0, 121000},
    };
    for (const auto& move : moves) {
        turn = post(move.command, move.ms);
        EXPECT_TRUE(turn.drawn && turn.landed) << move.lands;
        EXPECT_EQ(demoRun.shownMs, move.lands);
        EXPECT_TRUE(demoRun.paused);
        EXPECT_FALSE(turnAt(counter + 500).drawn) << "a landing stays paused";
    }
    EXPECT_EQ(demoRun.takeSaid().substr(0, 25), "talumen: at 0.033 s\ntalum");

    turn = post(RunCommand::pauseOrResume);
    EXPECT_FALSE(turn.drawn) << "the frame on screen is where the run goes on from";
    counter += 100;
    EXPECT_TRUE(demoRun.turn().drawn);
    EXPECT_EQ(demoRun.shownMs, 121100);
    post(RunCommand::frameForward);
    EXPECT_EQ(demoRun.instant(), 121100) << "no step while playing";
}

// Through the whole sequence, drawn or moved on unseen by seeks and catch-ups, and through a
// context lost and renewed, GL holds what the frame's record says.
TEST(Run, GlHoldsTheRecordsStateThroughSeeksAndARenewedContext) {
    ASSERT_TRUE(beginRun());
    EXPECT_TRUE(glAgreesWithTheRecord());
    for (int32_t ms : {5000, 20000, 30000, 56500, 60000, 92500, 93000, 103100, 110000, 121000, 140000, 147000,
                       150500, 155900}) {
        SCOPED_TRACE(ms);
        EXPECT_TRUE(post(RunCommand::seekTo, ms).drawn);
        EXPECT_TRUE(glAgreesWithTheRecord());
        counter = static_cast<uint32_t>(ms) + 40;
        demoRun.turn();
        EXPECT_TRUE(glAgreesWithTheRecord());
    }
    post(RunCommand::seekTo, 140000);
    const FrameState before = frameState;
    counter = 140000;
    post(RunCommand::contextLost);
    // What a context made anew holds: GL's starting state, no pictures.
    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glColor4f(1, 1, 1, 1);
    glLineWidth(1);
    const RunTurn turn = post(RunCommand::contextRenewed);
    EXPECT_TRUE(turn.drawn && turn.landed);
    EXPECT_EQ(demoRun.shownMs, 140000);
    EXPECT_TRUE(glAgreesWithTheRecord());
    EXPECT_EQ(std::memcmp(&before.city, &frameState.city, sizeof before.city), 0);
}

// A sound that stops moving hands the clock to the counter after 300 ms, from the frame on
// screen, without a jump; when it moves again it is sent to the counter's instant.
TEST(Run, AStalledSoundHandsTheClockToTheCounterAndRejoinsIt) {
    TempDir dir;
    ASSERT_TRUE(writeOggVorbis(musicPath, silenceThenSine(0.0, 3.0, 500.0, 0.5f, 2, 44100), 2, 44100));
    audioDevice = AudioDevice{};
    audioDevice.init = [](int, int) { return true; };
    audioDevice.start = [] { return true; };
    audioDevice.audibleFrame = [] { return deviceFrame; };
    audioDevice.fedByMixer = true;
    ASSERT_TRUE(music.open());
    RunStart start;
    start.playMusic = start.soundIsClock = true;
    start.counter = readCounter;
    ASSERT_TRUE(demoRun.startRun(start));
    // Each step: the counter and the device's position, then the instant of the frame due.
    const struct { uint32_t tick; int64_t device; int32_t due; bool soundClock; } steps[] = {
        {0, 0, 0, true}, {100, 4410, 100, true},
        {399, 4410, 100, true},   // held for less than the stall: still the sound's instant
        {450, 4410, 100, false},  // stalled: the counter goes on from the frame on screen
        {550, 4410, 200, false},
    };
    for (const auto& step : steps) {
        counter = step.tick;
        deviceFrame = step.device;
        int32_t due = -1;
        ASSERT_TRUE(demoRun.frameDue(due)) << step.tick;
        EXPECT_EQ(due, step.due) << step.tick;
        EXPECT_EQ(demoRun.soundClock, step.soundClock) << step.tick;
        demoRun.shownMs = due;
        demoRun.anyShown = true;
    }
    EXPECT_TRUE(demoRun.soundStalled);
    counter = 600;
    deviceFrame = 4851;
    int32_t due = -1;
    ASSERT_TRUE(demoRun.frameDue(due));
    EXPECT_EQ(due, 250);
    bool heard = true;
    EXPECT_EQ(music.audibleMs(&heard), 250);
    EXPECT_FALSE(heard) << "the sound goes to the counter's instant";
    demoRun.finish();
}

// The keys' table: what each asks, which go on while held, and that the help stays up only
// until the next key, which still does what it asks.
TEST(Run, KeysAskWhatTheTableSaysAndTheHelpGoesWithTheNextKey) {
    const struct {
        Key key;
        RunCommand command;
        int32_t ms;
        bool whileHeld;
    } keys[] = {
        {Key::space, RunCommand::pauseOrResume, 0, false}, {Key::k, RunCommand::pauseOrResume, 0, false},
        {Key::j, RunCommand::back, 0, true},              {Key::l, RunCommand::forward, 0, true},
        {Key::digit0, RunCommand::seekTo, 0, false},      {Key::digit9, RunCommand::seekTo, 140400, false},
        {Key::end, RunCommand::seekTo, 150000, false},     {Key::comma, RunCommand::frameBack, 0, true},
        {Key::period, RunCommand::frameForward, 0, true}, {Key::m, RunCommand::muteOrUnmute, 0, false},
        {Key::f, RunCommand::fullScreen, 0, false},       {Key::question, RunCommand::help, 0, false},
        {Key::escape, RunCommand::stop, 0, false},        {Key::none, RunCommand::none, 0, false},
    };
    for (const auto& k : keys) {
        SCOPED_TRACE(static_cast<int>(k.key));
        const RunEvent pressed = eventForKey(k.key, false);
        EXPECT_EQ(pressed.command, k.command);
        EXPECT_EQ(pressed.ms, k.ms);
        EXPECT_EQ(eventForKey(k.key, true).command, k.whileHeld ? k.command : RunCommand::none);
    }

    ASSERT_TRUE(beginRun());
    turnAt(0);
    post(RunCommand::pauseOrResume);
    EXPECT_TRUE(post(RunCommand::help).drawn) << "paused, the help shows at once";
    EXPECT_TRUE(demoRun.helpShown);
    const RunTurn turn = post(RunCommand::seekTo, 20000);
    EXPECT_FALSE(demoRun.helpShown);
    EXPECT_TRUE(turn.landed) << "the key that takes the help away still acts";
    post(RunCommand::muteOrUnmute);
    EXPECT_TRUE(music.muted);
    EXPECT_EQ(demoRun.takeSaid(), "talumen: paused at 0.000 s\ntalumen: at 20.000 s\ntalumen: sound off\n");
    post(RunCommand::fullScreen);
    EXPECT_FALSE(demoRun.fullScreen);
}

// The help card over the paused frame changes its middle 512 x 512 alone, and GL holds the
// record's state after it; a picture that is missing, damaged, truncated or of a side that is
// no power of two draws nothing, says nothing and changes nothing.
TEST(Run, TheHelpCardDrawsOverTheFrameOrNothingAtAll) {
    ASSERT_TRUE(beginRun(20000));
    const std::vector<uint8_t> grey(512 * 512 * 3, 128);
    writeJpeg("card.jpg", 512, 512, grey.data());
    writeJpeg("odd.jpg", 300, 200, grey.data());
    const std::string card = readWhole("card.jpg");
    const std::pair<std::string, bool> pictures[] = {{"", false}, {"\xff\xd8 damaged", false},
        {card.substr(0, card.size() / 2), false}, {readWhole("odd.jpg"), false}, {card, true}};
    drawOverFrame = drawHelpCard;
    recordMessages();
    turnAt(20000);
    post(RunCommand::pauseOrResume);
    const std::vector<uint8_t> frame = grabScreen();
    for (const auto& [jpeg, drawn] : pictures) {
        SCOPED_TRACE(jpeg.size());
        helpCard.jpeg = reinterpret_cast<const unsigned char*>(jpeg.data());
        helpCard.size = jpeg.size();
        EXPECT_TRUE(post(RunCommand::help).drawn);
        const std::vector<uint8_t> shown = grabScreen();
        int apart[2] = {};  // outside the middle, inside it
        for (int y = 0; y < 720; ++y)
            for (int x = 0; x < 1280; ++x)
                apart[x >= 384 && x < 896 && y >= 104 && y < 616] += !near(pixelAt(frame, x, y), pixelAt(shown, x, y), 0);
        EXPECT_EQ(apart[0], 0);
        EXPECT_EQ(apart[1] > 512 * 400, drawn) << apart[1];
        EXPECT_TRUE(glAgreesWithTheRecord());
        post(RunCommand::help);
        helpCard.release();
    }
    EXPECT_TRUE(recordedMessages().empty());
    drawOverFrame = nullptr;
}
