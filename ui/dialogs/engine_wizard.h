// The "Add Search Engine Wizard": eight pages that edit one engine
// definition. The wizard works on its own copy: the controls are loaded from
// the definition when the wizard is made, and copied back into the copy only
// when Finish is accepted. The caller then takes engine() and appends it to
// the catalogue or replaces the edited entry with it.
//
// Finish is refused, with the reason shown, when the definition could not be
// written to a profile so that it reads back the same (a line break in a
// field, a line too long); the user can go back and mend it.
//
// The Result Format page fetches the engine's first answer on a thread of
// its own, so the wizard stays responsive; closing the wizard cancels the
// fetch and the destructor waits for its thread.
//
// Owner thread: the UI thread.
#pragma once

#include <QWizard>
#include <memory>
#include <string>
#include <thread>

#include "engines/engine_definition.h"
#include "search/settings.h"
#include "ui/prompts.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace trovelane {
class CHttpURL;
struct FetchedAnswer;
}  // namespace trovelane

namespace trovelane::ui {

class EngineWizard : public QWizard {
  Q_OBJECT

 public:
  enum PageId {
    kInfoPage,
    kBooleanPage,
    kFileTypesPage,
    kResultsTypePage,
    kResultFormatPage,
    kSkipPage,
    kCookiePage,
    kAdvancedPage,
  };

  EngineWizard(const EngineDefinition& engine, UserPrompts& prompts, QWidget* parent = nullptr);
  ~EngineWizard() override;

  // The proxy, time-outs and User-Agent that "Fetch" uses; the defaults
  // until set.
  void setNetworkSettings(const NetworkSettings& settings) { settings_ = settings; }

  // The definition with the controls copied back; changed only by Finish.
  const EngineDefinition& engine() const { return engine_; }

  // The preview of the Advanced page as it stands.
  QString previewText() const;

  // Closing cancels a fetch still under way.
  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWizardPage* MakeInfoPage();
  QWizardPage* MakeBooleanPage();
  QWizardPage* MakeListsPage(bool skipMode);
  QWizardPage* MakeResultsTypePage();
  QWizardPage* MakeResultFormatPage();
  QWizardPage* MakeCookiePage();
  QWizardPage* MakeAdvancedPage();

  void LoadControls();
  void StoreControls(EngineDefinition& engine) const;
  bool CheckInfoPage();
  void ApplyBooleanEnabling();
  void SyncSpecialParameters();
  std::vector<EngineParameter> SyncedParameters() const;
  void ApplyFormatEnabling();
  void UpdateAnswerPreview();
  void StartFetch();
  void FinishFetch(FetchedAnswer answer);
  void RefillParameters(int selectRow);
  void CheckSeparator();
  bool FinishAdvancedPage();
  void AddParameter();
  void DeleteParameter();
  void MoveParameter(int step);
  void AddLine(QListWidget* list, int mode);

  UserPrompts& prompts_;
  EngineDefinition engine_;
  std::vector<EngineParameter> parameters_;  // the Advanced page's working list
  bool checkingSeparator_ = false;
  NetworkSettings settings_;
  std::unique_ptr<CHttpURL> fetchConnection_;
  std::thread fetchThread_;
  // The bytes of the last fetched answer, read by the preview while the
  // answer box shows them unedited (the box holds text, the answer may be
  // in another encoding or cut for showing).
  std::string fetchedBody_;
  bool answerIsFetched_ = false;

  // Information.
  QLineEdit* name_ = nullptr;
  QButtonGroup* method_ = nullptr;
  QLineEdit* searchUrl_ = nullptr;
  QLineEdit* searchTextId_ = nullptr;
  QLineEdit* resultsPerPage_ = nullptr;
  QLineEdit* resultId_ = nullptr;
  QButtonGroup* technique_ = nullptr;
  QCheckBox* requiresCookies_ = nullptr;
  // Boolean operators.
  QCheckBox* useBoolean_ = nullptr;
  QLineEdit* andOperator_ = nullptr;
  QLineEdit* orOperator_ = nullptr;
  QLineEdit* notOperator_ = nullptr;
  QLineEdit* exactOperator_ = nullptr;
  // File types and skip lists.
  QListWidget* searchedFileTypes_ = nullptr;
  QListWidget* autoAddFileTypes_ = nullptr;
  QListWidget* skippedDomains_ = nullptr;
  QListWidget* skippedUrls_ = nullptr;
  // Results type.
  QButtonGroup* linkType_ = nullptr;
  QLineEdit* indirectLinkName_ = nullptr;
  QLineEdit* referer_ = nullptr;
  // Result Format.
  QButtonGroup* format_ = nullptr;
  QLineEdit* jsonResults_ = nullptr;
  QLineEdit* jsonUrl_ = nullptr;
  QLineEdit* jsonTitle_ = nullptr;
  QLineEdit* jsonSnippet_ = nullptr;
  QPlainTextEdit* answer_ = nullptr;
  QLineEdit* fetchQuery_ = nullptr;
  QPushButton* fetch_ = nullptr;
  QLabel* fetchStatus_ = nullptr;
  QLabel* answerStatus_ = nullptr;
  QListWidget* answerResults_ = nullptr;
  // Cookies.
  QListWidget* cookieUrls_ = nullptr;
  // Advanced.
  QListWidget* parameterList_ = nullptr;
  QPlainTextEdit* preview_ = nullptr;
  QLineEdit* separator_ = nullptr;
};

}  // namespace trovelane::ui
