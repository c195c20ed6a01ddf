// snapshot.cpp -- directory-tree snapshots from lstat, compared entry by entry
#include "snapshot.h"

#include <sys/stat.h>

#include <filesystem>

static std::string describe(const std::string& path) {
    struct stat s {};
    if (lstat(path.c_str(), &s) != 0) return "unreadable";
    return "mode " + std::to_string(s.st_mode) + " size " + std::to_string(s.st_size) + " inode " +
           std::to_string(s.st_ino) + " mtime " + std::to_string(s.st_mtim.tv_sec) + "." +
           std::to_string(s.st_mtim.tv_nsec) + " ctime " + std::to_string(s.st_ctim.tv_sec) + "." +
           std::to_string(s.st_ctim.tv_nsec);
}

TreeSnapshot snapshotTree(const std::string& root) {
    namespace fs = std::filesystem;
    TreeSnapshot snapshot{{".", describe(root)}};
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
         !error && it != end; it.increment(error))
        snapshot[it->path().lexically_relative(root).string()] = describe(it->path().string());
    return snapshot;
}

std::string snapshotDifferences(const TreeSnapshot& before, const TreeSnapshot& after) {
    std::string differences;
    for (const auto& [path, was] : before)
        if (!after.count(path) || after.at(path) != was)
            differences += path + ": " + was + " -> " + (after.count(path) ? after.at(path) : "gone") + "\n";
    for (const auto& [path, is] : after)
        if (!before.count(path)) differences += path + ": new, " + is + "\n";
    return differences;
}
