// keys.cpp -- the table of the viewer's keys
#include "app/keys.h"

RunCommand commandForKey(Key key, bool repeat) {
    switch (key) {
        case Key::right: return RunCommand::forward;
        case Key::left: return RunCommand::back;
        default: break;
    }
    if (repeat) return RunCommand::none;
    switch (key) {
        case Key::escape: return RunCommand::stop;
        case Key::space: return RunCommand::pauseOrResume;
        case Key::pageDown: return RunCommand::nextScene;
        case Key::pageUp: return RunCommand::previousScene;
        case Key::home: return RunCommand::toStart;
        default: return RunCommand::none;
    }
}
