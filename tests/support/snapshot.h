// snapshot.h -- what a directory tree holds, to prove a program run in it wrote nothing
#pragma once
#include <map>
#include <string>

// Every entry under root (root itself as "."), by relative path, with its mode, size, inode and
// modification and change times: any file made, removed, written, renamed or re-permissioned shows.
using TreeSnapshot = std::map<std::string, std::string>;
TreeSnapshot snapshotTree(const std::string& root);

// One line per entry that appeared, went or changed; empty when the two are the same.
std::string snapshotDifferences(const TreeSnapshot& before, const TreeSnapshot& after);
