// The journal of turns: every line learned since the data files were last saved as a set,
// appended to "turns.journal" inside the data folder, the set it extends, before the turn's
// reply is shown. A start after a crash loads the set and replays the journal, so no answered
// turn is lost; the next set save holds those turns and drops the journal with the old set.
//
// A journal begins with the random generator's state at its start (the pattern history that
// learning keeps in memory only affects nothing that is saved or said, so it is not kept),
// followed by one record per learned line: what kind of turn it was, the seed the turn drew
// from the clock when it was the first, and the line. Every part ends with a CRC-32 of its
// bytes; a record cut short or damaged by a crash ends the journal there.
//
// Costs: one write per record and, for the turns that are synced, one fdatasync; reading
// holds the whole journal in memory once (its size is bounded by the checkpoints).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/app/bot.h"
#include "core/io/data_stream.h"

namespace tsugihagi {

inline constexpr const char* journal_file_name = "turns.journal";

enum class journal_kind : std::uint8_t {
  converse = 1,  // learned and answered (a conversation turn)
  learn = 2,     // learned without an answer (a line of a taught file)
  forget = 3,    // what holds the text was forgotten (forgetting.h)
};

struct journal_entry {
  journal_kind kind = journal_kind::converse;
  std::optional<std::uint32_t> seed;  // the generator was seeded with it before this turn
  std::u16string line;                // the cut line (or the forgotten text), 1..1022 units
};

// What a journal holds up to its first incomplete or damaged record.
struct journal_contents {
  random_source start;  // the generator when the journal began
  std::vector<journal_entry> entries;
  std::uint64_t valid_bytes = 0;  // the length of the readable part
};

// Reads the journal at `path`; nothing when there is none or its beginning is unreadable
// (a crash while it was being started: it holds no turn).
std::optional<journal_contents> read_journal(const std::filesystem::path& path);

// Replays the entries on `b` as the turns ran: learning, and the replies for conversation
// turns, whose text is dropped. REQUIRES: b holds the set the journal extends, with its
// generator as contents.start.
void replay_journal(bot& b, const journal_contents& contents);

// An open journal being appended to.
class journal_writer {
 public:
  journal_writer() = default;
  // Starts a new journal at `path` with the generator's current state; nothing may exist
  // there. False when it could not be written durably.
  bool start(const std::filesystem::path& path, const random_source& rng);
  // Goes on appending to the journal at `path` after its first `keep` bytes.
  bool resume(const std::filesystem::path& path, std::uint64_t keep);
  bool is_open() const { return open_; }
  // Appends a record; with `sync`, makes it durable before returning. False on failure, after
  // which the journal is closed.
  bool append(const journal_entry& entry, bool sync);
  // Makes every appended record durable. False on failure (the journal is then closed).
  bool sync();
  // Bytes the journal holds, header included.
  std::uint64_t size() const { return size_; }
  // Records appended since the journal began (resumed journals count from their start).
  std::int64_t records() const { return records_; }
  void set_records(std::int64_t n) { records_ = n; }
  void close();

 private:
  bool write(const std::vector<std::uint8_t>& bytes);

  data_stream stream_;
  bool open_ = false;
  std::uint64_t size_ = 0;
  std::int64_t records_ = 0;
};

}  // namespace tsugihagi
