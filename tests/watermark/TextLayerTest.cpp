#include "watermark/TextLayer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "WatermarkTestUtil.h"
#include "util/Utils.h"

namespace tvx {
namespace {

using test::ErrorOf;

// The text block after a default base block.
TMemoryStream TextBlock(int version, float fx, float fy, const std::string& text, int32_t fontSize,
                        int32_t v1Width = 0, int32_t v1Height = 0) {
  TLayerCollection layers;
  TMemoryStream s;
  layers.Add<TTextLayer>().TBaseLayer::SaveToStream(s);
  s.WriteSignature("TXTL");
  s.WriteValue<int32_t>(version);
  if (version == 2) {
    s.WriteValue<float>(fx);
    s.WriteValue<float>(fy);
  }
  WriteString(s, text);
  WriteString(s, "DejaVu Serif");
  s.WriteValue<int32_t>(fontSize);
  s.WriteValue<uint32_t>(0x000000FF);
  for (uint8_t style : {1, 0, 1, 0}) s.WriteValue<uint8_t>(style);
  if (version == 2) s.WriteValue<uint8_t>(tjCentered);
  if (version == 1) {
    s.WriteValue<int32_t>(v1Width);
    s.WriteValue<int32_t>(v1Height);
  }
  s.Seek(0);
  return s;
}

TEST(TextLayer, EmptyTextIsAnEmptyLayerThatSavesUnitFactors) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TTextLayer>();
  layer->Text = "";
  layer->RenderText();
  EXPECT_TRUE(layer->SourceBitmap().Empty());
  EXPECT_TRUE(layer->RenderedBitmap().Empty());
  EXPECT_EQ(layer->NaturalWidth, 0);
  TMemoryStream s;
  layer->SaveToStream(s);
  TMemoryStream base;
  layer->TBaseLayer::SaveToStream(base);
  s.Seek(base.Size() + 8);
  EXPECT_EQ(s.ReadValue<float>(), 1.0f);
  EXPECT_EQ(s.ReadValue<float>(), 1.0f);
}

TEST(TextLayer, SavesAndReadsItsFields) {
  TLayerCollection layers;
  TMemoryStream s = TextBlock(2, 1, 1, "Line 1\r\nLine 2", 24);
  auto* layer = &layers.Add<TTextLayer>();
  layer->LoadFromStream(s);
  EXPECT_EQ(s.Remaining(), 0);
  EXPECT_EQ(layer->Text, "Line 1\r\nLine 2");
  EXPECT_EQ(layer->Font.Name, "DejaVu Serif");
  EXPECT_EQ(layer->Font.Size, 24);
  EXPECT_EQ(layer->Font.Color, 0x000000FFu);
  EXPECT_TRUE(layer->Font.Bold);
  EXPECT_FALSE(layer->Font.Italic);
  EXPECT_TRUE(layer->Font.Underline);
  EXPECT_FALSE(layer->Font.StrikeOut);
  EXPECT_EQ(layer->Justification, tjCentered);
  EXPECT_FALSE(layer->SourceBitmap().Empty());  // rendered on load
  EXPECT_EQ(layer->RenderedBitmap().DrawMode, dmBlend);
  TMemoryStream again;
  layer->SaveToStream(again);
  EXPECT_EQ(test::Bytes(again), test::Bytes(s));
}

TEST(TextLayer, VersionOneTakesItsFontSizeFromTheStoredHeight) {
  TLayerCollection layers;
  TMemoryStream s = TextBlock(1, 0, 0, "one\r\ntwo", 16, 300, 60);
  auto* layer = &layers.Add<TTextLayer>();
  layer->Justification = tjRight;
  layer->LoadFromStream(s);
  EXPECT_EQ(s.Remaining(), 0);
  EXPECT_EQ(layer->Font.Size, 30);
  EXPECT_EQ(layer->Justification, tjRight);  // version 1 has none
  // a hostile height cannot ask for a gigantic font
  TMemoryStream huge = TextBlock(1, 0, 0, "x", 16, 10, 0x7FFFFFFF);
  layer->LoadFromStream(huge);
  EXPECT_EQ(layer->Font.Size, 16);
}

TEST(TextLayer, RefusesBadFactorsSizesSignaturesAndVersions) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  TLayerCollection layers;
  auto* layer = &layers.Add<TTextLayer>();
  for (auto [fx, fy] : {std::pair{nan, 1.0f}, {1.0f, inf}, {0.0f, 1.0f}, {1.0f, -2.0f}}) {
    TMemoryStream s = TextBlock(2, fx, fy, "Text", 16);
    EXPECT_EQ(ErrorOf([&] { layer->LoadFromStream(s); }), "TTextLayer::LoadFromStream::131 - Invalid stretch factor!");
  }
  // an empty text never uses its factors: older files stored 0 for it
  TMemoryStream empty = TextBlock(2, 0, nan, "", 16);
  EXPECT_EQ(ErrorOf([&] { layer->LoadFromStream(empty); }), "");
  EXPECT_TRUE(layer->SourceBitmap().Empty());
  for (int32_t size : {-1, 10001}) {
    TMemoryStream s = TextBlock(2, 1, 1, "Text", size);
    EXPECT_EQ(ErrorOf([&] { layer->LoadFromStream(s); }),
              "TTextLayer::LoadFromStream::121 - Invalid font size (" + std::to_string(size) + ")!");
  }
  TMemoryStream v3 = TextBlock(3, 1, 1, "Text", 16);
  EXPECT_EQ(ErrorOf([&] { layer->LoadFromStream(v3); }), "TTextLayer::LoadFromStream::152 - Unknown version (3)!");
  TMemoryStream sig = TextBlock(2, 1, 1, "Text", 16);
  TMemoryStream base;
  layer->TBaseLayer::SaveToStream(base);
  const_cast<uint8_t&>(sig.Bytes()[size_t(base.Size())]) = 'x';
  EXPECT_EQ(ErrorOf([&] { layer->LoadFromStream(sig); }), "TTextLayer::LoadFromStream::76 - Invalid signature!");
  // a string running past the end of the file
  TMemoryStream cut = TextBlock(2, 1, 1, "Text", 16);
  std::vector<uint8_t> bytes = cut.Bytes();
  bytes.resize(size_t(base.Size()) + 16 + 4);
  bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF, 0x7F});
  TMemoryStream hostile(bytes);
  EXPECT_NE(ErrorOf([&] { layer->LoadFromStream(hostile); }).find("ReadString::"), std::string::npos);
}

TEST(TextLayer, SpacesTrimToOnePixelAndGlyphsCarryTheFontColour) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TTextLayer>();
  layer->Text = "   ";
  layer->RenderText();
  EXPECT_EQ(layer->SourceBitmap().Width(), 1);
  EXPECT_EQ(layer->SourceBitmap().Height(), 1);
  EXPECT_EQ(AlphaOf(layer->SourceBitmap().Pixel(0, 0)), 0);
  layer->Text = "Hi";
  layer->Font.Color = 0x000000FF;  // red as a system colour value
  layer->RenderText();
  const TBitmap32& b = layer->SourceBitmap();
  EXPECT_GT(b.Width(), 5);
  EXPECT_EQ(layer->NaturalWidth, b.Width());
  int opaque = 0;
  for (TColor32 c : test::Pixels(b)) {
    EXPECT_EQ(c & 0x00FFFFFF, 0x00FF0000u);
    opaque += AlphaOf(c) == 255;
  }
  EXPECT_GT(opaque, 10);
  // trimmed: ink touches every edge
  int top = 0, left = 0;
  for (int x = 0; x < b.Width(); ++x) top += AlphaOf(b.Pixel(x, 0)) > 0;
  for (int y = 0; y < b.Height(); ++y) left += AlphaOf(b.Pixel(0, y)) > 0;
  EXPECT_GT(top, 0);
  EXPECT_GT(left, 0);
}

TEST(TextLayer, ResizeSetsTheFontFromTheHeightAndStretchesExactly) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TTextLayer>();
  layer->Text = "first line\r\nsecond";
  layer->ResizeTo(300, 60);
  EXPECT_EQ(layer->Font.Size, 30);
  EXPECT_EQ(layer->SourceBitmap().Width(), 300);
  EXPECT_EQ(layer->SourceBitmap().Height(), 60);
  EXPECT_EQ(layer->RenderedBitmap().Width(), 300);
  EXPECT_NE(layer->NaturalWidth, 300);
}

TEST(TextLayer, StretchSurvivesSavingAndReopening) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TTextLayer>();
  layer->Text = "Stretch";
  layer->Font.Size = 20;
  layer->RenderText();
  const int nw = layer->NaturalWidth, nh = layer->NaturalHeight;
  layer->BeginUpdate();
  ResampleBitmap(layer->SourceBitmap(), nw * 2, nh);
  layer->EndUpdate();
  EXPECT_FLOAT_EQ(layer->HorizontalStretch(), 2.0f);
  EXPECT_FLOAT_EQ(layer->VerticalStretch(), 1.0f);
  TMemoryStream s;
  layer->SaveToStream(s);
  s.Seek(0);
  auto* copy = &layers.Add<TTextLayer>();
  copy->LoadFromStream(s);
  EXPECT_EQ(copy->NaturalWidth, nw);
  EXPECT_EQ(copy->SourceBitmap().Width(), nw * 2);
  EXPECT_EQ(copy->SourceBitmap().Height(), nh);
  EXPECT_EQ(test::Pixels(copy->RenderedBitmap()), test::Pixels(layer->RenderedBitmap()));
}

TEST(TextLayer, DuplicateTakesItsFontSizeFromTheDisplayedHeight) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TTextLayer>();
  layer->Text = "Duplicate me";
  layer->Font.Size = 16;
  layer->Justification = tjCentered;
  layer->RenderText();
  const int w = layer->SourceBitmap().Width(), h = layer->SourceBitmap().Height();
  auto* copy = &layers.Add<TTextLayer>();
  copy->Assign(*layer);
  EXPECT_EQ(copy->Font.Size, h);
  EXPECT_EQ(copy->SourceBitmap().Width(), w);
  EXPECT_EQ(copy->SourceBitmap().Height(), h);
  EXPECT_EQ(copy->Justification, tjLeft);
  EXPECT_EQ(copy->Text, "Duplicate me");
}

TEST(TextLayer, MacroTextsRenderPerPictureAndKeepTheirStretch) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TTextLayer>();
  TExifParameters picture;
  picture.FileName = "a.jpg";
  layer->PictureParameters = &picture;
  layer->Text = "<FILENAME>";
  layer->RenderText();
  const int nw = layer->NaturalWidth, nh = layer->NaturalHeight;
  layer->BeginUpdate();
  ResampleBitmap(layer->SourceBitmap(), nw * 2, nh * 3);
  layer->EndUpdate();
  picture.FileName = "a much longer file name.jpg";
  layer->RefreshContent();
  EXPECT_GT(layer->NaturalWidth, nw);
  EXPECT_EQ(layer->SourceBitmap().Width(), nw * 2 * layer->NaturalWidth / nw);
  EXPECT_EQ(layer->SourceBitmap().Height(), nh * 3 * layer->NaturalHeight / nh);
  // a text without macros is left alone
  layer->Text = "plain";
  layer->RenderText();
  const int plainWidth = layer->SourceBitmap().Width();
  picture.FileName = "x";
  layer->RefreshContent();
  EXPECT_EQ(layer->SourceBitmap().Width(), plainWidth);
}

TEST(TextLayer, ConfigureGoesThroughTheInstalledDialog) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TTextLayer>();
  EXPECT_EQ(layer->Configure(), 2);
  TTextLayer::ConfigureDialog = [](TTextLayer& l) {
    TLayerFont font;
    font.Size = 20;
    l.ApplySettings("caption", "Hello", font, tjRight);
    return 1;
  };
  EXPECT_EQ(layer->Configure(), 1);
  TTextLayer::ConfigureDialog = nullptr;
  EXPECT_EQ(layer->Name, "caption");
  EXPECT_EQ(layer->Text, "Hello");
  EXPECT_EQ(layer->Font.Size, 20);
  EXPECT_EQ(layer->Justification, tjRight);
  EXPECT_FALSE(layer->SourceBitmap().Empty());
}

}  // namespace
}  // namespace tvx
