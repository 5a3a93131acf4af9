// tsugihagi-cli --stats and --export read back against the state the core loads from the
// same files, and the damage report of the loaders: the real binary through pipes.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "core/app/session.h"
#include "core/dict/word_lists.h"
#include "tests/cli_driver.h"
#include "tests/support/test_support.h"

namespace tsugihagi {
namespace {

using json = nlohmann::json;
using testing::bytes;
using testing::cli_result;
using testing::run_cli_with;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A folder whose bot has learned from a short chat with repeats, so that it holds words,
// phrases, patterns and lists of every kind.
void teach(const std::filesystem::path& dir) {
  testing::make_empty_data(dir);
  std::string lesson;
  for (const std::u16string& line : testing::corpus_lines(40))
    lesson += testing::u8(line) + "\n";
  lesson += "今日はいい天気ですね\n今日は雨ですね\n明日はいい天気ですね\n今日は雨ですね\n";
  const cli_result r = run_cli_with({"--dir", dir.string(), "--seed", "9"}, lesson);
  ASSERT_EQ(r.status, 0) << r.err;
}

// Every file of the folder with its bytes.
std::map<std::filesystem::path, bytes> snapshot(const std::filesystem::path& dir) {
  std::map<std::filesystem::path, bytes> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files[entry.path()] = testing::read_file(entry.path());
  }
  return files;
}

std::vector<json> parse_lines(const std::string& text) {
  std::vector<json> objects;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    objects.push_back(json::parse(text.substr(start, end - start)));
    start = end + 1;
  }
  return objects;
}

json text_or_null(const strmorph::dic_t& d, std::int32_t id) {
  if (strmorph::word_at(d, id) == nullptr) return nullptr;
  return testing::u8(strmorph::word_text(d, id));
}

TEST(export_state, writes_every_word_phrase_and_log_line_as_the_core_loads_them) {
  testing::temp_dir dir;
  teach(dir.path());
  const auto before = snapshot(dir.path());
  const std::filesystem::path out = dir.path() / "state.jsonl";
  const cli_result r = run_cli_with({"--dir", dir.path().string(), "--export", out.string()}, "");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  auto after = snapshot(dir.path());
  const testing::bytes exported = after[out];
  after.erase(out);
  EXPECT_EQ(after, before) << "export changes no file";

  bot b;
  ASSERT_EQ(load_data_files(b, dir.path()), startup_status::ready);
  const strmorph::dic_t& d = b.dic;
  const std::vector<json> objects = parse_lines(std::string(exported.begin(), exported.end()));
  ASSERT_FALSE(objects.empty());
  const json& summary = objects.front();
  EXPECT_EQ(summary["type"], "summary");
  EXPECT_EQ(summary["words"], d.wordmap.size());
  EXPECT_EQ(summary["phrases"], d.idiomset.size());
  EXPECT_EQ(summary["log_lines"], b.log.line_count());
  EXPECT_EQ(summary["free_word_ids"].get<std::set<std::int32_t>>(), d.hdid);
  EXPECT_EQ(summary["free_phrase_ids"].get<std::set<std::int32_t>>(), d.idiom_hdid);

  std::size_t words = 0, phrases = 0, lines = 0;
  for (const json& o : objects) {
    if (o["type"] == "word") {
      ++words;
      const std::int32_t id = o["id"];
      const strmorph::wordinfo_t* w = strmorph::word_at(d, id);
      ASSERT_NE(w, nullptr) << id;
      EXPECT_EQ(o["text"], testing::u8(strmorph::word_text(d, id)));
      EXPECT_EQ(o["count"], w->count);
      const std::vector<id_count> next = strmorph::next_words(*w);
      ASSERT_EQ(o["next"].size(), next.size());
      for (std::size_t i = 0; i < next.size(); ++i) {
        EXPECT_EQ(o["next"][i]["id"], next[i].id);
        EXPECT_EQ(o["next"][i]["count"], next[i].count);
        EXPECT_EQ(o["next"][i]["text"], text_or_null(d, next[i].id));
      }
      const std::vector<std::int32_t> prev = strmorph::previous_words(*w);
      ASSERT_EQ(o["prev"].size(), prev.size());
      for (std::size_t i = 0; i < prev.size(); ++i)
        EXPECT_EQ(o["prev"][i]["text"], text_or_null(d, prev[i]));
      const std::vector<id_count> cooc = strmorph::cooccurring_words(*w);
      ASSERT_EQ(o["cooc"].size(), cooc.size());
      for (std::size_t i = 0; i < cooc.size(); ++i) {
        EXPECT_EQ(o["cooc"][i]["id"], cooc[i].id);
        EXPECT_EQ(o["cooc"][i]["count"], cooc[i].count);
      }
      std::vector<std::int32_t> idioms;
      for (const json& p : o["phrases"])
        idioms.push_back(p["id"]);
      EXPECT_EQ(idioms, strmorph::containing_idioms(*w));
    } else if (o["type"] == "phrase") {
      ++phrases;
      const strmorph::idiom_t* idiom = strmorph::idiom_at(d, o["id"]);
      ASSERT_NE(idiom, nullptr);
      EXPECT_EQ(o["ids"].get<std::vector<std::int32_t>>(), idiom->ids);
      EXPECT_EQ(o["flags"].get<std::vector<std::uint8_t>>(), idiom->flags);
      for (std::size_t i = 0; i < idiom->ids.size(); ++i)
        EXPECT_EQ(o["texts"][i], text_or_null(d, idiom->ids[i]));
    } else if (o["type"] == "line") {
      const std::size_t index = o["index"];
      EXPECT_EQ(index, lines++);
      ASSERT_LT(index, b.log.line_count());
      EXPECT_EQ(o["text"], testing::u8(b.log.line_texts[index].text));
      EXPECT_EQ(o["ids"].get<std::vector<std::int32_t>>(), b.log.line_words[index].ids);
    } else {
      EXPECT_EQ(o["type"], "summary");
    }
  }
  EXPECT_EQ(words, d.wordmap.size());
  EXPECT_EQ(phrases, d.idiomset.size());
  EXPECT_EQ(lines, b.log.line_count());
  EXPECT_GT(phrases, 0u);
}

TEST(stats, shows_the_counts_and_the_most_frequent_words_and_changes_no_file) {
  testing::temp_dir dir;
  teach(dir.path());
  const auto before = snapshot(dir.path());
  const cli_result r = run_cli_with({"--dir", dir.path().string(), "--stats"}, "");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(snapshot(dir.path()), before);

  bot b;
  ASSERT_EQ(load_data_files(b, dir.path()), startup_status::ready);
  EXPECT_TRUE(contains(r.out, "words: " + std::to_string(b.dic.wordmap.size()) + "\n"));
  EXPECT_TRUE(contains(r.out, "phrases: " + std::to_string(b.dic.idiomset.size()) + "\n"));
  EXPECT_TRUE(contains(r.out, "log lines: " + std::to_string(b.log.line_count()) + "\n"));
  const auto log_size = std::filesystem::file_size(dir.path() / "data" / "log.data");
  EXPECT_TRUE(contains(r.out, "log.data: " + std::to_string(log_size) + " bytes\n")) << r.out;
  // The most frequent word comes first, with its count.
  const strmorph::wordinfo_t* top = nullptr;
  std::u16string_view top_text;
  for (const auto& [key, info] : b.dic.wordmap) {
    if (top == nullptr || info.count > top->count) {
      top = &info;
      top_text = key.text();
    }
  }
  ASSERT_NE(top, nullptr);
  const std::size_t list = r.out.find("most frequent words");
  ASSERT_NE(list, std::string::npos);
  const std::size_t first = r.out.find('\n', list) + 1;
  EXPECT_EQ(r.out.substr(first, r.out.find('\n', first) - first),
            "  " + testing::u8(top_text) + "  " + std::to_string(top->count));
  EXPECT_EQ(std::count(r.out.begin() + static_cast<std::ptrdiff_t>(first), r.out.end(), '\n'),
            static_cast<std::ptrdiff_t>(std::min<std::size_t>(20, b.dic.wordmap.size())));

  // With a word: its companions, most often seen first.
  const cli_result word =
      run_cli_with({"--dir", dir.path().string(), "--stats", testing::u8(top_text)}, "");
  EXPECT_EQ(word.status, 0) << word.err;
  const std::vector<id_count> cooc = strmorph::cooccurring_words(*top);
  EXPECT_TRUE(contains(word.out, "seen together with ")) << word.out;
  if (!cooc.empty()) {
    const auto most = std::max_element(cooc.begin(), cooc.end(),
                                       [](id_count a, id_count b) { return a.count < b.count; });
    EXPECT_TRUE(contains(word.out, "  " + std::to_string(most->count) + "\n")) << word.out;
  }
  const cli_result unknown =
      run_cli_with({"--dir", dir.path().string(), "--stats", "知らない言葉だよ"}, "");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_TRUE(contains(unknown.err, "\"知らない言葉だよ\" is not a word")) << unknown.err;
  EXPECT_EQ(snapshot(dir.path()), before);
}

TEST(stats, needs_a_data_folder_and_creates_none) {
  testing::temp_dir dir;
  const cli_result r = run_cli_with({"--dir", dir.path().string(), "--stats"}, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "辞書の読み込みに失敗しました...")) << r.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(damage, each_file_reports_the_records_its_loader_dropped) {
  testing::temp_dir dir;
  teach(dir.path());
  const std::filesystem::path data = dir.path() / "data";
  // dic.data: 「A」 (id 127, count 0) whose next list is one byte that is not a whole pair,
  // then a record cut short after the text unit 「B」.
  bytes dic = testing::read_file(data / "dic.data");
  for (std::uint8_t b :
       {0x41, 0x00, 0x00, 0x00, 0x01, 0x7F, 0x00, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x42, 0x00})
    dic.push_back(b);
  testing::write_file(data / "dic.data", dic);
  // hdid.data: a partial i32.
  testing::write_file(data / "hdid.data", bytes{0x05, 0x00});
  // log.data: the last two lines cut away, the count unchanged.
  bytes log = testing::read_file(data / "log.data");
  conversation_log full;
  ASSERT_TRUE(load_log(full, data / "log.data"));
  std::size_t tail = 0;
  for (std::size_t i = full.line_count() - 2; i < full.line_count(); ++i)
    tail += 8 + 2 * full.line_texts[i].text.size() + 4 * full.line_words[i].ids.size();
  log.resize(log.size() - tail);
  testing::write_file(data / "log.data", log);

  const cli_result r = run_cli_with({"--dir", dir.path().string(), "--stats"}, "");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.err, (data / "dic.data").string() + ": 2 damaged words dropped\n"))
      << r.err;
  EXPECT_TRUE(contains(r.err, (data / "hdid.data").string() + ": 1 damaged free word id dropped\n"))
      << r.err;
  EXPECT_TRUE(contains(r.err, (data / "log.data").string() + ": 2 damaged log lines dropped\n"))
      << r.err;
  EXPECT_FALSE(contains(r.err, "idiomdic.data")) << r.err;
  EXPECT_TRUE(contains(r.out, "log lines: " + std::to_string(full.line_count() - 2) + "\n"));

  // A conversation reports the same before it starts, and its save keeps the damaged set.
  const bytes damaged_dic = testing::read_file(data / "dic.data");
  const cli_result chat = run_cli_with({"--dir", dir.path().string(), "--seed", "1"}, "やあ\n");
  EXPECT_TRUE(contains(chat.err, "2 damaged words dropped")) << chat.err;
  EXPECT_TRUE(contains(chat.err, "kept in data.damaged-")) << chat.err;
  std::vector<std::filesystem::path> copies;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    if (entry.path().filename().string().starts_with("data.damaged-")) copies.push_back(entry);
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(testing::read_file(copies[0] / "dic.data"), damaged_dic);
}

}  // namespace
}  // namespace tsugihagi

namespace tsugihagi {
namespace {

TEST(forget, a_dry_run_lists_what_would_go_and_the_real_run_removes_it_and_saves) {
  testing::temp_dir dir;
  teach(dir.path());
  const std::filesystem::path dic = dir.path() / "data" / "dic.data";
  const bytes before = testing::read_file(dic);
  const std::vector<std::string> args{"--dir", dir.path().string(), "--forget", "の"};
  std::vector<std::string> dry = args;
  dry.push_back("--dry-run");
  const cli_result listed = run_cli_with(dry, "");
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(testing::read_file(dic), before);
  EXPECT_FALSE(listed.out.empty());
  for (std::size_t at = 0; at < listed.out.size(); at = listed.out.find('\n', at) + 1)
    EXPECT_NE(listed.out.substr(at, listed.out.find('\n', at) - at).find("の"), std::string::npos);
  const cli_result done = run_cli_with(args, "");
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(done.out, listed.out);
  const std::string counts = listed.err.substr(listed.err.find("forget ") + 7);
  EXPECT_TRUE(contains(done.err, "forgot " + counts.substr(0, counts.find(';')))) << done.err;
  EXPECT_NE(testing::read_file(dic), before);
  EXPECT_TRUE(run_cli_with(dry, "").out.empty()) << "nothing holding it is left";
}

}  // namespace
}  // namespace tsugihagi
