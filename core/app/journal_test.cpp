#include "core/app/journal.h"

#include <gtest/gtest.h>

#include "core/app/session.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

namespace fs = std::filesystem;
using testing::bytes;

const std::vector<journal_entry> entries{{journal_kind::converse, 12345u, u"こんにちは"},
                                         {journal_kind::learn, std::nullopt, u"今日は晴れ"},
                                         {journal_kind::converse, std::nullopt, u"またね"}};

TEST(journal, every_cut_or_damaged_tail_ends_it_after_the_last_whole_record) {
  testing::temp_dir dir;
  const fs::path path = dir.path() / "turns.journal";
  random_source rng;
  seed_random(rng, 7);
  journal_writer writer;
  ASSERT_TRUE(writer.start(path, rng));
  std::vector<std::uint64_t> ends{writer.size()};
  for (const journal_entry& e : entries) {
    ASSERT_TRUE(writer.append(e, true));
    ends.push_back(writer.size());
  }
  writer.close();
  const bytes whole = testing::read_file(path);
  ASSERT_EQ(whole.size(), ends.back());

  const auto read_cut = [&](const bytes& content) {
    testing::write_file(path, content);
    return read_journal(path);
  };
  std::vector<std::size_t> lengths{0, 5, ends[0] / 2};
  for (const std::uint64_t end : ends) {
    for (const std::uint64_t length : {end - 1, end, end + 1, end + 7})
      if (length <= whole.size()) lengths.push_back(length);
  }
  for (const std::size_t length : lengths) {
    const auto contents = read_cut(bytes(whole.begin(), whole.begin() + length));
    if (length < ends[0]) {
      EXPECT_FALSE(contents) << length;  // begun, never finished: holds no line
      continue;
    }
    ASSERT_TRUE(contents) << length;
    const auto whole_records =
        std::upper_bound(ends.begin(), ends.end(), length) - ends.begin() - 1;
    EXPECT_EQ(contents->entries.size(), static_cast<std::size_t>(whole_records)) << length;
    EXPECT_EQ(contents->valid_bytes, ends[whole_records]) << length;
  }
  const auto all = read_cut(whole);
  ASSERT_TRUE(all);
  EXPECT_TRUE(all->start.seeded);
  EXPECT_EQ(all->start.engine, rng.engine);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(all->entries[i].kind, entries[i].kind);
    EXPECT_EQ(all->entries[i].seed, entries[i].seed);
    EXPECT_EQ(all->entries[i].line, entries[i].line);
  }
  // A flipped byte in the second record ends the journal after the first.
  bytes damaged = whole;
  damaged[ends[1] + 8] ^= 0x40;
  EXPECT_EQ(read_cut(damaged)->entries.size(), 1u);

  // Appending goes on after the readable part, cutting the rest away.
  testing::write_file(path, damaged);
  ASSERT_TRUE(writer.resume(path, ends[1]));
  ASSERT_TRUE(writer.append(entries[2], true));
  writer.close();
  EXPECT_EQ(read_journal(path)->entries.back().line, entries[2].line);
  EXPECT_EQ(read_journal(path)->entries.size(), 2u);
}

// A run that ends without its save (a kill) and one that saves must leave the same files
// once the first is started again: through the check box's changes and a failed save too.
TEST(journal, a_run_that_was_never_saved_is_recovered_whole_through_box_changes_and_failures) {
  const std::vector<std::u16string> lines = testing::corpus_lines(12);
  const auto run = [&](const fs::path& dir, bool save_at_end) {
    session s(dir, [] { return std::int64_t{99}; });
    ASSERT_EQ(start_session(s), startup_status::ready);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i == 3 || i == 6) toggle_save_on_exit(s);  // off for lines 3..5
      if (i == 8) {  // a save that fails: its file's place is taken by a folder
        fs::remove(dir / "data" / "log.data");
        fs::create_directory(dir / "data" / "log.data");
        EXPECT_FALSE(save_session(s));
        fs::remove(dir / "data" / "log.data");
        testing::write_file(dir / "data" / "log.data", {});
      }
      submit_line(s, lines[i]);
    }
    if (save_at_end) save_learned_state(s);
  };
  testing::temp_dir killed, saved;
  testing::make_empty_data(killed.path());
  testing::make_empty_data(saved.path());
  run(killed.path(), false);
  EXPECT_TRUE(fs::exists(killed.path() / "data" / journal_file_name));
  run(saved.path(), true);
  {
    session s(killed.path());
    ASSERT_EQ(start_session(s), startup_status::ready);
    EXPECT_EQ(s.loading.replayed, static_cast<std::int64_t>(lines.size()));
  }
  EXPECT_FALSE(fs::exists(killed.path() / "data" / journal_file_name));
  for (const char* name : data_file_names) {
    EXPECT_EQ(testing::read_file(killed.path() / "data" / name),
              testing::read_file(saved.path() / "data" / name))
        << name;
  }
}

}  // namespace
}  // namespace tsugihagi
