#include <sys/stat.h>

#include "support/file_identity.h"

namespace support {

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

bool FileNamesIgnoreCase() {
#ifdef __APPLE__
  return true;
#else
  return false;
#endif
}

}  // namespace support
