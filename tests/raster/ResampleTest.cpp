#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "raster/Bitmap32.h"
#include "raster/Resampler.h"
#include "util/Utils.h"

namespace tvx {
namespace {

constexpr TStretchFilter kFilters[] = {sfNearest, sfDraft,   sfLinear,  sfCosine,
                                       sfSpline,  sfLanczos, sfMitchell};
struct TSize {
  int32_t w, h;
};
constexpr TSize kSizes[] = {{1, 1},   {1, 9},   {5, 3},    {18, 11},  {37, 23},
                            {40, 23}, {74, 46}, {111, 30}, {200, 140}};

TBitmap32 Stretch(const TBitmap32& src, TSize size, TStretchFilter filter) {
  TBitmap32 dst(size.w, size.h);
  dst.Clear(0x12345678);
  StretchTransfer(dst, dst.BoundsRect(), dst.BoundsRect(), src, src.BoundsRect(), filter, dmOpaque, cmBlend,
                  255);
  return dst;
}

// A smooth opaque picture with some detail, like a photo.
TBitmap32 Photo(int32_t w, int32_t h) {
  TBitmap32 b(w, h);
  std::mt19937 rng(11);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const double v = 128 + 60 * std::sin(x * 0.3) * std::cos(y * 0.2) + (rng() % 40) - 20.0;
      b.Pixel(x, y) = ARGB(255, static_cast<uint8_t>(v), static_cast<uint8_t>(255 - v),
                           static_cast<uint8_t>(x * 255 / w));
    }
  return b;
}

std::array<double, 4> Mean(const TBitmap32& b) {
  std::array<double, 4> m{};
  for (int32_t i = 0; i < b.Width() * b.Height(); ++i)
    for (int c = 0; c < 4; ++c) m[c] += (b.Bits()[i] >> (8 * c)) & 0xFF;
  for (double& v : m) v /= b.Width() * b.Height();
  return m;
}

TEST(Resample, KernelsAreNormalisedAtTheCentre) {
  for (TStretchFilter f : kFilters) {
    if (f == sfSpline || f == sfMitchell) continue;  // smoothing kernels, not interpolating
    EXPECT_DOUBLE_EQ(FilterKernel(f, 0), 1.0) << f;
  }
  EXPECT_NEAR(FilterKernel(sfLanczos, 1), 0, 1e-12);
  EXPECT_LT(FilterKernel(sfLanczos, 1.5), 0);  // the negative lobe
  EXPECT_EQ(FilterKernel(sfLanczos, 3), 0);
  EXPECT_EQ(FilterRadius(sfLanczos), 3);
}

TEST(Resample, ConstantPictureStaysConstant) {
  TBitmap32 src(37, 23);
  for (TColor32 c : {0xFF000000u, 0xFFFFFFFFu, 0xFF80C040u, 0x7F80C040u, 0x01FF0000u, 0x00000000u}) {
    src.Clear(c);
    for (TStretchFilter f : kFilters)
      for (TSize s : kSizes) {
        const TBitmap32 dst = Stretch(src, s, f);
        for (int32_t i = 0; i < s.w * s.h; ++i)
          ASSERT_EQ(dst.Bits()[i], c) << "filter " << f << " size " << s.w << "x" << s.h;
      }
  }
}

TEST(Resample, MeanStaysWithinTwoLevels) {
  const TBitmap32 src = Photo(37, 23);
  const auto m0 = Mean(src);
  for (TStretchFilter f : kFilters)
    for (TSize s : kSizes) {
      if (s.w < 5 || s.h < 3) continue;  // too few samples for a mean
      const auto m = Mean(Stretch(src, s, f));
      for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(m[c], m0[c], f == sfNearest ? 6.0 : 2.0)
            << "filter " << f << " size " << s.w << "x" << s.h << " channel " << c;
    }
}

TEST(Resample, NearestAndDraftPickAndAverage) {
  TBitmap32 src(2, 2);
  src.Pixel(0, 0) = 0xFF000000;
  src.Pixel(1, 0) = 0xFF0000FF;
  src.Pixel(0, 1) = 0xFF00FF00;
  src.Pixel(1, 1) = 0xFFFF0000;
  const TBitmap32 up = Stretch(src, {4, 4}, sfNearest);
  EXPECT_EQ(up.Pixel(1, 1), 0xFF000000u);
  EXPECT_EQ(up.Pixel(2, 1), 0xFF0000FFu);
  EXPECT_EQ(up.Pixel(3, 3), 0xFFFF0000u);
  // Box average of the four pixels (64 rounds from 63.75).
  EXPECT_EQ(Stretch(src, {1, 1}, sfDraft).Pixel(0, 0), 0xFF404040u);
  // Linear upsampling halfway between two pixels.
  TBitmap32 line(2, 1);
  line.Pixel(0, 0) = 0xFF000000;
  line.Pixel(1, 0) = 0xFF0000C8;
  const TBitmap32 l = Stretch(line, {4, 1}, sfLinear);
  EXPECT_EQ(l.Pixel(0, 0) & 0xFF, 0u);   // edge pixels fold onto themselves
  EXPECT_EQ(l.Pixel(1, 0) & 0xFF, 50u);  // centre 0.75: a quarter of the way
  EXPECT_EQ(l.Pixel(2, 0) & 0xFF, 150u);
}

TEST(Resample, TransparentPixelsLendNoColour) {
  // Opaque red beside transparent black (and transparent white): no filter
  // darkens or lightens the red edge, whatever the factor.
  for (TColor32 hidden : {0x00000000u, 0x00FFFFFFu}) {
    TBitmap32 src(20, 20);
    src.Clear(hidden);
    for (int y = 5; y < 15; ++y)
      for (int x = 5; x < 15; ++x) src.Pixel(x, y) = 0xFFFF0000;
    for (TStretchFilter f : kFilters)
      for (TSize s : {TSize{7, 7}, TSize{33, 47}, TSize{9, 60}}) {
        const TBitmap32 dst = Stretch(src, s, f);
        for (int32_t i = 0; i < s.w * s.h; ++i) {
          const TColor32 p = dst.Bits()[i];
          if (AlphaOf(p) < 8) continue;  // colour of almost invisible pixels is moot
          ASSERT_GE(RedOf(p), 250) << f << " " << std::hex << p;
          ASSERT_LE(GreenOf(p), 5) << f << " " << std::hex << p;
          ASSERT_LE(BlueOf(p), 5) << f << " " << std::hex << p;
        }
      }
  }
}

TEST(Resample, LanczosRingsAndIsSteeperThanLinear) {
  // A grey step enlarged 8 times: the windowed sinc overshoots beside the
  // step (its negative lobes) and rises faster; the triangle does neither.
  TBitmap32 src(12, 1);
  for (int x = 0; x < 12; ++x) src.Pixel(x, 0) = x < 6 ? 0xFF404040u : 0xFFC0C0C0u;
  auto profile = [&](TStretchFilter f, int& steepest, int& highest) {
    const TBitmap32 d = Stretch(src, {96, 1}, f);
    steepest = highest = 0;
    for (int x = 1; x < 96; ++x) {
      steepest = std::max(steepest, int(BlueOf(d.Pixel(x, 0))) - int(BlueOf(d.Pixel(x - 1, 0))));
      highest = std::max(highest, int(BlueOf(d.Pixel(x, 0))));
    }
  };
  int ls, lh, ns, nh;
  profile(sfLanczos, ls, lh);
  profile(sfLinear, ns, nh);
  EXPECT_GT(ls, ns);
  EXPECT_GT(lh, 0xC0);
  EXPECT_EQ(nh, 0xC0);
}

TEST(Resample, StrongVerticalShrinkStaysConstantAndKeepsTheMean) {
  // Thousands of taps per output row over a wide row take the row-summing path.
  TBitmap32 src(1000, 4500);
  src.Clear(0xFF204080u);
  EXPECT_EQ(Stretch(src, {1000, 2}, sfLanczos).Pixel(999, 1), 0xFF204080u);
  for (int32_t y = 2250; y < 4500; ++y) std::fill_n(src.ScanLine(y), 1000, 0xFF6080A0u);
  for (TStretchFilter f : {sfLanczos, sfMitchell}) {
    const TBitmap32 dst = Stretch(src, {1000, 2}, f);
    EXPECT_LT(BlueOf(dst.Pixel(0, 0)), BlueOf(dst.Pixel(0, 1)));
    EXPECT_NEAR((BlueOf(dst.Pixel(500, 0)) + BlueOf(dst.Pixel(500, 1))) / 2.0, 0x90, 1.0);
    EXPECT_NEAR((RedOf(dst.Pixel(500, 0)) + RedOf(dst.Pixel(500, 1))) / 2.0, 0x40, 1.0);
  }
}

// ---- ResampleBitmap ----------------------------------------------------------

TEST(ResampleBitmap, Guards) {
  TBitmap32 b = Photo(40, 30);
  const TBitmap32 original = b;
  auto same = [&] {
    return b.Width() == 40 && b.Height() == 30 && std::equal(b.Bits(), b.Bits() + 1200, original.Bits());
  };
  ResampleBitmap(b, 10001, 100);
  EXPECT_TRUE(same());
  ResampleBitmap(b, 100, 10001);
  EXPECT_TRUE(same());
  ResampleBitmap(b, -1, 20);
  EXPECT_TRUE(same());
  ResampleBitmap(b, 40, 30);
  EXPECT_TRUE(same());
  TBitmap32 empty;
  ResampleBitmap(empty, 10, 10);
  EXPECT_TRUE(empty.Empty());
  TBitmap32 zeroWide(0, 7);
  ResampleBitmap(zeroWide, 10, 10);
  EXPECT_TRUE(zeroWide.Empty());
  ResampleBitmap(b, 0, 0);
  EXPECT_TRUE(b.Empty());
}

TEST(ResampleBitmap, ResizesAllChannelsAndKeepsDrawingProperties) {
  TBitmap32 b(30, 20);
  b.Clear(0x80204060);
  b.DrawMode = dmBlend;
  b.CombineMode = cmMerge;
  b.MasterAlpha = 99;
  b.StretchFilter = sfLinear;
  ResampleBitmap(b, 10000, 1);
  EXPECT_EQ(b.Width(), 10000);
  EXPECT_EQ(b.Height(), 1);
  EXPECT_EQ(b.Pixel(9999, 0), 0x80204060u);
  EXPECT_EQ(b.DrawMode, dmBlend);
  EXPECT_EQ(b.CombineMode, cmMerge);
  EXPECT_EQ(b.MasterAlpha, 99);
  EXPECT_EQ(b.StretchFilter, sfLinear);
  EXPECT_EQ(b.ClipRect(), (TRect{0, 0, 10000, 1}));
  ResampleBitmap(b, 1, 1);
  EXPECT_EQ(b.Pixel(0, 0), 0x80204060u);
}

}  // namespace
}  // namespace tvx
