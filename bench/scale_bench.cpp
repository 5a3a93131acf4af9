// Costs at scale, in one run, printed as one table: teaching the shared corpus line by line
// (as tsugihagi-cli --learn does) with the rate over its first tenth, the eight tenths in
// between and its last tenth; peak memory while teaching against the size of the data files
// saved at the end; saving and loading that state; then, on it, whole turns (learn and
// reply) of corpus lines and of short chat lines with their median and 99th percentile, and
// the worst case: a longest line sharing nothing with a log of longest lines. Last, the
// journal on that state: short turns through the session with saving off (no journal) and
// on (each turn's line synced to the journal before its reply), and the rate at which a
// start replays a journal of taught lines.
//
// usage: tsugihagi_bench_scale [LINES [TURNS]]   (defaults 30000 and 1000)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
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

struct timing {
  double median_ms;
  double p99_ms;
  double cpu_median_ms;
  double cpu_p99_ms;
};

double percentile(std::vector<double> values, double p) {
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
  const std::size_t line_count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 30000;
  const std::size_t turn_count = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1000;
  const std::vector<std::u16string> lines = tsugihagi::bench::corpus_lines(line_count);
  const std::size_t n = lines.size();
  if (n < 10) {
    std::fprintf(stderr, "need at least 10 corpus lines\n");
    return 2;
  }

  auto taught = std::make_unique<bot>([] { return std::int64_t{fixed_seed}; });
  const std::size_t cuts[] = {0, n / 10, n - n / 10, n};
  double stage_seconds[3];
  double stage_cpu_seconds[3];
  for (int stage = 0; stage < 3; ++stage) {
    const double cpu_start = thread_cpu_ms();
    const auto start = clock_type::now();
    for (std::size_t i = cuts[stage]; i < cuts[stage + 1]; ++i) {
      tsugihagi::learn_line(taught->dic, taught->log, taught->patterns,
                            tsugihagi::cut_line(lines[i]));
    }
    stage_seconds[stage] = seconds_since(start);
    stage_cpu_seconds[stage] = (thread_cpu_ms() - cpu_start) / 1e3;
  }
  const std::uint64_t teaching_rss = peak_rss_bytes();

  char dir_template[] = "/tmp/tsugihagi-scale-XXXXXX";
  const std::filesystem::path dir = ::mkdtemp(dir_template);
  std::filesystem::create_directories(dir / "data");
  auto start = clock_type::now();
  std::string save_error;
  if (!tsugihagi::save_data_files(*taught, dir, &save_error)) {
    std::fprintf(stderr, "saving failed: %s\n", save_error.c_str());
    return 1;
  }
  const double save_s = seconds_since(start);
  const std::uintmax_t file_bytes = data_files_bytes(dir);
  double load_s;
  {
    auto loaded = std::make_unique<bot>([] { return std::int64_t{fixed_seed}; });
    start = clock_type::now();
    tsugihagi::load_data_files(*loaded, dir);
    load_s = seconds_since(start);
  }

  // Turns of taught corpus lines spread over the corpus, then short ones cut from others.
  std::vector<std::u16string> corpus_turns;
  std::vector<std::u16string> short_turns;
  for (std::size_t i = 0; i < turn_count; ++i) {
    const std::size_t pick = (i * n) / turn_count;
    corpus_turns.push_back(lines[pick]);
    std::u16string chat = lines[(pick + n / (2 * turn_count)) % n];
    const std::size_t keep = 10 + i % 11;
    if (chat.size() > keep) chat.resize(keep);
    short_turns.push_back(std::move(chat));
  }
  const std::size_t words = taught->dic.wordmap.size();
  const std::size_t idioms = taught->dic.idiomset.size();
  const timing plain_session = time_session_turns(dir, tsugihagi::save_mode::never, short_turns);
  const timing journaled = time_session_turns(dir, tsugihagi::save_mode::config, short_turns);
  const replay_timing replay = time_replay(dir, lines, std::min<std::size_t>(n, 5000));
  std::filesystem::remove_all(dir);
  const timing corpus_timing = time_turns(*taught, corpus_turns);
  const timing short_timing = time_turns(*taught, short_turns);
  const double worst_ms = worst_case_ms(*taught);

  const auto rate = [&](int stage, const double* seconds) {
    return static_cast<double>(cuts[stage + 1] - cuts[stage]) / seconds[stage];
  };
  const double total_s = stage_seconds[0] + stage_seconds[1] + stage_seconds[2];
  const double total_cpu_s = stage_cpu_seconds[0] + stage_cpu_seconds[1] + stage_cpu_seconds[2];
  std::printf("| %-42s | %-32s |\n", "what", "measured");
  std::printf("|%s|%s|\n", std::string(44, '-').c_str(), std::string(34, '-').c_str());
  char label[64];
  for (int stage = 0; stage < 3; ++stage) {
    std::snprintf(label, sizeof label, "teaching lines %zu-%zu", cuts[stage], cuts[stage + 1]);
    row(label, "%8.0f lines/s (cpu: %6.0f)", rate(stage, stage_seconds),
        rate(stage, stage_cpu_seconds));
  }
  row("teaching, all lines", "%8.0f lines/s (cpu: %6.0f)", static_cast<double>(n) / total_s,
      static_cast<double>(n) / total_cpu_s);
  row("last tenth's rate / first tenth's", "%8.2f         (cpu: %6.2f)",
      rate(2, stage_seconds) / rate(0, stage_seconds),
      rate(2, stage_cpu_seconds) / rate(0, stage_cpu_seconds));
  row("turn, corpus lines: median / p99 (wall)", "%8.2f ms / %8.2f ms", corpus_timing.median_ms,
      corpus_timing.p99_ms);
  row("turn, corpus lines: median / p99 (cpu)", "%8.2f ms / %8.2f ms", corpus_timing.cpu_median_ms,
      corpus_timing.cpu_p99_ms);
  row("turn, short lines: median / p99 (wall)", "%8.2f ms / %8.2f ms", short_timing.median_ms,
      short_timing.p99_ms);
  row("turn, short lines: median / p99 (cpu)", "%8.2f ms / %8.2f ms", short_timing.cpu_median_ms,
      short_timing.cpu_p99_ms);
  row("worst case turn (slowest of 3)", "%8.2f ms", worst_ms);
  row("peak RSS while teaching", "%8.1f MB", static_cast<double>(teaching_rss) / 1e6);
  row("data files saved", "%8.1f MB", static_cast<double>(file_bytes) / 1e6);
  row("peak RSS / data files", "%8.2f",
      static_cast<double>(teaching_rss) / static_cast<double>(file_bytes));
  row("load / save / both", "%6.3f s / %6.3f s / %6.3f s", load_s, save_s, load_s + save_s);
  row("words / idioms after teaching", "%8zu / %-10zu", words, idioms);
  row("session turn, no journal: median / p99", "%8.2f ms / %8.2f ms", plain_session.median_ms,
      plain_session.p99_ms);
  row("session turn, journal synced: median / p99", "%8.2f ms / %8.2f ms", journaled.median_ms,
      journaled.p99_ms);
  row("taught lines, no journal / journaled", "%8.0f / %.0f lines/s", replay.plain_lines_per_s,
      replay.journaling_lines_per_s);
  row("journal replayed at start (rate)", "%8.0f lines/s", replay.replay_lines_per_s);
  return 0;
}
