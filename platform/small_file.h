// Reading a small data file of the program's own (a settings or state file)
// whole, without trusting what stands at its path: a folder, a pipe, a
// device or a file far larger than any the program writes is refused before
// a byte is read, so that nothing blocks, aborts or fills the memory.
#pragma once

#include <cstddef>
#include <string>

#include "platform/status.h"

namespace trovelane {

// Reads `path` into `text` when it is a regular file of at most `maxBytes`.
// kNotFound (no message) when nothing is at `path`; otherwise kIoError with
// "PATH is a folder", "PATH is not a regular file", "PATH is larger than N
// bytes" or "cannot read PATH: REASON". Opened without blocking and without
// becoming the controlling terminal. Any thread.
Status ReadSmallFile(const std::string& path, size_t maxBytes, std::string& text);

}  // namespace trovelane
