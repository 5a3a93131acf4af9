// An array indexed by id whose elements never move: storage comes in chunks of N elements,
// so appending allocates at most one chunk and copies nothing, and pointers to elements stay
// valid. Indexing is a division, a remainder and two loads. Elements are plain data.
#pragma once

#include <cstdint>
#include <cstdlib>
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

  // REQUIRES: i < size().
  T& operator[](std::int32_t i) {
    const auto u = static_cast<std::uint32_t>(i);
    return chunks_[u / N][u % N];
  }
  const T& operator[](std::int32_t i) const {
    const auto u = static_cast<std::uint32_t>(i);
    return chunks_[u / N][u % N];
  }
  std::int32_t size() const { return size_; }
  std::size_t chunk_count() const { return chunks_.size(); }

  void push_back(const T& value) {
    if (size_ % N == 0) chunks_.push_back(allocate_chunk());
    chunks_.back()[size_ % N] = value;
    ++size_;
  }

  // Sets the size to n, writing `fill` into every new element; shrinking frees the chunks
  // past the new end.
  void resize(std::int32_t n, const T& fill) {
    if (n > size_) {
      const std::size_t needed = chunks_needed(n);
      while (chunks_.size() < needed)
        chunks_.push_back(allocate_chunk());
      for (std::int32_t i = size_; i < n; ++i)
        (*this)[i] = fill;
    } else if (n < size_) {
      const std::size_t needed = chunks_needed(n);
      while (chunks_.size() > needed) {
        ::operator delete(chunks_.back());
        chunks_.pop_back();
      }
    }
    size_ = n;
  }

 private:
  static std::size_t chunks_needed(std::int32_t n) {
    return (static_cast<std::size_t>(n) + N - 1) / N;
  }
  static T* allocate_chunk() { return static_cast<T*>(::operator new(sizeof(T) * N)); }
  void release() {
    for (T* chunk : chunks_)
      ::operator delete(chunk);
    chunks_.clear();
    chunks_.shrink_to_fit();
    size_ = 0;
  }

  std::vector<T*> chunks_;
  std::int32_t size_ = 0;
};

}  // namespace tsugihagi
