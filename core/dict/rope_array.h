// An array indexed by id whose elements never move: storage comes in chunks of N elements,
// so appending allocates at most one chunk and copies nothing, and the address of an element
// stays valid once its chunk holds storage. Indexing is a division, a remainder and two
// loads. Elements are plain data, read by const reference and written by set().
//
// A chunk whose slots are all empty (bytewise the value-initialised T{}) costs nothing: it
// points at one shared chunk of empty slots until a slot in it is first set to a value that
// is not empty, and only then gets N * sizeof(T) bytes of its own. So an array grown to n
// slots costs 8 bytes per N slots for the chunk pointers (some 0.5 MB for 16,777,216 slots of
// N = 255), plus one chunk per chunk that ever held a value that is not empty: never more
// chunks than such values set, whatever size the ids read from a file give the array. Growing
// by resize with an empty fill writes nothing but the pointers (and the old last chunk's
// slots past the old size). For the dictionary's id arrays (4,080-byte chunks of words,
// 1,016-byte chunks of idioms on a 64-bit machine) a file whose ids fall one to a chunk costs
// a chunk per record: some 4 KB per word record of 11 bytes or more, never more than
// 268 MB of word chunks and 134 MB of idiom chunks, the arrays at the id ceiling.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

namespace tsugihagi {

template <typename T, int N>
class rope_array {
  static_assert(std::is_trivially_copyable_v<T>, "elements are copied bytewise");
  static_assert(N > 0);

 public:
  rope_array() = default;
  rope_array(const rope_array&) = delete;
  rope_array& operator=(const rope_array&) = delete;
  ~rope_array() { release(); }

  // REQUIRES: i < size(). An element of a chunk never set reads as T{}.
  const T& operator[](std::int32_t i) const {
    const auto u = static_cast<std::uint32_t>(i);
    return chunks_[u / N][u % N];
  }
  // Writes element i, allocating its chunk unless the value is empty and the chunk absent.
  // REQUIRES: i < size().
  void set(std::int32_t i, const T& value) {
    const auto u = static_cast<std::uint32_t>(i);
    T*& chunk = chunks_[u / N];
    if (chunk == shared_empty_chunk_) {
      if (is_empty(value)) return;
      chunk = allocate_chunk();
      ++allocated_;
    }
    chunk[u % N] = value;
  }
  // Calls f(i, element) for each i below size() in order, but for the elements of chunks
  // never set: the same calls as a loop over every index, skipping only elements known to
  // be T{}. O(size() / N + allocated_chunks() * N).
  template <typename F>
  void for_each_stored(F f) const {
    for (std::size_t c = 0; c < chunks_.size(); ++c) {
      if (chunks_[c] == shared_empty_chunk_) continue;
      const auto first = static_cast<std::int64_t>(c) * N;
      const auto end = std::min<std::int64_t>(first + N, size_);
      for (std::int64_t i = first; i < end; ++i)
        f(static_cast<std::int32_t>(i), chunks_[c][i - first]);
    }
  }
  std::int32_t size() const { return size_; }
  // The chunks the size spans, ceil(size() / N), allocated or not.
  std::size_t chunk_count() const { return chunks_.size(); }
  // The chunks holding storage: those with a slot once set to a value that is not empty.
  std::size_t allocated_chunks() const { return allocated_; }

  void push_back(const T& value) {
    if (size_ % N == 0) chunks_.push_back(shared_empty_chunk_);
    ++size_;
    set(size_ - 1, value);
  }

  // Sets the size to n, writing `fill` into every new element; shrinking frees the chunks
  // past the new end.
  void resize(std::int32_t n, const T& fill) {
    if (n > size_) {
      // Slots of the old last chunk past the old size hold stale values, so they are written
      // even with an empty fill; the chunks added are absent, empty already.
      const auto old_end = static_cast<std::int64_t>(chunks_.size()) * N;
      const auto written_end =
          static_cast<std::int32_t>(is_empty(fill) ? std::min<std::int64_t>(n, old_end) : n);
      chunks_.resize(chunks_needed(n), shared_empty_chunk_);
      for (std::int32_t i = size_; i < written_end; ++i)
        set(i, fill);
    } else if (n < size_) {
      const std::size_t needed = chunks_needed(n);
      while (chunks_.size() > needed) {
        free_chunk(chunks_.back());
        chunks_.pop_back();
      }
    }
    size_ = n;
  }

 private:
  static std::size_t chunks_needed(std::int32_t n) {
    return (static_cast<std::size_t>(n) + N - 1) / N;
  }
  // Whether the value is bytewise T{}: such a value needs no chunk. A type whose bytes do
  // not say its value (padding) is never taken for empty.
  static bool is_empty(const T& value) {
    if constexpr (std::has_unique_object_representations_v<T>) {
      return std::memcmp(&value, &shared_empty_chunk_[0], sizeof(T)) == 0;
    } else {
      return false;
    }
  }
  // A chunk whose every slot is empty.
  static T* allocate_chunk() {
    T* chunk = static_cast<T*>(::operator new(sizeof(T) * N));
    for (int i = 0; i < N; ++i)
      chunk[i] = T{};
    return chunk;
  }
  void free_chunk(T* chunk) {
    if (chunk == shared_empty_chunk_) return;
    ::operator delete(chunk);
    --allocated_;
  }
  void release() {
    for (std::size_t c = 0; c < chunks_.size() && allocated_ > 0; ++c)
      free_chunk(chunks_[c]);
    chunks_.clear();
    chunks_.shrink_to_fit();
    size_ = 0;
  }

  // Stands for every chunk never set, so that indexing one needs no test. Never written.
  static inline T shared_empty_chunk_[N]{};
  std::vector<T*> chunks_;
  std::size_t allocated_ = 0;
  std::int32_t size_ = 0;
};

}  // namespace tsugihagi
