// message.h -- the one error channel: a modal box with an OK button, or a line on stderr
#pragma once
#include <string>
#include <vector>

using MessageHandler = void (*)(const char* text, const char* caption);

// Where boxes go. The player points it at its windowing layer; by default (offline
// rendering, tests) every message is one "caption: text" line on stderr.
extern MessageHandler messageHandler;

void messageBox(const char* text, const char* caption);
void writeMessageLine(const char* text, const char* caption);

// Messages said while no box may show yet (behind the setup dialog or the page's start screen),
// kept to be said later in the order they came.
struct HeldMessages {
    std::vector<std::string> texts;
    std::vector<std::string> captions;
    void sayAll();  // each through messageBox, in order; then none is held
};
// Where holdMessage, as messageHandler, keeps what it is given; on stderr while null.
extern HeldMessages* heldMessages;
void holdMessage(const char* text, const char* caption);
