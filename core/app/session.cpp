#include "core/app/session.h"

#include <algorithm>

#include "core/app/conversation_turn.h"
#include "core/dict/dictionary_files.h"

namespace tsugihagi {
namespace {

std::filesystem::path data_file(const std::filesystem::path& dir, const char* name) {
  return dir / "data" / name;
}

}  // namespace

session::session(std::filesystem::path working_dir, clock_fn clock, std::int32_t entry_limit)
    : dir(std::move(working_dir)), state(std::move(clock), entry_limit) {
  load_settings(config, dir / "config");
  record = transcript::open(dir / "log.txt");
}

session::~session() {
  finish_session(*this);
}

startup_status load_data_files(bot& b, const std::filesystem::path& dir, load_report* report) {
  load_report ignored;
  load_report& r = report != nullptr ? *report : ignored;
  strmorph::dropped_counts dropped{};
  const auto failed = strmorph::load_dictionary(b.dic, dir / "data", &dropped);
  std::copy(dropped.begin(), dropped.end(), r.dropped.begin());
  if (failed) {
    r.failed_file = data_file(dir, strmorph::file_name(*failed));
    return startup_status::dictionary_failed;
  }
  if (!load_log(b.log, data_file(dir, "log.data"), &r.dropped[4])) {
    r.failed_file = data_file(dir, "log.data");
    return startup_status::log_failed;
  }
  return startup_status::ready;
}

bool save_data_files(const bot& b, const std::filesystem::path& dir) {
  const bool saved = strmorph::save_dictionary(b.dic, dir / "data");
  return save_log(b.log, data_file(dir, "log.data")) && saved;
}

std::optional<std::u16string_view> startup_message(startup_status status) {
  switch (status) {
    case startup_status::dictionary_failed:
      return dictionary_failed_message;
    case startup_status::log_failed:
      return log_failed_message;
    case startup_status::ready:
    case startup_status::settings_aborted:
      break;
  }
  return std::nullopt;
}

startup_status start_session(session& s) {
  if (s.config.settings_abort) return startup_status::settings_aborted;
  const startup_status status = load_data_files(s.state, s.dir, &s.loading);
  s.loaded = status == startup_status::ready;
  return status;
}

std::u16string exchange::output_text() const {
  std::u16string text = u"user > ";
  text += line;
  text += u"\r\nhagi > ";
  text += reply;
  return text;
}

std::optional<exchange> submit_line(session& s, std::u16string_view box_text) {
  std::optional<std::u16string> reply = converse(s.state, box_text);
  if (!reply) return std::nullopt;
  exchange e{std::u16string(s.state.turn.input_line.data()), std::move(*reply)};
  s.record.append_exchange(e.line, e.reply);
  return e;
}

void toggle_save_on_exit(session& s) {
  s.config.save_on_exit = s.config.save_on_exit == 0 ? 1 : 0;
}

bool save_on_exit(const session& s) {
  return s.config.save_on_exit != 0;
}

void save_learned_state(session& s) {
  if (!s.loaded || !save_on_exit(s)) return;
  save_data_files(s.state, s.dir);
}

void finish_session(session& s) {
  if (s.finished) return;
  s.finished = true;
  s.record.close();
  save_settings(s.config, s.dir / "config");
}

}  // namespace tsugihagi
