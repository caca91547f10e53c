#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace tvx {
namespace {

TEST(Bitmap32, SizeClearAndPixelLayout) {
  TBitmap32 b(3, 2);
  EXPECT_FALSE(b.Empty());
  b.Clear(0x80112233);
  EXPECT_EQ(b.Pixel(2, 1), 0x80112233u);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(b.Bits());
  EXPECT_EQ(bytes[0], 0x33);  // blue first in memory
  EXPECT_EQ(bytes[3], 0x80);  // alpha last
  b.SetSize(0, 5);
  EXPECT_TRUE(b.Empty());
}

TEST(Bitmap32, MoveLeavesSourceEmptyAndKeepsProperties) {
  TBitmap32 a(4, 3);
  a.Clear(0xFF010203);
  a.DrawMode = dmBlend;
  a.MasterAlpha = 7;
  TBitmap32 b = std::move(a);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.Pixel(3, 2), 0xFF010203u);
  EXPECT_EQ(b.MasterAlpha, 7);
  EXPECT_TRUE(a.Empty());            // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(a.ClipRect(), TRect{});  // NOLINT(bugprone-use-after-move)
  a.SetSize(2, 2);                   // usable again
  EXPECT_EQ(a.ClipRect(), (TRect{0, 0, 2, 2}));
}

// An adopted block (a plug-in's picture) goes back exactly once, through its
// release, whatever ends the bitmap's use of it; copies own their pixels.
struct TAdoptCase {
  const char* Name;
  void (*End)(TBitmap32& bitmap);
  int ReleasedBeforeDestruction;
};

class Bitmap32Adopt : public ::testing::TestWithParam<TAdoptCase> {};

TEST_P(Bitmap32Adopt, BlockGoesBackOnceThroughItsRelease) {
  static std::vector<TColor32*> released;
  released.clear();
  auto* block = static_cast<TColor32*>(std::malloc(6 * sizeof(TColor32)));
  for (int i = 0; i < 6; ++i) block[i] = 0xFF000000u + static_cast<TColor32>(i);
  TPixelRelease release;
  release.Release = [](void* context, TColor32* b) {
    EXPECT_EQ(context, &released);
    released.push_back(b);
    std::free(b);
  };
  release.Context = &released;
  {
    TBitmap32 bitmap;
    bitmap.Adopt(3, 2, block, release);
    EXPECT_EQ(bitmap.Bits(), block) << "no copy";
    EXPECT_EQ(bitmap.Pixel(2, 1), 0xFF000005u);
    EXPECT_EQ(bitmap.ClipRect(), (TRect{0, 0, 3, 2}));
    TBitmap32 copy(bitmap);
    EXPECT_NE(copy.Bits(), block);
    EXPECT_EQ(copy.Pixel(1, 1), 0xFF000004u);
    GetParam().End(bitmap);
    EXPECT_EQ(static_cast<int>(released.size()), GetParam().ReleasedBeforeDestruction);
    EXPECT_EQ(copy.Pixel(2, 1), 0xFF000005u);
  }
  ASSERT_EQ(released.size(), 1u);
  EXPECT_EQ(released[0], block);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, Bitmap32Adopt,
    ::testing::Values(TAdoptCase{"Destroyed", [](TBitmap32&) {}, 0},
                      TAdoptCase{"Resized", [](TBitmap32& b) { b.SetSize(4, 4); }, 1},
                      TAdoptCase{"SameSizeKeepsIt", [](TBitmap32& b) { b.SetSize(3, 2); }, 0},
                      TAdoptCase{"AssignedTo", [](TBitmap32& b) { b.Assign(TBitmap32(3, 2)); }, 1},
                      TAdoptCase{"MovedTo", [](TBitmap32& b) { b = TBitmap32(1, 1); }, 1},
                      TAdoptCase{"MovedAway",
                                 [](TBitmap32& b) {
                                   TBitmap32 other = std::move(b);
                                   EXPECT_EQ(other.Pixel(0, 0), 0xFF000000u);
                                 },
                                 1},
                      TAdoptCase{"AdoptedAgain", [](TBitmap32& b) { b.Adopt(0, 0, nullptr, {}); }, 1}),
    [](const ::testing::TestParamInfo<TAdoptCase>& info) { return info.param.Name; });

TEST(Bitmap32, ResizingKeepsThePixelsThereWereAndZeroesTheNew) {
  TBitmap32 b(2, 2);
  EXPECT_EQ(b.Pixel(1, 1), 0u) << "a new bitmap is zeroed";
  b.Clear(0xFFABCDEFu);
  b.SetSize(3, 2);  // the block grows: the first four pixels stay, as in a vector
  EXPECT_EQ(b.Bits()[3], 0xFFABCDEFu);
  EXPECT_EQ(b.Bits()[4], 0u);
  EXPECT_EQ(b.Bits()[5], 0u);
  TBitmap32 c;
  c = b;
  EXPECT_EQ(c.Bits()[3], 0xFFABCDEFu);
  c.Assign(TBitmap32());
  EXPECT_TRUE(c.Empty());
  EXPECT_EQ(c.Bits(), nullptr);
}

TEST(Bitmap32, FreeFunctions) {
  EXPECT_EQ(Color32(0x00FF0000), 0xFF0000FFu);  // system colour value: blue
  EXPECT_EQ(Color32(0x000080FF), 0xFFFF8000u);
  EXPECT_EQ(Color32(0xFF00000F), 0xFFF0F0F0u);  // named: button face
  EXPECT_EQ(Color32(0x8000000D), 0xFF3399FFu);  // named: highlight
  EXPECT_EQ(Color32(0xFF123456), 0xFF563412u);  // not an index: plain value
  EXPECT_EQ(SetAlpha(0xFF123456, 0x40), 0x40123456u);
  EXPECT_EQ(MakeRect(FloatRect(0.5f, 1.5f, 2.5f, -0.5f)), (TRect{0, 2, 2, 0}));
  EXPECT_EQ(MakeRect(FloatRect(0.49f, 1.51f, -1.5f, 3.7f)), (TRect{0, 2, -2, 4}));
  EXPECT_EQ(MakeRect(FloatRect(-1e20f, 0, 1e20f, NAN)), (TRect{-(1 << 30), 0, 1 << 30, 0}));
  TRect r{1, 2, 3, 4};
  OffsetRect(r, -1, 10);
  EXPECT_EQ(r, (TRect{0, 12, 2, 14}));
  TRect i;
  EXPECT_FALSE(IntersectRect(i, TRect{0, 0, 2, 2}, TRect{2, 0, 4, 2}));
  EXPECT_EQ(i, TRect{});
}

// ---- blending ---------------------------------------------------------------

TEST(Blend, HandComputedValues) {
  // W = (256 * 128) >> 8 = 128 over opaque blue.
  EXPECT_EQ(BlendPixel(0x80FF0000, 0xFF0000FF, 255, cmBlend), 0xBF80007Fu);
  EXPECT_EQ(BlendPixel(0x80FF0000, 0xFF0000FF, 255, cmMerge), 0xFF80007Fu);
  // Half-transparent red over half-transparent blue: A = 128 + 128 * 127 / 255.
  EXPECT_EQ(BlendPixel(0x80FF0000, 0x800000FF, 255, cmMerge), 0xC0AA0055u);
  // Master alpha 128 turns an opaque pixel into W = (129 * 255) >> 8 = 128.
  EXPECT_EQ(BlendPixel(0xFFFF0000, 0xFF0000FF, 128, cmMerge), 0xFF80007Fu);
  // cmBlend interpolates alpha too: over transparent the colour darkens.
  EXPECT_EQ(BlendPixel(0xFFC86432, 0x00000000, 128, cmBlend), 0x80643219u);
}

TEST(Blend, EdgeCases) {
  const TColor32 dst = 0x7F102030;
  for (TCombineMode m : {cmBlend, cmMerge}) {
    EXPECT_EQ(BlendPixel(0x00FFFFFF, dst, 255, m), dst) << "alpha 0 leaves the destination";
    EXPECT_EQ(BlendPixel(0xFFFFFFFF, dst, 0, m), dst) << "master alpha 0 leaves the destination";
    // Opaque foreground at full master alpha replaces the destination exactly.
    EXPECT_EQ(BlendPixel(0xFF445566, dst, 255, m), 0xFF445566u);
  }
  EXPECT_NE(BlendPixel(0x01FFFFFF, 0xFF000000, 255, cmBlend), 0xFF000000u);
  // cmMerge onto transparent: foreground colour, effective alpha.
  EXPECT_EQ(BlendPixel(0x80123456, 0x00ABCDEF, 255, cmMerge), 0x80123456u);
  EXPECT_EQ(BlendPixel(0xFF123456, 0x00ABCDEF, 128, cmMerge), 0x80123456u);
  // Over an opaque destination cmMerge keeps alpha 255 and the cmBlend colour.
  const TColor32 f = 0x9C405060, b = 0xFF90A0B0;
  EXPECT_EQ(BlendPixel(f, b, 200, cmMerge), BlendPixel(f, b, 200, cmBlend) | 0xFF000000u);
}

// The row routine takes vector shortcuts; it must agree with BlendPixel on
// every mix of transparent, opaque and partial pixels.
TEST(Blend, RowsMatchPixelArithmetic) {
  std::mt19937 rng(5);
  const uint32_t alphas[] = {0, 1, 127, 128, 254, 255};
  // Destinations: mixed, mostly opaque, mostly transparent.
  auto pick = [&](int kind) {
    uint32_t a = alphas[rng() % 6];
    if (kind > 0 && rng() % 2) a = kind == 1 ? 255 : 0;
    return SetAlpha(rng() & 0xFFFFFF, static_cast<uint8_t>(a));
  };
  for (TCombineMode mode : {cmBlend, cmMerge})
    for (uint8_t master : {uint8_t{0}, uint8_t{1}, uint8_t{128}, uint8_t{255}})
      for (int kind : {0, 1, 2, 3}) {
        std::vector<TColor32> src(203), dst(203), expect(203);
        for (size_t i = 0; i < src.size(); ++i) {
          // kind 3: long transparent runs (a turned layer), coloured underneath
          src[i] = kind == 3 && (i / 9) % 3 != 0 ? SetAlpha(rng() & 0xFFFFFF, 0) : pick(0);
          dst[i] = pick(kind % 3);
          expect[i] = BlendPixel(src[i], dst[i], master, mode);
        }
        BlendRow(src.data(), dst.data(), static_cast<int32_t>(dst.size()), dmBlend, mode, master);
        for (size_t i = 0; i < src.size(); ++i)
          ASSERT_EQ(dst[i], expect[i]) << "mode " << mode << " master " << int(master) << " at " << i;
      }
}

TEST(Blend, ExhaustiveAgainstRealArithmetic) {
  // Every W and a spread of channel values: within half a level of the exact
  // formula (plus the rounding of A for the merge colour).
  for (uint32_t fa = 1; fa < 256; fa += 3)
    for (uint32_t ba = 0; ba < 256; ba += 17)
      for (uint32_t fc = 0; fc < 256; fc += 51)
        for (uint32_t bc = 0; bc < 256; bc += 85) {
          const TColor32 f = ARGB(fa, fc, fc, fc), b = ARGB(ba, bc, bc, bc);
          const double w = ((256 * fa) >> 8);
          const TColor32 m = BlendPixel(f, b, 255, cmMerge);
          const double a = w + ba * (1 - w / 255);
          ASSERT_NEAR(AlphaOf(m), a, 0.5);
          ASSERT_NEAR(RedOf(m), (fc * w + bc * ba * (1 - w / 255)) / a, 0.5001);
          const TColor32 l = BlendPixel(f, b, 255, cmBlend);
          ASSERT_NEAR(AlphaOf(l), ba + (double(fa) - ba) * w / 255, 0.5001);
          ASSERT_NEAR(RedOf(l), bc + (double(fc) - bc) * w / 255, 0.5001);
        }
}

// ---- transfers --------------------------------------------------------------

TEST(Transfer, DrawAtPointRespectsClipAndEdges) {
  TBitmap32 dst(10, 10);
  dst.Clear(0xFF000000);
  dst.SetClipRect(TRect{2, 2, 8, 8});
  TBitmap32 src(10, 10);
  src.Clear(0xFFFF0000);
  src.DrawTo(dst, -3, -3);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x < 7 && y >= 2 && y < 7;  // clip and source overlap
      ASSERT_EQ(dst.Pixel(x, y), inside ? 0xFFFF0000u : 0xFF000000u) << x << "," << y;
    }
  dst.ResetClipRect();
  src.DrawTo(dst, 100, 100);  // far outside: nothing
  src.DrawTo(dst, -100, 5);
  EXPECT_EQ(dst.Pixel(0, 9), 0xFF000000u);
}

TEST(Transfer, SourceRectangleAndBlendMode) {
  TBitmap32 src(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.Pixel(x, y) = ARGB(255, x * 10, y * 10, 0);
  TBitmap32 dst(5, 5);
  dst.Clear(0);
  src.DrawTo(dst, 1, 1, TRect{2, 1, 4, 3});
  EXPECT_EQ(dst.Pixel(1, 1), ARGB(255, 20, 10, 0));
  EXPECT_EQ(dst.Pixel(2, 2), ARGB(255, 30, 20, 0));
  EXPECT_EQ(dst.Pixel(3, 1), 0u);
  // A source rectangle poking out of the source keeps its placement.
  dst.Clear(0);
  src.DrawTo(dst, 0, 0, TRect{-1, -1, 2, 2});
  EXPECT_EQ(dst.Pixel(0, 0), 0u);
  EXPECT_EQ(dst.Pixel(1, 1), ARGB(255, 0, 0, 0));
  EXPECT_EQ(dst.Pixel(2, 2), ARGB(255, 10, 10, 0));

  TBitmap32 fg(2, 2);
  fg.Clear(0x80FF0000);
  fg.DrawMode = dmBlend;
  fg.CombineMode = cmMerge;
  TBitmap32 bg(2, 2);
  bg.Clear(0xFF0000FF);
  fg.DrawTo(bg, 0, 0);
  EXPECT_EQ(bg.Pixel(1, 1), 0xFF80007Fu);
}

TEST(Transfer, DrawingOntoItselfUsesTheOldPixels) {
  TBitmap32 b(6, 1);
  for (int x = 0; x < 6; ++x) b.Pixel(x, 0) = 0xFF000000u | x;
  b.DrawTo(b, 1, 0, TRect{0, 0, 5, 1});
  for (int x = 1; x < 6; ++x) EXPECT_EQ(b.Pixel(x, 0) & 0xFF, uint32_t(x - 1));
}

TEST(Transfer, StretchFillsTheClippedRectangleOnly) {
  TBitmap32 src(3, 3);
  src.Clear(0xFF00FF00);
  TBitmap32 dst(20, 20);
  dst.Clear(0);
  dst.SetClipRect(TRect{0, 0, 15, 20});
  for (TStretchFilter f : {sfNearest, sfLinear, sfLanczos}) {
    src.StretchFilter = f;
    dst.Clear(0);
    src.DrawTo(dst, TRect{5, -4, 25, 10});
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x)
        ASSERT_EQ(dst.Pixel(x, y), (x >= 5 && x < 15 && y < 10) ? 0xFF00FF00u : 0u)
            << f << ":" << x << "," << y;
  }
  // An explicit clip narrows further; a same-size rectangle copies exactly.
  dst.ResetClipRect();
  dst.Clear(0);
  StretchTransfer(dst, TRect{0, 0, 3, 3}, TRect{1, 1, 2, 2}, src, src.BoundsRect(), sfLanczos, dmOpaque,
                  cmBlend, 255);
  EXPECT_EQ(dst.Pixel(1, 1), 0xFF00FF00u);
  EXPECT_EQ(dst.Pixel(0, 0), 0u);
  EXPECT_EQ(dst.Pixel(2, 2), 0u);
}

TEST(Transfer, StretchedPartsMatchTheWholeDrawing) {
  // Drawing a clipped piece of a stretched picture gives the same pixels as
  // drawing it whole: the filter positions do not depend on the clip.
  TBitmap32 src(13, 9);
  std::mt19937 rng(3);
  for (int i = 0; i < 13 * 9; ++i) src.Bits()[i] = rng() | 0xFF000000u;
  for (TStretchFilter f : {sfNearest, sfDraft, sfMitchell, sfLanczos}) {
    src.StretchFilter = f;
    TBitmap32 whole(31, 17), piece(31, 17);
    whole.Clear(0);
    piece.Clear(0);
    src.DrawTo(whole, TRect{-3, -2, 28, 15});
    piece.SetClipRect(TRect{7, 4, 19, 11});
    src.DrawTo(piece, TRect{-3, -2, 28, 15});
    for (int y = 4; y < 11; ++y)
      for (int x = 7; x < 19; ++x) ASSERT_EQ(piece.Pixel(x, y), whole.Pixel(x, y)) << f;
  }
}

}  // namespace
}  // namespace tvx
