#include "core/io/id_search.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/io/pair_index.h"
#include "core/io/primitives.h"

namespace tsugihagi::id_search {

using pair_index::not_found;

// The offset of the first value of the id (of a pair list: the first pair with the id) that
// the walkers visit, or not_found; walking the values one by one.
std::size_t walk_for_id(std::span<const std::uint8_t> bytes, std::uint32_t target, bool pairs) {
  std::size_t found = not_found;
  if (pairs) {
    packed_detail::walk_pairs(bytes, [&](std::size_t start, std::uint32_t value, std::uint32_t) {
      if (value == target) found = start;
      return found == not_found;
    });
  } else {
    packed_detail::walk_ids(bytes, [&](std::size_t start, std::uint32_t value) {
      if (value == target) found = start;
      return found == not_found;
    });
  }
  return found;
}

// The same answer on canonical bytes. Most searches fail, so where the id's encoding is two
// bytes or more, the bytes are searched for it sixteen positions at a time: most lists hold
// no copy of it at all, and a copy is a match only where a value (a pair) starts, which is
// then checked by stepping over the values before it. This relies on minimal encodings:
// there a value has one encoding, so a value equal to the id starts with exactly these
// bytes. A noncanonical list (a longer encoding) is walked value by value instead.
std::size_t first_with_id(std::span<const std::uint8_t> bytes, std::uint32_t target, bool pairs) {
#if defined(__SSE2__)
  std::uint8_t needle[5];
  const std::size_t needle_size = encode_compact_int(target, needle);
  if (needle_size < 2) return walk_for_id(bytes, target, pairs);
  const std::uint8_t* b = bytes.data();
  const std::size_t size = bytes.size();
  // The values (pairs) before `next` were visited; `next` is where the next one starts, or
  // SIZE_MAX once the walk met damage, past which nothing is visited.
  std::size_t next = 0;
  const auto starts_here = [&](std::size_t hit) {
    while (next < hit) {
      std::size_t after = b[next] > 4 ? SIZE_MAX : next + 1 + b[next];
      if (pairs && after != SIZE_MAX)  // then the count, which must be there
        after = after >= size || b[after] > 4 ? SIZE_MAX : after + 1 + b[after];
      next = after > size ? SIZE_MAX : after;
    }
    if (next != hit) return false;
    if (!pairs) return true;
    // The pair is visited only when its count is whole.
    const std::size_t count_pos = hit + needle_size;
    return count_pos < size && b[count_pos] <= 4 && count_pos + 1 + b[count_pos] <= size;
  };
  const auto matches = [&](std::size_t pos) {
    return pos + needle_size <= size && std::memcmp(b + pos, needle, needle_size) == 0 &&
           starts_here(pos);
  };
  const __m128i first = _mm_set1_epi8(static_cast<char>(needle[0]));
  const __m128i second = _mm_set1_epi8(static_cast<char>(needle[1]));
  // A third byte narrows the search further; a two-byte encoding repeats its second.
  const __m128i third = _mm_set1_epi8(static_cast<char>(needle[needle_size > 2 ? 2 : 1]));
  const std::size_t third_at = needle_size > 2 ? 2 : 1;
  std::size_t pos = 0;
  for (; pos + 18 <= size && next != SIZE_MAX; pos += 16) {
    const auto at = [&](std::size_t k) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + pos + k));
    };
    const __m128i hits =
        _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(at(0), first), _mm_cmpeq_epi8(at(1), second)),
                      _mm_cmpeq_epi8(at(third_at), third));
    for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
      const std::size_t hit = pos + static_cast<std::size_t>(std::countr_zero(mask));
      if (matches(hit)) return hit;
    }
  }
  for (; pos < size && next != SIZE_MAX; ++pos) {
    if (matches(pos)) return pos;
  }
  return not_found;
#else
  return walk_for_id(bytes, target, pairs);
#endif
}

}  // namespace tsugihagi::id_search
