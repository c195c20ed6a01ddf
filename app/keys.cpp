// keys.cpp -- the table of the viewer's keys
#include "app/keys.h"

#include "app/timeline.h"

const KeyHelp keyHelp[] = {
    {"Space, k", "pause and resume"},
    {"Left, j / Right, l", "10 seconds back / on"},
    {"0 to 9", "0 %, 10 %, ... 90 % of the way"},
    {"Home / End", "the start / the credits"},
    {"Page Up / Page Down", "the previous / the next scene"},
    {", / .", "one frame back / on, while paused"},
    {"m", "sound off and on"},
    {"f", "full screen and back"},
    {"? or h", "these keys"},
    {"Escape", "the end"},
};
const int keyHelpLines = sizeof keyHelp / sizeof keyHelp[0];

RunEvent eventForKey(Key key, bool repeat) {
    switch (key) {
        case Key::right:
        case Key::l: return RunEvent{RunCommand::forward, 0};
        case Key::left:
        case Key::j: return RunEvent{RunCommand::back, 0};
        case Key::period: return RunEvent{RunCommand::frameForward, 0};
        case Key::comma: return RunEvent{RunCommand::frameBack, 0};
        default: break;
    }
    if (repeat) return RunEvent{};
    if (key >= Key::digit0 && key <= Key::digit9) {
        const int tenths = static_cast<int>(key) - static_cast<int>(Key::digit0);
        return RunEvent{RunCommand::seekTo, sequenceEndMs / 10 * tenths};
    }
    switch (key) {
        case Key::escape: return RunEvent{RunCommand::stop, 0};
        case Key::space:
        case Key::k: return RunEvent{RunCommand::pauseOrResume, 0};
        case Key::pageDown: return RunEvent{RunCommand::nextScene, 0};
        case Key::pageUp: return RunEvent{RunCommand::previousScene, 0};
        case Key::home: return RunEvent{RunCommand::toStart, 0};
        // The credits, the last row of the timeline.
        case Key::end: return RunEvent{RunCommand::seekTo, timeline[timelineRows - 1].range.start};
        case Key::m: return RunEvent{RunCommand::muteOrUnmute, 0};
        case Key::f: return RunEvent{RunCommand::fullScreen, 0};
        case Key::h:
        case Key::question: return RunEvent{RunCommand::help, 0};
        default: return RunEvent{};
    }
}
