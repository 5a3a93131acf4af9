// The block holding a packed list's bytes, and the arena a loader carves such blocks from.
// A list_block owns either a block of its own (from new[]) or a part of a shared chunk of
// chunk_bytes; it is one pointer wide, the low bit telling which. Carving costs a bump of a
// pointer instead of a call to malloc, and where the system allows, a chunk is mapped as
// huge pages and filled in at once, so that touching a loaded dictionary's lists costs one
// page fault per chunk instead of one per 4 KiB. Each chunk counts the blocks carved from it
// that are still held, and is freed with the last of them: a carved list that regrows moves
// to a block of its own, leaving its old bytes unused until the chunk goes. Only Linux
// carves (chunks must start at a multiple of their size); elsewhere every block is its own.
// Not thread-safe: the blocks of one arena are freed by one thread at a time.
// A list that grows takes its blocks from make_list_block instead: one of a hundred size
// classes (multiples of 4 bytes from 4 to 64, of 8 up to 128, then sixteen classes per doubling
// up to pool_max_bytes; a third of a dictionary's lists take 4) cut from pages of one class each,
// so that a short list costs its class and nothing more (a malloc'd block costs 8 to 16 bytes of
// header and rounding, a third of a typical list), and a block let go is reused by the next list of
// its class. The pool keeps its pages for the life of the process and takes a lock for each block
// given or let go (threads may share it). Longer blocks, and every block where the pool is off (see
// list_blocks_pooled), come from new[].
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace tsugihagi {

class list_block {
 public:
  list_block() = default;
  list_block(std::nullptr_t) {}  // NOLINT: converts like a null unique_ptr
  // Takes over a block of its own.
  list_block(std::unique_ptr<std::uint8_t[]> owned)  // NOLINT: converts like unique_ptr
      : bits_(reinterpret_cast<std::uintptr_t>(owned.release())) {}
  list_block(list_block&& other) noexcept : bits_(std::exchange(other.bits_, 0)) {}
  list_block& operator=(list_block&& other) noexcept {
    if (this != &other) {
      free();
      bits_ = std::exchange(other.bits_, 0);
    }
    return *this;
  }
  list_block(const list_block&) = delete;
  list_block& operator=(const list_block&) = delete;
  ~list_block() { free(); }

  std::uint8_t* get() const { return reinterpret_cast<std::uint8_t*>(bits_ & ~tag_bits); }
  std::uint8_t& operator[](std::size_t i) const { return get()[i]; }
  explicit operator bool() const { return bits_ != 0; }
  friend bool operator==(const list_block& block, std::nullptr_t) { return block.bits_ == 0; }
  // Whether the block is a part of a shared chunk, or a block of the pool.
  bool carved() const { return (bits_ & carved_bit) != 0; }
  bool pooled() const { return (bits_ & pooled_bit) != 0; }
  void reset() {
    free();
    bits_ = 0;
  }

 private:
  friend class list_arena;
  friend list_block make_list_block(std::size_t n, std::size_t& granted);
  // Carved and pooled blocks start at a multiple of 4 bytes, own ones of 16.
  static constexpr std::uintptr_t carved_bit = 1;
  static constexpr std::uintptr_t pooled_bit = 2;
  static constexpr std::uintptr_t tag_bits = carved_bit | pooled_bit;

  void free() {
    if (bits_ != 0) release(bits_);
  }
  static void release(std::uintptr_t bits);

  std::uintptr_t bits_ = 0;
};

// Carves blocks for one load. The arena holds its current chunk until it is destroyed.
class list_arena {
 public:
  static constexpr std::size_t chunk_bytes = std::size_t{2} << 20;
  // Longer blocks are not carved: each gets a block of its own.
  static constexpr std::size_t carve_max_bytes = 64 * 1024;

  list_arena() = default;
  list_arena(const list_arena&) = delete;
  list_arena& operator=(const list_arena&) = delete;
  ~list_arena();

  // A block of n bytes, contents unspecified. `expected`, how many bytes the caller expects to
  // take in all from here on, sizes a new chunk, so that a small load maps little.
  // REQUIRES: n > 0.
  list_block take(std::size_t n, std::size_t expected = chunk_bytes);

 private:
  std::uint8_t* chunk_ = nullptr;  // null until the first carve
  std::size_t used_ = 0;           // bytes of chunk_ given out, its header included
};

// Whether make_list_block takes short blocks from the pool: on Linux, but not under
// AddressSanitizer, which then checks every list's block on its own.
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
inline constexpr bool list_blocks_pooled = true;
#else
inline constexpr bool list_blocks_pooled = false;
#endif
// Blocks of at most this many bytes come from the pool.
inline constexpr std::size_t pool_max_bytes = 4096;

// A block of at least n bytes (contents unspecified), `granted` set to how many it has: n
// rounded up to its class from the pool, else to a multiple of 16 (what malloc would give
// anyway) below pool_max_bytes, and n beyond. O(1). REQUIRES: 0 < n < 2^31.
list_block make_list_block(std::size_t n, std::size_t& granted);
// The length of the pool's class for n bytes. REQUIRES: 0 < n <= pool_max_bytes.
std::size_t pooled_class_bytes(std::size_t n);

// How many chunks are alive in this process: for tests.
std::size_t live_list_chunks();
// How many of the pool's blocks are given out and not let go: for tests.
std::size_t live_pooled_blocks();

}  // namespace tsugihagi
