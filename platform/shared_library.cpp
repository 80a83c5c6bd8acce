#include "platform/shared_library.h"

#include <dlfcn.h>

#include <utility>

namespace trovelane {

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

SharedLibrary::~SharedLibrary() { Close(); }

Status SharedLibrary::Open(const std::string& path) {
  Close();
  // A name without a slash would be searched in the system's library path.
  std::string target = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = ::dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = ::dlerror();
    return Status::IoError(why ? why : "cannot load " + path);
  }
  return Status::Ok();
}

void SharedLibrary::Close() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
}

void* SharedLibrary::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return ::dlsym(handle_, name);
}

}  // namespace trovelane
