#include "core/dict/word_lists.h"

namespace strmorph {

std::vector<id_count> next_words(const wordinfo_t& w) {
  return tsugihagi::unpack_pairs(w.next);
}

std::vector<std::int32_t> previous_words(const wordinfo_t& w) {
  return tsugihagi::unpack_ids(w.prev);
}

std::vector<id_count> cooccurring_words(const wordinfo_t& w) {
  return tsugihagi::unpack_pairs(w.cooc);
}

std::vector<std::int32_t> containing_idioms(const wordinfo_t& w) {
  return tsugihagi::unpack_ids(w.idioms);
}

}  // namespace strmorph
