#pragma once

#include <functional>

class QMessageBox;
class QWidget;

namespace tvx {

class TDumpObject;

/// The crash report's boxes over the core's report routine: the question
/// (title "Error", error icon, Yes and No, the error's message as detail
/// text); on Yes the report goes to the clipboard, the support mail opens
/// and a "Bug Report" box says so. The record is reset in every case.
class TCrashReportBox {
 public:
  /// Shows a box and returns the standard button pressed. QMessageBox::exec
  /// by default; tests answer without a modal loop.
  using TExecFunc = std::function<int(QMessageBox& box)>;

  TCrashReportBox(TDumpObject& dump, QWidget* parent);

  TExecFunc Exec;

  /// Runs the report; never raises. Returns whether a report was made.
  bool Run();

 private:
  TDumpObject& dump_;
  QWidget* parent_;
};

}  // namespace tvx
