#include "app/RunSummary.h"

namespace tvx {

std::string RunCounts(const TRunStats& stats) {
  std::string text = std::to_string(stats.Written) + " picture(s) written";
  if (stats.Skipped) text += ", " + std::to_string(stats.Skipped) + " skipped (output exists)";
  if (stats.Missing) text += ", " + std::to_string(stats.Missing) + " missing";
  if (stats.Failed) text += ", " + std::to_string(stats.Failed) + " failed";
  return text + ".";
}

std::vector<std::string> FailureLines(const TRunStats& stats) {
  std::vector<std::string> lines;
  lines.reserve(stats.Failures.size());
  for (const TRunFailure& failure : stats.Failures) lines.push_back(failure.Source + ": " + failure.Message);
  return lines;
}

}  // namespace tvx
