// Windows answers to the file-system facts.
#include <windows.h>

#include <string>

#include "support/file_attributes.h"
#include "support/paths.h"

namespace support::fsys {

namespace {
// The UTF-16 form of the path; "" (which names no file) for text that is not
// UTF-8.
std::wstring Wide(const std::string& utf8) {
  try {
    return support::ToFsPath(utf8).wstring();
  } catch (...) {
    return std::wstring();
  }
}
}  // namespace

int Attributes(const std::string& path) {
  if (path.empty()) return -1;
  const DWORD value = ::GetFileAttributesW(Wide(path).c_str());
  if (value == INVALID_FILE_ATTRIBUTES) return -1;
  return static_cast<int>(value);
}

bool IsRootFolder(const std::string& path) {
  if (path.empty()) return false;
  const auto p = support::ToFsPath(path);
  return p.has_root_path() && p.relative_path().empty();
}

bool IsExistingFile(const std::string& path) {
  if (path.empty()) return false;
  // No access asked for, sharing read and write: succeeds for any existing
  // file that is not locked against everybody, and never for a folder.
  HANDLE h =
      ::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

bool FolderPathTooLong(const std::string& folder) {
  return Wide(folder).size() >= MAX_PATH;
}
bool NameTooLong(const std::string& name) {
  return Wide(name).size() >= MAX_PATH;
}

}  // namespace support::fsys
