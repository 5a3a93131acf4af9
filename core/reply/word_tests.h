// The questions both reply strategies ask of the learned statistics, answered by walking the
// packed lists without unpacking them (O(list bytes), stopping at the first match). A word
// id that names no live word fails every test.
#pragma once

#include <cstdint>
#include <deque>

#include <boost/pool/pool_alloc.hpp>

#include "core/dict/dictionary.h"

namespace tsugihagi {

// The reply being built: word ids, appended at the back.
using reply_sequence = std::deque<std::int32_t, boost::fast_pool_allocator<std::int32_t>>;

// The word has started a line: its `prev` list holds boundary_id.
bool can_start(const strmorph::dic_t& d, std::int32_t w);
// The word has ended a line: a pair of its `next` list has boundary_id.
bool can_end(const strmorph::dic_t& d, std::int32_t w);
// b was seen right after a (the ids of a's `next` pairs; counts are never compared).
bool has_next(const strmorph::dic_t& d, std::int32_t a, std::int32_t b);
// b was seen right before a.
bool has_prev(const strmorph::dic_t& d, std::int32_t a, std::int32_t b);

}  // namespace tsugihagi
