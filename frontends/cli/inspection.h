// What the bot knows, for the user (--stats) and for other tools (--export, JSON Lines).
// Both read a loaded bot and change nothing. Costs: --stats sorts the words by count
// (O(n log n)); --export writes every word with its lists, every phrase and log line (linear
// in the size of the state).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "core/app/bot.h"

namespace tsugihagi {

inline constexpr std::size_t stats_top_words = 20;

// Counts, file sizes and the most frequent words; `to_terminal` shows learned texts with
// terminal controls replaced.
void print_stats(const bot& b, const std::filesystem::path& dir, std::ostream& out,
                 bool to_terminal);

// The words most often seen together with `word`; false when the bot does not know it.
bool print_companions(const bot& b, const std::u16string& word, std::ostream& out,
                      bool to_terminal);

// The whole state, one JSON object a line, UTF-8:
//   {"type":"summary","words":N,"phrases":N,"log_lines":N,
//    "free_word_ids":[..],"free_phrase_ids":[..]}
//   {"type":"word","id":3,"text":"天気","count":2,
//    "next":[{"id":4,"text":"は","count":1},{"id":-1,"text":null,"count":1}],
//    "prev":[{"id":-1,"text":null}],"cooc":[{"id":..,"text":..,"count":..}],
//    "phrases":[{"id":0,"text":"天気は"}]}                   (words in id order)
//   {"type":"phrase","id":0,"ids":[3,4],"texts":["天気","は"],"flags":[0,1]}
//   {"type":"line","index":0,"text":"天気は","ids":[3,4],"words":["天気","は"]}
// Id -1 marks a line's end (next) or start (prev); a text is null where no word has the id.
void export_state(const bot& b, std::ostream& out);

}  // namespace tsugihagi
