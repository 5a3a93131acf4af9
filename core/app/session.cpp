#include "core/app/session.h"

#include "core/app/conversation_turn.h"
#include "core/dict/dictionary_files.h"

namespace tsugihagi {
namespace {

std::filesystem::path data_file(const session& s, const char* name) {
  return s.dir / "data" / name;
}

}  // namespace

session::session(std::filesystem::path working_dir, clock_fn clock)
    : dir(std::move(working_dir)), state(std::move(clock)) {
  load_settings(config, dir / "config");
  record = transcript::open(dir / "log.txt");
}

session::~session() {
  finish_session(*this);
}

startup_status start_session(session& s) {
  if (s.config.settings_abort) return startup_status::settings_aborted;
  strmorph::dic_t& d = s.state.dic;
  if (!strmorph::load_idiom_hdid(d, data_file(s, "idiom_hdid.data")) ||
      !strmorph::load_idiomdic(d, data_file(s, "idiomdic.data")) ||
      !strmorph::load_hdid(d, data_file(s, "hdid.data")) ||
      !strmorph::load_dic(d, data_file(s, "dic.data"))) {
    return startup_status::dictionary_failed;
  }
  if (!load_log(s.state.log, data_file(s, "log.data"))) return startup_status::log_failed;
  s.loaded = true;
  return startup_status::ready;
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
  const strmorph::dic_t& d = s.state.dic;
  strmorph::save_idiom_hdid(d, data_file(s, "idiom_hdid.data"));
  strmorph::save_idiomdic(d, data_file(s, "idiomdic.data"));
  strmorph::save_hdid(d, data_file(s, "hdid.data"));
  strmorph::save_dic(d, data_file(s, "dic.data"));
  save_log(s.state.log, data_file(s, "log.data"));
}

void finish_session(session& s) {
  if (s.finished) return;
  s.finished = true;
  s.record.close();
  save_settings(s.config, s.dir / "config");
}

}  // namespace tsugihagi
