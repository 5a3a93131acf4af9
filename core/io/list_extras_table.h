// Where the extras of packed lists live (list_extras, whose invariant packed_list.h states):
// one table for the process, from a list's address to its extras, so that the many lists
// without any (all but the long or summarised ones) cost no pointer for them. A list knows
// whether it has extras (packed_list::has_extras): asking a list without them costs a test
// of that flag; asking one with them costs a lock and a hash lookup, but asking again for the
// list last found by the same thread costs a load and a compare, while the table is unchanged
// (each thread keeps its last answer, 24 bytes). Moving a list with extras moves its entry to
// the new address; destroying it drops the entry. The table is shared by every thread, under
// one lock; the extras themselves are the list's, used by one thread at a time as the list is.
#pragma once

#include "core/io/packed_list.h"

namespace tsugihagi {

// The list's extras, or null when it has none. The pointer stays valid until the list drops
// its extras or is destroyed.
list_extras* extras_of(const packed_list& list);
// The list's extras, made empty when it has none.
list_extras& make_extras(const packed_list& list);
// Forgets the list's extras, if any.
void drop_extras(const packed_list& list);

// How many lists have extras in this process: for tests.
std::size_t lists_with_extras();

}  // namespace tsugihagi
