#pragma once

#include <string>
#include <vector>

#include "app/BatchRun.h"

namespace tvx {

/// What a run did, as the end-of-run summary says it:
/// "3 picture(s) written, 1 skipped (output exists), 2 missing, 1 failed."
/// (the parts that are zero left out, except the written count).
std::string RunCounts(const TRunStats& stats);

/// One line per picture that failed in a run that went on, in list order:
/// "<source>: <message>".
std::vector<std::string> FailureLines(const TRunStats& stats);

}  // namespace tvx
