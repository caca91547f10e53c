#include "watermark/ApplyWatermark.h"

#include <gtest/gtest.h>

#include "WatermarkTestUtil.h"
#include "imageio/PluginManager.h"
#include "support/TestSupport.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace tvx {
namespace {

// The real kobalt.fp beside the program; skips when it is not built.
const TPluginManager& Plugins() {
  static const TPluginManager manager(test::BinDir().string());
  return manager;
}

#define REQUIRE_PLUGIN()                                                           \
  do {                                                                             \
    TVX_REQUIRE_TESTDATA();                                                        \
    if (Plugins().FindPlugin(".png", true) < 0) GTEST_SKIP() << "kobalt.fp not built"; \
  } while (0)

TEST(ApplyWatermark, PictureLayerFromAFileKeepsItsAlphaThroughTheWatermarkFile) {
  REQUIRE_PLUGIN();
  test::TTempDir dir;
  TLayerCollection layers;
  auto* logo = &layers.Add<TBitmapLayer>();
  logo->ApplySettings("logo", (test::TestDataDir() / "formats/png_rgba8_32x32.png").string(), Plugins());
  ASSERT_EQ(logo->SourceBitmap().Width(), 32);
  ASSERT_EQ(logo->SourceBitmap().Height(), 32);
  int translucent = 0;
  for (TColor32 c : test::Pixels(logo->SourceBitmap())) translucent += AlphaOf(c) < 255;
  EXPECT_GT(translucent, 0);

  Watermark::TWatermarkExif exif;
  SaveWatermark(dir / "logo.tvx", layers, exif);
  TLayerCollection read;
  OpenWatermark(dir / "logo.tvx", read, exif);
  auto* copy = dynamic_cast<TBitmapLayer*>(&read.Items(0));
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->FileName, "");  // the file name is not stored, the pixels are
  EXPECT_EQ(test::Pixels(copy->SourceBitmap()), test::Pixels(logo->SourceBitmap()));
}

TEST(ApplyWatermark, OnePictureOfABatchRun) {
  REQUIRE_PLUGIN();
  test::TTempDir dir;
  const std::string source = (test::TestDataDir() / "photos/canon_eos_rebel_t3i.jpg").string();
  TBitmap32 picture;
  Plugins().LoadBitmap(source, picture);
  ASSERT_FALSE(picture.Empty());
  const TBitmap32 original = picture;

  TExifParameters parameters = Plugins().GetExif(source);
  parameters.FileName = source;
  parameters.Index = 1;
  parameters.Count = 1;
  parameters.Width = picture.Width();
  parameters.Height = picture.Height();

  TLayerCollection layers;
  auto* text = &layers.Add<TTextLayer>();
  text->Text = "<MODEL>";
  text->Font.Size = 30;
  text->Font.Color = 0x00FFFFFF;
  text->HAlign = haRight;
  text->VAlign = vaBottom;
  text->XCoord = text->YCoord = 10;
  SetPictureParameters(layers, &parameters);
  text->RenderText();
  const int emptyModelWidth = text->SourceBitmap().Width();
  RefreshMacroLayers(layers);
  EXPECT_EQ(text->SourceBitmap().Width(), emptyModelWidth);  // rendered for this picture already
  ASSERT_FALSE(parameters.Values[272].empty());
  EXPECT_GT(text->SourceBitmap().Width(), 50);

  DrawWatermark(layers, picture);
  const TRect r = MakeRect(text->GetLayerRect(picture.Width(), picture.Height()));
  EXPECT_EQ(r.Right, picture.Width() - 10);
  EXPECT_EQ(r.Bottom, picture.Height() - 10);
  int changedInside = 0, changedOutside = 0;
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) {
      const bool inside = x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
      (inside ? changedInside : changedOutside) += picture.Pixel(x, y) != original.Pixel(x, y);
    }
  EXPECT_GT(changedInside, 100);
  EXPECT_EQ(changedOutside, 0);

  ASSERT_TRUE(Plugins().SaveBitmap(dir / "out.png", picture));
  TBitmap32 reread;
  Plugins().LoadBitmap(dir / "out.png", reread);
  EXPECT_EQ(test::Pixels(reread), test::Pixels(picture));
}

}  // namespace
}  // namespace tvx
