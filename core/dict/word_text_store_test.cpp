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

// Slots against copies of their own under churn: texts of every size class (and past a block)
// taken and given back at random, packed copies among them. Every live copy keeps its units
// whatever was given back or taken since, and the slots never reach more than the most live
// texts of each size took at once: a slot given back is taken again before any new one.
TEST(word_text_store, slots_keep_their_texts_and_are_reused_under_churn) {
  word_text_store store;
  std::mt19937 rng(5);
  struct live_copy {
    const char16_t* copy;
    std::u16string text;
    bool packed;
  };
  std::vector<live_copy> live;
  std::vector<std::size_t> live_cells(word_text_store::block_units, 0);
  std::vector<std::size_t> most_cells(word_text_store::block_units, 0);
  std::size_t packed_bytes = 0;
  for (int step = 0; step < 200000; ++step) {
    if (live.empty() || rng() % 4 < (live.size() < 3000 ? 3u : 1u)) {
      const std::size_t units = step % 9973 == 0  ? word_text_store::block_units + 1 + rng() % 9
                                : rng() % 11 == 0 ? 1 + rng() % 300
                                                  : 1 + rng() % 12;
      std::u16string text(units, u'\0');
      for (char16_t& unit : text)
        unit = static_cast<char16_t>(0x3041 + rng() % 90);
      const bool packed = rng() % 16 == 0;
      const char16_t* copy = packed ? store.copy(text) : store.take(text);
      if (packed) packed_bytes += units * sizeof(char16_t);
      const std::size_t cells =
          (units + word_text_store::cell_units - 1) / word_text_store::cell_units;
      if (!packed && cells < live_cells.size())
        most_cells[cells] = std::max(most_cells[cells], ++live_cells[cells]);
      live.push_back({copy, std::move(text), packed});
    } else {
      const std::size_t i = rng() % live.size();
      const std::size_t cells =
          (live[i].text.size() + word_text_store::cell_units - 1) / word_text_store::cell_units;
      if (!live[i].packed && cells < live_cells.size()) --live_cells[cells];
      store.release(live[i].copy, live[i].text.size());
      live[i] = std::move(live.back());
      live.pop_back();
    }
    if (step % 997 == 0 || step == 199999) {
      for (const live_copy& c : live) {
        ASSERT_EQ(std::u16string_view(c.copy, c.text.size()), c.text) << step;
        ASSERT_TRUE(store.holds(c.copy)) << step;
      }
    }
  }
  std::size_t slot_bytes = 0;
  for (std::size_t cells = 1; cells < most_cells.size(); ++cells)
    slot_bytes += most_cells[cells] * cells * word_text_store::cell_units * sizeof(char16_t);
  // Beyond those, the rest of the newest packed and slot blocks, and ends of blocks too short
  // for the next text (at most 300 units each, a few blocks).
  const std::size_t block = word_text_store::block_units * sizeof(char16_t);
  EXPECT_LE(store.block_bytes(), slot_bytes + packed_bytes + 2 * block + block / 4)
      << slot_bytes << " in slots, " << packed_bytes << " packed";
}

}  // namespace
}  // namespace strmorph
