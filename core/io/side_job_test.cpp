#include "core/io/side_job.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace tsugihagi {
namespace {

// Both halves run, on two threads; an exception of either reaches the caller, `here`'s
// first when both throw.
TEST(SideJob, RunsBothHalvesAndRethrows) {
  struct row {
    bool side_throws;
    bool here_throws;
    const char* expected;  // the message caught, or nullptr
  };
  for (const row& r : {row{false, false, nullptr}, row{true, false, "side"},
                       row{false, true, "here"}, row{true, true, "here"}}) {
    bool side_ran = false;
    bool here_ran = false;
    std::thread::id side_thread;
    std::string caught;
    try {
      run_beside(
          [&] {
            side_ran = true;
            side_thread = std::this_thread::get_id();
            if (r.side_throws) throw std::runtime_error("side");
          },
          [&] {
            here_ran = true;
            if (r.here_throws) throw std::runtime_error("here");
          });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    EXPECT_TRUE(side_ran && here_ran);
    EXPECT_NE(side_thread, std::this_thread::get_id());
    EXPECT_EQ(caught, r.expected != nullptr ? r.expected : "");
  }
}

}  // namespace
}  // namespace tsugihagi
