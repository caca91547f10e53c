#include "raster/Layers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tvx {
namespace {

struct TCountingLayer : TCustomLayer {
  TCountingLayer(TLayerCollection* c, std::vector<std::string>* log, std::string name)
      : TCustomLayer(c), log_(log), name_(std::move(name)) {}
  ~TCountingLayer() override { log_->push_back("~" + name_); }
  void Paint(TBitmap32&) override { log_->push_back(name_); }
  std::vector<std::string>* log_;
  std::string name_;
};

TEST(Layers, CollectionOwnsOrdersAndPaintsVisibleLayers) {
  std::vector<std::string> log;
  TLayerCollection c;
  int listChanges = 0;
  c.OnListChange = [&] { ++listChanges; };
  auto& a = c.Add<TCountingLayer>(&log, "a");
  auto& b = c.Add<TCountingLayer>(&log, "b");
  c.Add<TCountingLayer>(&log, "c");
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(listChanges, 3);
  EXPECT_EQ(a.Index(), 0);
  EXPECT_EQ(&c.Items(1), &b);
  EXPECT_EQ(a.LayerCollection(), &c);

  a.BringToFront();  // b c a
  EXPECT_EQ(a.Index(), 2);
  EXPECT_EQ(b.Index(), 0);
  b.SetVisible(false);
  TBitmap32 buffer(1, 1);
  c.Paint(buffer);
  EXPECT_EQ(log, (std::vector<std::string>{"c", "a"}));

  log.clear();
  c.Delete(1);  // c
  c.Delete(5);  // nothing
  EXPECT_EQ(log, (std::vector<std::string>{"~c"}));
  auto moved = c.Extract(0);  // b, handed over alive
  EXPECT_EQ(moved->LayerCollection(), nullptr);
  EXPECT_EQ(moved->Index(), -1);
  TLayerCollection other;
  other.Insert(0, std::move(moved));
  EXPECT_EQ(b.LayerCollection(), &other);
  c.Clear();
  EXPECT_EQ(log, (std::vector<std::string>{"~c", "~a"}));
  EXPECT_EQ(c.Count(), 0);
}

TEST(Layers, ChangeNotifications) {
  TLayerCollection c;
  std::vector<std::string> seen;
  c.OnLayerChanging = [&](TCustomLayer& l) { seen.push_back("changing " + std::to_string(l.Tag)); };
  c.OnLayerChanged = [&](TCustomLayer& l) { seen.push_back("changed " + std::to_string(l.Tag)); };
  auto& p = c.Add<TPositionedLayer>();
  p.Tag = 7;
  p.SetLocation(FloatRect(1, 2, 3, 4));
  p.SetVisible(true);  // unchanged: no notification
  EXPECT_EQ(seen, (std::vector<std::string>{"changing 7", "changed 7"}));
  EXPECT_EQ(p.Location(), FloatRect(1, 2, 3, 4));
}

TEST(Layers, TransformMapsScaledLocations) {
  TLayerCollection c;
  c.SetCoordXForm(TCoordXForm{131072, 32768, 10, -4});  // x2, x0.5
  auto& p = c.Add<TPositionedLayer>();
  p.SetLocation(FloatRect(1, 8, 5, 20));
  EXPECT_EQ(p.GetAdjustedLocation(), FloatRect(1, 8, 5, 20));  // not Scaled
  p.Scaled = true;
  EXPECT_EQ(p.GetAdjustedLocation(), FloatRect(12, 0, 20, 6));
  float x = 12, y = 0;
  c.ViewToLocal(x, y);
  EXPECT_FLOAT_EQ(x, 1);
  EXPECT_FLOAT_EQ(y, 8);
}

struct TView : TLayerViewOwner {
  TRect rect;
  TRect GetBitmapRect() const override { return rect; }
};

TEST(Layers, BitmapLayersPaintStretchedInOrderAndCropped) {
  TView view;
  view.rect = TRect{2, 2, 8, 8};
  TLayerCollection c(&view);
  EXPECT_EQ(c.GetBitmapRect(), view.rect);
  auto& bottom = c.Add<TCustomBitmapLayer>();
  bottom.Bitmap().SetSize(1, 1);
  bottom.Bitmap().Clear(0xFF0000FF);
  bottom.SetLocation(FloatRect(0, 0, 10, 10));
  auto& top = c.Add<TCustomBitmapLayer>();
  top.Bitmap().SetSize(2, 2);
  top.Bitmap().Clear(0x80FF0000);
  top.Bitmap().DrawMode = dmBlend;
  top.Bitmap().CombineMode = cmMerge;
  top.Scaled = true;
  top.Cropped = true;
  c.SetCoordXForm(TCoordXForm{65536 * 3, 65536 * 3, 0, 0});
  top.SetLocation(FloatRect(1, 1, 3, 3));  // view 3..9, cropped to 2..8

  TBitmap32 buffer(10, 10);
  buffer.Clear(0);
  c.Paint(buffer);
  EXPECT_EQ(buffer.Pixel(0, 0), 0xFF0000FFu);
  EXPECT_EQ(buffer.Pixel(8, 8), 0xFF0000FFu);  // outside the picture rectangle
  EXPECT_EQ(buffer.Pixel(3, 3), 0xFF80007Fu);  // merged over the bottom layer
  EXPECT_EQ(buffer.Pixel(7, 7), 0xFF80007Fu);
  EXPECT_EQ(buffer.Pixel(2, 2), 0xFF0000FFu);  // inside the crop, outside the layer

  top.SetLocation(FloatRect(1, 1, 1.1f, 3));  // under half a view pixel: skipped
  buffer.Clear(0);
  c.Paint(buffer);
  EXPECT_EQ(buffer.Pixel(3, 3), 0xFF0000FFu);
}

struct TNotifyingLayer : TCustomBitmapLayer {
  using TCustomBitmapLayer::TCustomBitmapLayer;
  int calls = 0;
  void DoSetLocation(const TFloatRect& r) override {
    TCustomBitmapLayer::DoSetLocation(r);
    ++calls;
  }
};

TEST(Layers, RubberbandKeepsItsChildAtItsOwnLocation) {
  TLayerCollection c;
  auto& child = c.Add<TNotifyingLayer>();
  child.SetLocation(FloatRect(10, 10, 20, 30));
  auto& frame = c.Add<TCustomRubberbandLayer>();
  frame.SetChildLayer(&child);
  EXPECT_EQ(frame.Location(), FloatRect(10, 10, 20, 30));
  EXPECT_EQ(child.calls, 1);
  frame.SetLocation(FloatRect(0, 0, 5, 5));
  EXPECT_EQ(child.Location(), FloatRect(0, 0, 5, 5));
  EXPECT_EQ(child.calls, 2);  // through the virtual DoSetLocation

  frame.SetHandles(rhCenter | rhSides | rhCorners | rhFrame);
  EXPECT_EQ(frame.Handles(), 15u);
  frame.SetLocation(FloatRect(5, 5, 30, 30));
  TBitmap32 buffer(40, 40);
  buffer.Clear(0xFF808080);
  frame.Paint(buffer);
  EXPECT_EQ(buffer.Pixel(5, 10), frame.FrameColor);   // left frame line
  EXPECT_EQ(buffer.Pixel(15, 10), 0xFF808080u);       // inside untouched
  EXPECT_EQ(buffer.Pixel(32, 32), frame.FrameColor);  // corner handle border
  EXPECT_EQ(buffer.Pixel(30, 30), frame.HandleFill);
  EXPECT_EQ(buffer.Pixel(17, 4), frame.HandleFill);  // side handle on the top edge

  c.Delete(child.Index());  // the frame lets go of a destroyed child
  EXPECT_EQ(frame.ChildLayer(), nullptr);
  frame.SetLocation(FloatRect(1, 1, 2, 2));
}

}  // namespace
}  // namespace tvx
