#include "tests/support/toy_dictionary.h"

#include <vector>

namespace tsugihagi::testing {

std::int32_t add(strmorph::dic_t& d, std::u16string_view text) {
  return strmorph::add_word(d, text.data(), static_cast<std::int32_t>(text.size()))
      .first->second.id;
}

std::vector<std::pair<std::u16string, std::int32_t>> words_of(const strmorph::dic_t& d) {
  std::vector<std::pair<std::u16string, std::int32_t>> words;
  for (const auto& [key, info] : d.wordmap)
    words.emplace_back(std::u16string(key.text()), info.count);
  return words;
}

void set_next(strmorph::dic_t& d, std::int32_t w, std::initializer_list<id_count> pairs) {
  strmorph::word_at(d, w)->next = pack_pairs(std::vector<id_count>(pairs));
}

void set_prev(strmorph::dic_t& d, std::int32_t w, std::initializer_list<std::int32_t> ids) {
  strmorph::word_at(d, w)->prev = pack_ids(std::vector<std::int32_t>(ids));
}

void set_cooc(strmorph::dic_t& d, std::int32_t w, std::initializer_list<id_count> pairs) {
  strmorph::word_at(d, w)->cooc = pack_pairs(std::vector<id_count>(pairs));
}

std::int32_t add_phrase(strmorph::dic_t& d, std::initializer_list<std::int32_t> ids,
                        std::initializer_list<std::uint8_t> flags) {
  const auto [id, inserted] = strmorph::add_idiom(d, strmorph::idiom_t{ids, flags});
  if (inserted) strmorph::link_idiom(d, std::vector<std::int32_t>(ids), id);
  return id;
}

void push_line(conversation_log& log, const strmorph::dic_t& d,
               std::initializer_list<std::int32_t> ids) {
  std::u16string text;
  for (const std::int32_t id : ids)
    text += strmorph::word_text(d, id);
  add_line(log, text);
  log.line_words[0].ids = ids;
}

}  // namespace tsugihagi::testing
