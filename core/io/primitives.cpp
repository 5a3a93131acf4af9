#include "core/io/primitives.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tsugihagi {
namespace {

// Fields are encoded through a small block on the stack, written whenever it fills.
constexpr std::size_t block_bytes = 512;

void write_u16_units(data_stream& s, std::u16string_view text) {
  std::uint8_t block[block_bytes];
  std::size_t used = 0;
  for (const char16_t c : text) {
    if (used == block_bytes) {
      s.write_bytes(block, used);
      used = 0;
    }
    block[used++] = static_cast<std::uint8_t>(c & 0xFF);
    block[used++] = static_cast<std::uint8_t>(c >> 8);
  }
  if (used > 0) s.write_bytes(block, used);
}

// Reads `n` units, or fails the stream without reading when they are not all there.
void read_u16_units(data_stream& s, std::int64_t n, std::u16string& out) {
  out.clear();
  if (n < 0 || static_cast<std::uint64_t>(n) * 2 > s.remaining()) {
    s.fail();
    return;
  }
  out.resize(static_cast<std::size_t>(n));
  if constexpr (std::endian::native == std::endian::little) {
    s.read_bytes(out.data(), out.size() * 2);
  } else {
    std::vector<std::uint8_t> bytes(out.size() * 2);
    s.read_bytes(bytes.data(), bytes.size());
    for (std::size_t i = 0; i < out.size(); ++i)
      out[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  if (s.failed()) out.clear();
}

}  // namespace

void write_i32(data_stream& s, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                                 static_cast<std::uint8_t>(u >> 16),
                                 static_cast<std::uint8_t>(u >> 24)};
  s.write_bytes(bytes, 4);
}

std::int32_t read_i32(data_stream& s) {
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  s.read_bytes(bytes, 4);
  const std::uint32_t u =
      bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  return static_cast<std::int32_t>(u);
}

std::size_t encode_compact_int(std::uint32_t v, std::uint8_t* out) {
  const std::size_t length = compact_int_size(v) - 1;
  out[0] = static_cast<std::uint8_t>(length);
  for (std::size_t i = 0; i < length; ++i)
    out[1 + i] = static_cast<std::uint8_t>(v >> (8 * i));
  return 1 + length;
}

std::ptrdiff_t count_compact_ints(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* b = bytes.data();
  const std::size_t size = bytes.size();
  std::size_t pos = 0;
  std::size_t count = 0;
  // Each length byte plus 3 is at most 7 exactly when the length is at most 4; a longer
  // length counts as 0 while walking, the result being -1 anyway.
  std::uint64_t lengths_plus_3 = 0;
  // The second length byte is at most 5 bytes on, inside the eight read.
  while (pos + 8 <= size) {
    std::uint64_t word;
    std::memcpy(&word, b + pos, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    const std::uint64_t first = word & 0xFF;
    const std::uint64_t first_step = 1 + (first <= 4 ? first : 0);
    const std::uint64_t second = (word >> (8 * first_step)) & 0xFF;
    lengths_plus_3 |= (first + 3) | (second + 3);
    pos += first_step + 1 + (second <= 4 ? second : 0);
    count += 2;
  }
  if ((lengths_plus_3 & ~std::uint64_t{7}) != 0) return -1;
  while (pos < size) {
    const std::size_t length = b[pos];
    if (length > 4) return -1;
    pos += 1 + length;
    ++count;
  }
  return pos == size ? static_cast<std::ptrdiff_t>(count) : -1;
}

void write_compact_int(data_stream& s, std::uint32_t v) {
  std::uint8_t bytes[max_compact_int_bytes];
  s.write_bytes(bytes, encode_compact_int(v, bytes));
}

std::uint32_t read_compact_int(data_stream& s) {
  std::uint8_t length = 0;
  s.read_bytes(&length, 1);
  if (s.failed()) return 0;
  if (length > 4) {
    s.fail();
    return 0;
  }
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  s.read_bytes(bytes, length);
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void write_byte_blob(data_stream& s, const std::uint8_t* bytes, std::size_t n) {
  write_compact_int(s, static_cast<std::uint32_t>(n));
  if (n > 0) s.write_bytes(bytes, n);
}

void read_byte_blob(data_stream& s, std::vector<std::uint8_t>& out) {
  out.clear();
  const std::uint32_t n = read_compact_int(s);
  if (s.failed() || n == 0) return;
  if (n > s.remaining() || n > 0x7FFFFFFFu) {
    s.fail();
    return;
  }
  out.resize(n);
  s.read_bytes(out.data(), n);
  if (s.failed()) out.clear();
}

void write_wide_z(data_stream& s, std::u16string_view text) {
  write_u16_units(s, text);
  const std::uint8_t terminator[2] = {0, 0};
  s.write_bytes(terminator, 2);
}

void read_wide_z(data_stream& s, std::u16string& out) {
  out.clear();
  for (;;) {
    std::uint8_t unit[2] = {0, 0};
    s.read_bytes(unit, 2);
    if (s.failed()) return;
    const auto c = static_cast<char16_t>(unit[0] | (unit[1] << 8));
    if (c == 0) return;
    out.push_back(c);
  }
}

void write_wide_counted(data_stream& s, std::u16string_view text) {
  write_i32(s, static_cast<std::int32_t>(text.size()));
  write_u16_units(s, text);
}

void read_wide_counted(data_stream& s, std::u16string& out) {
  out.clear();
  const std::int32_t n = read_i32(s);
  if (s.failed()) return;
  read_u16_units(s, n, out);
}

void write_i32_array(data_stream& s, const std::int32_t* values, std::size_t n) {
  write_i32(s, static_cast<std::int32_t>(n));
  std::uint8_t block[block_bytes];
  std::size_t used = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (used == block_bytes) {
      s.write_bytes(block, used);
      used = 0;
    }
    const auto u = static_cast<std::uint32_t>(values[i]);
    for (int b = 0; b < 4; ++b)
      block[used++] = static_cast<std::uint8_t>(u >> (8 * b));
  }
  if (used > 0) s.write_bytes(block, used);
}

void read_i32_array(data_stream& s, std::vector<std::int32_t>& out) {
  out.clear();
  const std::int32_t n = read_i32(s);
  if (s.failed()) return;
  if (n < 0 || static_cast<std::uint64_t>(n) * 4 > s.remaining()) {
    s.fail();
    return;
  }
  out.resize(static_cast<std::size_t>(n));
  if constexpr (std::endian::native == std::endian::little) {
    s.read_bytes(out.data(), out.size() * 4);
  } else {
    std::vector<std::uint8_t> bytes(out.size() * 4);
    s.read_bytes(bytes.data(), bytes.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
      const std::uint32_t u = bytes[4 * i] | (bytes[4 * i + 1] << 8) | (bytes[4 * i + 2] << 16) |
                              (static_cast<std::uint32_t>(bytes[4 * i + 3]) << 24);
      out[i] = static_cast<std::int32_t>(u);
    }
  }
  if (s.failed()) out.clear();
}

void write_bit_vector(data_stream& s, const std::uint8_t* flags, std::size_t n) {
  std::uint8_t block[block_bytes];
  for (std::size_t first = 0; first < n; first += 8 * block_bytes) {
    const std::size_t count = std::min(n - first, 8 * block_bytes);
    const std::size_t bytes = (count + 7) / 8;
    std::fill(block, block + bytes, std::uint8_t{0});
    for (std::size_t j = 0; j < count; ++j) {
      if (flags[first + j] != 0) block[j / 8] |= static_cast<std::uint8_t>(1u << (j % 8));
    }
    s.write_bytes(block, bytes);
  }
}

void read_bit_vector(data_stream& s, std::size_t n, std::vector<std::uint8_t>& flags) {
  flags.clear();
  const std::size_t byte_count = (n + 7) / 8;
  if (byte_count > s.remaining()) {
    s.fail();
    return;
  }
  flags.resize(n);
  std::uint8_t block[block_bytes];
  for (std::size_t first = 0; first < n; first += 8 * block_bytes) {
    const std::size_t count = std::min(n - first, 8 * block_bytes);
    s.read_bytes(block, (count + 7) / 8);
    if (s.failed()) {
      flags.clear();
      return;
    }
    for (std::size_t j = 0; j < count; ++j)
      flags[first + j] = (block[j / 8] >> (j % 8)) & 1;
  }
}

void append_compact_int(std::vector<std::uint8_t>& out, std::uint32_t v) {
  std::uint8_t bytes[max_compact_int_bytes];
  out.insert(out.end(), bytes, bytes + encode_compact_int(v, bytes));
}

void append_wide_z(std::vector<std::uint8_t>& out, std::u16string_view text) {
  std::size_t at = out.size();
  out.resize(at + 2 * text.size() + 2);
  for (const char16_t c : text) {
    out[at++] = static_cast<std::uint8_t>(c & 0xFF);
    out[at++] = static_cast<std::uint8_t>(c >> 8);
  }
  out[at] = 0;
  out[at + 1] = 0;
}

void append_bit_vector(std::vector<std::uint8_t>& out, const std::uint8_t* flags, std::size_t n) {
  const std::size_t at = out.size();
  out.resize(at + (n + 7) / 8, 0);
  for (std::size_t j = 0; j < n; ++j) {
    if (flags[j] != 0) out[at + j / 8] |= static_cast<std::uint8_t>(1u << (j % 8));
  }
}

}  // namespace tsugihagi
