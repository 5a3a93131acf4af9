#include "tests/support/test_support.h"

#include <fstream>
#include <random>
#include <stdexcept>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "core/io/memory_device.h"
#include "core/io/utf8.h"

namespace tsugihagi::testing {

data_stream memory_writer(bytes& sink, std::size_t fail_after) {
  return data_stream(std::make_unique<memory_device>(&sink, fail_after), data_stream::mode::write);
}

data_stream memory_reader(bytes content) {
  return data_stream(std::make_unique<memory_device>(std::move(content)), data_stream::mode::read);
}

temp_dir::temp_dir() {
  std::random_device rd;
  for (;;) {
    path_ = std::filesystem::temp_directory_path() /
            ("tsugihagi-test-" + std::to_string(rd()) + std::to_string(rd()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

temp_dir::~temp_dir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void make_empty_data(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir / "data");
  for (const char* name :
       {"dic.data", "hdid.data", "idiom_hdid.data", "idiomdic.data", "log.data"}) {
    write_file(dir / "data" / name, {});
  }
}

bytes read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::filesystem::path& path, const bytes& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(content.data()),
            static_cast<std::streamsize>(content.size()));
}

std::u16string u16(std::string_view utf8) {
  return utf8_to_utf16(utf8);
}
std::string u8(std::u16string_view utf16) {
  return utf16_to_utf8(utf16);
}

std::filesystem::path shared_dir() {
  const char* env = std::getenv("TSUGIHAGI_SHARED_DIR");
  const std::filesystem::path dir = env != nullptr ? env : TSUGIHAGI_SHARED_DIR;
  for (const char* sub : {"corpus", "golden"}) {
    if (!std::filesystem::is_directory(dir / sub)) {
      throw std::runtime_error("the shared reference data is missing: no folder " +
                               (dir / sub).string() +
                               " (put ../shared beside the repository or set "
                               "TSUGIHAGI_SHARED_DIR)");
    }
  }
  return dir;
}

std::vector<std::u16string> all_strings(std::u16string_view alphabet, std::size_t max_length) {
  std::vector<std::u16string> out{u""};
  for (std::size_t i = 0; out[i].size() < max_length; ++i) {
    for (const char16_t c : alphabet)
      out.push_back(out[i] + c);
  }
  out.erase(out.begin());
  return out;
}

std::vector<std::u16string> corpus_lines(std::size_t count) {
  const std::filesystem::path file = shared_dir() / "corpus" / "ja-sentences.txt";
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read the shared corpus " + file.string());
  std::vector<std::u16string> lines;
  std::string line;
  while (lines.size() < count && std::getline(in, line))
    lines.push_back(u16(line));
  if (lines.size() < count) {
    throw std::runtime_error("the shared corpus " + file.string() + " holds only " +
                             std::to_string(lines.size()) + " lines, " + std::to_string(count) +
                             " needed");
  }
  return lines;
}

#ifndef _WIN32
bool as_unprivileged_user(const std::function<bool()>& check) {
  if (::geteuid() != 0) return check();
  const uid_t nobody = 65534;
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(2);
    ::_exit(check() ? 0 : 1);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif

}  // namespace tsugihagi::testing
