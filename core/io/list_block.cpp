#include "core/io/list_block.h"

#include <algorithm>
#include <atomic>
#include <new>

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

void list_block::release(std::uintptr_t bits) {
  if ((bits & carved_bit) != 0) {
    leave_chunk(header_of(bits));
  } else {
    delete[] reinterpret_cast<std::uint8_t*>(bits);
  }
}

list_arena::~list_arena() {
  if (chunk_ != nullptr) leave_chunk(reinterpret_cast<chunk_header*>(chunk_));
}

list_block list_arena::take(std::size_t n, std::size_t expected) {
#if defined(TSUGIHAGI_CARVED_LISTS)
  const std::size_t carved = (n + 1) & ~std::size_t{1};  // even, so that the low bit is free
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
