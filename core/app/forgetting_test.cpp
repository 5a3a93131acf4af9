#include "core/app/forgetting.h"

#include <gtest/gtest.h>

#include <set>

#include "core/memory/learning.h"
#include "tests/support/invariants.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

// A word's lists as they should read once the ids in `gone` (words) and `gone_idioms` are
// forgotten: the same, less those ids.
struct lists {
  std::vector<std::int32_t> prev, idioms;
  std::vector<id_count> next, cooc;
};

lists lists_without(const strmorph::wordinfo_t& w, const std::set<std::int32_t>& gone,
                    const std::set<std::int32_t>& gone_idioms) {
  lists l{unpack_ids(w.prev), unpack_ids(w.idioms), unpack_pairs(w.next), unpack_pairs(w.cooc)};
  std::erase_if(l.prev, [&](std::int32_t id) { return gone.contains(id); });
  std::erase_if(l.idioms, [&](std::int32_t id) { return gone_idioms.contains(id); });
  for (auto* pairs : {&l.next, &l.cooc})
    std::erase_if(*pairs, [&](const id_count& p) { return gone.contains(p.id); });
  return l;
}

bool operator==(const lists& a, const lists& b) {
  const auto same = [](const std::vector<id_count>& x, const std::vector<id_count>& y) {
    return std::equal(
        x.begin(), x.end(), y.begin(), y.end(),
        [](const id_count& p, const id_count& q) { return p.id == q.id && p.count == q.count; });
  };
  return a.prev == b.prev && a.idioms == b.idioms && same(a.next, b.next) && same(a.cooc, b.cooc);
}

TEST(forgetting, removes_the_words_their_phrases_and_log_lines_and_changes_nothing_else) {
  bot b([] { return std::int64_t{5}; });
  for (const std::u16string& line : testing::corpus_lines(120))
    learn_line(b.dic, b.log, b.patterns, line);
  const std::u16string text = u"の";
  const forget_report dry = forget_text(b, text, true);
  ASSERT_FALSE(dry.words.empty());

  // What should stay: every other word with its lists less the forgotten ids.
  std::set<std::int32_t> gone;
  for (const auto& [key, info] : b.dic.wordmap)
    if (strmorph::word_text(b.dic, info.id).find(text) != std::u16string_view::npos)
      gone.insert(info.id);
  std::set<std::int32_t> gone_idioms;
  for (std::int32_t id = 0; id < static_cast<std::int32_t>(b.dic.idiomidmap.size()); ++id) {
    const strmorph::idiom_t* idiom = strmorph::idiom_at(b.dic, id);
    if (idiom == nullptr) continue;
    for (const std::int32_t w : idiom->ids)
      if (gone.contains(w)) gone_idioms.insert(id);
  }
  std::map<std::int32_t, lists> expected;
  for (const auto& [key, info] : b.dic.wordmap)
    if (!gone.contains(info.id)) expected[info.id] = lists_without(info, gone, gone_idioms);
  const std::size_t lines_before = b.log.line_count();

  const forget_report done = forget_text(b, text);
  EXPECT_EQ(done.words, dry.words);
  EXPECT_EQ(done.phrases, dry.phrases);
  EXPECT_EQ(done.phrases, static_cast<std::int64_t>(gone_idioms.size()));
  EXPECT_EQ(b.log.line_count(), lines_before - static_cast<std::size_t>(done.log_lines));
  EXPECT_EQ(testing::dictionary_violation(b.dic), "");
  EXPECT_EQ(testing::log_violation(b), "");
  for (const auto& line : b.log.line_texts)
    EXPECT_EQ(line.text.find(text), std::u16string::npos);
  ASSERT_EQ(b.dic.wordmap.size(), expected.size());
  for (const auto& [key, info] : b.dic.wordmap) {
    ASSERT_TRUE(expected.contains(info.id));
    EXPECT_TRUE(lists_without(info, {}, {}) == expected[info.id]) << info.id;
  }
  // The freed ids go to the next new words, and the text can be learned again.
  const std::vector<std::u16string> more = testing::corpus_lines(140);
  for (std::size_t i = 120; i < more.size(); ++i)
    learn_line(b.dic, b.log, b.patterns, more[i]);
  std::size_t new_words = 0;
  std::size_t reused = 0;
  for (const auto& [key, info] : b.dic.wordmap) {
    if (expected.contains(info.id)) continue;
    ++new_words;
    reused += gone.contains(info.id) ? 1 : 0;
  }
  EXPECT_GT(new_words, 0u);
  EXPECT_EQ(reused, std::min(new_words, gone.size())) << "freed ids are taken first";
  EXPECT_NE(strmorph::find_word(b.dic, text.data(), 1), nullptr);
}

}  // namespace
}  // namespace tsugihagi
