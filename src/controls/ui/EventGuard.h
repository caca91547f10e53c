#pragma once

#include <exception>
#include <utility>

#include <QtDebug>

namespace tvx {

/// Runs the body of an event handler or slot so that no exception leaves it
/// (Qt cannot unwind through its event loop): an error is reported as a
/// warning naming where it happened, and the handler ends.
template <class Body>
void GuardEvent(const char* where, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (const std::exception& e) {
    qWarning("%s: %s", where, e.what());
  } catch (...) {
    qWarning("%s: unknown error", where);
  }
}

}  // namespace tvx
