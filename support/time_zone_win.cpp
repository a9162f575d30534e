#include "support/time_zone.h"

namespace support {

// The system keeps the zone; the C library does not look for a file.
void SettleTimeZone() {}

}  // namespace support
