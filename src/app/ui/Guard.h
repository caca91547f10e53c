#pragma once

#include <exception>
#include <functional>

#include <QApplication>

#include "app/PreviewLoader.h"

class QObject;

namespace tvx {

class TDumpObject;

/// The application object of the windowed program: an exception that a
/// handler lets escape into the event loop is caught here and reported
/// instead of ending the program.
class TGuardedApplication : public QApplication {
  Q_OBJECT

 public:
  TGuardedApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

/// What runs for every caught error, after it was recorded in DumpObject():
/// the crash report box over the active window by default. Tests record.
using TErrorReporter = std::function<void(TDumpObject& dump)>;
void SetErrorReporter(TErrorReporter reporter);

/// Records the error in DumpObject() and runs the reporter. An error that
/// arrives while a report is showing is written to standard error instead,
/// so a fault that repeats cannot stack boxes without end. Never raises.
void ReportException(std::exception_ptr error) noexcept;
/// ReportException of the exception being handled (inside a catch block).
inline void ReportCurrentException() noexcept { ReportException(std::current_exception()); }

/// Runs fn; an error it raises is reported and goes no further. Every
/// command handler of the windows runs through it. True when fn completed.
template <class F>
bool GuardedCall(F&& fn) noexcept {
  try {
    fn();
    return true;
  } catch (...) {
    ReportCurrentException();
    return false;
  }
}

/// A post function for TPreviewLoader: runs each task on the thread of
/// context through a queued invocation, guarded. The loader calls it from
/// its worker, so context must outlive the loader's Stop; tasks still
/// queued when context is destroyed are dropped by Qt.
TPreviewLoader::TPostFunc QueuedPost(QObject* context);

}  // namespace tvx
