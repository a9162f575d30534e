#pragma once
// Which file a path names, independent of how the path is spelled.

#include <cstdint>
#include <optional>
#include <string>

namespace support {

struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator<(const FileIdentity& o) const {
    return device != o.device ? device < o.device : file < o.file;
  }
  bool operator==(const FileIdentity& o) const = default;
};

// The identity of the existing file or folder at `path`; none when it cannot
// be examined. One system call.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// Whether the system's file names ignore letter case ("Letters.pdf" and
// "LETTERS.PDF" name one file), as they do on Windows and, by default, on
// macOS.
bool FileNamesIgnoreCase();

}  // namespace support
