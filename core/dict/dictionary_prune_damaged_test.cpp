#include <gtest/gtest.h>

#include "core/dict/dictionary.h"

namespace strmorph {
namespace {

// Lists loaded from a damaged file may name ids that are no word or idiom; pruning must
// never choose such an id, or a later entry would be given it (-1 indexes before the array).
TEST(pruning, ignores_ids_in_lists_that_name_no_live_entry) {
  dic_t d(1);
  wordinfo_t info;
  info.id = 0;
  const std::int32_t idioms[] = {-1, 5, 6, 7};
  info.idioms = tsugihagi::pack_ids(idioms);
  const std::int32_t cooc[] = {-1, 0, 9, 0, 0x7FFFFFFF, 1};
  info.cooc = tsugihagi::pack_ids(cooc);
  ASSERT_TRUE(insert_loaded_word(d, u"あ", std::move(info)));
  const auto [id, inserted] = add_idiom(d, idiom_t{{0}, {1}});  // the set is full: prunes
  EXPECT_TRUE(inserted);
  EXPECT_EQ(id, 0);
  EXPECT_TRUE(d.idiom_hdid.empty());
  const auto word = add_word(d, u"い", 1);  // the word map is full: prunes
  EXPECT_TRUE(word.second);
  EXPECT_GE(word.first->second.id, 0);
  EXPECT_LT(d.idmap.size(), 16);
}

}  // namespace
}  // namespace strmorph
