// child_process.cpp -- the encoder process on Windows: CreateProcess with a pipe, and cleanup on Ctrl+C
#include "platform/child_process.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

const char* encoderSource = " (ffmpeg.exe, from a build of ffmpeg for Windows, in a folder on PATH)";

// Names pass through the C library in the code page it opens files with.
static std::wstring wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring result(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &result[0], length);
    result.resize(static_cast<size_t>(length) - 1);
    return result;
}

static std::string narrow(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &result[0], length, nullptr, nullptr);
    result.resize(static_cast<size_t>(length) - 1);
    return result;
}

// The system's words for the last error, on one line.
static std::string lastErrorText() {
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string said = length ? narrow(std::wstring(text, length)) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ' || said.back() == '.'))
        said.pop_back();
    return said;
}

std::string findOnPath(const char* name) {
    const char* path = std::getenv("PATH");
    if (!path || !name) return "";
    std::string file = name;
    if (file.size() < 4 || _stricmp(file.c_str() + file.size() - 4, ".exe") != 0) file += ".exe";
    const std::string dirs = path;
    for (size_t begin = 0; begin <= dirs.size();) {
        size_t end = dirs.find(';', begin);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(begin, end - begin);
        begin = end + 1;
        // A folder may be written in quotes, for the semicolons in its name.
        if (dir.size() >= 2 && dir.front() == '"' && dir.back() == '"') dir = dir.substr(1, dir.size() - 2);
        if (dir.empty()) continue;
        if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
        const DWORD attributes = GetFileAttributesW(wide(dir + file).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return dir + file;
    }
    return "";
}

bool makeLogFile(std::string& path, std::string& error) {
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"tal", 0, name)) {
        error = "cannot make a log file for ffmpeg: " + lastErrorText();
        return false;
    }
    path = narrow(name);
    return true;
}

// What the Ctrl+C handler, on a thread of its own, cleans up.
static CRITICAL_SECTION tracked;
static bool trackingReady = false;
static std::wstring partialPath;
static std::wstring childLog;
static std::wstring childFile;
static HANDLE childProcess = nullptr;

static void lockTracked() {
    if (!trackingReady) {
        InitializeCriticalSection(&tracked);
        trackingReady = true;
    }
    EnterCriticalSection(&tracked);
}

void trackPartialFile(const std::string& path) {
    lockTracked();
    partialPath = wide(path);
    LeaveCriticalSection(&tracked);
}

void trackTemporaryFile(const std::string& path) {
    lockTracked();
    childFile = wide(path);
    LeaveCriticalSection(&tracked);
}

void trackChild(const ChildProcess& child, const std::string& logPath) {
    lockTracked();
    childProcess = reinterpret_cast<HANDLE>(child.process);
    childLog = child.process ? wide(logPath) : std::wstring();
    LeaveCriticalSection(&tracked);
}

static BOOL WINAPI cleanUpOnStop(DWORD) {
    lockTracked();
    if (childProcess) {
        TerminateProcess(childProcess, 1);
        WaitForSingleObject(childProcess, 5000);
    }
    // The files go once their last handle closes, ours as the process ends.
    if (!partialPath.empty()) DeleteFileW(partialPath.c_str());
    if (!childLog.empty()) DeleteFileW(childLog.c_str());
    if (!childFile.empty()) DeleteFileW(childFile.c_str());
    // Held to the end, so that nothing is tracked anew; the default handler ends the process.
    return FALSE;
}

void installInterruptCleanup() {
    lockTracked();
    LeaveCriticalSection(&tracked);
    SetConsoleCtrlHandler(cleanUpOnStop, TRUE);
}

std::FILE* openPartialFile(const std::string& path) {
    // Shared for deletion, so that the Ctrl+C handler can remove it while it is open.
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        errno = code == ERROR_PATH_NOT_FOUND || code == ERROR_FILE_NOT_FOUND ? ENOENT
                : code == ERROR_ACCESS_DENIED                                ? EACCES
                                                                             : EIO;
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "wb");
    if (!stream) _close(fd);
    return stream;
}

// One argument as the C library of the program started splits its command line back.
static std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

bool ChildProcess::start(const std::vector<std::string>& args, const std::string& logPath, std::string& error) {
    if (args.empty()) return false;
    std::wstring commandLine;
    for (const std::string& arg : args) commandLine += (commandLine.empty() ? L"" : L" ") + quoted(wide(arg));
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE log = CreateFileW(wide(logPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        error = "cannot write the log file " + logPath + ": " + lastErrorText();
        return false;
    }
    // A larger pipe takes a frame in a few writes rather than dozens of small ones.
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 1 << 20)) {
        error = "cannot make a pipe to " + args[0] + ": " + lastErrorText();
        CloseHandle(log);
        return false;
    }
    // Only the child's ends are inherited.
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    startup.hStdOutput = log;
    startup.hStdError = log;
    PROCESS_INFORMATION started{};
    const bool made = CreateProcessW(wide(args[0]).c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                     BELOW_NORMAL_PRIORITY_CLASS | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
    if (!made) error = "cannot start " + args[0] + ": " + lastErrorText();
    CloseHandle(readEnd);
    CloseHandle(log);
    if (!made) {
        CloseHandle(writeEnd);
        return false;
    }
    CloseHandle(started.hThread);
    process = reinterpret_cast<intptr_t>(started.hProcess);
    input = reinterpret_cast<intptr_t>(writeEnd);
    return true;
}

bool ChildProcess::write(const uint8_t* bytes, size_t size, std::string& error) {
    size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(input), bytes + done, chunk, &written, nullptr)) {
            error = lastErrorText();
            return false;
        }
        done += written;
    }
    return true;
}

void ChildProcess::closeInput() {
    if (input != -1) CloseHandle(reinterpret_cast<HANDLE>(input));
    input = -1;
}

int ChildProcess::wait() {
    closeInput();
    if (!process) return -1;
    HANDLE handle = reinterpret_cast<HANDLE>(process);
    WaitForSingleObject(handle, INFINITE);
    DWORD code = 0;
    const bool known = GetExitCodeProcess(handle, &code);
    CloseHandle(handle);
    process = 0;
    // Exception codes (0xC0000005 and the like) are deaths, not exits.
    return known && code < 0xC0000000u ? static_cast<int>(code) : -1;
}

void ChildProcess::kill() {
    closeInput();
    if (process) TerminateProcess(reinterpret_cast<HANDLE>(process), 0xC000013Au);
    wait();
}
