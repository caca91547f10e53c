#include "raster/TextRasterizer.h"

#include <atomic>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "raster/text/Bidi.h"
#include "raster/text/FaceCache.h"
#include "raster/text/FontCatalog.h"
#include "util/Error.h"

#include FT_TRUETYPE_TABLES_H

namespace tvx {

namespace {

using text::TFace;
using text::TFaceCache;
using text::TFontCatalog;
using text::TGlyphImage;

// Beyond these the text bitmap alone would take more than a gigabyte, and
// single glyphs hundreds of megabytes.
constexpr int64_t kMaxPixels = int64_t(1) << 28;
constexpr int64_t kMaxSide = 32767;
// Above the 10000 points a text layer can ask for; lowered by tools that feed
// untrusted input in bulk.
std::atomic<double> g_maxPixelSize{16384};

[[noreturn]] void RaiseTooLarge() { RaiseError("RenderText", 1, "Text too large to render!"); }

// 1/64 pixel (FreeType's 26.6) to whole pixels, halves away from minus infinity.
int32_t Round26(int64_t v) { return static_cast<int32_t>((v + 32) >> 6); }

// UTF-8 to code points; a malformed sequence becomes U+FFFD. Control
// characters have no glyph: they take the room of a space.
std::u32string DecodeLine(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<uint8_t>(s[i]);
    char32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c <= 0xF4) {
      const size_t need = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      char32_t v = c & (0x7F >> need);
      size_t k = 1;
      for (; k < need && i + k < s.size(); ++k) {
        const auto t = static_cast<uint8_t>(s[i + k]);
        if ((t & 0xC0) != 0x80) break;
        v = (v << 6) | (t & 0x3F);
      }
      if (k == need) {
        const bool overlong = (need == 3 && v < 0x800) || (need == 4 && v < 0x10000);
        const bool surrogate = v >= 0xD800 && v <= 0xDFFF;
        if (!overlong && !surrogate && v <= 0x10FFFF) cp = v;
        len = need;
      } else {
        len = k;  // resume at the byte that broke the sequence
      }
    }
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) cp = 0x20;
    out.push_back(cp);
    i += len;
  }
  return out;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

bool IsNeutral(hb_script_t script) {
  return script == HB_SCRIPT_COMMON || script == HB_SCRIPT_INHERITED || script == HB_SCRIPT_UNKNOWN;
}

// Spaces, digits and punctuation belong to the script around them, so that
// a line splits into runs only where the writing system really changes.
std::vector<hb_script_t> ResolveScripts(const std::u32string& cps) {
  hb_unicode_funcs_t* ufuncs = hb_unicode_funcs_get_default();
  std::vector<hb_script_t> scripts(cps.size());
  hb_script_t last = HB_SCRIPT_COMMON;
  for (size_t i = 0; i < cps.size(); ++i) {
    const hb_script_t s = hb_unicode_script(ufuncs, cps[i]);
    if (!IsNeutral(s)) last = s;
    scripts[i] = IsNeutral(s) ? last : s;
  }
  // Leading neutrals take the first real script that follows them.
  auto first = std::find_if(scripts.begin(), scripts.end(), [](hb_script_t s) { return !IsNeutral(s); });
  if (first != scripts.end()) std::fill(scripts.begin(), first, *first);
  return scripts;
}

struct TPlacedGlyph {
  TFace* Face;
  uint32_t Id;
  int64_t X, Y;  // 1/64 pixel; X from the line's left edge, Y downwards from the baseline
};

struct TLine {
  std::vector<TPlacedGlyph> Glyphs;
  int32_t Width = 0;  // pixels
};

struct TRun {
  std::vector<TPlacedGlyph> Glyphs;  // X relative to the run's start
  int64_t Advance = 0;
};

// Splits the line into runs of one font, one script and one direction,
// shapes each run with its font and puts the runs in visual order.
TLine ShapeLine(std::string_view bytes, int32_t primaryId, TFace* primary, int32_t pixelSize) {
  TLine line;
  std::u32string cps = DecodeLine(bytes);
  // Trailing spaces are neither measured nor aligned nor underlined.
  while (!cps.empty() && (cps.back() == 0x20 || cps.back() == 0x3000)) cps.pop_back();
  if (cps.empty()) return line;
  TFaceCache& cache = TFaceCache::ForThisThread();
  const std::vector<int32_t> fonts = TFontCatalog::Instance().FontsFor(primaryId, cps);
  const std::vector<hb_script_t> scripts = ResolveScripts(cps);
  const std::vector<uint8_t> levels = text::ResolveBidiLevels(cps);
  hb_buffer_t* buffer = cache.Buffer();

  std::vector<TRun> runs;
  std::vector<uint8_t> runLevels;
  size_t start = 0;
  while (start < cps.size()) {
    size_t end = start + 1;
    while (end < cps.size() && fonts[end] == fonts[start] && scripts[end] == scripts[start] &&
           levels[end] == levels[start])
      ++end;
    TFace* face = fonts[start] == primaryId ? primary : cache.Get(fonts[start], pixelSize);
    if (!face) face = primary;

    hb_buffer_clear_contents(buffer);
    // The whole line is passed as context, so that joining scripts join
    // across a change of font.
    hb_buffer_add_utf32(buffer, reinterpret_cast<const uint32_t*>(cps.data()), static_cast<int>(cps.size()),
                        static_cast<unsigned>(start), static_cast<int>(end - start));
    hb_buffer_set_flags(buffer, static_cast<hb_buffer_flags_t>((start == 0 ? HB_BUFFER_FLAG_BOT : 0) |
                                                               (end == cps.size() ? HB_BUFFER_FLAG_EOT : 0)));
    if (!IsNeutral(scripts[start])) hb_buffer_set_script(buffer, scripts[start]);
    hb_buffer_set_direction(buffer, levels[start] % 2 ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(face->Font(), buffer, nullptr, 0);

    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
    TRun run;
    run.Glyphs.reserve(count);
    for (unsigned g = 0; g < count; ++g) {
      run.Glyphs.push_back(
          {face, infos[g].codepoint, run.Advance + positions[g].x_offset, -int64_t(positions[g].y_offset)});
      run.Advance += positions[g].x_advance;
      if (positions[g].x_advance != 0) run.Advance += face->BoldAdvance();
    }
    runs.push_back(std::move(run));
    runLevels.push_back(levels[start]);
    start = end;
  }

  int64_t pen = 0;
  for (size_t index : text::VisualRunOrder(runLevels)) {
    const TRun& run = runs[index];
    for (TPlacedGlyph glyph : run.Glyphs) {
      glyph.X += pen;
      line.Glyphs.push_back(glyph);
    }
    pen += run.Advance;
  }
  line.Width = std::max(0, Round26(pen));
  return line;
}

struct TBox {
  int64_t Left, Top, Right, Bottom;
  void Include(int64_t l, int64_t t, int64_t r, int64_t b) {
    Left = std::min(Left, l);
    Top = std::min(Top, t);
    Right = std::max(Right, r);
    Bottom = std::max(Bottom, b);
  }
};

struct TBar {
  int64_t Left, Top, Right, Bottom;
};

// Underline and strike-out rows relative to the baseline (downwards), from
// the font's own tables: post for the underline, OS/2 for the strike-out.
struct TDecoration {
  int32_t UnderlineTop = 0, UnderlineHeight = 0;
  int32_t StrikeTop = 0, StrikeHeight = 0;
};

TDecoration DecorationOf(FT_Face face) {
  TDecoration d;
  const FT_Fixed scale = face->size->metrics.y_scale;
  const int32_t thickness = std::max(1, Round26(FT_MulFix(face->underline_thickness, scale)));
  // FreeType gives the centre of the underline stroke, negative below the baseline.
  const int32_t centre = Round26(-FT_MulFix(face->underline_position, scale));
  d.UnderlineHeight = thickness;
  d.UnderlineTop = std::max(1, centre - thickness / 2);
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
    d.StrikeHeight = std::max(1, Round26(FT_MulFix(os2->yStrikeoutSize, scale)));
    d.StrikeTop = -Round26(FT_MulFix(os2->yStrikeoutPosition, scale));
  } else {
    // No OS/2 table: about half the height of a lower-case letter.
    d.StrikeHeight = thickness;
    d.StrikeTop = -Round26(FT_MulFix(face->units_per_EM / 4, scale)) - thickness / 2;
  }
  return d;
}

}  // namespace

std::vector<std::string> InstalledFontFamilies() { return TFontCatalog::Instance().Families(); }

bool IsFontFamilyInstalled(const std::string& family) { return TFontCatalog::Instance().IsInstalled(family); }

void SetMaxTextPixelSize(double pixels) { g_maxPixelSize.store(pixels, std::memory_order_relaxed); }

void RenderText(const std::string& text, const TTextFont& font, TTextJustify justify, TBitmap32& target) {
  target.SetSize(0, 0);
  if (text.empty() || font.Size <= 0) return;
  const double pixels = std::round(font.Size * 96.0 / 72.0);
  if (pixels < 1) return;
  if (pixels > g_maxPixelSize.load(std::memory_order_relaxed)) RaiseTooLarge();
  const auto pixelSize = static_cast<int32_t>(pixels);

  // Huge sizes leave huge glyph images behind: bound the caches once this
  // rendering no longer needs them, however it ends.
  struct TTrimAfterwards {
    TFaceCache& Cache;
    ~TTrimAfterwards() { Cache.Trim(); }
  } trim{TFaceCache::ForThisThread()};
  TFaceCache& cache = trim.Cache;
  const int32_t primaryId = TFontCatalog::Instance().Resolve(font.Family, font.Bold, font.Italic);
  TFace* primary = cache.Get(primaryId, pixelSize);
  if (!primary) return;
  FT_Face face = primary->Face();

  // Line spacing as the font defines it (ascender - descender + line gap),
  // kept fractional so that n lines are n times as high as one.
  const FT_Fixed yScale = face->size->metrics.y_scale;
  const int64_t ascender = FT_MulFix(face->ascender, yScale);
  const int64_t spacing = std::max<int64_t>(FT_MulFix(face->height, yScale), 64);

  const std::vector<std::string_view> lineTexts = SplitLines(text);
  std::vector<TLine> lines;
  lines.reserve(lineTexts.size());
  int32_t widest = 0;
  for (std::string_view lineText : lineTexts) {
    lines.push_back(ShapeLine(lineText, primaryId, primary, pixelSize));
    widest = std::max(widest, lines.back().Width);
  }

  if (widest > kMaxSide || static_cast<int64_t>(lines.size()) * spacing / 64 > kMaxSide) RaiseTooLarge();

  const TDecoration decoration = DecorationOf(face);
  std::vector<TBar> bars;
  struct TInk {
    const TGlyphImage* Image;
    int64_t X, Y;
  };
  std::vector<TInk> inks;
  TBox box{0, 0, widest, (static_cast<int64_t>(lines.size()) * spacing + 63) >> 6};
  bool anything = widest > 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const TLine& line = lines[i];
    int64_t left = 0;
    if (justify == tjCenter)
      left = (widest - line.Width) / 2;
    else if (justify == tjFar)
      left = widest - line.Width;
    const int64_t baseline = Round26(ascender + static_cast<int64_t>(i) * spacing);
    for (const TPlacedGlyph& glyph : line.Glyphs) {
      const TGlyphImage& image = glyph.Face->Glyph(glyph.Id);
      if (image.Coverage.empty()) continue;
      const int64_t x = left + Round26(glyph.X) + image.Left;
      const int64_t y = baseline + Round26(glyph.Y) - image.Top;
      inks.push_back({&image, x, y});
      box.Include(x, y, x + image.Width, y + image.Height);
      anything = true;
    }
    if (line.Width == 0) continue;
    if (font.Underline) {
      const int64_t top = baseline + decoration.UnderlineTop;
      bars.push_back({left, top, left + line.Width, top + decoration.UnderlineHeight});
    }
    if (font.StrikeOut) {
      const int64_t top = baseline + decoration.StrikeTop;
      bars.push_back({left, top, left + line.Width, top + decoration.StrikeHeight});
    }
  }
  for (const TBar& bar : bars) box.Include(bar.Left, bar.Top, bar.Right, bar.Bottom);
  if (!anything) return;

  const int64_t width = box.Right - box.Left, height = box.Bottom - box.Top;
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) RaiseTooLarge();

  // Overlapping glyphs add their coverage (saturating): where the anti-aliased
  // edges of joined glyphs meet, the halves make a whole instead of a seam.
  std::vector<uint8_t> coverage(static_cast<size_t>(width * height), 0);
  auto addCoverage = [&](uint8_t* dst, uint8_t value) {
    const unsigned sum = unsigned(*dst) + value;
    *dst = static_cast<uint8_t>(sum > 255 ? 255 : sum);
  };
  for (const TInk& ink : inks) {
    const TGlyphImage& image = *ink.Image;
    for (int32_t gy = 0; gy < image.Height; ++gy) {
      uint8_t* row = coverage.data() + static_cast<size_t>(ink.Y - box.Top + gy) * width + (ink.X - box.Left);
      const uint8_t* src = image.Coverage.data() + static_cast<size_t>(gy) * image.Width;
      for (int32_t gx = 0; gx < image.Width; ++gx)
        if (src[gx]) addCoverage(row + gx, src[gx]);
    }
  }
  for (const TBar& bar : bars) {
    for (int64_t y = bar.Top; y < bar.Bottom; ++y) {
      uint8_t* row = coverage.data() + static_cast<size_t>(y - box.Top) * width;
      std::fill(row + (bar.Left - box.Left), row + (bar.Right - box.Left), uint8_t(255));
    }
  }

  target.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height));
  const TColor32 rgb = font.Color & 0x00FFFFFFu;
  const uint32_t alpha = AlphaOf(font.Color);
  TColor32* pixel = target.Bits();
  for (size_t i = 0; i < coverage.size(); ++i)
    pixel[i] = rgb | (TColor32((coverage[i] * alpha + 127) / 255) << 24);
}

}  // namespace tvx
