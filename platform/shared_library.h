// A shared library loaded at run time (dlopen) and its exports found by name.
#pragma once

#include <string>

#include "platform/status.h"

namespace trovelane {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  SharedLibrary(SharedLibrary&& other) noexcept;
  SharedLibrary& operator=(SharedLibrary&& other) noexcept;
  ~SharedLibrary();  // unloads

  // Loads the library at `path` (resolving all its symbols now), unloading
  // any library held before. On failure an IoError whose message is the
  // loader's reason (a missing file, not a library, an unresolved symbol).
  Status Open(const std::string& path);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

  // The address of the export `name`; null when the library has none or
  // none is loaded.
  void* Symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
};

}  // namespace trovelane
