#include <cstdlib>

#include "support/allocator.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace support {

void KeepFreedMemory() {
#if defined(__GLIBC__)
  // Free memory at the top of a heap is kept up to this much, and blocks up
  // to the most the library allows are carved from the heaps, not mapped for
  // each allocation and unmapped at each free.
  ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
  ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
#endif
}

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
}

}  // namespace support
