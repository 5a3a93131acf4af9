#include "core/app/settings.h"

#include "core/io/data_stream.h"

namespace tsugihagi {

void load_settings(settings& s, const std::filesystem::path& path) {
  s.settings_abort = false;
  data_stream in;
  for (int attempt = 0;; ++attempt) {
    in = open_read(path);
    if (!in.failed()) break;
    if (attempt == settings_open_attempts - 1) {
      s.settings_abort = true;
      return;
    }
    open_write(path).close();  // make sure the file exists; failures show at the next open
  }
  std::uint8_t byte = 0;
  in.read_bytes(&byte, 1);
  s.save_on_exit = in.failed() ? 1 : byte;
}

void save_settings(const settings& s, const std::filesystem::path& path) {
  data_stream out = open_write(path);
  out.write_bytes(&s.save_on_exit, 1);
  out.close();
}

}  // namespace tsugihagi
