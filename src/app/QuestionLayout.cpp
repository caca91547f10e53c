#include "app/QuestionLayout.h"

#include <algorithm>

namespace tvx {
namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The next code point boundary after position i.
size_t NextBoundary(std::string_view text, size_t i) {
  ++i;
  while (i < text.size() && IsContinuationByte(text[i])) ++i;
  return i;
}

void BreakParagraph(std::string_view paragraph, int32_t maxWidth, const TMeasureText& measure,
                    std::vector<std::string>& lines) {
  while (measure(paragraph) > maxWidth) {
    // The longest head that fits; at least one character, or nothing would move.
    size_t fits = NextBoundary(paragraph, 0);
    while (fits < paragraph.size()) {
      size_t next = NextBoundary(paragraph, fits);
      if (measure(paragraph.substr(0, next)) > maxWidth) break;
      fits = next;
    }
    size_t cut = fits;
    size_t separator = paragraph.substr(0, fits).find_last_of("/ ");
    if (separator != std::string_view::npos && separator > 0) cut = separator + 1;
    std::string_view line = paragraph.substr(0, cut);
    std::string_view rest = paragraph.substr(cut);
    if (line.size() > 1 && line.back() == ' ') line.remove_suffix(1);  // a space ends the line, unseen
    lines.emplace_back(line);
    paragraph = rest;
    if (paragraph.empty()) return;
  }
  lines.emplace_back(paragraph);
}

}  // namespace

int32_t QuestionClientWidth(int32_t labelWidth, int32_t maxWidth) {
  int32_t width = std::max(labelWidth + kQuestionMargin, kQuestionMinWidth);
  return std::min(width, maxWidth);
}

std::vector<std::string> BreakLines(std::string_view text, int32_t maxWidth, const TMeasureText& measure) {
  std::vector<std::string> lines;
  while (true) {
    size_t end = text.find('\n');
    BreakParagraph(text.substr(0, end), maxWidth, measure, lines);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

}  // namespace tvx
