// trovelane-screenshots OUTDIR: draws each dialog of the desktop program, as
// a user first sees it, into OUTDIR/<name>.png, with the title bar of the
// window manager when one runs (so that a cut caption shows). The dialogs work on a scratch
// install folder seeded like a first start, so nothing of the user's own
// settings is read or shown.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/program_state.h"
#include "engines/profile.h"
#include "search/engine_report.h"
#include "search/engine_suspension.h"
#include "search/search_status.h"
#include "tools/sample_engines/sample_server.h"
#include "ui/dialogs/add_engine_dialog.h"
#include "ui/dialogs/engine_wizard.h"
#include "ui/dialogs/expression_wizard.h"
#include "ui/dialogs/internet_settings_dialog.h"
#include "ui/dialogs/name_value_dialog.h"
#include "ui/dialogs/option_pages.h"
#include "ui/dialogs/rank_options_dialog.h"
#include "ui/dialogs/result_view_options_dialog.h"
#include "ui/dialogs/search_profiles_dialog.h"
#include "ui/dialogs/search_settings_dialog.h"
#include "ui/main_window.h"
#include "ui/rank_commands.h"
#include "ui/results_model.h"
#include "ui/threads_window.h"
#include "ui/watch_commands.h"

namespace {

using namespace trovelane;
using namespace trovelane::ui;

bool Save(QWidget& widget, const QString& folder, const QString& name) {
  widget.show();
  widget.activateWindow();
  // Let the window system map and paint the window before it is drawn.
  for (int i = 0; i < 20; ++i) {
    QApplication::processEvents();
    QThread::msleep(10);
  }
  QString path = QDir(folder).filePath(name + ".png");
  // The screen's pixels under the window's frame, title bar included; the
  // widget's own drawing where the screen cannot be read.
  const QRect frame = widget.frameGeometry();
  QPixmap shot;
  if (QScreen* screen = widget.screen()) {
    shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  }
  if (shot.isNull()) shot = widget.grab();
  bool ok = shot.save(path);
  std::printf("%s %s\n", ok ? "wrote" : "could not write", path.toLocal8Bit().constData());
  widget.hide();
  return ok;
}

// The first page as it looks while a loopback sample engine is entered.
void FillSampleEngine(EngineWizard& wizard) {
  wizard.findChild<QLineEdit*>("name")->setText("Sample offset0");
  wizard.findChild<QLineEdit*>("searchUrl")->setText("http://127.0.0.1:8080/offset0/search");
  wizard.findChild<QLineEdit*>("searchTextId")->setText("q");
  wizard.findChild<QLineEdit*>("resultsPerPage")->setText("10");
  wizard.findChild<QLineEdit*>("resultId")->setText("start");
  wizard.findChild<QRadioButton*>("get")->setChecked(true);
  wizard.findChild<QRadioButton*>("technique0")->setChecked(true);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: trovelane-screenshots OUTDIR\n");
    return 2;
  }
  QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  QTemporaryDir home;
  ProgramState state;
  StartUpOptions options;
  options.home = home.path().toStdString();
  options.detectBrowser = [] { return std::string("/usr/bin/firefox"); };
  if (Status started = StartUp(options, state); !started.ok()) {
    std::fprintf(stderr, "%s\n", started.message().c_str());
    return 1;
  }

  // The program's own message boxes and file dialogs, should a dialog ask.
  DesktopPrompts prompts;
  bool ok = true;
  {
    EngineWizard wizard{EngineDefinition{}, prompts};
    FillSampleEngine(wizard);
    ok &= Save(wizard, out, "wizard");
    for (int page = 1; page < 8; ++page) {
      wizard.show();
      wizard.next();
      ok &= Save(wizard, out, QString("wizard-page%1").arg(page + 1));
    }
  }
  {
    // The Result Format page of the Crossref engine of the research
    // profile, with a real answer of its API pasted and previewed.
    EngineCatalogue research;
    if (Status loaded = LoadProfile(TROVELANE_SOURCE_DIR "/data/research.prf", research);
        !loaded.ok()) {
      std::fprintf(stderr, "%s\n", loaded.message().c_str());
      return 1;
    }
    EngineDefinition crossref;
    for (const EngineDefinition& e : research.engines) {
      if (e.name == "Crossref") crossref = e;
    }
    QFile answer(TROVELANE_SOURCE_DIR "/tests/support/api_captures/crossref/ecology_rows2.json");
    if (crossref.name.empty() || !answer.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "no Crossref engine or answer to show\n");
      return 1;
    }
    EngineWizard wizard{crossref, prompts};
    wizard.show();
    while (wizard.currentId() != EngineWizard::kResultFormatPage) wizard.next();
    wizard.findChild<QPlainTextEdit*>("answer")->setPlainText(QString::fromUtf8(answer.readAll()));
    ok &= Save(wizard, out, "wizard-result-format");
  }
  {
    SearchSettingsDialog dialog(state, prompts);
    ok &= Save(dialog, out, "search-settings");
    const char* tabs[] = {"results", "validation", "boolean", "duplicates", "relevance"};
    for (int tab = 1; tab < 5; ++tab) {
      dialog.optionsSheet()->setCurrentIndex(tab);
      ok &= Save(dialog, out, QString("search-settings-") + tabs[tab]);
    }
  }
  {
    AddEngineDialog dialog;
    ok &= Save(dialog, out, "add-engine");
    PluginInformationDialog plugin(prompts);
    ok &= Save(plugin, out, "plugin-information");
  }
  {
    NameValueDialog parameter(NameValueDialog::Mode::Parameter, prompts);
    ok &= Save(parameter, out, "name-value-parameter");
    NameValueDialog fileType(NameValueDialog::Mode::FileType, prompts);
    ok &= Save(fileType, out, "name-value-file-type");
    NameValueDialog profile(NameValueDialog::Mode::Profile, prompts);
    ok &= Save(profile, out, "name-value-profile");
  }
  {
    state.settings.proxy.enabled = 1;
    state.settings.proxy.host = "127.0.0.1";
    state.settings.proxy.port = 1080;
    InternetSettingsDialog dialog(state, prompts);
    ok &= Save(dialog, out, "internet-settings");
  }
  {
    ProgramOptions& program = state.settings.program;
    program.hiddenDomains = {"pinterest.com", "quora.com"};
    program.domainFactors = {{"wikipedia.org", 2}, {"example.com", 0.5}};
    program.contact = "mailto:search-team@example.org";
    program.searxng = "https://search.team.example";
    RankOptionsDialog dialog(state, prompts);
    ok &= Save(dialog, out, "rank-options");
    program = ProgramOptions{};
  }
  {
    // The main window after a real search of three sample engines on
    // loopback, put in rank order: results that several engines list early
    // come first.
    sample::SampleServerOptions serverOptions;
    serverOptions.latencyMs = 0;
    sample::SampleServer server(serverOptions);
    if (Status serving = server.Start(); !serving.ok()) {
      std::fprintf(stderr, "%s\n", serving.message().c_str());
      return 1;
    }
    ProgramState searchState;
    StartUpOptions searchOptions;
    QTemporaryDir searchHome;
    searchOptions.home = searchHome.path().toStdString();
    searchOptions.detectBrowser = [] { return std::string("/usr/bin/firefox"); };
    if (Status started = StartUp(searchOptions, searchState); !started.ok()) return 1;
    searchState.catalogue.engines.clear();
    for (const EngineDefinition& e : server.Catalogue().engines) {
      if (e.name == "offset0" || e.name == "page1" || e.name == "offset1") {
        searchState.catalogue.engines.push_back(e);
        searchState.catalogue.engines.back().selected = 1;
      }
    }
    searchState.settings.search.maxResults = 60;
    CMainFrame frame(searchState, prompts);
    frame.resize(900, 560);
    frame.show();
    frame.expressionBox()->setCurrentText("lantern river");
    frame.Go();
    for (int i = 0; i < 3000 && frame.IsSearching(); ++i) {
      QApplication::processEvents();
      QThread::msleep(10);
    }
    frame.rankCommands()->RankOrder();
    ok &= Save(frame, out, "rank-order");

    // The same document searched again: the rows taken out before come back
    // new (bold), and a page that is gone is struck through.
    ResultsModel& model = *frame.view()->model();
    frame.view()->ShowInArrivalOrder();
    for (int i = 0; i < 3; ++i) model.Remove(0);
    model.Append("http://127.0.0.1:1/river-gone.html", "A river page that is gone", "offset0",
                 kNotValidated, 0);
    frame.watchCommands()->SearchAgain();
    for (int i = 0; i < 3000 && frame.watchCommands()->running(); ++i) {
      QApplication::processEvents();
      QThread::msleep(10);
    }
    frame.view()->list()->scrollToBottom();
    ok &= Save(frame, out, "watched");
  }
  {
    SearchProfilesDialog dialog(state, prompts);
    ok &= Save(dialog, out, "search-profiles");
  }
  {
    ResultViewOptionsDialog dialog(state, prompts);
    ok &= Save(dialog, out, "result-view-options");
  }
  {
    CExpressionWizard wizard(prompts);
    ok &= Save(wizard, out, "expression-wizard");
    wizard.show();
    wizard.next();
    ok &= Save(wizard, out, "expression-wizard-term");
    ExpressionBuilderDialog builder;
    builder.Prepare("cat|!\"big dog\"");
    ok &= Save(builder, out, "expression-builder");
  }
  {
    // The search threads window after a search in which two engines blocked:
    // its texts are made by the same functions the search uses.
    const auto now = WallClock::now();
    auto report = [](const char* name, EngineEnding ending, int results, int pages) {
      EngineReport r;
      r.engineName = name;
      r.ending = ending;
      r.results = results;
      r.pages = pages;
      return r;
    };
    EngineReport done = report("offset0", EngineEnding::kDone, 20, 2);
    EngineReport captcha = report("DuckDuckGo", EngineEnding::kBlocked, 0, 1);
    captcha.block = BlockKind::kCaptcha;
    captcha.suspendedUntil = now + kCaptchaSuspension;
    EngineReport limited = report("Brave", EngineEnding::kSuspended, 0, 0);
    limited.block = BlockKind::kHttpStatus;
    limited.blockStatus = 429;
    limited.suspendedUntil = now + kHttpBlockSuspension;
    EngineReport gone = report("Wikipedia", EngineEnding::kHttpStatus, 0, 1);
    gone.httpStatus = 404;
    CThreadsWindow window(nullptr);
    auto suspended = [](const EngineReport& r) {
      return QString::fromStdString(
          SuspendedText({r.engineName, *r.suspendedUntil, r.block, r.blockStatus}));
    };
    auto summary = [](const EngineReport& r) { return QString::fromStdString(EngineSummary(r)); };
    window.AddThreadRow("offset0", kNotActive, summary(done));
    window.AddThreadRow("DuckDuckGo", suspended(captcha), summary(captcha));
    window.AddThreadRow("Brave", suspended(limited), summary(limited));
    window.AddThreadRow("Wikipedia", kNotActive, summary(gone));
    window.AddThreadRow("Mojeek", kNotSelected);
    window.FitNameColumn();
    ok &= Save(window, out, "search-threads");
  }
  return ok ? 0 : 1;
}
