// A folder of files replaced as one set. A save writes every file of the new set into a new
// folder beside the live one, makes them and that folder durable, and then exchanges the two
// folders in one step (Linux: renameat2 with RENAME_EXCHANGE); where the system cannot
// exchange (Windows, some file systems) it renames the live folder aside and the new one into
// its place, a gap that recover() closes. The old set is then removed. So after a crash at
// any instant the live folder holds exactly the old set or exactly the new one, and a start
// never finds it missing once recover() has run.
//
// Beside the live folder "X" (the folder a link at X points to, when X is a link, so the link
// keeps pointing where it pointed): "X.new", the set being written or, after an exchange, the
// old set being removed; "X.old", the old set between the two renames. Entries of the live
// folder that the set does not own (any other file a user keeps there) are carried over to
// the new live folder. Permission bits of the folder and of each file carry over too.
//
// Costs: the new set's size on disk while a save runs; one sync per file, two folder syncs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/io/data_stream.h"

namespace tsugihagi {

class file_set {
 public:
  // `folder` is the live folder's path as the user sees it (a link is resolved here);
  // `owned` are the names of the files the set consists of, plus any file that belongs to
  // the old set only (a journal), which a save drops.
  file_set(const std::filesystem::path& folder, std::vector<std::string> owned);

  // The folder the files are in, a link resolved.
  const std::filesystem::path& live() const { return live_; }

  // Finishes or undoes a save that a crash interrupted: a missing live folder whose new set
  // was complete gets it, leftovers are removed. False, with error(), when that failed.
  bool recover();

  // Starts a save: recovers first (a failed commit may have left the set in the old folder
  // only), then makes an empty folder for the new set (a leftover at its name removed first).
  // False, with error(), when either failed.
  bool begin();
  // A stream on the new set's file `name` (one of `owned`), created exclusively, with the
  // permission bits the live file has. REQUIRES: begin() succeeded.
  data_stream create(const std::string& name);
  // Makes the new set live and removes the old one. False, with error(), when the new set
  // could not be made live; the old set is then live and the new one removed.
  // REQUIRES: every stream from create() was closed successfully.
  bool commit();
  // Drops a begun save: removes the new folder.
  void abandon();

  // What the last failure was: the path and the system's reason.
  const std::string& error() const { return error_; }

 private:
  bool fail(const std::filesystem::path& path, const std::error_code& error);
  // Removes a folder that holds an old or an unfinished set, moving entries the set does not
  // own into the live folder first.
  bool remove_set_folder(const std::filesystem::path& folder);
  bool is_owned(const std::filesystem::path& name) const;

  std::filesystem::path live_;
  std::filesystem::path staged_;   // live_ + ".new"
  std::filesystem::path retired_;  // live_ + ".old"
  std::vector<std::string> owned_;
  std::string error_;
};

// Platform steps of a swap (file_set_posix.cpp, file_set_win32.cpp).
namespace file_set_platform {
// Exchanges two existing folders in one step; false with `error` when it could not, and
// `unsupported` set when the system offers no such step (the caller then renames).
bool exchange(const std::filesystem::path& a, const std::filesystem::path& b,
              std::error_code& error, bool& unsupported);
// Whether an existing file could be written in place: one the user made read-only is never
// replaced. False with `error` when it could not.
bool replaceable(const std::filesystem::path& file, std::error_code& error);
// Makes a folder's entries (renames, new files) durable; false with `error` on failure.
bool sync_folder(const std::filesystem::path& folder, std::error_code& error);
}  // namespace file_set_platform

}  // namespace tsugihagi
