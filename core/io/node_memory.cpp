#include "core/io/node_memory.h"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tsugihagi {
namespace {

#if defined(__linux__)
// A mapped block keeps its length in front of what it hands out.
constexpr std::size_t header_bytes = alignof(std::max_align_t);
#endif

}  // namespace

char* node_memory::malloc(size_type bytes) {
#if defined(__linux__)
  const std::size_t length = header_bytes + bytes;
  void* region =
      ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (region == MAP_FAILED) return nullptr;
  make_pages_present(region, length);
  *static_cast<std::size_t*>(region) = length;
  return static_cast<char*>(region) + header_bytes;
#else
  return new (std::nothrow) char[bytes];
#endif
}

void node_memory::free(char* block) {
#if defined(__linux__)
  char* region = block - header_bytes;
  ::munmap(region, *reinterpret_cast<std::size_t*>(region));
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
