#include "core/dict/word_text_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace strmorph {
namespace {

// The store against copies of their own (what insert_loaded_word made before): the same units,
// no two copies sharing one, every unit held, and neither one past a full block's end nor a
// text of its own held. The first 1,024 texts of 32 units fill the first block exactly.
TEST(word_text_store, copies_as_new_arrays_would_and_holds_only_its_own_units) {
  word_text_store store;
  std::mt19937 rng(11);
  std::vector<std::u16string> texts;
  for (std::size_t i = 0; i < 30000; ++i) {
    const std::size_t units = i < 1024        ? 32
                              : i % 4999 == 0 ? word_text_store::block_units + i % 3
                              : i % 7 == 0    ? 1 + rng() % 200
                                              : 1 + rng() % 6;
    std::u16string text(units, u'\0');
    for (char16_t& unit : text)
      unit = static_cast<char16_t>(0x3041 + rng() % 90);
    texts.push_back(std::move(text));
  }
  std::vector<std::pair<const char16_t*, std::size_t>> copies;
  for (const std::u16string& text : texts)
    copies.emplace_back(store.copy(text), text.size());
  EXPECT_FALSE(store.holds(copies[0].first + word_text_store::block_units));
  std::vector<std::unique_ptr<char16_t[]>> own;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const auto [copy, units] = copies[i];
    ASSERT_EQ(std::u16string_view(copy, units), texts[i]) << i;
    ASSERT_TRUE(store.holds(copy) && store.holds(copy + units - 1)) << i;
    own.push_back(std::make_unique<char16_t[]>(units));
    ASSERT_FALSE(store.holds(own.back().get())) << i;
  }
  std::ranges::sort(copies);
  for (std::size_t i = 1; i < copies.size(); ++i)
    ASSERT_LE(copies[i - 1].first + copies[i - 1].second, copies[i].first) << i;
}

}  // namespace
}  // namespace strmorph
