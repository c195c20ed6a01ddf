// player_main.cpp -- the player's entry point: dialog, window, loading, music, then the run, over the platform layer of player.h
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/player.h"
#include "app/help_card.h"
#include "app/run.h"
#include "app/timeline.h"
#include "assets/data_path.h"
#include "assets/loader.h"
#include "audio/music.h"
#include "base/allocator.h"
#include "base/globals.h"
#include "base/message.h"
#include "base/program_folder.h"
#include "base/run_marks.h"

// Where the start stood after each of its stages, for TALUMEN_START_REPORT.
struct StartMarks {
    RunMark runDemo;
    RunMark window;
    RunMark loaded;
    RunMark track;
};

// One line on stderr once the first frame is on screen: what each stage from "Run Demo" on took.
static void reportStart(const StartMarks& marks) {
    const RunMark shown = markRun();
    const auto ms = [](const RunMark& from, const RunMark& to) { return (to.wallSeconds - from.wallSeconds) * 1000.0; };
    std::fprintf(stderr,
                 "talumen: start: window %.1f ms, loads %.1f ms, track %.1f ms, first frame %.1f ms; "
                 "\"Run Demo\" to first frame %.1f ms; resident %.1f MiB, peak %.1f MiB\n",
                 ms(marks.runDemo, marks.window), ms(marks.window, marks.loaded), ms(marks.loaded, marks.track),
                 ms(marks.track, shown), ms(marks.runDemo, shown), shown.residentKib / 1024.0,
                 peakResidentKib() / 1024.0);
}

// What goes on behind the dialog, and the messages of the loads taken into GL there, which
// are said once the demo's window is up.
struct BehindTheDialog {
    bool started = false;
    bool glUp = false;        // the GL came up before the mode was known
    bool loadsTaken = false;  // and every load is in it
    HeldMessages held;
};
static BehindTheDialog behind;

// While the viewer chooses: the files are read on helper threads and the track decoded on a
// thread of its own (below the dialog's priority), and where the GL can come up before the
// mode is known, the loads are taken into it as they are read, their messages held for after
// "Run Demo". One step a call; false once there is nothing more to do here.
static bool readBehindTheDialog() {
    if (!behind.started) {
        behind.started = true;
        // The windowing library first, while this is the process's only thread: its start may
        // fork a helper (a session bus's launcher), and a fork while other threads run can hand
        // the child a lock one of them held.
        behind.glUp = demoWindow.prepareGl();
        music.startReading(RunStart().fps, sequenceEndMs, true);
        startLoadingScenes(loadHelpers());
        return behind.glUp;
    }
    const MessageHandler shown = messageHandler;
    heldMessages = &behind.held;
    messageHandler = holdMessage;
    // A short wait for a load not read yet, so that the choice is seen within milliseconds.
    behind.loadsTaken = takeNextSceneLoad(5);
    messageHandler = shown;
    return !behind.loadsTaken;
}

// A run that ends before its window is up: what went on behind the dialog stops unseen.
static void dropWhatWasBehindTheDialog() {
    dropSceneLoads();
    music.stop();
    demoWindow.destroy();
}

int main() {
    tuneAllocator();
    installSignalHandlers();
    installMessageBoxes();
    // The build tree and a project folder keep their data/ beside them; an installed copy
    // finds its own from where it lies, whatever folder it was started in.
    setDataFolder(chooseDataFolder(programFolder()));

    if (!runSetupDialog(readBehindTheDialog)) {
        dropWhatWasBehindTheDialog();
        messageBox("Cannot show the setup dialog: there is no display to play on.", "talumen");
        return 1;
    }
    if (runFlag != 1) {
        dropWhatWasBehindTheDialog();
        return 0;
    }

    bool sayStart = std::getenv("TALUMEN_START_REPORT") != nullptr;
    StartMarks marks;
    marks.runDemo = markRun();
    // From the moment "Run Demo" was chosen, whatever was still loading then.
    if (dialogClosedSeconds > 0.0) marks.runDemo.wallSeconds = dialogClosedSeconds;
    if (!demoWindow.create()) {
        dropWhatWasBehindTheDialog();
        // Closed without a mode chosen: the viewer left, as with "Exit".
        if (demoWindow.failure.empty()) return 0;
        messageBox(demoWindow.failure.c_str(), "talumen");
        return 1;
    }

    setUpContext();

    marks.window = markRun();
    // The messages of the loads taken behind the dialog come first, in their order, then those
    // of the loads still to take.
    behind.held.sayAll();
    if (!behind.loadsTaken) finishLoadingScenes();
    marks.loaded = markRun();

    audioDevice = platformAudioDevice();
    if (!music.open()) {
        demoWindow.destroy();
        return 0;
    }
    // The music's audible position is the clock; where it cannot play, the tick counter is.
    demoRun.startRun(watchedRun(tickCount));
    marks.track = markRun();
    // ? and h show the keys' card over the picture; without a picture they show nothing. Its
    // texture goes with the context, at the end.
    helpCard.jpeg = keysPictureJpeg;
    helpCard.size = keysPictureJpegSize;
    drawOverFrame = drawHelpCard;

    for (;;) {
        if (escapeDown()) demoRun.post(RunCommand::stop);
        const PumpResult pumped = pumpOneMessage();
        if (pumped == PumpResult::dispatched) continue;
        if (pumped == PumpResult::quit) demoRun.post(RunCommand::stop);
        for (RunEvent event; takeEvent(event);) demoRun.post(event);
        const RunTurn turn = demoRun.turn();
        if (turn.drawn) {
            demoWindow.swapBuffers();
            if (sayStart) reportStart(marks);
            sayStart = false;
        }
        std::fputs(demoRun.takeSaid().c_str(), stderr);
        if (turn.ended != RunEnd::none) break;
        if (demoRun.fullScreen != demoWindow.fullScreen) {
            // f: the window follows, and the picture is drawn again into it (paused, the frame
            // on screen). What the display refused, the run hears back, so that f asks again.
            if (!demoWindow.setFullScreen(demoRun.fullScreen)) demoRun.fullScreen = demoWindow.fullScreen;
            demoRun.post(RunCommand::redraw);
            continue;
        }
        if (!turn.drawn) waitForInput(turn.waitMs);
    }

    demoRun.finish();
    // The display mode is given back on every way out, not left to process exit.
    demoWindow.destroy();
    return 0;
}
