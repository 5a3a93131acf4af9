// The hash by which the dictionary indexes words: a polynomial over the text's UTF-16 units
// (mod 2^64), mixed with the length. Hashing a text costs O(length); once a line's prefix
// hashes are prepared (O(length) time and memory), the hash of any window of it costs O(1),
// so that probing all windows of a line costs one multiplication and a mix each.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tsugihagi {

// The polynomial of text[0 .. n-1] before mixing: sum of (unit + 1) * base^(n-1-i).
std::uint64_t polynomial_hash(std::u16string_view text);

// The mixed hash of a text whose polynomial is `polynomial`; every bit depends on every bit
// of the polynomial and of the length.
inline std::uint64_t mix_hash(std::uint64_t polynomial, std::size_t length) {
  std::uint64_t h = polynomial ^ (static_cast<std::uint64_t>(length) * 0xD6E8FEB86659FD93u);
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDu;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53u;
  h ^= h >> 33;
  return h;
}

inline std::uint64_t text_hash(std::u16string_view text) {
  return mix_hash(polynomial_hash(text), text.size());
}

// The prefix polynomials of one line and the powers of the base up to its length.
struct line_hashes {
  std::vector<std::uint64_t> prefix;  // prefix[i]: polynomial of line[0 .. i-1]
  std::vector<std::uint64_t> power;   // power[i]: base^i
};

// Prepares `h` for `line`, reusing its memory.
void prepare_line_hashes(line_hashes& h, std::u16string_view line);

// text_hash of line[start .. start+length-1].
// REQUIRES: h prepared for the line; 0 <= start, 0 <= length, start + length <= line length.
inline std::uint64_t window_hash(const line_hashes& h, std::size_t start, std::size_t length) {
  return mix_hash(h.prefix[start + length] - h.prefix[start] * h.power[length], length);
}

}  // namespace tsugihagi
