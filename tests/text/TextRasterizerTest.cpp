#include "raster/TextRasterizer.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>

#include <fontconfig/fontconfig.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "util/Error.h"

// fontconfig 2.14 loses a few bytes while parsing its configuration; they
// are not ours to free. (Read by LeakSanitizer in the asan preset only.)

namespace tvx {
namespace {

// The family the tests draw with; fonts-dejavu-core is a build dependency.
const char* const kDejaVu = "DejaVu Sans";
// A family with only a regular face, so bold and italic are synthetic.
const char* const kRegularOnly = "WenQuanYi Micro Hei";

TTextFont Font(int32_t size = 16, const char* family = kDejaVu) {
  TTextFont font;
  font.Family = family;
  font.Size = size;
  font.Color = 0xFF000000;
  return font;
}

TBitmap32 Render(const std::string& text, const TTextFont& font, TTextJustify justify = tjNear) {
  TBitmap32 bitmap;
  RenderText(text, font, justify, bitmap);
  return bitmap;
}

struct TInk {
  int32_t Left = INT32_MAX, Top = INT32_MAX, Right = -1, Bottom = -1;  // inclusive
  int64_t Sum = 0;                                                     // total alpha
  bool Empty() const { return Right < 0; }
  int32_t Width() const { return Empty() ? 0 : Right - Left + 1; }
  int32_t Height() const { return Empty() ? 0 : Bottom - Top + 1; }
};

// Ink inside the rows [top, bottom) (the whole bitmap by default).
TInk InkOf(const TBitmap32& b, int32_t top = 0, int32_t bottom = INT32_MAX) {
  TInk ink;
  for (int32_t y = std::max(0, top); y < std::min(b.Height(), bottom); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) {
      const uint8_t a = AlphaOf(b.Pixel(x, y));
      if (!a) continue;
      ink.Left = std::min(ink.Left, x);
      ink.Right = std::max(ink.Right, x);
      ink.Top = std::min(ink.Top, y);
      ink.Bottom = std::max(ink.Bottom, y);
      ink.Sum += a;
    }
  return ink;
}

// Rows that hold ink, as [first, last] ranges from the top.
std::vector<std::pair<int32_t, int32_t>> InkBands(const TBitmap32& b) {
  std::vector<std::pair<int32_t, int32_t>> bands;
  bool inside = false;
  for (int32_t y = 0; y < b.Height(); ++y) {
    const bool ink = !InkOf(b, y, y + 1).Empty();
    if (ink && !inside) bands.push_back({y, y});
    if (ink) bands.back().second = y;
    inside = ink;
  }
  return bands;
}

// Alpha-weighted mean column of the rows [top, bottom).
double CentroidX(const TBitmap32& b, int32_t top, int32_t bottom) {
  double sum = 0, weighted = 0;
  for (int32_t y = top; y < bottom; ++y)
    for (int32_t x = 0; x < b.Width(); ++x) {
      const double a = AlphaOf(b.Pixel(x, y));
      sum += a;
      weighted += a * x;
    }
  return sum > 0 ? weighted / sum : 0;
}

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  return std::equal(a.Bits(), a.Bits() + size_t(a.Width()) * a.Height(), b.Bits());
}

bool FamilyInstalled(const char* family) {
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
  const bool found = fonts && fonts->nfont > 0;
  if (fonts) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return found;
}

bool AnyFontCovers(char32_t cp) {
  FcPattern* pattern = FcPatternCreate();
  FcCharSet* chars = FcCharSetCreate();
  FcCharSetAddChar(chars, cp);
  FcPatternAddCharSet(pattern, FC_CHARSET, chars);
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
  const bool found = fonts && fonts->nfont > 0;
  if (fonts) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcCharSetDestroy(chars);
  FcPatternDestroy(pattern);
  return found;
}

class TextRasterizerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FamilyInstalled(kDejaVu)) GTEST_SKIP() << "DejaVu Sans is not installed";
  }
};

TEST_F(TextRasterizerTest, SixteenPointsAreTwentyOnePixels) {
  // DejaVu Sans: capital height 1493/2048 em, line spacing 2384/2048 em.
  const TBitmap32 b = Render("H\nH", Font(16));
  const auto bands = InkBands(b);
  ASSERT_EQ(bands.size(), 2u);
  const double em = std::round(16 * 96.0 / 72.0);
  EXPECT_EQ(em, 21);
  EXPECT_NEAR(bands[0].second - bands[0].first + 1, em * 1493 / 2048, 1.0);
  EXPECT_NEAR(bands[1].first - bands[0].first, em * 2384 / 2048, 1.0);
  // The uncropped bitmap is the measured box: two line spacings high.
  EXPECT_NEAR(b.Height(), 2 * em * 2384 / 2048, 1.0);
}

TEST_F(TextRasterizerTest, UnknownFamilyFallsBackToSansSerif) {
  const TBitmap32 fallback = Render("Fallback", Font(16, "No Such Family Tarvex"));
  EXPECT_GT(InkOf(fallback).Sum, 0);
  EXPECT_TRUE(SamePixels(fallback, Render("Fallback", Font(16, "sans-serif"))));
  EXPECT_TRUE(SamePixels(fallback, Render("Fallback", Font(16, ""))));
  // Generic names are taken as fontconfig resolves them.
  const TTextFont mono = Font(16, "monospace");
  EXPECT_EQ(Render("iiiiii", mono).Width(), Render("MMMMMM", mono).Width());
  EXPECT_LT(Render("iiiiii", Font(16, "No Such Family Tarvex")).Width(), Render("MMMMMM", mono).Width());
}

TEST_F(TextRasterizerTest, TheFamilyListHoldsOnlyFamiliesThatDrawWithTheirOwnFaces) {
  const std::vector<std::string> families = InstalledFontFamilies();
  ASSERT_FALSE(families.empty());
  EXPECT_NE(std::find(families.begin(), families.end(), kDejaVu), families.end());
  EXPECT_TRUE(std::is_sorted(
      families.begin(), families.end(),
      [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; }));
  EXPECT_EQ(std::adjacent_find(families.begin(), families.end()), families.end());
  for (const std::string& family : families) {
    EXPECT_TRUE(IsFontFamilyInstalled(family)) << family;
    EXPECT_TRUE(FamilyInstalled(family.c_str())) << family;
  }
  EXPECT_FALSE(IsFontFamilyInstalled("No Such Family Tarvex"));
  EXPECT_FALSE(IsFontFamilyInstalled(""));
  EXPECT_TRUE(IsFontFamilyInstalled("sans-serif"));
}

TEST_F(TextRasterizerTest, BoldIsWiderAndDarker) {
  for (const char* family : {kDejaVu, kRegularOnly}) {
    if (!FamilyInstalled(family)) continue;
    SCOPED_TRACE(family);
    TTextFont font = Font(24, family);
    const TInk regular = InkOf(Render("Hamburgefonts", font));
    font.Bold = true;
    const TInk bold = InkOf(Render("Hamburgefonts", font));
    EXPECT_GT(bold.Width(), regular.Width() + 3);
    EXPECT_GT(bold.Sum, regular.Sum * 1.15);
  }
}

TEST_F(TextRasterizerTest, ItalicSlantsToTheRight) {
  for (const char* family : {kDejaVu, kRegularOnly}) {
    if (!FamilyInstalled(family)) continue;
    SCOPED_TRACE(family);
    TTextFont font = Font(48, family);
    auto slant = [&](const TBitmap32& b) {
      const TInk ink = InkOf(b);
      const int32_t quarter = ink.Height() / 4;
      return CentroidX(b, ink.Top, ink.Top + quarter) -
             CentroidX(b, ink.Bottom + 1 - quarter, ink.Bottom + 1);
    };
    const double upright = slant(Render("l", font));
    font.Italic = true;
    const double italic = slant(Render("l", font));
    EXPECT_NEAR(upright, 0, 1.0);
    // About 0.2 of the height of the stem between the quarters' centres.
    EXPECT_GT(italic, 5.0);
  }
}

TEST_F(TextRasterizerTest, UnderlineAndStrikeOutAddRowsAtTheirHeights) {
  TTextFont font = Font(32);
  const TBitmap32 plain = Render("HHHH", font);
  const TInk letters = InkOf(plain);  // capital H: from cap height down to the baseline
  font.Underline = true;
  const TBitmap32 underlined = Render("HHHH", font);
  font.Underline = false;
  font.StrikeOut = true;
  const TBitmap32 struck = Render("HHHH", font);
  ASSERT_EQ(underlined.Height(), plain.Height());
  ASSERT_EQ(struck.Height(), plain.Height());

  auto addedRows = [&](const TBitmap32& b) {
    std::vector<int32_t> rows;
    for (int32_t y = 0; y < b.Height(); ++y)
      if (InkOf(b, y, y + 1).Sum > InkOf(plain, y, y + 1).Sum) rows.push_back(y);
    return rows;
  };
  const auto underlineRows = addedRows(underlined);
  ASSERT_FALSE(underlineRows.empty());
  EXPECT_GT(underlineRows.front(), letters.Bottom);            // below the baseline
  EXPECT_LE(underlineRows.back() - underlineRows.front(), 4);  // a thin line
  // It spans the line: starts at the pen origin, ends at the advance.
  const TInk underline = InkOf(underlined, underlineRows.front(), underlineRows.front() + 1);
  EXPECT_LE(underline.Left, letters.Left);
  EXPECT_GE(underline.Right, letters.Right);

  const auto strikeRows = addedRows(struck);
  ASSERT_FALSE(strikeRows.empty());
  const double middle = (strikeRows.front() + strikeRows.back()) / 2.0;
  // Strike-out sits at about the middle of the x-height (above the bar of the H would
  // collide; DejaVu puts it at 0.26 em).
  EXPECT_GT(middle, letters.Top + letters.Height() * 0.45);
  EXPECT_LT(middle, letters.Bottom - letters.Height() * 0.2);
}

TEST_F(TextRasterizerTest, JustifiesShortLineUnderLongLine) {
  const TTextFont font = Font(20);
  auto secondLine = [&](TTextJustify justify, TInk& first) {
    const TBitmap32 b = Render("MMMMMMMMMM\nnn", font, justify);
    const auto bands = InkBands(b);
    EXPECT_EQ(bands.size(), 2u);
    first = InkOf(b, bands[0].first, bands[0].second + 1);
    return InkOf(b, bands[1].first, bands[1].second + 1);
  };
  TInk longLine;
  const TInk nearLine = secondLine(tjNear, longLine);
  EXPECT_NEAR(nearLine.Left, longLine.Left, 3);
  const TInk farLine = secondLine(tjFar, longLine);
  EXPECT_NEAR(farLine.Right, longLine.Right, 3);
  const TInk centred = secondLine(tjCenter, longLine);
  EXPECT_NEAR((centred.Left + centred.Right) / 2.0, (longLine.Left + longLine.Right) / 2.0, 2.0);
  EXPECT_EQ(centred.Width(), nearLine.Width());
}

TEST_F(TextRasterizerTest, EmptyTextAndBlankLines) {
  const TTextFont font = Font(16);
  // Nothing to measure gives an empty bitmap; the layer's crop turns it into 1 x 1.
  for (const char* blank : {"", "\r\n", "\n\n\r", "   ", "  \r\n "}) {
    SCOPED_TRACE(testing::PrintToString(blank));
    const TBitmap32 b = Render(blank, font);
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
  }
  // Empty lines keep their height, before and after the text.
  const TBitmap32 below = Render("\nA", font), above = Render("A\n", font), single = Render("A", font);
  EXPECT_EQ(below.Height(), above.Height());
  EXPECT_NEAR(above.Height(), 2 * single.Height(), 1);
  EXPECT_NEAR(InkOf(below).Top - InkOf(above).Top, 21.0 * 2384 / 2048, 1.0);
  // Leading spaces count, trailing spaces do not.
  EXPECT_GT(InkOf(Render("  A", font)).Left, InkOf(single).Left + 4);
  EXPECT_EQ(Render("A  ", font).Width(), single.Width());
  // A zero or negative size has nothing to draw.
  EXPECT_TRUE(Render("A", Font(0)).Empty());
  EXPECT_TRUE(Render("A", Font(-5)).Empty());
}

TEST_F(TextRasterizerTest, GlyphsAreCoverageOnTheFontColour) {
  TTextFont font = Font(24);
  font.Color = 0xFF3366CC;
  const TBitmap32 opaque = Render("Colour", font);
  font.Color = 0x803366CC;
  const TBitmap32 half = Render("Colour", font);
  ASSERT_TRUE(opaque.Width() == half.Width() && opaque.Height() == half.Height());
  int32_t full = 0, partial = 0;
  uint8_t maxHalf = 0;
  for (int32_t y = 0; y < opaque.Height(); ++y)
    for (int32_t x = 0; x < opaque.Width(); ++x) {
      const TColor32 p = opaque.Pixel(x, y), q = half.Pixel(x, y);
      ASSERT_EQ(p & 0xFFFFFF, 0x3366CCu);  // straight alpha: the colour everywhere
      ASSERT_EQ(q & 0xFFFFFF, 0x3366CCu);
      const uint8_t a = AlphaOf(p);
      full += a == 255;
      partial += a > 0 && a < 255;  // anti-aliased edges
      ASSERT_NEAR(AlphaOf(q), (a * 0x80 + 127) / 255, 0);
      maxHalf = std::max(maxHalf, AlphaOf(q));
    }
  EXPECT_GT(full, 50);
  EXPECT_GT(partial, 20);
  EXPECT_EQ(maxHalf, 0x80);
  font.Color = 0x003366CC;
  EXPECT_EQ(InkOf(Render("Colour", font)).Sum, 0);
}

TEST_F(TextRasterizerTest, OverlappingGlyphsAddTheirCoverage) {
  // Two identical overlay strokes (U+0336) sit on the same spot: their soft
  // edges add up (saturating), so joins of touching glyphs leave no seams.
  const TBitmap32 one = Render("o\xCC\xB6", Font(24)), two = Render("o\xCC\xB6\xCC\xB6", Font(24));
  ASSERT_TRUE(one.Width() == two.Width() && one.Height() == two.Height());
  int32_t doubled = 0;
  for (int32_t y = 0; y < one.Height(); ++y)
    for (int32_t x = 0; x < one.Width(); ++x) {
      const int a = AlphaOf(one.Pixel(x, y)), b = AlphaOf(two.Pixel(x, y));
      ASSERT_GE(b, a);
      ASSERT_LE(b, std::min(255, 2 * a));
      doubled += a > 0 && a < 128 && b == 2 * a;
    }
  EXPECT_GT(doubled, 0);
}

TEST_F(TextRasterizerTest, SymbolsDrawWithDejaVu) {
  for (const char* symbol : {"\xC2\xA9", "\xE2\x84\xA2"}) {  // (c), TM
    SCOPED_TRACE(symbol);
    const TInk ink = InkOf(Render(symbol, Font(24)));
    EXPECT_GT(ink.Width(), 8);
    EXPECT_GT(ink.Sum, 255 * 10);
  }
}

TEST_F(TextRasterizerTest, KerningPullsPairsTogether) {
  const TTextFont font = Font(48);
  const int32_t a = Render("A", font).Width(), v = Render("V", font).Width();
  const int32_t av = Render("AV", font).Width();
  EXPECT_LT(av, a + v - 2);
  // Ligatures and kerning do not change a pair without a kerning entry much.
  const int32_t h = Render("H", font).Width();
  EXPECT_NEAR(Render("HH", font).Width(), 2 * h, 1);
}

TEST_F(TextRasterizerTest, RightToLeftLineInVisualOrder) {
  const std::string alef = "\xD7\x90", bet = "\xD7\x91";  // Hebrew letters
  if (!AnyFontCovers(0x05D0)) GTEST_SKIP() << "no font covers Hebrew";
  const TTextFont font = Font(32);
  const TBitmap32 word = Render(alef + bet, font), first = Render(alef, font), second = Render(bet, font);
  ASSERT_GT(InkOf(word).Sum, 0);
  // Written right to left: bet (second in memory) is on the left.
  const TInk b = InkOf(second);
  int32_t differences = 0;
  for (int32_t y = 0; y < second.Height(); ++y)
    for (int32_t x = b.Left; x <= b.Right; ++x)
      differences += AlphaOf(word.Pixel(x, y)) != AlphaOf(second.Pixel(x, y));
  EXPECT_EQ(differences, 0);
  EXPECT_EQ(word.Width(), first.Width() + second.Width());

  // A number inside right-to-left text still reads left to right, on the left of the letter.
  const TBitmap32 year = Render(alef + " 2026", font), digits = Render("2026", font);
  const TInk d = InkOf(digits);
  differences = 0;
  for (int32_t y = 0; y < digits.Height(); ++y)
    for (int32_t x = d.Left; x <= d.Right; ++x)
      differences += AlphaOf(year.Pixel(x, y)) != AlphaOf(digits.Pixel(x, y));
  EXPECT_EQ(differences, 0);

  if (!AnyFontCovers(0x0645)) GTEST_SKIP() << "no font covers Arabic";
  const TBitmap32 arabic = Render("\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7", font);  // marhaba
  EXPECT_GT(InkOf(arabic).Sum, 255 * 50);
}

TEST_F(TextRasterizerTest, MissingCharactersComeFromAnotherFont) {
  if (!AnyFontCovers(0x4E2D)) GTEST_SKIP() << "no installed font covers CJK";
  const TTextFont font = Font(24);
  const TBitmap32 mixed = Render("A\xE4\xB8\xAD\xE6\x96\x87", font);  // A + two CJK ideographs
  const TBitmap32 latin = Render("A", font);
  const TInk ink = InkOf(mixed);
  // Two ideographs of about one em each follow the A, drawn with real strokes.
  EXPECT_GT(ink.Width(), latin.Width() + 2 * 18);
  const TInk ideographs = InkOf(Render("\xE4\xB8\xAD\xE6\x96\x87", font));
  EXPECT_GT(ideographs.Sum, 255 * 60);
  // Not DejaVu's replacement boxes: two different shapes.
  const TBitmap32 one = Render("\xE4\xB8\xAD", font), other = Render("\xE6\x96\x87", font);
  EXPECT_FALSE(SamePixels(one, other));
}

TEST_F(TextRasterizerTest, MalformedUtf8StillRenders) {
  const TInk ink = InkOf(Render("A\xFF\xC3(B\xE2\x82", Font(16)));
  EXPECT_GT(ink.Width(), 30);
}

TEST_F(TextRasterizerTest, RefusesTextTooLargeToHold) { EXPECT_THROW(Render("A", Font(100000)), EError); }

TEST_F(TextRasterizerTest, ThreadsRenderTheSamePixels) {
  struct TCase {
    std::string Text;
    TTextFont Font;
  };
  std::vector<TCase> cases;
  TTextFont font = Font(18);
  cases.push_back({"Thread one\r\nline two", font});
  font.Bold = true;
  font.Underline = true;
  cases.push_back({"Bold (c) \xE2\x84\xA2", font});
  font = Font(30);
  font.Italic = true;
  font.StrikeOut = true;
  cases.push_back({"Italic \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", font});
  cases.push_back({"\xE4\xB8\xAD\xE6\x96\x87 <FILE>", Font(22, "No Such Family Tarvex")});

  std::vector<TBitmap32> expected;
  for (const TCase& c : cases) expected.push_back(Render(c.Text, c.Font, tjCenter));

  std::vector<int> mismatches(2, 0);
  auto work = [&](int worker) {
    for (int round = 0; round < 25; ++round)
      for (size_t i = 0; i < cases.size(); ++i) {
        const size_t k = (i + worker) % cases.size();
        if (!SamePixels(Render(cases[k].Text, cases[k].Font, tjCenter), expected[k])) ++mismatches[worker];
      }
  };
  std::thread first(work, 0), second(work, 1);
  first.join();
  second.join();
  EXPECT_EQ(mismatches[0], 0);
  EXPECT_EQ(mismatches[1], 0);
}

// Not a timed assertion: prints how long a watermark-sized text takes, the
// first time (fonts opened, glyphs rendered) and once the caches are warm.
TEST_F(TextRasterizerTest, ReportsRenderTime) {
  using Clock = std::chrono::steady_clock;
  // A fresh thread starts with empty font caches.
  std::thread([] {
    TTextFont font = Font(48);
    font.Bold = true;
    const std::string text = "Copyright 2026 Tarvex\r\nphoto_0042.jpg";
    const auto start = Clock::now();
    const TBitmap32 firstRender = Render(text, font, tjCenter);
    const double first = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    std::vector<double> times;
    for (int i = 0; i < 41; ++i) {
      const auto t = Clock::now();
      const TBitmap32 b = Render(text, font, tjCenter);
      times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t).count());
      EXPECT_TRUE(SamePixels(b, firstRender));
    }
    std::sort(times.begin(), times.end());
    std::printf("[ timing   ] 48 pt two-line text %dx%d: first %.0f us, cached median %.0f us\n",
                firstRender.Width(), firstRender.Height(), first, times[times.size() / 2]);
  }).join();
}

}  // namespace
}  // namespace tvx
