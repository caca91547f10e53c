#include "app/ui/GuiMain.h"

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include "app/HandOver.h"
#include "app/Session.h"
#include "app/ui/Form1.h"
#include "app/ui/Guard.h"
#include "app/ui/SingleInstance.h"
#include "util/Error.h"
#include "util/Paths.h"

namespace tvx {
namespace {

std::string WorkingFolder() {
  char* cwd = ::getcwd(nullptr, 0);
  std::string folder = cwd ? cwd : "/";
  std::free(cwd);
  return folder;
}

// The open window of this user on this display with this settings file, if
// any; nullptr when there is no private folder for the socket.
std::unique_ptr<TSingleInstance> MakeInstance(const std::string& configFileName) {
  const std::string runtime = HandOverRuntimeFolder();
  if (runtime.empty()) return nullptr;
  std::string display = QGuiApplication::platformName().toStdString() + ":";
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"})
    if (const char* value = std::getenv(name); value && *value) {
      display += value;
      break;
    }
  std::string config = configFileName.empty() ? ConfigFileName() : configFileName;
  if (config[0] != '/') config = IncludeTrailingPathDelimiter(WorkingFolder()) + config;
  return std::make_unique<TSingleInstance>(QString::fromStdString(HandOverSocketPath(runtime, display, config)));
}

}  // namespace

int RunWithWindows(int argc, char** argv, const TCommandLine& commandLine, const std::string& configFileName) {
  // Errors escaping an event handler reach the crash report, not the end
  // of the program.
  TGuardedApplication app(argc, argv);
  // QApplication switches the C numeric locale to the user's; texts made from
  // numbers (EXIF macros) must read the same with and without windows.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Tarvex"));
  // The desktop matches the windows to the desktop entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(TARVEX_APP_ID));
  QIcon icon = QIcon::fromTheme(QStringLiteral(TARVEX_APP_ID));
  if (icon.isNull()) {
    // Not installed: the icons rendered in the build tree, beside bin/.
    const QString rendered = QString::fromStdString(ProgramFolder()) + QStringLiteral("../share/icons/hicolor/");
    for (int size : {16, 32, 48, 64, 128, 256})
      icon.addFile(rendered + QStringLiteral("%1x%1/apps/" TARVEX_APP_ID ".png").arg(size));
  }
  QApplication::setWindowIcon(icon);

  // A window already open takes this start's files, as image viewers do.
  std::unique_ptr<TSingleInstance> instance;
  if (WantsHandOver(commandLine)) {
    instance = MakeInstance(configFileName);
    const std::string message = EncodeHandOver(MakeHandOver(commandLine, WorkingFolder()));
    if (instance && instance->Start(QByteArray::fromStdString(message)) == TSingleInstance::TRole::HandedOver)
      return 0;
  }

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
    if (instance)
      instance->OnMessage = [&window](const QByteArray& message) {
        TCommandLine arguments;
        try {
          arguments = DecodeHandOver(message.toStdString());
        } catch (const EError&) {
          return false;  // not from a start of this program: refused, and nothing to report
        }
        window.OpenArguments(arguments);
        return true;
      };
    window.show();
    status = app.exec();
    if (instance) instance->OnMessage = nullptr;
  }
  session.reset();
  return status;
}

}  // namespace tvx
