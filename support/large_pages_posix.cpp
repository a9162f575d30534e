#include "support/large_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace support {

void PreferLargePages(void* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr std::size_t kLargePage = std::size_t{2} << 20;
  if (!data || size < kLargePage) return;
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  if (page == 0 || page == static_cast<std::uintptr_t>(-1)) return;
  const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
  const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
  if (to > from) (void)madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

void MapPagesNow(void* data, std::size_t size) {
#if defined(__linux__)
  // MADV_POPULATE_WRITE (Linux 5.14); an older system refuses the advice and
  // the pages come at the first touch as before.
  constexpr int kPopulateWrite = 23;
  constexpr std::size_t kWorthIt = std::size_t{64} << 10;
  if (!data || size < kWorthIt) return;
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  if (page == 0 || page == static_cast<std::uintptr_t>(-1)) return;
  const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
  const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
  if (to > from) (void)madvise(reinterpret_cast<void*>(from), to - from, kPopulateWrite);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace support
