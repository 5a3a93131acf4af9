#include "core/memory/learning.h"

#include <algorithm>
#include <map>
#include <vector>

#include "core/dict/segmentation.h"

namespace tsugihagi {
namespace {

constexpr char16_t ideographic_comma = u'\u3001';

strmorph::wordinfo_t& info(strmorph::dic_t& d, std::int32_t id) {
  return *strmorph::word_at(d, id);
}

}  // namespace

void count_in(std::vector<id_count>& list, std::int32_t x) {
  for (id_count& p : list) {
    if (p.id == x) {
      ++p.count;
      return;
    }
  }
  list.push_back({x, 0});
}

void add_once(std::vector<std::int32_t>& list, std::int32_t x) {
  if (std::find(list.begin(), list.end(), x) == list.end()) list.push_back(x);
}

void learn_line(strmorph::dic_t& d, conversation_log& log, pattern_history& patterns,
                std::u16string_view line) {
  add_line(log, line);
  if (log.line_count() >= 2) discover_words(d, log);
  store_line_words(d, log);
  const std::vector<std::int32_t> words = strmorph::live_ids(d, log.line_words[0].ids);
  if (words.size() >= 2) learn_word_links(d, words);
  learn_turn_links(d, log);
  learn_patterns(d, log, patterns);
}

void store_line_words(strmorph::dic_t& d, conversation_log& log) {
  const std::u16string& text = log.line_texts[0].text;
  std::map<std::int32_t, std::int32_t> positions;
  const bool all_known = segment(d, text.data(), static_cast<std::int32_t>(text.size()), positions);
  std::vector<std::int32_t>& ids = log.line_words[0].ids;
  ids.clear();
  ids.reserve(positions.size());
  for (const auto& [position, id] : positions)
    ids.push_back(id);
  if (!all_known || ids.empty()) return;
  strmorph::idiom_t idiom{ids, std::vector<std::uint8_t>(ids.size(), 0)};
  idiom.flags.back() = 1;
  const auto [idiom_id, inserted] = strmorph::add_idiom(d, std::move(idiom));
  if (inserted) strmorph::link_idiom(d, ids, idiom_id);
}

void learn_word_links(strmorph::dic_t& d, std::span<const std::int32_t> w) {
  const std::size_t n = w.size();
  for (std::size_t k = 0; k + 1 < n; ++k) {
    strmorph::wordinfo_t& current = info(d, w[k]);
    std::vector<id_count> next = unpack_pairs(current.next);
    count_in(next, w[k + 1]);
    current.next = pack_pairs(next);

    strmorph::wordinfo_t& following = info(d, w[k + 1]);
    std::vector<std::int32_t> prev = unpack_ids(following.prev);
    add_once(prev, w[k]);
    following.prev = pack_ids(prev);

    std::vector<id_count> kept = unpack_pairs(current.cooc);
    for (std::size_t j = k + 1; j < n; ++j) {
      strmorph::wordinfo_t& other = info(d, w[j]);
      std::vector<id_count> cooc = unpack_pairs(other.cooc);
      count_in(cooc, w[k]);
      other.cooc = pack_pairs(cooc);
      count_in(kept, w[j]);
    }
    current.cooc = pack_pairs(kept);
  }
  strmorph::wordinfo_t& first = info(d, w[0]);
  std::vector<std::int32_t> prev = unpack_ids(first.prev);
  add_once(prev, strmorph::boundary_id);
  first.prev = pack_ids(prev);

  const std::u16string_view last_text = strmorph::word_text(d, w[n - 1]);
  if (last_text.back() == ideographic_comma) return;
  strmorph::wordinfo_t& last = info(d, w[n - 1]);
  std::vector<id_count> next = unpack_pairs(last.next);
  count_in(next, strmorph::boundary_id);
  last.next = pack_pairs(next);
}

void learn_turn_links(strmorph::dic_t& d, const conversation_log& log) {
  const std::vector<std::int32_t> now = strmorph::live_ids(d, log.line_words[0].ids);
  std::vector<std::vector<id_count>> x;
  x.reserve(now.size());
  for (const std::int32_t id : now)
    x.push_back(unpack_pairs(info(d, id).cooc));
  if (log.line_count() >= 2) {
    const std::vector<std::int32_t> before = strmorph::live_ids(d, log.line_words[1].ids);
    std::vector<std::vector<id_count>> y;
    y.reserve(before.size());
    for (const std::int32_t id : before)
      y.push_back(unpack_pairs(info(d, id).cooc));
    for (auto& xi : x) {
      for (const std::int32_t p : before)
        count_in(xi, p);
    }
    for (auto& yj : y) {
      for (const std::int32_t n : now)
        count_in(yj, n);
    }
    for (std::size_t j = 0; j < before.size(); ++j)
      info(d, before[j]).cooc = pack_pairs(y[j]);
  }
  for (std::size_t i = 0; i < now.size(); ++i)
    info(d, now[i]).cooc = pack_pairs(x[i]);
}

}  // namespace tsugihagi
