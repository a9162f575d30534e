#pragma once
// Files that no other process can replace between their making and their use:
// a folder only this user can enter, and copies made as new files.

#include <string>

namespace support {

// Makes a new folder inside `parent`, named `prefix` and a random tail, that
// only the current user can enter, and returns its path. Never takes a folder
// that already exists. Throws std::system_error when none can be made.
std::string MakePrivateFolder(const std::string& parent, const std::string& prefix);

// Copies the file `from` to `to`, which is made as a new file: whatever
// already stands at `to` (a file, a folder, a link) makes the copy fail and is
// neither opened nor replaced. A copy that fails half-way is removed. Throws
// std::system_error.
void CopyToNewFile(const std::string& from, const std::string& to);

}  // namespace support
