#pragma once
// Asking the system to back a large buffer with large pages before it is
// first touched: filling a buffer of a hundred megabytes then takes a few
// dozen page faults rather than tens of thousands.

#include <cstddef>

namespace support {

// A hint for the whole pages within [data, data + size); buffers smaller than
// a large page are left alone. It never fails: without large pages the
// buffer is what it was.
void PreferLargePages(void* data, std::size_t size);

}  // namespace support
