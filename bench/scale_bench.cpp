// Costs at scale, in one run, printed as one table: teaching corpus lines one by one (as
// tsugihagi-cli --learn does) with the rate of each corpus, of every 10,000 lines and of the
// first and last 3,000; peak memory while teaching against the size of the data files
// saved at the end; saving and loading that state, and the first turns on the state loaded;
// then, on it, whole turns (learn and reply) of corpus lines and of short chat lines with
// their median and 99th percentile, and the worst case: a longest line sharing nothing with a log
// of longest lines. Last, the journal on that state: short turns through the session with saving
// off (no journal) and on (each turn's line synced to the journal before its reply), and the rate
// at which a start replays a journal of taught lines.
//
// usage: tsugihagi_bench_scale [--state DIR] [--turns-only] [--corpus FILE]... [LINES [TURNS]]
// Each FILE (as given, else in the shared corpus folder; default ja-sentences.txt) is taught
// in turn, each with its own rate; LINES (default: all of them) beyond them are the corpora
// again, line by line, with each line's clauses (cut after 、 and 。) shuffled by a
// generator seeded with the line's number (bench::reorder_clauses), made a stage at a time
// outside the clock. TURNS defaults to 1000.
// With --state, a taught state saved in DIR/data is loaded instead of teaching (no teaching
// rows, no peak memory), and one taught is saved there, so that later runs skip teaching.
// --turns-only leaves out saving, loading, sessions and the journal, for profiling turns.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <time.h>
#include <unistd.h>

#include "bench/bench_corpus.h"
#include "core/app/bot.h"
#include "core/app/conversation_turn.h"
#include "core/app/session.h"
#include "core/memory/learning.h"

namespace {

using tsugihagi::bot;
using tsugihagi::log_capacity;
using clock_type = std::chrono::steady_clock;

constexpr std::uint32_t fixed_seed = 20261209;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

double thread_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The process's peak resident set so far, in bytes (VmHWM of /proc/self/status).
std::uint64_t peak_rss_bytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
  }
  return 0;
}

// Lines [first, end) of the taught lines came from `name`.
struct source {
  std::string name;
  std::size_t first;
  std::size_t end;
};

struct timing {
  double median_ms;
  double p99_ms;
  double cpu_median_ms;
  double cpu_p99_ms;
};

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;  // no turns asked for
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[rank];
}

timing time_turns(bot& b, const std::vector<std::u16string>& lines) {
  std::vector<double> wall;
  std::vector<double> cpu;
  for (const std::u16string& line : lines) {
    const double cpu_start = thread_cpu_ms();
    const auto start = clock_type::now();
    tsugihagi::converse(b, line);
    wall.push_back(seconds_since(start) * 1e3);
    cpu.push_back(thread_cpu_ms() - cpu_start);
  }
  return {percentile(wall, 0.5), percentile(wall, 0.99), percentile(cpu, 0.5),
          percentile(cpu, 0.99)};
}

// Short turns through a session on the state saved in `dir`, which is left as it was.
timing time_session_turns(const std::filesystem::path& dir, tsugihagi::save_mode mode,
                          const std::vector<std::u16string>& lines) {
  std::vector<double> wall;
  {
    tsugihagi::session s(
        dir, [] { return std::int64_t{fixed_seed}; }, strmorph::default_entry_limit, mode);
    tsugihagi::start_session(s);
    for (const std::u16string& line : lines) {
      const auto start = clock_type::now();
      tsugihagi::submit_line(s, line);
      wall.push_back(seconds_since(start) * 1e3);
    }
  }
  std::filesystem::remove(dir / "data" / tsugihagi::journal_file_name);
  return {percentile(wall, 0.5), percentile(wall, 0.99), 0, 0};
}

struct replay_timing {
  double plain_lines_per_s;
  double journaling_lines_per_s;
  double replay_lines_per_s;
};

// Teaches `count` corpus lines through a session that journals them and is never saved,
// then loads the state twice, without and with that journal.
replay_timing time_replay(const std::filesystem::path& dir,
                          const std::vector<std::u16string>& lines, std::size_t count) {
  const auto load_seconds = [&] {
    auto loaded = std::make_unique<bot>([] { return std::int64_t{fixed_seed}; });
    const auto start = clock_type::now();
    tsugihagi::load_data_files(*loaded, dir);
    return seconds_since(start);
  };
  const double plain_load = load_seconds();
  const auto teach = [&](tsugihagi::save_mode mode) {
    tsugihagi::session s(
        dir, [] { return std::int64_t{fixed_seed}; }, strmorph::default_entry_limit, mode);
    tsugihagi::start_session(s);
    const auto start = clock_type::now();
    for (std::size_t i = 0; i < count; ++i)
      tsugihagi::learn_text_line(s, lines[lines.size() - 1 - i]);
    tsugihagi::sync_journal(s);
    return seconds_since(start);
  };  // the session ends without a save, as a kill would end it
  const double plain = teach(tsugihagi::save_mode::never);
  const double journaling = teach(tsugihagi::save_mode::always);
  const double replaying = load_seconds() - plain_load;
  std::filesystem::remove(dir / "data" / tsugihagi::journal_file_name);
  const auto c = static_cast<double>(count);
  return {c / plain, c / journaling, c / replaying};
}

// log_capacity longest lines of ideographs from one block enter the log, each cut into
// two-unit words (set directly, as segmenting them would find); then turns of longest lines
// each from a block of its own, so that nothing of a probe occurs in the log. The slowest.
double worst_case_ms(bot& b) {
  constexpr std::size_t length = tsugihagi::max_line_units;
  for (std::size_t i = 0; i < log_capacity; ++i) {
    const std::u16string text =
        tsugihagi::bench::ideograph_line(static_cast<std::uint32_t>(i), length, u'\u4E00', 0x1000);
    tsugihagi::add_line(b.log, text);
    std::vector<std::int32_t>& ids = b.log.line_words[0].ids;
    for (std::size_t k = 0; k < length; k += 2)
      ids.push_back(strmorph::add_word(b.dic, text.data() + k, 2).first->second.id);
  }
  constexpr char16_t probe_block = 0x800;
  double worst = 0;
  char16_t first = u'\u6000';
  for (int probe_number = 0; probe_number < 3; ++probe_number, first += probe_block) {
    const std::u16string probe =
        tsugihagi::bench::ideograph_line(first, length, first, probe_block);
    const auto start = clock_type::now();
    tsugihagi::converse(b, probe);
    worst = std::max(worst, seconds_since(start) * 1e3);
  }
  return worst;
}

std::uintmax_t data_files_bytes(const std::filesystem::path& dir) {
  std::uintmax_t total = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "data"))
    total += entry.file_size();
  return total;
}

void row(const char* what, const char* format, auto... values) {
  char value[96];
  std::snprintf(value, sizeof value, format, values...);
  std::printf("| %-42s | %-32s |\n", what, value);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> corpora;
  std::vector<const char*> counts;
  std::filesystem::path state;
  bool turns_only = false;
  for (int a = 1; a < argc; ++a) {
    if (std::string_view(argv[a]) == "--corpus" && a + 1 < argc) {
      corpora.emplace_back(argv[++a]);
    } else if (std::string_view(argv[a]) == "--turns-only") {
      turns_only = true;
    } else if (std::string_view(argv[a]) == "--state" && a + 1 < argc) {
      state = argv[++a];
    } else {
      counts.push_back(argv[a]);
    }
  }
  if (corpora.empty()) corpora.emplace_back("ja-sentences.txt");
  // Each corpus in turn, then passes over them all again with clauses reordered.
  std::vector<std::u16string> lines;
  std::vector<source> sources;
  for (const std::string& corpus : corpora) {
    const std::size_t first = lines.size();
    for (std::u16string& line : tsugihagi::bench::corpus_file_lines(corpus))
      lines.push_back(std::move(line));
    sources.push_back({corpus, first, lines.size()});
  }
  const std::size_t corpus_total = lines.size();
  const std::size_t line_count =
      counts.size() > 0 ? std::strtoull(counts[0], nullptr, 10) : corpus_total;
  const std::size_t turn_count = counts.size() > 1 ? std::strtoull(counts[1], nullptr, 10) : 1000;
  if (line_count < corpus_total) lines.resize(line_count);
  if (line_count > corpus_total && corpus_total > 0)
    sources.push_back({"clauses reordered", corpus_total, line_count});
  const std::size_t n = corpus_total > 0 ? std::max(line_count, lines.size()) : 0;
  // Line i: a corpus line, or past them one with its clauses reordered, made a stage at a
  // time, so that the bench holds no more text than the corpora (its memory is counted in
  // the peak while teaching).
  const auto line_at = [&](std::size_t i) {
    return i < lines.size() ? lines[i]
                            : tsugihagi::bench::reorder_clauses(lines[i % corpus_total], i);
  };
  if (n < 10) {
    std::fprintf(stderr, "need at least 10 corpus lines\n");
    return 2;
  }

  // Teaching in stages between the marks: every 10,000 lines, the corpora's ends and the
  // first and last 3,000 lines (a tenth when shorter).
  const std::size_t edge = std::min<std::size_t>(3000, n / 10);
  std::vector<std::size_t> marks = {0, edge, n - edge, n};
  for (std::size_t m = 10000; m < n; m += 10000)
    marks.push_back(m);
  for (const source& s : sources)
    marks.push_back(std::min(s.end, n));
  std::sort(marks.begin(), marks.end());
  marks.erase(std::unique(marks.begin(), marks.end()), marks.end());
  std::vector<double> mark_seconds = {0};
  std::vector<double> mark_cpu_seconds = {0};
  auto taught = std::make_unique<bot>([] { return std::int64_t{fixed_seed}; });
  const bool reuse = !state.empty() && std::filesystem::exists(state / "data");
  if (reuse) {
    tsugihagi::load_data_files(*taught, state);
    marks.resize(1);
  }
  double teaching_seconds = 0;
  double teaching_cpu_ms = 0;
  for (std::size_t stage = 0; stage + 1 < marks.size(); ++stage) {
    // The stage's reordered lines, made before its clock starts.
    const std::size_t first_made = std::max(marks[stage], lines.size());
    std::vector<std::u16string> made;
    for (std::size_t i = first_made; i < marks[stage + 1]; ++i)
      made.push_back(line_at(i));
    const double cpu_start = thread_cpu_ms();
    const auto start = clock_type::now();
    for (std::size_t i = marks[stage]; i < marks[stage + 1]; ++i) {
      const std::u16string& line = i < lines.size() ? lines[i] : made[i - first_made];
      tsugihagi::learn_line(taught->dic, taught->log, taught->patterns, tsugihagi::cut_line(line));
    }
    teaching_seconds += seconds_since(start);
    teaching_cpu_ms += thread_cpu_ms() - cpu_start;
    mark_seconds.push_back(teaching_seconds);
    mark_cpu_seconds.push_back(teaching_cpu_ms / 1e3);
  }
  const std::uint64_t teaching_rss = peak_rss_bytes();
  if (!state.empty() && !reuse) {
    std::filesystem::create_directories(state / "data");
    tsugihagi::save_data_files(*taught, state);
  }

  // Turns of taught corpus lines spread over the corpus, then short ones cut from others.
  std::vector<std::u16string> corpus_turns;
  std::vector<std::u16string> short_turns;
  for (std::size_t i = 0; i < turn_count; ++i) {
    const std::size_t pick = (i * n) / turn_count;
    corpus_turns.push_back(line_at(pick));
    std::u16string chat = line_at((pick + n / (2 * turn_count)) % n);
    const std::size_t keep = 10 + i % 11;
    if (chat.size() > keep) chat.resize(keep);
    short_turns.push_back(std::move(chat));
  }
  const std::size_t words = taught->dic.wordmap.size();
  const std::size_t idioms = taught->dic.idiomset.size();
  // The state saved, loaded, and used by sessions and a journal: skipped with --turns-only.
  double save_s = 0;
  double load_s = 0;
  // The cpu time of each of the first turns on the state just loaded.
  std::vector<double> first_turns(5, 0.0);
  std::uintmax_t file_bytes = 0;
  timing plain_session{};
  timing journaled{};
  replay_timing replay{};
  if (!turns_only) {
    char dir_template[] = "/tmp/tsugihagi-scale-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(dir_template);
    std::filesystem::create_directories(dir / "data");
    auto start = clock_type::now();
    std::string save_error;
    if (!tsugihagi::save_data_files(*taught, dir, &save_error)) {
      std::fprintf(stderr, "saving failed: %s\n", save_error.c_str());
      return 1;
    }
    save_s = seconds_since(start);
    file_bytes = data_files_bytes(dir);
    {
      auto loaded = std::make_unique<bot>([] { return std::int64_t{fixed_seed}; });
      start = clock_type::now();
      tsugihagi::load_data_files(*loaded, dir);
      load_s = seconds_since(start);
      for (std::size_t i = 0; i < first_turns.size() && !short_turns.empty(); ++i) {
        const double cpu_start = thread_cpu_ms();
        tsugihagi::converse(*loaded, short_turns[i % short_turns.size()]);
        first_turns[i] = thread_cpu_ms() - cpu_start;
      }
    }

    plain_session = time_session_turns(dir, tsugihagi::save_mode::never, short_turns);
    journaled = time_session_turns(dir, tsugihagi::save_mode::config, short_turns);
    replay = time_replay(dir, lines, std::min<std::size_t>(lines.size(), 5000));
    std::filesystem::remove_all(dir);
  }
  const timing corpus_timing = time_turns(*taught, corpus_turns);
  const timing short_timing = time_turns(*taught, short_turns);
  const double worst_ms = worst_case_ms(*taught);

  // Lines per second over [from, to), wall and cpu; both are marks.
  const auto rate = [&](std::size_t from, std::size_t to) {
    const auto at = [&](std::size_t line) {
      return static_cast<std::size_t>(std::lower_bound(marks.begin(), marks.end(), line) -
                                      marks.begin());
    };
    const auto lines_taught = static_cast<double>(to - from);
    return std::pair{lines_taught / (mark_seconds[at(to)] - mark_seconds[at(from)]),
                     lines_taught / (mark_cpu_seconds[at(to)] - mark_cpu_seconds[at(from)])};
  };
  std::printf("| %-42s | %-32s |\n", "what", "measured");
  std::printf("|%s|%s|\n", std::string(44, '-').c_str(), std::string(34, '-').c_str());
  char label[96];
  const auto rate_row = [&](const char* what, std::size_t from, std::size_t to) {
    const auto [wall, cpu] = rate(from, to);
    std::snprintf(label, sizeof label, "%s %zu-%zu", what, from, to);
    row(label, "%8.0f lines/s (cpu: %6.0f)", wall, cpu);
  };
  if (!reuse) {
    for (std::size_t m = 0; m < n; m += 10000)
      rate_row("teaching lines", m, std::min(m + 10000, n));
    for (const source& s : sources) {
      if (s.first < n) rate_row(s.name.c_str(), s.first, std::min(s.end, n));
    }
    rate_row("teaching, first lines", 0, edge);
    rate_row("teaching, last lines", n - edge, n);
    rate_row("teaching, all lines", 0, n);
    row("last lines' rate / first lines'", "%8.2f         (cpu: %6.2f)",
        rate(n - edge, n).first / rate(0, edge).first,
        rate(n - edge, n).second / rate(0, edge).second);
  }
  row("turn, corpus lines: median / p99 (wall)", "%8.2f ms / %8.2f ms", corpus_timing.median_ms,
      corpus_timing.p99_ms);
  row("turn, corpus lines: median / p99 (cpu)", "%8.2f ms / %8.2f ms", corpus_timing.cpu_median_ms,
      corpus_timing.cpu_p99_ms);
  row("turn, short lines: median / p99 (wall)", "%8.2f ms / %8.2f ms", short_timing.median_ms,
      short_timing.p99_ms);
  row("turn, short lines: median / p99 (cpu)", "%8.2f ms / %8.2f ms", short_timing.cpu_median_ms,
      short_timing.cpu_p99_ms);
  row("worst case turn (slowest of 3)", "%8.2f ms", worst_ms);
  row("words / idioms after teaching", "%8zu / %-10zu", words, idioms);
  if (turns_only) return 0;
  if (!reuse) row("peak RSS while teaching", "%8.1f MB", static_cast<double>(teaching_rss) / 1e6);
  row("data files saved", "%8.1f MB", static_cast<double>(file_bytes) / 1e6);
  if (!reuse) {
    row("peak RSS / data files", "%8.2f",
        static_cast<double>(teaching_rss) / static_cast<double>(file_bytes));
  }
  row("first 5 short turns after a load (cpu)", "%5.1f %5.1f %5.1f %5.1f %5.1f ms", first_turns[0],
      first_turns[1], first_turns[2], first_turns[3], first_turns[4]);
  row("load / save / both", "%6.3f s / %6.3f s / %6.3f s", load_s, save_s, load_s + save_s);
  row("session turn, no journal: median / p99", "%8.2f ms / %8.2f ms", plain_session.median_ms,
      plain_session.p99_ms);
  row("session turn, journal synced: median / p99", "%8.2f ms / %8.2f ms", journaled.median_ms,
      journaled.p99_ms);
  row("taught lines, no journal / journaled", "%8.0f / %.0f lines/s", replay.plain_lines_per_s,
      replay.journaling_lines_per_s);
  row("journal replayed at start (rate)", "%8.0f lines/s", replay.replay_lines_per_s);
  return 0;
}
