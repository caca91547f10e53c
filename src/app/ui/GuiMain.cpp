#include "app/ui/GuiMain.h"

#include <clocale>
#include <memory>

#include <QApplication>
#include <QMessageBox>

#include "app/Session.h"
#include "app/ui/Form1.h"
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

  // The configuration store, the plug-ins and the saved styles, in that order.
  TSession::TOptions options;
  options.ConfigFileName = configFileName;
  std::unique_ptr<TSession> session;
  if (!GuardedCall([&] { session = std::make_unique<TSession>(options); })) return 1;
  if (!session->StartupWarning().empty())
    QMessageBox::warning(nullptr, QStringLiteral("Tarvex"),
                         QStringLiteral("The saved layer styles could not be read completely:\n") +
                             QString::fromStdString(session->StartupWarning()));

  int status = 0;
  {
    // The window goes first: it stops the preview loader before the session
    // unloads the plug-ins and writes the configuration file.
    TForm1 window(*session, commandLine);
    window.show();
    status = app.exec();
  }
  session.reset();
  return status;
}

}  // namespace tvx
