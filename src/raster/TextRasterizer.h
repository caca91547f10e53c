#pragma once

#include <cstdint>
#include <string>

#include "raster/Bitmap32.h"

namespace tvx {

/// Horizontal justification of the lines of a text.
enum TTextJustify : int32_t { tjNear = 0, tjCenter = 1, tjFar = 2 };

/// What the text rasteriser needs of a font.
struct TTextFont {
  std::string Family = "Arial";  ///< looked up with fontconfig; falls back to sans-serif
  int32_t Size = 16;             ///< points at 96 dots per inch (16 pt ~ 21 px)
  TColor32 Color = 0xFF000000;   ///< ARGB colour of the glyphs
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
};

/// Renders UTF-8 text (lines broken only at "\n", "\r\n" or "\r") into target:
/// a bitmap of the font colour whose alpha is the anti-aliased glyph coverage,
/// transparent elsewhere. The result is not yet cropped (callers crop with
/// CropToOpaque). Shaping (kerning, ligatures, right-to-left) by HarfBuzz;
/// characters the family lacks are taken from another installed font.
/// Thread-safe: may be called from several threads at once.
void RenderText(const std::string& text, const TTextFont& font, TTextJustify justify, TBitmap32& target);

}  // namespace tvx
