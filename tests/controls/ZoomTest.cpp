#include "controls/Zoom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tvx {
namespace {

struct TZoomText {
  const char* Text;
  double Scale;
};

class ZoomText : public testing::TestWithParam<TZoomText> {};

TEST_P(ZoomText, DigitsClampedToThreeThroughSixteenHundredPercent) {
  EXPECT_DOUBLE_EQ(ZoomTextScale(GetParam().Text), GetParam().Scale) << GetParam().Text;
}

INSTANTIATE_TEST_SUITE_P(Table, ZoomText,
                         testing::Values(TZoomText{"150%", 1.5}, TZoomText{"5000", 16}, TZoomText{"x", 0.03},
                                         TZoomText{"100%", 1}, TZoomText{"10%", 0.1}, TZoomText{"3%", 0.03},
                                         TZoomText{"2%", 0.03}, TZoomText{"0", 0.03}, TZoomText{"", 0.03},
                                         TZoomText{"1600%", 16}, TZoomText{"1601%", 16},
                                         TZoomText{"2 0 0 %", 2}, TZoomText{"zoom 75", 0.75},
                                         TZoomText{"-50%", 0.5}, TZoomText{"007%", 0.07},
                                         TZoomText{"99999999999%", 16}, TZoomText{"000000000000000", 0.03}));

TEST(Zoom, RowsAreFitToViewThenThePercentagesTheyParseTo) {
  const std::vector<std::string> expected{"Fit to view", "10%",  "25%",  "50%", "75%",
                                          "100%",        "200%", "400%", "800%"};
  ASSERT_EQ(ZoomRows(), expected);
  EXPECT_EQ(ZoomRows().front(), kFitToView);
  const double scales[] = {0.1, 0.25, 0.5, 0.75, 1, 2, 4, 8};
  for (size_t i = 1; i < expected.size(); ++i) EXPECT_DOUBLE_EQ(ZoomTextScale(expected[i]), scales[i - 1]);
}

struct TFitCase {
  int32_t ViewW, ViewH, PictureW, PictureH;
  double Scale;  // 0: nothing
};

class FitToView : public testing::TestWithParam<TFitCase> {};

TEST_P(FitToView, WidthFirstThenHeightWhenItOverflows) {
  const TFitCase& c = GetParam();
  const std::optional<double> scale = FitToViewScale(c.ViewW, c.ViewH, c.PictureW, c.PictureH);
  if (c.Scale == 0) {
    EXPECT_FALSE(scale.has_value());
    return;
  }
  ASSERT_TRUE(scale.has_value());
  EXPECT_DOUBLE_EQ(*scale, c.Scale);
  // The whole picture shows and touches two opposite edges.
  const double w = std::nearbyint(c.PictureW * *scale), h = std::nearbyint(c.PictureH * *scale);
  EXPECT_LE(w, c.ViewW);
  EXPECT_LE(h, c.ViewH);
  EXPECT_TRUE(w == c.ViewW || h == c.ViewH);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FitToView,
    testing::Values(TFitCase{800, 600, 1600, 1200, 0.5}, TFitCase{800, 600, 1600, 600, 0.5},
                    TFitCase{800, 600, 400, 1200, 0.5}, TFitCase{800, 600, 200, 100, 4},
                    TFitCase{1280, 800, 6000, 3000, 1280.0 / 6000}, TFitCase{1280, 800, 6000, 4000, 0.2},
                    TFitCase{1279, 800, 4000, 6000, 800.0 / 6000}, TFitCase{100, 100, 0, 10, 0},
                    TFitCase{100, 100, 10, 0, 0}, TFitCase{0, 100, 10, 10, 0}, TFitCase{100, 0, 10, 10, 0}));

}  // namespace
}  // namespace tvx
