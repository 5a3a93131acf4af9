// Readers and writers for the field encodings of the data files, over a data_stream.
// All little-endian. Readers check every count against the bytes left in the stream and
// fail the stream instead of allocating or reading past the data; callers test failed().
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/io/data_stream.h"

namespace tsugihagi {

// i32: 4 bytes, two's complement.
void write_i32(data_stream& s, std::int32_t v);
std::int32_t read_i32(data_stream& s);

// compact_int: a length byte L (0..4), then the L low-order bytes of the value. A length
// byte above 4 fails the stream.
inline constexpr std::size_t max_compact_int_bytes = 5;
// 1 + L, without a loop.
inline std::size_t compact_int_size(std::uint32_t v) {
  return 1 + (static_cast<std::size_t>(std::bit_width(v)) + 7) / 8;
}
// Encodes into `out` (room for 5 bytes); returns the bytes written.
std::size_t encode_compact_int(std::uint32_t v, std::uint8_t* out);
void write_compact_int(data_stream& s, std::uint32_t v);
std::uint32_t read_compact_int(data_stream& s);
// How many whole compact_ints the bytes hold, or -1 when they do not end exactly at the end
// (a length byte above 4, or a value cut short). Two values per eight-byte read away from
// the end, so that checking a loaded list costs little more than copying it.
std::ptrdiff_t count_compact_ints(std::span<const std::uint8_t> bytes);

// byte_blob: a compact_int n, then n raw bytes.
void write_byte_blob(data_stream& s, const std::uint8_t* bytes, std::size_t n);
// Replaces `out` with the blob; fails the stream when n exceeds the bytes left.
void read_byte_blob(data_stream& s, std::vector<std::uint8_t>& out);

// wide_z: UTF-16 units, then one 0x0000 unit.
void write_wide_z(data_stream& s, std::u16string_view text);
// Replaces `out` with the units before the terminator; fails at the end of the data.
void read_wide_z(data_stream& s, std::u16string& out);

// wide_counted: an i32 n, then n UTF-16 units.
void write_wide_counted(data_stream& s, std::u16string_view text);
void read_wide_counted(data_stream& s, std::u16string& out);

// i32_array: an i32 n, then n i32 values.
void write_i32_array(data_stream& s, const std::int32_t* values, std::size_t n);
void read_i32_array(data_stream& s, std::vector<std::int32_t>& out);

// bit_vector: n flags in ceil(n/8) bytes, flag j at bit j%8 of byte j/8; unused bits of the
// last byte are written as 0. Flags are bytes, non-zero meaning set; read flags are 0 or 1.
void write_bit_vector(data_stream& s, const std::uint8_t* flags, std::size_t n);
void read_bit_vector(data_stream& s, std::size_t n, std::vector<std::uint8_t>& flags);

// The same encodings appended to a byte vector, for writers that gather many fields and
// write them as one block (the bytes are those the write_ functions above produce).
void append_compact_int(std::vector<std::uint8_t>& out, std::uint32_t v);
void append_wide_z(std::vector<std::uint8_t>& out, std::u16string_view text);
void append_bit_vector(std::vector<std::uint8_t>& out, const std::uint8_t* flags, std::size_t n);

}  // namespace tsugihagi
