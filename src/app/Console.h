#pragma once

#include <atomic>
#include <string>

#include "app/BatchRun.h"

namespace tvx {

/// Cancels a run from Ctrl+C, like the progress window's Cancel button.
/// The first SIGINT or SIGTERM sets the flag; a second one ends the program.
void InstallInterruptHandler();
bool Interrupted();
/// Cancels the run as a first SIGINT would (the reader of its progress has gone).
void RequestInterrupt();

/// Progress on standard error: a bar when it is a terminal, otherwise one
/// line per file.
class TConsoleProgress : public TRunProgress {
 public:
  TConsoleProgress();
  ~TConsoleProgress() override;
  void Begin(const std::string& label, int32_t maximum) override;
  bool AdvanceAndCheckCancel(int32_t n) override;
  void AtFile(int32_t index, int32_t count, const std::string& path) override;
  bool CheckCancel() override { return Interrupted(); }
  /// A line of its own on standard error (the bar is drawn again below it).
  void Message(const std::string& text);
  /// For a log (not a terminal): one indented line under the file's own.
  void Detail(const std::string& text);
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

/// What the console says about single pictures: with printFailures, a
/// picture that failed in a run that goes on, on standard error at its turn;
/// with printPlan, the plan of a dry run on standard output ("new: /in/a.jpg
/// -> /out/a.jpg"); with "Keep JPEG quality", in a log, the way each
/// picture was written (PathLine). Then the next observer, if any, is told.
class TConsoleEvents : public TRunObserver {
 public:
  TConsoleEvents(TConsoleProgress& progress, bool printFailures, bool printPlan, TRunObserver* next)
      : progress_(progress), printFailures_(printFailures), printPlan_(printPlan), next_(next) {}
  void PictureDone(const TPictureEvent& event) override;

 private:
  TConsoleProgress& progress_;
  bool printFailures_;
  bool printPlan_;
  TRunObserver* next_;
};

/// The line a log shows for the way a picture was written ("kept the
/// JPEG's blocks, 12 of 1200 MCUs redrawn (...)").
std::string PathLine(const TPictureEvent& event);

/// The overwrite question on the terminal when standard input is one;
/// otherwise every question is answered "No" (skip) and said on standard error.
TAnswer AskOnConsole(const std::string& title, const std::string& question);

}  // namespace tvx
