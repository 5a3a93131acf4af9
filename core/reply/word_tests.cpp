#include "core/reply/word_tests.h"

namespace tsugihagi {

bool can_start(const strmorph::dic_t& d, std::int32_t w) {
  return has_prev(d, w, strmorph::boundary_id);
}

bool can_end(const strmorph::dic_t& d, std::int32_t w) {
  return has_next(d, w, strmorph::boundary_id);
}

bool has_next(const strmorph::dic_t& d, std::int32_t a, std::int32_t b) {
  const strmorph::wordinfo_t* info = strmorph::word_at(d, a);
  return info != nullptr && pair_list_has_id(info->next, b);
}

bool has_prev(const strmorph::dic_t& d, std::int32_t a, std::int32_t b) {
  const strmorph::wordinfo_t* info = strmorph::word_at(d, a);
  return info != nullptr && id_list_contains(info->prev, b);
}

}  // namespace tsugihagi
