#include "support/large_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <system_error>
#include <thread>

namespace support {

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

// The whole pages within [data, data + size): false when there are none.
bool WholePages(void* data, std::size_t size, std::uintptr_t& from, std::uintptr_t& to) {
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  if (!data || page == 0 || page == static_cast<std::uintptr_t>(-1)) return false;
  from = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
  to = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
  return to > from;
}

}  // namespace

void PreferLargePages(void* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
  std::uintptr_t from = 0, to = 0;
  if (size < kLargePage || !WholePages(data, size, from, to)) return;
  (void)madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
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
  std::uintptr_t from = 0, to = 0;
  if (size < kWorthIt || !WholePages(data, size, from, to)) return;
  const auto map = [](std::uintptr_t a, std::uintptr_t b) {
    (void)madvise(reinterpret_cast<void*>(a), b - a, kPopulateWrite);
  };
  // The system clears each page it maps, and clearing a large buffer's pages
  // takes longer than filling them: two cores clear one half each.
  constexpr std::size_t kShared = std::size_t{16} << 20;
  const std::uintptr_t half = (from + (to - from) / 2) / kLargePage * kLargePage;
  if (to - from >= kShared && half > from && std::thread::hardware_concurrency() > 1) {
    try {
      std::thread other(map, half, to);
      map(from, half);
      other.join();
      return;
    } catch (const std::system_error&) {
      // no thread to be had: all on this one
    }
  }
  map(from, to);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace support
