#include "core/app/transcript.h"

#include <string>

#include "core/app/cp932.h"
#include "core/io/file_device.h"

namespace tsugihagi {
namespace {

// Code page 932 bytes with every line feed stored as CR LF.
void append_text(std::string& record, std::u16string_view text) {
  for (const char c : encode_cp932(text)) {
    if (c == '\n') record.push_back('\r');
    record.push_back(c);
  }
}

}  // namespace

transcript::transcript(std::unique_ptr<byte_device> device) : device_(std::move(device)) {}

transcript transcript::open(const std::filesystem::path& path) {
  return transcript(open_file_for_writing(path));
}

void transcript::append_exchange(std::u16string_view line, std::u16string_view reply) {
  if (device_ == nullptr) return;
  std::string record;
  append_text(record, u"user > ");
  append_text(record, line);
  append_text(record, u"\nhagi > ");
  append_text(record, reply);
  append_text(record, u"\n");
  if (!device_->write(record.data(), record.size()) || !device_->flush()) device_.reset();
}

void transcript::close() {
  if (device_ != nullptr) device_->commit();
  device_.reset();
}

}  // namespace tsugihagi
