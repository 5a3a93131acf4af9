#include "core/io/primitives.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::bytes;
using testing::written_by;

TEST(compact_int, encodes_only_significant_low_bytes) {
  const auto encode = [](std::uint32_t v) {
    return written_by([v](data_stream& s) { write_compact_int(s, v); });
  };
  EXPECT_EQ(encode(0), (bytes{0x00}));
  EXPECT_EQ(encode(0x12), (bytes{0x01, 0x12}));
  EXPECT_EQ(encode(0x1234), (bytes{0x02, 0x34, 0x12}));
  EXPECT_EQ(encode(0x00010000), (bytes{0x03, 0x00, 0x00, 0x01}));
  EXPECT_EQ(encode(0x01000000), (bytes{0x04, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_EQ(encode(0xFFFFFFFF), (bytes{0x04, 0xFF, 0xFF, 0xFF, 0xFF}));
}
}  // namespace
}  // namespace tsugihagi
