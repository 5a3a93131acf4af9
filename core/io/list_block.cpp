#include "core/io/list_block.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "core/io/node_memory.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#define TSUGIHAGI_CARVED_LISTS 1
#endif

namespace tsugihagi {
namespace {

std::atomic<std::size_t> chunks_alive{0};

// At the start of every chunk; a chunk starts at a multiple of chunk_bytes, so that a carved
// block finds its chunk by rounding its address down.
struct chunk_header {
  std::size_t users;  // blocks carved from the chunk and still held, and the arena's hold
  std::size_t bytes;  // the chunk's length
};
constexpr std::size_t header_bytes = 16;
static_assert(sizeof(chunk_header) <= header_bytes);

chunk_header* header_of(std::uintptr_t address) {
  return reinterpret_cast<chunk_header*>(address & ~(list_arena::chunk_bytes - 1));
}

#if defined(TSUGIHAGI_CARVED_LISTS)

std::size_t page_bytes() {
  static const auto bytes = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return bytes;
}

// A chunk of `bytes` (a multiple of the page size, at most chunk_bytes) at a multiple of
// chunk_bytes, its pages made present; null when the system has no memory to give.
std::uint8_t* map_chunk(std::size_t bytes) {
  constexpr std::size_t align = list_arena::chunk_bytes;
  void* region =
      ::mmap(nullptr, bytes + align, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (region == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(region);
  const std::uintptr_t aligned = (start + align - 1) & ~(align - 1);
  const std::uintptr_t end = start + bytes + align;
  if (aligned > start) ::munmap(region, aligned - start);
  if (end > aligned + bytes)
    ::munmap(reinterpret_cast<void*>(aligned + bytes), end - aligned - bytes);
  auto* chunk = reinterpret_cast<std::uint8_t*>(aligned);
  // Only saves time, as does making the pages present.
  if (bytes == align) ::madvise(chunk, bytes, MADV_HUGEPAGE);
  make_pages_present(chunk, bytes);
  return chunk;
}

void unmap_chunk(std::uint8_t* chunk, std::size_t bytes) {
  ::munmap(chunk, bytes);
}

#endif

// Drops one user of the chunk; the last one frees it.
void leave_chunk(chunk_header* header) {
  if (--header->users > 0) return;
  --chunks_alive;
#if defined(TSUGIHAGI_CARVED_LISTS)
  unmap_chunk(reinterpret_cast<std::uint8_t*>(header), header->bytes);
#endif
}

}  // namespace

namespace {

// The pool of short blocks. Invariant: each page of page_bytes starts at a multiple of
// page_bytes with the number of its class (page_header_bytes: 4 bytes, then for the class of 4
// bytes the page's place in tiny_pages), followed by blocks of that class; a block is either
// given out (one list_block holds it), on its class's free list, or past its page's `next`,
// never touched yet. A free block of 8 bytes or more names the next one in its first 8 bytes;
// a free block of 4 names it in its 4 bytes as a tiny_link (0: none).
// The classes: every 4 bytes from 4 to 64 (16), every 8 to 128 (8), then sixteen per doubling
// to pool_max_bytes (80), so that a block is at most a sixteenth longer than asked beyond 128
// bytes. Blocks start at a multiple of 4 bytes, as the pooled tag bit needs.
constexpr std::size_t pool_classes = 104;
constexpr std::size_t page_bytes_of_pool = 64 * 1024;
constexpr std::size_t page_header_bytes = 8;
constexpr std::size_t pages_per_region = 32;

std::size_t class_of(std::size_t n) {
  if (n <= 64) return (n + 3) / 4 - 1;
  if (n <= 128) return 16 + (n - 64 + 7) / 8 - 1;
  const auto e = static_cast<std::size_t>(std::bit_width(n - 1)) - 1;  // 2^e < n <= 2^(e+1)
  const std::size_t step = std::size_t{1} << (e - 4);
  return 24 + (e - 7) * 16 + ((n + step - 1) / step - 17);
}

std::size_t class_bytes(std::size_t k) {
  if (k < 16) return 4 * (k + 1);
  if (k < 24) return 64 + 8 * (k - 15);
  const std::size_t e = (k - 24) / 16 + 7;
  return (17 + (k - 24) % 16) << (e - 4);
}

struct block_pool {
  std::mutex lock;
  void* free[pool_classes] = {};
  std::uint8_t* next[pool_classes] = {};  // the untouched rest of the class's newest page
  std::uint8_t* end[pool_classes] = {};
  std::uint8_t* region_next = nullptr;  // pages not given to a class yet
  std::uint8_t* region_end = nullptr;
  std::size_t live = 0;
  // The class of 4 bytes: its pages in the order taken, and the head of its free list.
  std::vector<std::uint8_t*> tiny_pages;
  std::uint32_t tiny_free = 0;
};

// A block of 4 bytes as a free-list link: its page's place in tiny_pages, then its place in
// the page in units of 4 bytes (never 0: the header comes first).
constexpr unsigned tiny_slot_bits = 14;
static_assert(page_bytes_of_pool / 4 <= std::size_t{1} << tiny_slot_bits);
constexpr std::size_t tiny_pages_max = std::size_t{1} << (32 - tiny_slot_bits);

block_pool& pool() {
  static block_pool* const the_pool = new block_pool;  // outlives every static list
  return *the_pool;
}

#if defined(TSUGIHAGI_CARVED_LISTS)
// A new page for class k, or false when the system has no memory to give.
bool new_page(block_pool& p, std::size_t k) {
  if (k == 0 && p.tiny_pages.size() >= tiny_pages_max) return false;
  if (p.region_next == p.region_end) {
    constexpr std::size_t region = pages_per_region * page_bytes_of_pool;
    void* mapped = ::mmap(nullptr, region + page_bytes_of_pool, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return false;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned =
        (start + page_bytes_of_pool - 1) & ~(std::uintptr_t{page_bytes_of_pool} - 1);
    if (aligned > start) ::munmap(mapped, aligned - start);
    const std::uintptr_t tail = start + region + page_bytes_of_pool - (aligned + region);
    if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + region), tail);
    p.region_next = reinterpret_cast<std::uint8_t*>(aligned);
    p.region_end = p.region_next + region;
  }
  std::uint8_t* page = p.region_next;
  p.region_next += page_bytes_of_pool;
  *reinterpret_cast<std::uint32_t*>(page) = static_cast<std::uint32_t>(k);
  if (k == 0) {
    reinterpret_cast<std::uint32_t*>(page)[1] = static_cast<std::uint32_t>(p.tiny_pages.size());
    p.tiny_pages.push_back(page);
  }
  p.next[k] = page + page_header_bytes;
  p.end[k] = page + page_bytes_of_pool;
  return true;
}

// A block of class k, or null.
std::uint8_t* pool_take(std::size_t k) {
  block_pool& p = pool();
  const std::lock_guard hold(p.lock);
  std::uint8_t* block = nullptr;
  if (k == 0 && p.tiny_free != 0) {
    block = p.tiny_pages[p.tiny_free >> tiny_slot_bits] +
            4 * (p.tiny_free & ((std::uint32_t{1} << tiny_slot_bits) - 1));
    std::memcpy(&p.tiny_free, block, sizeof(p.tiny_free));
  } else if (k != 0 && p.free[k] != nullptr) {
    block = static_cast<std::uint8_t*>(p.free[k]);
    std::memcpy(&p.free[k], block, sizeof(void*));
  } else {
    const std::size_t bytes = class_bytes(k);
    if (p.next[k] == nullptr || p.next[k] + bytes > p.end[k]) {
      if (!new_page(p, k)) return nullptr;
    }
    block = p.next[k];
    p.next[k] += bytes;
  }
  ++p.live;
  return block;
}

void pool_give_back(std::uint8_t* block) {
  const auto page =
      reinterpret_cast<std::uintptr_t>(block) & ~(std::uintptr_t{page_bytes_of_pool} - 1);
  const std::uint32_t k = *reinterpret_cast<const std::uint32_t*>(page);
  block_pool& p = pool();
  const std::lock_guard hold(p.lock);
  if (k == 0) {
    const std::uint32_t index = reinterpret_cast<const std::uint32_t*>(page)[1];
    std::memcpy(block, &p.tiny_free, sizeof(p.tiny_free));
    p.tiny_free = index << tiny_slot_bits |
                  static_cast<std::uint32_t>((reinterpret_cast<std::uintptr_t>(block) - page) / 4);
  } else {
    std::memcpy(block, &p.free[k], sizeof(void*));
    p.free[k] = block;
  }
  --p.live;
}
#endif

}  // namespace

std::size_t pooled_class_bytes(std::size_t n) {
  return class_bytes(class_of(n));
}

list_block make_list_block(std::size_t n, std::size_t& granted) {
  if (n <= pool_max_bytes) {
#if defined(TSUGIHAGI_CARVED_LISTS)
    if constexpr (list_blocks_pooled) {
      const std::size_t k = class_of(n);
      if (std::uint8_t* block = pool_take(k)) {
        granted = class_bytes(k);
        list_block pooled;
        pooled.bits_ = reinterpret_cast<std::uintptr_t>(block) | list_block::pooled_bit;
        return pooled;
      }
    }
#endif
    n = (n + 15) & ~std::size_t{15};
  }
  granted = n;
  return list_block(std::make_unique_for_overwrite<std::uint8_t[]>(n));
}

std::size_t live_pooled_blocks() {
  block_pool& p = pool();
  const std::lock_guard hold(p.lock);
  return p.live;
}

void list_block::release(std::uintptr_t bits) {
  if ((bits & carved_bit) != 0) {
    leave_chunk(header_of(bits));
  } else if ((bits & pooled_bit) != 0) {
#if defined(TSUGIHAGI_CARVED_LISTS)
    pool_give_back(reinterpret_cast<std::uint8_t*>(bits & ~tag_bits));
#endif
  } else {
    delete[] reinterpret_cast<std::uint8_t*>(bits);
  }
}

list_arena::~list_arena() {
  if (chunk_ != nullptr) leave_chunk(reinterpret_cast<chunk_header*>(chunk_));
}

list_block list_arena::take(std::size_t n, std::size_t expected) {
#if defined(TSUGIHAGI_CARVED_LISTS)
  const std::size_t carved = (n + 3) & ~std::size_t{3};  // so that the tag bits are free
  if (n <= carve_max_bytes) {
    if (chunk_ == nullptr || used_ + carved > reinterpret_cast<chunk_header*>(chunk_)->bytes) {
      // A chunk as long as what is expected still, within [one page, chunk_bytes].
      const std::size_t page = page_bytes();
      std::size_t bytes = std::max(header_bytes + carved, expected + header_bytes);
      bytes = std::min((bytes + page - 1) / page * page, chunk_bytes);
      std::uint8_t* chunk = map_chunk(bytes);
      if (chunk != nullptr) {
        if (chunk_ != nullptr) leave_chunk(reinterpret_cast<chunk_header*>(chunk_));
        chunk_ = chunk;
        ::new (chunk_) chunk_header{1, bytes};
        used_ = header_bytes;
        ++chunks_alive;
      }
    }
    if (chunk_ != nullptr && used_ + carved <= reinterpret_cast<chunk_header*>(chunk_)->bytes) {
      ++reinterpret_cast<chunk_header*>(chunk_)->users;
      list_block block;
      block.bits_ = reinterpret_cast<std::uintptr_t>(chunk_ + used_) | list_block::carved_bit;
      used_ += carved;
      return block;
    }
  }
#else
  (void)expected;
#endif
  return list_block(std::make_unique_for_overwrite<std::uint8_t[]>(n));
}

std::size_t live_list_chunks() {
  return chunks_alive;
}

}  // namespace tsugihagi
