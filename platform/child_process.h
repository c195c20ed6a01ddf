// child_process.h -- the offline renderer's encoder process: started, fed through a pipe, waited for, and cleaned up after on interruption
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The full path of the program name found in a folder of PATH (on Windows name.exe); empty
// when there is none.
std::string findOnPath(const char* name);
// Where to get the encoder, for the message that says it is missing: " (Debian package ffmpeg)".
extern const char* encoderSource;

// A fresh empty file among the system's temporary files, for a child's output; false with the
// reason.
bool makeLogFile(std::string& path, std::string& error);

// A program whose standard input is a pipe we write and whose output and errors go to a log
// file. It runs below our priority: drawing is an export's critical path, and the encoder
// takes the cores' spare time, catching up whenever we wait for it on the pipe.
struct ChildProcess {
    intptr_t process = 0;  // the process id, or on Windows its handle; 0: none
    intptr_t input = -1;   // our end of the pipe: a file descriptor, or on Windows a handle; -1: closed

    // args[0] is the program's full path.
    bool start(const std::vector<std::string>& args, const std::string& logPath, std::string& error);
    // False, with the system's reason, when the child stopped reading.
    bool write(const uint8_t* bytes, size_t size, std::string& error);
    void closeInput();
    // Waits for the child to end: its exit code, 127 when the program could not be run, -1
    // when it did not exit by itself (killed, crashed).
    int wait();
    // Ends it at once and waits for it.
    void kill();
};

// Cleanup on interruption (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl+C, Ctrl+Break and a closed
// console): the tracked child is ended and the tracked files removed, then the process ends as
// the interruption would have ended it. A dead child shows as a failed write, not as a signal.
void installInterruptCleanup();
void trackPartialFile(const std::string& path);                  // empty: none
void trackTemporaryFile(const std::string& path);                // a file of the child's; empty: none
void trackChild(const ChildProcess& child, const std::string& logPath);  // a child of 0: none
// Creates (or empties) path and opens it for writing, as a file the cleanup can remove while it
// is open; null with errno set when it cannot.
std::FILE* openPartialFile(const std::string& path);
