#include "core/io/primitives.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using testing::bytes;
using testing::memory_reader;
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

TEST(compact_int, reads_back_exactly_the_bytes_it_wrote) {
  for (const std::uint32_t v : {0u, 0xFFu, 0x100u, 0xFFFFu, 0x10000u, 0x1000000u, 0xFFFFFFFEu}) {
    const bytes encoded = written_by([v](data_stream& s) { write_compact_int(s, v); });
    EXPECT_EQ(encoded.size(), compact_int_size(v)) << v;
    bytes followed = encoded;
    followed.push_back(0x00);
    data_stream s = memory_reader(followed);
    EXPECT_EQ(read_compact_int(s), v);
    EXPECT_EQ(s.remaining(), 1u) << v;
    EXPECT_FALSE(s.failed()) << v;
  }
}

TEST(compact_int, a_length_byte_above_four_or_a_value_cut_short_fails_the_stream) {
  for (const bytes& data :
       {bytes{0x05, 1, 2, 3, 4, 5}, bytes{0xFF, 1, 2, 3, 4}, bytes{0x02, 0x34}}) {
    data_stream s = memory_reader(data);
    read_compact_int(s);
    EXPECT_TRUE(s.failed()) << int{data[0]};
  }
}

TEST(fixed_layouts, i32_wide_z_wide_counted_and_i32_array_have_their_exact_bytes) {
  EXPECT_EQ(written_by([](data_stream& s) { write_i32(s, -2); }), (bytes{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(written_by([](data_stream& s) { write_wide_z(s, u""); }), (bytes{0x00, 0x00}));
  EXPECT_EQ(written_by([](data_stream& s) { write_wide_z(s, u"aあ"); }),
            (bytes{0x61, 0x00, 0x42, 0x30, 0x00, 0x00}));
  EXPECT_EQ(written_by([](data_stream& s) { write_wide_counted(s, u"aあ"); }),
            (bytes{0x02, 0, 0, 0, 0x61, 0x00, 0x42, 0x30}));
  const std::int32_t values[] = {1, -1};
  EXPECT_EQ(written_by([&](data_stream& s) { write_i32_array(s, values, 2); }),
            (bytes{0x02, 0, 0, 0, 0x01, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(written_by([](data_stream& s) { write_i32_array(s, nullptr, 0); }),
            (bytes{0, 0, 0, 0}));
}

TEST(fixed_layouts, read_back_what_was_written_in_sequence) {
  const std::int32_t values[] = {INT32_MIN, 7};
  data_stream s = memory_reader(written_by([&](data_stream& w) {
    write_wide_z(w, u"あい");
    write_wide_counted(w, u"");
    write_wide_counted(w, u"う");
    write_i32_array(w, values, 2);
    write_i32(w, -2);
  }));
  std::u16string z, empty, counted;
  std::vector<std::int32_t> array;
  read_wide_z(s, z);
  read_wide_counted(s, empty);
  read_wide_counted(s, counted);
  read_i32_array(s, array);
  EXPECT_EQ(read_i32(s), -2);
  EXPECT_EQ(z, u"あい");
  EXPECT_EQ(empty, u"");
  EXPECT_EQ(counted, u"う");
  EXPECT_EQ(array, (std::vector<std::int32_t>{INT32_MIN, 7}));
  EXPECT_FALSE(s.failed());
  EXPECT_EQ(s.remaining(), 0u);
}

TEST(byte_blob, is_its_compact_length_then_the_raw_bytes) {
  EXPECT_EQ(written_by([](data_stream& s) { write_byte_blob(s, nullptr, 0); }), (bytes{0x00}));
  const bytes content(300, 0x5A);
  const bytes encoded =
      written_by([&](data_stream& s) { write_byte_blob(s, content.data(), content.size()); });
  EXPECT_EQ(bytes(encoded.begin(), encoded.begin() + 3), (bytes{0x02, 0x2C, 0x01}));
  data_stream s = memory_reader(encoded);
  bytes out;
  read_byte_blob(s, out);
  EXPECT_EQ(out, content);
  data_stream empty = memory_reader({0x00});
  read_byte_blob(empty, out);
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(s.failed() || empty.failed());
}

TEST(bit_vector, takes_ceil_n_over_8_bytes_and_writes_unused_bits_as_zero) {
  const auto encode = [](std::vector<std::uint8_t> flags) {
    return written_by([&](data_stream& s) { write_bit_vector(s, flags.data(), flags.size()); });
  };
  EXPECT_EQ(encode({}), bytes{});
  EXPECT_EQ(encode({1, 0, 0, 0, 0, 0, 0, 1}), (bytes{0x81}));
  EXPECT_EQ(encode({0, 0, 0, 0, 0, 0, 0, 0, 1}), (bytes{0x00, 0x01}));
  EXPECT_EQ(encode(std::vector<std::uint8_t>(9, 1)), (bytes{0xFF, 0x01}));
  EXPECT_EQ(encode({2, 0x80, 0}), (bytes{0x03})) << "any non-zero flag byte is a set flag";
}

TEST(bit_vector, reads_flags_as_0_or_1_and_ignores_unused_bits) {
  data_stream s = memory_reader({0xFA, 0xFF});
  std::vector<std::uint8_t> flags;
  read_bit_vector(s, 3, flags);
  EXPECT_EQ(flags, (std::vector<std::uint8_t>{0, 1, 0}));
  read_bit_vector(s, 1, flags);
  EXPECT_EQ(flags, (std::vector<std::uint8_t>{1}));
  read_bit_vector(s, 0, flags);
  EXPECT_TRUE(flags.empty());
  EXPECT_FALSE(s.failed()) << "zero flags read nothing, even at the end of the data";
}

// Counts the writers never produce (negative, or more than the data holds) fail the stream
// before anything is allocated for them; a sanitizer build reports a huge allocation.
TEST(damaged_data, an_impossible_count_fails_the_stream_and_yields_nothing) {
  const auto blob = [](bytes data) {
    data_stream s = memory_reader(std::move(data));
    bytes out{9};
    read_byte_blob(s, out);
    return s.failed() && out.empty();
  };
  EXPECT_TRUE(blob({0x02, 0x00, 0x10, 0xAA, 0xBB}));
  EXPECT_TRUE(blob({0x04, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}));
  EXPECT_TRUE(blob({0x04, 0xFF, 0xFF, 0xFF, 0xFF}));

  const auto wide = [](bytes data) {
    data_stream s = memory_reader(std::move(data));
    std::u16string out = u"old";
    read_wide_counted(s, out);
    return s.failed() && out.empty();
  };
  EXPECT_TRUE(wide({0xFF, 0xFF, 0xFF, 0xFF, 0x61, 0x00}));
  EXPECT_TRUE(wide({0xFF, 0xFF, 0xFF, 0x7F, 0x61, 0x00}));
  EXPECT_TRUE(wide({0x02, 0, 0, 0, 0x61, 0x00, 0x62}));

  const auto array = [](bytes data) {
    data_stream s = memory_reader(std::move(data));
    std::vector<std::int32_t> out{5};
    read_i32_array(s, out);
    return s.failed() && out.empty();
  };
  EXPECT_TRUE(array({0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0}));
  EXPECT_TRUE(array({0xFF, 0xFF, 0xFF, 0x3F, 1, 0, 0, 0}));
  EXPECT_TRUE(array({0x02, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0}));

  data_stream s = memory_reader({0xFF});
  std::vector<std::uint8_t> flags;
  read_bit_vector(s, 9, flags);
  EXPECT_TRUE(s.failed() && flags.empty());
}

TEST(damaged_data, a_stream_stays_failed_after_a_rejected_count) {
  data_stream s = memory_reader({0x02, 0x00, 0x10, 0x01, 0x00, 0x00, 0x00});
  bytes out;
  read_byte_blob(s, out);
  ASSERT_TRUE(s.failed());
  EXPECT_EQ(read_i32(s), 0) << "four readable bytes remain, but nothing is read";
  EXPECT_TRUE(s.failed());
}

TEST(damaged_data, a_wide_z_without_terminator_fails_at_the_end) {
  for (const bytes& data : {bytes{0x61, 0x00}, bytes{0x61, 0x00, 0x00}}) {
    data_stream s = memory_reader(data);
    std::u16string text;
    read_wide_z(s, text);
    EXPECT_TRUE(s.failed()) << data.size();
  }
}

TEST(long_fields, cross_the_encoders_blocks_with_their_exact_bytes_and_read_back) {
  // Lengths around the writers' 512-byte blocks: 256 units, 128 i32s, 4096 flags per block.
  for (const std::size_t n : {255u, 256u, 257u, 4095u, 4096u, 4097u, 9000u}) {
    std::u16string text(n, u'\0');
    std::vector<std::int32_t> values(n);
    std::vector<std::uint8_t> flags(n);
    bytes expected_text{};
    bytes expected_values{};
    bytes expected_flags((n + 7) / 8, 0);
    for (std::size_t i = 0; i < n; ++i) {
      text[i] = static_cast<char16_t>(0x3040 + i % 97);
      values[i] = static_cast<std::int32_t>(i * 2654435761u);
      flags[i] = static_cast<std::uint8_t>(i % 3 == 0 ? 0 : i % 7);
      expected_text.push_back(static_cast<std::uint8_t>(text[i] & 0xFF));
      expected_text.push_back(static_cast<std::uint8_t>(text[i] >> 8));
      for (int b = 0; b < 4; ++b)
        expected_values.push_back(
            static_cast<std::uint8_t>(static_cast<std::uint32_t>(values[i]) >> (8 * b)));
      if (flags[i] != 0) expected_flags[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    }
    const bytes z = written_by([&](data_stream& s) { write_wide_z(s, text); });
    bytes appended;
    append_wide_z(appended, text);
    EXPECT_EQ(z, appended) << n;
    expected_text.insert(expected_text.end(), {0, 0});
    EXPECT_EQ(z, expected_text) << n;
    const bytes array = written_by([&](data_stream& s) { write_i32_array(s, values.data(), n); });
    EXPECT_EQ(bytes(array.begin() + 4, array.end()), expected_values) << n;
    const bytes bits = written_by([&](data_stream& s) { write_bit_vector(s, flags.data(), n); });
    EXPECT_EQ(bits, expected_flags) << n;
    bytes appended_bits{7};
    append_bit_vector(appended_bits, flags.data(), n);
    EXPECT_EQ(bytes(appended_bits.begin() + 1, appended_bits.end()), expected_flags) << n;

    bytes all = z;
    all.insert(all.end(), array.begin(), array.end());
    all.insert(all.end(), bits.begin(), bits.end());
    data_stream in = memory_reader(all);
    std::u16string text_read;
    std::vector<std::int32_t> values_read;
    std::vector<std::uint8_t> flags_read;
    read_wide_z(in, text_read);
    read_i32_array(in, values_read);
    read_bit_vector(in, n, flags_read);
    EXPECT_FALSE(in.failed()) << n;
    EXPECT_EQ(text_read, text) << n;
    EXPECT_EQ(values_read, values) << n;
    for (std::uint8_t& f : flags)
      f = f != 0 ? 1 : 0;
    EXPECT_EQ(flags_read, flags) << n;
    EXPECT_EQ(in.remaining(), 0u);
  }
}

}  // namespace
}  // namespace tsugihagi
