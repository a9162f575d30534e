#pragma once
// The few file-system facts that the platforms answer differently (the folder
// scan's attributes, roots and length limits, and whether a file can be
// opened). Everything else (listing a folder, telling files from folders) goes
// through std::filesystem; which file a path names is in file_identity.h.
//
// Attribute values are the ones the scan has always compared: read-only 1,
// hidden 2, system 4, folder 16, archive 32, reparse point (link) 1024.
// On POSIX systems a name that begins with "." stands for hidden, a symbolic
// link for the reparse point, and the write bits for read-only; there is no
// system and no archive bit. So "hidden and archive" (34) never occurs for a
// file, and "hidden and system" folders (22, 1046) never occur: hidden files
// are listed and hidden folders are entered.

#include <string>

namespace support::fsys {

inline constexpr int kAttrReadOnly = 1;
inline constexpr int kAttrHidden = 2;
inline constexpr int kAttrSystem = 4;
inline constexpr int kAttrFolder = 16;
inline constexpr int kAttrArchive = 32;
inline constexpr int kAttrReparsePoint = 1024;

// The attribute value of the path (the link itself, not its target, for the
// reparse bit); -1 when the attributes cannot be read.
int Attributes(const std::string& path);

// True for the root folder of a drive or of the file system.
bool IsRootFolder(const std::string& path);

// True when the path names an existing file (not a folder) that the system
// would let us open. Never fails, not even for a name that is not UTF-8.
bool IsExistingFile(const std::string& path);

// True when a folder path (closing separator included) is too long for the
// platform to look below it (Windows: 260 UTF-16 units or more; POSIX:
// PATH_MAX bytes or more).
bool FolderPathTooLong(const std::string& folder);
// True when a folder name is longer than the platform allows (Windows: 260
// UTF-16 units or more; POSIX: more than NAME_MAX bytes).
bool NameTooLong(const std::string& name);

}  // namespace support::fsys
