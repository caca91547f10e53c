#include "app/ui/Guard.h"

#include <cstdio>

#include <QMetaObject>

#include "app/CrashReport.h"
#include "app/ui/CrashReportBox.h"

namespace tvx {
namespace {

TErrorReporter& Reporter() {
  static TErrorReporter reporter = [](TDumpObject& dump) {
    TCrashReportBox(dump, QApplication::activeWindow()).Run();
  };
  return reporter;
}

bool gReporting = false;

}  // namespace

TGuardedApplication::TGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TGuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportCurrentException();
    return false;
  }
}

void SetErrorReporter(TErrorReporter reporter) { Reporter() = std::move(reporter); }

void ReportException(std::exception_ptr error) noexcept {
  if (!error) return;
  if (gReporting) {
    // The box of an earlier error is open: this one goes to the terminal.
    const std::string name = ExceptionClassName(error);
    std::string message;
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      message = e.what();
    } catch (...) {
    }
    std::fprintf(stderr, "%s: %s: %s\n", kApplicationTitle, name.c_str(), message.c_str());
    return;
  }
  gReporting = true;
  try {
    TDumpObject& dump = DumpObject();
    dump.RecordError(error);
    if (Reporter()) Reporter()(dump);
  } catch (...) {
    // The report is the last resort; nothing may leave it.
  }
  gReporting = false;
}

TPreviewLoader::TPostFunc QueuedPost(QObject* context) {
  return [context](TPreviewLoader::TTask task) {
    QMetaObject::invokeMethod(
        context, [task = std::move(task)] { GuardedCall(task); }, Qt::QueuedConnection);
  };
}

}  // namespace tvx
