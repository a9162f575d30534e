#pragma once
// Shell folders (Qt's standard paths stand for the Windows shell here).

#include <functional>
#include <string>

namespace app {

// Shell folder numbers.
inline constexpr int kShellFolderDesktop = 0;

// The raw path of a special folder, or "" when the platform gives none.
std::string GetSpecialFolderPath(int folderNumber);
// Replaces the platform's answer (tests: a platform that knows no desktop).
// An empty function restores the platform's own.
void SetSpecialFolderSource(std::function<std::string(int)> source);
// The desktop folder with the separator appended; throws when the platform
// knows no desktop folder.
std::string GetDesktopFolder();

}  // namespace app
