// keys.h -- the viewer's keys and what each asks of a run: one table for the player and the page alike
#pragma once

#include "app/run.h"

// The keys a run answers, as the front ends name them from their own key events: letters and
// digits by the character they type, whatever the keyboard's layout.
enum class Key {
    none, escape, space, left, right, pageUp, pageDown, home, end, comma, period,
    k, j, l, m, f, h, question,
    digit0, digit1, digit2, digit3, digit4, digit5, digit6, digit7, digit8, digit9,
};

// What a key going down asks of the run: none for keys that ask nothing. repeat: the system
// repeats a held key. A held seek or frame step goes on with each repeat; the other keys act
// once a press. A digit n asks for a seek to n tenths of the sequence (RunEvent::ms).
RunEvent eventForKey(Key key, bool repeat);

// One line a key of the table, for the help overlay and the README: the keys, then what they do.
struct KeyHelp {
    const char* keys = nullptr;
    const char* does = nullptr;
};
extern const KeyHelp keyHelp[];
extern const int keyHelpLines;
