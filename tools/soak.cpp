// Soak run: many conversation turns of generated chat lines in one process, printing the
// turn rate, the resident memory and the sizes of the dictionary and the log at intervals.
// Once the log is full and the vocabulary repeats, the memory should stay flat.
//
//   tsugihagi_soak [TURNS [INTERVAL [SEED [POOL]]]]    defaults: 100000 10000 1 1000
//
// Costs what the turns cost; Linux only (reads /proc/self/statm for the resident size).
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/app/bot.h"
#include "core/app/conversation_turn.h"
#include "core/reply/reply_generation.h"

namespace {

// Chat lines from a small vocabulary: a time, a topic and a remark, with an ending and
// sometimes a follow-up (about 3,000 combinations). A run draws a pool of lines from them
// once and then talks in lines of that pool, so that the vocabulary and the lines repeat.
const std::vector<std::u16string> times = {u"今日は", u"昨日は", u"明日は", u"最近"};
const std::vector<std::u16string> topics = {u"天気が", u"猫が",   u"電車が", u"ご飯が",
                                            u"仕事が", u"友達が", u"音楽が", u"お茶が"};
const std::vector<std::u16string> remarks = {u"いいですね", u"すごかった", u"おいしい",
                                             u"たいへんだ", u"楽しかった", u"静かです",
                                             u"好きです",   u"眠いなあ"};
const std::vector<std::u16string> endings = {u"", u"。", u"よね", u"けど"};
const std::vector<std::u16string> follow_ups = {u"、そうでしょう", u"、本当に"};
const std::vector<std::u16string> greetings = {u"こんにちは", u"おはよう", u"こんばんは",
                                               u"ただいま",   u"おやすみ", u"ありがとう"};

class line_generator {
 public:
  explicit line_generator(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}

  std::u16string next() {
    if (below(12) == 0) return pick(greetings);
    std::u16string line = pick(times) + pick(topics) + pick(remarks) + pick(endings);
    if (below(4) == 0) line += pick(follow_ups);
    return line;
  }

  // A draw from 0 to n - 1 (xorshift64).
  std::uint64_t below(std::uint64_t n) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_ % n;
  }

 private:
  const std::u16string& pick(const std::vector<std::u16string>& words) {
    return words[below(words.size())];
  }

  std::uint64_t state_;
};

double resident_mib() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t size = 0;
  std::uint64_t resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) /
         (1024.0 * 1024.0);
}

// CPU seconds of this process: the turn rate by it is not lowered by other programs.
double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The bytes of every word's packed lists (next, prev, cooc, idioms), in KiB.
double list_kib(const strmorph::dic_t& d) {
  std::uint64_t bytes = 0;
  for (const auto& [key, info] : d.wordmap)
    bytes += static_cast<std::uint64_t>(info.next.size + info.prev.size + info.cooc.size +
                                        info.idioms.size);
  return static_cast<double>(bytes) / 1024.0;
}

std::uint64_t argument(int argc, char** argv, int i, std::uint64_t fallback) {
  return i < argc ? std::strtoull(argv[i], nullptr, 10) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t turns = argument(argc, argv, 1, 100000);
  const std::uint64_t interval = argument(argc, argv, 2, 10000);
  const std::uint64_t seed = argument(argc, argv, 3, 1);
  const std::uint64_t pool_size = argument(argc, argv, 4, 1000);
  if (turns == 0 || interval == 0 || pool_size == 0) {
    std::fprintf(stderr, "usage: tsugihagi_soak [TURNS [INTERVAL [SEED [POOL]]]]\n");
    return 2;
  }
  tsugihagi::bot b([seed] { return static_cast<std::int64_t>(seed); });
  line_generator lines(seed);
  std::vector<std::u16string> pool;
  for (std::uint64_t i = 0; i < pool_size; ++i)
    pool.push_back(lines.next());
  // turns/s by the wall clock and by this process's CPU time; the lists' bytes in KiB.
  std::printf("%8s %9s %9s %8s %7s %7s %9s %5s %9s\n", "turns", "turns/s", "cpu_t/s", "rss_mib",
              "words", "idioms", "list_kib", "log", "fallbacks");
  std::printf("%8d %9s %9s %8.1f %7zu %7zu %9.1f %5zu %9s\n", 0, "-", "-", resident_mib(),
              b.dic.wordmap.size(), b.dic.idiomset.size(), list_kib(b.dic), b.log.line_count(),
              "-");
  std::fflush(stdout);
  const auto started = std::chrono::steady_clock::now();
  const double cpu_started = cpu_seconds();
  auto interval_start = started;
  double interval_cpu_start = cpu_started;
  std::uint64_t fallbacks = 0;  // turns answered with the fixed text
  for (std::uint64_t turn = 1; turn <= turns; ++turn) {
    const auto reply = tsugihagi::converse(b, pool[lines.below(pool.size())]);
    if (reply && *reply == tsugihagi::fallback_reply) ++fallbacks;
    if (turn % interval == 0 || turn == turns) {
      const auto now = std::chrono::steady_clock::now();
      const double cpu_now = cpu_seconds();
      const double seconds = std::chrono::duration<double>(now - interval_start).count();
      const auto done = static_cast<double>(turn % interval == 0 ? interval : turn % interval);
      std::printf("%8llu %9.0f %9.0f %8.1f %7zu %7zu %9.1f %5zu %9llu\n",
                  static_cast<unsigned long long>(turn), done / seconds,
                  done / (cpu_now - interval_cpu_start), resident_mib(), b.dic.wordmap.size(),
                  b.dic.idiomset.size(), list_kib(b.dic), b.log.line_count(),
                  static_cast<unsigned long long>(fallbacks));
      std::fflush(stdout);
      interval_start = now;
      interval_cpu_start = cpu_now;
    }
  }
  const double total =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const double cpu_total = cpu_seconds() - cpu_started;
  const auto n = static_cast<double>(turns);
  std::printf("%llu turns in %.1f s (%.1f s of CPU): %.0f turns/s, %.0f turns per CPU second\n",
              static_cast<unsigned long long>(turns), total, cpu_total, n / total, n / cpu_total);
  return 0;
}
