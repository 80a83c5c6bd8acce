// CMainFrame: the desktop program's main window. It hosts the results view
// and carries the search controls: the tool bar with the profile selector,
// the search bar (expression box with its history, Go, the Expression Wizard
// button, the busy animation) and the status bar with its three panes. It
// owns the document and the window's search run (through SearchBridge), and
// routes the search and document commands to them.
//
// The program-wide state (install folder, settings, catalogue) belongs to
// the caller and outlives the window.
//
// Threads: user-interface thread only. The search run's events arrive here
// through the bridge, on this thread.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/program_state.h"
#include "results/results_document.h"
#include "search/search_events.h"
#include "ui/document_commands.h"
#include "ui/icons.h"
#include "ui/prompts.h"
#include "ui/results_view.h"
#include "platform/version.h"

class QComboBox;
class QLabel;
class QPushButton;
class QToolBar;
class QToolButton;

namespace trovelane::ui {

class CBannerWidget;
class PrintCommands;
class RankCommands;
class WatchCommands;

class CThreadsWindow;
class SearchBridge;

inline constexpr const char* kAboutCaption = "About t r o v e l a n e";
inline constexpr const char* kAboutText = "t r o v e l a n e version " TROVELANE_VERSION;
inline constexpr const char* kWebSitePrompt = "Takes you to the t r o v e l a n e web site.";
inline constexpr const char* kHelpMissing = "The help page of t r o v e l a n e cannot be found.";
inline constexpr const char* kNoEngineSelected = "No engine of the profile is selected.";
inline constexpr const char* kNoEngineAnswered =
    "No engine answered. The \"Last Search\" column of Search Threads tells why for each one.";

// The busy animation: icons 172 to 175, one every 500 ms while searching.
inline constexpr int kFirstBusyIcon = 172;
inline constexpr int kBusyFrames = 4;
inline constexpr int kAnimationPeriodMs = 500;

// Where the main window opens the first time: a share of the screen's
// `available` room, at least its minimum size, centred.
QRect FirstStartGeometry(const QRect& available);

// The settings a search runs with: the saved ones, with a usable limit
// (EffectiveMaxResults).
NetworkSettings EffectiveSearchSettings(const NetworkSettings& saved);

// Pane texts of the status bar.
std::string LimitPaneText(const SearchOptions& options);
std::string ValidationPaneText(int mode, bool searching);

class CMainFrame : public QMainWindow,
                   private SearchEvents,
                   private ViewHost,
                   private DocumentHost {
  Q_OBJECT

 public:
  // `prompts` puts the window's and its dialogs' questions to the user; it
  // outlives the window.
  CMainFrame(ProgramState& state, UserPrompts& prompts, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // --- Commands ---
  void Go();
  void Stop();
  void ToggleThreadsWindow();
  // The document commands (DocumentCommands).
  bool NewDocument() { return documents_->New(); }
  bool OpenDocument() { return documents_->Open(); }
  bool OpenDocumentFile(const QString& path) { return documents_->OpenFile(path); }
  bool SaveDocument() { return documents_->Save(); }
  bool SaveDocumentAs() { return documents_->SaveAs(); }
  bool OpenDroppedFiles(const QList<QUrl>& urls) { return documents_->OpenDropped(urls); }
  bool SaveModified() { return documents_->SaveModified(); }
  void HelpTopics();
  void OpenWebSite();
  // The About box, not yet shown.
  QDialog* CreateAboutBox();
  // The settings changed (a dialog): panes, view options, selector.
  void SettingsChanged();
  // Fills the profile selector from the profile list and selects the current one.
  void FillProfileSelector();
  // The selector's entry `index` becomes the current profile (ignored while searching).
  void SelectProfile(int index);
  // Lets a dialog or print command be used (its code connects the action
  // first). Search Settings, Search Profiles and the print commands stay
  // disabled while a search runs.
  void EnableDialogCommand(QAction* action);
  // Connects and enables the commands that open the settings dialogs and the
  // Expression Wizard.
  void ConnectDialogCommands();
  void EnablePrintCommand(QAction* action) { EnableDialogCommand(action); }

  // --- What the view and the dialogs ask ---
  bool IsSearching() const override;
  QString GetSearchExpressionText() const override;
  void LaunchInBrowser(const std::string& url) override;
  void LaunchInNewBrowserWindow(const std::string& url) override;
  UserPrompts& Prompts() override { return prompts_; }

  // --- Parts, for the dialogs, the banner, printing and tests ---
  ProgramState& state() { return state_; }
  CQuivmarkDoc& document() { return document_; }
  CQuivmarkView* view() { return view_; }
  SearchBridge* bridge() { return bridge_; }
  // Where the search run's events arrive (for benchmarks that feed results).
  SearchEvents& searchEvents() { return *this; }
  QComboBox* expressionBox() { return expressionBox_; }
  QPushButton* goButton() { return goButton_; }
  QToolButton* wizardButton() { return wizardButton_; }
  QLabel* searchLabel() { return searchLabel_; }
  QLabel* animationPicture() { return animation_; }
  QWidget* searchBar() { return searchBar_; }
  QComboBox* profileSelector() { return profileSelector_; }
  QToolBar* toolBar() { return toolBar_; }
  CThreadsWindow* threadsWindow() { return threadsWindow_; }
  QString PaneText(int pane) const;
  int currentIcon() const { return currentIcon_; }
  int resultTotal() const { return resultTotal_; }
  const std::vector<std::string>& recentDocuments() const { return documents_->recentPaths(); }
  // The banner (the banner widget fills the view's top band).
  void SetBannerWidget(QWidget* banner) { view_->SetBannerWidget(banner); }
  CBannerWidget* banner() { return banner_; }
  // The end of start-up: the banner thread fetches the advertisement list
  // (when the build names one) into the install folder.
  void StartBanner();
  PrintCommands* printCommands() { return printCommands_; }
  RankCommands* rankCommands() { return rankCommands_; }
  WatchCommands* watchCommands() { return watchCommands_; }
  // How URLs reach the desktop; tests record them instead.
  std::function<bool(const std::string& url)> openUrl;
  std::function<bool(const std::string& browserPath, const std::string& url)> launchBrowser;
  std::function<bool(const std::string& path)> openHelpFile;
  // Where Help Topics looks for the help page, first found wins.
  std::vector<std::string> helpPages;
  // The wall clock of engine suspensions; tests set their own.
  std::function<WallClock::time_point()> clock = [] { return WallClock::now(); };

  // --- Actions ---
  QAction* newAction;
  QAction* openAction;
  QAction* saveAction;
  QAction* saveAsAction;
  QAction* exitAction;
  QAction* goAction;
  QAction* stopAction;
  QAction* threadsAction;
  QAction* helpTopicsAction;
  QAction* webSiteAction;
  QAction* aboutAction;
  std::array<QAction*, kRecentFilesMax> recentActions{};
  // Printing: made here, disabled; the printing code connects them and calls
  // EnablePrintCommand.
  QAction* printAction;
  QAction* printPreviewAction;
  QAction* printSetupAction;
  // The dialogs: made here, disabled until their dialog connects and calls
  // EnableDialogCommand.
  QAction* searchSettingsAction;
  QAction* searchProfilesAction;
  QAction* internetSettingsAction;
  QAction* resultViewOptionsAction;
  QAction* expressionWizardAction;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // SearchEvents, all on the user-interface thread (see SearchBridge).
  bool OnNewDocument() override;
  void OnSearchHistory(const std::string& normalizedText) override;
  void OnDocumentTitle(const std::string& title) override;
  void OnResult(const ResultHandoff& result) override;
  void OnStatusPane(const std::string& text) override;
  void OnEngineRow(int engineIndex, const std::string& text) override;
  void OnSearchingChanged(bool searching) override;
  void OnSuspensionsChanged() override;

  // The "Last Search" column of every row of the threads window, from the
  // run's reports.
  void ShowEngineEndings();
  void ReportFailedEngines();
  void BrowserFailed(const std::string& url);

  // ViewHost.
  const SearchExpression* ValidationExpression() override;
  const NetworkSettings& Settings() const override { return state_.settings; }
  void ResultsDeleted(int total) override;
  void DocumentEmptied() override;

  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateSearchBar();
  void CreateStatusBar();
  void LayoutSearchBar();
  void AnimationTick();
  void UpdateCommandStates();
  void UpdatePanes();
  void UpdateCaption();
  // Window size and place, the tool bar and the search history, kept in the
  // user's config folder between runs.
  void RestoreWindowHabits();
  void SaveWindowHabits();

  // DocumentHost.
  void DocumentReplaced() override;
  void ShowEmptyDocument() override;
  void ShowOpenedDocument() override;
  void DocumentTitleChanged() override { UpdateCaption(); }
  void OpenThreadsWindow();
  void FillThreadRows();
  void CatalogueChanged();
  void CloseThreadsWindow();
  void SetMessagePane(const QString& text);

  ProgramState& state_;
  NetworkSettings runSettings_;  // what SearchRun reads at each start
  CQuivmarkDoc document_;
  UserPrompts& prompts_;
  DocumentCommands* documents_ = nullptr;

  CQuivmarkView* view_ = nullptr;
  SearchBridge* bridge_ = nullptr;
  CThreadsWindow* threadsWindow_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QComboBox* profileSelector_ = nullptr;
  QWidget* searchBar_ = nullptr;
  QLabel* searchLabel_ = nullptr;
  QComboBox* expressionBox_ = nullptr;
  QToolButton* wizardButton_ = nullptr;
  QPushButton* goButton_ = nullptr;
  QLabel* animation_ = nullptr;
  QLabel* panes_[3] = {};
  CBannerWidget* banner_ = nullptr;
  PrintCommands* printCommands_ = nullptr;
  RankCommands* rankCommands_ = nullptr;
  WatchCommands* watchCommands_ = nullptr;
  QAction* recentSeparator_ = nullptr;

  QTimer animationTimer_;
  int currentIcon_ = kFirstBusyIcon;
  int animationFrame_ = 0;
  int resultTotal_ = 0;
  bool reportsMatchCatalogue_ = false;
  bool stopping_ = false;  // Stop opened the threads window for its length  // the run's reports are of today's engines
  std::vector<std::string> engineStatus_;  // the last text of each engine's row
  std::optional<SearchExpression> documentExpression_;  // parsed from an opened document
  std::vector<QAction*> dialogCommands_;                // enabled by EnableDialogCommand
};

}  // namespace trovelane::ui
