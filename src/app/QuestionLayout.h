#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tvx {

/// The yes/no/cancel question's geometry, without the window.

inline constexpr int32_t kQuestionMargin = 32;     ///< the label's margins, both sides together
inline constexpr int32_t kQuestionMinWidth = 283;  ///< room for its rows of buttons

/// The window's client width for a label of labelWidth: the label's width
/// plus its margins, at least kQuestionMinWidth, never more than maxWidth
/// (the screen).
int32_t QuestionClientWidth(int32_t labelWidth, int32_t maxWidth);

/// The width of a piece of text (UTF-8) as the label would draw it.
using TMeasureText = std::function<int32_t(std::string_view)>;

/// Breaks text into lines no wider than maxWidth. A line ends after the last
/// "/" or space that fits, so a long path breaks between its folders; a piece
/// without either breaks between characters (never inside a UTF-8 sequence).
/// Line breaks already in the text stay. Every character is kept: joining the
/// lines (without the spaces a break ends on) gives the text back.
std::vector<std::string> BreakLines(std::string_view text, int32_t maxWidth, const TMeasureText& measure);

}  // namespace tvx
