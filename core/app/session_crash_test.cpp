// A conversation and a taught file, each ended by the process dying at every step that
// changes the data folder (a write, a sync, a rename, a removal...), then started again and
// closed: every answered line must survive, and the folder must never hold a mix of sets.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "core/app/session.h"
#include "core/io/durable_steps.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::bytes;
using file_bytes = std::string;  // the five files, each after its length

constexpr int killed_status = 86;
constexpr std::int64_t fixed_seconds = 1700000000;
std::int64_t steps_left = 0;

void die_at_step(const char*) {
  if (--steps_left == 0) ::_exit(killed_status);
}

file_bytes files_of(const std::filesystem::path& dir) {
  file_bytes files;
  for (const char* name : data_file_names) {
    const bytes file = testing::read_file(dir / "data" / name);
    files += std::to_string(file.size()) + ":";
    files.append(file.begin(), file.end());
  }
  return files;
}

struct crash_case {
  const char* name;
  save_mode mode;
  bool answered;  // conversation turns, else taught lines
};

class session_crash : public ::testing::TestWithParam<crash_case> {
 protected:
  static constexpr std::int64_t checkpoint_every = 7;

  // One run over `lines`: each learned line is reported on `progress` (when open); ends
  // with the save the front-ends make.
  static void run(const std::filesystem::path& dir, const std::vector<std::u16string>& lines,
                  int progress) {
    session s(
        dir, [] { return fixed_seconds; }, strmorph::default_entry_limit, GetParam().mode);
    s.checkpoint_turns = checkpoint_every;
    s.sync_interval = std::chrono::milliseconds(0);
    if (start_session(s) != startup_status::ready) return;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(lines.size()); ++i) {
      if (GetParam().answered) {
        submit_line(s, lines[i]);
      } else {
        learn_text_line(s, lines[i]);
      }
      const std::int32_t done = i + 1;
      if (progress >= 0) {
        ASSERT_EQ(::write(progress, &done, sizeof done), 4);
      }
    }
    save_learned_state(s);
  }

  // The files an uninterrupted run leaves after each number of lines, saved right then.
  static std::vector<file_bytes> references(const std::vector<std::u16string>& lines) {
    std::vector<file_bytes> saved;
    for (std::size_t n = 0; n <= lines.size(); ++n) {
      testing::temp_dir dir;
      testing::make_empty_data(dir.path());
      run(dir.path(), {lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(n)}, -1);
      saved.push_back(files_of(dir.path()));
    }
    return saved;
  }
};

TEST_P(session_crash, a_kill_at_any_step_keeps_every_learned_line_and_never_mixes_sets) {
  const std::vector<std::u16string> lines = testing::corpus_lines(24);
  const std::vector<file_bytes> reference = references(lines);
  std::map<file_bytes, std::size_t> known_sets;
  for (std::size_t n = 0; n < reference.size(); ++n)
    known_sets.emplace(reference[n], n);
  known_sets.emplace("0:0:0:0:0:", 0);  // the five empty files a first run starts with

  bool finished = false;
  std::int64_t step = 1;
  for (; !finished; ++step) {
    SCOPED_TRACE("killed at step " + std::to_string(step));
    testing::temp_dir dir;
    testing::make_empty_data(dir.path());
    int progress[2];
    ASSERT_EQ(::pipe(progress), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(progress[0]);
      steps_left = step;
      watch_durable_steps(die_at_step);
      run(dir.path(), lines, progress[1]);
      ::_exit(0);
    }
    ::close(progress[1]);
    std::int32_t learned = 0;
    for (std::int32_t n = 0; ::read(progress[0], &n, sizeof n) == sizeof n;)
      learned = n;
    ::close(progress[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    finished = WEXITSTATUS(status) == 0;
    if (!finished) {
      ASSERT_EQ(WEXITSTATUS(status), killed_status);
    }

    // What the kill left is one whole set, the recovery aside.
    if (std::filesystem::is_directory(dir.path() / "data")) {
      EXPECT_TRUE(known_sets.contains(files_of(dir.path()))) << "a mixed set";
    }
    run(dir.path(), {}, -1);  // start again, then close
    const auto found = known_sets.find(files_of(dir.path()));
    ASSERT_NE(found, known_sets.end()) << "the files after a restart are no run's";
    const auto kept = static_cast<std::int32_t>(found->second);
    EXPECT_TRUE(kept == learned || kept == learned + 1)
        << learned << " lines learned before the kill, " << kept << " kept";
  }
  EXPECT_GT(step, 100) << "too few steps for the lines and their checkpoints";
}

INSTANTIATE_TEST_SUITE_P(runs, session_crash,
                         ::testing::Values(crash_case{"conversation", save_mode::config, true},
                                           crash_case{"taught_file", save_mode::always, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tsugihagi
#endif
