// Memory for pools of small nodes (a Boost.Pool UserAllocator): blocks whose pages are made
// present when the block is taken, so that filling a pool of many nodes, as loading a large
// dictionary does, costs one request to the system per block instead of a page fault per
// 4 KiB. Blocks of carve_min_bytes or more are carved from regions of region_bytes mapped as
// huge pages, where the first writes to fresh memory cost far less (on a virtual machine,
// some 2 ms a megabyte for small pages against a tenth of that); a region's unused tail goes
// back to the system once blocks are carved from the next, and a region is unmapped with the
// last of its blocks. Thread-safe: a lock per block taken or freed. Where the system cannot
// map, plain new[] and delete[].
#pragma once

#include <cstddef>

namespace tsugihagi {

struct node_memory {
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  static constexpr std::size_t region_bytes = std::size_t{2} << 20;
  static constexpr std::size_t carve_min_bytes = 256 * 1024;

  // A block of `bytes`, aligned for any object; null when there is no memory to give.
  static char* malloc(size_type bytes);
  // REQUIRES: block came from node_memory::malloc and was not freed yet.
  static void free(char* block);
};

// Asks the system to make the pages of a fresh anonymous mapping present now, in one request
// (Linux); elsewhere, or on a kernel without the request, they are faulted in as touched.
void make_pages_present(void* pages, std::size_t bytes);

}  // namespace tsugihagi
