#include "controls/ScaledPicture.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tvx {
namespace {

struct TShrinkCase {
  int32_t Width, Height, ToWidth, ToHeight;
};

class Shrinking : public testing::TestWithParam<TShrinkCase> {};

// Every scale and odd sizes: a one-coloured picture stays that colour, edges included.
TEST_P(Shrinking, ConstantPictureStaysConstant) {
  const TShrinkCase& c = GetParam();
  TBitmap32 picture(c.Width, c.Height);
  picture.Clear(0xFF3C7896u);
  TBitmap32 buffer(c.ToWidth + 4, c.ToHeight + 4);
  buffer.Clear(0);
  TScaledPicture scaled;
  scaled.Draw(buffer, picture, TRect{2, 2, 2 + c.ToWidth, 2 + c.ToHeight});
  for (int32_t y = 0; y < buffer.Height(); ++y)
    for (int32_t x = 0; x < buffer.Width(); ++x) {
      const bool inside = x >= 2 && y >= 2 && x < 2 + c.ToWidth && y < 2 + c.ToHeight;
      ASSERT_EQ(buffer.Pixel(x, y), inside ? 0xFF3C7896u : 0u) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Shrinking,
                         testing::Values(TShrinkCase{100, 80, 99, 79}, TShrinkCase{100, 80, 50, 40},
                                         TShrinkCase{999, 7, 10, 1}, TShrinkCase{1001, 1001, 3, 3},
                                         TShrinkCase{4097, 33, 31, 2}, TShrinkCase{640, 480, 1, 1},
                                         TShrinkCase{5, 3000, 1, 40}));

// One-pixel stripes picked pixel by pixel would come out black or white and
// shimmer while scrolling; averaged they are an even grey.
TEST(ScaledPicture, ShrinkingAveragesInsteadOfPickingPixels) {
  TBitmap32 stripes(2000, 1500);
  for (int32_t y = 0; y < stripes.Height(); ++y)
    for (int32_t x = 0; x < stripes.Width(); ++x) stripes.Pixel(x, y) = (x % 2) ? 0xFFFFFFFFu : 0xFF000000u;
  for (int32_t width : {1000, 333, 101, 77}) {
    const int32_t height = width * 3 / 4;
    TBitmap32 buffer(width, height);
    TScaledPicture scaled;
    scaled.Draw(buffer, stripes, buffer.BoundsRect());
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        ASSERT_NEAR(RedOf(buffer.Pixel(x, y)), 128, 4) << width << ": " << x << "," << y;
  }
}

TEST(ScaledPicture, TransparentSurroundingsLendNoDarkFringe) {
  TBitmap32 picture(64, 64);
  picture.Clear(0);
  for (int32_t y = 16; y < 48; ++y)
    for (int32_t x = 16; x < 48; ++x) picture.Pixel(x, y) = 0xFFFFFFFFu;
  TBitmap32 buffer(8, 8);
  buffer.Clear(0);
  TScaledPicture scaled;
  scaled.Draw(buffer, picture, buffer.BoundsRect());
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      if (AlphaOf(buffer.Pixel(x, y)) > 0) {
        EXPECT_EQ(buffer.Pixel(x, y) & 0xFFFFFFu, 0xFFFFFFu) << x << "," << y;
      }
    }
}

TEST(ScaledPicture, OwnSizeCopiesAndEnlargingRepeatsPixels) {
  TBitmap32 picture(3, 2);
  for (int32_t i = 0; i < 6; ++i) picture.Bits()[i] = 0xFF000000u | (0x111111u * (i + 1));
  TScaledPicture scaled;
  TBitmap32 buffer(10, 10);
  buffer.Clear(0);
  scaled.Draw(buffer, picture, TRect{1, 1, 4, 3});
  EXPECT_EQ(buffer.Pixel(1, 1), picture.Pixel(0, 0));
  EXPECT_EQ(buffer.Pixel(3, 2), picture.Pixel(2, 1));
  buffer.Clear(0);
  scaled.Draw(buffer, picture, TRect{-3, 0, 6, 6});  // x3, partly left of the buffer
  EXPECT_EQ(buffer.Pixel(0, 0), picture.Pixel(1, 0));
  EXPECT_EQ(buffer.Pixel(2, 2), picture.Pixel(1, 0));
  EXPECT_EQ(buffer.Pixel(3, 3), picture.Pixel(2, 1));
  EXPECT_EQ(scaled.Builds(), 0);  // nothing to cache
}

TEST(ScaledPicture, CacheIsReusedUntilThePictureChanges) {
  TBitmap32 picture(400, 300);
  picture.Clear(0xFFFF0000u);
  TBitmap32 buffer(100, 75);
  TScaledPicture scaled;
  scaled.Draw(buffer, picture, buffer.BoundsRect());
  scaled.Draw(buffer, picture, buffer.BoundsRect());
  EXPECT_EQ(scaled.Builds(), 1);
  EXPECT_EQ(buffer.Pixel(50, 40), 0xFFFF0000u);

  picture.Clear(0xFF00FF00u);  // same object, new pixels: stale until told
  scaled.Invalidate();
  scaled.Draw(buffer, picture, buffer.BoundsRect());
  EXPECT_EQ(buffer.Pixel(50, 40), 0xFF00FF00u);
  EXPECT_EQ(scaled.Builds(), 2);

  TBitmap32 other(400, 300);  // another picture needs no telling
  other.Clear(0xFF0000FFu);
  scaled.Draw(buffer, other, buffer.BoundsRect());
  EXPECT_EQ(buffer.Pixel(50, 40), 0xFF0000FFu);

  picture.SetSize(200, 300);  // nor does another size
  picture.Clear(0xFFFFFFFFu);
  scaled.Draw(buffer, picture, TRect{0, 0, 50, 75});
  EXPECT_EQ(buffer.Pixel(10, 40), 0xFFFFFFFFu);

  scaled.Draw(buffer, picture, TRect{0, 0, 40, 60});  // another scale
  EXPECT_EQ(scaled.Builds(), 5);
}

TEST(ScaledPicture, DrawsWithThePicturesModesAndClip) {
  TBitmap32 picture(40, 40);
  picture.Clear(0xFFFFFFFFu);
  picture.DrawMode = dmBlend;
  picture.MasterAlpha = 0;
  TBitmap32 buffer(10, 10);
  buffer.Clear(0xFF000000u);
  TScaledPicture scaled;
  scaled.Draw(buffer, picture, buffer.BoundsRect());
  EXPECT_EQ(buffer.Pixel(5, 5), 0xFF000000u);  // master alpha 0 leaves the buffer alone
  picture.MasterAlpha = 255;
  buffer.SetClipRect(TRect{0, 0, 5, 10});
  scaled.Draw(buffer, picture, buffer.BoundsRect());
  EXPECT_EQ(buffer.Pixel(4, 5), 0xFFFFFFFFu);
  EXPECT_EQ(buffer.Pixel(5, 5), 0xFF000000u);
}

}  // namespace
}  // namespace tvx
