#include "core/app/journal.h"

#include <boost/crc.hpp>
#include <cstring>
#include <sstream>
#include <string_view>

#include "core/app/conversation_turn.h"
#include "core/app/forgetting.h"
#include "core/memory/learning.h"

namespace tsugihagi {
namespace {

constexpr std::string_view magic = "TSGHJNL1";

std::uint32_t crc32(const std::uint8_t* bytes, std::size_t n) {
  boost::crc_32_type crc;
  crc.process_bytes(bytes, n);
  return crc.checksum();
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Appends the CRC-32 of out[from..].
void seal(std::vector<std::uint8_t>& out, std::size_t from) {
  put_u32(out, crc32(out.data() + from, out.size() - from));
}

// Reads the journal's bytes from a position, each read checked against the end.
struct cursor {
  const std::vector<std::uint8_t>& bytes;
  std::size_t at = 0;
  bool ok = true;

  bool has(std::size_t n) const { return ok && bytes.size() - at >= n; }
  std::uint8_t u8() {
    if (!has(1)) return ok = false, 0;
    return bytes[at++];
  }
  std::uint32_t u32() {
    if (!has(4)) return ok = false, 0;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v |= std::uint32_t{bytes[at++]} << (8 * i);
    return v;
  }
  // Checks the CRC-32 that follows bytes[from..at).
  bool sealed(std::size_t from) {
    const std::uint32_t expected = crc32(bytes.data() + from, at - from);
    return u32() == expected && ok;
  }
};

std::optional<journal_entry> read_entry(cursor& c) {
  const std::size_t from = c.at;
  journal_entry e;
  const std::uint8_t kind = c.u8();
  const std::uint8_t seeded = c.u8();
  const std::uint32_t seed = c.u32();
  const std::uint32_t units = c.u32();
  if (!c.ok || kind < 1 || kind > 3 || seeded > 1 || units == 0 || units > max_line_units ||
      !c.has(2 * std::size_t{units})) {
    return std::nullopt;
  }
  e.kind = static_cast<journal_kind>(kind);
  if (seeded == 1) e.seed = seed;
  e.line.resize(units);
  for (char16_t& unit : e.line) {
    unit = static_cast<char16_t>(c.bytes[c.at] | (c.bytes[c.at + 1] << 8));
    c.at += 2;
  }
  if (!c.sealed(from)) return std::nullopt;
  return e;
}

}  // namespace

std::optional<journal_contents> read_journal(const std::filesystem::path& path) {
  data_stream s = open_read(path);
  if (s.failed()) return std::nullopt;
  std::vector<std::uint8_t> bytes(s.file_size());
  s.read_bytes(bytes.data(), bytes.size());
  if (s.failed() && !bytes.empty()) return std::nullopt;
  cursor c{bytes};
  if (!c.has(magic.size()) || std::memcmp(bytes.data(), magic.data(), magic.size()) != 0)
    return std::nullopt;
  c.at = magic.size();
  journal_contents contents;
  const std::uint8_t seeded = c.u8();
  const std::uint32_t length = c.u32();
  if (!c.ok || seeded > 1 || !c.has(length)) return std::nullopt;
  const std::string state(reinterpret_cast<const char*>(bytes.data() + c.at), length);
  c.at += length;
  if (!c.sealed(magic.size())) return std::nullopt;
  contents.start.seeded = seeded == 1;
  if (contents.start.seeded) {
    std::istringstream in(state);
    in >> contents.start.engine;
    if (!in) return std::nullopt;
  }
  contents.valid_bytes = c.at;
  while (c.at < bytes.size()) {
    std::optional<journal_entry> e = read_entry(c);
    if (!e) break;
    contents.entries.push_back(std::move(*e));
    contents.valid_bytes = c.at;
  }
  return contents;
}

void replay_journal(bot& b, const journal_contents& contents) {
  b.rng = contents.start;
  for (const journal_entry& e : contents.entries) {
    if (e.seed) seed_random(b.rng, *e.seed);
    switch (e.kind) {
      case journal_kind::converse:
        converse(b, e.line);
        break;
      case journal_kind::learn:
        learn_line(b.dic, b.log, b.patterns, e.line);
        break;
      case journal_kind::forget:
        forget_text(b, e.line);
        break;
    }
  }
}

bool journal_writer::write(const std::vector<std::uint8_t>& bytes) {
  stream_.write_bytes(bytes.data(), bytes.size());
  if (stream_.failed()) {
    close();
    return false;
  }
  size_ += bytes.size();
  return true;
}

bool journal_writer::start(const std::filesystem::path& path, const random_source& rng) {
  close();
  stream_ = open_create(path, 0666);
  if (stream_.failed()) return false;
  open_ = true;
  size_ = 0;
  records_ = 0;
  std::vector<std::uint8_t> header(magic.begin(), magic.end());
  header.push_back(rng.seeded ? 1 : 0);
  std::string state;
  if (rng.seeded) {
    std::ostringstream out;
    out << rng.engine;
    state = out.str();
  }
  put_u32(header, static_cast<std::uint32_t>(state.size()));
  header.insert(header.end(), state.begin(), state.end());
  seal(header, magic.size());
  if (!write(header) || !stream_.close()) {
    close();
    return false;
  }
  // From here on the file is appended to: a device that removes what it created on failure
  // must not hold it once it holds a turn.
  return resume(path, header.size());
}

bool journal_writer::resume(const std::filesystem::path& path, std::uint64_t keep) {
  close();
  stream_ = open_append(path, keep);
  if (stream_.failed()) return false;
  open_ = true;
  size_ = keep;
  return true;
}

bool journal_writer::append(const journal_entry& entry, bool sync_now) {
  if (!open_) return false;
  std::vector<std::uint8_t> record;
  record.reserve(14 + 2 * entry.line.size());
  record.push_back(static_cast<std::uint8_t>(entry.kind));
  record.push_back(entry.seed ? 1 : 0);
  put_u32(record, entry.seed.value_or(0));
  put_u32(record, static_cast<std::uint32_t>(entry.line.size()));
  for (const char16_t unit : entry.line) {
    record.push_back(static_cast<std::uint8_t>(unit));
    record.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  seal(record, 0);
  if (!write(record)) return false;
  ++records_;
  return !sync_now || sync();
}

bool journal_writer::sync() {
  if (!open_) return false;
  if (stream_.sync()) return true;
  close();
  return false;
}

void journal_writer::close() {
  if (open_) stream_.close();
  stream_ = data_stream();
  open_ = false;
}

}  // namespace tsugihagi
