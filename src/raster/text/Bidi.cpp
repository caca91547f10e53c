#include "raster/text/Bidi.h"

#include <algorithm>

#include <hb.h>

namespace tvx::text {

namespace {

enum class TClass : uint8_t { L, R, Number, Separator, Terminator, Mark, Neutral };

TClass ClassOf(char32_t cp) {
  hb_unicode_funcs_t* ufuncs = hb_unicode_funcs_get_default();
  const hb_unicode_general_category_t category = hb_unicode_general_category(ufuncs, cp);
  if (category == HB_UNICODE_GENERAL_CATEGORY_DECIMAL_NUMBER) return TClass::Number;
  if (category == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
      category == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK)
    return TClass::Mark;
  const hb_script_t script = hb_unicode_script(ufuncs, cp);
  if (script == HB_SCRIPT_INHERITED) return TClass::Mark;
  if (script == HB_SCRIPT_COMMON || script == HB_SCRIPT_UNKNOWN) {
    switch (cp) {
      case '+':
      case '-':
      case ',':
      case '.':
      case ':':
      case '/':
      case 0x00A0:
      case 0x060C:
        return TClass::Separator;
      case '#':
      case '%':
      case 0x00B0:
      case 0x2030:
      case 0x2031:
        return TClass::Terminator;
      default:
        return category == HB_UNICODE_GENERAL_CATEGORY_CURRENCY_SYMBOL ? TClass::Terminator : TClass::Neutral;
    }
  }
  return hb_script_get_horizontal_direction(script) == HB_DIRECTION_RTL ? TClass::R : TClass::L;
}

}  // namespace

std::vector<uint8_t> ResolveBidiLevels(const std::u32string& line) {
  const size_t n = line.size();
  std::vector<TClass> cls(n);
  for (size_t i = 0; i < n; ++i) cls[i] = ClassOf(line[i]);

  // Marks take the class of the character they sit on.
  for (size_t i = 0; i < n; ++i)
    if (cls[i] == TClass::Mark) cls[i] = i > 0 ? cls[i - 1] : TClass::Neutral;

  const auto strong =
      std::find_if(cls.begin(), cls.end(), [](TClass c) { return c == TClass::L || c == TClass::R; });
  const bool rtl = strong != cls.end() && *strong == TClass::R;
  const TClass paragraph = rtl ? TClass::R : TClass::L;

  // A single separator between digits and terminators next to digits belong
  // to the number ("2026:12:08", "12.5 %"); the rest are neutral.
  for (size_t i = 1; i + 1 < n; ++i)
    if (cls[i] == TClass::Separator && cls[i - 1] == TClass::Number && cls[i + 1] == TClass::Number)
      cls[i] = TClass::Number;
  for (size_t i = 0; i < n; ++i) {
    if (cls[i] != TClass::Terminator) continue;
    size_t end = i;
    while (end < n && cls[end] == TClass::Terminator) ++end;
    const bool touches = (i > 0 && cls[i - 1] == TClass::Number) || (end < n && cls[end] == TClass::Number);
    for (size_t k = i; k < end; ++k) cls[k] = touches ? TClass::Number : TClass::Neutral;
    i = end - 1;
  }
  for (TClass& c : cls)
    if (c == TClass::Separator || c == TClass::Terminator) c = TClass::Neutral;

  // Numbers in left-to-right context are simply left-to-right text.
  TClass lastStrong = paragraph;
  for (TClass& c : cls) {
    if (c == TClass::L || c == TClass::R)
      lastStrong = c;
    else if (c == TClass::Number && lastStrong == TClass::L)
      c = TClass::L;
  }

  // Neutrals between two runs of one direction take it (numbers count as
  // right to left here); otherwise they take the paragraph's direction.
  for (size_t i = 0; i < n; ++i) {
    if (cls[i] != TClass::Neutral) continue;
    size_t end = i;
    while (end < n && cls[end] == TClass::Neutral) ++end;
    auto direction = [](TClass c) { return c == TClass::L ? TClass::L : TClass::R; };
    const TClass before = i > 0 ? direction(cls[i - 1]) : paragraph;
    const TClass after = end < n ? direction(cls[end]) : paragraph;
    const TClass resolved = before == after ? before : paragraph;
    for (size_t k = i; k < end; ++k) cls[k] = resolved;
    i = end - 1;
  }

  std::vector<uint8_t> levels(n);
  for (size_t i = 0; i < n; ++i) {
    switch (cls[i]) {
      case TClass::R:
        levels[i] = 1;
        break;
      case TClass::Number:
        levels[i] = 2;
        break;
      default:
        levels[i] = rtl ? 2 : 0;
        break;
    }
  }
  return levels;
}

std::vector<size_t> VisualRunOrder(const std::vector<uint8_t>& runLevels) {
  std::vector<size_t> order(runLevels.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (runLevels.empty()) return order;
  const uint8_t highest = *std::max_element(runLevels.begin(), runLevels.end());
  uint8_t lowestOdd = UINT8_MAX;
  for (uint8_t level : runLevels)
    if (level % 2) lowestOdd = std::min(lowestOdd, level);
  if (lowestOdd == UINT8_MAX) return order;
  for (int level = highest; level >= lowestOdd; --level) {
    for (size_t i = 0; i < order.size();) {
      if (runLevels[order[i]] < level) {
        ++i;
        continue;
      }
      size_t end = i;
      while (end < order.size() && runLevels[order[end]] >= level) ++end;
      std::reverse(order.begin() + static_cast<std::ptrdiff_t>(i),
                   order.begin() + static_cast<std::ptrdiff_t>(end));
      i = end;
    }
  }
  return order;
}

}  // namespace tvx::text
