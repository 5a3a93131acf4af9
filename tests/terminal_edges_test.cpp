// tsugihagi-cli at its edges: input lines of any shape and size, inspection beside a running
// chat, a reader of the export that goes away, and a folder that cannot be written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/cli_driver.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::cli_process;
using testing::cli_result;
using testing::logged_lines;
using testing::run_cli_with;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string repeated(const std::string& text, std::size_t times) {
  std::string all;
  while (times-- > 0)
    all += text;
  return all;
}

TEST(input_lines, end_at_any_line_end_lose_the_byte_order_mark_and_keep_a_bounded_start) {
  const std::string long_line = repeated("あ", 100000);  // 300,000 bytes, no line end for long
  struct row {
    const char* what;
    std::string input;
    std::vector<std::string> learned;  // newest first
    const char* said;                  // a part of standard error, or nullptr for nothing
  };
  const std::vector<row> rows{
      {"byte-order mark", "\xEF\xBB\xBFこんにちは\n", {"こんにちは"}, nullptr},
      {"carriage returns",
       "一行目\r二行目\r\n三行目\n\r四行目",
       {"四行目", "三行目", "二行目", "一行目"},
       nullptr},
      {"long lines",
       long_line + "\n次\n" + long_line,
       {repeated("あ", 1022), "次", repeated("あ", 1022)},
       "line 1 of standard input is longer than 65536 bytes: only its start is read"},
  };
  for (const row& r : rows) {
    testing::temp_dir dir;
    testing::make_empty_data(dir.path());
    const cli_result result = run_cli_with({"--dir", dir.path().string(), "--learn", "-"}, r.input);
    EXPECT_EQ(result.status, 0) << r.what << ": " << result.err;
    EXPECT_EQ(logged_lines(dir.path()), r.learned) << r.what;
    // The summary only, or the warning once and the summary.
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), r.said ? 2 : 1) << result.err;
    EXPECT_TRUE(!r.said || contains(result.err, r.said)) << r.what << ": " << result.err;
  }
}

TEST(inspection, waits_while_a_run_may_be_writing_and_then_reads_the_set_it_saved) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  cli_process learner({"--dir", dir.path().string(), "--learn", "-"});
  learner.write("二行目\n");
  learner.wait_until_input_read();  // learning: the set may be written at any moment
  cli_process reader({"--dir", dir.path().string(), "--export", "-"});
  reader.wait_for_error_text("waiting for the tsugihagi working in ");
  ASSERT_EQ(learner.finish().status, 0);
  const cli_result after = reader.finish();
  EXPECT_EQ(after.status, 0) << after.err;
  EXPECT_TRUE(contains(after.out, "二行目"));
}

TEST(export_state, to_a_reader_that_goes_away_ends_quietly_with_status_zero) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  std::string lesson;
  for (const std::u16string& line : testing::corpus_lines(2000))
    lesson += testing::u8(line) + "\n";
  run_cli_with({"--dir", dir.path().string(), "--learn", "-"}, lesson);
  cli_process p({"--dir", dir.path().string(), "--export", "-"});  // more than a pipe holds
  p.close_stdout();                                                // like `| head -1`
  const cli_result r = p.finish();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST(working_folder, that_cannot_be_written_is_reported_before_the_first_line) {
  for (const char* sub : {"", "data"}) {
    testing::temp_dir dir;
    testing::make_empty_data(dir.path());
    testing::write_file(dir.path() / "config", {1});  // saving on; without it the start ends
    const std::string folder = (*sub ? dir.path() / sub : dir.path()).string();
    // Mode bits stop a user, the immutable attribute stops root too (where it is kept).
    const std::string lock = "chmod a-w '" + folder + "' && (chattr +i '" + folder + "' || :)";
    const std::string unlock = "chattr -i '" + folder + "' 2>/dev/null; chmod u+w '" + folder + "'";
    ASSERT_EQ(std::system((lock + " 2>/dev/null").c_str()), 0);
    if (std::system(("touch '" + folder + "/probe' 2>/dev/null").c_str()) == 0) {
      EXPECT_EQ(std::system(unlock.c_str()), 0);
      GTEST_SKIP() << "no way to make a folder unwritable here";
    }
    cli_process p({"--dir", dir.path().string(), "--seed", "1"});
    p.wait_for_error_text("nothing learned in this session can be saved");  // before a line
    const cli_result r = p.finish();
    EXPECT_EQ(std::system(unlock.c_str()), 0);
    EXPECT_TRUE(contains(r.err, "cannot create files in " + folder)) << r.err;
    EXPECT_EQ(r.err.find("cannot create"), r.err.rfind("cannot create")) << "said once";
  }
}

}  // namespace
}  // namespace tsugihagi
