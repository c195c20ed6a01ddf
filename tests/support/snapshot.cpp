// snapshot.cpp -- directory-tree snapshots from lstat, compared entry by entry
#include "snapshot.h"

#include <sys/stat.h>

#include <filesystem>

namespace {

std::string describe(const struct stat& s) {
    const char* kind = S_ISDIR(s.st_mode) ? "dir" : S_ISREG(s.st_mode) ? "file" : S_ISLNK(s.st_mode) ? "link" : "other";
    return std::string(kind) + " mode " + std::to_string(s.st_mode & 07777) + " size " + std::to_string(s.st_size) +
           " inode " + std::to_string(s.st_ino) + " mtime " + std::to_string(s.st_mtim.tv_sec) + "." +
           std::to_string(s.st_mtim.tv_nsec) + " ctime " + std::to_string(s.st_ctim.tv_sec) + "." +
           std::to_string(s.st_ctim.tv_nsec);
}

bool isExcluded(const std::string& relative, const std::vector<std::string>& excluded) {
    for (const std::string& name : excluded)
        if (relative == name || relative.rfind(name + "/", 0) == 0) return true;
    return false;
}

}  // namespace

TreeSnapshot snapshotTree(const std::string& root, const std::vector<std::string>& excluded) {
    namespace fs = std::filesystem;
    TreeSnapshot snapshot;
    struct stat s;
    if (lstat(root.c_str(), &s) != 0) return snapshot;
    snapshot["."] = describe(s);
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
    for (; !error && it != end; it.increment(error)) {
        const std::string path = it->path().string();
        const std::string relative = fs::relative(it->path(), root).string();
        if (isExcluded(relative, excluded)) {
            if (it->is_directory()) it.disable_recursion_pending();
            continue;
        }
        if (lstat(path.c_str(), &s) == 0) snapshot[relative] = describe(s);
    }
    return snapshot;
}

std::string snapshotDifferences(const TreeSnapshot& before, const TreeSnapshot& after) {
    std::string differences;
    for (const auto& [path, was] : before) {
        const auto now = after.find(path);
        if (now == after.end())
            differences += "- " + path + "\n";
        else if (now->second != was)
            differences += "~ " + path + ": " + was + " -> " + now->second + "\n";
    }
    for (const auto& [path, is] : after)
        if (!before.count(path)) differences += "+ " + path + " (" + is + ")\n";
    return differences;
}
