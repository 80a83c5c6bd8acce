// The results document: one search's results store with its title, file
// and modified flag. The core owns it; a front end binds its view to it and
// shows the messages its operations return.
#pragma once

#include <string>

#include "platform/status.h"
#include "results/results_store.h"
#include "platform/version.h"

namespace trovelane {

// The document type as the front ends register it.
inline constexpr const char* kDocumentWindowTitle = "t r o v e l a n e " TROVELANE_VERSION;
inline constexpr const char* kDocumentNewName = "trovelane";
inline constexpr const char* kDocumentFilterName = "trovelane Files (*.qmk)";
inline constexpr const char* kDocumentExtension = ".qmk";
inline constexpr const char* kDocumentTypeId = "trovelane.Results";
inline constexpr const char* kDocumentTypeName = "trovelane Results";

inline constexpr const char* kNewDocumentTitle = "New Search";

// Follows the invalid-document message when the readable part opened.
inline constexpr const char* kOpenedUntitledNote =
    "What could be read opens as an untitled document: Save asks for a new name, so that the "
    "file is not overwritten with part of its results.";

// What OnOpenDocument found.
struct DocumentOpen {
  // OK when the whole file was read. kNotFound or kIoError when it could not
  // be read at all: the message is "Error while opening file <path>", the
  // system's reason the detail, and the document stays empty. kCorruption
  // when its content is not a valid results document: the message is
  // kInvalidDocumentMessage, what broke the detail.
  Status status;
  // Set with kCorruption: the records read before the fault did open, and
  // this note (kOpenedUntitledNote) says how; it follows the message when
  // the user is told.
  std::string readPartNote;

  // The document holds the file's records, all of them or the readable part.
  bool opened() const { return status.ok() || !readPartNote.empty(); }
  // What the user is told: the message, then the note when there is one.
  // Empty when the whole file was read.
  std::string UserMessage() const {
    return readPartNote.empty() ? status.message() : status.message() + "\n" + readPartNote;
  }
};

class CQuivmarkDoc {
 public:
  CQuivmarkDoc();
  // The store's sort hook points back at this document.
  CQuivmarkDoc(const CQuivmarkDoc&) = delete;
  CQuivmarkDoc& operator=(const CQuivmarkDoc&) = delete;

  // A new, empty document titled "New Search". Each search starts with one.
  bool OnNewDocument();

  // Empties the store, then reads `path`. When the file cannot be read at
  // all the document stays empty. When its content is not a valid results
  // document the status says so, but the document still opens with the
  // records read before the fault, titled by the file name and not modified.
  // Such a document is untitled - it has no pathName - so that Save asks for
  // a name instead of overwriting the damaged original with the part that
  // could be read; the note beside the status says so.
  DocumentOpen OnOpenDocument(const std::string& path);

  // Saves the whole store in the current version, replacing `path`
  // atomically. On failure (kIoError: "Error while saving file <path>", the
  // save's reason as detail) the old file stays whole and the document stays
  // modified.
  Status OnSaveDocument(const std::string& path);

  ResultsStore& results() { return store_; }
  const ResultsStore& results() const { return store_; }

  const std::string& title() const { return title_; }
  void SetTitle(std::string title) { title_ = std::move(title); }
  // The file the document was last opened from or saved to; empty for a new
  // document and for one that opened with an error. Save uses it; when it is
  // empty the front end asks for a name (Save As).
  const std::string& pathName() const { return pathName_; }

  bool IsModified() const { return modified_; }
  // The view calls this for each change it makes (delete, mark, validate, new results).
  void SetModifiedFlag(bool modified = true) { modified_ = modified; }

 private:
  void SetPathName(const std::string& path);

  ResultsStore store_;
  std::string title_;
  std::string pathName_;
  bool modified_ = false;
};

}  // namespace trovelane
