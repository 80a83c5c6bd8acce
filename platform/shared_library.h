// A shared library loaded at run time (dlopen) and its exports found by name.
#pragma once

#include <string>

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
  // any library held before. On failure error() says why.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

  // The address of the export `name`, or null (error() then says why).
  void* Symbol(const char* name);

  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace trovelane
