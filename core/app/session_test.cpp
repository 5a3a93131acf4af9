#include "core/app/session.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <tuple>

#include "core/app/conversation_turn.h"
#include "core/dict/dictionary_files.h"
#include "core/memory/learning.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::bytes;
using testing::read_file;

constexpr const char* data_files[] = {"dic.data", "hdid.data", "idiom_hdid.data", "idiomdic.data",
                                      "log.data"};

class session_test : public ::testing::Test {
 protected:
  session_test() { testing::make_empty_data(dir.path()); }
  std::filesystem::path data(const char* name) const { return dir.path() / "data" / name; }
  // Runs a whole session: start, the lines, then exit as the window's destruction does.
  void run(std::initializer_list<std::u16string_view> lines, int clicks = 0) {
    session s(dir.path(), [] { return std::int64_t{1}; });
    ASSERT_EQ(start_session(s), startup_status::ready);
    for (const auto line : lines)
      submit_line(s, line);
    for (int i = 0; i < clicks; ++i)
      toggle_save_on_exit(s);
    save_learned_state(s);
  }
  testing::temp_dir dir;
};

TEST_F(session_test, a_missing_dictionary_file_stops_loading_there_and_saves_nothing) {
  run({u"今日はいい天気", u"今日は雨"});
  const bytes dic = read_file(data("dic.data"));
  ASSERT_FALSE(dic.empty());
  std::filesystem::remove(data("hdid.data"));
  {
    session s(dir.path());
    EXPECT_EQ(start_session(s), startup_status::dictionary_failed);
    EXPECT_FALSE(s.state.dic.idiomset.empty());  // loaded before the missing file
    EXPECT_TRUE(s.state.dic.wordmap.empty());    // "data/dic.data" was never read
    save_learned_state(s);
  }
  EXPECT_EQ(read_file(data("dic.data")), dic);
  EXPECT_FALSE(std::filesystem::exists(data("hdid.data")));
  EXPECT_EQ(read_file(dir.path() / "config"), bytes{1});
}

TEST_F(session_test, a_missing_log_is_reported_after_the_dictionary_loaded) {
  std::filesystem::remove(data("log.data"));
  session s(dir.path());
  EXPECT_EQ(start_session(s), startup_status::log_failed);
}

TEST_F(session_test, saves_all_five_files_only_while_the_box_is_set) {
  for (const char* name : data_files)
    std::filesystem::remove(data(name));
  testing::make_empty_data(dir.path());
  run({u"こんにちは"}, /*clicks=*/1);  // cleared
  EXPECT_EQ(read_file(dir.path() / "config"), bytes{0});
  EXPECT_TRUE(read_file(data("log.data")).empty());
  run({u"こんにちは"}, /*clicks=*/1);  // set again
  EXPECT_EQ(read_file(dir.path() / "config"), bytes{1});
  EXPECT_EQ(read_file(data("log.data")).at(0), 1);
  EXPECT_FALSE(read_file(data("dic.data")).empty());
}

TEST_F(session_test, clicks_toggle_between_zero_and_one_from_any_stored_value) {
  testing::write_file(dir.path() / "config", {5});
  run({}, 0);
  EXPECT_EQ(read_file(dir.path() / "config"), bytes{5});
  run({}, 2);
  EXPECT_EQ(read_file(dir.path() / "config"), bytes{1});
  testing::write_file(dir.path() / "config", {5});
  run({}, 1);
  EXPECT_EQ(read_file(dir.path() / "config"), bytes{0});
  run({}, 2);
  EXPECT_EQ(read_file(dir.path() / "config"), bytes{0});
}

TEST_F(session_test, cuts_lines_at_a_nul_and_to_1022_units_and_skips_empty_ones) {
  session s(dir.path(), [] { return std::int64_t{1}; });
  ASSERT_EQ(start_session(s), startup_status::ready);
  EXPECT_FALSE(submit_line(s, u""));
  EXPECT_FALSE(submit_line(s, std::u16string(1, u'\0') + u"after a nul"));
  EXPECT_EQ(s.state.log.line_count(), 0u);
  const std::optional<exchange> e = submit_line(s, std::u16string(1100, u'あ'));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->line.size(), 1022u);
  EXPECT_EQ(s.state.log.line_texts[0].text.size(), 1022u);
  EXPECT_EQ(s.state.turn.input_line[1022], u'\0');
  EXPECT_EQ(e->output_text(), u"user > " + e->line + u"\r\nhagi > " + e->reply);
  const std::optional<exchange> cut = submit_line(s, std::u16string_view(u"ab\0cd", 5));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->line, u"ab");
}

TEST_F(session_test, seeds_the_generator_from_the_clock_at_the_first_turn_only) {
  int calls = 0;
  session s(dir.path(), [&calls] {
    ++calls;
    return (std::int64_t{7} << 32) | 42;  // only the low 32 bits count
  });
  ASSERT_EQ(start_session(s), startup_status::ready);
  EXPECT_FALSE(s.state.rng.seeded);
  submit_line(s, u"こんにちは");
  submit_line(s, u"こんばんは");
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(s.state.rng.seeded);
  bot same([] { return std::int64_t{42}; });
  converse(same, u"こんにちは");
  converse(same, u"こんばんは");
  EXPECT_TRUE(same.rng.engine == s.state.rng.engine);
}

#ifndef _WIN32  // the failing disk is a POSIX file size limit
// Counts are stored as signed 32-bit values; one more than the largest wraps to the smallest
// instead of overflowing.
TEST_F(session_test, counts_loaded_at_the_largest_value_wrap_when_counted_again) {
  constexpr std::int32_t largest = 2147483647;
  {
    strmorph::dic_t d;
    const std::int32_t a = strmorph::add_word(d, u"あい", 2).first->second.id;
    const std::int32_t b = strmorph::add_word(d, u"うえ", 2).first->second.id;
    strmorph::wordinfo_t& first = *strmorph::word_at(d, a);
    first.count = largest;
    first.next = pack_pairs(std::vector<id_count>{{b, largest}});
    first.cooc = pack_pairs(std::vector<id_count>{{b, largest}});
    strmorph::word_at(d, b)->cooc = pack_pairs(std::vector<id_count>{{a, largest}});
    ASSERT_TRUE(strmorph::save_dictionary(d, dir.path() / "data"));
  }
  session s(dir.path(), [] { return std::int64_t{1}; });
  ASSERT_EQ(start_session(s), startup_status::ready);
  ASSERT_TRUE(submit_line(s, u"あいうえ"));  // あい then うえ: counted in next and cooc
  ASSERT_TRUE(submit_line(s, u"あいか"));  // discovery meets あい again; うえ in the line before
  const strmorph::wordinfo_t& a = strmorph::find_word(s.state.dic, u"あい", 2)->second;
  EXPECT_EQ(a.count, -2147483647 - 1);
  EXPECT_EQ(unpack_pairs(a.next).at(0), (id_count{a.id + 1, -2147483647 - 1}));
  EXPECT_EQ(unpack_pairs(a.cooc).at(0), (id_count{a.id + 1, -2147483647}))
      << "counted once in each line";
}

TEST_F(session_test, a_save_that_fails_midway_leaves_the_previous_files_intact) {
  run({u"今日はいい天気ですね", u"今日は雨ですね"});
  std::vector<bytes> before;
  for (const char* name : data_files)
    before.push_back(read_file(data(name)));
  bot b;
  ASSERT_EQ(load_data_files(b, dir.path()), startup_status::ready);
  for (const std::u16string& line : testing::corpus_lines(30)) {
    learn_line(b.dic, b.log, b.patterns, line);  // the new state differs from the saved one
  }
  // A file size limit makes every write past 64 bytes fail, as a full disk would.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tight = old;
  tight.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  const bool saved = save_data_files(b, dir.path());
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(saved);
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(read_file(data(data_files[i])), before[i]) << data_files[i];
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "data")) {
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
  }
}

// Writing dic.data beside the four other files (on two threads, here whatever the size)
// saves what writing the five in order does: the same bytes, or, when writes past a size
// fail, the same file reported and nothing saved.
TEST(session_saving, writing_two_halves_at_once_matches_writing_the_files_in_order) {
  bot b;
  for (const std::u16string& line : testing::corpus_lines(40))
    learn_line(b.dic, b.log, b.patterns, line);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  for (const rlim_t limit : {rlim_t{64}, rlim_t{2000}, rlim_t{20000}, RLIM_INFINITY}) {
    SCOPED_TRACE("writes fail past " + std::to_string(limit) + " bytes");
    std::vector<bytes> files[2];
    std::string errors[2];
    bool saved[2] = {};
    for (const int at_once : {0, 1}) {
      testing::temp_dir dir;
      testing::make_empty_data(dir.path());
      const rlimit tight{limit, old.rlim_max};
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
      saved[at_once] = save_data_files(b, dir.path(), &errors[at_once], at_once ? 0 : SIZE_MAX);
      setrlimit(RLIMIT_FSIZE, &old);
      errors[at_once].erase(0, dir.path().string().size());
      for (const char* name : data_files)
        files[at_once].push_back(read_file(dir.path() / "data" / name));
    }
    EXPECT_EQ(std::tie(saved[0], errors[0], files[0]), std::tie(saved[1], errors[1], files[1]));
  }
  std::signal(SIGXFSZ, old_handler);
}
#endif

}  // namespace
}  // namespace tsugihagi
