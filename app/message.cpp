// message.cpp -- routes the program's error messages to whichever sink is installed
#include "app/message.h"

#include <cstdio>

void writeMessageLine(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

MessageHandler messageHandler = writeMessageLine;

void messageBox(const char* text, const char* caption) {
    (messageHandler ? messageHandler : writeMessageLine)(text, caption);
}
