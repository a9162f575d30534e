// Windows has no memory-backed folder for files.

#include "support/memory_folder.h"

namespace support {

std::string MemoryFolder() {
  return std::string();
}

}  // namespace support
