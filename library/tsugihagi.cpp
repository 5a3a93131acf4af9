// The C interface (include/tsugihagi.h) over the session of core/app: each function turns its
// UTF-8 arguments into the core's UTF-16, runs one session operation and turns every failure,
// out of memory included, into a status and the bot's last error. Nothing else lives here.
#include "include/tsugihagi.h"
#include "po/catalogue.h"

#ifdef TSUGIHAGI_NLS
#include <dlfcn.h>
#include <libintl.h>
#endif

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "core/app/home_folder.h"
#include "core/app/session.h"
#include "core/io/folder_lock.h"
#include "core/io/utf8.h"

#ifndef TSUGIHAGI_VERSION
#define TSUGIHAGI_VERSION "0.0.0"
#endif

struct tsugihagi_bot {
  std::string error;
  tsugihagi::folder_lock lock;
  std::unique_ptr<tsugihagi::session> s;  // null for a bot whose open failed
  bool broken = false;                    // ran out of memory: its state may be partial
};

namespace {

namespace fs = std::filesystem;
using tsugihagi::session;

constexpr const char* text_domain = "libtsugihagi0";

#ifdef TSUGIHAGI_NLS

// The library's catalogue: the build tree's when the library is the build's, else the one
// installed beside it (<prefix>/share/locale for <prefix>/lib/<triplet>). Bound when the
// library is loaded, so that the Python module finds it too.
const bool catalogue_bound = [] {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&tsugihagi_version), &info) == 0 ||
      info.dli_fname == nullptr) {
    return false;
  }
  std::error_code error;
  const fs::path folder = fs::canonical(info.dli_fname, error).parent_path();
  const fs::path locale = folder == TSUGIHAGI_LIBRARY_BUILD_DIR
                              ? fs::path(TSUGIHAGI_BUILD_LOCALE_DIR)
                              : (folder / TSUGIHAGI_LIBRARY_TO_LOCALE).lexically_normal();
  ::bindtextdomain(text_domain, locale.c_str());
  ::bind_textdomain_codeset(text_domain, "UTF-8");
  return true;
}();
#endif

// The translation of an English message for the locale's messages (LC_MESSAGES), which the
// program sets; the English message itself in the C locale.
const char* tr(const char* english) {
  return tsugihagi::catalogue::text(text_domain, english);
}

// A translated message with its "%s" replaced by `detail`.
std::string tr(const char* english, const std::string& detail) {
  std::string text = tr(english);
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, detail);
  return text;
}

// Sets the bot's last error and returns `status`.
tsugihagi_status fail(tsugihagi_bot* bot, tsugihagi_status status, std::string message) {
  bot->error = std::move(message);
  return status;
}

// Runs `operation` on a usable bot, turning exceptions into statuses.
template <typename Operation>
tsugihagi_status guarded(tsugihagi_bot* bot, Operation operation) {
  if (bot == nullptr) return TSUGIHAGI_BAD_USAGE;
  try {
    bot->error.clear();
    if (bot->s == nullptr) return fail(bot, TSUGIHAGI_FAILED, tr("the bot could not be opened"));
    if (bot->broken) return fail(bot, TSUGIHAGI_NO_MEMORY, tr("the bot ran out of memory before"));
    return operation(*bot->s);
  } catch (const std::bad_alloc&) {
    bot->broken = true;
    bot->error = tr("out of memory");
    return TSUGIHAGI_NO_MEMORY;
  } catch (const std::exception& e) {
    bot->error = e.what();
    return TSUGIHAGI_FAILED;
  }
}

// The text as UTF-16, or nothing when it is not valid UTF-8.
std::optional<std::u16string> utf16_of(const char* text, std::size_t len) {
  if (text == nullptr && len > 0) return std::nullopt;
  const std::string_view utf8(text == nullptr ? "" : text, len);
  std::u16string utf16 = tsugihagi::utf8_to_utf16(utf8);
  if (tsugihagi::utf16_to_utf8(utf16) != utf8) return std::nullopt;
  return utf16;
}

// A copy in memory the caller frees with tsugihagi_free.
char* c_string(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

tsugihagi_status open_bot(tsugihagi_bot& bot, const char* dir_utf8, const tsugihagi_options& o) {
  if (o.max_entries < 0 || o.max_entries > strmorph::default_entry_limit ||
      o.save < TSUGIHAGI_SAVE_CONFIG || o.save > TSUGIHAGI_SAVE_NEVER) {
    return fail(&bot, TSUGIHAGI_BAD_USAGE, tr("an option is out of range"));
  }
  std::optional<fs::path> dir;
  if (dir_utf8 != nullptr) {
    const auto name = utf16_of(dir_utf8, std::strlen(dir_utf8));
    if (!name) return fail(&bot, TSUGIHAGI_INVALID_UTF8, tr("the folder's name is not UTF-8"));
    dir = fs::path(*name);
  } else {
    dir = tsugihagi::home_folder();
    if (!dir) return fail(&bot, TSUGIHAGI_BAD_USAGE, tr("no home folder is known: give a folder"));
    std::error_code ignored;
    if (o.create) fs::create_directories(*dir, ignored);
  }
  std::error_code error;
  if (!fs::is_directory(*dir, error)) {
    return fail(&bot, TSUGIHAGI_BAD_USAGE, tr("%s: no such folder", dir->string()));
  }
  bot.lock = tsugihagi::lock_folder(*dir);
  if (bot.lock.status() == tsugihagi::folder_lock_status::in_use) {
    return fail(&bot, TSUGIHAGI_IN_USE, tr("%s is in use by another tsugihagi", dir->string()));
  }
  if (const auto failure = tsugihagi::recover_data_folder(*dir)) {
    return fail(&bot, TSUGIHAGI_LOAD_FAILED,
                tr("an interrupted save could not be finished: %s", *failure));
  }
  if (!fs::exists(fs::symlink_status(*dir / "data", error))) {
    if (!o.create)
      return fail(&bot, TSUGIHAGI_LOAD_FAILED, tr("%s: missing", (*dir / "data").string()));
    if (const auto failure = tsugihagi::create_empty_memory(*dir)) {
      return fail(&bot, TSUGIHAGI_LOAD_FAILED, tr("cannot create an empty memory: %s", *failure));
    }
  }
  tsugihagi::clock_fn clock = tsugihagi::system_clock_seconds;
  if (o.use_seed != 0) clock = [seed = o.seed] { return std::int64_t{seed}; };
  const auto mode = o.save == TSUGIHAGI_SAVE_ALWAYS  ? tsugihagi::save_mode::always
                    : o.save == TSUGIHAGI_SAVE_NEVER ? tsugihagi::save_mode::never
                                                     : tsugihagi::save_mode::config;
  auto s = std::make_unique<session>(
      *dir, clock, o.max_entries == 0 ? strmorph::default_entry_limit : o.max_entries, mode,
      o.transcript != 0);
  const tsugihagi::startup_status status = tsugihagi::start_session(*s);
  if (status == tsugihagi::startup_status::settings_aborted) {
    return fail(&bot, TSUGIHAGI_LOAD_FAILED,
                tr("%s: cannot be opened", (*dir / "config").string()));
  }
  if (status != tsugihagi::startup_status::ready) {
    const tsugihagi::load_report& r = s->loading;
    std::string why = r.recovery_error.empty()
                          ? (r.read_failed ? tr("%s: a read failed or the file ended early",
                                                r.failed_file.string())
                                           : tr("%s: cannot be opened", r.failed_file.string()))
                          : r.recovery_error;
    return fail(&bot, TSUGIHAGI_LOAD_FAILED, why);
  }
  bot.s = std::move(s);
  return TSUGIHAGI_OK;
}

}  // namespace

extern "C" {

const char* tsugihagi_version(void) {
  return TSUGIHAGI_VERSION;
}

void tsugihagi_options_init(tsugihagi_options* options) {
  if (options == nullptr) return;
  *options = tsugihagi_options{};
  options->size = sizeof(tsugihagi_options);
  options->save = TSUGIHAGI_SAVE_CONFIG;
  options->create = 1;
  options->transcript = 1;
}

tsugihagi_status tsugihagi_open(const char* dir, const tsugihagi_options* options,
                                tsugihagi_bot** bot) {
  if (bot == nullptr) return TSUGIHAGI_BAD_USAGE;
  *bot = new (std::nothrow) tsugihagi_bot;
  if (*bot == nullptr) return TSUGIHAGI_NO_MEMORY;
  tsugihagi_options o;
  tsugihagi_options_init(&o);
  if (options != nullptr) {
    if (options->size != sizeof(tsugihagi_options)) {
      return fail(*bot, TSUGIHAGI_BAD_USAGE, tr("options not set up by tsugihagi_options_init"));
    }
    o = *options;
  }
  try {
    const tsugihagi_status status = open_bot(**bot, dir, o);
    if (status != TSUGIHAGI_OK) (*bot)->lock = tsugihagi::folder_lock();
    return status;
  } catch (const std::bad_alloc&) {
    (*bot)->lock = tsugihagi::folder_lock();
    return fail(*bot, TSUGIHAGI_NO_MEMORY, tr("out of memory"));
  } catch (const std::exception& e) {
    (*bot)->lock = tsugihagi::folder_lock();
    return fail(*bot, TSUGIHAGI_FAILED, e.what());
  }
}

tsugihagi_status tsugihagi_converse(tsugihagi_bot* bot, const char* line, size_t len, char** reply,
                                    size_t* reply_len) {
  return guarded(bot, [&](session& s) {
    if (reply == nullptr) return fail(bot, TSUGIHAGI_BAD_USAGE, tr("no place for the reply"));
    *reply = nullptr;
    if (reply_len != nullptr) *reply_len = 0;
    const auto text = utf16_of(line, len);
    if (!text) return fail(bot, TSUGIHAGI_INVALID_UTF8, tr("the line is not UTF-8"));
    const std::optional<tsugihagi::exchange> e = tsugihagi::submit_line(s, *text);
    if (!e) return fail(bot, TSUGIHAGI_NO_LINE, tr("the line is empty"));
    const std::string answer = tsugihagi::utf16_to_utf8(e->reply);
    *reply = c_string(answer);
    if (reply_len != nullptr) *reply_len = answer.size();
    return TSUGIHAGI_OK;
  });
}

tsugihagi_status tsugihagi_learn(tsugihagi_bot* bot, const char* line, size_t len) {
  return guarded(bot, [&](session& s) {
    const auto text = utf16_of(line, len);
    if (!text) return fail(bot, TSUGIHAGI_INVALID_UTF8, tr("the line is not UTF-8"));
    if (!tsugihagi::learn_text_line(s, *text)) {
      return fail(bot, TSUGIHAGI_NO_LINE, tr("the line is empty"));
    }
    return TSUGIHAGI_OK;
  });
}

tsugihagi_status tsugihagi_forget(tsugihagi_bot* bot, const char* text, size_t len, int dry_run,
                                  tsugihagi_forget_counts* counts) {
  return guarded(bot, [&](session& s) {
    if (counts != nullptr) *counts = tsugihagi_forget_counts{};
    const auto forgotten = utf16_of(text, len);
    if (!forgotten) return fail(bot, TSUGIHAGI_INVALID_UTF8, tr("the text is not UTF-8"));
    if (forgotten->empty() || forgotten->size() > tsugihagi::max_line_units) {
      return fail(bot, TSUGIHAGI_BAD_USAGE, tr("the text to forget is empty or too long"));
    }
    const tsugihagi::forget_report r = tsugihagi::forget_in_session(s, *forgotten, dry_run != 0);
    if (counts == nullptr) return TSUGIHAGI_OK;
    std::string words;
    for (const std::u16string& word : r.words)
      words += tsugihagi::utf16_to_utf8(word) + "\n";
    counts->removed_words = c_string(words);
    counts->removed_words_len = words.size();
    counts->words = r.words.size();
    counts->phrases = static_cast<std::size_t>(r.phrases);
    counts->log_lines = static_cast<std::size_t>(r.log_lines);
    return TSUGIHAGI_OK;
  });
}

tsugihagi_status tsugihagi_save(tsugihagi_bot* bot) {
  return guarded(bot, [&](session& s) {
    if (s.mode == tsugihagi::save_mode::never) {
      return fail(bot, TSUGIHAGI_BAD_USAGE, tr("the bot was opened never to save"));
    }
    if (!tsugihagi::save_session(s)) return fail(bot, TSUGIHAGI_SAVE_FAILED, s.save_error);
    return TSUGIHAGI_OK;
  });
}

tsugihagi_status tsugihagi_stats(tsugihagi_bot* bot, tsugihagi_statistics* stats) {
  return guarded(bot, [&](session& s) {
    if (stats == nullptr) return fail(bot, TSUGIHAGI_BAD_USAGE, tr("no place for the counts"));
    const tsugihagi::bot& b = s.state;
    *stats =
        tsugihagi_statistics{b.dic.wordmap.size(),    b.dic.idiomset.size(),
                             b.log.line_count(),      b.dic.hdid.size(),
                             b.dic.idiom_hdid.size(), static_cast<std::size_t>(s.loading.replayed)};
    return TSUGIHAGI_OK;
  });
}

tsugihagi_status tsugihagi_close(tsugihagi_bot* bot) {
  if (bot == nullptr) return TSUGIHAGI_OK;
  tsugihagi_status status = TSUGIHAGI_OK;
  if (bot->s != nullptr && !bot->broken) {
    status = guarded(bot, [&](session& s) {
      if (!tsugihagi::save_learned_state(s)) return fail(bot, TSUGIHAGI_SAVE_FAILED, s.save_error);
      return TSUGIHAGI_OK;
    });
  }
  try {
    if (bot->s != nullptr) tsugihagi::finish_session(*bot->s);
  } catch (...) {
  }
  delete bot;
  return status;
}

const char* tsugihagi_last_error(const tsugihagi_bot* bot) {
  if (bot == nullptr) return tr("out of memory");
  return bot->error.c_str();
}

void tsugihagi_free(void* pointer) {
  std::free(pointer);
}

}  // extern "C"
