#pragma once

#include <atomic>
#include <string>

#include "app/BatchRun.h"

namespace tvx {

/// Cancels a run from Ctrl+C, like the progress window's Cancel button.
/// The first SIGINT or SIGTERM sets the flag; a second one ends the program.
void InstallInterruptHandler();
bool Interrupted();

/// Progress on standard error: a bar when it is a terminal, otherwise one
/// line per file.
class TConsoleProgress : public TRunProgress {
 public:
  TConsoleProgress();
  ~TConsoleProgress() override;
  void Begin(const std::string& label, int32_t maximum) override;
  bool AdvanceAndCheckCancel(int32_t n) override;
  void AtFile(int32_t index, int32_t count, const std::string& path) override;
  /// One indented line under the file's own (not over a terminal's bar).
  void WrittenBy(const std::string& how) override;
  /// Ends the bar's line.
  void Finish();

 private:
  void Draw();

  bool terminal_;
  std::string label_;
  std::string file_;
  int32_t maximum_ = 0;
  int32_t position_ = 0;
  bool drawn_ = false;
};

/// The overwrite question on the terminal when standard input is one;
/// otherwise every question is answered "No" (skip) and said on standard error.
TAnswer AskOnConsole(const std::string& title, const std::string& question);

}  // namespace tvx
