// The "Add Search Engine Wizard": seven pages that edit one engine
// definition. The wizard works on its own copy: the controls are loaded from
// the definition when the wizard is made, and copied back into the copy only
// when Finish is accepted. The caller then takes engine() and appends it to
// the catalogue or replaces the edited entry with it.
//
// Finish is refused, with the reason shown, when the definition could not be
// written to a profile so that it reads back the same (a line break in a
// field, a line too long); the user can go back and mend it.
//
// Owner thread: the UI thread.
#pragma once

#include <QWizard>

#include "engines/engine_definition.h"
#include "ui/prompts.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace trovelane::ui {

class EngineWizard : public QWizard {
  Q_OBJECT

 public:
  enum PageId {
    kInfoPage,
    kBooleanPage,
    kFileTypesPage,
    kResultsTypePage,
    kSkipPage,
    kCookiePage,
    kAdvancedPage,
  };

  EngineWizard(const EngineDefinition& engine, UserPrompts& prompts, QWidget* parent = nullptr);

  // The definition with the controls copied back; changed only by Finish.
  const EngineDefinition& engine() const { return engine_; }

  // The preview of page 7 as it stands.
  QString previewText() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWizardPage* MakeInfoPage();
  QWizardPage* MakeBooleanPage();
  QWizardPage* MakeListsPage(bool skipMode);
  QWizardPage* MakeResultsTypePage();
  QWizardPage* MakeCookiePage();
  QWizardPage* MakeAdvancedPage();

  void LoadControls();
  void StoreControls(EngineDefinition& engine) const;
  bool CheckInfoPage();
  void ApplyBooleanEnabling();
  void SyncSpecialParameters();
  void RefillParameters(int selectRow);
  void CheckSeparator();
  bool FinishAdvancedPage();
  void AddParameter();
  void DeleteParameter();
  void MoveParameter(int step);
  void AddLine(QListWidget* list, int mode);

  UserPrompts& prompts_;
  EngineDefinition engine_;
  std::vector<EngineParameter> parameters_;  // page 7's working list
  bool checkingSeparator_ = false;

  // Page 1.
  QLineEdit* name_ = nullptr;
  QButtonGroup* method_ = nullptr;
  QLineEdit* searchUrl_ = nullptr;
  QLineEdit* searchTextId_ = nullptr;
  QLineEdit* resultsPerPage_ = nullptr;
  QLineEdit* resultId_ = nullptr;
  QButtonGroup* technique_ = nullptr;
  QCheckBox* requiresCookies_ = nullptr;
  // Page 2.
  QCheckBox* useBoolean_ = nullptr;
  QLineEdit* andOperator_ = nullptr;
  QLineEdit* orOperator_ = nullptr;
  QLineEdit* notOperator_ = nullptr;
  QLineEdit* exactOperator_ = nullptr;
  // Pages 3 and 5.
  QListWidget* searchedFileTypes_ = nullptr;
  QListWidget* autoAddFileTypes_ = nullptr;
  QListWidget* skippedDomains_ = nullptr;
  QListWidget* skippedUrls_ = nullptr;
  // Page 4.
  QButtonGroup* linkType_ = nullptr;
  QLineEdit* indirectLinkName_ = nullptr;
  QLineEdit* referer_ = nullptr;
  // Page 6.
  QListWidget* cookieUrls_ = nullptr;
  // Page 7.
  QListWidget* parameterList_ = nullptr;
  QPlainTextEdit* preview_ = nullptr;
  QLineEdit* separator_ = nullptr;
};

}  // namespace trovelane::ui
