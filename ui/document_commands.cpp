#include "ui/document_commands.h"

#include <QAction>
#include <QFileInfo>

namespace trovelane::ui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

DocumentCommands::DocumentCommands(CQuivmarkDoc& document, std::string recentListFile,
                                   DocumentHost& host, QWidget* window)
    : QObject(window),
      window_(window),
      document_(document),
      host_(host),
      recent_(std::move(recentListFile)) {
  recent_.Load();
}

bool DocumentCommands::SaveModified() {
  if (!document_.IsModified()) return true;
  const QMessageBox::StandardButton answer = host_.Prompts().YesNoCancel(
      window_, QString::fromUtf8(kSaveChangesQuestion).replace("%s", Q(document_.title())));
  if (answer == QMessageBox::Cancel) return false;
  if (answer == QMessageBox::No) return true;
  return Save();
}

bool DocumentCommands::New() {
  if (host_.IsSearching() || !SaveModified()) return false;
  document_.OnNewDocument();
  document_.SetModifiedFlag(false);
  host_.DocumentReplaced();
  host_.ShowEmptyDocument();
  return true;
}

bool DocumentCommands::Open() {
  if (host_.IsSearching() || !SaveModified()) return false;
  const QString path = host_.Prompts().OpenFileName(
      window_,
      {.caption = QStringLiteral("Open"), .filter = QString::fromUtf8(kDocumentFilterName)});
  if (path.isEmpty()) return false;
  return OpenFile(path);
}

bool DocumentCommands::OpenFile(const QString& path) {
  if (host_.IsSearching()) return false;
  const std::string file = path.toStdString();
  DocumentOpen open = document_.OnOpenDocument(file);
  host_.DocumentReplaced();
  // A document that opened with an error comes back untitled (no path), so
  // Save asks for a name rather than overwrite the damaged original.
  if (!open.status.ok()) host_.Prompts().Inform(window_, Q(open.UserMessage()));
  if (!open.opened()) {
    recent_.Remove(file).IgnoreError();
    UpdateRecentMenu();
    host_.ShowEmptyDocument();
    return false;
  }
  AddRecent(QFileInfo(path).absoluteFilePath().toStdString());
  host_.ShowOpenedDocument();
  return true;
}

bool DocumentCommands::Save() {
  if (host_.IsSearching()) return false;
  if (document_.pathName().empty()) return SaveAs();
  Status status = document_.OnSaveDocument(document_.pathName());
  if (!status.ok()) {
    host_.Prompts().Inform(window_, Q(status.message()));
    return false;
  }
  AddRecent(document_.pathName());
  host_.DocumentTitleChanged();
  return true;
}

bool DocumentCommands::SaveAs() {
  if (host_.IsSearching()) return false;
  // An untitled document suggests its title as the name; a damaged one that
  // opened untitled already carries the extension in its title.
  QString suggested = Q(document_.pathName());
  if (suggested.isEmpty()) {
    suggested = Q(document_.title());
    if (!suggested.endsWith(kDocumentExtension)) suggested += kDocumentExtension;
  }
  QString path =
      host_.Prompts().SaveFileName(window_, {.caption = QStringLiteral("Save As"),
                                             .initialName = suggested,
                                             .filter = QString::fromUtf8(kDocumentFilterName)});
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += kDocumentExtension;
  Status status = document_.OnSaveDocument(path.toStdString());
  if (!status.ok()) {
    host_.Prompts().Inform(window_, Q(status.message()));
    return false;
  }
  AddRecent(QFileInfo(path).absoluteFilePath().toStdString());
  host_.DocumentTitleChanged();
  return true;
}

bool DocumentCommands::OpenDropped(const QList<QUrl>& urls) {
  if (host_.IsSearching()) return false;
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) continue;
    if (SaveModified()) OpenFile(url.toLocalFile());
    return true;
  }
  return false;
}

void DocumentCommands::ConnectRecent(const std::array<QAction*, kRecentFilesMax>& actions,
                                     QAction* separator) {
  recentActions_ = actions;
  recentSeparator_ = separator;
  for (size_t i = 0; i < recentActions_.size(); ++i) {
    connect(recentActions_[i], &QAction::triggered, this, [this, i] {
      if (i < recent_.paths().size() && SaveModified()) OpenFile(Q(recent_.paths()[i]));
    });
  }
  UpdateRecentMenu();
}

void DocumentCommands::AddRecent(const std::string& path) {
  recent_.Add(path).IgnoreError();  // a list that cannot be saved only costs the list
  UpdateRecentMenu();
}

void DocumentCommands::UpdateRecentMenu() {
  if (!recentSeparator_) return;
  const auto& paths = recent_.paths();
  for (size_t i = 0; i < recentActions_.size(); ++i) {
    const bool used = i < paths.size();
    recentActions_[i]->setVisible(used);
    if (used) {
      recentActions_[i]->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(
          QFileInfo(Q(paths[i])).fileName().replace("&", "&&")));
      recentActions_[i]->setStatusTip(Q(paths[i]));
    }
  }
  recentSeparator_->setVisible(!paths.empty());
}

}  // namespace trovelane::ui
