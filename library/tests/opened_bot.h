// A bot opened through the C interface on a folder with an empty memory, for the library's
// tests: closed (and saved) when it goes out of scope.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "include/tsugihagi.h"
#include "tests/support/test_support.h"

namespace tsugihagi {

struct opened {
  tsugihagi_bot* bot = nullptr;
  explicit opened(const std::filesystem::path& dir, std::uint32_t seed = 1,
                  tsugihagi_save_mode save = TSUGIHAGI_SAVE_CONFIG) {
    testing::make_empty_data(dir);
    tsugihagi_options o;
    tsugihagi_options_init(&o);
    o.use_seed = 1;
    o.seed = seed;
    o.save = save;
    EXPECT_EQ(tsugihagi_open(dir.string().c_str(), &o, &bot), TSUGIHAGI_OK);
  }
  ~opened() { tsugihagi_close(bot); }
  std::string converse(const std::string& line) {
    char* reply = nullptr;
    std::size_t length = 0;
    if (tsugihagi_converse(bot, line.data(), line.size(), &reply, &length) != TSUGIHAGI_OK)
      return "";
    std::string text(reply, length);
    tsugihagi_free(reply);
    return text;
  }
};

inline std::vector<std::string> lines_of(std::size_t n) {
  std::vector<std::string> lines;
  for (const std::u16string& line : testing::corpus_lines(n))
    lines.push_back(testing::u8(line));
  return lines;
}

}  // namespace tsugihagi
