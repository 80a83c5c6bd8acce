// Saving a file so that a crash, a full disk or a folder that cannot be
// written never leaves a half-written file behind: the bytes go to a
// temporary file in the same folder, which is flushed and renamed over the
// old one.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "platform/status.h"

namespace trovelane {

// What WriteFileAtomically and the savers built on it return. New code takes
// it as a Status (kIoError with the same text when the save failed), which it
// converts to; the fields stay for the callers that still read them.
struct SaveResult {
  bool ok = false;
  std::string error;  // why it failed, for the user; empty on success
  explicit operator bool() const { return ok; }
  operator Status() const { return ok ? Status::Ok() : Status::IoError(error); }
};

// Replaces `path` by `bytes`. A new file gets `mode` (before the umask); an
// existing file keeps its own permission bits unless `forceMode` is set.
// When `path` is a symbolic link, the file it points to is replaced and the
// link stays. The temporary file and the folder handle are not inherited by
// child processes. Fails also when the folder cannot be flushed after the
// rename (the file is then replaced, but a crash may still lose it).
// Any thread may call it; it never changes the process's umask.
SaveResult WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0644,
                               bool forceMode = false);

}  // namespace trovelane
