#include "core/dict/text_hash.h"

namespace tsugihagi {
namespace {

// Odd, so that multiplying by it is invertible mod 2^64.
constexpr std::uint64_t base = 0x9E3779B97F4A7C15u;

}  // namespace

std::uint64_t polynomial_hash(std::u16string_view text) {
  std::uint64_t p = 0;
  for (const char16_t unit : text)
    p = p * base + (static_cast<std::uint64_t>(unit) + 1);
  return p;
}

void prepare_line_hashes(line_hashes& h, std::u16string_view line) {
  h.prefix.resize(line.size() + 1);
  h.power.resize(line.size() + 1);
  h.prefix[0] = 0;
  h.power[0] = 1;
  for (std::size_t i = 0; i < line.size(); ++i) {
    h.prefix[i + 1] = h.prefix[i] * base + (static_cast<std::uint64_t>(line[i]) + 1);
    h.power[i + 1] = h.power[i] * base;
  }
}

}  // namespace tsugihagi
