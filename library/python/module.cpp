// The Python module "tsugihagi": class Bot over the C interface of include/tsugihagi.h, its
// statuses turned into the module's exceptions. Turns and learning run without the GIL.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

#include "include/tsugihagi.h"
#include "po/catalogue.h"

namespace py = pybind11;

namespace {

// The translation of an English message, from the library's catalogue, which the library binds
// when it is loaded. Python sets no LC_MESSAGES of its own: a program that wants its messages
// translated calls locale.setlocale(locale.LC_ALL, "").
const char* tr(const char* english) {
  return tsugihagi::catalogue::text("libtsugihagi0", english);
}

// The module's exception types, owned by the module (which outlives every bot).
PyObject* error_class = nullptr;
PyObject* in_use_error = nullptr;
PyObject* load_error = nullptr;
PyObject* save_error = nullptr;

// Raises the exception that `status` stands for, with the bot's message.
[[noreturn]] void raise(tsugihagi_status status, const std::string& message) {
  switch (status) {
    case TSUGIHAGI_IN_USE:
      PyErr_SetString(in_use_error, message.c_str());
      break;
    case TSUGIHAGI_LOAD_FAILED:
      PyErr_SetString(load_error, message.c_str());
      break;
    case TSUGIHAGI_SAVE_FAILED:
      PyErr_SetString(save_error, message.c_str());
      break;
    case TSUGIHAGI_NO_MEMORY:
      PyErr_SetString(PyExc_MemoryError, message.c_str());
      break;
    case TSUGIHAGI_BAD_USAGE:
    case TSUGIHAGI_INVALID_UTF8:
      PyErr_SetString(PyExc_ValueError, message.c_str());
      break;
    default:
      PyErr_SetString(error_class, message.c_str());
      break;
  }
  throw py::error_already_set();
}

// The text's UTF-8; a str that has none (a lone surrogate) raises UnicodeEncodeError.
std::string utf8_of(const py::str& text) {
  Py_ssize_t length = 0;
  const char* bytes = PyUnicode_AsUTF8AndSize(text.ptr(), &length);
  if (bytes == nullptr) throw py::error_already_set();
  return std::string(bytes, static_cast<std::size_t>(length));
}

class bot {
 public:
  bot(const py::object& dir_or_none, std::optional<std::uint32_t> seed,
      std::optional<std::int32_t> max_entries, const std::string& save, bool create,
      bool transcript) {
    std::optional<std::string> dir;
    if (!dir_or_none.is_none()) {
      dir = py::str(py::module_::import("os").attr("fspath")(dir_or_none)).cast<std::string>();
    }
    tsugihagi_options options;
    tsugihagi_options_init(&options);
    if (seed) {
      options.use_seed = 1;
      options.seed = *seed;
    }
    if (max_entries) {
      if (*max_entries <= 0) throw py::value_error(tr("max_entries must be positive"));
      options.max_entries = *max_entries;
    }
    if (save == "config") {
      options.save = TSUGIHAGI_SAVE_CONFIG;
    } else if (save == "always") {
      options.save = TSUGIHAGI_SAVE_ALWAYS;
    } else if (save == "never") {
      options.save = TSUGIHAGI_SAVE_NEVER;
    } else {
      throw py::value_error(tr("save must be \"config\", \"always\" or \"never\""));
    }
    options.create = create ? 1 : 0;
    options.transcript = transcript ? 1 : 0;
    tsugihagi_status status;
    {
      py::gil_scoped_release unlocked;
      status = tsugihagi_open(dir ? dir->c_str() : nullptr, &options, &bot_);
    }
    if (status != TSUGIHAGI_OK) {
      const std::string message = tsugihagi_last_error(bot_);
      tsugihagi_close(bot_);
      bot_ = nullptr;
      raise(status, message);
    }
  }
  ~bot() {
    if (bot_ != nullptr) tsugihagi_close(bot_);
  }
  bot(const bot&) = delete;
  bot& operator=(const bot&) = delete;

  std::string converse(const py::str& text) {
    const std::string line = utf8_of(text);
    char* reply = nullptr;
    std::size_t length = 0;
    const tsugihagi_status status = call([&](tsugihagi_bot* b) {
      return tsugihagi_converse(b, line.data(), line.size(), &reply, &length);
    });
    if (status == TSUGIHAGI_NO_LINE) return {};
    std::string answer(reply, length);
    tsugihagi_free(reply);
    return answer;
  }

  bool learn(const py::str& text) {
    const std::string line = utf8_of(text);
    return call([&](tsugihagi_bot* b) { return tsugihagi_learn(b, line.data(), line.size()); }) ==
           TSUGIHAGI_OK;
  }

  // Learns each line of a UTF-8 file; `progress` gets (lines done, lines in all) every 1000
  // lines and at the end. Returns the lines learned.
  std::size_t learn_file(
      const py::object& path_like,
      const std::optional<std::function<void(std::size_t, std::size_t)>>& progress) {
    const std::string path =
        py::str(py::module_::import("os").attr("fspath")(path_like)).cast<std::string>();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
      throw py::error_already_set();
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(std::move(line));
    }
    std::size_t learned = 0;
    for (std::size_t done = 0; done < lines.size();) {
      const std::size_t end = std::min(lines.size(), done + 1000);
      for (; done < end; ++done) {
        const std::string& line = lines[done];
        if (line.empty()) continue;
        const tsugihagi_status status =
            call([&](tsugihagi_bot* b) { return tsugihagi_learn(b, line.data(), line.size()); });
        if (status == TSUGIHAGI_OK) ++learned;
      }
      if (progress) (*progress)(done, lines.size());
    }
    return learned;
  }

  py::dict forget(const py::str& forgotten, bool dry_run) {
    const std::string text = utf8_of(forgotten);
    tsugihagi_forget_counts counts{};
    call([&](tsugihagi_bot* b) {
      return tsugihagi_forget(b, text.data(), text.size(), dry_run ? 1 : 0, &counts);
    });
    py::list words;
    const std::string all(counts.removed_words, counts.removed_words_len);
    tsugihagi_free(counts.removed_words);
    for (std::size_t at = 0; at < all.size();) {
      const std::size_t end = all.find('\n', at);
      words.append(py::str(all.substr(at, end - at)));
      at = end + 1;
    }
    py::dict result;
    result["words"] = words;
    result["phrases"] = counts.phrases;
    result["log_lines"] = counts.log_lines;
    return result;
  }

  void save() {
    call([](tsugihagi_bot* b) { return tsugihagi_save(b); });
  }

  py::dict stats() {
    tsugihagi_statistics s{};
    call([&](tsugihagi_bot* b) { return tsugihagi_stats(b, &s); });
    py::dict result;
    result["words"] = s.words;
    result["phrases"] = s.phrases;
    result["log_lines"] = s.log_lines;
    result["free_word_ids"] = s.free_word_ids;
    result["free_phrase_ids"] = s.free_phrase_ids;
    result["recovered_lines"] = s.recovered_lines;
    return result;
  }

  // Saves as the save mode says and releases the folder; later calls raise ValueError.
  void close() {
    if (bot_ == nullptr) return;
    tsugihagi_bot* b = bot_;
    bot_ = nullptr;
    tsugihagi_status status;
    {
      py::gil_scoped_release unlocked;
      status = tsugihagi_close(b);
    }
    if (status != TSUGIHAGI_OK) raise(status, tr("the data files could not be saved"));
  }

 private:
  // Runs `operation` without the GIL; raises for every status but OK and NO_LINE.
  template <typename Operation>
  tsugihagi_status call(Operation operation) {
    if (bot_ == nullptr) throw py::value_error(tr("the bot is closed"));
    tsugihagi_status status;
    {
      py::gil_scoped_release unlocked;
      status = operation(bot_);
    }
    if (status != TSUGIHAGI_OK && status != TSUGIHAGI_NO_LINE) {
      raise(status, tsugihagi_last_error(bot_));
    }
    return status;
  }

  tsugihagi_bot* bot_ = nullptr;
};

}  // namespace

PYBIND11_MODULE(tsugihagi, m) {
  m.doc() = "A Japanese chatbot that learns everything from what it is told.";
  m.attr("__version__") = tsugihagi_version();
  const auto exception = [&](const char* name, PyObject* base) {
    PyObject* type = PyErr_NewException((std::string("tsugihagi.") + name).c_str(), base, nullptr);
    m.attr(name) = py::handle(type);  // the module holds a reference from here on
    Py_DECREF(type);
    return type;
  };
  error_class = exception("Error", PyExc_Exception);
  in_use_error = exception("InUseError", error_class);
  load_error = exception("LoadError", error_class);
  save_error = exception("SaveError", error_class);

  py::class_<bot>(m, "Bot")
      .def(py::init<const py::object&, std::optional<std::uint32_t>, std::optional<std::int32_t>,
                    const std::string&, bool, bool>(),
           py::arg("dir") = py::none(), py::kw_only(), py::arg("seed") = py::none(),
           py::arg("max_entries") = py::none(), py::arg("save") = "config",
           py::arg("create") = true, py::arg("transcript") = true)
      .def("converse", &bot::converse, py::arg("line"))
      .def("learn", &bot::learn, py::arg("line"))
      .def("learn_file", &bot::learn_file, py::arg("path"), py::arg("progress") = py::none())
      .def("forget", &bot::forget, py::arg("text"), py::kw_only(), py::arg("dry_run") = false)
      .def("save", &bot::save)
      .def("stats", &bot::stats)
      .def("close", &bot::close)
      .def(
          "__enter__", [](bot& b) -> bot& { return b; }, py::return_value_policy::reference)
      .def("__exit__", [](bot& b, const py::args&) { b.close(); });
}
