#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include "support/time_zone.h"

namespace support {

void SettleTimeZone() {
  // The C library's own default, by the name it would look for.
  constexpr const char* kZoneFile = "/etc/localtime";
  struct stat info {};
  if (std::getenv("TZ") || ::stat(kZoneFile, &info) != 0) return;
  ::setenv("TZ", ":/etc/localtime", 0);
  ::tzset();
}

}  // namespace support
