#include "results/results_document.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"
#include "results/document_format.h"

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

DocumentStatus CQuivmarkDoc::OnOpenDocument(const std::string& path) {
  store_.ResetResults();
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    return {false, MessageWith(kOpenFailedMessage, path), std::strerror(errno)};
  }

  DocumentStatus status;
  ReadReport report = ReadResultsDocument(bytes, store_);
  SetPathName(path);
  modified_ = false;
  if (!report.valid) {
    status.message = MessageWith(kInvalidDocumentMessage, path) + "\n" + kOpenedUntitledNote;
    status.detail = report.error;
    // Titled by the file name, but with no file of its own.
    pathName_.clear();
  }
  return status;
}

DocumentStatus CQuivmarkDoc::OnSaveDocument(const std::string& path) {
  SaveResult saved = WriteFileAtomically(path, WriteResultsDocument(store_));
  if (!saved) return {false, MessageWith(kSaveFailedMessage, path), saved.error};
  SetPathName(path);
  modified_ = false;
  return {};
}

}  // namespace trovelane
