#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLoggingCategory>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTableWidget>
#include <QHeaderView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "engines/profile_list.h"
#include "ui/dialogs/expression_wizard.h"
#include "ui/dialogs/internet_settings_dialog.h"
#include "ui/dialogs/result_view_options_dialog.h"
#include "ui/dialogs/search_profiles_dialog.h"
#include "ui/dialogs/search_settings_dialog.h"
#include "platform/browser_launch.h"
#include "results/html_export.h"
#include "search/search_status.h"
#include "search/search_text.h"
#include "app/ad_list.h"
#include "app/suspension_file.h"
#include "ui/banner.h"
#include "ui/icons.h"
#include "ui/print_commands.h"
#include "ui/rank_commands.h"
#include "ui/watch_commands.h"
#include "ui/search_bridge.h"
#include "ui/threads_window.h"

namespace trovelane::ui {
namespace {

// Every text of the message pane, for a person or a script watching the
// program (QT_LOGGING_RULES="trovelane.status.info=true"); off by default.
Q_LOGGING_CATEGORY(lcStatus, "trovelane.status", QtWarningMsg)

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Expressions the box remembers between runs.
constexpr int kHistoryLimit = 50;

// The window habits (where the windows were and how large, the search
// history) belong to the user, not to the install folder that other
// installs may share: $XDG_CONFIG_HOME/trovelane/trovelane.ini.
std::unique_ptr<QSettings> HabitSettings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                     QStringLiteral("trovelane"), QStringLiteral("trovelane"));
}

// The search bar: its controls are placed by CMainFrame::LayoutSearchBar on
// every size change.
class SearchBarWidget : public QWidget {
 public:
  explicit SearchBarWidget(QWidget* parent) : QWidget(parent) {}
  std::function<void()> onResize;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (onResize) onResize();
  }
};

}  // namespace

QRect FirstStartGeometry(const QRect& available) {
  auto fit = [](int share, int least, int room) { return std::min(std::max(share, least), room); };
  const QSize size(fit(available.width() * 3 / 5, 500, available.width()),
                   fit(available.height() * 7 / 10, 450, available.height()));
  QRect frame(QPoint(), size);
  frame.moveCenter(available.center());
  return frame;
}

NetworkSettings EffectiveSearchSettings(const NetworkSettings& saved) {
  NetworkSettings settings = saved;
  settings.search.maxResults = EffectiveMaxResults(settings.search.maxResults);
  return settings;
}

std::string LimitPaneText(const SearchOptions& options) {
  return "MAX : " + std::to_string(options.maxResults) + " (" +
         (options.perEngine ? "PER ENGINE" : "ALL ENGINES") + ")";
}

std::string ValidationPaneText(int mode, bool searching) {
  switch (mode) {
    case kValidationNone:
      return "NONE";
    case kValidationVal:
      return "VAL";
    case kValidationValRel:
      return "VAL+REL";
    case kValidationAuto:
      return searching ? "NONE" : "AUTO";
  }
  return "NONE";
}

CMainFrame::CMainFrame(ProgramState& state, UserPrompts& prompts, QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      runSettings_(EffectiveSearchSettings(state.settings)),
      prompts_(prompts) {
  setObjectName(QStringLiteral("mainFrame"));
  setWindowIcon(ProgramIcon());
  openUrl = [](const std::string& url) { return OpenUrlWithDesktop(url); };
  launchBrowser = [](const std::string& browser, const std::string& url) {
    return LaunchBrowserProgram(browser, url);
  };
  openHelpFile = [](const std::string& path) { return OpenFileWithDesktop(path); };
  const QString appDir = QCoreApplication::applicationDirPath();
  helpPages = {(appDir + "/../share/doc/trovelane/help.html").toStdString(),
               (appDir + "/../share/doc/trovelane/README.md").toStdString(),
#ifdef TROVELANE_SOURCE_README
               TROVELANE_SOURCE_README,
#endif
  };

  view_ = new CQuivmarkView(document_, *this, this);
  documents_ = new DocumentCommands(document_, state_.home.Resolve(kRecentFilesName), *this, this);
  view_->model()->SetBaseIcon(BrowserIcon());
  // Marks, deletions, sorting and validations change the document as results
  // do. Queued: the model marks the document after it has announced the rows.
  const auto showModified = [this] { setWindowModified(document_.IsModified()); };
  QAbstractItemModel* model = view_->model();
  for (auto changed : {&QAbstractItemModel::rowsRemoved, &QAbstractItemModel::rowsInserted}) {
    connect(model, changed, this, showModified, Qt::QueuedConnection);
  }
  connect(model, &QAbstractItemModel::dataChanged, this, showModified, Qt::QueuedConnection);
  connect(model, &QAbstractItemModel::modelReset, this, showModified, Qt::QueuedConnection);
  bridge_ = new SearchBridge(runSettings_, state_.catalogue, state_.home.root(), *this, this);
  bridge_->run().SetSuspensions(&state_.suspensions);
  bridge_->run().SetClock([this] { return clock(); });
  rankCommands_ = new RankCommands(this, state_, bridge_->run(), *view_, prompts_);
  connect(rankCommands_, &RankCommands::settingsSaved, this, &CMainFrame::SettingsChanged);
  watchCommands_ = new WatchCommands(this, state_, *view_, prompts_);
  connect(watchCommands_, &WatchCommands::runningChanged, this, &CMainFrame::UpdateCommandStates);
  connect(watchCommands_, &WatchCommands::finished, this, &CMainFrame::SetMessagePane);

  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  CreateSearchBar();
  layout->addWidget(searchBar_);
  layout->addWidget(view_, 1);
  setCentralWidget(central);

  banner_ = new CBannerWidget(this);
  SetBannerWidget(banner_);
  // A click on the banner opens its address the way every launch of the window does.
  banner_->SetOpener([this](const std::string& url) {
    if (openUrl) openUrl(url);
  });
  printCommands_ = new PrintCommands(this, document_, searchBar_, this);
  printCommands_->Connect(printAction, printPreviewAction, printSetupAction);
  for (QAction* a : {printAction, printPreviewAction, printSetupAction}) EnableDialogCommand(a);
  ConnectDialogCommands();

  setMinimumSize(500, 450);
  resize(500, 450);
  RestoreWindowHabits();
  setAcceptDrops(true);

  connect(&animationTimer_, &QTimer::timeout, this, &CMainFrame::AnimationTick);
  animationTimer_.start(kAnimationPeriodMs);

  documents_->ConnectRecent(recentActions, recentSeparator_);
  document_.OnNewDocument();
  document_.SetModifiedFlag(false);
  view_->ApplyViewOptions(state_.settings.view);
  FillProfileSelector();
  UpdatePanes();
  SetMessagePane(QString::fromLatin1(kReady));
  UpdateCommandStates();
  UpdateCaption();
  // The user can type an expression at once.
  expressionBox_->setFocus();
  setFocusProxy(expressionBox_);
}

CMainFrame::~CMainFrame() {
  // Stop first, while every part the events reach is still there.
  if (bridge_) bridge_->run().StopSearch();
  CloseThreadsWindow();
  delete bridge_;
  bridge_ = nullptr;
}

// --- Construction ---

void CMainFrame::CreateActions() {
  auto make = [this](const char* text, const char* tip = nullptr) {
    auto* a = new QAction(QString::fromUtf8(text), this);
    if (tip) a->setStatusTip(QString::fromUtf8(tip));
    return a;
  };
  newAction = make("&New", "Create a new document");
  newAction->setShortcut(QKeySequence::New);
  newAction->setIcon(ThemeIcon("document-new", QStyle::SP_FileIcon));
  connect(newAction, &QAction::triggered, this, [this] { NewDocument(); });
  openAction = make("&Open...", "Open an existing document");
  openAction->setShortcut(QKeySequence::Open);
  openAction->setIcon(ThemeIcon("document-open", QStyle::SP_DialogOpenButton));
  connect(openAction, &QAction::triggered, this, [this] { OpenDocument(); });
  saveAction = make("&Save", "Save the active document");
  saveAction->setShortcut(QKeySequence::Save);
  saveAction->setIcon(ThemeIcon("document-save", QStyle::SP_DialogSaveButton));
  connect(saveAction, &QAction::triggered, this, [this] { SaveDocument(); });
  saveAsAction = make("Save &As...", "Save the active document with a new name");
  saveAsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  connect(saveAsAction, &QAction::triggered, this, [this] { SaveDocumentAs(); });
  exitAction = make("E&xit", "Quit the application");
  exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(exitAction, &QAction::triggered, this, &QWidget::close);

  printAction = make("&Print...", "Print the results");
  printAction->setShortcut(QKeySequence::Print);
  printAction->setIcon(ThemeIcon("document-print", QStyle::SP_FileDialogDetailedView));
  printPreviewAction = make("Print Pre&view", "Display full pages");
  printSetupAction = make("P&rint Setup...", "Change the printer and printing options");

  goAction = make("&Go", "Search for the expression");
  goAction->setShortcut(QKeySequence(Qt::Key_F5));  // the same expression again
  connect(goAction, &QAction::triggered, this, &CMainFrame::Go);
  stopAction = make("&Stop", "Stop the search");
  stopAction->setShortcut(QKeySequence(Qt::Key_Escape));
  stopAction->setIcon(ThemeIcon("process-stop", QStyle::SP_BrowserStop));
  connect(stopAction, &QAction::triggered, this, &CMainFrame::Stop);
  threadsAction = make("Search T&hreads", "Show or hide the search threads");
  threadsAction->setCheckable(true);
  threadsAction->setIcon(ThemeIcon("view-list-details", QStyle::SP_FileDialogListView));
  connect(threadsAction, &QAction::triggered, this, &CMainFrame::ToggleThreadsWindow);

  expressionWizardAction = make("&Expression Wizard", "Build a search expression step by step");
  searchSettingsAction = make("&Search Settings...", "Choose engines and search options");
  searchSettingsAction->setIcon(ThemeIcon("preferences-system", QStyle::SP_FileDialogContentsView));
  searchProfilesAction = make("Search &Profiles...", "Manage the search profiles");
  internetSettingsAction = make("&Internet Settings...", "Proxy, connection and browser");
  resultViewOptionsAction = make("&Result View Options...", "The look of the results list");
  for (QAction* a : {expressionWizardAction, searchSettingsAction, searchProfilesAction,
                     internetSettingsAction, resultViewOptionsAction}) {
    a->setEnabled(false);
  }
  for (QAction* a : {printAction, printPreviewAction, printSetupAction}) a->setEnabled(false);

  helpTopicsAction = make("&Help Topics", "Show the help");
  helpTopicsAction->setShortcut(QKeySequence::HelpContents);
  connect(helpTopicsAction, &QAction::triggered, this, &CMainFrame::HelpTopics);
  webSiteAction = make("&trovelane Web Site", kWebSitePrompt);
  connect(webSiteAction, &QAction::triggered, this, &CMainFrame::OpenWebSite);
  aboutAction = make("&About trovelane...", "Program information and version");
  aboutAction->setIcon(ThemeIcon("help-about", QStyle::SP_MessageBoxInformation));
  connect(aboutAction, &QAction::triggered, this, [this] {
    QDialog* box = CreateAboutBox();
    box->exec();
    delete box;
  });

  for (size_t i = 0; i < recentActions.size(); ++i) {
    recentActions[i] = new QAction(this);
    recentActions[i]->setVisible(false);
  }
}

void CMainFrame::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(newAction);
  file->addAction(openAction);
  file->addAction(saveAction);
  file->addAction(saveAsAction);
  file->addAction(view_->saveAsHtmlAction);
  file->addSeparator();
  file->addAction(printAction);
  file->addAction(printPreviewAction);
  file->addAction(printSetupAction);
  recentSeparator_ = file->addSeparator();
  for (QAction* a : recentActions) file->addAction(a);
  file->addSeparator();
  file->addAction(exitAction);

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  edit->addAction(view_->copyAction);
  edit->addAction(view_->deleteAction);
  edit->addAction(view_->deleteAllAction);
  edit->addSeparator();
  edit->addAction(view_->selectAllAction);

  QMenu* search = menuBar()->addMenu(QStringLiteral("&Search"));
  search->addAction(goAction);
  search->addAction(stopAction);
  search->addAction(watchCommands_->searchAgainAction);
  search->addAction(watchCommands_->searchOnOpenAction);
  search->addSeparator();
  search->addAction(expressionWizardAction);
  search->addAction(threadsAction);
  search->addSeparator();
  search->addAction(searchSettingsAction);
  search->addAction(searchProfilesAction);
  search->addAction(internetSettingsAction);
  search->addAction(rankCommands_->optionsAction);

  QMenu* actions = menuBar()->addMenu(QStringLiteral("&Actions"));
  actions->addAction(view_->launchAction);
  actions->addAction(view_->launchNewAction);
  actions->addSeparator();
  actions->addAction(view_->markAction);
  actions->addAction(view_->unmarkAction);
  actions->addAction(view_->validateAction);

  QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
  viewMenu->setObjectName(QStringLiteral("viewMenu"));
  viewMenu->addAction(resultViewOptionsAction);
  viewMenu->addSeparator();
  viewMenu->addAction(rankCommands_->rankOrderAction);
  viewMenu->addAction(rankCommands_->arrivalOrderAction);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(helpTopicsAction);
  help->addAction(webSiteAction);
  help->addSeparator();
  help->addAction(aboutAction);
}

void CMainFrame::CreateToolBar() {
  toolBar_ = addToolBar(QStringLiteral("Toolbar"));
  toolBar_->setObjectName(QStringLiteral("toolBar"));
  toolBar_->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
  toolBar_->setIconSize(QSize(16, 16));
  toolBar_->addAction(newAction);
  toolBar_->addAction(openAction);
  toolBar_->addAction(saveAction);
  toolBar_->addAction(printAction);
  toolBar_->addSeparator();
  toolBar_->addAction(stopAction);
  toolBar_->addAction(threadsAction);
  toolBar_->addSeparator();
  view_->copyAction->setIcon(ThemeIcon("edit-copy", CopyIcon()));
  view_->deleteAction->setIcon(ThemeIcon("edit-delete", QStyle::SP_TrashIcon));
  view_->deleteAllAction->setIcon(ThemeIcon("edit-clear", QStyle::SP_DialogResetButton));
  toolBar_->addAction(view_->copyAction);
  toolBar_->addAction(view_->deleteAction);
  toolBar_->addAction(view_->deleteAllAction);
  toolBar_->addSeparator();

  // The profile selector, 150 pixels wide, in the icon-title font.
  profileSelector_ = new QComboBox(toolBar_);
  profileSelector_->setObjectName(QStringLiteral("profileSelector"));
  profileSelector_->setFixedWidth(150);
  profileSelector_->setEditable(false);
  profileSelector_->setToolTip(QStringLiteral("Search profile"));
  profileSelector_->setFont(QFontDatabase::systemFont(QFontDatabase::TitleFont));
  connect(profileSelector_, &QComboBox::activated, this, &CMainFrame::SelectProfile);
  toolBar_->addWidget(profileSelector_);
  toolBar_->addAction(searchSettingsAction);
  toolBar_->addSeparator();
  toolBar_->addAction(aboutAction);
}

void CMainFrame::CreateSearchBar() {
  auto* bar = new SearchBarWidget(this);
  bar->setObjectName(QStringLiteral("searchBar"));
  searchBar_ = bar;
  searchLabel_ = new QLabel(QStringLiteral("Search"), bar);
  searchLabel_->adjustSize();

  expressionBox_ = new QComboBox(bar);
  expressionBox_->setObjectName(QStringLiteral("expressionBox"));
  expressionBox_->setEditable(true);
  expressionBox_->setInsertPolicy(QComboBox::NoInsert);
  expressionBox_->setMaxVisibleItems(20);
  // Enter in the box starts the search like Go. Taken here, before the box
  // (which has the focus and hands keys on to its edit field) sees it: the
  // edit field's own returnPressed would come twice for one key.
  expressionBox_->installEventFilter(this);
  expressionBox_->lineEdit()->installEventFilter(this);

  wizardButton_ = new QToolButton(bar);
  wizardButton_->setObjectName(QStringLiteral("wizardButton"));
  // The button copies its action's icon and tool tip on every change of the
  // action (enabling too), so the picture and the tip belong to the action.
  expressionWizardAction->setIcon(WizardIcon());
  expressionWizardAction->setToolTip(QStringLiteral("Wizard"));
  wizardButton_->setDefaultAction(expressionWizardAction);
  wizardButton_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  wizardButton_->setIconSize(QSize(20, 20));
  wizardButton_->setAutoRaise(false);

  goButton_ = new QPushButton(QStringLiteral("&Go"), bar);
  goButton_->setObjectName(QStringLiteral("goButton"));
  connect(goButton_, &QPushButton::clicked, this, &CMainFrame::Go);

  animation_ = new QLabel(bar);
  animation_->setObjectName(QStringLiteral("animation"));
  animation_->setPixmap(BusyIcon(0, devicePixelRatioF()));
  animation_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  const int height =
      std::max({expressionBox_->sizeHint().height(), goButton_->sizeHint().height(), 32}) + 8;
  bar->setFixedHeight(height);
  bar->onResize = [this] { LayoutSearchBar(); };
}

// Places the controls of the search bar: the box takes nine tenths of the
// room left beside the label, the Go button one tenth; each control keeps
// its height, centred in the bar.
void CMainFrame::LayoutSearchBar() {
  const int barWidth = searchBar_->width();
  const int barHeight = searchBar_->height();
  const int labelWidth = searchLabel_->sizeHint().width();
  const int avail = barWidth - labelWidth - 85;
  if (avail < 1) return;
  const int boxWidth = static_cast<int>(std::lround(avail * 0.9));
  const int buttonWidth = static_cast<int>(std::lround(avail * 0.1));
  auto centred = [barHeight](int h) { return (barHeight - h) / 2; };

  const int labelHeight = searchLabel_->sizeHint().height();
  searchLabel_->setGeometry(3, centred(labelHeight), labelWidth, labelHeight);
  const int boxHeight = expressionBox_->sizeHint().height();
  expressionBox_->setGeometry(labelWidth + 5, centred(boxHeight), boxWidth, boxHeight);
  const int goHeight = goButton_->sizeHint().height();
  wizardButton_->setGeometry(labelWidth + boxWidth + 10, centred(goHeight), 32, goHeight);
  goButton_->setGeometry(labelWidth + boxWidth + 47, centred(goHeight), buttonWidth, goHeight);
  animation_->setGeometry(barWidth - 32, centred(32), buttonWidth, 32);
  animation_->setPixmap(BusyIcon(currentIcon_ - kFirstBusyIcon, devicePixelRatioF()));
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  for (int i = 0; i < 3; ++i) {
    panes_[i] = new QLabel(bar);
    panes_[i]->setObjectName(QStringLiteral("pane%1").arg(i));
  }
  panes_[0]->setMinimumWidth(1);
  bar->addWidget(panes_[0], 1);
  bar->addPermanentWidget(panes_[1]);
  bar->addPermanentWidget(panes_[2]);
  panes_[1]->setText(QStringLiteral("MAX : 999999 from all engines"));
  panes_[2]->setText(QStringLiteral("VAL+REL"));
}

// --- Status bar ---

QString CMainFrame::PaneText(int pane) const {
  return pane >= 0 && pane < 3 ? panes_[pane]->text() : QString();
}

void CMainFrame::SetMessagePane(const QString& text) {
  if (panes_[0]->text() != text) qCInfo(lcStatus).noquote() << "status:" << text;
  panes_[0]->setText(text);
}

void CMainFrame::StartBanner() {
  banner_->StartDownload(DefaultAdListUrl(), state_.settings, state_.home.root());
}

void CMainFrame::UpdatePanes() {
  const bool searching = IsSearching();
  panes_[1]->setText(Q(LimitPaneText(searching ? runSettings_.search
                                                : EffectiveSearchSettings(state_.settings).search)));
  const int mode = searching ? bridge_->run().effectiveValidationMode()
                             : state_.settings.search.validationMode;
  panes_[2]->setText(Q(ValidationPaneText(mode, searching)));
}

// The framework's message texts: menu and tool bar help, and an empty text
// (the idle text) when the pointer leaves them. The idle text is "Ready", or
// the result count when there are results.
bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == expressionBox_ || watched == expressionBox_->lineEdit()) &&
      event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      Go();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

bool CMainFrame::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    if (!tip.isEmpty()) {
      SetMessagePane(tip);
    } else {
      SetMessagePane(resultTotal_ > 0 ? Q(FormatResultsFound(resultTotal_))
                                      : QString::fromLatin1(kReady));
    }
    return true;
  }
  return QMainWindow::event(event);
}

void CMainFrame::AnimationTick() {
  if (!IsSearching()) return;  // the picture keeps its last icon
  currentIcon_ = kFirstBusyIcon + animationFrame_;
  animationFrame_ = (animationFrame_ + 1) % kBusyFrames;
  animation_->setPixmap(BusyIcon(currentIcon_ - kFirstBusyIcon, devicePixelRatioF()));
}

// --- Command availability ---

bool CMainFrame::IsSearching() const { return bridge_ && bridge_->run().searching(); }

void CMainFrame::UpdateCommandStates() {
  watchCommands_->SetWindowSearching(IsSearching());
  // A Search Again locks the document as a search does.
  const bool searching = IsSearching() || watchCommands_->running();
  stopAction->setEnabled(searching);
  goAction->setEnabled(!watchCommands_->running());
  goButton_->setEnabled(!searching);
  profileSelector_->setEnabled(!searching);
  // A document may be neither replaced nor saved while results flow into it.
  for (QAction* a : {saveAction, saveAsAction, newAction, openAction}) a->setEnabled(!searching);
  for (QAction* a : recentActions) a->setEnabled(!searching);
  for (QAction* a : dialogCommands_) {
    const bool locked = a == searchSettingsAction || a == searchProfilesAction ||
                        a == printAction || a == printPreviewAction || a == printSetupAction;
    a->setEnabled(!(locked && searching));
  }
}

void CMainFrame::EnableDialogCommand(QAction* action) {
  if (std::find(dialogCommands_.begin(), dialogCommands_.end(), action) == dialogCommands_.end()) {
    dialogCommands_.push_back(action);
  }
  UpdateCommandStates();
}

// UI thread. Each dialog works on the program's state; what it changes
// reaches the window through its signal when its OK has saved.
void CMainFrame::ConnectDialogCommands() {
  connect(searchSettingsAction, &QAction::triggered, this, [this] {
    if (IsSearching()) return;
    SearchSettingsDialog dialog(state_, prompts_, this);
    connect(&dialog, &SearchSettingsDialog::settingsSaved, this, &CMainFrame::SettingsChanged);
    dialog.exec();
    // Engines may have been added, removed or (de)selected even on Cancel.
    CatalogueChanged();
    UpdatePanes();
  });
  connect(internetSettingsAction, &QAction::triggered, this, [this] {
    InternetSettingsDialog dialog(state_, prompts_, {}, this);
    connect(&dialog, &InternetSettingsDialog::settingsSaved, this, &CMainFrame::SettingsChanged);
    dialog.exec();
  });
  connect(searchProfilesAction, &QAction::triggered, this, [this] {
    if (IsSearching()) return;
    SearchProfilesDialog dialog(state_, prompts_, this);
    connect(&dialog, &SearchProfilesDialog::profilesChanged, this, [this] {
      CatalogueChanged();
      FillProfileSelector();
      UpdatePanes();
    });
    dialog.exec();
  });
  connect(resultViewOptionsAction, &QAction::triggered, this, [this] {
    ResultViewOptionsDialog dialog(state_, prompts_, this);
    connect(&dialog, &ResultViewOptionsDialog::viewOptionsChanged, this,
            [this](const ViewOptions& options) { view_->ApplyViewOptions(options); });
    dialog.exec();
  });
  connect(expressionWizardAction, &QAction::triggered, this, [this] {
    if (IsSearching()) return;
    const std::optional<QString> text = RunExpressionWizard(prompts_, this);
    if (!text) return;
    expressionBox_->setCurrentText(*text);
    Go();
  });
  for (QAction* a : {expressionWizardAction, searchSettingsAction, searchProfilesAction,
                     internetSettingsAction, resultViewOptionsAction}) {
    EnableDialogCommand(a);
  }
}

void CMainFrame::SettingsChanged() {
  if (!IsSearching()) runSettings_ = EffectiveSearchSettings(state_.settings);
  view_->ApplyViewOptions(state_.settings.view);
  UpdatePanes();
}

// --- Search ---

void CMainFrame::Go() {
  if (IsSearching()) return;
  const auto& engines = state_.catalogue.engines;
  if (std::none_of(engines.begin(), engines.end(),
                   [](const EngineDefinition& e) { return e.selected; })) {
    SetMessagePane(QString::fromUtf8(kNoEngineSelected));
    prompts_.Inform(this, QString::fromUtf8(kNoEngineSelected));
    return;
  }
  runSettings_ = EffectiveSearchSettings(state_.settings);
  engineStatus_.assign(state_.catalogue.engines.size(), std::string());
  const StartOutcome outcome = bridge_->run().StartSearch(GetSearchExpressionText().toStdString());
  switch (outcome) {
    case StartOutcome::kInvalidExpression:
      prompts_.Inform(this, QString::fromUtf8(kInvalidExpression));
      break;
    case StartOutcome::kNothingToSearch:
      prompts_.Inform(this, QString::fromUtf8(kNothingToSearch));
      break;
    case StartOutcome::kStartFailed:
      prompts_.Inform(this, Q(bridge_->run().startError()));
      break;
    case StartOutcome::kStarted:
      reportsMatchCatalogue_ = true;
      animationFrame_ = 0;
      documentExpression_.reset();
      break;
    default:
      break;
  }
  UpdateCommandStates();
  UpdatePanes();
}

void CMainFrame::Stop() {
  watchCommands_->Stop();
  if (!IsSearching()) return;
  // The threads window shows the engines being stopped; it closes again
  // afterwards when it was not open before.
  const bool wasOpen = threadsWindow_ != nullptr;
  stopping_ = !wasOpen;
  if (!wasOpen) {
    OpenThreadsWindow();
    threadsWindow_->repaint();
  }
  bridge_->run().StopSearch();
  if (!wasOpen) {
    activateWindow();
    CloseThreadsWindow();
  }
  stopping_ = false;
  UpdateCommandStates();
  UpdatePanes();
}

QString CMainFrame::GetSearchExpressionText() const { return expressionBox_->currentText(); }

// User-interface thread (StartSearch): the new, empty document of a search.
bool CMainFrame::OnNewDocument() {
  if (!SaveModified()) return false;
  document_.OnNewDocument();
  document_.SetModifiedFlag(false);
  view_->OnDocumentReplaced();
  resultTotal_ = 0;
  UpdateCaption();
  return true;
}

// User-interface thread (StartSearch).
void CMainFrame::OnSearchHistory(const std::string& normalizedText) {
  const QString text = Q(normalizedText);
  if (expressionBox_->findText(text, Qt::MatchStartsWith) < 0) {
    expressionBox_->insertItem(0, text);
  }
  expressionBox_->setEditText(text);
}

// User-interface thread (StartSearch).
void CMainFrame::OnDocumentTitle(const std::string& title) {
  document_.SetTitle(title);
  UpdateCaption();
}

// User-interface thread, from a drain, while the worker waits.
void CMainFrame::OnResult(const ResultHandoff& result) {
  view_->OnSearchResult(result);
  resultTotal_ = bridge_->run().resultTotal();
  UpdateCaption();
}

// User-interface thread.
void CMainFrame::OnStatusPane(const std::string& text) {
  if (IsSearching()) resultTotal_ = bridge_->run().resultTotal();
  SetMessagePane(Q(text));
}

// User-interface thread.
void CMainFrame::OnEngineRow(int engineIndex, const std::string& text) {
  if (engineIndex < 0) return;
  if (static_cast<size_t>(engineIndex) >= engineStatus_.size()) engineStatus_.resize(engineIndex + 1);
  engineStatus_[engineIndex] = text;
  if (!threadsWindow_) return;
  if (text == kTryingToStop) threadsWindow_->SelectThreadRow(engineIndex);
  threadsWindow_->SetThreadStatus(engineIndex, Q(text));
  // An engine that ended has its report now.
  const auto& reports = bridge_->run().engineReports();
  if (reportsMatchCatalogue_ && static_cast<size_t>(engineIndex) < reports.size() &&
      reports[engineIndex].ending != EngineEnding::kNotRun) {
    threadsWindow_->SetThreadEnding(engineIndex, Q(EngineSummary(reports[engineIndex])));
  }
}

// User-interface thread.
void CMainFrame::OnSearchingChanged(bool searching) {
  if (!searching) resultTotal_ = document_.results().count();
  if (!searching) ReportFailedEngines();
  ShowEngineEndings();
  UpdateCommandStates();
  UpdatePanes();
}

// User-interface thread: an engine was suspended after a block; the list is
// kept in the install folder for the next runs.
void CMainFrame::OnSuspensionsChanged() {
  Status saved = SaveSuspensions(state_.SuspensionFile(), state_.suspensions, clock());
  if (!saved.ok()) SetMessagePane(Q(saved.message()));
}

// The end of a search: engines that failed are counted in the message pane
// (each one's reason is in the threads window's "Last Search" column), and a
// search no engine answered is said in a message as well. A search the user
// stopped needs neither.
void CMainFrame::ReportFailedEngines() {
  int ran = 0;
  int failed = 0;
  int answered = 0;
  for (const EngineReport& report : bridge_->run().engineReports()) {
    if (report.ending == EngineEnding::kNotRun) continue;
    if (report.ending == EngineEnding::kStopped) return;
    ++ran;
    if (report.reached || report.results > 0) ++answered;
    if (report.ending != EngineEnding::kDone && report.ending != EngineEnding::kLimit) ++failed;
  }
  if (ran == 0 || failed == 0) return;
  if (answered == 0 && resultTotal_ == 0) {
    SetMessagePane(QString::fromUtf8(kNoEngineAnswered));
    // Posted: the end of a search arrives inside a drain of the run's queue.
    QTimer::singleShot(0, this,
                       [this] { prompts_.Inform(this, QString::fromUtf8(kNoEngineAnswered)); });
    return;
  }
  SetMessagePane(QStringLiteral("%1 of %2 engines failed; Search Threads tells why.")
                     .arg(failed)
                     .arg(ran));
}

void CMainFrame::ShowEngineEndings() {
  if (!threadsWindow_) return;
  static const std::vector<EngineReport> kNone;
  const auto& reports = reportsMatchCatalogue_ ? bridge_->run().engineReports() : kNone;
  for (int row = 0; row < threadsWindow_->RowCount(); ++row) {
    const bool ended = static_cast<size_t>(row) < reports.size() &&
                       reports[row].ending != EngineEnding::kNotRun &&
                       !bridge_->run().workers().Find(row);
    threadsWindow_->SetThreadEnding(row, ended ? Q(EngineSummary(reports[row])) : QString());
  }
}

// --- Threads window ---

void CMainFrame::ToggleThreadsWindow() {
  if (threadsWindow_) {
    CloseThreadsWindow();
  } else {
    OpenThreadsWindow();
  }
}

void CMainFrame::OpenThreadsWindow() {
  if (threadsWindow_) return;
  threadsWindow_ = new CThreadsWindow(this);
  threadsWindow_->setWindowIcon(windowIcon());
  connect(threadsWindow_, &CThreadsWindow::closed, this, [this] { CloseThreadsWindow(); });
  // No wider than the main window, centred over it.
  threadsWindow_->resize(std::min(threadsWindow_->width(), std::max(width(), 420)),
                         threadsWindow_->height());
  const QRect frame = geometry();
  threadsWindow_->move(frame.center() - threadsWindow_->rect().center());
  const auto habits = HabitSettings();
  threadsWindow_->restoreGeometry(habits->value(QStringLiteral("ThreadsWindow/geometry")).toByteArray());
  threadsWindow_->show();
  FillThreadRows();
  threadsWindow_->list()->horizontalHeader()->restoreState(
      habits->value(QStringLiteral("ThreadsWindow/columns")).toByteArray());
  threadsAction->setChecked(true);
}

// One row per engine of the current catalogue, so that a profile switched
// while the window is open shows the new engines, in their order.
void CMainFrame::FillThreadRows() {
  if (!threadsWindow_) return;
  threadsWindow_->ClearRows();
  const WorkerList& workers = bridge_->run().workers();
  const WallClock::time_point now = clock();
  for (size_t i = 0; i < state_.catalogue.engines.size(); ++i) {
    const EngineDefinition& engine = state_.catalogue.engines[i];
    std::string status;
    if (!engine.selected) {
      status = kNotSelected;
    } else if (workers.Find(static_cast<int>(i))) {
      status = i < engineStatus_.size() ? engineStatus_[i] : std::string();
    } else if (const Suspension* s = state_.suspensions.Active(engine.name, now)) {
      status = SuspendedText(*s);
    } else {
      status = kNotActive;
    }
    threadsWindow_->AddThreadRow(Q(engine.name), Q(status));
  }
  threadsWindow_->FitNameColumn();
  ShowEngineEndings();
}

// The engines of the catalogue changed (another profile, the settings
// dialogs): earlier statuses and reports belong to other rows now.
void CMainFrame::CatalogueChanged() {
  engineStatus_.assign(state_.catalogue.engines.size(), std::string());
  reportsMatchCatalogue_ = false;
  FillThreadRows();
}

void CMainFrame::CloseThreadsWindow() {
  if (!threadsWindow_) return;
  CThreadsWindow* window = threadsWindow_;
  threadsWindow_ = nullptr;
  // Stop opens and closes the window by itself; only the user's window is
  // remembered.
  if (!stopping_) {
    const auto habits = HabitSettings();
    habits->setValue(QStringLiteral("ThreadsWindow/geometry"), window->saveGeometry());
    habits->setValue(QStringLiteral("ThreadsWindow/columns"),
                     window->list()->horizontalHeader()->saveState());
  }
  window->disconnect(this);
  window->hide();
  window->deleteLater();
  threadsAction->setChecked(false);
}

// --- Profiles ---

void CMainFrame::FillProfileSelector() {
  std::vector<SearchProfile> profiles;
  const int current = ReadProfileList(state_.ProfileListFile(), profiles, state_.currentProfilePath);
  profileSelector_->clear();
  for (const SearchProfile& p : profiles) profileSelector_->addItem(Q(p.name), Q(p.path));
  profileSelector_->setCurrentIndex(current);
}

void CMainFrame::SelectProfile(int index) {
  if (IsSearching() || index < 0) return;
  std::vector<SearchProfile> profiles;
  ReadProfileList(state_.ProfileListFile(), profiles, state_.currentProfilePath);
  if (index >= static_cast<int>(profiles.size())) return;
  std::string selectedPath;
  Status saved = WriteProfileList(state_.ProfileListFile(), profiles, index, selectedPath);
  if (!saved.ok()) {
    prompts_.Inform(this, Q(saved.message()));
  } else {
    state_.currentProfilePath = selectedPath;
  }
  state_.catalogue = EngineCatalogue{};
  const std::string file = state_.CurrentProfileFile();
  // A profile that cannot be opened leaves the catalogue empty, which the
  // engine list then shows.
  if (!file.empty()) LoadProfile(file, state_.catalogue).IgnoreError();
  CatalogueChanged();
  FillProfileSelector();
}

// --- Documents ---

void CMainFrame::UpdateCaption() {
  watchCommands_->ShowDocumentOption();
  // "[*]" becomes the desktop's mark of unsaved changes while there are some.
  setWindowTitle(QString::fromUtf8(kDocumentWindowTitle) + " - " + Q(document_.title()) + "[*]");
  setWindowModified(document_.IsModified());
}

void CMainFrame::RestoreWindowHabits() {
  const auto habits = HabitSettings();
  if (!restoreGeometry(habits->value(QStringLiteral("MainWindow/geometry")).toByteArray())) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      setGeometry(FirstStartGeometry(screen->availableGeometry()));
    }
  }
  restoreState(habits->value(QStringLiteral("MainWindow/state")).toByteArray());
  const QStringList history = habits->value(QStringLiteral("Search/history")).toStringList();
  for (const QString& text : history.mid(0, kHistoryLimit)) expressionBox_->addItem(text);
  expressionBox_->setEditText(QString());
}

void CMainFrame::SaveWindowHabits() {
  const auto habits = HabitSettings();
  habits->setValue(QStringLiteral("MainWindow/geometry"), saveGeometry());
  habits->setValue(QStringLiteral("MainWindow/state"), saveState());
  QStringList history;
  for (int i = 0; i < expressionBox_->count() && i < kHistoryLimit; ++i) {
    history << expressionBox_->itemText(i);
  }
  habits->setValue(QStringLiteral("Search/history"), history);
}

// New, Open: the view shows the new content; an expression parsed from the
// document before belongs to the old one.
void CMainFrame::DocumentReplaced() {
  documentExpression_.reset();
  view_->OnDocumentReplaced();
}

void CMainFrame::ShowEmptyDocument() {
  resultTotal_ = 0;
  SetMessagePane(QString::fromLatin1(kReady));
  UpdateCaption();
}

// An opened document is shown: its search text goes into the expression
// box, and the result count to the status bar.
void CMainFrame::ShowOpenedDocument() {
  const std::string& searchText = document_.results().searchText();
  expressionBox_->setEditText(Q(searchText));
  // Validate scores against the document's search when no search ran yet.
  if (!bridge_->run().expression() && !searchText.empty()) {
    documentExpression_ = ParseExpression(
        NormalizeSearchText(searchText, state_.settings.search.defaultOperator));
    if (!documentExpression_) prompts_.Inform(this, QString::fromUtf8(kInvalidExpression));
  }
  resultTotal_ = document_.results().count();
  SetMessagePane(resultTotal_ > 0 ? Q(FormatResultsFound(resultTotal_))
                                  : QString::fromLatin1(kReady));
  UpdateCaption();
  watchCommands_->DocumentOpened();
}

const SearchExpression* CMainFrame::ValidationExpression() {
  if (const SearchExpression* e = bridge_->run().expression()) return e;
  if (documentExpression_) return &*documentExpression_;
  const std::string& searchText = document_.results().searchText();
  if (!searchText.empty()) {
    documentExpression_ = ParseExpression(
        NormalizeSearchText(searchText, state_.settings.search.defaultOperator));
  }
  if (!documentExpression_) {
    prompts_.Inform(this, QString::fromUtf8(kInvalidExpression));
    return nullptr;
  }
  return &*documentExpression_;
}

// Delete: the total is the rows left.
void CMainFrame::ResultsDeleted(int total) {
  resultTotal_ = total;
  SetMessagePane(total == 0 ? QString::fromLatin1(kReady) : Q(FormatResultsFound(total)));
}

// Delete All: the document is a new one now.
void CMainFrame::DocumentEmptied() {
  resultTotal_ = 0;
  documentExpression_.reset();
  SetMessagePane(QString::fromLatin1(kReady));
  UpdateCaption();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !IsSearching()) event->acceptProposedAction();
}

// A file dropped on the window opens like File Open (the first local file).
void CMainFrame::dropEvent(QDropEvent* event) {
  if (OpenDroppedFiles(event->mimeData()->urls())) event->acceptProposedAction();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!SaveModified()) {
    event->ignore();
    return;
  }
  bridge_->run().StopSearch();
  CloseThreadsWindow();
  SaveWindowHabits();
  event->accept();
}

// --- Browser and help ---

void CMainFrame::LaunchInBrowser(const std::string& url) {
  if (!openUrl(url)) BrowserFailed(url);
}

void CMainFrame::BrowserFailed(const std::string& url) {
  const QString text = QStringLiteral("No web browser could be started for %1.").arg(Q(url));
  SetMessagePane(text);
  prompts_.Inform(this, text);
}

void CMainFrame::LaunchInNewBrowserWindow(const std::string& url) {
  const std::string& browser = state_.settings.proxy.browserPath;
  // Without a configured browser the desktop's handler opens the page.
  const bool started = browser.empty() ? openUrl(url) : launchBrowser(browser, url);
  if (!started) BrowserFailed(url);
}

void CMainFrame::OpenWebSite() { LaunchInBrowser(kProductWebAddress); }

void CMainFrame::HelpTopics() {
  for (const std::string& page : helpPages) {
    if (QFileInfo::exists(Q(page))) {
      const QString path = QFileInfo(Q(page)).absoluteFilePath();
      if (!openHelpFile(path.toStdString())) {
        prompts_.Inform(
            this,
            QStringLiteral("No program could be started to show the help page %1.").arg(path));
      }
      return;
    }
  }
  prompts_.Inform(this, QString::fromUtf8(kHelpMissing));
}

QDialog* CMainFrame::CreateAboutBox() {
  auto* box = new QMessageBox(this);
  box->setObjectName(QStringLiteral("aboutBox"));
  box->setWindowTitle(QString::fromUtf8(kAboutCaption));
  box->setIconPixmap(windowIcon().pixmap(48, 48));
  box->setText(QString::fromUtf8(kAboutText));
  box->setStandardButtons(QMessageBox::Ok);
  return box;
}

}  // namespace trovelane::ui
