// The memory-backed folder on POSIX systems: Linux's /dev/shm, when it is a
// tmpfs that everyone may write to and that keeps each file its maker's.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "support/memory_folder.h"

#ifdef __linux__
#include <sys/vfs.h>
#endif

namespace support {

std::string MemoryFolder() {
  if (const char* chosen = std::getenv("TMPDIR"); chosen && *chosen) return std::string();
#ifdef __linux__
  constexpr const char* kFolder = "/dev/shm";
  constexpr long kTmpfsMagic = 0x01021994;
  struct statfs kind;
  struct stat info;
  if (::statfs(kFolder, &kind) != 0 || static_cast<long>(kind.f_type) != kTmpfsMagic)
    return std::string();
  if (::stat(kFolder, &info) != 0 || !S_ISDIR(info.st_mode) || !(info.st_mode & S_ISVTX) ||
      ::access(kFolder, W_OK | X_OK) != 0)
    return std::string();
  return kFolder;
#else
  return std::string();
#endif
}

}  // namespace support
