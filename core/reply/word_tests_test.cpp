#include "core/reply/word_tests.h"

#include <gtest/gtest.h>

#include "tests/support/toy_dictionary.h"

namespace tsugihagi {
namespace {

using testing::add;

TEST(word_tests, compare_only_the_ids_of_pairs_never_the_counts) {
  strmorph::dic_t d;
  const std::int32_t w = add(d, u"w");
  testing::set_next(d, w, {{7, 0}, {-1, 2}});
  EXPECT_TRUE(can_end(d, w));
  EXPECT_TRUE(has_next(d, w, 7));
  EXPECT_FALSE(has_next(d, w, 2));  // 2 is stored, but as a repeat count
  EXPECT_FALSE(has_next(d, w, 0));
}

TEST(word_tests, need_the_boundary_in_the_right_list) {
  strmorph::dic_t d;
  const std::int32_t a = add(d, u"a");
  const std::int32_t b = add(d, u"b");
  EXPECT_FALSE(can_start(d, a));  // empty prev
  EXPECT_FALSE(can_end(d, a));    // empty next
  testing::set_prev(d, a, {b, -1});
  testing::set_next(d, b, {{a, 3}});
  EXPECT_TRUE(can_start(d, a));
  EXPECT_TRUE(has_prev(d, a, b));
  EXPECT_FALSE(can_end(d, b));
  EXPECT_FALSE(can_start(d, b));
}

TEST(word_tests, are_false_for_ids_that_name_no_word) {
  strmorph::dic_t d;
  const std::int32_t a = add(d, u"a");
  testing::set_prev(d, a, {-1});
  strmorph::remove_word(d, a);
  for (const std::int32_t id : {a, -1, 5, 1 << 30}) {
    EXPECT_FALSE(can_start(d, id));
    EXPECT_FALSE(can_end(d, id));
    EXPECT_FALSE(has_next(d, id, 0));
    EXPECT_FALSE(has_prev(d, id, -1));
  }
}

}  // namespace
}  // namespace tsugihagi
