#include "core/io/node_memory.h"

#include <mutex>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tsugihagi {
namespace {

#if defined(__linux__)
// Every block keeps a word in front of what it hands out: the length of its own mapping, or
// 0 for a block carved from a region.
constexpr std::size_t header_bytes = alignof(std::max_align_t);

// Regions start at a multiple of region_bytes with this header; a carved block finds its
// region by rounding its address down. Invariant: users counts the blocks carved from the
// region and not freed, plus one while it is the region blocks are carved from; the region is
// unmapped when users drops to 0.
struct region_header {
  std::size_t users;
  std::size_t length;  // bytes mapped from the region's start
};
constexpr std::size_t region_header_bytes = alignof(std::max_align_t);
static_assert(sizeof(region_header) <= region_header_bytes);

struct regions {
  std::mutex lock;
  char* current = nullptr;  // the region blocks are carved from, or null
  std::size_t used = 0;     // bytes of it given out, its header included
};

regions& the_regions() {
  static regions* const r = new regions;  // outlives every static pool
  return *r;
}

std::size_t page_bytes() {
  static const auto bytes = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return bytes;
}

// A block of its own mapping; null when there is no memory to give.
char* map_own(std::size_t bytes) {
  const std::size_t length = header_bytes + bytes;
  void* mapped =
      ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  make_pages_present(mapped, length);
  *static_cast<std::size_t*>(mapped) = length;
  return static_cast<char*>(mapped) + header_bytes;
}

// A region of region_bytes at a multiple of its size, asked for as a huge page and made
// present; null when there is no memory to give.
char* map_region() {
  constexpr std::size_t bytes = node_memory::region_bytes;
  void* mapped =
      ::mmap(nullptr, 2 * bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + bytes - 1) & ~(std::uintptr_t{bytes} - 1);
  if (aligned > start) ::munmap(mapped, aligned - start);
  if (start + bytes > aligned)
    ::munmap(reinterpret_cast<void*>(aligned + bytes), start + bytes - aligned);
  auto* region = reinterpret_cast<char*>(aligned);
  ::madvise(region, bytes, MADV_HUGEPAGE);  // only saves time, as making it present does
  make_pages_present(region, bytes);
  ::new (region) region_header{1, bytes};
  return region;
}

// Drops one user of the region (lock held); the last one unmaps it.
void leave_region(char* region) {
  auto* header = reinterpret_cast<region_header*>(region);
  if (--header->users == 0) ::munmap(region, header->length);
}

// Stops carving from the current region (lock held): its pages past what was given out go
// back to the system.
void retire_region(regions& r) {
  const std::size_t page = page_bytes();
  const std::size_t kept = (r.used + page - 1) / page * page;
  auto* header = reinterpret_cast<region_header*>(r.current);
  if (kept < header->length) {
    ::munmap(r.current + kept, header->length - kept);
    header->length = kept;
  }
  leave_region(r.current);
  r.current = nullptr;
}
#endif

}  // namespace

char* node_memory::malloc(size_type bytes) {
#if defined(__linux__)
  const std::size_t carved = (header_bytes + bytes + header_bytes - 1) & ~(header_bytes - 1);
  if (bytes < carve_min_bytes || carved > region_bytes - region_header_bytes) {
    return map_own(bytes);
  }
  regions& r = the_regions();
  const std::lock_guard hold(r.lock);
  if (r.current != nullptr && r.used + carved > region_bytes) retire_region(r);
  if (r.current == nullptr) {
    r.current = map_region();
    if (r.current == nullptr) return map_own(bytes);
    r.used = region_header_bytes;
  }
  char* block = r.current + r.used;
  r.used += carved;
  ++reinterpret_cast<region_header*>(r.current)->users;
  *reinterpret_cast<std::size_t*>(block) = 0;
  return block + header_bytes;
#else
  return new (std::nothrow) char[bytes];
#endif
}

void node_memory::free(char* block) {
#if defined(__linux__)
  char* start = block - header_bytes;
  const std::size_t length = *reinterpret_cast<std::size_t*>(start);
  if (length != 0) {
    ::munmap(start, length);
    return;
  }
  const auto address = reinterpret_cast<std::uintptr_t>(start);
  regions& r = the_regions();
  const std::lock_guard hold(r.lock);
  leave_region(reinterpret_cast<char*>(address & ~(std::uintptr_t{region_bytes} - 1)));
#else
  delete[] block;
#endif
}

void make_pages_present([[maybe_unused]] void* pages, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__)
#if !defined(MADV_POPULATE_WRITE)
#define MADV_POPULATE_WRITE 23
#endif
  // Only saves time: a failure leaves the pages to be faulted in one by one.
  ::madvise(pages, bytes, MADV_POPULATE_WRITE);
#endif
}

}  // namespace tsugihagi
