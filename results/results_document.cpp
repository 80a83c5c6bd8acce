#include "results/results_document.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"
#include "results/document_format.h"
#include "results/message_text.h"

namespace trovelane {
namespace {

constexpr const char* kOpenFailedMessage = "Error while opening file %s";
constexpr const char* kSaveFailedMessage = "Error while saving file %s";

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads the whole file; false with errno set when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      errno = err;
      return false;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

}  // namespace

CQuivmarkDoc::CQuivmarkDoc() : store_([this] { SetModifiedFlag(true); }) {}

bool CQuivmarkDoc::OnNewDocument() {
  store_.ResetResults();
  pathName_.clear();
  title_ = kNewDocumentTitle;
  modified_ = false;
  return true;
}

void CQuivmarkDoc::SetPathName(const std::string& path) {
  pathName_ = path;
  title_ = BaseName(path);
}

DocumentOpen CQuivmarkDoc::OnOpenDocument(const std::string& path) {
  store_.ResetResults();
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    const int err = errno;
    std::string message = MessageWith(kOpenFailedMessage, path);
    return {err == ENOENT ? Status::NotFound(std::move(message), std::strerror(err))
                          : Status::IoError(std::move(message), std::strerror(err)),
            {}};
  }

  DocumentOpen open;
  Status read = ReadResultsDocument(bytes, store_);
  SetPathName(path);
  modified_ = false;
  if (!read.ok()) {
    open.status = Status::Corruption(MessageWith(kInvalidDocumentMessage, path), read.message());
    open.readPartNote = kOpenedUntitledNote;
    // Titled by the file name, but with no file of its own.
    pathName_.clear();
  }
  return open;
}

Status CQuivmarkDoc::OnSaveDocument(const std::string& path) {
  Status saved = WriteOutputFile(path, WriteResultsDocument(store_));
  if (!saved.ok()) return Status::IoError(MessageWith(kSaveFailedMessage, path), saved.message());
  SetPathName(path);
  modified_ = false;
  return Status::Ok();
}

}  // namespace trovelane
