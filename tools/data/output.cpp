// output.cpp -- whole-file writes through a temporary name and a rename
#include "tools/data/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool writeWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string part = path + ".part";
    FILE* f = std::fopen(part.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "talumen-data: cannot write %s: %s\n", part.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    int err = ok ? 0 : errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && std::rename(part.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        std::fprintf(stderr, "talumen-data: cannot write %s: %s\n", path.c_str(), std::strerror(err));
        std::remove(part.c_str());
    }
    return ok;
}

bool writeWhole(const std::string& path, const std::string& text) {
    return writeWhole(path, std::vector<uint8_t>(text.begin(), text.end()));
}
