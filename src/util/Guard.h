#pragma once

#include <exception>
#include <functional>

namespace tvx {

/// What happens to an error that no handler dealt with: the windowed
/// program shows the crash report; without one it is written to standard
/// error.
using TUnhandledErrorHandler = std::function<void(std::exception_ptr error)>;
void SetUnhandledErrorHandler(TUnhandledErrorHandler handler);

/// Hands the error to the handler. An error that arrives while an earlier
/// one is being handled (its report box is open) goes to standard error
/// instead, so a fault that repeats cannot stack reports. Never raises.
void ReportException(std::exception_ptr error) noexcept;
/// ReportException of the exception being handled (inside a catch block).
inline void ReportCurrentException() noexcept { ReportException(std::current_exception()); }

/// Runs fn; an error it raises is reported and goes no further. Every event
/// handler, slot and command of the windows runs its body through it, since
/// no exception may unwind through Qt's event loop. True when fn completed.
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

}  // namespace tvx
