#include "editor/NavigatorModel.h"

#include <gtest/gtest.h>

#include "watermark/WatermarkTestUtil.h"

namespace tvx {
namespace {

struct TSizeCase {
  int32_t W, H, ThumbW, ThumbH;
};

class ThumbnailSizeTest : public testing::TestWithParam<TSizeCase> {};

TEST_P(ThumbnailSizeTest, FitsTheArea) {
  const TSizeCase& c = GetParam();
  int32_t w, h;
  TNavigatorModel::ThumbnailSize(c.W, c.H, w, h);
  EXPECT_EQ(w, c.ThumbW);
  EXPECT_EQ(h, c.ThumbH);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ThumbnailSizeTest,
                         testing::Values(TSizeCase{6000, 4000, 208, 138}, TSizeCase{4000, 6000, 93, 140},
                                         TSizeCase{208, 140, 208, 140}, TSizeCase{100, 100, 140, 140},
                                         TSizeCase{10000, 1, 208, 1}, TSizeCase{1, 10000, 1, 140},
                                         TSizeCase{0, 100, 0, 0}, TSizeCase{-3, 5, 0, 0}));

TEST(NavigatorModel, ScalesThePictureOnceAndDrawsTheLayersEveryTime) {
  TBitmap32 picture(2080, 1400);
  picture.Clear(0xFF00FF00u);
  TLayerCollection layers;
  TBitmapLayer* layer = test::AddPictureLayer(layers, 200, 200, 0xFFFF0000u);
  TNavigatorModel navigator;
  navigator.SetPicture(&picture);
  const TBitmap32& first = navigator.Render(layers);
  ASSERT_EQ(first.Width(), 208);
  ASSERT_EQ(first.Height(), 140);
  EXPECT_EQ(first.Pixel(5, 5), 0xFFFF0000u);    // the layer at (0, 0), 20 x 20 on the thumbnail
  EXPECT_EQ(first.Pixel(50, 50), 0xFF00FF00u);  // the picture
  for (int i = 0; i < 5; ++i) {
    layer->SetLocation(TFloatRect{0, 0, 200, 200});
    layer->XCoord = float(100 * i);
    navigator.Render(layers);
  }
  EXPECT_EQ(navigator.Scalings(), 1);
  EXPECT_EQ(navigator.Thumbnail().Pixel(45, 5), 0xFFFF0000u);  // moved with its coordinates
  layer->SetVisible(false);
  EXPECT_EQ(navigator.Render(layers).Pixel(45, 5), 0xFF00FF00u);
  navigator.Invalidate();
  navigator.Render(layers);
  EXPECT_EQ(navigator.Scalings(), 2);
}

TEST(NavigatorModel, LeavesOutLayersNarrowerThanAThumbnailPixel) {
  TBitmap32 picture(20800, 14000);
  picture.Clear(0xFFFFFFFFu);
  TLayerCollection layers;
  test::AddPictureLayer(layers, 50, 5000, 0xFF000000u);  // half a thumbnail pixel wide
  TNavigatorModel navigator;
  navigator.SetPicture(&picture);
  EXPECT_EQ(navigator.Render(layers).Pixel(0, 10), 0xFFFFFFFFu);
}

TEST(NavigatorModel, TheViewportRectangleShowsThePartOnView) {
  TBitmap32 picture(2080, 1400);
  TNavigatorModel navigator;
  navigator.SetPicture(&picture);
  EXPECT_EQ(navigator.ThumbnailRect(), (TRect{0, 0, 208, 140}));
  TViewGeometry g;
  g.SetPictureSize(2080, 1400);
  g.SetViewportSize(520, 350);
  g.SetScale(1.0);
  g.SetScroll(1040, 700);
  EXPECT_EQ(navigator.ViewportRect(g), (TRect{104, 70, 156, 105}));
  // the whole width on view: the whole thumbnail across
  g.SetScale(0.2);
  g.SetViewportSize(500, 100);
  const TRect r = navigator.ViewportRect(g);
  EXPECT_EQ(r.Left, 0);
  EXPECT_EQ(r.Right, 208);
  EXPECT_LT(r.Height(), 140);
  double x = 104, y = 70;
  navigator.ThumbnailToPicture(x, y);
  EXPECT_DOUBLE_EQ(x, 1040);
  EXPECT_DOUBLE_EQ(y, 700);
}

TEST(NavigatorModel, ASmallPictureIsCentredInTheArea) {
  TBitmap32 picture(100, 400);
  TNavigatorModel navigator;
  navigator.SetPicture(&picture);
  EXPECT_EQ(navigator.ThumbnailRect(), (TRect{86, 0, 121, 140}));
  navigator.SetPicture(nullptr);
  TLayerCollection layers;
  EXPECT_TRUE(navigator.Render(layers).Empty());
}

}  // namespace
}  // namespace tvx
