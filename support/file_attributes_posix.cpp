// POSIX answers to the file-system facts (Linux, macOS).
#include <sys/stat.h>

#include <climits>
#include <string>

#include "support/file_attributes.h"
#include "support/paths.h"

namespace support::fsys {

namespace {
bool IsHiddenName(const std::string& path) {
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  name = support::GetFileName(name, '/');
  return name.size() > 1 && name[0] == '.' && name != "..";
}
}  // namespace

int Attributes(const std::string& path) {
  if (path.empty()) return -1;
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0) return -1;
  struct stat target = link;
  int value = 0;
  if (S_ISLNK(link.st_mode)) {
    value |= kAttrReparsePoint;
    if (::stat(path.c_str(), &target) != 0) target = link;
  }
  if (S_ISDIR(target.st_mode)) value |= kAttrFolder;
  if ((target.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) value |= kAttrReadOnly;
  if (IsHiddenName(path)) value |= kAttrHidden;
  return value;
}

bool IsRootFolder(const std::string& path) {
  if (path.empty()) return false;
  return path.find_first_not_of('/') == std::string::npos;
}

bool IsExistingFile(const std::string& path) {
  if (path.empty()) return false;
  struct stat info {};
  // Only regular files: a folder, a device, a pipe or a broken link is not
  // something a word processor can open.
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FolderPathTooLong(const std::string& folder) {
  return folder.size() >= PATH_MAX;
}
bool NameTooLong(const std::string& name) {
  return name.size() > NAME_MAX;
}

}  // namespace support::fsys
