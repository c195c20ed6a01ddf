// main.cpp -- the player's entry point: dialog, window, loading, music, then the frame loop
#include "render/gl.h"

#include "app/globals.h"
#include "app/message.h"
#include "app/timeline.h"
#include "assets/data_path.h"
#include "assets/loader.h"
#include "audio/music.h"
#include "platform/platform.h"
#include "platform/program_folder.h"

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
    music.play();
    const uint32_t startTick = tickCount();

    for (;;) {
        if (escapeDown()) break;
        const PumpResult pumped = pumpOneMessage();
        if (pumped == PumpResult::quit) break;
        if (pumped == PumpResult::dispatched) continue;

        const int32_t ms = static_cast<int32_t>(tickCount() - startTick);
        drawFrame(ms);
        demoWindow.swapBuffers();
        if (elapsedMs >= sequenceEndMs) break;
    }

    music.stop();
    // The display mode is given back on every way out, not left to process exit.
    demoWindow.destroy();
    return 0;
}
