// Finding the first value equal to an id in a packed list's bytes (of a pair list: the first
// pair with the id), for the walkers and edits without an index. walk_for_id steps over the
// values one by one: O(values), on any bytes. first_with_id gives the same answer on canonical
// bytes faster where the processor has SSE2: it looks for the id's encoding sixteen bytes at
// a time and steps over the values only up to a copy found, so that a search that fails (most
// do) costs a pass of vector compares. Both stop at damaged bytes, as the walkers do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tsugihagi::id_search {

// The offset of the first value of the id (of a pair list: the first pair with the id) that
// the walkers visit, or SIZE_MAX (pair_index::not_found).
std::size_t walk_for_id(std::span<const std::uint8_t> bytes, std::uint32_t target, bool pairs);
// The same answer. REQUIRES: canonical bytes (is_canonical), where a value has one encoding.
std::size_t first_with_id(std::span<const std::uint8_t> bytes, std::uint32_t target, bool pairs);

}  // namespace tsugihagi::id_search
