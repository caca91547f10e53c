#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster/Bitmap32.h"

namespace tvx {

/// Horizontal justification of the lines of a text, within the width of its
/// widest line. (The values differ from the text layer's stored
/// justification, 0 left, 1 right, 2 center: map them, do not cast.)
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
///
/// - The family is matched by name, with bold and italic as weight and slant
///   (synthesised when the family has no such face); a family that is not
///   installed gives fontconfig's "sans-serif". Pixel size is
///   round(Size x 96 / 72).
/// - target is the measured box (widest line x number of lines x the font's
///   line spacing; empty lines keep their height), widened where glyphs or
///   lines reach outside it. Trailing spaces of a line are not measured.
/// - Nothing to draw (empty text, only line breaks or spaces, Size <= 0, no
///   usable font) gives a 0 x 0 target; CropToOpaque turns that into 1 x 1.
/// - Straight alpha: every pixel holds the colour's RGB; alpha is the coverage
///   times the colour's alpha / 255.
/// - A text whose bitmap would exceed 32767 pixels a side or 2^28 pixels, or
///   a size above 16384 pixels, raises "RenderText::1 - Text too large to render!".
/// - The first rendering in a thread opens the fonts; later ones reuse that
///   thread's faces and glyphs.
void RenderText(const std::string& text, const TTextFont& font, TTextJustify justify, TBitmap32& target);

/// The font families RenderText draws with their own faces, sorted ignoring
/// letter case: the choices a font list offers.
std::vector<std::string> InstalledFontFamilies();
/// Whether RenderText draws the family with its own faces (false: it falls
/// back to sans-serif).
bool IsFontFamilyInstalled(const std::string& family);

/// The largest em size in pixels RenderText accepts (16384 unless set); larger
/// sizes raise "RenderText::1 - Text too large to render!" before any glyph is
/// rendered. Fuzzers lower it so that legal but huge text fails fast.
void SetMaxTextPixelSize(double pixels);

}  // namespace tvx
