#include "core/io/file_set.h"

#include <algorithm>
#include <utility>

#include "core/io/durable_steps.h"
#include "core/io/file_device.h"

namespace tsugihagi {
namespace fs = std::filesystem;
namespace {

bool present(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

bool is_folder(const fs::path& path) {
  std::error_code ignored;
  return fs::is_directory(fs::symlink_status(path, ignored));
}

fs::path with_suffix(fs::path path, const char* suffix) {
  path += suffix;
  return path;
}

fs::path parent_of(const fs::path& path) {
  fs::path parent = path.parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

}  // namespace

file_set::file_set(const fs::path& folder, std::vector<std::string> owned)
    : live_(folder), owned_(std::move(owned)) {
  std::error_code error;
  if (fs::is_symlink(fs::symlink_status(folder, error))) {
    const fs::path resolved = fs::weakly_canonical(folder, error);
    if (!error) live_ = resolved;
  }
  staged_ = with_suffix(live_, ".new");
  retired_ = with_suffix(live_, ".old");
}

bool file_set::fail(const fs::path& path, const std::error_code& error) {
  error_ = path.string() + ": " + error.message();
  return false;
}

bool file_set::is_owned(const fs::path& name) const {
  return std::find(owned_.begin(), owned_.end(), name.string()) != owned_.end();
}

bool file_set::remove_set_folder(const fs::path& folder) {
  std::error_code error;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    entries.push_back(it->path());
  if (error) return fail(folder, error);
  for (const fs::path& entry : entries) {
    const fs::path name = entry.filename();
    if (!is_owned(name) && !present(live_ / name)) {
      durable_step("rename");
      fs::rename(entry, live_ / name, error);
    } else {
      durable_step("remove");
      fs::remove_all(entry, error);
    }
    if (error) return fail(entry, error);
  }
  durable_step("remove");
  fs::remove(folder, error);
  return error ? fail(folder, error) : true;
}

bool file_set::recover() {
  error_.clear();
  std::error_code error;
  if (!present(live_)) {
    // The gap between the two renames: the new set was complete before the old one moved.
    const fs::path* complete = is_folder(staged_) && is_folder(retired_) ? &staged_
                               : is_folder(retired_)                     ? &retired_
                                                                         : nullptr;
    if (complete == nullptr) return true;  // no set at all: the caller's business
    durable_step("rename");
    fs::rename(*complete, live_, error);
    if (error) return fail(*complete, error);
    if (!file_set_platform::sync_folder(parent_of(live_), error)) return fail(live_, error);
  }
  for (const fs::path* leftover : {&staged_, &retired_}) {
    if (is_folder(*leftover)) {
      if (!remove_set_folder(*leftover)) return false;
    } else if (present(*leftover)) {
      durable_step("remove");
      if (!fs::remove(*leftover, error) && error) return fail(*leftover, error);
    }
  }
  return true;
}

bool file_set::begin() {
  // A swap undone in vain earlier in this run left the set in the old folder only: live
  // again before a new folder appears beside it, which a crash would leave unfinished.
  if (!recover()) return false;
  std::error_code error;
  for (const std::string& name : owned_) {
    const fs::path path = live_ / name;
    if (!present(path)) continue;
    if (!is_regular_file(fs::symlink_status(path, error))) {
      error_ = path.string() +
               ": not a regular file (a link, a folder or a device); nothing was "
               "saved, so that the files stay one set";
      return false;
    }
    if (!file_set_platform::replaceable(path, error)) return fail(path, error);
  }
  if (is_folder(staged_)) {
    if (!remove_set_folder(staged_)) return false;
  } else if (present(staged_)) {
    durable_step("remove");
    if (!fs::remove(staged_, error) && error) return fail(staged_, error);
  }
  durable_step("mkdir");
  if (!fs::create_directory(staged_, error)) {
    return fail(staged_, error ? error : std::make_error_code(std::errc::file_exists));
  }
  if (is_folder(live_)) fs::permissions(staged_, fs::status(live_, error).permissions(), error);
  return error ? fail(staged_, error) : true;
}

data_stream file_set::create(const std::string& name) {
  std::error_code error;
  const fs::file_status old = fs::symlink_status(live_ / name, error);
  const bool kept = !error && fs::is_regular_file(old);
  const auto permissions = kept ? old.permissions() : fs::perms(0666);
  error.clear();
  data_stream stream = open_create(staged_ / name, static_cast<unsigned>(permissions) & 07777);
  // The umask took bits away from the created file: the old file's bits are put back whole.
  if (kept && !stream.failed()) fs::permissions(staged_ / name, permissions, error);
  if (error) stream.fail();
  return stream;
}

void file_set::abandon() {
  const std::string kept = error_;
  if (is_folder(staged_)) remove_set_folder(staged_);
  error_ = kept;
}

bool file_set::commit() {
  std::error_code error;
  if (!file_set_platform::sync_folder(staged_, error)) {
    fail(staged_, error);
    abandon();
    return false;
  }
  const fs::path parent = parent_of(live_);
  bool unsupported = false;
  if (!present(live_)) {
    durable_step("rename");
    fs::rename(staged_, live_, error);
  } else if (file_set_platform::exchange(staged_, live_, error, unsupported)) {
    std::error_code ignored;
    file_set_platform::sync_folder(parent, ignored);
    remove_set_folder(staged_);  // a failure leaves it to the next save or start
    error_.clear();
    return true;
  } else if (unsupported) {
    error.clear();
    durable_step("rename");
    fs::rename(live_, retired_, error);
    if (!error) {
      durable_step("rename");
      fs::rename(staged_, live_, error);
      if (error) {
        std::error_code undo;
        durable_step("rename");
        fs::rename(retired_, live_, undo);
        if (undo) {
          // Neither set is live: the complete new one stays for recover() to put in place.
          return fail(live_, error);
        }
      }
    }
  }
  if (error) {
    fail(live_, error);
    abandon();
    return false;
  }
  std::error_code ignored;
  file_set_platform::sync_folder(parent, ignored);
  if (is_folder(retired_)) remove_set_folder(retired_);
  error_.clear();
  return true;
}

}  // namespace tsugihagi
