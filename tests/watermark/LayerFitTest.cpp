// Layers that fit every picture: relative size, orientation rules, turning,
// and the base block that stores them.
#include <gtest/gtest.h>

#include <cmath>

#include "WatermarkTestUtil.h"
#include "raster/Rotate.h"
#include "styles/FilterParams.h"
#include "util/Error.h"
#include "util/Utils.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace tvx {
namespace {

using test::AddPictureLayer;
using test::ErrorOf;

constexpr TColor32 kRed = 0xFFFF0000;

uint8_t AlphaOf(TColor32 c) { return uint8_t(c >> 24); }

// ---- relative size -------------------------------------------------------------------------

struct SizeCase {
  uint8_t mode;
  int32_t pictureWidth, pictureHeight;
  int32_t expectedWidth, expectedHeight;  // of a 200 x 100 content at 10 %
};

class RelativeSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RelativeSize, ScalesTheContentKeepingItsAspectRatio) {
  const SizeCase& c = GetParam();
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 200, 100, kRed);
  layer->SizeMode = c.mode;
  layer->SizePercent = 10;
  const TFloatRect r = layer->GetLayerRect(c.pictureWidth, c.pictureHeight);
  EXPECT_EQ(r.Left, 0);
  EXPECT_EQ(r.Top, 0);
  EXPECT_EQ(r.Width(), float(c.expectedWidth));
  EXPECT_EQ(r.Height(), float(c.expectedHeight));

  // Drawn at that size: the right-hand column of the content is the last red one.
  TBitmap32 picture(c.pictureWidth, c.pictureHeight);
  picture.Clear(0xFF000000);
  layer->DrawOnto(picture, 1.0);
  EXPECT_EQ(picture.Pixel(c.expectedWidth - 1, c.expectedHeight / 2) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(picture.Pixel(c.expectedWidth + 1, c.expectedHeight / 2), 0xFF000000u);
  // the layer's own bitmaps stay as they were
  EXPECT_EQ(layer->SourceBitmap().Width(), 200);
  EXPECT_EQ(layer->RenderedBitmap().Width(), 200);
}

INSTANTIATE_TEST_SUITE_P(Fit, RelativeSize,
                         ::testing::Values(
                             // landscape 1200 x 800, portrait 800 x 1200, square 1000 x 1000
                             SizeCase{lsFixed, 1200, 800, 200, 100}, SizeCase{lsFixed, 800, 1200, 200, 100},
                             SizeCase{lsWidth, 1200, 800, 120, 60}, SizeCase{lsWidth, 800, 1200, 80, 40},
                             SizeCase{lsWidth, 1000, 1000, 100, 50}, SizeCase{lsHeight, 1200, 800, 160, 80},
                             SizeCase{lsHeight, 800, 1200, 240, 120},
                             SizeCase{lsHeight, 1000, 1000, 200, 100}, SizeCase{lsShorter, 1200, 800, 80, 40},
                             SizeCase{lsShorter, 800, 1200, 80, 40}, SizeCase{lsShorter, 1000, 1000, 100, 50},
                             SizeCase{lsLonger, 1200, 800, 120, 60}, SizeCase{lsLonger, 800, 1200, 120, 60},
                             SizeCase{lsLonger, 1000, 1000, 100, 50},
                             SizeCase{lsShorterHeight, 1200, 800, 160, 80},
                             SizeCase{lsShorterHeight, 800, 1200, 160, 80},
                             SizeCase{lsShorterHeight, 1000, 1000, 200, 100}));

TEST(Fit, SameShareOnSmallAndLargePictures) {
  // About 1 MP and 24 MP of the same shape; the layer covers the same share.
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 300, 100, kRed);
  layer->HAlign = haRight;
  layer->VAlign = vaBottom;
  layer->XUnit = layer->YUnit = cuPercent;
  layer->XCoord = layer->YCoord = 3;
  for (uint8_t mode : {lsWidth, lsHeight, lsShorter, lsLonger, lsShorterHeight}) {
    layer->SizeMode = mode;
    layer->SizePercent = 20;
    const TFloatRect small = layer->GetLayerRect(1224, 816);
    const TFloatRect large = layer->GetLayerRect(6000, 4000);
    EXPECT_NEAR(small.Width() / 1224, large.Width() / 6000, 1.0 / 1224) << int(mode);
    EXPECT_NEAR(small.Height() / 816, large.Height() / 4000, 1.0 / 816) << int(mode);
    EXPECT_NEAR(small.Right / 1224, large.Right / 6000, 1.0 / 1224) << int(mode);
    EXPECT_NEAR(small.Right, 1224 * 0.97, 0.01);
    EXPECT_NEAR(large.Bottom, 4000 * 0.97, 0.01);
  }
}

TEST(Fit, SizeIsAppliedBeforeTheStyles) {
  // A style that adds 8 columns adds them at every size: it is applied to
  // the scaled content, not scaled with it.
  RegisterFilter(
      "Fit Grow",
      [](const TBitmap32&, TBitmap32& target, int32_t& dx, int32_t&, const TFilterParams* params) {
        if (!params) return;
        TBitmap32 grown(target.Width() + 8, target.Height());
        grown.Clear(0);
        for (int y = 0; y < target.Height(); ++y)
          for (int x = 0; x < target.Width(); ++x) grown.Pixel(x + 8, y) = target.Pixel(x, y);
        target = grown;
        dx += 8;
      },
      0);
  TFiltersParams styles;
  styles.Items["Fit Grow"] = TFilterParams(std::vector<uint8_t>{'F', 'G', 'R', 'W'});
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 100, 50, kRed);
  layer->SetStyles(styles);
  layer->SizeMode = lsWidth;
  layer->SizePercent = 50;
  layer->XCoord = 10;
  for (int32_t width : {400, 1000}) {
    const TFloatRect r = layer->GetLayerRect(width, 500);
    EXPECT_EQ(r.Width(), float(width / 2 + 8)) << width;
    EXPECT_EQ(r.Left, 10 - 8) << width;  // the content, not the style, is placed
    float x, y;
    layer->SetLocation(r);
    layer->LocationToCoords(width, 500, x, y);
    EXPECT_FLOAT_EQ(x, 10) << width;
  }
}

struct LineHeightCase {
  const char* text;
  int32_t width, height;
  float percent;
  int32_t lineHeight;  // pixels: the font's pixel size asked for
};

class TextLineHeight : public ::testing::TestWithParam<LineHeightCase> {};

// The share of the shorter side is the text's line height (its font's pixel
// size), whatever its letters: the inked box is what that size draws.
TEST_P(TextLineHeight, IsTheShareOfTheShorterSide) {
  const LineHeightCase& c = GetParam();
  TLayerCollection layers;
  auto* text = &layers.Add<TTextLayer>();
  text->Text = c.text;
  text->Font.Size = 38;  // 51 pixels, as a composed text of 5 % is rendered
  text->RenderText();
  text->SizeMode = lsShorterHeight;
  text->SizePercent = c.percent;
  const TBaseLayer::TFit& fit = text->FitTo(c.width, c.height);
  const TBitmap32& fitted = text->FittedBitmap(fit);
  EXPECT_EQ(fit.ContentHeight, fitted.Height());
  // Whole points and whole pixels leave a little either way; the inked
  // height is well below the line height (a fifth for "Proof").
  const double line = double(fitted.Height()) * 51 / text->NaturalHeight;
  EXPECT_NEAR(line, c.lineHeight, std::max(2.0, 0.04 * c.lineHeight));
  // the same letters rendered at that size directly
  TLayerCollection other;
  auto* direct = &other.Add<TTextLayer>();
  direct->Text = c.text;
  direct->Font.Size = int32_t(std::lround(c.lineHeight * 72.0 / 96.0));
  direct->RenderText();
  EXPECT_NEAR(fitted.Height(), direct->NaturalHeight, std::max(2.0, 0.04 * direct->NaturalHeight));
  // the width follows the text's own proportions (whole points and pixels give or take a little)
  const double aspect = double(fitted.Width()) / fitted.Height();
  EXPECT_NEAR(aspect / (double(text->NaturalWidth) / text->NaturalHeight), 1.0,
              std::max(0.03, 1.5 / fitted.Height()));
}

INSTANTIATE_TEST_SUITE_P(
    Fit, TextLineHeight,
    ::testing::Values(
        LineHeightCase{"Proof", 1500, 1000, 5, 50}, LineHeightCase{"Proof", 1000, 1500, 5, 50},
        LineHeightCase{"Proof", 1000, 1000, 3.3f, 33},
        // a long value is wider, not lower
        LineHeightCase{"Proof 2026-12-09 Canon EOS 5D Mark IV", 1500, 1000, 5, 50},
        LineHeightCase{"Proof", 300, 200, 10, 20},
        // letters without ascenders or descenders, and with both
        LineHeightCase{"ace", 1500, 1000, 6, 60}, LineHeightCase{"Typography", 1500, 1000, 6, 60},
        LineHeightCase{"Proof", 6000, 4000, 2, 80}, LineHeightCase{"Proof", 1500, 1000, 9.1f, 91},
        LineHeightCase{"Proof", 1500, 1000, 13.7f, 137}, LineHeightCase{"Proof", 1500, 1000, 19.9f, 199},
        LineHeightCase{"Sharp", 1000, 500, 18, 90}, LineHeightCase{"Sharp", 1000, 500, 31.2f, 156}));

// "PROOF" and "proof" at one share get one font size: their inked heights
// differ as the letters do.
TEST(Fit, TextsOfOneLineHeightShareTheirFontSize) {
  double scales[3];
  const char* texts[] = {"PROOF", "proof", "Proof"};
  for (int i = 0; i < 3; ++i) {
    TLayerCollection layers;
    auto* text = &layers.Add<TTextLayer>();
    text->Text = texts[i];
    text->Font.Size = 38;
    text->RenderText();
    text->SizeMode = lsShorterHeight;
    text->SizePercent = 8;
    const TBaseLayer::TFit& fit = text->FitTo(1500, 1000);
    scales[i] = double(text->FittedBitmap(fit).Height()) / text->NaturalHeight;
  }
  EXPECT_NEAR(scales[1] / scales[0], 1.0, 0.03);
  EXPECT_NEAR(scales[2] / scales[0], 1.0, 0.03);
}

TEST(Fit, TextIsRenderedAgainAtTheSizeItIsDrawn) {
  TLayerCollection layers;
  auto* text = &layers.Add<TTextLayer>();
  text->Text = "Sharp";
  text->Font.Size = 8;
  text->RenderText();
  text->SizeMode = lsHeight;
  text->SizePercent = 40;
  const TBaseLayer::TFit& fit = text->FitTo(1000, 500);
  const TBitmap32& fitted = text->FittedBitmap(fit);
  // whole points come within 3 % of the size; placement aligns what was drawn
  ASSERT_NEAR(fitted.Height(), 200, 6);
  EXPECT_EQ(fit.ContentHeight, fitted.Height());
  EXPECT_NEAR(double(fitted.Width()) / fitted.Height(), double(text->NaturalWidth) / text->NaturalHeight,
              0.05);
  // The small text stretched to the same size for comparison.
  TBitmap32 blurred = text->SourceBitmap();
  ResampleBitmap(blurred, fitted.Width(), fitted.Height());
  auto partial = [](const TBitmap32& b) {
    int64_t n = 0;
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width(); ++x) n += AlphaOf(b.Pixel(x, y)) > 0 && AlphaOf(b.Pixel(x, y)) < 255;
    return n;
  };
  // Sharp edges: far fewer half-covered pixels than the upscaled bitmap.
  EXPECT_LT(partial(fitted) * 2, partial(blurred));
  EXPECT_EQ(text->SourceBitmap().Height(), text->NaturalHeight);  // the layer itself is untouched

  // A stretched text keeps its stretch at the exact size.
  text->ResizeTo(text->SourceBitmap().Width() * 2, text->SourceBitmap().Height());
  const TBitmap32& stretched = text->FittedBitmap(text->FitTo(1000, 500));
  EXPECT_EQ(stretched.Height(), 200);
  EXPECT_NEAR(double(stretched.Width()) / stretched.Height(),
              double(text->SourceBitmap().Width()) / text->SourceBitmap().Height(), 0.02);
}

TEST(Fit, EmptyLayersAndPicturesOfNoSizeKeepTheContentSize) {
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 40, 20, kRed);
  layer->SizeMode = lsShorter;
  layer->SizePercent = 50;
  int32_t w, h;
  layer->ContentSizeOn(0, 0, w, h);
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 20);
  layer->ContentSizeOn(100000, 100000, w, h);  // within the resampler's reach
  EXPECT_EQ(w, 10000);
  EXPECT_EQ(h, 5000);
  layer->SizePercent = 1000;  // the most a file holds: at most twice the picture
  layer->ContentSizeOn(60, 30, w, h);
  EXPECT_EQ(w, 120);
  EXPECT_EQ(h, 60);
  layer->SizePercent = std::nanf("");
  layer->ContentSizeOn(100, 100, w, h);
  EXPECT_EQ(w, 40);
  TBaseLayer* empty = &layers.Add<TBitmapLayer>();
  empty->SizeMode = lsWidth;
  TBitmap32 picture(50, 50);
  picture.Clear(0xFF000000);
  empty->DrawOnto(picture, 1.0);
  EXPECT_EQ(picture.Pixel(0, 0), 0xFF000000u);
}

// ---- orientation -----------------------------------------------------------------------------

struct OrientationCase {
  uint8_t orientation;
  int32_t width, height;
  bool drawn;
};

class OrientationRule : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(OrientationRule, DrawsOnlyOnItsPictures) {
  const OrientationCase& c = GetParam();
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 10, 10, kRed);
  layer->Orientation = c.orientation;
  EXPECT_EQ(layer->ShownOn(c.width, c.height), c.drawn);
  for (float angle : {0.0f, 30.0f}) {  // the plain and the fitted path
    layer->Angle = angle;
    TBitmap32 picture(c.width, c.height);
    picture.Clear(0xFF000000);
    layer->DrawOnto(picture, 1.0);
    EXPECT_EQ(picture.Pixel(5, 5) != 0xFF000000u, c.drawn) << angle;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fit, OrientationRule,
    ::testing::Values(OrientationCase{loBoth, 60, 40, true}, OrientationCase{loBoth, 40, 60, true},
                      OrientationCase{loBoth, 50, 50, true}, OrientationCase{loLandscape, 60, 40, true},
                      OrientationCase{loLandscape, 40, 60, false},
                      OrientationCase{loLandscape, 50, 50, true},  // square is landscape
                      OrientationCase{loPortrait, 60, 40, false}, OrientationCase{loPortrait, 40, 60, true},
                      OrientationCase{loPortrait, 50, 50, false}));

TEST(Fit, OneWatermarkHoldsAPlacementForEachOrientation) {
  TLayerCollection layers;
  TBaseLayer* wide = AddPictureLayer(layers, 10, 10, 0xFFFF0000);
  wide->Orientation = loLandscape;
  TBaseLayer* tall = AddPictureLayer(layers, 10, 10, 0xFF00FF00);
  tall->Orientation = loPortrait;
  TBitmap32 landscape(40, 30), portrait(30, 40);
  landscape.Clear(0xFF000000);
  portrait.Clear(0xFF000000);
  wide->DrawOnto(landscape, 1.0);
  tall->DrawOnto(landscape, 1.0);
  wide->DrawOnto(portrait, 1.0);
  tall->DrawOnto(portrait, 1.0);
  EXPECT_EQ(landscape.Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(portrait.Pixel(0, 0), 0xFF00FF00u);
}

// ---- turning ---------------------------------------------------------------------------------

struct AngleCase {
  float angle;
  double boundsWidth, boundsHeight;  // of the turned 200 x 100 content
};

class Turning : public ::testing::TestWithParam<AngleCase> {};

TEST_P(Turning, TurnsAroundTheCentreWithinItsBounds) {
  const AngleCase& c = GetParam();
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 200, 100, kRed);
  layer->HAlign = haCenter;
  layer->VAlign = vaMiddle;
  const TFloatRect plain = layer->GetLayerRect(1000, 800);
  layer->Angle = c.angle;
  const TFloatRect r = layer->GetLayerRect(1000, 800);
  // around the centre
  EXPECT_FLOAT_EQ((r.Left + r.Right) / 2, (plain.Left + plain.Right) / 2);
  EXPECT_FLOAT_EQ((r.Top + r.Bottom) / 2, (plain.Top + plain.Bottom) / 2);
  // the bounds hold the turned content and at most a pixel and a half more on each side
  EXPECT_GE(r.Width(), c.boundsWidth - 1e-3);
  EXPECT_LE(r.Width(), c.boundsWidth + 4);
  EXPECT_GE(r.Height(), c.boundsHeight - 1e-3);
  EXPECT_LE(r.Height(), c.boundsHeight + 4);

  TBitmap32 picture(1000, 800);
  picture.Clear(0xFF000000);
  layer->DrawOnto(picture, 1.0);
  // The centre is covered; a point 90 pixels along the turned long axis is
  // red, and so is one 40 pixels along the short axis.
  const double t = c.angle * M_PI / 180;
  auto at = [&](double along, double across) {
    const double x = 500 + along * std::cos(t) - across * std::sin(t);
    const double y = 400 + along * std::sin(t) + across * std::cos(t);
    return picture.Pixel(int32_t(std::floor(x)), int32_t(std::floor(y)));
  };
  EXPECT_EQ(at(0, 0), 0xFFFF0000u);
  EXPECT_EQ(at(90, 0), 0xFFFF0000u);
  EXPECT_EQ(at(-90, 0), 0xFFFF0000u);
  EXPECT_EQ(at(0, 40), 0xFFFF0000u);
  // beyond the content's ends and sides, the picture
  EXPECT_EQ(at(110, 0), 0xFF000000u);
  EXPECT_EQ(at(0, 60), 0xFF000000u);
  EXPECT_EQ(at(0, -60), 0xFF000000u);
}

INSTANTIATE_TEST_SUITE_P(Fit, Turning,
                         ::testing::Values(AngleCase{0, 200, 100}, AngleCase{30, 223.2, 186.6},
                                           AngleCase{-30, 223.2, 186.6}, AngleCase{45, 212.1, 212.1},
                                           AngleCase{90, 100, 200}, AngleCase{180, 200, 100},
                                           AngleCase{-135, 212.1, 212.1}, AngleCase{360, 200, 100}));

TEST(Fit, PositiveAnglesTurnClockwise) {
  // A bar from the centre to the right, turned by 90, points down (screen y grows downward).
  TBitmap32 b(21, 21);
  b.Clear(0);
  for (int x = 11; x < 21; ++x) b.Pixel(x, 10) = kRed;
  int32_t mx, my;
  RotateBitmap(b, 90, mx, my);
  const int32_t cx = 10 + mx, cy = 10 + my;
  EXPECT_GT(AlphaOf(b.Pixel(cx, cy + 8)), 200);
  EXPECT_EQ(AlphaOf(b.Pixel(cx, cy - 8)), 0);
  EXPECT_EQ(AlphaOf(b.Pixel(cx + 8, cy)), 0);
}

TEST(Fit, TurnedEdgesAreAntiAliasedAndAlphaCorrect) {
  TBitmap32 b(40, 40);
  b.Clear(kRed);
  int32_t mx, my;
  RotateBitmap(b, 45, mx, my);
  ASSERT_GT(mx, 0);
  EXPECT_EQ(b.Width(), 40 + 2 * mx);
  int partial = 0;
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) {
      const TColor32 p = b.Pixel(x, y);
      if (AlphaOf(p) == 0) {
        EXPECT_EQ(p, 0u);  // no stray colour in the transparent corners
        continue;
      }
      // every covered pixel keeps the colour exactly: no dark fringe
      EXPECT_EQ(p & 0xFFFFFF, 0xFF0000u) << x << "," << y;
      partial += AlphaOf(p) < 255;
    }
  EXPECT_GT(partial, 40);  // the slanted edges are graded
  EXPECT_EQ(b.Pixel(0, 0), 0u);
  EXPECT_EQ(b.Pixel(b.Width() / 2, b.Height() / 2), kRed);
  // the turned square's corner sits on the diagonal's end: the topmost
  // covered row is at the centre column
  int32_t top = 0;
  while (AlphaOf(b.Pixel(b.Width() / 2, top)) == 0) ++top;
  for (int32_t x = 0; x < b.Width(); ++x) {
    if (std::abs(x - b.Width() / 2) > 3) {
      EXPECT_EQ(AlphaOf(b.Pixel(x, top)), 0) << x;
    }
  }
}

TEST(Fit, TurnsAreNoOpsForWholeTurnsAndOddAngles) {
  for (double angle : {0.0, 360.0, -720.0, double(NAN), double(INFINITY)}) {
    TBitmap32 b(3, 2);
    b.Clear(kRed);
    int32_t mx = -1, my = -1;
    RotateBitmap(b, angle, mx, my);
    EXPECT_EQ(mx, 0);
    EXPECT_EQ(my, 0);
    EXPECT_EQ(b.Width(), 3);
  }
}

TEST(Fit, TiledLayersTurnEachTile) {
  // 20 x 20 tiles with 20-pixel gaps: the grid keeps its 40-pixel pitch and
  // every tile turns around its own centre.
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 20, 20, kRed);
  layer->Tile = true;
  layer->XTileOffs = layer->YTileOffs = 20;
  layer->XCoord = -18;  // the first column's centre lies outside, at x = -8
  layer->YCoord = 10;
  layer->Angle = 45;
  TBitmap32 picture(200, 200);
  picture.Clear(0xFF000000);
  layer->DrawOnto(picture, 1.0);
  for (int32_t cy = 20; cy < 190; cy += 40)
    for (int32_t cx = 32; cx < 180; cx += 40) {
      EXPECT_EQ(picture.Pixel(cx, cy), 0xFFFF0000u) << cx << "," << cy;
      // a turned square reaches further along its diagonals' axes...
      EXPECT_EQ(picture.Pixel(cx + 12, cy), 0xFFFF0000u) << cx << "," << cy;
      // ...and no longer into its unturned corners
      EXPECT_EQ(picture.Pixel(cx + 9, cy + 9), 0xFF000000u) << cx << "," << cy;
    }
  // tiles at the left edge are drawn too (their turned corners reach in)
  EXPECT_EQ(picture.Pixel(3, 20), 0xFFFF0000u);
  EXPECT_EQ(picture.Pixel(3, 180), 0xFFFF0000u);
  // the gap between tiles stays free
  EXPECT_EQ(picture.Pixel(52, 40), 0xFF000000u);
}

TEST(Fit, NavigatorScaleLandsWhereTheCanvasDoes) {
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 100, 50, kRed);
  layer->SizeMode = lsWidth;
  layer->SizePercent = 25;
  layer->Angle = 90;
  layer->HAlign = haRight;
  layer->XCoord = 100;
  const TFloatRect full = layer->GetLayerRect(2000, 1000);
  TBitmap32 thumbnail(200, 100);
  thumbnail.Clear(0xFF000000);
  layer->DrawOnto(thumbnail, 0.1);
  const int32_t cx = int32_t((full.Left + full.Right) / 2 * 0.1),
                cy = int32_t((full.Top + full.Bottom) / 2 * 0.1);
  EXPECT_NE(thumbnail.Pixel(cx, cy), 0xFF000000u);
  EXPECT_EQ(thumbnail.Pixel(5, 5), 0xFF000000u);
}

TEST(Fit, FitsAreKeptUntilTheLayerChanges) {
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 100, 50, kRed);
  layer->SizeMode = lsWidth;
  layer->SizePercent = 10;
  const TBitmap32* first = &layer->FittedBitmap(layer->FitTo(1000, 500));
  EXPECT_EQ(first->Width(), 100);
  layer->FitTo(2000, 500);  // the navigator's size beside the canvas's
  EXPECT_EQ(&layer->FittedBitmap(layer->FitTo(1000, 500)), first);
  layer->SizePercent = 20;
  EXPECT_EQ(layer->FittedBitmap(layer->FitTo(1000, 500)).Width(), 200);
  {
    TLayerUpdate update(*layer);
    layer->SourceBitmap().Clear(0xFF00FF00);
  }
  EXPECT_EQ(layer->FittedBitmap(layer->FitTo(1000, 500)).Pixel(100, 50), 0xFF00FF00u);
  layer->SetMasterAlpha(0);  // opacity is applied when drawing, without a new fit
  TBitmap32 picture(1000, 500);
  picture.Clear(0xFF000000);
  layer->DrawOnto(picture, 1.0);
  EXPECT_EQ(picture.Pixel(10, 10), 0xFF000000u);
}

// ---- the views show what the output gets ---------------------------------------------------

struct TFixedView : TLayerViewOwner {
  TRect Rect;
  TRect GetBitmapRect() const override { return Rect; }
};

struct ViewCase {
  const char* name;
  uint8_t mode;
  float angle;
  uint8_t orientation;
  bool tile;
};

class ViewMatchesOutput : public ::testing::TestWithParam<ViewCase> {};

TEST_P(ViewMatchesOutput, AtFullSize) {
  const ViewCase& c = GetParam();
  TFixedView view;
  view.Rect = TRect{0, 0, 300, 200};
  TLayerCollection layers(&view);
  TBaseLayer* layer = AddPictureLayer(layers, 30, 12, kRed);
  layer->SizeMode = c.mode;
  layer->SizePercent = 20;
  layer->Angle = c.angle;
  layer->Orientation = c.orientation;
  layer->Tile = c.tile;
  layer->XTileOffs = 7;
  layer->YTileOffs = 5;
  layer->HAlign = haCenter;
  layer->VAlign = vaMiddle;
  layer->SetLocation(layer->GetLayerRect(300, 200));  // as the preview places it
  TBitmap32 thumbnail(97, 65);  // the navigator draws for a slightly other size in between
  layer->DrawOnto(thumbnail, 97.0 / 301);
  TBitmap32 painted(300, 200), drawn(300, 200);
  painted.Clear(0xFF000000);
  drawn.Clear(0xFF000000);
  layers.Paint(painted);
  layer->DrawOnto(drawn, 1.0);
  EXPECT_EQ(test::Pixels(painted), test::Pixels(drawn)) << c.name;
  int red = 0;
  for (TColor32 p : test::Pixels(drawn)) red += p == kRed;
  EXPECT_EQ(red > 0, c.orientation != loPortrait) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Fit, ViewMatchesOutput,
                         ::testing::Values(ViewCase{"fixed", lsFixed, 0, loBoth, false},
                                           ViewCase{"relative", lsWidth, 0, loBoth, false},
                                           ViewCase{"turned", lsFixed, 30, loBoth, false},
                                           ViewCase{"relative turned", lsShorter, -45, loLandscape, false},
                                           ViewCase{"not on this picture", lsShorter, 10, loPortrait, false},
                                           ViewCase{"tiled turned", lsLonger, 30, loBoth, true}));

// ---- the base block -------------------------------------------------------------------------

TEST(Fit, LayersWithoutFittingAreWrittenAsBefore) {
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 3, 2, kRed);
  TMemoryStream s;
  layer->TBaseLayer::SaveToStream(s);
  EXPECT_EQ(test::Bytes(s).substr(4, 4), std::string("\5\0\0\0", 4));
  for (auto set : std::vector<std::function<void(TBaseLayer&)>>{
           [](TBaseLayer& l) { l.SizeMode = lsLonger; }, [](TBaseLayer& l) { l.SizePercent = 12.5f; },
           [](TBaseLayer& l) { l.Orientation = loPortrait; }, [](TBaseLayer& l) { l.Angle = -30; },
           [](TBaseLayer& l) { l.XUnit = cuShorterPercent; },
           [](TBaseLayer& l) { l.YUnit = cuShorterPercent; },
           [](TBaseLayer& l) { l.SizeMode = lsShorterHeight; }}) {
    TLayerCollection other;
    TBaseLayer* fitted = AddPictureLayer(other, 3, 2, kRed);
    set(*fitted);
    TMemoryStream f;
    fitted->TBaseLayer::SaveToStream(f);
    EXPECT_EQ(test::Bytes(f).substr(4, 4), std::string("\6\0\0\0", 4));
    // the same block as version 5 behind the four new fields
    EXPECT_EQ(test::Bytes(f).size(), test::Bytes(s).size() + 10);
  }
}

TEST(Fit, VersionFiveWatermarksOpenAndSaveByteForByte) {
  TLayerCollection layers;
  Watermark::TWatermarkExif exif;
  AddPictureLayer(layers, 5, 3, 0xFF102030);
  auto* text = &layers.Add<TTextLayer>();
  text->Tile = true;
  text->RenderText();
  TMemoryStream first;
  SaveWatermark(first, layers, exif);
  first.Seek(0);
  TLayerCollection read;
  OpenWatermark(first, read, exif);
  for (int i = 0; i < read.Count(); ++i) {
    auto& l = static_cast<TBaseLayer&>(read.Items(i));
    EXPECT_EQ(l.SizeMode, lsFixed);
    EXPECT_EQ(l.SizePercent, 10);
    EXPECT_EQ(l.Orientation, loBoth);
    EXPECT_EQ(l.Angle, 0);
  }
  TMemoryStream again;
  SaveWatermark(again, read, exif);
  EXPECT_EQ(test::Bytes(again), test::Bytes(first));
}

TEST(Fit, VersionSixRoundTripsEveryField) {
  TLayerCollection layers;
  Watermark::TWatermarkExif exif;
  TBaseLayer* picture = AddPictureLayer(layers, 30, 10, kRed);
  picture->SizeMode = lsShorter;
  picture->SizePercent = 33.5f;
  picture->Orientation = loPortrait;
  picture->Angle = -12.25f;
  picture->XUnit = cuShorterPercent;
  picture->HAlign = haRight;
  picture->XCoord = 4;
  auto* text = &layers.Add<TTextLayer>();
  text->Text = "PROOF";
  text->RenderText();
  text->YUnit = cuShorterPercent;
  text->VAlign = vaBottom;
  text->YCoord = 2.5f;
  text->SizeMode = lsLonger;
  text->SizePercent = 80;
  text->Angle = 30;
  text->Tile = true;
  TMemoryStream first;
  SaveWatermark(first, layers, exif);
  first.Seek(0);
  TLayerCollection read;
  OpenWatermark(first, read, exif);
  ASSERT_EQ(read.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    const auto& a = static_cast<const TBaseLayer&>(layers.Items(i));
    const auto& b = static_cast<const TBaseLayer&>(read.Items(i));
    EXPECT_EQ(b.SizeMode, a.SizeMode);
    EXPECT_EQ(b.SizePercent, a.SizePercent);
    EXPECT_EQ(b.Orientation, a.Orientation);
    EXPECT_EQ(b.Angle, a.Angle);
    EXPECT_EQ(b.Tile, a.Tile);
    EXPECT_EQ(b.XUnit, a.XUnit);
    EXPECT_EQ(b.YUnit, a.YUnit);
    EXPECT_EQ(b.XCoord, a.XCoord);
    EXPECT_EQ(b.YCoord, a.YCoord);
    // drawn the same way
    TBitmap32 p1(400, 300), p2(400, 300);
    p1.Clear(0xFF000000);
    p2.Clear(0xFF000000);
    a.DrawOnto(p1, 1.0);
    b.DrawOnto(p2, 1.0);
    EXPECT_EQ(test::Pixels(p1), test::Pixels(p2));
  }
  TMemoryStream again;
  SaveWatermark(again, read, exif);
  EXPECT_EQ(test::Bytes(again), test::Bytes(first));
  // copies keep the fields too
  auto* copy = &read.Add<TTextLayer>();
  copy->Assign(*text);
  EXPECT_EQ(copy->SizeMode, lsLonger);
  EXPECT_EQ(copy->Angle, 30);
  std::unique_ptr<TBaseLayer> clone = picture->Clone(&read);
  EXPECT_EQ(clone->Orientation, loPortrait);
  EXPECT_EQ(clone->SizePercent, 33.5f);
}

// The bytes of a version-6 base block with the given fitting fields.
std::string BlockSix(uint8_t mode, float percent, uint8_t orientation, float angle) {
  TMemoryStream s;
  s.WriteSignature("BASL");
  s.WriteValue<int32_t>(6);
  s.WriteValue<uint8_t>(mode);
  s.WriteValue<float>(percent);
  s.WriteValue<uint8_t>(orientation);
  s.WriteValue<float>(angle);
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 1, 1, kRed);
  TMemoryStream five;
  layer->TBaseLayer::SaveToStream(five);
  const std::string tail = test::Bytes(five).substr(8);
  return test::Bytes(s) + tail;
}

struct HostileCase {
  uint8_t mode;
  float percent;
  uint8_t orientation;
  float angle;
  const char* error;  // "" when accepted
};

class HostileFitting : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileFitting, EveryFieldIsChecked) {
  const HostileCase& c = GetParam();
  const std::string bytes = BlockSix(c.mode, c.percent, c.orientation, c.angle);
  TMemoryStream s(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  TLayerCollection layers;
  TBaseLayer* layer = &layers.Add<TBitmapLayer>();
  EXPECT_EQ(ErrorOf([&] { layer->TBaseLayer::LoadFromStream(s); }), c.error);
  if (!*c.error) {
    EXPECT_EQ(s.Remaining(), 0);
    EXPECT_EQ(layer->SizeMode, c.mode);
    EXPECT_EQ(layer->Angle, c.angle);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fit, HostileFitting,
    ::testing::Values(
        HostileCase{lsLonger, 1000, loPortrait, 360, ""}, HostileCase{lsWidth, 0.01f, loBoth, -360, ""},
        HostileCase{lsShorterHeight, 10, 0, 0, ""},
        HostileCase{6, 10, 0, 0, "TBaseLayer::LoadFromStream::241 - Invalid size mode (6)!"},
        HostileCase{255, 10, 0, 0, "TBaseLayer::LoadFromStream::241 - Invalid size mode (255)!"},
        HostileCase{1, 0, 0, 0, "TBaseLayer::LoadFromStream::242 - Invalid size percentage!"},
        HostileCase{1, -5, 0, 0, "TBaseLayer::LoadFromStream::242 - Invalid size percentage!"},
        HostileCase{1, 1000.5f, 0, 0, "TBaseLayer::LoadFromStream::242 - Invalid size percentage!"},
        HostileCase{1, NAN, 0, 0, "TBaseLayer::LoadFromStream::242 - Invalid size percentage!"},
        HostileCase{1, INFINITY, 0, 0, "TBaseLayer::LoadFromStream::242 - Invalid size percentage!"},
        HostileCase{0, 10, 3, 0, "TBaseLayer::LoadFromStream::243 - Invalid orientation (3)!"},
        HostileCase{0, 10, 0, NAN, "TBaseLayer::LoadFromStream::244 - Invalid angle!"},
        HostileCase{0, 10, 0, -INFINITY, "TBaseLayer::LoadFromStream::244 - Invalid angle!"},
        HostileCase{0, 10, 0, 360.5f, "TBaseLayer::LoadFromStream::244 - Invalid angle!"}));

struct UnitCase {
  uint8_t mode, xUnit, yUnit;
  int32_t version;    // the block written
  const char* error;  // "" when read back
  uint8_t readX, readY;
};

class UnitsByVersion : public ::testing::TestWithParam<UnitCase> {};

TEST_P(UnitsByVersion, OnlyVersionSixHoldsTheShorterSideUnit) {
  const UnitCase& c = GetParam();
  TLayerCollection layers;
  TBaseLayer* layer = AddPictureLayer(layers, 3, 2, kRed);
  layer->SizeMode = c.mode;
  layer->XUnit = c.xUnit;
  layer->YUnit = c.yUnit;
  TMemoryStream s;
  layer->TBaseLayer::SaveToStream(s);
  const std::string bytes = test::Bytes(s);
  ASSERT_EQ(bytes.substr(4, 4), std::string(1, char(c.version)) + std::string(3, '\0'));
  TMemoryStream in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  TLayerCollection other;
  TBaseLayer* read = &other.Add<TBitmapLayer>();
  EXPECT_EQ(ErrorOf([&] { read->TBaseLayer::LoadFromStream(in); }), c.error);
  if (!*c.error) {
    EXPECT_EQ(read->XUnit, c.readX);
    EXPECT_EQ(read->YUnit, c.readY);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fit, UnitsByVersion,
    ::testing::Values(UnitCase{lsFixed, cuPixels, cuPercent, 5, "", cuPixels, cuPercent},
                      UnitCase{lsFixed, cuShorterPercent, cuPixels, 6, "", cuShorterPercent, cuPixels},
                      UnitCase{lsFixed, cuPercent, cuShorterPercent, 6, "", cuPercent, cuShorterPercent},
                      UnitCase{lsShorterHeight, cuShorterPercent, cuShorterPercent, 6, "", cuShorterPercent,
                               cuShorterPercent},
                      // a unit no version knows: a version-5 block draws it as pixels, as it always did ...
                      UnitCase{lsFixed, 7, cuPercent, 5, "", cuPixels, cuPercent},
                      UnitCase{lsFixed, cuPixels, 255, 5, "", cuPixels, cuPixels},
                      // ... a version-6 block is refused
                      UnitCase{lsWidth, 3, cuPixels, 6,
                               "TBaseLayer::LoadFromStream::245 - Invalid coordinate unit (3)!", 0, 0},
                      UnitCase{lsWidth, cuPixels, 200, 6,
                               "TBaseLayer::LoadFromStream::245 - Invalid coordinate unit (200)!", 0, 0}));

TEST(Fit, EveryTruncationOfAVersionSixFileFailsCleanly) {
  TLayerCollection layers;
  Watermark::TWatermarkExif exif;
  TBaseLayer* layer = AddPictureLayer(layers, 4, 3, kRed);
  layer->SizeMode = lsWidth;
  layer->Angle = 15;
  TMemoryStream full;
  SaveWatermark(full, layers, exif);
  const std::vector<uint8_t>& bytes = full.Bytes();
  for (size_t n = 0; n + 1 < bytes.size(); ++n) {
    TMemoryStream cut(bytes.data(), n);
    TLayerCollection read;
    Watermark::TWatermarkExif readExif;
    try {
      OpenWatermark(cut, read, readExif);
    } catch (const EError& e) {
      EXPECT_NE(std::string(e.what()).find("::"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace tvx
