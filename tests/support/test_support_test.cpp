// The test library's access to the shared reference data: a missing folder fails the test
// that needs it, naming the folder, instead of letting it pass on no data.
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

namespace tsugihagi {
namespace {

void set_shared_dir_variable(const std::optional<std::string>& value) {
#ifdef _WIN32
  _putenv_s("TSUGIHAGI_SHARED_DIR", value ? value->c_str() : "");
#else
  if (value) {
    ::setenv("TSUGIHAGI_SHARED_DIR", value->c_str(), 1);
  } else {
    ::unsetenv("TSUGIHAGI_SHARED_DIR");
  }
#endif
}

// Points TSUGIHAGI_SHARED_DIR at a folder for the life of the object.
class shared_dir_override {
 public:
  explicit shared_dir_override(const std::filesystem::path& dir) {
    if (const char* old = std::getenv("TSUGIHAGI_SHARED_DIR")) old_ = old;
    set_shared_dir_variable(dir.string());
  }
  ~shared_dir_override() { set_shared_dir_variable(old_); }
  shared_dir_override(const shared_dir_override&) = delete;
  shared_dir_override& operator=(const shared_dir_override&) = delete;

 private:
  std::optional<std::string> old_;
};

// The message of what `f` throws; empty when it throws nothing.
template <typename F>
std::string thrown_by(F f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return {};
}

TEST(shared_data, a_missing_folder_fails_with_a_message_naming_it) {
  testing::temp_dir dir;
  const auto missing = dir.path() / "shared";
  shared_dir_override with(missing);
  EXPECT_NE(thrown_by([] { testing::shared_dir(); }).find((missing / "corpus").string()),
            std::string::npos);
  EXPECT_NE(thrown_by([] { testing::corpus_lines(10); }).find(missing.string()), std::string::npos);
}

TEST(shared_data, a_corpus_shorter_than_asked_for_fails) {
  testing::temp_dir dir;
  std::filesystem::create_directories(dir.path() / "corpus");
  std::filesystem::create_directories(dir.path() / "golden");
  testing::write_file(dir.path() / "corpus" / "ja-sentences.txt", {'a', '\n', 'b', '\n'});
  shared_dir_override with(dir.path());
  EXPECT_EQ(testing::corpus_lines(2).size(), 2u);
  EXPECT_NE(thrown_by([] { testing::corpus_lines(3); }).find("only 2 lines"), std::string::npos);
}

}  // namespace
}  // namespace tsugihagi
