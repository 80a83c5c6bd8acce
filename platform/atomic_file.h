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

// Replaces `path` by `bytes`. A new file gets `mode` (before the umask); an
// existing file keeps its own permission bits unless `forceMode` is set.
// When `path` is a symbolic link, the file it points to is replaced and the
// link stays. The temporary file and the folder handle are not inherited by
// child processes. Fails also when the folder cannot be flushed after the
// rename (the file is then replaced, but a crash may still lose it).
// Any thread may call it; it never changes the process's umask.
//
// A failure is kIoError whose message names the step, the file and the
// system's reason ("cannot replace PATH: Permission denied"), for the user.
//
// A save killed half way (by a signal, a crash) leaves its temporary file
// ".trovelane-save.NAME.XXXXXX" behind (NAME shortened to fit a folder
// entry). After a save of NAME succeeds, such leftovers are removed: entries
// of the same folder with exactly that prefix and six letters and digits,
// that are regular files owned by this user and are not being written by a
// save of this process right now. No other file is touched, whatever its
// name ("NAME.backup", "NAME.Monday"). A leftover that cannot be removed is
// left alone.
//
// Something other than a regular file at `path` (after following links) is
// never replaced: a device node, a pipe or a folder fails with "cannot
// replace PATH: it is not a regular file".
Status WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0644,
                           bool forceMode = false);

// For an output the user names (a results document, an exported page or
// definition): a character device or a named pipe at `path` (/dev/null, a
// terminal, a FIFO another program reads) is written into as a stream, and
// waits for a pipe's reader; anything else is saved with WriteFileAtomically.
// A failed write is kIoError naming the file and the system's reason.
Status WriteOutputFile(const std::string& path, std::string_view bytes);

// Test seam: the call that flushes the folder after the rename (fsync by
// default). A test swaps in a fake that fails, to see that failure reported;
// the program never calls this. Returns the call it replaced. Any thread.
using FolderSyncCall = int (*)(int fd);
FolderSyncCall ReplaceFolderSyncForTesting(FolderSyncCall call);

}  // namespace trovelane
