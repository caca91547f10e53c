#include "controls/ViewGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "raster/Layers.h"

namespace tvx {
namespace {

struct TPlacementCase {
  const char* Name;
  int32_t PictureW, PictureH, ViewW, ViewH;
  double Scale;
  int32_t AskX, AskY;  // requested scroll position
  TRect Expected;
  int32_t ScrollX, ScrollY;
};

class ViewPlacement : public testing::TestWithParam<TPlacementCase> {};

TEST_P(ViewPlacement, PictureRectangleAndScrollRange) {
  const TPlacementCase& c = GetParam();
  TViewGeometry g;
  g.SetViewportSize(c.ViewW, c.ViewH);
  g.SetPictureSize(c.PictureW, c.PictureH);
  g.SetScale(c.Scale);
  g.SetScroll(c.AskX, c.AskY);
  EXPECT_EQ(g.GetBitmapRect(), c.Expected);
  EXPECT_EQ(g.ScrollX(), c.ScrollX);
  EXPECT_EQ(g.ScrollY(), c.ScrollY);
  EXPECT_EQ(g.GetViewportRect(), (TRect{0, 0, c.ViewW, c.ViewH}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewPlacement,
    testing::Values(
        TPlacementCase{"SmallerIsCentred", 100, 50, 300, 200, 1.0, 10, 10, {100, 75, 200, 125}, 0, 0},
        TPlacementCase{"OddMarginRoundsDown", 100, 51, 301, 200, 1.0, 0, 0, {100, 74, 200, 125}, 0, 0},
        TPlacementCase{
            "LargerScrollsAndClamps", 1000, 800, 300, 200, 1.0, 1000, -5, {-700, 0, 300, 800}, 700, 0},
        TPlacementCase{
            "LargerScrolledInside", 1000, 800, 300, 200, 1.0, 120, 33, {-120, -33, 880, 767}, 120, 33},
        TPlacementCase{
            "WideScrollsAcrossCentredDown", 1000, 100, 300, 200, 1.0, 50, 50, {-50, 50, 950, 150}, 50, 0},
        TPlacementCase{"ShrunkToFit", 6000, 4000, 1200, 800, 0.2, 99, 99, {0, 0, 1200, 800}, 0, 0},
        TPlacementCase{"EnlargedScrolls", 20, 10, 100, 100, 8.0, 500, 500, {-60, 10, 100, 90}, 60, 0},
        TPlacementCase{"TinyPictureKeepsOnePixel", 3, 3, 50, 50, 0.03, 0, 0, {24, 24, 25, 25}, 0, 0},
        TPlacementCase{"EmptyPicture", 0, 0, 50, 40, 1.0, 7, 7, {25, 20, 25, 20}, 0, 0}),
    [](const testing::TestParamInfo<TPlacementCase>& info) { return info.param.Name; });

TEST(ViewGeometry, ScrollToCenterPutsThePicturePointInTheMiddleAsFarAsItCan) {
  TViewGeometry g;
  g.SetViewportSize(300, 200);
  g.SetPictureSize(1000, 800);
  EXPECT_TRUE(g.ScrollToCenter(500, 400));
  EXPECT_EQ(g.ScrollX(), 350);
  EXPECT_EQ(g.ScrollY(), 300);
  double x = 150, y = 100;  // the viewport's centre
  g.ViewToPicture(x, y);
  EXPECT_DOUBLE_EQ(x, 500);
  EXPECT_DOUBLE_EQ(y, 400);

  g.ScrollToCenter(0, 0);
  EXPECT_EQ(g.ScrollX(), 0);
  EXPECT_EQ(g.ScrollY(), 0);
  g.ScrollToCenter(1e9, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(g.ScrollX(), 700);
  EXPECT_EQ(g.ScrollY(), 0);
  EXPECT_FALSE(g.ScrollToCenter(1e9, 0));  // already there

  g.SetScale(2);  // centre kept: picture point (850, 100)
  EXPECT_TRUE(g.ScrollToCenter(250, 100));
  EXPECT_EQ(g.ScrollX(), 350);
  EXPECT_EQ(g.ScrollY(), 100);
}

TEST(ViewGeometry, ZoomKeepsThePointAtTheCentre) {
  TViewGeometry g;
  g.SetViewportSize(200, 200);
  g.SetPictureSize(1000, 1000);
  g.ScrollToCenter(600, 300);
  EXPECT_TRUE(g.SetScale(2));
  EXPECT_EQ(g.ScrollX(), 1100);
  EXPECT_EQ(g.ScrollY(), 500);
  double x = 100, y = 100;
  g.ViewToPicture(x, y);
  EXPECT_DOUBLE_EQ(x, 600);
  EXPECT_DOUBLE_EQ(y, 300);
  // out to a scale where it fits: centred, nothing left to scroll
  EXPECT_TRUE(g.SetScale(0.1));
  EXPECT_EQ(g.ScrollX(), 0);
  EXPECT_EQ(g.GetBitmapRect(), (TRect{50, 50, 150, 150}));
}

TEST(ViewGeometry, ScaleIsKeptWithinLimitsAndIgnoresNonsense) {
  TViewGeometry g;
  EXPECT_FALSE(g.SetScale(1.0));
  EXPECT_FALSE(g.SetScale(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(g.SetScale(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(g.Scale(), 1.0);
  EXPECT_TRUE(g.SetScale(0));
  EXPECT_EQ(g.Scale(), TViewGeometry::kMinScale);
  EXPECT_FALSE(g.SetScale(-3));  // clamps to the same
  EXPECT_TRUE(g.SetScale(1e9));
  EXPECT_EQ(g.Scale(), TViewGeometry::kMaxScale);
  g.SetPictureSize(10000, 10000);
  EXPECT_GT(g.ScaledWidth(), 0);  // no overflow at the largest scale
}

TEST(ViewGeometry, MappingRoundTripsAndMatchesTheLayerTransform) {
  TViewGeometry g;
  g.SetViewportSize(640, 480);
  g.SetPictureSize(3000, 2000);
  for (double scale : {0.05, 0.25, 1.0, 3.0}) {
    g.SetScale(scale);
    g.SetScroll(123, 45);
    double x = 777.25, y = 1234.5;
    g.PictureToView(x, y);
    double bx = x, by = y;
    g.ViewToPicture(bx, by);
    EXPECT_NEAR(bx, 777.25, 1e-9) << scale;
    EXPECT_NEAR(by, 1234.5, 1e-9) << scale;

    // A layer at the picture's corners lands on the picture rectangle's corners.
    TLayerCollection layers;
    layers.SetCoordXForm(g.CoordXForm());
    const TFloatRect v = layers.LocalToView(FloatRect(0, 0, 3000, 2000));
    const TRect r = g.GetBitmapRect();
    EXPECT_FLOAT_EQ(v.Left, static_cast<float>(r.Left)) << scale;
    EXPECT_FLOAT_EQ(v.Top, static_cast<float>(r.Top)) << scale;
    EXPECT_NEAR(v.Right, r.Right, 0.5) << scale;
    EXPECT_NEAR(v.Bottom, r.Bottom, 0.5) << scale;
    float lx = static_cast<float>(x), ly = static_cast<float>(y);
    layers.ViewToLocal(lx, ly);
    // 16.16 fixed point: a tenth of a picture pixel at scale 0.05
    EXPECT_NEAR(lx, 777.25, 0.1) << scale;
    EXPECT_NEAR(ly, 1234.5, 0.1) << scale;
  }
}

TEST(ViewGeometry, ViewportAndPictureChangesKeepTheScrollInRange) {
  TViewGeometry g;
  g.SetViewportSize(100, 100);
  g.SetPictureSize(400, 400);
  g.SetScroll(300, 300);
  g.SetViewportSize(200, 150);
  EXPECT_EQ(g.ScrollX(), 200);
  EXPECT_EQ(g.ScrollY(), 250);
  g.SetPictureSize(220, 120);
  EXPECT_EQ(g.ScrollX(), 20);
  EXPECT_EQ(g.ScrollY(), 0);
  EXPECT_TRUE(g.ScrollBy(-1000, 0));
  EXPECT_EQ(g.ScrollX(), 0);
  EXPECT_FALSE(g.ScrollBy(std::numeric_limits<int32_t>::min(), 0));
  EXPECT_TRUE(g.ScrollBy(std::numeric_limits<int32_t>::max(), 0));
  EXPECT_EQ(g.ScrollX(), 20);
}

}  // namespace
}  // namespace tvx
