// DocumentCommands: New, Open, Save and Save As of the main window, the
// question before a modified document is replaced, the four recent files of
// the File menu and files dropped on the window. The window shows what
// changed through DocumentHost.
//
// No command replaces or saves the document while a search runs: results
// still flow into it then.
//
// Threads: user-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <array>
#include <string>
#include <vector>

#include "platform/recent_files.h"
#include "results/results_document.h"
#include "ui/prompts.h"

class QAction;

namespace trovelane::ui {

inline constexpr const char* kSaveChangesQuestion = "Save changes to %s?";

// What the commands need from the window.
class DocumentHost {
 public:
  virtual bool IsSearching() const = 0;
  virtual UserPrompts& Prompts() = 0;
  // The document's content was replaced (New, Open, even a failed Open).
  virtual void DocumentReplaced() = 0;
  // Show the document as an empty one (after New or a failed Open) or as the
  // document just opened.
  virtual void ShowEmptyDocument() = 0;
  virtual void ShowOpenedDocument() = 0;
  // The title or the modified state changed.
  virtual void DocumentTitleChanged() = 0;

 protected:
  ~DocumentHost() = default;
};

class DocumentCommands : public QObject {
  Q_OBJECT

 public:
  // `document` and `host` outlive the commands; `recentListFile` keeps the
  // recent files (read here). Questions and file dialogs are modal over `window`.
  DocumentCommands(CQuivmarkDoc& document, std::string recentListFile, DocumentHost& host,
                   QWidget* window);

  bool New();
  bool Open();  // asks for the file
  bool OpenFile(const QString& path);
  bool Save();
  bool SaveAs();
  // Asks to save a modified document; false when the user cancelled.
  bool SaveModified();
  // Files dropped on the window: the first local one opens. True when one was taken.
  bool OpenDropped(const QList<QUrl>& urls);

  // The File menu's recent-file entries and the separator above them; each
  // opens its file.
  void ConnectRecent(const std::array<QAction*, kRecentFilesMax>& actions, QAction* separator);
  const std::vector<std::string>& recentPaths() const { return recent_.paths(); }

 private:
  void AddRecent(const std::string& path);
  void UpdateRecentMenu();

  QWidget* window_;
  CQuivmarkDoc& document_;
  DocumentHost& host_;
  RecentFiles recent_;
  std::array<QAction*, kRecentFilesMax> recentActions_{};
  QAction* recentSeparator_ = nullptr;
};

}  // namespace trovelane::ui
