#include "app/ui/Guard.h"

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

void RecordAndReport(std::exception_ptr error) {
  TDumpObject& dump = DumpObject();
  dump.RecordError(error);
  if (Reporter()) Reporter()(dump);
}

}  // namespace

TGuardedApplication::TGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {
  SetUnhandledErrorHandler(RecordAndReport);
}

bool TGuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportCurrentException();
    return false;
  }
}

void SetErrorReporter(TErrorReporter reporter) { Reporter() = std::move(reporter); }

TPreviewLoader::TPostFunc QueuedPost(QObject* context) {
  return [context](TPreviewLoader::TTask task) {
    QMetaObject::invokeMethod(
        context, [task = std::move(task)] { GuardedCall(task); }, Qt::QueuedConnection);
  };
}

}  // namespace tvx
