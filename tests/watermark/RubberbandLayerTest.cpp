#include "watermark/RubberbandLayer.h"

#include <gtest/gtest.h>

#include "WatermarkTestUtil.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

std::string Saved(const TBaseLayer& layer) {
  TMemoryStream s;
  layer.SaveToStream(s);
  return test::Bytes(s);
}

TFiltersParams ShadowStyle() {
  RegisterFilterKinds();
  TFiltersParams styles;
  styles.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
  return styles;
}

// A canvas: picture layers under the frame, which is on top.
struct TCanvas {
  TLayerCollection Layers;
  TBitmapLayer* Picture;
  TRubberbandLayer* Frame;
  TCanvas() {
    Picture = test::AddPictureLayer(Layers, 40, 20, 0xFF2040C0);
    Picture->SetLocation(TFloatRect{100, 50, 140, 70});
    Frame = &Layers.Add<TRubberbandLayer>();
    Frame->PictureWidth = 1000;
    Frame->PictureHeight = 800;
  }
};

TEST(RubberbandLayer, AttachingFollowsTheLayerAndDetachingLetsGo) {
  TCanvas c;
  int layerChanges = 0;
  c.Frame->OnLayerChanged = [&] { ++layerChanges; };
  EXPECT_FALSE(c.Frame->Visible());
  c.Frame->SetLayer(c.Picture);
  EXPECT_EQ(c.Frame->GetLayer(), c.Picture);
  EXPECT_TRUE(c.Frame->Visible());
  EXPECT_EQ(c.Frame->Location(), c.Picture->Location());
  EXPECT_EQ(c.Frame->Handles(), rhCenter | rhFrame);
  EXPECT_EQ(layerChanges, 1);

  // the frame follows a layer that the editor places elsewhere
  c.Picture->SetLocation(TFloatRect{0, 0, 40, 20});
  EXPECT_EQ(c.Frame->Location(), (TFloatRect{0, 0, 40, 20}));

  c.Frame->SetLayer(nullptr);
  EXPECT_EQ(c.Frame->GetLayer(), nullptr);
  EXPECT_FALSE(c.Frame->Visible());
  EXPECT_EQ(c.Frame->Handles(), rhCenter);
  EXPECT_FALSE(c.Picture->OnLocationChanged);
  c.Picture->SetLocation(TFloatRect{5, 5, 45, 25});
  EXPECT_EQ(c.Frame->Location(), (TFloatRect{0, 0, 40, 20}));
}

TEST(RubberbandLayer, AHiddenLayerIsNeverTheChild) {
  TCanvas c;
  c.Picture->SetVisible(false);
  c.Frame->SetLayer(c.Picture);
  EXPECT_EQ(c.Frame->GetLayer(), nullptr);
  EXPECT_FALSE(c.Frame->Visible());
  c.Frame->SetTransformMode(true);
  EXPECT_FALSE(c.Frame->GetTransformMode());
  const TFloatRect before = c.Frame->Location();
  c.Picture->SetLocation(TFloatRect{300, 300, 340, 320});
  EXPECT_EQ(c.Frame->Location(), before);
  EXPECT_FALSE(c.Frame->MouseDown(310, 310));
  EXPECT_EQ(c.Frame->HitTest(110, 60), dkNone);
}

TEST(RubberbandLayer, TheLayerDoesNotCallAFrameThatIsGone) {
  TLayerCollection layers;
  TBitmapLayer* picture = test::AddPictureLayer(layers, 10, 10, 0xFF000000);
  {
    auto* frame = &layers.Add<TRubberbandLayer>();
    frame->SetLayer(picture);
    ASSERT_TRUE(picture->OnLocationChanged);
    layers.Delete(layers.IndexOf(frame));
  }
  EXPECT_FALSE(picture->OnLocationChanged);
  picture->SetLocation(TFloatRect{1, 1, 11, 11});  // nothing to call

  // a hidden layer that was handed to the frame is let go of too
  auto* frame = &layers.Add<TRubberbandLayer>();
  picture->SetVisible(false);
  frame->SetLayer(picture);
  std::unique_ptr<TCustomLayer> taken = layers.Extract(layers.IndexOf(picture));
  EXPECT_FALSE(static_cast<TBaseLayer&>(*taken).OnLocationChanged);
}

TEST(RubberbandLayer, DraggingInViewPixelsMovesByPicturePixels) {
  TCanvas c;
  // view = picture x 0.5 + (20, 10)
  c.Layers.SetCoordXForm(TCoordXForm{32768, 32768, 20, 10});
  c.Frame->SetLayer(c.Picture);
  int steps = 0, finals = 0;
  c.Frame->OnUserChange = [&](bool final) { (final ? finals : steps)++; };
  // the layer's middle lies at view (80, 40)
  EXPECT_EQ(c.Frame->HitTest(80, 40), dkMove);
  ASSERT_TRUE(c.Frame->MouseDown(80, 40));
  EXPECT_TRUE(c.Frame->MouseMove(90, 45, false, false));
  EXPECT_TRUE(c.Frame->MouseMove(100, 50, false, false));
  EXPECT_TRUE(c.Frame->MouseUp());
  // 20 view pixels at 50 % are 40 picture pixels
  EXPECT_EQ(c.Picture->Location(), (TFloatRect{140, 70, 180, 90}));
  EXPECT_EQ(c.Frame->Location(), c.Picture->Location());
  EXPECT_EQ(steps, 2);
  EXPECT_EQ(finals, 1);

  // a press beside the frame starts nothing; a release without a move reports nothing
  EXPECT_FALSE(c.Frame->MouseDown(0, 0));
  ASSERT_TRUE(c.Frame->MouseDown(100, 50));
  EXPECT_FALSE(c.Frame->MouseUp());
  EXPECT_EQ(finals, 1);
}

TEST(RubberbandLayer, MoveModeCannotStretch) {
  TCanvas c;
  c.Frame->SetLayer(c.Picture);
  // the bottom-right corner is inside: it moves
  ASSERT_TRUE(c.Frame->MouseDown(139, 69));
  EXPECT_EQ(c.Frame->DragKind(), dkMove);
  c.Frame->MouseMove(149, 79, false, false);
  c.Frame->MouseUp();
  EXPECT_EQ(c.Picture->Location(), (TFloatRect{110, 60, 150, 80}));
}

TEST(RubberbandLayer, StretchingAPictureAndApplyingResamplesIt) {
  TCanvas c;
  c.Picture->SetStyles(ShadowStyle());
  c.Frame->SetLayer(c.Picture);
  int modeChanges = 0;
  c.Frame->OnTransformModeChanged = [&] { ++modeChanges; };
  c.Frame->SetTransformMode(true);
  EXPECT_EQ(modeChanges, 1);
  // the plain picture while stretching
  EXPECT_FALSE(c.Picture->StylesEnabled());
  EXPECT_EQ(c.Picture->RenderedBitmap().Width(), 40);
  const TFloatRect plain = c.Picture->Location();
  EXPECT_EQ(c.Frame->SavedLocation, plain);
  EXPECT_FALSE(c.Frame->IsChanged());

  ASSERT_TRUE(c.Frame->MouseDown(plain.Right - 1, plain.Bottom - 1));
  EXPECT_EQ(c.Frame->DragKind(), dkBottomRight);
  c.Frame->MouseMove(plain.Right - 1 + 40, plain.Bottom - 1 + 10, false, false);
  c.Frame->MouseUp();
  EXPECT_TRUE(c.Frame->IsChanged());
  EXPECT_EQ(c.Picture->SourceBitmap().Width(), 40);  // not yet

  c.Frame->ApplyTransform();
  EXPECT_FALSE(c.Frame->GetTransformMode());
  EXPECT_EQ(c.Picture->SourceBitmap().Width(), 80);
  EXPECT_EQ(c.Picture->SourceBitmap().Height(), 30);
  EXPECT_TRUE(c.Picture->StylesEnabled());
  EXPECT_GT(c.Picture->RenderedBitmap().Width(), 80);  // the shadow again
  // the content stays where it was stretched to, the frame around the styled layer
  EXPECT_FLOAT_EQ(c.Picture->Location().Left + float(c.Picture->StyleOffsetX()), plain.Left);
  EXPECT_EQ(c.Frame->Location(), c.Picture->Location());
}

TEST(RubberbandLayer, AFrameStretchedToNothingStillLeavesAPixel) {
  TCanvas c;
  c.Frame->SetLayer(c.Picture);
  c.Frame->SetTransformMode(true);
  c.Frame->SetLocation(TFloatRect{100, 50, 100.4f, 50.2f});
  c.Frame->ApplyTransform();
  EXPECT_EQ(c.Picture->SourceBitmap().Width(), 1);
  EXPECT_EQ(c.Picture->SourceBitmap().Height(), 1);
}

TEST(RubberbandLayer, StretchingATextReRendersItAtAMatchingSize) {
  TLayerCollection layers;
  auto& text = layers.Add<TTextLayer>();
  text.Text = "Two\r\nlines";
  text.RenderText();
  auto& frame = layers.Add<TRubberbandLayer>();
  frame.SetLayer(&text);
  frame.SetTransformMode(true);
  const TFloatRect r = text.Location();
  frame.SetLocation(TFloatRect{r.Left, r.Top, r.Left + 300, r.Top + 60});
  frame.ApplyTransform();
  EXPECT_EQ(text.SourceBitmap().Width(), 300);
  EXPECT_EQ(text.SourceBitmap().Height(), 60);
  EXPECT_EQ(text.Font.Size, 30);
}

TEST(RubberbandLayer, RollingBackWithoutChangesLeavesTheLayerAsItWas) {
  TCanvas c;
  c.Picture->SetStyles(ShadowStyle());
  const std::string before = Saved(*c.Picture);
  const TFloatRect location = c.Picture->Location();
  const int32_t renderedWidth = c.Picture->RenderedBitmap().Width();
  c.Frame->SetLayer(c.Picture);
  c.Frame->SetTransformMode(true);
  c.Frame->RollbackTransform();
  EXPECT_EQ(Saved(*c.Picture), before);
  EXPECT_EQ(c.Picture->Location(), location);
  EXPECT_EQ(c.Picture->RenderedBitmap().Width(), renderedWidth);
  EXPECT_TRUE(c.Picture->StylesEnabled());
}

TEST(RubberbandLayer, LeavingAPendingStretchAsks) {
  struct TCase {
    bool Answer;
    int32_t Width;
  };
  for (const TCase t : {TCase{false, 40}, TCase{true, 70}}) {
    TCanvas c;
    TBitmapLayer* other = test::AddPictureLayer(c.Layers, 5, 5, 0xFF000000);
    c.Frame->BringToFront();
    c.Frame->SetLayer(c.Picture);
    c.Frame->SetTransformMode(true);
    c.Frame->SetLocation(TFloatRect{100, 50, 170, 70});
    int asked = 0;
    c.Frame->AskApplyTransform = [&] {
      ++asked;
      return t.Answer;
    };
    c.Frame->SetLayer(other);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(c.Picture->SourceBitmap().Width(), t.Width);
    EXPECT_EQ(c.Picture->Location(), (TFloatRect{100, 50, 100 + float(t.Width), 70}));
    EXPECT_EQ(c.Frame->GetLayer(), other);
    EXPECT_FALSE(c.Frame->GetTransformMode());
    EXPECT_TRUE(c.Picture->StylesEnabled());
  }
}

}  // namespace
}  // namespace tvx
