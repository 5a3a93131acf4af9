// tsugihagi-cli at its edges: input lines of any shape and size, inspection beside a running
// chat, a reader of the export that goes away, and a folder that cannot be written.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

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
  for (std::size_t i = 0; i < times; ++i)
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
    const std::size_t lines_said =
        static_cast<std::size_t>(std::count(result.err.begin(), result.err.end(), '\n'));
    EXPECT_EQ(lines_said, r.said ? 2u : 1u) << r.what << ": the summary only, or one warning\n"
                                            << result.err;
    if (r.said) {
      EXPECT_TRUE(contains(result.err, r.said)) << r.what << ": " << result.err;
    }
  }
}

TEST(inspection, reads_beside_a_chat_waiting_for_a_line_and_waits_while_a_run_is_working) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  const std::vector<std::string> export_args{"--dir", dir.path().string(), "--export", "-"};
  {
    cli_process chat({"--dir", dir.path().string(), "--seed", "1"});
    chat.write("一行目\n");
    chat.wait_for_output_lines(1);
    const cli_result beside = run_cli_with(export_args, "");
    EXPECT_EQ(beside.status, 0) << beside.err;
    EXPECT_TRUE(contains(beside.out, "一行目")) << "the chat's journal is read too";
  }
  cli_process learner({"--dir", dir.path().string(), "--learn", "-"});
  learner.write("二行目\n");
  learner.wait_until_input_read();  // learning: the set may be written at any moment
  cli_process reader(export_args);
  reader.wait_for_error_text("waiting for the tsugihagi working in ");
  ASSERT_EQ(learner.finish().status, 0);
  const cli_result after = reader.finish();
  EXPECT_EQ(after.status, 0) << after.err;
  EXPECT_TRUE(contains(after.out, "二行目")) << "the set the run saved is read";
}

TEST(export_state, to_a_reader_that_goes_away_ends_quietly_with_status_zero) {
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  std::string lesson;
  for (const std::u16string& line : testing::corpus_lines(2000))
    lesson += testing::u8(line) + "\n";
  ASSERT_EQ(run_cli_with({"--dir", dir.path().string(), "--learn", "-"}, lesson).status, 0);
  // More than a pipe holds: the export meets the closed pipe whenever it starts writing.
  ASSERT_GT(run_cli_with({"--dir", dir.path().string(), "--export", "-"}, "").out.size(), 1u << 17);
  cli_process p({"--dir", dir.path().string(), "--export", "-"});
  p.close_stdout();  // like `| head -1`
  const cli_result r = p.finish();
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

// A folder this process cannot create files in, while the object lives: its mode bits, and
// for a user whom they do not stop (root) the immutable attribute, where the file system
// keeps one. `made()` says whether either worked.
class unwritable_folder {
 public:
  explicit unwritable_folder(std::filesystem::path folder) : folder_(std::move(folder)) {
    std::filesystem::permissions(folder_,
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    if (!made()) set_immutable(true);
  }
  ~unwritable_folder() {
    set_immutable(false);
    std::filesystem::permissions(folder_, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
  }
  unwritable_folder(const unwritable_folder&) = delete;
  unwritable_folder& operator=(const unwritable_folder&) = delete;

  bool made() const {
    const std::filesystem::path probe = folder_ / "probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return true;
    ::close(fd);
    ::unlink(probe.c_str());
    return false;
  }

 private:
  void set_immutable(bool on) {
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
      ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
  }

  std::filesystem::path folder_;
};

TEST(working_folder, that_cannot_be_written_is_reported_before_the_first_line) {
  for (const char* sub : {"", "data"}) {
    testing::temp_dir dir;
    testing::make_empty_data(dir.path());
    testing::write_file(dir.path() / "config", {1});  // saving on; without it the start ends
    const std::filesystem::path folder = dir.path() / sub;
    const unwritable_folder locked(folder);
    if (!locked.made()) GTEST_SKIP() << "no way to make a folder unwritable here";
    cli_process p({"--dir", dir.path().string(), "--seed", "1"});
    p.wait_for_error_text("nothing learned in this session can be saved");  // before a line
    const cli_result r = p.finish();
    const std::string said = "cannot create files in " + (*sub ? folder : dir.path()).string();
    EXPECT_TRUE(contains(r.err, said)) << r.err;
    EXPECT_EQ(r.err.find("cannot create files"), r.err.rfind("cannot create files")) << r.err;
  }
}

}  // namespace
}  // namespace tsugihagi
