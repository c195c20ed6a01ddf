// main.cpp -- the player's entry point: dialog, window, loading, music, then the frame loop
#include "render/gl.h"

#include <cstdio>
#include <string>

#include "app/globals.h"
#include "app/message.h"
#include "app/playback.h"
#include "app/timeline.h"
#include "assets/data_path.h"
#include "assets/loader.h"
#include "audio/music.h"
#include "platform/platform.h"
#include "platform/program_folder.h"

// A line for stderr on each pause, resume and seek, with the instant it leaves the demo at.
static std::string report(DemoCommand command) {
    if (command == DemoCommand::redraw) return {};
    const char* what = command != DemoCommand::pauseOrResume ? "at" : playback.paused ? "paused at" : "playing from";
    const int32_t ms = playback.now();
    char line[64];
    std::snprintf(line, sizeof line, "talumen: %s %d.%03d s\n", what, static_cast<int>(ms / 1000),
                  static_cast<int>(ms % 1000));
    return line;
}

int main() {
    installSignalHandlers();
    installMessageBoxes();
    // The build tree and a project folder keep their data/ beside them; an installed copy
    // finds its own from where it lies, whatever folder it was started in.
    setDataFolder(chooseDataFolder(programFolder()));

    if (!runSetupDialog()) {
        messageBox("Cannot show the setup dialog: there is no display to play on.", "talumen");
        return 1;
    }
    if (runFlag != 1) return 0;

    // The files are read on helper threads while the window comes up; they reach GL, and
    // their messages the viewer, once it is there.
    startLoadingScenes(loadHelpers());
    if (!demoWindow.create()) {
        dropSceneLoads();
        // Closed without a mode chosen: the viewer left, as with "Exit".
        if (demoWindow.failure.empty()) return 0;
        messageBox(demoWindow.failure.c_str(), "talumen");
        return 1;
    }

    // Smooth lines stay on for the whole run; nothing turns them off.
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    clearFrame();

    finishLoadingScenes();

    audioDevice = platformAudioDevice();
    if (!music.open()) {
        demoWindow.destroy();
        return 0;
    }
    playback.prepare();
    // The music's audible position is the clock; where it cannot play, the tick counter is.
    playback.start(music.play(), tickCount);
    std::string reports;
    bool saidStalled = false;

    for (;;) {
        if (escapeDown()) break;
        const PumpResult pumped = pumpOneMessage();
        if (pumped == PumpResult::quit) break;
        if (pumped == PumpResult::dispatched) continue;

        for (DemoCommand command; (command = takeCommand()) != DemoCommand::none;) {
            if (!playback.apply(command)) break;
            reports += report(command);
        }
        if (playback.ended) break;
        int32_t ms = 0;
        if (playback.frameDue(ms)) {
            playback.draw(ms);
            demoWindow.swapBuffers();
            if (elapsedMs >= sequenceEndMs) break;
        } else if (playback.redrawDue) {
            // Paused: the frame on screen, not a new one.
            playback.redrawShown();
            demoWindow.swapBuffers();
        } else {
            waitForInput(playback.paused ? 10 : 1);
        }
        if (playback.soundStalled && !saidStalled) {
            reports += "talumen: the sound stopped; the demo goes on without it\n";
            saidStalled = true;
        }
        // Said once the frame they lead to is on screen.
        if (!reports.empty() && !playback.exactFrameDue) {
            std::fputs(reports.c_str(), stderr);
            reports.clear();
        }
    }

    music.stop();
    // The display mode is given back on every way out, not left to process exit.
    demoWindow.destroy();
    return 0;
}
