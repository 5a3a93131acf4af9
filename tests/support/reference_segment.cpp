#include "tests/support/reference_segment.h"

#include <algorithm>
#include <deque>

#include "tests/support/reference.h"

namespace tsugihagi::reference {
namespace {

struct work_item {
  std::int32_t window;
  std::int32_t region;
  std::int32_t window_length;
  std::int32_t region_length;
};

}  // namespace

bool segment(strmorph::dic_t& d, std::u16string_view text,
             std::map<std::int32_t, std::int32_t>& out) {
  const char16_t* u = text.data();
  const auto length = static_cast<std::int32_t>(text.size());
  out.clear();
  bool flag = true;
  std::deque<work_item> stack;
  stack.push_front({0, 0, length, length});
  while (!stack.empty()) {
    const work_item item = stack.front();
    stack.pop_front();
    const std::int32_t w = item.window;
    const std::int32_t r = item.region;
    const std::int32_t n = item.window_length;
    const std::int32_t m = item.region_length;
    if (n < 2) {
      out[r] = strmorph::add_word(d, u + r, m).first->second.id;
      continue;
    }
    const auto* known =
        find_word(d, text.substr(static_cast<std::size_t>(w), static_cast<std::size_t>(n)));
    if (known != nullptr) {
      out[w] = known->second.id;
      if (w != r) {
        const std::int32_t left = w - r;
        stack.push_front({r, r, std::min(n - 1, left), left});
      }
      const std::int32_t right = (r + m) - (w + n);
      if (right > 0) stack.push_front({w + n, w + n, right, right});
    } else if (w + n != r + m) {
      stack.push_front({w + 1, r, n, m});
    } else if (n == 2) {
      out[r] = strmorph::add_word(d, u + r, m).first->second.id;
      flag = false;
    } else {
      stack.push_front({r, r, n - 1, m});
    }
  }
  return flag;
}

}  // namespace tsugihagi::reference
