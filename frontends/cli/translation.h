// What tsugihagi-cli says, in the user's language: gettext's catalogue "tsugihagi" (English is
// the source language), chosen by LANGUAGE, LC_ALL, LC_MESSAGES and LANG as usual. Where the
// build has no gettext (TSUGIHAGI_NLS unset), every message stays English.
#pragma once

#include <string>
#include <string_view>

// Mark messages that are translated later, where they are shown: one, and one with a count.
#define N_(english) english
#define NN_(one, many) one, many

namespace tsugihagi {

// Sets the locale's messages and character type from the environment and finds the
// catalogue: the build tree's when the program runs from there, else the one installed beside
// the program (<prefix>/share/locale for <prefix>/bin). Messages are UTF-8 whatever the locale.
void start_translation();

// The translation of an English message (itself when there is none).
[[gnu::format_arg(1)]] const char* tr(const char* english);
// The translation of the form for `n` of an English message with a count.
[[gnu::format_arg(1)]] [[gnu::format_arg(2)]] const char* trn(const char* one, const char* many,
                                                              unsigned long n);

// printf into a string; translations may reorder their arguments (%2$s).
[[gnu::format(printf, 1, 2)]] std::string formatted(const char* format, ...);

// Columns a UTF-8 text takes on a terminal: East Asian wide and full-width characters two,
// others one.
int display_width(std::string_view utf8);

// A message of the core that the terminal shows ("PATH could not be written"), translated.
std::string translated_core_message(const std::string& message);

}  // namespace tsugihagi
