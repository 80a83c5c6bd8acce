#include "platform/shared_library.h"

#include <dlfcn.h>

#include <utility>

namespace trovelane {

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

SharedLibrary::~SharedLibrary() { Close(); }

bool SharedLibrary::Open(const std::string& path) {
  Close();
  // A name without a slash would be searched in the system's library path.
  std::string target = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = ::dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = ::dlerror();
    error_ = why ? why : "cannot load " + path;
    return false;
  }
  error_.clear();
  return true;
}

void SharedLibrary::Close() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
}

void* SharedLibrary::Symbol(const char* name) {
  if (!handle_) {
    error_ = "no library is loaded";
    return nullptr;
  }
  ::dlerror();
  void* address = ::dlsym(handle_, name);
  if (!address) {
    const char* why = ::dlerror();
    error_ = why ? why : std::string("no export named ") + name;
  }
  return address;
}

}  // namespace trovelane
