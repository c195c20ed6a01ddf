// main.cpp -- talumen-data: makes every picture, mesh and the music track from source
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/data/icon.h"
#include "tools/data/meshes.h"
#include "tools/data/output.h"
#include "tools/data/pictures.h"
#include "tools/data/plot.h"
#include "tools/data/synth.h"
#include "tools/data/windows_files.h"

static int usage() {
    std::fprintf(stderr,
                 "usage: talumen-data DIR                   write every data file into DIR\n"
                 "       talumen-data --dialog-picture FILE  write the setup dialog's picture (PNG)\n"
                 "       talumen-data --keys-picture FILE    write the player's help card, the keys' table (JPEG)\n"
                 "       talumen-data --icon DIR             write the program's icons into DIR as an icon\n"
                 "                                           theme's folders: SIZExSIZE/apps/talumen.png, scalable/apps/talumen.svg\n"
                 "       talumen-data --plot FILE            plot the track's level (PNG)\n"
                 "       talumen-data --windows-resources DIR  write the Windows player's dialog.bmp and talumen.ico\n");
    return 2;
}

// The readings are taken from the decoded track, as the player hears it.
static bool trackLevels(std::vector<double>& levels) {
    const std::vector<uint8_t> ogg = encodeOgg(renderSong(), songChannels, songRate);
    std::vector<float> frames;
    int channels = 0, rate = 0;
    if (ogg.empty() || !decodeOgg(ogg, frames, channels, rate)) {
        std::fprintf(stderr, "talumen-data: cannot encode the track\n");
        return false;
    }
    levels = levelTrack(frames, channels, rate);
    return true;
}

static int plot(const char* path) {
    std::vector<double> levels;
    if (!trackLevels(levels)) return 1;
    printLevelSummary(levels);
    const std::vector<uint8_t> png = plotLevels(levels);
    if (png.empty()) {
        std::fprintf(stderr, "talumen-data: cannot draw the plot\n");
        return 1;
    }
    return writeWhole(path, png) ? 0 : 1;
}

static double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

static bool emit(const std::string& dir, const char* name, const std::vector<uint8_t>& bytes,
                 std::chrono::steady_clock::time_point start) {
    if (bytes.empty()) {
        std::fprintf(stderr, "talumen-data: cannot make %s\n", name);
        return false;
    }
    if (!writeWhole(dir + "/" + name, bytes)) return false;
    std::fprintf(stderr, "  %-14s %8zu bytes  %5.2f s\n", name, bytes.size(), secondsSince(start));
    return true;
}

static int generate(const std::string& dir) {
    const auto start = std::chrono::steady_clock::now();
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "talumen-data: cannot create %s: %s\n", dir.c_str(), std::strerror(errno));
        return 1;
    }
    struct stat info;
    if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        std::fprintf(stderr, "talumen-data: %s is not a directory\n", dir.c_str());
        return 1;
    }
    // Found out now rather than after the music has taken its seconds.
    if (access(dir.c_str(), W_OK | X_OK) != 0) {
        std::fprintf(stderr, "talumen-data: cannot write into %s: %s\n", dir.c_str(), std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "talumen-data: writing into %s\n", dir.c_str());
    // The music first: it takes longest, and a broken encoder should stop us early.
    std::vector<uint8_t> ogg = encodeOgg(renderSong(), songChannels, songRate);
    if (!emit(dir, "talumen.ogg", ogg, start)) return 1;
    ogg = {};
    for (const PictureMaker& picture : pictures)
        if (!emit(dir, picture.fileName, picture.make(), start)) return 1;
    for (const MeshMaker& mesh : meshes) {
        const std::string text = mesh.make();
        if (!emit(dir, mesh.fileName, std::vector<uint8_t>(text.begin(), text.end()), start)) return 1;
    }
    if (!emit(dir, dialogPictureName, makeDialogPicture(), start)) return 1;
    std::fprintf(stderr, "talumen-data: done in %.2f s\n", secondsSince(start));
    return 0;
}

// Makes path and each folder above it that is missing.
static bool makeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "talumen-data: cannot create %s: %s\n", folder.c_str(), std::strerror(errno));
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

// Each size where a theme looks for it, so that the folder installs as it is under hicolor.
static int writeIcons(const std::string& dir) {
    for (int i = 0; i <= iconSizeCount; ++i) {
        const bool scalable = i == iconSizeCount;
        const std::string size = scalable ? "scalable" : std::to_string(iconSizes[i]) + "x" + std::to_string(iconSizes[i]);
        const std::vector<uint8_t> bytes = scalable ? makeScalableIcon() : makeIcon(iconSizes[i]);
        if (bytes.empty()) {
            std::fprintf(stderr, "talumen-data: cannot draw the %s icon\n", size.c_str());
            return 1;
        }
        const std::string folder = dir + "/" + size + "/apps";
        if (!makeFolders(folder) || !writeWhole(folder + (scalable ? "/talumen.svg" : "/talumen.png"), bytes)) return 1;
    }
    return 0;
}

// The setup dialog's picture as the bitmap its resource takes, and the icon as an icon file.
static int writeWindowsResources(const std::string& dir) {
    const std::vector<uint8_t> bitmap = bmpFromPng(makeDialogPicture());
    const std::vector<uint8_t> icon = makeIconFile();
    if (bitmap.empty() || icon.empty()) {
        std::fprintf(stderr, "talumen-data: cannot draw the Windows player's resources\n");
        return 1;
    }
    return makeFolders(dir) && writeWhole(dir + "/dialog.bmp", bitmap) && writeWhole(dir + "/talumen.ico", icon) ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--icon") == 0) return writeIcons(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--dialog-picture") == 0) {
        std::vector<uint8_t> png = makeDialogPicture();
        if (png.empty()) {
            std::fprintf(stderr, "talumen-data: cannot draw the dialog picture\n");
            return 1;
        }
        return writeWhole(argv[2], png) ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "--keys-picture") == 0) {
        std::vector<uint8_t> jpeg = makeKeysPicture();
        if (jpeg.empty()) {
            std::fprintf(stderr, "talumen-data: cannot draw the keys' picture\n");
            return 1;
        }
        return writeWhole(argv[2], jpeg) ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "--plot") == 0) return plot(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--windows-resources") == 0) return writeWindowsResources(argv[2]);
    if (argc != 2 || argv[1][0] == '-') return usage();
    return generate(argv[1]);
}
