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

  std::uint8_t* get() const { return reinterpret_cast<std::uint8_t*>(bits_ & ~carved_bit); }
  std::uint8_t& operator[](std::size_t i) const { return get()[i]; }
  explicit operator bool() const { return bits_ != 0; }
  friend bool operator==(const list_block& block, std::nullptr_t) { return block.bits_ == 0; }
  // Whether the block is a part of a shared chunk.
  bool carved() const { return (bits_ & carved_bit) != 0; }
  void reset() {
    free();
    bits_ = 0;
  }

 private:
  friend class list_arena;
  static constexpr std::uintptr_t carved_bit = 1;

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

// How many chunks are alive in this process: for tests.
std::size_t live_list_chunks();

}  // namespace tsugihagi
