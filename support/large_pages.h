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

// Maps the whole pages within [data, data + size) at once, where the system
// can: one call instead of a fault at the first touch of each page, which on
// a virtual machine costs about as much as filling the page. For a fresh
// buffer that will be filled whole; small ones are left alone.
void MapPagesNow(void* data, std::size_t size);

}  // namespace support
