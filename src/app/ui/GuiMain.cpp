#include "app/ui/GuiMain.h"

#include <clocale>

#include <QApplication>
#include <QMainWindow>

#include "app/CrashReport.h"
#include "app/Session.h"
#include "app/ui/Guard.h"

namespace tvx {

int RunWithWindows(int argc, char** argv, const TCommandLine& commandLine, const std::string& configFileName) {
  // Errors escaping an event handler reach the crash report, not the end
  // of the program.
  TGuardedApplication app(argc, argv);
  // QApplication switches the C numeric locale to the user's; texts made from
  // numbers (EXIF macros) must read the same with and without windows.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Tarvex"));

  TSession::TOptions options;
  options.ConfigFileName = configFileName;
  TSession session(options);
  (void)commandLine;

  QMainWindow window;
  window.setWindowTitle(QString::fromUtf8(kApplicationTitle) + " " + QString::fromUtf8(kVersionText));
  window.resize(900, 640);
  window.show();
  return app.exec();
}

}  // namespace tvx
