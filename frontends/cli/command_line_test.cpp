#include "frontends/cli/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace tsugihagi {
namespace {

parsed_command_line parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tsugihagi-cli");
  return parse_command_line(static_cast<int>(args.size()), args.data());
}

TEST(command_line, seed_is_exactly_a_decimal_from_0_to_4294967295) {
  EXPECT_EQ(parse_seed("0"), 0u);
  EXPECT_EQ(parse_seed("4294967295"), 4294967295u);
  EXPECT_EQ(parse_seed("0000000007"), 7u);
  for (const char* wrong :
       {"", "-1", "+1", "4294967296", "99999999999", "5abc", " 5", "0x10", "1e3"}) {
    EXPECT_FALSE(parse_seed(wrong)) << wrong;
  }
}

TEST(command_line, options_keep_their_meanings_in_both_forms) {
  const parsed_command_line p =
      parse({"--dir=/tmp/x", "--seed", "12", "--no-save", "--max-entries=40", "--learn", "-"});
  ASSERT_TRUE(p.options);
  EXPECT_EQ(p.options->dir, std::filesystem::path("/tmp/x"));
  EXPECT_EQ(p.options->seed, 12u);
  EXPECT_FALSE(p.options->save);
  EXPECT_EQ(p.options->entry_limit, 40);
  EXPECT_EQ(p.options->learn, "-");
  EXPECT_FALSE(p.options->stats);

  const parsed_command_line none = parse({});
  ASSERT_TRUE(none.options);
  EXPECT_FALSE(none.options->dir);
  EXPECT_FALSE(none.options->seed);
  EXPECT_TRUE(none.options->save);
  EXPECT_EQ(none.options->entry_limit, 0xFFFFFF);
}

TEST(command_line, stats_takes_an_optional_word) {
  parsed_command_line p = parse({"--stats"});
  ASSERT_TRUE(p.options);
  EXPECT_TRUE(p.options->stats);
  EXPECT_FALSE(p.options->stats_word);
  p = parse({"--stats", "天気", "--dir", "d"});
  ASSERT_TRUE(p.options);
  EXPECT_EQ(p.options->stats_word, "天気");
  EXPECT_EQ(p.options->dir, std::filesystem::path("d"));
  p = parse({"--export", "-"});
  ASSERT_TRUE(p.options);
  EXPECT_EQ(p.options->export_file, "-");
}

TEST(command_line, wrong_usage_is_status_2_with_one_prefixed_line) {
  for (const std::vector<const char*>& args : {std::vector<const char*>{"--seed", "x"},
                                               {"--stats", "--export", "f"},
                                               {"--nope"},
                                               {"--max-entries", "16777216"},
                                               {"--learn", "a", "--export", "b"}}) {
    const parsed_command_line p = parse(args);
    EXPECT_FALSE(p.options);
    EXPECT_EQ(p.status, 2);
    EXPECT_EQ(p.err.rfind("tsugihagi-cli: ", 0), 0u) << p.err;
    EXPECT_NE(p.err.find("Try --help."), std::string::npos) << p.err;
    EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 1) << p.err;
    EXPECT_TRUE(p.out.empty());
  }
}

}  // namespace
}  // namespace tsugihagi
