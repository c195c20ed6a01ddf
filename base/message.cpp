// message.cpp -- routes the program's error messages to whichever sink is installed
#include "base/message.h"

#include <cstdio>

void writeMessageLine(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

MessageHandler messageHandler = writeMessageLine;

void messageBox(const char* text, const char* caption) {
    (messageHandler ? messageHandler : writeMessageLine)(text, caption);
}

HeldMessages* heldMessages = nullptr;

void holdMessage(const char* text, const char* caption) {
    if (!heldMessages) return writeMessageLine(text ? text : "", caption ? caption : "");
    heldMessages->texts.emplace_back(text ? text : "");
    heldMessages->captions.emplace_back(caption ? caption : "");
}

void HeldMessages::sayAll() {
    const HeldMessages said = *this;
    *this = HeldMessages();
    for (size_t i = 0; i < said.texts.size(); ++i) messageBox(said.texts[i].c_str(), said.captions[i].c_str());
}
