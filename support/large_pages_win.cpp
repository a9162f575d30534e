#include "support/large_pages.h"

namespace support {

// Windows gives large pages only to a process holding the lock-pages
// privilege, and only through allocations made for them: nothing to ask.
void PreferLargePages(void*, std::size_t) {}
void MapPagesNow(void*, std::size_t) {}

}  // namespace support
