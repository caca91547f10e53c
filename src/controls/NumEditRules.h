#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "controls/BalloonMessage.h"

namespace tvx {

/// The rules of the numeric edit field, without the widget: which typed
/// characters it refuses, how it reads its text, and how it keeps the value
/// inside its range. The decimal separator is "." (the program keeps the C
/// numeric locale).

inline constexpr char32_t kNumEditDecimalSeparator = U'.';

/// Balloon texts of the field.
inline constexpr const char* kInvalidNumber = "Invalid number";
inline constexpr const char* kOnlyIntegers = "Only integers are allowed.";
inline constexpr const char* kInvalidChar = "Invalid char";
inline constexpr const char* kOnlyValidNumbers = "Only valid numbers are allowed.";

/// The balloon for a typed character that the field refuses, or nothing when
/// the character is accepted: the separator while floats are not accepted;
/// "A" (65) to "z" (122) and every code from 128 on. Digits, signs, control
/// characters and other punctuation pass.
std::optional<TBalloonMessage> RefuseTypedChar(char32_t c, bool acceptFloat);

/// The integer reading: the digits and "-" of the text, in order; empty reads
/// as 0, a result that is no number ("1-2", "-") as 0. A number beyond the
/// 32-bit range reads as the nearest limit.
int32_t NumEditIntValue(std::string_view text);

/// The real reading: the digits, "-" and "." of the text, in order; empty or
/// no number ("1.2.3", "-") reads as 0.
double NumEditFloatValue(std::string_view text);

/// When the range check runs: after every change of the text while the user
/// types, or once editing ends (focus leaves, Enter, a value set by the program).
enum class TRangeStage { Typing, Finished };

struct TRangeCheck {
  bool Clamped = false;     ///< the text must be replaced
  std::string Text;         ///< the new text when Clamped
  TBalloonMessage Balloon;  ///< what to tell the user when Clamped
};

/// Keeps the integer reading of text inside min..max. While typing, a value
/// that more typing can still bring into range is left alone: a non-negative
/// value below a positive minimum ("1" on the way to "100" with minimum 3)
/// and a non-positive value above a negative maximum ("-" on the way to
/// "-10" with maximum -5). Values that only get further away as digits are
/// added are clamped at once. When editing ends everything is clamped.
TRangeCheck CheckRange(std::string_view text, int32_t min, int32_t max, TRangeStage stage);

}  // namespace tvx
