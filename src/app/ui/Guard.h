#pragma once

#include <exception>
#include <functional>

#include <QApplication>

#include "app/PreviewLoader.h"
#include "util/Guard.h"

class QObject;

namespace tvx {

class TDumpObject;

/// The application object of the windowed program: an exception that a
/// handler lets escape into the event loop is caught here and reported
/// instead of ending the program, and every unhandled error goes to the
/// crash report (SetErrorReporter).
class TGuardedApplication : public QApplication {
  Q_OBJECT

 public:
  TGuardedApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

/// What the windowed program does with an error that no handler dealt with,
/// after recording it in DumpObject(): the crash report box over the active
/// window by default. Tests record instead. The application object installs
/// it as the unhandled-error handler of util/Guard.h.
using TErrorReporter = std::function<void(TDumpObject& dump)>;
void SetErrorReporter(TErrorReporter reporter);

/// A post function for TPreviewLoader: runs each task on the thread of
/// context through a queued invocation, guarded. The loader calls it from
/// its worker, so context must outlive the loader's Stop; tasks still
/// queued when context is destroyed are dropped by Qt.
TPreviewLoader::TPostFunc QueuedPost(QObject* context);

}  // namespace tvx
