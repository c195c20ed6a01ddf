// data_path.h -- the folder the demo's files are read from, chosen once at start-up
#pragma once
#include <string>

// The scenes and the music name their files "data/NAME"; these are read from one folder,
// "data" in the working directory until another is set.
void setDataFolder(const std::string& folder);
const std::string& dataFolder();

// "data/NAME" in the chosen folder; any other path unchanged. A null path stays null.
std::string dataPath(const char* path);

// Where an installed copy keeps its data, relative to the folder of its programs.
extern const char* installedDataFolder;  // "../share/talumen/data"; on Windows "data"

// The folder to read from: a data/ in the working directory that holds the track comes first
// (whatever else it holds: a broken one is reported through the loaders' messages, not
// passed over); otherwise programFolder/installedDataFolder when that is a folder;
// otherwise "data", so the loaders report what is missing. programFolder may be empty.
std::string chooseDataFolder(const std::string& programFolder);
