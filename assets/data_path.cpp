// data_path.cpp -- maps the scenes' "data/NAME" paths into the data folder chosen at start-up
#include "assets/data_path.h"

#include <cstring>
#include <filesystem>
#include <system_error>

// A build may keep its data elsewhere beside the programs (the Windows zip: data\ beside the .exe).
#ifndef TALUMEN_INSTALLED_DATA
#define TALUMEN_INSTALLED_DATA "../share/talumen/data"
#endif
const char* installedDataFolder = TALUMEN_INSTALLED_DATA;

static std::string& folderInUse() {
    static std::string folder = "data";
    return folder;
}

void setDataFolder(const std::string& folder) { folderInUse() = folder.empty() ? "data" : folder; }

const std::string& dataFolder() { return folderInUse(); }

std::string dataPath(const char* path) {
    if (!path) return {};
    static const char prefix[] = "data/";
    if (std::strncmp(path, prefix, sizeof prefix - 1) != 0) return path;
    return folderInUse() + "/" + (path + sizeof prefix - 1);
}

std::string chooseDataFolder(const std::string& programFolder) {
    namespace fs = std::filesystem;
    std::error_code error;
    // A data/ that holds no track is some other folder that happens to share the name (a home
    // folder's own, say), not the demo's.
    if (fs::exists("data/talumen.ogg", error)) return "data";
    if (!programFolder.empty()) {
        const fs::path installed = fs::path(programFolder) / installedDataFolder;
        if (fs::is_directory(installed, error)) return installed.lexically_normal().string();
    }
    return "data";
}
