#include "watermark/BitmapLayer.h"

#include <gtest/gtest.h>

#include "WatermarkTestUtil.h"
#include "imageio/PluginManager.h"
#include "support/TestSupport.h"

namespace tvx {
namespace {

using test::ErrorOf;

TEST(BitmapLayer, ThreeByTwoPictureAddsSixteenPlusTwentyFourBytes) {
  TLayerCollection layers;
  auto* layer = test::AddPictureLayer(layers, 3, 2, 0);
  for (int i = 0; i < 6; ++i) layer->SourceBitmap().Bits()[i] = ARGB(uint8_t(10 + i), 1, 2, uint8_t(i));
  TMemoryStream base, all;
  layer->TBaseLayer::SaveToStream(base);
  layer->SaveToStream(all);
  ASSERT_EQ(all.Size(), base.Size() + 16 + 24);
  const std::string tail = test::Bytes(all).substr(size_t(base.Size()));
  EXPECT_EQ(tail.substr(0, 16), std::string("BMPL\1\0\0\0\3\0\0\0\2\0\0\0", 16));
  EXPECT_EQ(tail.substr(16, 8), std::string("\0\2\1\12\1\2\1\13", 8));  // B, G, R, A per pixel

  all.Seek(0);
  auto* copy = &layers.Add<TBitmapLayer>();
  copy->LoadFromStream(all);
  EXPECT_EQ(test::Pixels(copy->SourceBitmap()), test::Pixels(layer->SourceBitmap()));
  EXPECT_EQ(test::Pixels(copy->RenderedBitmap()), test::Pixels(layer->SourceBitmap()));  // rendered on load
}

TEST(BitmapLayer, ZeroWidthStoresNoPixelsAndLoadsEmpty) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TBitmapLayer>();
  TMemoryStream s;
  layer->SaveToStream(s);
  TMemoryStream base;
  layer->TBaseLayer::SaveToStream(base);
  EXPECT_EQ(s.Size(), base.Size() + 16);
  s.Seek(0);
  auto* copy = test::AddPictureLayer(layers, 5, 5, 0xFFFFFFFF);
  copy->LoadFromStream(s);
  EXPECT_TRUE(copy->SourceBitmap().Empty());
  EXPECT_TRUE(copy->RenderedBitmap().Empty());
}

TEST(BitmapLayer, HostileSizesAreRefusedBeforeAllocating) {
  TLayerCollection layers;
  auto* layer = &layers.Add<TBitmapLayer>();
  TMemoryStream base;
  layer->TBaseLayer::SaveToStream(base);
  auto block = [&](int32_t w, int32_t h, size_t pixelBytes) {
    TMemoryStream s(base.Bytes());
    s.Seek(s.Size());
    s.WriteSignature("BMPL");
    s.WriteValue<int32_t>(1);
    s.WriteValue<int32_t>(w);
    s.WriteValue<int32_t>(h);
    std::vector<uint8_t> pixels(pixelBytes, 0xAB);
    s.Write(pixels.data(), pixels.size());
    s.Seek(0);
    return s;
  };
  struct Case {
    int32_t w, h;
    size_t bytes;
    std::string error;
  } cases[] = {
      {65536, 65536, 100, "TBitmapLayer::LoadFromStream::99 - Picture size (65536 x 65536) exceeds the stream!"},
      {0x7FFFFFFF, 0x7FFFFFFF, 0, "TBitmapLayer::LoadFromStream::99 - Picture size (2147483647 x 2147483647) exceeds the stream!"},
      {3, 2, 23, "TBitmapLayer::LoadFromStream::99 - Picture size (3 x 2) exceeds the stream!"},
      {-1, 2, 0, "TBitmapLayer::LoadFromStream::97 - Invalid picture size (-1 x 2)!"},
      {3, 2, 24, ""},
  };
  for (const Case& c : cases) {
    TMemoryStream s = block(c.w, c.h, c.bytes);
    EXPECT_EQ(ErrorOf([&] { layer->LoadFromStream(s); }), c.error);
  }
  TMemoryStream s = block(3, 2, 24);
  const_cast<uint8_t&>(s.Bytes()[size_t(base.Size()) + 1]) = 'X';
  EXPECT_EQ(ErrorOf([&] { layer->LoadFromStream(s); }), "TBitmapLayer::LoadFromStream::74 - Invalid signature!");
  TMemoryStream v = block(3, 2, 24);
  v.Seek(base.Size() + 4);
  v.WriteValue<int32_t>(2);
  v.Seek(0);
  EXPECT_EQ(ErrorOf([&] { layer->LoadFromStream(v); }), "TBitmapLayer::LoadFromStream::91 - Unknown version (2)!");
}

TEST(BitmapLayer, ResizeOutsideTheLimitsKeepsThePicture) {
  TLayerCollection layers;
  auto* layer = test::AddPictureLayer(layers, 30, 20, 0xFF00FF00);
  layer->ResizeTo(20000, 100);
  EXPECT_EQ(layer->SourceBitmap().Width(), 30);
  layer->ResizeTo(-1, 100);
  EXPECT_EQ(layer->SourceBitmap().Width(), 30);
}

TEST(BitmapLayer, ConfigureGoesThroughTheInstalledDialog) {
  TLayerCollection layers;
  auto* layer = test::AddPictureLayer(layers, 2, 2, 0xFF000000);
  layer->Tag = 4;
  EXPECT_EQ(layer->DisplayName(), "New Layer 4");
  EXPECT_EQ(layer->Configure(), 2);  // no dialog installed
  TBitmapLayer::ConfigureDialog = [](TBitmapLayer& l) {
    l.Name = "from dialog";
    return 1;
  };
  EXPECT_EQ(layer->Configure(), 1);
  EXPECT_EQ(layer->DisplayName(), "from dialog");
  TBitmapLayer::ConfigureDialog = nullptr;
}

TEST(BitmapLayer, SettingsLoadThePictureOnlyWhenTheFileNameChanges) {
  test::TTempDir noPlugins;
  const TPluginManager plugins(noPlugins.Path().string());
  TLayerCollection layers;
  auto* layer = test::AddPictureLayer(layers, 4, 3, 0xFF00FF00);
  layer->FileName = "/logo.png";
  // the same name again does not reload (no plug-in could)
  layer->ApplySettings("renamed", "/logo.png", plugins);
  EXPECT_EQ(layer->Name, "renamed");
  EXPECT_EQ(layer->SourceBitmap().Width(), 4);
  // a picture no plug-in reads: the error, with the old picture kept
  EXPECT_NE(ErrorOf([&] { layer->ApplySettings("again", "/other.xyz", plugins); }), "");
  EXPECT_EQ(layer->Name, "again");
  EXPECT_EQ(layer->FileName, "/other.xyz");
  EXPECT_EQ(layer->SourceBitmap().Width(), 4);
  EXPECT_EQ(layer->RenderedBitmap().Width(), 4);
  EXPECT_EQ(layer->UpdateCount(), 0);
  // clearing the name empties the layer
  layer->ApplySettings("empty", "", plugins);
  EXPECT_TRUE(layer->SourceBitmap().Empty());
  EXPECT_TRUE(layer->RenderedBitmap().Empty());
}

}  // namespace
}  // namespace tvx
