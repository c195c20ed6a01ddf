// keys.h -- the viewer's keys and what each asks of a run: one table for the player and the page alike
#pragma once

#include "app/run.h"

// The keys a run answers, as the front ends name them from their own key events.
enum class Key { none, escape, space, left, right, pageUp, pageDown, home };

// What a key going down asks of the run; none for keys that ask nothing. repeat: the system
// repeats a held key. A held arrow seeks again on each repeat; the other keys act once a press.
RunCommand commandForKey(Key key, bool repeat);
