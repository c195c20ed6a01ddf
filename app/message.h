// message.h -- the one error channel: a modal box with an OK button, or a line on stderr
#pragma once

using MessageHandler = void (*)(const char* text, const char* caption);

// Where boxes go. The player points it at its windowing layer; by default (offline
// rendering, tests) every message is one "caption: text" line on stderr.
extern MessageHandler messageHandler;

void messageBox(const char* text, const char* caption);
void writeMessageLine(const char* text, const char* caption);
