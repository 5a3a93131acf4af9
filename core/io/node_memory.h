// Memory for pools of small nodes (a Boost.Pool UserAllocator): blocks whose pages are made
// present when the block is taken, so that filling a pool of many nodes, as loading a large
// dictionary does, costs one request to the system per block instead of a page fault per
// 4 KiB. Where the system cannot do that, plain new[] and delete[].
#pragma once

#include <cstddef>

namespace tsugihagi {

struct node_memory {
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;

  // A block of `bytes`, aligned for any object; null when there is no memory to give.
  static char* malloc(size_type bytes);
  // REQUIRES: block came from node_memory::malloc and was not freed yet.
  static void free(char* block);
};

// Asks the system to make the pages of a fresh anonymous mapping present now, in one request
// (Linux); elsewhere, or on a kernel without the request, they are faulted in as touched.
void make_pages_present(void* pages, std::size_t bytes);

}  // namespace tsugihagi
