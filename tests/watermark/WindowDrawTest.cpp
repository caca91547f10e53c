// Drawing a watermark onto a window of a picture (what a plug-in asks for
// when it redraws only part of a picture) gives exactly the pixels of
// drawing it onto the whole picture, and the rectangles it reports cover
// every pixel it changes.

#include <gtest/gtest.h>

#include <functional>

#include "WatermarkTestUtil.h"
#include "watermark/ApplyWatermark.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

// A photo-like background, so that every blend shows.
TBitmap32 Background(int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Pixel(x, y) = ARGB(255, uint8_t(x * 3 + y), uint8_t(x ^ y), uint8_t(y * 5));
  return b;
}

// A picture layer with a soft, partly transparent edge and a transparent
// border of `border` pixels.
TBitmapLayer* SoftLayer(TLayerCollection& layers, int w, int h, int border) {
  auto* layer = &layers.Add<TBitmapLayer>();
  layer->BeginUpdate();
  TBitmap32& s = layer->SourceBitmap();
  s.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int d = std::min(std::min(x, w - 1 - x), std::min(y, h - 1 - y)) - border;
      s.Pixel(x, y) = d < 0 ? 0 : ARGB(uint8_t(std::min(255, 40 + 50 * d)), 30, uint8_t(x * 7), 200);
    }
  layer->EndUpdate();
  return layer;
}

struct TWindowCase {
  const char* Name;
  int Width, Height;
  std::function<void(TLayerCollection&)> Build;
};

class DrawOntoWindow : public ::testing::TestWithParam<TWindowCase> {};

TEST_P(DrawOntoWindow, EveryWindowGetsThePixelsOfTheWholePicture) {
  const TWindowCase& c = GetParam();
  TLayerCollection layers;
  c.Build(layers);
  const TBitmap32 original = Background(c.Width, c.Height);
  TBitmap32 whole = original;
  DrawWatermark(layers, whole);

  const int w = c.Width, h = c.Height;
  const TRect windows[] = {{0, 0, w, h},          {0, 0, 1, 1},
                           {w - 1, h - 1, w, h},  {w / 3, h / 4, w / 2, h},
                           {7, 3, 7 + 16, 3 + 8}, {w - 40, 0, w, 24},
                           {0, h - 17, 33, h},    {w / 2 - 5, h / 2 - 5, w / 2 + 30, h / 2 + 9}};
  for (const TRect& r : windows) {
    TBitmap32 window(r.Width(), r.Height());
    for (int y = 0; y < r.Height(); ++y)
      for (int x = 0; x < r.Width(); ++x) window.Pixel(x, y) = original.Pixel(r.Left + x, r.Top + y);
    DrawWatermarkWindow(layers, window, r.Left, r.Top, w, h);
    int wrong = 0;
    for (int y = 0; y < r.Height(); ++y)
      for (int x = 0; x < r.Width(); ++x) wrong += window.Pixel(x, y) != whole.Pixel(r.Left + x, r.Top + y);
    EXPECT_EQ(wrong, 0) << "window " << r.Left << "," << r.Top << " " << r.Width() << "x" << r.Height();
  }

  // Every pixel the watermark changed lies in a reported rectangle.
  const std::vector<TRect> rects = WatermarkChangedRects(layers, w, h);
  int outside = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (whole.Pixel(x, y) == original.Pixel(x, y)) continue;
      bool in = false;
      for (const TRect& r : rects) in = in || (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom);
      outside += !in;
    }
  EXPECT_EQ(outside, 0);
  for (const TRect& r : rects)
    EXPECT_TRUE(r.Left >= 0 && r.Top >= 0 && r.Right <= w && r.Bottom <= h && !r.IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Layers, DrawOntoWindow,
                         ::testing::Values(TWindowCase{"soft_logo_bottom_right", 320, 200,
                                                       [](TLayerCollection& l) {
                                                         auto* layer = SoftLayer(l, 90, 40, 0);
                                                         layer->HAlign = haRight, layer->VAlign = vaBottom,
                                                         layer->XCoord = 12, layer->YCoord = 9;
                                                         layer->SetMasterAlpha(180);
                                                       }},
                                           // An odd width centred on an even one: the edges end in halves,
                                           // round apart, and the bitmap is stretched by one pixel.
                                           TWindowCase{"stretched_by_rounding", 300, 150,
                                                       [](TLayerCollection& l) {
                                                         auto* layer = SoftLayer(l, 51, 33, 0);
                                                         layer->HAlign = haCenter, layer->VAlign = vaMiddle;
                                                         layer->RenderedBitmap().StretchFilter =
                                                             sfLinear;  // resampled, not just repeated
                                                       }},
                                           TWindowCase{"tiles_with_gaps", 257, 181,
                                                       [](TLayerCollection& l) {
                                                         auto* layer = SoftLayer(l, 37, 23, 0);
                                                         layer->Tile = true, layer->XTileOffs = 11,
                                                         layer->YTileOffs = 7;
                                                         layer->XCoord = -5, layer->YCoord = 13;
                                                       }},
                                           TWindowCase{"off_the_top_left", 200, 120,
                                                       [](TLayerCollection& l) {
                                                         auto* layer = SoftLayer(l, 80, 50, 0);
                                                         layer->XCoord = -30, layer->YCoord = -20;
                                                       }},
                                           TWindowCase{"text_and_picture_overlapping", 240, 100,
                                                       [](TLayerCollection& l) {
                                                         SoftLayer(l, 120, 60, 3)->XCoord = 20;
                                                         auto& text = l.Add<TTextLayer>();
                                                         text.BeginUpdate();
                                                         text.Text = "Tarvex";
                                                         text.XCoord = 30, text.YCoord = 20;
                                                         text.EndUpdate();
                                                       }},
                                           // Fitted to the picture: scaled, turned, turned tiles, and a
                                           // layer the picture's orientation keeps off.
                                           TWindowCase{"relative_size_turned", 300, 200,
                                                       [](TLayerCollection& l) {
                                                         auto* layer = SoftLayer(l, 60, 30, 0);
                                                         layer->SizeMode = lsShorter, layer->SizePercent = 40;
                                                         layer->Angle = -30;
                                                         layer->HAlign = haRight, layer->VAlign = vaBottom;
                                                         layer->XCoord = 10, layer->YCoord = 10;
                                                         layer->Render();
                                                       }},
                                           TWindowCase{"turned_tiles", 241, 173,
                                                       [](TLayerCollection& l) {
                                                         auto* layer = SoftLayer(l, 31, 17, 0);
                                                         layer->Tile = true, layer->XTileOffs = 9,
                                                         layer->YTileOffs = 5;
                                                         layer->Angle = 45;
                                                         layer->Render();
                                                       }},
                                           TWindowCase{"portrait_only_on_landscape", 200, 120,
                                                       [](TLayerCollection& l) {
                                                         SoftLayer(l, 40, 40, 0)->Orientation = loPortrait;
                                                         SoftLayer(l, 30, 20, 0)->Orientation = loLandscape;
                                                       }},
                                           TWindowCase{"nothing_visible", 100, 80,
                                                       [](TLayerCollection& l) {
                                                         SoftLayer(l, 30, 30, 0)->SetMasterAlpha(0);
                                                         SoftLayer(l, 30, 30, 0)->SetVisible(false);
                                                       }}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Transparent margins (a style's room, a padded picture) change nothing and
// are left out of the rectangles, so they cost the plug-in nothing.
TEST(ChangedRects, LeaveOutTransparentMargins) {
  TLayerCollection layers;
  auto* layer = SoftLayer(layers, 100, 60, 10);
  layer->XCoord = 50, layer->YCoord = 40;
  const std::vector<TRect> rects = WatermarkChangedRects(layers, 400, 300);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0], (TRect{60, 50, 140, 90}));
  layer->SetMasterAlpha(0);
  EXPECT_TRUE(WatermarkChangedRects(layers, 400, 300).empty());
}

TEST(ChangedRects, OnePerTileWithinThePicture) {
  TLayerCollection layers;
  auto* layer = SoftLayer(layers, 40, 20, 0);
  layer->Tile = true, layer->XTileOffs = 60, layer->YTileOffs = 30;
  const std::vector<TRect> rects = WatermarkChangedRects(layers, 200, 100);
  EXPECT_EQ(rects.size(), 2u * 2u);  // columns at 0 and 100, rows at 0 and 50
  for (const TRect& r : rects) EXPECT_EQ(r.Width() * r.Height(), 40 * 20);
}

}  // namespace
}  // namespace tvx
