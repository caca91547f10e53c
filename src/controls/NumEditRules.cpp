#include "controls/NumEditRules.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tvx {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Keep(std::string_view text, bool withSeparator) {
  std::string kept;
  for (char c : text)
    if (IsDigit(c) || c == '-' || (withSeparator && c == '.')) kept += c;
  return kept;
}

TBalloonMessage TooSmall(int32_t value) {
  return {TBalloonIcon::Error, kInvalidNumber,
          "Entered number (" + std::to_string(value) + ") is too small."};
}

TBalloonMessage TooHuge(std::string_view typed) {
  return {TBalloonIcon::Error, kInvalidNumber, "Entered number (" + std::string(typed) + ") is too huge."};
}

}  // namespace

std::optional<TBalloonMessage> RefuseTypedChar(char32_t c, bool acceptFloat) {
  if (c == kNumEditDecimalSeparator && !acceptFloat)
    return TBalloonMessage{TBalloonIcon::Error, kInvalidNumber, kOnlyIntegers};
  if ((c >= U'A' && c <= U'z') || c >= 128)
    return TBalloonMessage{TBalloonIcon::Error, kInvalidChar, kOnlyValidNumbers};
  return std::nullopt;
}

int32_t NumEditIntValue(std::string_view text) {
  std::string kept = Keep(text, false);
  if (kept.empty()) return 0;
  int32_t value = 0;
  const char* end = kept.data() + kept.size();
  auto [stop, ec] = std::from_chars(kept.data(), end, value);
  if (stop != end) return 0;  // "1-2", "-", "--5": no number
  // A long row of digits must not wrap round into a value of the other sign.
  if (ec == std::errc::result_out_of_range)
    return kept[0] == '-' ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
  return ec == std::errc() ? value : 0;
}

double NumEditFloatValue(std::string_view text) {
  std::string kept = Keep(text, true);
  if (kept.empty()) return 0;
  double value = 0;
  const char* end = kept.data() + kept.size();
  auto [stop, ec] = std::from_chars(kept.data(), end, value);
  if (ec != std::errc() || stop != end || !std::isfinite(value)) return 0;
  return value;
}

TRangeCheck CheckRange(std::string_view text, int32_t min, int32_t max, TRangeStage stage) {
  const bool finished = stage == TRangeStage::Finished;
  TRangeCheck result;
  std::string current(text);
  int32_t value = NumEditIntValue(current);
  if (value < min && (finished || value < 0)) {
    result.Clamped = true;
    result.Balloon = TooSmall(value);
    current = std::to_string(min);
  }
  value = NumEditIntValue(current);
  if (value > max && (finished || value > 0)) {
    result.Clamped = true;
    result.Balloon = TooHuge(text);
    current = std::to_string(max);
  }
  if (result.Clamped) result.Text = current;
  return result;
}

}  // namespace tvx
