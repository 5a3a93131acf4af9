// Segmentation as designed, kept as the reference that the fast split is compared with:
// every window looked up in the ordered word map alone, one work stack of items pushed on
// and taken from its front.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>

#include "core/dict/dictionary.h"

namespace tsugihagi::reference {

// Splits `text` into words as `tsugihagi::segment` must, filling `out` (position -> word
// id); false when the fall-back rule coined a word. REQUIRES: text is not empty.
bool segment(strmorph::dic_t& d, std::u16string_view text,
             std::map<std::int32_t, std::int32_t>& out);

}  // namespace tsugihagi::reference
