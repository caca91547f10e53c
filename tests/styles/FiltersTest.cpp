#include "styles/Filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "util/Utils.h"

namespace tvx {
namespace {

TBitmap32 Filled(int32_t w, int32_t h, TColor32 color) {
  TBitmap32 b(w, h);
  b.Clear(color);
  return b;
}

struct TRun {
  TBitmap32 Target;
  int32_t Dx = 0, Dy = 0;
};

TRun Apply(TFilterApply apply, const TBitmap32& source, const TFilterParams* params) {
  TRun run{source};
  apply(source, run.Target, run.Dx, run.Dy, params);
  return run;
}

int CountChanged(const TBitmap32& a, const TBitmap32& b) {
  int n = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) n += a.Pixel(x, y) != b.Pixel(x, y);
  return n;
}

TFilterParams Stroke(int32_t size, int32_t opacity, int32_t position, uint32_t color) {
  return TStrokeRecord{size, opacity, position, color}.ToParams();
}

TFilterParams Shadow(int32_t size, uint32_t opacity, uint32_t distance, float angle, uint32_t color) {
  return TShadowRecord{size, opacity, distance, angle, color}.ToParams();
}

// ---- stroke ------------------------------------------------------------------

TEST(Stroke, InsideSizeOneMarksTheBorderOfASquare) {
  const TBitmap32 square = Filled(10, 10, 0xFFFFFFFF);
  const TFilterParams red = Stroke(1, 100, spInside, 0x0000FF);
  const TRun run = Apply(StrokeApply, square, &red);
  ASSERT_EQ(run.Target.Width(), 10);
  ASSERT_EQ(run.Target.Height(), 10);
  EXPECT_EQ(run.Dx, 0);
  EXPECT_EQ(run.Dy, 0);
  EXPECT_EQ(CountChanged(square, run.Target), 36);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const TColor32 p = run.Target.Pixel(x, y);
      if (x == 0 || y == 0 || x == 9 || y == 9) {
        // 100 % is master alpha 254: nearly, not exactly, the stroke colour
        EXPECT_EQ(RedOf(p), 255);
        EXPECT_LE(GreenOf(p), 3);
        EXPECT_GT(GreenOf(p), 0);
        EXPECT_EQ(AlphaOf(p), 255);
      } else {
        EXPECT_EQ(p, 0xFFFFFFFFu);
      }
    }
}

TEST(Stroke, OutsideSizeOneRingsTheSquare) {
  const TBitmap32 square = Filled(10, 10, 0xFFFFFFFF);
  const TFilterParams black = Stroke(1, 100, spOutside, 0);
  const TRun run = Apply(StrokeApply, square, &black);
  ASSERT_EQ(run.Target.Width(), 12);
  ASSERT_EQ(run.Target.Height(), 12);
  EXPECT_EQ(run.Dx, 1);
  EXPECT_EQ(run.Dy, 1);
  int ring = 0;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool inSquare = x >= 1 && x <= 10 && y >= 1 && y <= 10;
      const TColor32 p = run.Target.Pixel(x, y);
      if (inSquare) {
        EXPECT_EQ(p, 0xFFFFFFFFu);
      } else {
        EXPECT_GE(AlphaOf(p), 250);
        ring += AlphaOf(p) > 0;
      }
    }
  EXPECT_EQ(ring, 44);
}

TEST(Stroke, TransparentSourceOnlyGrowsTheMargins) {
  const TBitmap32 empty = Filled(8, 5, 0);
  const TFilterParams outside = Stroke(3, 100, spOutside, 0);
  const TRun run = Apply(StrokeApply, empty, &outside);
  EXPECT_EQ(run.Target.Width(), 14);
  EXPECT_EQ(run.Target.Height(), 11);
  EXPECT_EQ(run.Dx, 3);
  EXPECT_EQ(run.Dy, 3);
  EXPECT_EQ(CountChanged(run.Target, Filled(14, 11, 0)), 0);

  // "Inside" needs half the size: 3 div 2 = 1
  const TFilterParams inside = Stroke(3, 100, spInside, 0);
  const TRun in = Apply(StrokeApply, empty, &inside);
  EXPECT_EQ(in.Target.Width(), 10);
  EXPECT_EQ(in.Dx, 1);
}

TEST(Stroke, BlocksOfTheWrongShapeAreIgnored) {
  const TBitmap32 square = Filled(10, 10, 0xFFFFFFFF);
  TFilterParams longer = Stroke(3, 100, spOutside, 0);
  longer.Data.resize(24);
  TFilterParams foreign = Stroke(3, 100, spOutside, 0);
  foreign.Data[3] = 'X';
  for (const TFilterParams* params : std::vector<const TFilterParams*>{nullptr, &longer, &foreign}) {
    const TRun run = Apply(StrokeApply, square, params);
    EXPECT_EQ(run.Target.Width(), 10);
    EXPECT_EQ(run.Dx, 0);
    EXPECT_EQ(CountChanged(square, run.Target), 0);
  }
}

TEST(Stroke, AlmostOpaquePixelsAreNeitherStrokedNorOpen) {
  TBitmap32 square = Filled(10, 10, 0xFFFFFFFF);
  for (int i = 0; i < 10; ++i)
    for (TColor32* p : {&square.Pixel(i, 0), &square.Pixel(i, 9), &square.Pixel(0, i), &square.Pixel(9, i)})
      *p = 0xFAFFFFFF;  // alpha 250
  const TFilterParams inside = Stroke(1, 100, spInside, 0);
  EXPECT_EQ(CountChanged(square, Apply(StrokeApply, square, &inside).Target), 0);
  // alpha 245 counts as open: the inner ring is stroked
  for (int i = 0; i < 10; ++i)
    for (TColor32* p : {&square.Pixel(i, 0), &square.Pixel(i, 9), &square.Pixel(0, i), &square.Pixel(9, i)})
      *p = 0xF5FFFFFF;
  EXPECT_EQ(CountChanged(square, Apply(StrokeApply, square, &inside).Target), 28);
}

TEST(Stroke, OpacityZeroGrowsButDrawsNothing) {
  const TBitmap32 square = Filled(10, 10, 0xFFFFFFFF);
  const TFilterParams invisible = Stroke(2, 0, spOutside, 0x0000FF);
  const TRun run = Apply(StrokeApply, square, &invisible);
  EXPECT_EQ(run.Target.Width(), 14);
  EXPECT_EQ(run.Dx, 2);
  TBitmap32 expected = square;
  AddMargins(expected, 2, 2, 2, 2);
  EXPECT_EQ(CountChanged(expected, run.Target), 0);
}

TEST(Stroke, WideBrushSkipsTheNextPixelButCoversIt) {
  const TBitmap32 square = Filled(10, 10, 0xFFFFFFFF);
  const TFilterParams wide = Stroke(4, 100, spInside, 0);
  const TRun run = Apply(StrokeApply, square, &wide);
  EXPECT_EQ(run.Dx, 2);
  EXPECT_EQ(run.Target.Width(), 14);
  // a brush covers 2 before and 1 after its pixel; the pixel after a marked
  // one is passed over, its neighbours' brushes cover it
  EXPECT_GT(AlphaOf(run.Target.Pixel(0, 0)), 0);
  EXPECT_LT(RedOf(run.Target.Pixel(3, 3)), 8);
  EXPECT_LT(RedOf(run.Target.Pixel(5, 2)), 8);
  EXPECT_EQ(run.Target.Pixel(13, 13), 0u);
  EXPECT_EQ(run.Target.Pixel(6, 6), 0xFFFFFFFFu);
}

// The stroke as brush copies, one square at a time: the oracle of the
// filter's union of squares.
TRun BrushByBrush(const TBitmap32& source, int32_t s, bool outside) {
  TRun run{source};
  const int32_t h = s / 2, g = outside ? s : h;
  AddMargins(run.Target, g, g, g, g);
  run.Dx = run.Dy = g;
  TBitmap32 layer(run.Target.Width(), run.Target.Height());
  layer.Clear(0);
  layer.DrawMode = dmBlend;
  layer.MasterAlpha = 254;
  const auto alpha = [&](int32_t x, int32_t y) {
    return x < 0 || y < 0 || x >= source.Width() || y >= source.Height() ? 0 : AlphaOf(source.Pixel(x, y));
  };
  const auto brush = [&](int32_t left, int32_t top) {
    for (int32_t y = std::max(top, 0); y < std::min(top + s, layer.Height()); ++y)
      for (int32_t x = std::max(left, 0); x < std::min(left + s, layer.Width()); ++x) layer.Pixel(x, y) = 0xFF000000;
  };
  const int32_t offsets[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
  for (int32_t y = 0; y < source.Height(); ++y)
    for (int32_t x = 0; x < source.Width(); ++x) {
      if (alpha(x, y) != 255) continue;
      int open = 0;
      for (const auto& o : offsets)
        if (alpha(x + o[0], y + o[1]) <= 245) {
          ++open;
          if (outside) brush(x + o[0] + g - h, y + o[1] + g - h);
        }
      if (!outside && open >= 2) {
        brush(x + g - h, y + g - h);
        if (s > 1) ++x;
      }
    }
  layer.DrawTo(run.Target, 0, 0);
  return run;
}

TEST(Stroke, UnionOfSquaresEqualsBrushByBrush) {
  std::mt19937 random(5);
  for (int round = 0; round < 40; ++round) {
    TBitmap32 shape(5 + random() % 30, 5 + random() % 20);
    for (int32_t y = 0; y < shape.Height(); ++y)
      for (int32_t x = 0; x < shape.Width(); ++x)
        shape.Pixel(x, y) = random() % 3 ? 0xFFFFFFFF : (random() % 2 ? 0x80FFFFFF : 0);
    const int32_t s = 1 + static_cast<int32_t>(random() % 12);
    const bool outside = round % 2;
    const TFilterParams params = Stroke(s, 100, outside ? spOutside : spInside, 0);
    const TRun fast = Apply(StrokeApply, shape, &params), slow = BrushByBrush(shape, s, outside);
    ASSERT_EQ(fast.Target.Width(), slow.Target.Width());
    ASSERT_EQ(fast.Dx, slow.Dx);
    ASSERT_EQ(CountChanged(fast.Target, slow.Target), 0) << "size " << s << (outside ? " outside" : " inside");
  }
}

// Sound behaviour: damaged blocks cannot leave the margin undefined or size
// buffers without bound.
TEST(Stroke, DamagedFieldsAreMadeSafe) {
  const TBitmap32 square = Filled(10, 10, 0xFFFFFFFF);
  const TFilterParams odd = Stroke(1, 100, 7, 0x0000FF);
  const TFilterParams inside = Stroke(1, 100, spInside, 0x0000FF);
  const TRun a = Apply(StrokeApply, square, &odd), b = Apply(StrokeApply, square, &inside);
  EXPECT_EQ(a.Target.Width(), 10);
  EXPECT_EQ(CountChanged(a.Target, b.Target), 0);

  const TBitmap32 empty = Filled(4, 4, 0);
  const TFilterParams huge = Stroke(2000000000, 500, spOutside, 0);
  const TRun h = Apply(StrokeApply, empty, &huge);
  EXPECT_EQ(h.Dx, 250);
  EXPECT_EQ(h.Target.Width(), 504);
  const TFilterParams negative = Stroke(-40, -3, spOutside, 0);
  const TRun n = Apply(StrokeApply, square, &negative);
  EXPECT_EQ(n.Dx, 1);
  EXPECT_EQ(CountChanged(n.Target, Apply(StrokeApply, square, &negative).Target), 0);
  EXPECT_EQ(TStrokeRecord::FromParams(&negative)->Opacity, 0);
}

TEST(StrokeRecord, LayoutAndDefaults) {
  const TFilterParams block = TStrokeRecord::Defaults().ToParams();
  ASSERT_EQ(block.Size(), 20u);
  const uint8_t expected[20] = {'S', 'T', 'R', 'K', 1, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(block.Data, std::vector<uint8_t>(expected, expected + 20));
  for (const TRecordField& f : TStrokeRecord::Fields)
    if (f.Kind == TFieldKind::Int32) {
      int32_t v;
      std::memcpy(&v, block.Data.data() + f.Offset, 4);
      EXPECT_EQ(v, f.Default) << f.Name;
    }
  const TStrokeRecord r{17, 42, spOutside, 0x123456};
  const TFilterParams written = r.ToParams();
  EXPECT_EQ(TStrokeRecord::FromParams(&written), r);
}

// ---- drop shadow and glow -------------------------------------------------------

TEST(Shadow, DefaultsGrowTheTargetByTheDisplacedBlur) {
  const TBitmap32 source = Filled(20, 10, 0xFF000000);
  const TFilterParams params = TShadowRecord::Defaults().ToParams();
  const TRun run = Apply(ShadowApply, source, &params);
  EXPECT_EQ(run.Target.Width(), 30);
  EXPECT_EQ(run.Target.Height(), 20);
  EXPECT_EQ(run.Dx, 3);
  EXPECT_EQ(run.Dy, 1);
  // the layer lies over its shadow unchanged
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(run.Target.Pixel(x + 3, y + 1), 0xFF000000u);
  EXPECT_EQ(run.Target.Pixel(0, 19), 0u);
  EXPECT_GT(AlphaOf(run.Target.Pixel(15, 12)), 200);  // below right, where the shadow falls
  EXPECT_EQ(AlphaOf(run.Target.Pixel(0, 0)), 0);
}

TEST(Shadow, DisplacementIsTruncated) {
  const TBitmap32 source = Filled(20, 10, 0xFF000000);
  // pi/2 as a float: sin * 10 lies just below 10, so oy = 9
  const TFilterParams down = Shadow(1, 100, 10, static_cast<float>(M_PI / 2), 0);
  const TRun d = Apply(ShadowApply, source, &down);
  EXPECT_EQ(d.Target.Width(), 22);   // ox = 0: one column of blur either side
  EXPECT_EQ(d.Target.Height(), 20);  // 9 + 1 + 10
  EXPECT_EQ(d.Dx, 1);
  EXPECT_EQ(d.Dy, 0);
  const TFilterParams right = Shadow(1, 100, 10, 0.0f, 0);
  const TRun r = Apply(ShadowApply, source, &right);
  EXPECT_EQ(r.Target.Width(), 31);
  EXPECT_EQ(r.Target.Height(), 12);
  EXPECT_EQ(r.Dx, 0);
  EXPECT_EQ(r.Dy, 1);
}

TEST(Shadow, GlowCentresTheHaloAndGrowsEverySide) {
  const TBitmap32 source = Filled(100, 40, 0xFFFFFFFF);
  const TFilterParams glow = TShadowRecord::GlowDefaults().ToParams();
  const TRun run = Apply(ShadowApply, source, &glow);
  EXPECT_EQ(run.Target.Width(), 140);
  EXPECT_EQ(run.Target.Height(), 80);
  EXPECT_EQ(run.Dx, 20);
  EXPECT_EQ(run.Dy, 20);
  for (int k = 1; k <= 19; ++k) {  // symmetric halo (up to the order of the float sums)
    EXPECT_NEAR(AlphaOf(run.Target.Pixel(20 - k, 40)), AlphaOf(run.Target.Pixel(119 + k, 40)), 1) << k;
    EXPECT_NEAR(AlphaOf(run.Target.Pixel(60, 20 - k)), AlphaOf(run.Target.Pixel(60, 59 + k)), 1) << k;
  }
  EXPECT_GT(AlphaOf(run.Target.Pixel(19, 40)), AlphaOf(run.Target.Pixel(5, 40)));
  EXPECT_EQ(run.Target.Pixel(19, 40) & 0xFFFFFF, 0u);  // black halo
}

TEST(Shadow, InvisibleShadowsStillGrow) {
  const TBitmap32 empty = Filled(20, 10, 0);
  const TFilterParams params = TShadowRecord::Defaults().ToParams();
  const TRun a = Apply(ShadowApply, empty, &params);
  EXPECT_EQ(a.Target.Width(), 30);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(AlphaOf(a.Target.Pixel(x, y)), 0);

  const TBitmap32 source = Filled(20, 10, 0xFF0000FF);
  const TFilterParams none = Shadow(5, 0, 5, 1.0471976f, 0);
  const TRun b = Apply(ShadowApply, source, &none);
  EXPECT_EQ(b.Target.Width(), 30);
  EXPECT_EQ(b.Dx, 3);
  int visible = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) visible += AlphaOf(b.Target.Pixel(x, y)) != 0;
  EXPECT_EQ(visible, 200);
}

TEST(Shadow, OpacityScalesTheBlurredAlpha) {
  const TBitmap32 source = Filled(30, 30, 0xFF000000);
  const TFilterParams full = Shadow(4, 100, 0, 0, 0), half = Shadow(4, 50, 0, 0, 0);
  const TRun a = Apply(ShadowApply, source, &full), b = Apply(ShadowApply, source, &half);
  for (int x = 0; x < 4; ++x)
    EXPECT_EQ(AlphaOf(b.Target.Pixel(x, 19)), static_cast<int>(AlphaOf(a.Target.Pixel(x, 19)) * 0.5)) << x;
}

TEST(Shadow, BlocksOfTheWrongShapeAreIgnored) {
  const TBitmap32 source = Filled(20, 10, 0xFF000000);
  TFilterParams shorter = TShadowRecord::Defaults().ToParams();
  shorter.Data.resize(20);
  TFilterParams foreign = TShadowRecord::Defaults().ToParams();
  foreign.Data[0] = 'd';
  for (const TFilterParams* params : std::vector<const TFilterParams*>{nullptr, &shorter, &foreign}) {
    const TRun run = Apply(ShadowApply, source, params);
    EXPECT_EQ(run.Target.Width(), 20);
    EXPECT_EQ(run.Dx, 0);
    EXPECT_EQ(run.Target.DrawMode, source.DrawMode);
  }
}

// Sound behaviour: a damaged block cannot make the blur allocate without bound.
TEST(Shadow, DamagedFieldsAreClampedToTheFrameRanges) {
  const TBitmap32 source = Filled(10, 10, 0xFF000000);
  const TFilterParams huge = Shadow(1 << 30, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0);
  const std::optional<TShadowRecord> r = TShadowRecord::FromParams(&huge);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Size, 50);
  EXPECT_EQ(r->Opacity, 100u);
  EXPECT_EQ(r->Distance, 50u);
  const TRun run = Apply(ShadowApply, source, &huge);
  EXPECT_EQ(run.Target.Width(), 110);  // displaced 50 right, blurred 50 either side
  EXPECT_EQ(run.Target.Height(), 110);
  EXPECT_EQ(run.Dx, 0);
  EXPECT_EQ(run.Dy, 50);
  const TFilterParams tiny = Shadow(-7, 10, 0, std::nanf(""), 0);
  EXPECT_EQ(TShadowRecord::FromParams(&tiny)->Size, 1);
  EXPECT_EQ(TShadowRecord::FromParams(&tiny)->Angle, 0.0f);
  EXPECT_EQ(Apply(ShadowApply, source, &tiny).Target.Width(), 12);
}

TEST(ShadowRecord, LayoutAndDefaults) {
  const TFilterParams block = TShadowRecord::Defaults().ToParams();
  ASSERT_EQ(block.Size(), 24u);
  EXPECT_EQ(std::string(block.Data.begin(), block.Data.begin() + 4), "DRPS");
  float angle;
  std::memcpy(&angle, block.Data.data() + 16, 4);
  EXPECT_EQ(angle, 1.0471976f);
  EXPECT_EQ(block.Data[4], 5);
  EXPECT_EQ(block.Data[8], 100);
  EXPECT_EQ(block.Data[12], 5);
  const TFilterParams glow = TShadowRecord::GlowDefaults().ToParams();
  EXPECT_EQ(glow.Data[4], 20);
  EXPECT_EQ(glow.Data[12], 0);
  for (const TRecordField& f : TShadowRecord::GlowFields)
    if (f.Kind == TFieldKind::Int32) {
      EXPECT_EQ(glow.Data[f.Offset], f.Default);
    }
}

// ---- gradient overlay ------------------------------------------------------------

TEST(GradientOverlay, DefaultBlockColoursTheColumns) {
  TBitmap32 source = Filled(4, 3, 0xFF123456);
  source.Pixel(1, 2) = 0x00ABCDEF;
  const TFilterParams params = TGradRecord::ToParams(TGradient{});
  const TRun run = Apply(GradientApply, source, &params);
  const TColor32 columns[4] = {0x000000, 0x3F3F3F, 0x7F7F7F, 0xBFBFBF};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      const uint8_t alpha = x == 1 && y == 2 ? 0 : 255;
      EXPECT_EQ(run.Target.Pixel(x, y), SetAlpha(columns[x], alpha)) << x << "," << y;
    }
  EXPECT_EQ(run.Target.Width(), 4);
  EXPECT_EQ(run.Dx, 0);

  // a foreign signature still recolours, with the default gradient
  TFilterParams foreign = TGradRecord::ToParams(TGradient{});
  foreign.Data[0] = 'g';
  EXPECT_EQ(CountChanged(Apply(GradientApply, source, &foreign).Target, run.Target), 0);
  EXPECT_EQ(CountChanged(Apply(GradientApply, source, nullptr).Target, source), 0);
}

TEST(GradientOverlay, ReflectedAndStopColours) {
  TGradient g;
  g.Type = gtReflected;
  g.StartColor = 0x0000FF;  // red as a system colour
  g.EndColor = 0x0000FF;
  const TBitmap32 source = Filled(4, 1, 0x80000000);
  const TFilterParams params = TGradRecord::ToParams(g);
  const TRun run = Apply(GradientApply, source, &params);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(run.Target.Pixel(x, 0), 0x80FF0000u);

  const TFilterParams reflected = TGradRecord::ToParams([] {
    TGradient r;
    r.Type = gtReflected;
    return r;
  }());
  const TRun grey = Apply(GradientApply, Filled(4, 2, 0xFF000000), &reflected);
  const TColor32 columns[4] = {0xFF000000, 0xFF7F7F7F, 0xFFFFFFFF, 0xFF7F7F7F};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(grey.Target.Pixel(x, 1), columns[x]);
}

}  // namespace
}  // namespace tvx
