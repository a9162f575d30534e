#pragma once
// The local time zone, named once at start-up.

namespace support {

// Names the system's own time zone for the C library when nothing else does
// (TZ unset). Unnamed, the library looks at the zone file again at every
// conversion of a time, and opening a package converts the time of each of
// its parts: thousands of looks for a long merge. The zone is the same
// either way. Call it before any thread starts.
void SettleTimeZone();

}  // namespace support
