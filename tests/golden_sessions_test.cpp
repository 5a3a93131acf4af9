// The reference sessions: fed the same lines with the same seed from an empty data folder,
// the program must leave the same replies, transcript, settings and data files, byte for
// byte.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/app/session.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::read_file;

std::vector<std::string> lines_of(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line))
    lines.push_back(line);
  return lines;
}

class golden_session : public ::testing::TestWithParam<const char*> {};

TEST_P(golden_session, reproduces_replies_transcript_and_files_byte_for_byte) {
  const std::filesystem::path golden = testing::shared_dir() / "golden" / GetParam();
  ASSERT_TRUE(std::filesystem::exists(golden)) << golden;
  const auto seed = static_cast<std::uint32_t>(std::stoul(lines_of(golden / "seed").at(0)));
  testing::temp_dir dir;
  testing::make_empty_data(dir.path());
  std::string replies;
  {
    session s(dir.path(), [seed] { return std::int64_t{seed}; });
    ASSERT_EQ(start_session(s), startup_status::ready);
    for (const std::string& line : lines_of(golden / "input.txt")) {
      std::u16string text = testing::u16(line);
      if (!text.empty() && text.back() == u'\r') text.pop_back();
      if (const auto e = submit_line(s, text)) replies += testing::u8(e->reply) + "\n";
    }
    save_learned_state(s);
    finish_session(s);
  }
  const testing::bytes expected_replies = read_file(golden / "expected" / "replies.txt");
  EXPECT_EQ(replies, std::string(expected_replies.begin(), expected_replies.end()));
  for (const char* file : {"log.txt", "config", "data/dic.data", "data/hdid.data",
                           "data/idiom_hdid.data", "data/idiomdic.data", "data/log.data"}) {
    EXPECT_EQ(read_file(dir.path() / file), read_file(golden / "expected" / file)) << file;
  }
}

INSTANTIATE_TEST_SUITE_P(reference, golden_session,
                         ::testing::Values("small", "closing-loop", "chat-400", "corpus-300"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace tsugihagi
