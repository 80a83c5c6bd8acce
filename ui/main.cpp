// trovelane: the desktop program over the trovelane core.
//
//   trovelane [--home DIR] [DOCUMENT.qmk]
//
// Start-up in order: the install folder (--home, else the default one) is
// prepared, "qmknet.dat" and the current profile are loaded and the read
// chunk size derived (the same StartUp as trovelane-cli); then the main
// window is made, a document named on the command line opens, and the
// window shows.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <csignal>
#include <iostream>

#include "app/program_state.h"
#include "ui/main_window.h"
#include "platform/version.h"

int main(int argc, char** argv) {
  // A peer that closes its socket must not end the program.
  std::signal(SIGPIPE, SIG_IGN);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("trovelane"));
  QApplication::setApplicationVersion(QStringLiteral(TROVELANE_VERSION));
  QApplication::setWindowIcon(trovelane::ui::ProgramIcon());

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("A desktop meta-search client"));
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption homeOption(QStringLiteral("home"),
                                QStringLiteral("Install folder (default: $XDG_DATA_HOME/trovelane)"),
                                QStringLiteral("DIR"));
  parser.addOption(homeOption);
  parser.addPositionalArgument(QStringLiteral("document"),
                               QStringLiteral("A results document (.qmk) to open"),
                               QStringLiteral("[DOCUMENT]"));
  parser.process(app);

  trovelane::ProgramState state;
  if (trovelane::Status started =
          trovelane::StartUp({parser.value(homeOption).toStdString(), nullptr}, state);
      !started.ok()) {
    std::cerr << started.message() << "\n";
    QMessageBox::critical(nullptr, QString::fromUtf8(trovelane::ui::kProgramCaption),
                          QString::fromStdString(started.message()));
    return 1;
  }
  for (const std::string& warning : state.warnings) std::cerr << warning << "\n";

  trovelane::ui::DesktopPrompts prompts;
  trovelane::ui::CMainFrame window(state, prompts);
  const QStringList documents = parser.positionalArguments();
  if (!documents.isEmpty()) window.OpenDocumentFile(documents.first());
  window.show();
  window.StartBanner();
  return app.exec();
}
