// A longest common subsequence of two id sequences, with a `joined` flag per element that
// says whether the next element follows it directly in both. O(n*m) time in a trace table
// that is kept between calls and grows only when a larger one is needed.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tsugihagi {

template <typename Element>
struct common_subsequence {
  std::vector<Element> ids;
  std::vector<std::uint8_t> flags;  // 1: the next element follows directly in both inputs
  std::int32_t count() const { return static_cast<std::int32_t>(ids.size()); }
};

template <typename Element, typename Length>
class lcsubsequence {
 public:
  lcsubsequence() = default;
  lcsubsequence(const lcsubsequence&) = delete;
  lcsubsequence& operator=(const lcsubsequence&) = delete;
  ~lcsubsequence() = default;

  // The subsequence chosen by preferring "up" on ties and tracing back from the end; the ids
  // come from `a`.
  common_subsequence<Element> compute(std::span<const Element> a, std::span<const Element> b) {
    const std::size_t n = a.size();
    const std::size_t m = b.size();
    const std::size_t width = m + 1;
    const std::size_t cells = (n + 1) * width;
    if (table_.size() < cells) {
      table_.clear();
      table_.shrink_to_fit();
      table_.resize(cells);
    }
    std::fill(table_.begin(), table_.begin() + static_cast<std::ptrdiff_t>(cells), cell{});
    for (std::size_t i = 1; i <= n; ++i) {
      for (std::size_t j = 1; j <= m; ++j) {
        cell& c = table_[i * width + j];
        if (a[i - 1] == b[j - 1]) {
          c = {static_cast<Length>(table_[(i - 1) * width + j - 1].length + 1), diagonal};
        } else {
          const Length up_length = table_[(i - 1) * width + j].length;
          const Length left_length = table_[i * width + j - 1].length;
          c = up_length >= left_length ? cell{up_length, up} : cell{left_length, left};
        }
      }
    }
    // The walk back from (n, m) meets one diagonal step per element of the result.
    const auto count = static_cast<std::size_t>(table_[n * width + m].length);
    common_subsequence<Element> result;
    result.ids.resize(count);
    result.flags.resize(count);
    for (std::size_t i = n, j = m, k = count; k > 0;) {
      switch (table_[i * width + j].step) {
        case diagonal:
          result.flags[k - 1] = (k != count && a[i] == b[j] && a[i] == result.ids[k]) ? 1 : 0;
          result.ids[k - 1] = a[i - 1];
          --k, --i, --j;
          break;
        case up:
          --i;
          break;
        default:
          --j;
          break;
      }
    }
    return result;
  }

  std::size_t capacity() const { return table_.size(); }

 private:
  enum step_kind : std::int32_t { none = 0, left = 1, up = 2, diagonal = 3 };
  struct cell {
    Length length = 0;
    std::int32_t step = none;
  };
  std::vector<cell> table_;
};

}  // namespace tsugihagi
