// Exact copies of layers (Clone) and the stretch of a text surviving saving
// and loading, which the editor's copies and history rely on.

#include <gtest/gtest.h>

#include "WatermarkTestUtil.h"
#include "styles/Gradient.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "util/Utils.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

std::string Saved(const TBaseLayer& layer) {
  TMemoryStream s;
  layer.SaveToStream(s);
  return test::Bytes(s);
}

TFiltersParams AllFourStyles() {
  RegisterFilterKinds();
  TFiltersParams styles;
  styles.Items["Stroke"] = TStrokeRecord::Defaults().ToParams();
  styles.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
  styles.Items["Glow"] = TShadowRecord::GlowDefaults().ToParams();
  styles.Items["Gradient"] = TGradRecord::ToParams(TGradient());
  return styles;
}

// Everything a user can set on a layer, set away from its default.
void Decorate(TBaseLayer& layer) {
  layer.Name = "decorated";
  layer.XUnit = cuPercent;
  layer.XCoord = 12.5f;
  layer.HAlign = haRight;
  layer.VAlign = vaMiddle;
  layer.YCoord = -3;
  layer.Tile = true;
  layer.XTileOffs = 7;
  layer.YTileOffs = 9;
  layer.Noisy = true;
  layer.NoiseIntensity = 80;
  layer.SetMasterAlpha(191);
  layer.Tag = 42;
  layer.SetStyles(AllFourStyles());
  layer.SetVisible(false);
  layer.SetLocation(layer.GetLayerRect(640, 480));
}

void ExpectExactCopy(const TBaseLayer& copy, const TBaseLayer& source) {
  EXPECT_EQ(Saved(copy), Saved(source));
  EXPECT_EQ(test::Pixels(copy.SourceBitmap()), test::Pixels(source.SourceBitmap()));
  // the very pixels shown, noise pattern included: nothing was rendered again
  EXPECT_EQ(test::Pixels(copy.RenderedBitmap()), test::Pixels(source.RenderedBitmap()));
  EXPECT_EQ(copy.Location(), source.Location());
  EXPECT_EQ(copy.StyleOffsetX(), source.StyleOffsetX());
  EXPECT_EQ(copy.Tag, source.Tag);
  EXPECT_EQ(copy.Visible(), source.Visible());
  EXPECT_EQ(copy.RenderedBitmap().DrawMode, dmBlend);
  EXPECT_EQ(copy.RenderedBitmap().MasterAlpha, source.RenderedBitmap().MasterAlpha);
}

TEST(LayerCopy, APictureLayerCopiesExactly) {
  TLayerCollection layers;
  TBitmapLayer* source = test::AddPictureLayer(layers, 30, 12, 0xC0FF8000);
  source->FileName = "/pics/logo.png";
  Decorate(*source);
  TLayerCollection other;
  std::unique_ptr<TBaseLayer> copy = source->Clone(&other);
  ExpectExactCopy(*copy, *source);
  EXPECT_EQ(static_cast<TBitmapLayer&>(*copy).FileName, "/pics/logo.png");
  EXPECT_EQ(copy->LayerCollection(), &other);
}

TEST(LayerCopy, AStretchedStyledTextCopiesExactly) {
  TLayerCollection layers;
  auto& source = layers.Add<TTextLayer>();
  source.Text = "Line one\r\nsecond <FILENAME>";
  source.Font.Size = 22;
  source.Font.Italic = true;
  source.Justification = tjCentered;
  source.RenderText();
  source.ResizeTo(source.NaturalWidth * 3 / 2, source.NaturalHeight + 7);
  Decorate(source);
  const TExifParameters picture{1, 2, 640, 480, "/pics/a.jpg", {}};
  source.PictureParameters = &picture;
  std::unique_ptr<TBaseLayer> copy = source.Clone(nullptr);
  ExpectExactCopy(*copy, source);
  auto& text = static_cast<TTextLayer&>(*copy);
  EXPECT_EQ(text.Font, source.Font);
  EXPECT_EQ(text.Justification, tjCentered);
  EXPECT_EQ(text.NaturalWidth, source.NaturalWidth);
  EXPECT_EQ(text.PictureParameters, &picture);
}

TEST(LayerCopy, ACopyDoesNotCallTheSourcesListener) {
  TLayerCollection layers;
  TBitmapLayer* source = test::AddPictureLayer(layers, 3, 3, 0xFF000000);
  int calls = 0;
  source->OnLocationChanged = [&](TBaseLayer&) { ++calls; };
  std::unique_ptr<TBaseLayer> copy = source->Clone(&layers);
  copy->SetLocation(TFloatRect{1, 1, 4, 4});
  EXPECT_EQ(calls, 0);
}

// A stretched text saved and read again comes back at the size it had: the
// stored float factor times the natural size lands a hair below the size
// about every other time, which must not cost a pixel.
class TextStretchRoundTrip : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(TextStretchRoundTrip, KeepsTheDisplayedSize) {
  const auto [widthPercent, heightPercent] = GetParam();
  TLayerCollection layers;
  auto& text = layers.Add<TTextLayer>();
  text.Text = "Stretch me";
  text.Font.Size = 19;
  text.RenderText();
  const int32_t w = text.NaturalWidth * widthPercent / 100, h = text.NaturalHeight * heightPercent / 100;
  {
    TLayerUpdate update(text);
    ResampleBitmap(text.SourceBitmap(), w, h);
  }
  const std::string saved = Saved(text);
  TMemoryStream s;
  text.SaveToStream(s);
  s.Seek(0);
  auto& again = layers.Add<TTextLayer>();
  again.LoadFromStream(s);
  EXPECT_EQ(again.SourceBitmap().Width(), w);
  EXPECT_EQ(again.SourceBitmap().Height(), h);
  EXPECT_EQ(Saved(again), saved);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TextStretchRoundTrip,
                         testing::Values(std::pair{100, 100}, std::pair{133, 100}, std::pair{100, 171},
                                         std::pair{157, 243}, std::pair{311, 97}, std::pair{71, 333},
                                         std::pair{250, 250}, std::pair{199, 101}));

TEST(TextStretchRoundTrip, EverySizeOfAStretchedWordComesBack) {
  // Every displayed width from 1 to 3 x the natural width.
  TLayerCollection layers;
  auto& text = layers.Add<TTextLayer>();
  text.Text = "Abc";
  text.RenderText();
  const int32_t nw = text.NaturalWidth;
  int lost = 0;
  for (int32_t w = 1; w <= 3 * nw; ++w) {
    const float factor = float(w) / float(nw);
    TMemoryStream s;
    text.TBaseLayer::SaveToStream(s);
    s.WriteSignature("TXTL");
    s.WriteValue<int32_t>(2);
    s.WriteValue<float>(factor);
    s.WriteValue<float>(1.0f);
    WriteString(s, text.Text);
    WriteString(s, text.Font.Name);
    s.WriteValue<int32_t>(text.Font.Size);
    s.WriteValue<uint32_t>(text.Font.Color);
    for (int i = 0; i < 4; ++i) s.WriteValue<uint8_t>(0);
    s.WriteValue<uint8_t>(0);
    s.Seek(0);
    auto& again = layers.Add<TTextLayer>();
    again.LoadFromStream(s);
    if (again.SourceBitmap().Width() != w) ++lost;
    layers.Delete(layers.Count() - 1);
  }
  EXPECT_EQ(lost, 0);
}

}  // namespace
}  // namespace tvx
