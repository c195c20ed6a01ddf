// program_folder_win32.cpp -- the running program's folder on Windows, from its module's file name
#include "base/program_folder.h"

#include <windows.h>

#include <vector>

std::string programFolder() {
    // GetModuleFileNameW does not say whether the name was cut short but by filling the buffer,
    // so the buffer grows until it fits.
    for (DWORD size = 260; size <= 32768; size *= 2) {
        std::vector<wchar_t> name(size);
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), size);
        if (length == 0) return {};
        if (length < size) {
            std::wstring path(name.data(), length);
            const size_t slash = path.find_last_of(L"\\/");
            if (slash == std::wstring::npos) return {};
            path.resize(slash == 2 && path[1] == L':' ? 3 : slash);  // "C:\" keeps its backslash
            // In the code page the C library opens files with (UTF-8 under the program's manifest).
            const int bytes = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
            if (bytes <= 1) return {};
            std::string folder(static_cast<size_t>(bytes), '\0');
            WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, &folder[0], bytes, nullptr, nullptr);
            folder.resize(static_cast<size_t>(bytes) - 1);
            return folder;
        }
    }
    return {};
}
