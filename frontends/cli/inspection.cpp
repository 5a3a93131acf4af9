#include "frontends/cli/inspection.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

#include "core/dict/word_lists.h"
#include "core/io/utf8.h"
#include "frontends/cli/data_folder.h"
#include "frontends/cli/text_checks.h"
#include "frontends/cli/translation.h"

namespace tsugihagi {
namespace {

using json = nlohmann::ordered_json;  // keys in the order written: "type" first

std::string shown_text(std::u16string_view text, bool to_terminal) {
  return utf16_to_utf8(to_terminal ? terminal_safe(text) : std::u16string(text));
}

json text_of(const strmorph::dic_t& d, std::int32_t id) {
  if (strmorph::word_at(d, id) == nullptr) return nullptr;
  return utf16_to_utf8(strmorph::word_text(d, id));
}

std::u16string idiom_text(const strmorph::dic_t& d, const strmorph::idiom_t& idiom) {
  std::u16string text;
  for (const std::int32_t w : idiom.ids) {
    if (strmorph::word_at(d, w) != nullptr) text += strmorph::word_text(d, w);
  }
  return text;
}

json pair_list(const strmorph::dic_t& d, const std::vector<id_count>& pairs) {
  json list = json::array();
  for (const id_count& p : pairs)
    list.push_back({{"id", p.id}, {"text", text_of(d, p.id)}, {"count", p.count}});
  return list;
}

json id_list(const strmorph::dic_t& d, const std::vector<std::int32_t>& ids) {
  json list = json::array();
  for (const std::int32_t id : ids)
    list.push_back({{"id", id}, {"text", text_of(d, id)}});
  return list;
}

json word_texts(const strmorph::dic_t& d, const std::vector<std::int32_t>& ids) {
  json list = json::array();
  for (const std::int32_t id : ids)
    list.push_back(text_of(d, id));
  return list;
}

void write_line(std::ostream& out, const json& object) {
  out << object.dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
}

struct counted_word {
  std::int32_t id;
  std::int32_t count;
};

// Highest count first, then the dictionary's order of texts.
void sort_by_count(const strmorph::dic_t& d, std::vector<counted_word>& words, std::size_t keep) {
  const auto before = [&](const counted_word& a, const counted_word& b) {
    if (a.count != b.count) return a.count > b.count;
    const std::u16string_view ta = strmorph::word_text(d, a.id);
    const std::u16string_view tb = strmorph::word_text(d, b.id);
    if (ta.size() != tb.size()) return ta.size() < tb.size();
    return ta < tb;
  };
  keep = std::min(keep, words.size());
  std::partial_sort(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(keep), words.end(),
                    before);
  words.resize(keep);
}

}  // namespace

void print_stats(const bot& b, const std::filesystem::path& dir, std::ostream& out,
                 bool to_terminal) {
  const strmorph::dic_t& d = b.dic;
  out << tr("words: ") << d.wordmap.size() << '\n'
      << tr("phrases: ") << d.idiomset.size() << '\n'
      << tr("log lines: ") << b.log.line_count() << '\n'
      << tr("free word ids: ") << d.hdid.size() << '\n'
      << tr("free phrase ids: ") << d.idiom_hdid.size() << '\n';
  for (const char* name : data_file_names) {
    const std::filesystem::path relative = std::filesystem::path("data") / name;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(dir / relative, error);
    out << shown(dir, relative) << ": ";
    if (error) {
      out << error.message() << '\n';
    } else {
      // English says "bytes" for one too, as it always has.
      const auto n = static_cast<unsigned long long>(size);
      out << formatted(trn("%llu bytes", "%llu bytes", n), n) << '\n';
    }
  }
  std::vector<counted_word> words;
  words.reserve(d.wordmap.size());
  for (const auto& [key, info] : d.wordmap)
    words.push_back({info.id, info.count});
  sort_by_count(d, words, stats_top_words);
  out << tr("most frequent words (count):") << '\n';
  for (const counted_word& w : words)
    out << "  " << shown_text(strmorph::word_text(d, w.id), to_terminal) << "  " << w.count << '\n';
}

bool print_companions(const bot& b, const std::u16string& word, std::ostream& out,
                      bool to_terminal) {
  const strmorph::dic_t& d = b.dic;
  const strmorph::wordinfo_t* info = nullptr;
  for (const auto& [key, value] : d.wordmap) {
    if (key.text() == word) {
      info = &value;
      break;
    }
  }
  if (info == nullptr) return false;
  std::vector<counted_word> companions;
  for (const id_count& p : strmorph::cooccurring_words(*info)) {
    if (strmorph::word_at(d, p.id) != nullptr) companions.push_back({p.id, p.count});
  }
  const std::size_t known = companions.size();
  sort_by_count(d, companions, stats_top_words);
  const auto n = static_cast<unsigned long long>(known);
  out << formatted(trn("%s (id %d, count %d) was seen together with %llu words; most often "
                       "(times):",
                       "%s (id %d, count %d) was seen together with %llu words; most often "
                       "(times):",
                       n),
                   shown_text(word, to_terminal).c_str(), static_cast<int>(info->id),
                   static_cast<int>(info->count), n)
      << '\n';
  for (const counted_word& w : companions)
    out << "  " << shown_text(strmorph::word_text(d, w.id), to_terminal) << "  " << w.count << '\n';
  return true;
}

void export_state(const bot& b, std::ostream& out) {
  const strmorph::dic_t& d = b.dic;
  write_line(out, {{"type", "summary"},
                   {"words", d.wordmap.size()},
                   {"phrases", d.idiomset.size()},
                   {"log_lines", b.log.line_count()},
                   {"free_word_ids", d.hdid},
                   {"free_phrase_ids", d.idiom_hdid}});
  for (std::int32_t id = 0; id < d.idmap.size(); ++id) {
    const strmorph::wordinfo_t* info = strmorph::word_at(d, id);
    if (info == nullptr) continue;
    json phrases = json::array();
    for (const std::int32_t p : strmorph::containing_idioms(*info)) {
      const strmorph::idiom_t* idiom = strmorph::idiom_at(d, p);
      phrases.push_back({{"id", p},
                         {"text", idiom != nullptr ? json(utf16_to_utf8(idiom_text(d, *idiom)))
                                                   : json(nullptr)}});
    }
    write_line(out, {{"type", "word"},
                     {"id", id},
                     {"text", utf16_to_utf8(strmorph::word_text(d, id))},
                     {"count", info->count},
                     {"next", pair_list(d, strmorph::next_words(*info))},
                     {"prev", id_list(d, strmorph::previous_words(*info))},
                     {"cooc", pair_list(d, strmorph::cooccurring_words(*info))},
                     {"phrases", std::move(phrases)}});
  }
  for (std::int32_t id = 0; id < d.idiomidmap.size(); ++id) {
    const strmorph::idiom_t* idiom = strmorph::idiom_at(d, id);
    if (idiom == nullptr) continue;
    write_line(out, {{"type", "phrase"},
                     {"id", id},
                     {"ids", idiom->ids},
                     {"texts", word_texts(d, idiom->ids)},
                     {"flags", idiom->flags}});
  }
  for (std::size_t i = 0; i < b.log.line_count(); ++i) {
    const std::vector<std::int32_t>& ids = b.log.line_words[i].ids;
    write_line(out, {{"type", "line"},
                     {"index", i},
                     {"text", utf16_to_utf8(b.log.line_texts[i].text)},
                     {"ids", ids},
                     {"words", word_texts(d, ids)}});
  }
}

}  // namespace tsugihagi
