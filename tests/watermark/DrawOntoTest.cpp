#include <gtest/gtest.h>

#include "WatermarkTestUtil.h"
#include "watermark/ApplyWatermark.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

constexpr TColor32 kGrey = 0xFF808080;
constexpr TColor32 kRed = 0xFFFF0000;

TBitmap32 Picture(int w, int h) {
  TBitmap32 b(w, h);
  b.Clear(kGrey);
  return b;
}

int CountOf(const TBitmap32& b, TColor32 c) {
  int n = 0;
  for (TColor32 p : test::Pixels(b)) n += p == c;
  return n;
}

TEST(DrawOnto, LayerOffTheLeftEdgeShowsItsRightPart) {
  TLayerCollection layers;
  auto* layer = test::AddPictureLayer(layers, 200, 10, kRed);
  layer->XCoord = -50;
  layer->YCoord = 5;
  TBitmap32 picture = Picture(300, 30);
  layer->DrawOnto(picture, 1.0);
  EXPECT_EQ(CountOf(picture, kRed), 150 * 10);
  EXPECT_EQ(picture.Pixel(149, 5), kRed);
  EXPECT_EQ(picture.Pixel(150, 5), kGrey);
  EXPECT_EQ(picture.Pixel(0, 4), kGrey);
}

TEST(DrawOnto, OpacityBlendsAndZeroLeavesThePicture) {
  TLayerCollection layers;
  auto* layer = test::AddPictureLayer(layers, 10, 10, kRed);
  TBitmap32 picture = Picture(20, 20);
  layer->SetMasterAlpha(0);
  layer->DrawOnto(picture, 1.0);
  EXPECT_EQ(CountOf(picture, kGrey), 400);
  layer->SetMasterAlpha(128);
  layer->DrawOnto(picture, 1.0);
  const TColor32 p = picture.Pixel(0, 0);
  EXPECT_EQ(AlphaOf(p), 255);  // an opaque picture stays opaque
  EXPECT_NEAR(RedOf(p), 0xC0, 2);
  EXPECT_NEAR(GreenOf(p), 0x40, 2);
}

TEST(DrawOnto, TilesCoverThePictureWithGaps) {
  TLayerCollection layers;
  auto* layer = test::AddPictureLayer(layers, 100, 40, kRed);
  layer->Tile = true;
  layer->XTileOffs = 20;
  layer->YTileOffs = 10;
  layer->XCoord = 30;
  layer->YCoord = 25;
  TBitmap32 picture = Picture(1000, 500);
  layer->DrawOnto(picture, 1.0);
  // columns every 120 pixels from -90, rows every 50 from -25
  for (int x : {0, 9, 30, 129, 990, 999}) EXPECT_EQ(picture.Pixel(x, 30), kRed) << x;
  for (int x : {10, 29, 130, 149}) EXPECT_EQ(picture.Pixel(x, 30), kGrey) << x;
  for (int y : {0, 14, 25, 64, 475, 499}) EXPECT_EQ(picture.Pixel(40, y), kRed) << y;
  for (int y : {15, 24, 65, 74}) EXPECT_EQ(picture.Pixel(40, y), kGrey) << y;
  // negative gaps count as 0 instead of stacking tiles without end
  layer->XTileOffs = -1000000;
  layer->YTileOffs = -1000000;
  TBitmap32 packed = Picture(300, 200);
  layer->DrawOnto(packed, 1.0);
  EXPECT_EQ(CountOf(packed, kRed), 300 * 200);
}

TEST(DrawOnto, EmptyAndHiddenLayersDrawNothing) {
  TLayerCollection layers;
  auto* empty = &layers.Add<TTextLayer>();
  empty->Text = "";
  empty->RenderText();
  auto* hidden = test::AddPictureLayer(layers, 5, 5, kRed);
  hidden->SetVisible(false);
  auto* shown = test::AddPictureLayer(layers, 5, 5, 0xFF0000FF);
  shown->XCoord = 10;
  TBitmap32 picture = Picture(20, 10);
  DrawWatermark(layers, picture);
  EXPECT_EQ(CountOf(picture, kRed), 0);
  EXPECT_EQ(CountOf(picture, 0xFF0000FF), 25);
}

TEST(DrawOnto, LaterLayersCoverEarlierOnes) {
  TLayerCollection layers;
  test::AddPictureLayer(layers, 10, 10, kRed);
  auto* top = test::AddPictureLayer(layers, 5, 5, 0xFF00FF00);
  top->HAlign = haRight;
  TBitmap32 picture = Picture(10, 10);
  DrawWatermark(layers, picture);
  EXPECT_EQ(picture.Pixel(9, 0), 0xFF00FF00);
  EXPECT_EQ(picture.Pixel(0, 0), kRed);
}

TEST(DrawOnto, ThumbnailScaleKeepsEveryPlacementWhereTheCanvasHasIt) {
  // a 1000 x 500 picture shown as a 200 x 100 thumbnail
  TLayerCollection layers;
  auto* layer = test::AddPictureLayer(layers, 100, 50, kRed);
  for (uint8_t unit : {cuPixels, cuPercent})
    for (uint8_t align : {haLeft, haRight, haCenter}) {
      layer->XUnit = layer->YUnit = unit;
      layer->HAlign = layer->VAlign = align;
      layer->XCoord = 10;
      layer->YCoord = 10;
      const TRect full = MakeRect(layer->GetLayerRect(1000, 500));
      TBitmap32 thumb = Picture(200, 100);
      layer->DrawOnto(thumb, 0.2);
      const TRect expected{int(full.Left * 0.2), int(full.Top * 0.2), int(full.Right * 0.2), int(full.Bottom * 0.2)};
      EXPECT_EQ(CountOf(thumb, kRed), expected.Width() * expected.Height());
      EXPECT_EQ(thumb.Pixel(expected.Left, expected.Top), kRed) << int(unit) << "/" << int(align);
      EXPECT_EQ(thumb.Pixel(expected.Right - 1, expected.Bottom - 1), kRed);
    }
}

struct TFixedView : TLayerViewOwner {
  TRect Rect;
  TRect GetBitmapRect() const override { return Rect; }
};

TEST(Paint, SingleAndTiledThroughTheViewTransform) {
  TFixedView view;
  view.Rect = TRect{10, 5, 110, 55};
  TLayerCollection layers(&view);
  auto* layer = test::AddPictureLayer(layers, 20, 10, kRed);
  layer->SetLocation(layer->GetLayerRect(200, 100));  // (0, 0, 20, 10)
  layers.SetCoordXForm(TCoordXForm{32768, 32768, 10, 5});  // zoom 50 %, picture at (10, 5)
  TBitmap32 buffer = Picture(150, 80);
  layers.Paint(buffer);
  EXPECT_EQ(CountOf(buffer, kRed), 10 * 5);
  EXPECT_EQ(buffer.Pixel(10, 5), kRed);
  EXPECT_EQ(buffer.Pixel(19, 9), kRed);

  layer->Tile = true;
  layer->XTileOffs = 20;  // 10 view pixels at this zoom
  layer->YTileOffs = 10;
  TBitmap32 tiled = Picture(150, 80);
  layers.Paint(tiled);
  // tiles stay inside the picture's rectangle on screen
  EXPECT_EQ(tiled.Pixel(9, 5), kGrey);
  EXPECT_EQ(tiled.Pixel(110, 5), kGrey);
  EXPECT_EQ(tiled.Pixel(10, 56), kGrey);
  // a 10 x 5 tile every 20 x 10 view pixels
  EXPECT_EQ(tiled.Pixel(30, 15), kRed);
  EXPECT_EQ(tiled.Pixel(25, 5), kGrey);
  EXPECT_EQ(CountOf(tiled, kRed), 5 * 5 * 10 * 5);

  layer->SetVisible(false);
  TBitmap32 none = Picture(150, 80);
  layers.Paint(none);
  EXPECT_EQ(CountOf(none, kRed), 0);
}

}  // namespace
}  // namespace tvx
