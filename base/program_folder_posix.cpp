// program_folder_posix.cpp -- the running program's folder, read from /proc/self/exe
#include "base/program_folder.h"

#include <unistd.h>

#include <vector>

std::string programFolder() {
    // readlink does not say whether the name was cut short, so the buffer grows until it fits.
    for (size_t size = 256; size <= (1u << 16); size *= 2) {
        std::vector<char> name(size);
        const ssize_t length = readlink("/proc/self/exe", name.data(), size);
        if (length <= 0) return {};
        if (static_cast<size_t>(length) < size) {
            std::string path(name.data(), static_cast<size_t>(length));
            const size_t slash = path.rfind('/');
            if (slash == std::string::npos) return {};
            return slash == 0 ? "/" : path.substr(0, slash);
        }
    }
    return {};
}
