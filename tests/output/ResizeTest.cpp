#include "output/Resize.h"

#include <gtest/gtest.h>

#include "util/Config.h"
#include "support/TestSupport.h"

namespace tvx {
namespace {

TResizeParams ActualSize(float w, float h, uint8_t mode = rzEnlargeOrReduce, bool aspect = true,
                         uint8_t fit = atWidthAndHeight) {
  TResizeParams p;
  p.Method = rmActualSize;
  p.Width = w;
  p.Height = h;
  p.ResizeMode = mode;
  p.PreserveAspectRatio = aspect;
  p.FitWithin = fit;
  return p;
}

struct TSizeCase {
  const char* name;
  int32_t w0, h0;
  TResizeParams params;
  bool changes;
  int32_t w, h;
};

TEST(ComputeResize, WorkedExamples) {
  TResizeParams half;
  half.Method = rmPercentage;
  half.Percentage = 50;
  TResizeParams halfWidth = half;
  halfWidth.ApplyTo = atWidthOnly;
  TResizeParams inches = ActualSize(2.5f, 10, rzEnlargeOrReduce, false);
  inches.WidthUnit = luInches;
  TResizeParams cm = ActualSize(10, 50, rzEnlargeOrReduce, false);
  cm.WidthUnit = luCentimetres;
  cm.HeightUnit = luMillimetres;
  cm.Resolution = 300;
  TResizeParams perCm = ActualSize(10, 50, rzEnlargeOrReduce, false);
  perCm.HeightUnit = luMillimetres;
  perCm.Resolution = 100;
  perCm.ResolutionUnit = ruPixelsPerCm;

  const TSizeCase cases[] = {
      {"50 % of 1001 x 501", 1001, 501, half, true, 500, 250},
      {"50 % of the width only", 1001, 501, halfWidth, true, 500, 501},
      {"fit 800 x 600, wide picture", 4000, 2000, ActualSize(800, 600), true, 800, 400},
      {"fit 800 x 600, tall picture", 1000, 3000, ActualSize(800, 600), true, 200, 600},
      {"fit width only", 4000, 2000, ActualSize(800, 600, rzEnlargeOrReduce, true, atWidthOnly), true, 800, 400},
      {"fit height only", 4000, 2000, ActualSize(800, 600, rzEnlargeOrReduce, true, atHeightOnly), true, 1200, 600},
      {"no aspect", 4000, 2000, ActualSize(800, 600, rzEnlargeOrReduce, false), true, 800, 600},
      {"enlarge only, wider picture", 1024, 500, ActualSize(800, 600, rzEnlargeOnly), false, 0, 0},
      {"reduce only, smaller picture", 640, 480, ActualSize(800, 600, rzReduceOnly), false, 0, 0},
      {"reduce only, larger picture", 1600, 1200, ActualSize(800, 600, rzReduceOnly), true, 800, 600},
      {"2.5 inches at 300 ppi", 100, 100, inches, true, 750, 10},
      {"10 cm and 50 mm at 300 ppi", 100, 100, cm, true, 1181, 590},
      {"50 mm at 100 px/cm", 100, 100, perCm, true, 10, 500},
  };
  for (const auto& c : cases) {
    int32_t w = 0, h = 0;
    EXPECT_EQ(ComputeResize(c.w0, c.h0, c.params, w, h), c.changes) << c.name;
    if (c.changes) {
      EXPECT_EQ(w, c.w) << c.name;
      EXPECT_EQ(h, c.h) << c.name;
    }
  }
}

TEST(ComputeResize, NeverTruncatesASideToNothing) {
  TResizeParams p;
  p.Method = rmPercentage;
  p.Percentage = 3;
  int32_t w, h;
  ASSERT_TRUE(ComputeResize(10, 1000, p, w, h));
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 30);
}

TEST(ResizeSettings, ValidateValuesClampsLikeTheFields) {
  TResizeSettings s;
  s.Percentage = 1;
  s.Width = 0;
  s.Height = -4;
  s.Resolution = 0;
  s.ValidateValues();
  EXPECT_EQ(s.Percentage, 3);
  EXPECT_EQ(s.Width, 1);
  EXPECT_EQ(s.Height, 1);
  EXPECT_EQ(s.Resolution, 1);
  s.Width = 0.5;  // reads as the integer 5 in the field: kept
  s.ValidateValues();
  EXPECT_EQ(s.Width, 0.5);
}

TEST(ResizeSettings, LenientNumberReading) {
  EXPECT_EQ(ReadLenientInteger("12.5"), 125);
  EXPECT_EQ(ReadLenientInteger("x"), 0);
  EXPECT_EQ(ReadLenientInteger("-7px"), -7);
  EXPECT_DOUBLE_EQ(ReadLenientReal("2,5 in"), 25);
  EXPECT_DOUBLE_EQ(ReadLenientReal("2.5 in"), 2.5);
  EXPECT_DOUBLE_EQ(ReadLenientReal("1.2.3"), 0);
  EXPECT_EQ(FormatReal(10.0), "10");
  EXPECT_EQ(FormatReal(2.5), "2.5");
}

TEST(ResizeSettings, DefaultsAndRoundTripThroughTheConfiguration) {
  test::TTempDir dir;
  TConfig config(dir / ".config");
  TResizeSettings s;
  s.LoadSettings(config);
  EXPECT_EQ(s.ResizeMethod, 2);
  EXPECT_EQ(s.Percentage, 50);
  EXPECT_EQ(s.Width, 10.0);
  EXPECT_EQ(s.Resize, rzEnlargeOrReduce);
  EXPECT_TRUE(s.PreserveAspectRatio);
  TResizeParams p = s.GetResizeParams();
  EXPECT_EQ(p.Method, rmActualSize);

  s.ResizeMethod = 1;
  s.Percentage = 75;
  s.Width = 2.5;
  s.XUnits = luInches;
  s.SaveSettings(config);
  EXPECT_EQ(config.ReadInteger("ResizeOptions", "ResizeMethod", 0), 1);
  EXPECT_EQ(config.ReadString("ResizeOptions", "Width", ""), "2.5");
  TResizeSettings back;
  back.LoadSettings(config);
  EXPECT_EQ(back.Percentage, 75);
  EXPECT_EQ(back.Width, 2.5);
  EXPECT_EQ(back.XUnits, luInches);
  EXPECT_EQ(back.GetResizeParams().Method, rmPercentage);
}

}  // namespace
}  // namespace tvx
