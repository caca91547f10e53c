#include "watermark/Placement.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "watermark/BitmapLayer.h"

namespace tvx {
namespace {

struct AxisCase {
  uint8_t unit, align;
  double coord;
  int32_t extent, size, other;
  double expected;
};

TEST(Placement, EveryAnchorAndUnit) {
  const AxisCase cases[] = {
      // picture 1000 wide, content 100 wide
      {cuPixels, haLeft, 10, 1000, 100, 500, 10},
      {cuPixels, haRight, 10, 1000, 100, 500, 890},
      {cuPixels, haCenter, 10, 1000, 100, 500, 460},
      {cuPercent, haLeft, 10, 1000, 100, 500, 100},
      {cuPercent, haRight, 10, 1000, 100, 500, 800},
      {cuPercent, haCenter, 10, 1000, 100, 500, 550},
      // percent of the shorter side: the other side when it is shorter ...
      {cuShorterPercent, haLeft, 10, 1000, 100, 500, 50},
      {cuShorterPercent, haRight, 10, 1000, 100, 500, 850},
      {cuShorterPercent, haCenter, 10, 1000, 100, 500, 500},
      // ... this one when it is (a 2:3 picture's width), the same pixels on both axes
      {cuShorterPercent, haRight, 2, 400, 100, 600, 292},
      {cuShorterPercent, haRight, 2, 600, 100, 400, 492},
      {cuShorterPercent, haLeft, 10, 1000, 100, 1000, 100},
      // no other side: nothing to take a share of
      {cuShorterPercent, haLeft, 10, 1000, 100, 0, 0},
      {cuShorterPercent, haLeft, 10, 1000, 100, -5, 0},
      // centre works on whole halves of both sizes
      {cuPixels, haCenter, 0, 1001, 100, 500, 450},
      {cuPixels, haCenter, 0, 1000, 101, 500, 450},
      // values the editor never writes count as pixels from the left
      {7, 9, 10, 1000, 100, 500, 10},
  };
  for (const AxisCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "unit " << int(c.unit) << " align " << int(c.align) << " coord "
                                    << c.coord << " on " << c.extent << " x " << c.other);
    EXPECT_DOUBLE_EQ(PlaceOnAxis(c.unit, c.align, c.coord, c.extent, c.size, c.other), c.expected);
    // and back, where a coordinate can be told from the position
    if (c.unit <= cuShorterPercent && c.align <= haCenter && c.other > 0) {
      EXPECT_NEAR(CoordOnAxis(c.unit, c.align, c.expected, c.extent, c.size, c.other), c.coord, 1e-9);
    }
  }
  EXPECT_EQ(CoordOnAxis(cuShorterPercent, haLeft, 50, 1000, 100, 0), 0);
}

TEST(Placement, LayerRectAndItsInverseForEveryCombination) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TBitmapLayer>();
  layer->BeginUpdate();
  layer->SourceBitmap().SetSize(100, 50);
  layer->SourceBitmap().Clear(0xFF00FF00);
  layer->EndUpdate();
  for (uint8_t unit : {cuPixels, cuPercent, cuShorterPercent})
    for (uint8_t align : {haLeft, haRight, haCenter}) {
      SCOPED_TRACE(testing::Message() << "unit " << int(unit) << " align " << int(align));
      layer->XUnit = layer->YUnit = unit;
      layer->HAlign = layer->VAlign = align;
      layer->XCoord = 12.5f;
      layer->YCoord = -7.25f;
      const TFloatRect r = layer->GetLayerRect(1001, 777);
      EXPECT_FLOAT_EQ(r.Width(), 100);
      EXPECT_FLOAT_EQ(r.Height(), 50);
      layer->SetLocation(r);
      float x = 0, y = 0;
      layer->LocationToCoords(1001, 777, x, y);
      EXPECT_NEAR(x, 12.5f, 1e-3);
      EXPECT_NEAR(y, -7.25f, 1e-3);
    }
  // the task's worked example: right-aligned 10 px and 10 %
  layer->XUnit = cuPixels;
  layer->HAlign = haRight;
  layer->XCoord = 10;
  EXPECT_FLOAT_EQ(layer->GetLayerRect(1000, 500).Left, 890);
  layer->XUnit = cuPercent;
  EXPECT_FLOAT_EQ(layer->GetLayerRect(1000, 500).Left, 800);
  // 10 % of the shorter side is 50 pixels on both axes
  layer->XUnit = layer->YUnit = cuShorterPercent;
  layer->VAlign = vaBottom;
  layer->YCoord = 10;
  EXPECT_FLOAT_EQ(layer->GetLayerRect(1000, 500).Left, 850);
  EXPECT_FLOAT_EQ(layer->GetLayerRect(1000, 500).Top, 400);
  EXPECT_FLOAT_EQ(layer->GetLayerRect(500, 1000).Left, 350);
  EXPECT_FLOAT_EQ(layer->GetLayerRect(500, 1000).Top, 900);
  layer->XUnit = layer->YUnit = cuPercent;
  // a percent coordinate cannot be derived for a picture of width 0
  float x = 1, y = 1;
  layer->LocationToCoords(0, 0, x, y);
  EXPECT_EQ(x, 0);
}

TEST(Placement, SafeMakeRectSurvivesStoredNonsense) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(SafeMakeRect(TFloatRect{nan, inf, -inf, 1e30f}),
            (TRect{0, 1073741824, -1073741824, 1073741824}));
  EXPECT_EQ(SafeMakeRect(TFloatRect{0.5f, 1.5f, 2.5f, -0.5f}), (TRect{0, 2, 2, 0}));
}

std::vector<TRect> Tiles(const TRect& first, int64_t sx, int64_t sy, int w, int h) {
  std::vector<TRect> v;
  ForEachTile(first, sx, sy, w, h, [&](const TRect& r) { v.push_back(r); });
  return v;
}

TEST(Placement, TileGridCoversThePicture) {
  // 100 x 40 tiles with gaps 20 and 10 on 1000 x 500, placed at (30, 25)
  const auto tiles = Tiles(TRect{30, 25, 130, 65}, 120, 50, 1000, 500);
  std::set<int> lefts, tops;
  for (const TRect& t : tiles) {
    lefts.insert(t.Left);
    tops.insert(t.Top);
    EXPECT_EQ(t.Width(), 100);
    EXPECT_EQ(t.Height(), 40);
  }
  EXPECT_EQ(*lefts.begin(), -90);  // at or before the left edge, phase kept
  EXPECT_EQ(*tops.begin(), -25);
  EXPECT_GE(*lefts.rbegin() + 100, 1000);  // reaches the right edge
  EXPECT_GE(*tops.rbegin() + 40, 500);
  EXPECT_EQ(lefts.size(), 10u);
  EXPECT_EQ(tops.size(), 11u);
  EXPECT_EQ(tiles.size(), 110u);
  // rows top to bottom, each row left to right
  EXPECT_EQ(tiles[0].Left, -90);
  EXPECT_EQ(tiles[1].Left, 30);
  EXPECT_EQ(tiles[9].Top, -25);
  EXPECT_EQ(tiles[10].Top, 25);
}

TEST(Placement, TileGridFarOutsideIsFoundWithoutWalking) {
  // a tile a billion pixels away still yields the same phase at once
  const auto tiles = Tiles(TRect{-1000000000, 1000000000, -1000000000 + 100, 1000000000 + 40}, 120, 50, 240, 100);
  ASSERT_FALSE(tiles.empty());
  EXPECT_LE(tiles.front().Left, 0);
  EXPECT_GT(tiles.front().Right, 0);
  EXPECT_LE(tiles.front().Top, 0);
  EXPECT_GT(tiles.front().Bottom, 0);
  EXPECT_EQ((tiles.front().Left + 1000000000) % 120, 0);
  EXPECT_TRUE(Tiles(TRect{0, 0, 10, 10}, 0, 5, 100, 100).empty());
}

}  // namespace
}  // namespace tvx
