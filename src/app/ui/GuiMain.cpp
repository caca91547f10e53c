#include "app/ui/GuiMain.h"

#include <clocale>

#include <QApplication>
#include <QMainWindow>

#include "app/Session.h"

namespace tvx {

int RunWithWindows(int argc, char** argv, const TCommandLine& commandLine, const std::string& configFileName) {
  QApplication app(argc, argv);
  // QApplication switches the C numeric locale to the user's; texts made from
  // numbers (EXIF macros) must read the same with and without windows.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Tarvex"));

  TSession::TOptions options;
  options.ConfigFileName = configFileName;
  TSession session(options);
  (void)commandLine;

  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Tarvex 2.2"));
  window.resize(900, 640);
  window.show();
  return app.exec();
}

}  // namespace tvx
