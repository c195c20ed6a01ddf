// snapshot.h -- what a directory tree holds, to prove a program run in it wrote nothing
#pragma once
#include <map>
#include <string>
#include <vector>

// Every entry under root (root itself included), keyed by its path relative to root, with
// its kind, mode, size, inode and modification and change times: any file made, removed,
// written, renamed or re-permissioned in the tree changes the snapshot. Reads do not.
// Entries whose relative path starts with one of the excluded names are left out.
using TreeSnapshot = std::map<std::string, std::string>;
TreeSnapshot snapshotTree(const std::string& root, const std::vector<std::string>& excluded = {});

// The differences, one line each ("+ path", "- path", "~ path: before -> after"); empty when equal.
std::string snapshotDifferences(const TreeSnapshot& before, const TreeSnapshot& after);
