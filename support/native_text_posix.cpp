// POSIX: file names, arguments and the environment are bytes, UTF-8 by
// convention, and pass unchanged.
#include <cstdlib>

#include "support/native_text.h"

namespace support {

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

void UseUtf8Console() {}

}  // namespace support
