#include "util/Guard.h"

#include <cstdio>

namespace tvx {
namespace {

void WriteToStandardError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarvex: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "tarvex: unknown error\n");
  }
}

TUnhandledErrorHandler& Handler() {
  static TUnhandledErrorHandler handler = WriteToStandardError;
  return handler;
}

bool gReporting = false;

}  // namespace

void SetUnhandledErrorHandler(TUnhandledErrorHandler handler) {
  Handler() = handler ? std::move(handler) : WriteToStandardError;
}

void ReportException(std::exception_ptr error) noexcept {
  if (!error) return;
  if (gReporting) {
    WriteToStandardError(error);
    return;
  }
  gReporting = true;
  try {
    Handler()(error);
  } catch (...) {
    // The report is the last resort; nothing may leave it.
  }
  gReporting = false;
}

}  // namespace tvx
