// Small hand-built dictionary states for pinning reply and learning rules: words by name and
// lists set directly.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "core/dict/dictionary.h"
#include "core/memory/conversation_log.h"

namespace tsugihagi::testing {

// Adds a word and returns its id.
std::int32_t add(strmorph::dic_t& d, std::u16string_view text);
// The dictionary's words as (text, count), in word order.
std::vector<std::pair<std::u16string, std::int32_t>> words_of(const strmorph::dic_t& d);

void set_next(strmorph::dic_t& d, std::int32_t w, std::initializer_list<id_count> pairs);
void set_prev(strmorph::dic_t& d, std::int32_t w, std::initializer_list<std::int32_t> ids);
void set_cooc(strmorph::dic_t& d, std::int32_t w, std::initializer_list<id_count> pairs);

// Adds an idiom and links it from its words; returns its id.
std::int32_t add_phrase(strmorph::dic_t& d, std::initializer_list<std::int32_t> ids,
                        std::initializer_list<std::uint8_t> flags);

// Puts a line with these word ids at the front of the log (its text is the words' texts).
void push_line(conversation_log& log, const strmorph::dic_t& d,
               std::initializer_list<std::int32_t> ids);

}  // namespace tsugihagi::testing
