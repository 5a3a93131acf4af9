#include "frontends/cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "frontends/cli/translation.h"

namespace tsugihagi {
namespace {

constexpr const char* description =
    N_("Talks with the bot on standard input and output (UTF-8), one line per turn, or teaches\n"
       "it a text file. Works in DIR, by default the folder the window uses:\n"
       "$XDG_DATA_HOME/tsugihagi (~/.local/share/tsugihagi when XDG_DATA_HOME is not set).\n"
       "A folder without data/ gets one with five empty files (a new, empty memory).\n");

constexpr const char* footer =
    N_("Saving: --learn always saves what it learned; a conversation saves when the window's\n"
       "check box \"終了時に学習状態を保存\" is set (the byte in DIR/config). --no-save keeps\n"
       "every data file as it was. Ctrl-D, Ctrl-C, SIGTERM and closing the terminal end the\n"
       "session, which then saves as above.\n"
       "Exit status: 0 done, 1 failure, 2 wrong usage, 130 --learn interrupted (what was\n"
       "learned until then is saved).");

std::optional<std::int64_t> parse_whole(const std::string& text, std::int64_t max) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::int64_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n > max) return std::nullopt;
  return n;
}

// A CLI11 check that the value is a whole number in [low, high].
CLI::Validator whole_number(std::int64_t low, std::int64_t high) {
  return CLI::Validator(
      [low, high](std::string& value) -> std::string {
        const auto n = parse_whole(value, high);
        if (n && *n >= low) return {};
        return formatted(tr("\"%s\" is not a whole number from %lld to %lld"), value.c_str(),
                         static_cast<long long>(low), static_cast<long long>(high));
      },
      "", "whole number");
}

// CLI11's help with its headings translated.
class translated_formatter : public CLI::Formatter {
 public:
  translated_formatter() {
    label("Usage", tr("Usage"));
    label("OPTIONS", tr("OPTIONS"));
  }
};

// CLI11's usage errors that this command line can meet, translated: the English is CLI11's
// own, each * standing for a detail put in the place of a %s.
struct usage_error_form {
  std::string_view english;
  const char* one;
  const char* many;  // nullptr: no count
};

const usage_error_form usage_error_forms[] = {
    {"The following argument was not expected: *",
     NN_("The following argument was not expected: %s",
         "The following arguments were not expected: %s")},
    {"The following arguments were not expected: *",
     NN_("The following argument was not expected: %s",
         "The following arguments were not expected: %s")},
    {"*: 1 required * missing", N_("%s: 1 required %s missing"), nullptr},
    {"Could not convert: * = *", N_("Could not convert: %s = %s"), nullptr},
    {"* was given a disallowed flag override", N_("%s was given a disallowed flag override"),
     nullptr},
    {"*: At Most 1 required but received *", N_("%s: At Most 1 required but received %s"), nullptr},
};

// Whether the message is the form, its literal parts in place; the details go to `details`.
// Each detail runs to the next literal part's first place after it, the last to the end.
bool matches_form(std::string_view message, std::string_view form,
                  std::vector<std::string>& details) {
  details.clear();
  std::size_t star = form.find('*');
  if (message.substr(0, std::min(star, form.size())) != form.substr(0, star)) return false;
  std::size_t at = star;
  while (star != std::string_view::npos) {
    const std::size_t next = form.find('*', star + 1);
    const std::string_view literal = form.substr(
        star + 1, next == std::string_view::npos ? std::string_view::npos : next - star - 1);
    std::size_t end;
    if (next == std::string_view::npos) {
      if (message.size() < at + literal.size() ||
          message.substr(message.size() - literal.size()) != literal)
        return false;
      end = message.size() - literal.size();
    } else {
      end = message.find(literal, at);
      if (end == std::string_view::npos) return false;
    }
    details.emplace_back(message.substr(at, end - at));
    at = end + literal.size();
    star = next;
  }
  return at == message.size();
}

std::string translated_usage_error(const std::string& message, std::size_t extras) {
  std::vector<std::string> details;
  for (const usage_error_form& form : usage_error_forms) {
    if (!matches_form(message, form.english, details)) continue;
    const std::string first = details.empty() ? "" : details[0];
    const std::string second = details.size() > 1 ? details[1] : "";
    const char* text = form.many != nullptr ? trn(form.one, form.many, extras) : tr(form.one);
    return formatted(text, first.c_str(), second.c_str());
  }
  return message;
}

}  // namespace

std::optional<std::uint32_t> parse_seed(const std::string& text) {
  const auto n = parse_whole(text, 0xFFFFFFFF);
  if (!n) return std::nullopt;
  return static_cast<std::uint32_t>(*n);
}

parsed_command_line parse_command_line(int argc, const char* const* argv) {
  CLI::App app(tr(description), "tsugihagi-cli");
  app.formatter(std::make_shared<translated_formatter>());
  app.option_defaults()->group(tr("Options"));
  app.set_version_flag("--version", "tsugihagi-cli " TSUGIHAGI_VERSION,
                       tr("Print the program's name and version and exit"));
  app.set_help_flag("-h,--help", tr("Print this help and exit"));
  app.footer(tr(footer));
  app.get_formatter()->column_width(24);

  std::string dir, seed, learn, max_entries, export_file, forget;
  std::vector<std::string> stats;
  CLI::Option* dir_opt =
      app.add_option("--dir", dir, tr("Work in DIR (its config, log.txt, data/)"))
          ->type_name("DIR");
  CLI::Option* seed_opt =
      app.add_option("--seed", seed, tr("Seed the replies' random draws with N (0-4294967295)"))
          ->type_name("N")
          ->check(whole_number(0, 0xFFFFFFFF));
  bool no_save = false;
  app.add_flag("--no-save", no_save, tr("Change no data file (config is still written)"));
  CLI::Option* learn_opt =
      app.add_option("--learn", learn, tr("Learn every line of FILE (- standard input) and save"))
          ->type_name("FILE");
  CLI::Option* max_opt =
      app.add_option("--max-entries", max_entries, tr("Prune words and phrases at N (1-16777215)"))
          ->type_name("N")
          ->check(whole_number(1, 0xFFFFFF));
  CLI::Option* stats_opt =
      app.add_option("--stats", stats, tr("Show what the bot knows; with WORD, its companions"))
          ->type_name("[WORD]")
          ->expected(0, 1);
  CLI::Option* export_opt =
      app.add_option("--export", export_file, tr("Write the whole state to FILE as JSON Lines"))
          ->type_name("FILE");
  CLI::Option* forget_opt =
      app.add_option("--forget", forget,
                     tr("Forget every word and log line containing TEXT, then save"))
          ->type_name("TEXT");
  bool dry_run = false;
  CLI::Option* dry_run_opt =
      app.add_flag("--dry-run", dry_run, tr("With --forget: only list what would be forgotten"));

  parsed_command_line result;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out, err;
    result.status = app.exit(e, out, err);
    result.out = out.str();
    result.err = err.str();
    if (result.status != 0) {
      const std::string message = translated_usage_error(e.what(), app.remaining().size());
      result.err = "tsugihagi-cli: " + formatted(tr("%s. Try --help."), message.c_str()) + "\n";
      result.status = 2;
    }
    return result;
  }

  // One task a run: checked here rather than with CLI11's excludes, which would crowd --help.
  const CLI::Option* tasks[] = {learn_opt, stats_opt, export_opt, forget_opt};
  const CLI::Option* first = nullptr;
  for (const CLI::Option* task : tasks) {
    if (!*task) continue;
    if (first != nullptr) {
      result.status = 2;
      result.err = "tsugihagi-cli: " +
                   formatted(tr("%s and %s cannot be used together. Try --help."),
                             first->get_name().c_str(), task->get_name().c_str()) +
                   "\n";
      return result;
    }
    first = task;
  }
  if (*dry_run_opt && !*forget_opt) {
    result.status = 2;
    result.err =
        "tsugihagi-cli: " + std::string(tr("--dry-run needs --forget. Try --help.")) + "\n";
    return result;
  }
  if (*forget_opt && (forget.empty() || forget.size() > 4 * 1022)) {
    result.status = 2;
    result.err = "tsugihagi-cli: " +
                 std::string(tr("--forget needs a text of 1 to 1022 characters. Try --help.")) +
                 "\n";
    return result;
  }

  terminal_options options;
  if (*dir_opt) options.dir = dir;
  if (*seed_opt) options.seed = parse_seed(seed);
  options.save = !no_save;
  if (*learn_opt) options.learn = learn;
  if (*max_opt)
    options.entry_limit = static_cast<std::int32_t>(*parse_whole(max_entries, 0xFFFFFF));
  if (*stats_opt) {
    options.stats = true;
    if (!stats.empty() && !stats.front().empty()) options.stats_word = stats.front();
  }
  if (*export_opt) options.export_file = export_file;
  if (*forget_opt) options.forget = forget;
  options.dry_run = dry_run;
  result.options = std::move(options);
  return result;
}

}  // namespace tsugihagi
