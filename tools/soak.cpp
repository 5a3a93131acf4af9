// Soak run: many conversation turns of generated chat lines in one process, printing the
// turn rate, the resident memory and the sizes of the dictionary and the log at intervals.
// Once the log is full and the vocabulary repeats, the memory should stay flat.
//
//   tsugihagi_soak [TURNS [INTERVAL [SEED]]]      defaults: 100000 10000 1
//
// Costs what the turns cost; Linux only (reads /proc/self/statm for the resident size).
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
// sometimes a follow-up. There are about 3,000 different lines, so that after some tens of
// thousands of turns every line has been seen and nothing new is learnt.
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

 private:
  std::uint64_t below(std::uint64_t n) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_ % n;
  }
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

std::uint64_t argument(int argc, char** argv, int i, std::uint64_t fallback) {
  return i < argc ? std::strtoull(argv[i], nullptr, 10) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t turns = argument(argc, argv, 1, 100000);
  const std::uint64_t interval = argument(argc, argv, 2, 10000);
  const std::uint64_t seed = argument(argc, argv, 3, 1);
  if (turns == 0 || interval == 0) {
    std::fprintf(stderr, "usage: tsugihagi_soak [TURNS [INTERVAL [SEED]]]\n");
    return 2;
  }
  tsugihagi::bot b([seed] { return static_cast<std::int64_t>(seed); });
  line_generator lines(seed);
  std::printf("%10s %10s %10s %10s %10s %8s %10s\n", "turns", "turns/s", "rss_mib", "words",
              "idioms", "log", "fallbacks");
  std::printf("%10d %10s %10.1f %10zu %10zu %8zu %10s\n", 0, "-", resident_mib(),
              b.dic.wordmap.size(), b.dic.idiomset.size(), b.log.line_count(), "-");
  std::fflush(stdout);
  const auto started = std::chrono::steady_clock::now();
  auto interval_start = started;
  std::uint64_t fallbacks = 0;  // turns answered with the fixed text
  for (std::uint64_t turn = 1; turn <= turns; ++turn) {
    const auto reply = tsugihagi::converse(b, lines.next());
    if (reply && *reply == tsugihagi::fallback_reply) ++fallbacks;
    if (turn % interval == 0 || turn == turns) {
      const auto now = std::chrono::steady_clock::now();
      const double seconds = std::chrono::duration<double>(now - interval_start).count();
      const std::uint64_t done = turn % interval == 0 ? interval : turn % interval;
      std::printf("%10llu %10.0f %10.1f %10zu %10zu %8zu %10llu\n",
                  static_cast<unsigned long long>(turn), static_cast<double>(done) / seconds,
                  resident_mib(), b.dic.wordmap.size(), b.dic.idiomset.size(), b.log.line_count(),
                  static_cast<unsigned long long>(fallbacks));
      std::fflush(stdout);
      interval_start = now;
    }
  }
  const double total =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%llu turns in %.1f s: %.0f turns/s\n", static_cast<unsigned long long>(turns), total,
              static_cast<double>(turns) / total);
  return 0;
}
