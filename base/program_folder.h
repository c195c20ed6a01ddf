// program_folder.h -- where the running program's own file lies, for finding what was installed beside it
#pragma once
#include <string>

// The folder that holds the running executable, symbolic links resolved; empty when the
// system does not say.
std::string programFolder();
