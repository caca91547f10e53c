#include "watermark/BaseLayer.h"

#include <gtest/gtest.h>

#include "WatermarkTestUtil.h"
#include "util/Error.h"
#include "util/Utils.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

using test::AddPictureLayer;
using test::ErrorOf;

int gGrowCalls = 0;

// A style that puts 8 transparent columns on the left of the content.
void GrowLeft(const TBitmap32& source, TBitmap32& target, int32_t& dx, int32_t&, const TFilterParams* params) {
  if (!params) return;
  ++gGrowCalls;
  TBitmap32 grown(target.Width() + 8, target.Height());
  grown.Clear(0);
  for (int y = 0; y < target.Height(); ++y)
    for (int x = 0; x < target.Width(); ++x) grown.Pixel(x + 8, y) = target.Pixel(x, y);
  target = grown;  // replaces drawing settings too: the layer must restore them
  dx += 8;
  (void)source;
}

TFiltersParams GrowStyle() {
  RegisterFilter("Test Grow", GrowLeft, 0);
  TFiltersParams styles;
  styles.Items["Test Grow"] = TFilterParams(std::vector<uint8_t>{'T', 'G', 'R', 'W'});
  return styles;
}

TEST(BaseLayer, StylesGrowTheBitmapButNotMoveTheContent) {
  TLayerCollection layers;
  auto* layer = AddPictureLayer(layers, 100, 50, 0xFF112233);
  layer->SetMasterAlpha(128);
  layer->SetLocation(layer->GetLayerRect(1000, 500));
  const TFloatRect plain = layer->Location();
  layer->SetStyles(GrowStyle());
  EXPECT_EQ(layer->StyleOffsetX(), 8);
  EXPECT_EQ(layer->RenderedBitmap().Width(), 108);
  EXPECT_FLOAT_EQ(layer->Location().Left, plain.Left - 8);
  EXPECT_FLOAT_EQ(layer->Location().Right, plain.Right);
  EXPECT_EQ(layer->GetLayerRect(1000, 500), layer->Location());
  // the drawing settings survive the style replacing the bitmap
  EXPECT_EQ(layer->RenderedBitmap().DrawMode, dmBlend);
  EXPECT_EQ(layer->RenderedBitmap().CombineMode, cmMerge);
  EXPECT_EQ(layer->RenderedBitmap().MasterAlpha, 128);
  // switching styles off shows the plain content where it was
  layer->SetStylesEnabled(false);
  EXPECT_EQ(layer->RenderedBitmap().Width(), 100);
  EXPECT_EQ(layer->Location(), plain);
  EXPECT_EQ(layer->StyleOffsetX(), 0);
}

TEST(BaseLayer, UnregisteredStyleIsSkipped) {
  TLayerCollection layers;
  auto* layer = AddPictureLayer(layers, 4, 4, 0xFF000000);
  TFiltersParams styles;
  styles.Items["No Such Style"] = TFilterParams(16);
  layer->SetStyles(styles);
  EXPECT_EQ(layer->RenderedBitmap().Width(), 4);
  EXPECT_EQ(test::Pixels(layer->RenderedBitmap()), test::Pixels(layer->SourceBitmap()));
}

TEST(BaseLayer, NestedUpdatesRenderOnceAtTheEnd) {
  TLayerCollection layers;
  auto* layer = AddPictureLayer(layers, 3, 3, 0xFF000000);
  layer->SetStyles(GrowStyle());
  gGrowCalls = 0;
  layer->BeginUpdate();
  layer->BeginUpdate();
  layer->SourceBitmap().SetSize(5, 5);
  layer->EndUpdate();
  EXPECT_EQ(gGrowCalls, 0);
  EXPECT_EQ(layer->RenderedBitmap().Width(), 11);  // still the old rendering
  layer->EndUpdate();
  EXPECT_EQ(gGrowCalls, 1);
  EXPECT_EQ(layer->RenderedBitmap().Width(), 13);
  layer->EndUpdate();  // unbalanced: ignored
  EXPECT_EQ(layer->UpdateCount(), 0);
  EXPECT_EQ(gGrowCalls, 1);
}

// A style that fails while rendering when asked to (its failure stands for
// any error of the rendering, such as memory running out).
bool gRenderFails = false;
void FailWhenAsked(const TBitmap32&, TBitmap32&, int32_t&, int32_t&, const TFilterParams* params) {
  if (params && gRenderFails) RaiseError("Test", 1, "rendering failed");
}

// What leaving a TLayerUpdate does: the changes raise or not, the rendering
// at the end raises or not.
struct TUpdateCase {
  const char* name;
  bool changesRaise;
  bool renderRaises;
  const char* error;  // what reaches the caller
  int32_t width;      // of the rendered bitmap afterwards
};

void PrintTo(const TUpdateCase& c, std::ostream* os) { *os << c.name; }

class LayerUpdate : public ::testing::TestWithParam<TUpdateCase> {};

TEST_P(LayerUpdate, RendersOnceWhenLeftAndReportsTheFirstError) {
  const TUpdateCase& c = GetParam();
  TLayerCollection layers;
  auto* layer = AddPictureLayer(layers, 3, 3, 0xFF000000);
  RegisterFilter("Test Fail", FailWhenAsked, -1);  // after the growing one
  TFiltersParams styles = GrowStyle();
  styles.Items["Test Fail"] = TFilterParams(std::vector<uint8_t>{'T', 'F', 'A', 'L'});
  layer->SetStyles(styles);
  gGrowCalls = 0;
  gRenderFails = c.renderRaises;
  const std::string error = ErrorOf([&] {
    TLayerUpdate update(*layer);
    {
      TLayerUpdate inner(*layer);
      layer->SourceBitmap().SetSize(5, 5);
    }
    EXPECT_EQ(gGrowCalls, 0) << "rendered before the outer update ended";
    if (c.changesRaise) RaiseError("Test", 2, "changes failed");
  });
  gRenderFails = false;
  EXPECT_EQ(error, c.error);
  EXPECT_EQ(gGrowCalls, 1);  // rendered once, also after an error
  EXPECT_EQ(layer->UpdateCount(), 0);
  EXPECT_EQ(layer->RenderedBitmap().Width(), c.width);
}

INSTANTIATE_TEST_SUITE_P(
    BaseLayer, LayerUpdate,
    ::testing::Values(TUpdateCase{"changes_done", false, false, "", 13},
                      TUpdateCase{"changes_raise", true, false, "Test::2 - changes failed", 13},
                      TUpdateCase{"render_raises", false, true, "Test::1 - rendering failed", 13},
                      TUpdateCase{"both_raise_first_wins", true, true, "Test::2 - changes failed", 13}),
    [](const ::testing::TestParamInfo<TUpdateCase>& info) { return std::string(info.param.name); });

TEST(BaseLayer, NoiseLowersAlphaOnlyWithinRange) {
  TLayerCollection layers;
  auto* layer = AddPictureLayer(layers, 8, 8, 0x01FFFFFF);
  layer->Noisy = true;
  layer->NoiseIntensity = 255;
  layer->Render();
  for (TColor32 c : test::Pixels(layer->RenderedBitmap())) EXPECT_EQ(AlphaOf(c), 0);
  for (uint32_t intensity : {0u, 256u, 0xFFFFFFFFu}) {
    layer->NoiseIntensity = intensity;
    layer->Render();
    for (TColor32 c : test::Pixels(layer->RenderedBitmap())) EXPECT_EQ(AlphaOf(c), 1);
  }
  EXPECT_EQ(AlphaOf(layer->SourceBitmap().Pixel(0, 0)), 1);  // the source keeps its pixels
}

TEST(BaseLayer, LocationCallbackThatRaisesIsDropped) {
  TLayerCollection layers;
  auto* layer = AddPictureLayer(layers, 3, 3, 0xFF000000);
  int calls = 0;
  layer->OnLocationChanged = [&](TBaseLayer& l) {
    EXPECT_EQ(&l, layer);
    if (++calls == 2) throw std::runtime_error("listener gone");
  };
  layer->SetLocation(TFloatRect{1, 1, 4, 4});
  layer->SetLocation(TFloatRect{2, 2, 5, 5});
  EXPECT_EQ(layer->Location(), (TFloatRect{2, 2, 5, 5}));
  EXPECT_FALSE(layer->OnLocationChanged);
  layer->SetLocation(TFloatRect{3, 3, 6, 6});
  EXPECT_EQ(calls, 2);
}

TEST(BaseLayer, AssignCopiesPlacementAndOpacityButNotStylesNoiseOrGaps) {
  TLayerCollection layers;
  auto* a = AddPictureLayer(layers, 6, 4, 0x80FF0000);
  a->Name = "logo";
  a->XUnit = cuPercent;
  a->YUnit = cuPercent;
  a->XCoord = 5;
  a->YCoord = 6;
  a->HAlign = haRight;
  a->VAlign = vaMiddle;
  a->Tile = true;
  a->XTileOffs = 30;
  a->Noisy = true;
  a->SetMasterAlpha(77);
  a->SetStyles(GrowStyle());
  a->FileName = "/logo.png";
  auto* b = &layers.Add<TBitmapLayer>();
  b->Assign(*a);
  EXPECT_EQ(b->Name, "logo");
  EXPECT_EQ(b->FileName, "/logo.png");
  EXPECT_EQ(test::Pixels(b->SourceBitmap()), test::Pixels(a->SourceBitmap()));
  EXPECT_EQ(b->RenderedBitmap().Width(), 6);  // rendered, without the styles
  EXPECT_EQ(b->XUnit, cuPercent);
  EXPECT_EQ(b->YCoord, 6);
  EXPECT_EQ(b->HAlign, haRight);
  EXPECT_EQ(b->VAlign, vaMiddle);
  EXPECT_EQ(b->GetMasterAlpha(), 77);
  EXPECT_EQ(b->RenderedBitmap().MasterAlpha, 77);
  EXPECT_TRUE(b->Tile);
  EXPECT_EQ(b->XTileOffs, 0);
  EXPECT_FALSE(b->Noisy);
  EXPECT_TRUE(b->Styles().Empty());

  auto* t = &layers.Add<TTextLayer>();
  EXPECT_EQ(ErrorOf([&] { a->AssignTo(*t); }), "TBitmapLayer::AssignTo::121 - Object can not be assigned to!");
  EXPECT_EQ(ErrorOf([&] { t->AssignTo(*a); }), "TTextLayer::AssignTo::339 - Object can not be assigned to!");
  TCustomLayer plain(&layers);
  EXPECT_EQ(ErrorOf([&] { a->TBaseLayer::AssignTo(plain); }),
            "TBaseLayer::AssignTo::288 - Object can not be assigned to!");
}

TMemoryStream BaseBlock(int version) {
  TMemoryStream s;
  s.WriteSignature("BASL");
  s.WriteValue<int32_t>(version);
  if (version >= 5) {
    s.WriteValue<uint8_t>(1);
    s.WriteValue<uint32_t>(99);
  }
  if (version >= 4) {
    s.WriteValue<int32_t>(11);
    s.WriteValue<int32_t>(12);
  }
  if (version >= 3) s.WriteValue<uint8_t>(1);
  if (version >= 2) TFiltersParams().SaveToStream(s);
  s.WriteValue<int32_t>(7);  // any non-zero value is visible
  s.WriteValue<int32_t>(200);
  s.WriteValue<uint8_t>(1);
  s.WriteValue<uint8_t>(0);
  s.WriteValue<float>(2.5f);
  s.WriteValue<float>(-3);
  s.WriteValue<uint8_t>(2);
  s.WriteValue<uint8_t>(1);
  WriteString(s, "name");
  s.Seek(0);
  return s;
}

TEST(BaseLayer, ReadsEveryVersionKeepingWhatOlderOnesLack) {
  for (int version = 1; version <= 5; ++version) {
    SCOPED_TRACE(version);
    TLayerCollection layers;
    auto* layer = AddPictureLayer(layers, 2, 2, 0xFF000000);
    layer->Noisy = false;
    layer->NoiseIntensity = 5;
    layer->XTileOffs = layer->YTileOffs = -1;
    layer->Tile = false;
    layer->SetStyles(GrowStyle());
    layer->SetVisible(false);
    TMemoryStream s = BaseBlock(version);
    layer->TBaseLayer::LoadFromStream(s);
    EXPECT_EQ(s.Remaining(), 0);
    EXPECT_EQ(layer->Noisy, version >= 5);
    EXPECT_EQ(layer->NoiseIntensity, version >= 5 ? 99u : 5u);
    EXPECT_EQ(layer->XTileOffs, version >= 4 ? 11 : -1);
    EXPECT_EQ(layer->YTileOffs, version >= 4 ? 12 : -1);
    EXPECT_EQ(layer->Tile, version >= 3);
    EXPECT_EQ(layer->Styles().Empty(), version >= 2);
    EXPECT_TRUE(layer->Visible());
    EXPECT_EQ(layer->GetMasterAlpha(), 200);
    EXPECT_EQ(layer->RenderedBitmap().MasterAlpha, 200);
    EXPECT_EQ(layer->XUnit, cuPercent);
    EXPECT_EQ(layer->XCoord, 2.5f);
    EXPECT_EQ(layer->YCoord, -3);
    EXPECT_EQ(layer->HAlign, haCenter);
    EXPECT_EQ(layer->VAlign, vaBottom);
    EXPECT_EQ(layer->Name, "name");
  }
}

TEST(BaseLayer, StyleBlocksOfNoBytesSurviveAStreamRoundTrip) {
  TLayerCollection layers;
  auto* layer = AddPictureLayer(layers, 2, 2, 0xFF000000);
  TFiltersParams styles;
  styles.Items["Stroke"] = TFilterParams();
  layer->SetStyles(styles);  // a block of the wrong size: the stroke does nothing
  TMemoryStream s;
  layer->SaveToStream(s);
  s.Seek(0);
  auto* copy = &layers.Add<TBitmapLayer>();
  copy->LoadFromStream(s);
  EXPECT_EQ(copy->Styles(), styles);
  EXPECT_EQ(test::Pixels(copy->RenderedBitmap()), test::Pixels(layer->RenderedBitmap()));
}

TEST(BaseLayer, RefusesWrongSignatureAndVersion) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TBitmapLayer>();
  TMemoryStream s = BaseBlock(5);
  const_cast<uint8_t&>(s.Bytes()[0]) = 'X';
  EXPECT_EQ(ErrorOf([&] { layer->TBaseLayer::LoadFromStream(s); }),
            "TBaseLayer::LoadFromStream::207 - Invalid signature!");
  for (int version : {0, 7, -1}) {
    TMemoryStream v = BaseBlock(5);
    v.Seek(4);
    v.WriteValue<int32_t>(version);
    v.Seek(0);
    EXPECT_EQ(ErrorOf([&] { layer->TBaseLayer::LoadFromStream(v); }),
              "TBaseLayer::LoadFromStream::235 - Unknown version (" + std::to_string(version) + ")!");
  }
}

TEST(BaseLayer, WritesVersionFiveFieldByField) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TBitmapLayer>();
  TMemoryStream expected = BaseBlock(5);
  layer->TBaseLayer::LoadFromStream(expected);
  TMemoryStream written;
  layer->TBaseLayer::SaveToStream(written);
  // the reader's visible flag 7 is written back as 1
  std::string bytes = test::Bytes(expected);
  bytes[4 + 4 + 1 + 4 + 8 + 1 + 12] = 1;
  EXPECT_EQ(test::Bytes(written), bytes);
}

}  // namespace
}  // namespace tvx
