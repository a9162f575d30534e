#pragma once
// Files that ship beside the program (drag icon, samples, help document).

#include <string>

namespace filelist {

// The program's own folder as the program set it at start, or else the folder
// of the running executable; no closing separator.
std::string ProgramFolderPath();

}  // namespace filelist
