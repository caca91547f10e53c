// The sample watermarks shipped beside the program: the generator writes the
// same bytes every time, and each file opens, holds the layers it promises and
// draws where it should.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "imageio/PluginManager.h"
#include "imageio/WatermarkExif.h"
#include "raster/Layers.h"
#include "styles/Styles.h"
#include "support/TestSupport.h"
#include "watermark/ApplyWatermark.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"


namespace tvx {
namespace {

const char* const kSampleFiles[] = {"Copyright.tvx", "Logo.tvx", "Proof.tvx", "Photo Info.tvx", "Logo.png"};

int RunGenerator(const std::string& arguments) {
  std::string command = std::string("\"") + TARVEX_MAKE_SAMPLES + "\" " + arguments + " >/dev/null 2>&1";
  return std::system(command.c_str());
}

std::string Quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

/// Changed pixels of a picture per quadrant (top-left, top-right, bottom-left, bottom-right).
struct TQuadrants {
  int Count[4] = {0, 0, 0, 0};
  int MaxChange = 0;
};

TQuadrants Compare(const TBitmap32& before, const TBitmap32& after) {
  TQuadrants q;
  for (int32_t y = 0; y < before.Height(); ++y)
    for (int32_t x = 0; x < before.Width(); ++x) {
      TColor32 a = before.Pixel(x, y), b = after.Pixel(x, y);
      if (a == b) continue;
      int quadrant = (x >= before.Width() / 2 ? 1 : 0) + (y >= before.Height() / 2 ? 2 : 0);
      ++q.Count[quadrant];
      int change = std::abs(int(RedOf(a)) - int(RedOf(b))) + std::abs(int(GreenOf(a)) - int(GreenOf(b))) +
                   std::abs(int(BlueOf(a)) - int(BlueOf(b)));
      q.MaxChange = std::max(q.MaxChange, change);
    }
  return q;
}

class SampleWatermarks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterFilterKinds(); }

  void SetUp() override {
    ASSERT_EQ(RunGenerator(Quoted(dir_.Path())), 0);
    picture_.SetSize(1200, 800);
    picture_.Clear(0xFF808080);
  }

  /// Opens a sample, fills its macros for `parameters` and draws it on a copy of the grey picture.
  TQuadrants Draw(const std::string& name, TLayerCollection& layers, const TExifParameters& parameters = {}) {
    Watermark::TWatermarkExif exif;
    OpenWatermark(dir_ / name, layers, exif);
    EXPECT_TRUE(exif.IsEmpty()) << name << " writes no EXIF fields into the user's pictures";
    SetPictureParameters(layers, &parameters);
    RefreshMacroLayers(layers);
    TBitmap32 target = picture_;
    DrawWatermark(layers, target);
    return Compare(picture_, target);
  }

  test::TTempDir dir_;
  TBitmap32 picture_;
};

TEST_F(SampleWatermarks, GeneratorIsDeterministicAndMatchesTheBuiltFolder) {
  test::TTempDir again;
  ASSERT_EQ(RunGenerator(Quoted(again.Path())), 0);
  const std::filesystem::path built = test::BinDir() / "Sample Watermarks";
  for (const char* name : kSampleFiles) {
    std::string bytes = test::ReadFileBytes(dir_.Path() / name);
    ASSERT_FALSE(bytes.empty()) << name;
    EXPECT_EQ(bytes, test::ReadFileBytes(again.Path() / name)) << name << " differs between two runs";
    if (std::filesystem::exists(built / name)) {
      EXPECT_EQ(bytes, test::ReadFileBytes(built / name)) << name << " in the build folder is stale";
    }
  }
  // No stray temporary files are left beside them.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}), std::size(kSampleFiles));
  EXPECT_NE(RunGenerator(""), 0);
  EXPECT_NE(RunGenerator("--bogus"), 0);
}

TEST_F(SampleWatermarks, CopyrightSitsBottomRightWithAShadow) {
  TLayerCollection layers;
  TQuadrants q = Draw("Copyright.tvx", layers);
  ASSERT_EQ(layers.Count(), 1);
  auto* text = dynamic_cast<TTextLayer*>(&layers.Items(0));
  ASSERT_TRUE(text);
  EXPECT_NE(text->Text.find("Your Name"), std::string::npos);
  EXPECT_NE(text->Text.find("<YEAR>"), std::string::npos);
  EXPECT_EQ(text->Styles().Items.count("Drop Shadow"), 1u);
  EXPECT_GT(text->StyleOffsetX() + text->StyleOffsetY() + text->RenderedBitmap().Width() -
                text->SourceBitmap().Width(),
            0) << "the shadow enlarges the rendered bitmap";
  EXPECT_EQ(q.Count[0] + q.Count[1] + q.Count[2], 0);
  EXPECT_GT(q.Count[3], 500);
  // The margin is kept: nothing touches the right and bottom edges.
  TFloatRect r = text->GetLayerRect(1200, 800);
  EXPECT_LT(r.Right, 1200 - 10);
  EXPECT_LT(r.Bottom, 800 - 10);
}

TEST_F(SampleWatermarks, LogoIsATranslucentPictureTopRight) {
  TLayerCollection layers;
  TQuadrants q = Draw("Logo.tvx", layers);
  ASSERT_EQ(layers.Count(), 1);
  auto* logo = dynamic_cast<TBitmapLayer*>(&layers.Items(0));
  ASSERT_TRUE(logo);
  EXPECT_LT(logo->GetMasterAlpha(), 255);
  const TBitmap32& source = logo->SourceBitmap();
  int transparent = 0, partial = 0, opaque = 0;
  for (int32_t i = 0; i < source.Width() * source.Height(); ++i) {
    uint8_t a = AlphaOf(source.Bits()[i]);
    (a == 0 ? transparent : a == 255 ? opaque : partial) += 1;
  }
  EXPECT_GT(transparent, 0) << "rounded corners";
  EXPECT_GT(partial, source.Width() * source.Height() / 2) << "a translucent body";
  EXPECT_GT(opaque, 0) << "an opaque rim and lettering";
  EXPECT_EQ(q.Count[0] + q.Count[2] + q.Count[3], 0);
  // drawn at a quarter of the picture's shorter side, keeping its aspect ratio
  const TFloatRect drawn = logo->GetLayerRect(1200, 800);
  EXPECT_FLOAT_EQ(drawn.Width(), 200);
  EXPECT_NEAR(drawn.Height(), 200.0 * source.Height() / source.Width(), 1);
  EXPECT_GT(q.Count[1], drawn.Width() * drawn.Height() / 2);

  // Logo.png beside it holds the same picture for the user's own watermarks.
  TPluginManager plugins(test::BinDir().string());
  auto png = plugins.LoadBitmap(dir_ / "Logo.png");
  ASSERT_EQ(png->Width(), source.Width());
  ASSERT_EQ(png->Height(), source.Height());
  EXPECT_TRUE(std::equal(png->Bits(), png->Bits() + png->Width() * png->Height(), source.Bits()));
}

TEST_F(SampleWatermarks, ProofCoversThePictureFaintlyWithNoise) {
  TLayerCollection layers;
  TQuadrants q = Draw("Proof.tvx", layers);
  ASSERT_EQ(layers.Count(), 1);
  auto* text = dynamic_cast<TTextLayer*>(&layers.Items(0));
  ASSERT_TRUE(text);
  EXPECT_EQ(text->Text, "PROOF");
  EXPECT_TRUE(text->Tile);
  EXPECT_LT(text->Angle, 0) << "a diagonal rising to the right";
  EXPECT_TRUE(text->Noisy);
  EXPECT_LE(text->GetMasterAlpha(), 128);
  for (int c : q.Count) EXPECT_GT(c, 2000) << "tiles reach every quarter";
  // Faint: white over grey at under half opacity stays well away from white.
  EXPECT_LT(q.MaxChange, 3 * 64);
}

TEST_F(SampleWatermarks, PhotoInfoFillsTheExifMacrosBottomLeft) {
  TLayerCollection layers;
  TExifParameters camera;
  camera.Values[271] = "Maker";
  camera.Values[272] = "Model X100";
  camera.Values[33434] = "1/250 sec.";
  camera.Values[33437] = "f/5.6";
  camera.Values[34855] = "200";
  camera.Values[37386] = "35.0 mm";
  TQuadrants q = Draw("Photo Info.tvx", layers, camera);
  // one placement for landscape pictures, one for portrait ones
  ASSERT_EQ(layers.Count(), 2);
  auto* text = dynamic_cast<TTextLayer*>(&layers.Items(0));
  ASSERT_TRUE(text);
  EXPECT_EQ(text->Orientation, loLandscape);
  EXPECT_EQ(dynamic_cast<TTextLayer&>(layers.Items(1)).Orientation, loPortrait);
  ASSERT_TRUE(text->HasMacros());
  for (const char* macro : {"<MODEL>", "<EXPOSURE_TIME>", "<FNUMBER>", "<ISO>"})
    EXPECT_NE(text->Text.find(macro), std::string::npos) << macro;
  EXPECT_FALSE(text->Styles().Empty());
  EXPECT_EQ(q.Count[1] + q.Count[3] + q.Count[0], 0);
  EXPECT_GT(q.Count[2], 500);
  int32_t filledWidth = text->SourceBitmap().Width();

  // Without EXIF the labels remain and the line is shorter.
  TLayerCollection bare;
  Draw("Photo Info.tvx", bare);
  EXPECT_LT(dynamic_cast<TTextLayer&>(bare.Items(0)).SourceBitmap().Width(), filledWidth);
}

// The samples cover the same share of a picture of about 1 MP as of one of
// 24 MP, landscape and portrait alike.
struct TShareCase {
  const char* file;
  int32_t width, height;
};

class SampleShare : public SampleWatermarks, public ::testing::WithParamInterface<TShareCase> {};

TEST_P(SampleShare, IsTheSameOnSmallAndLargePictures) {
  const TShareCase& c = GetParam();
  TLayerCollection layers;
  Watermark::TWatermarkExif exif;
  OpenWatermark(dir_ / c.file, layers, exif);
  TExifParameters camera;
  camera.Values[272] = "Model X100";
  camera.Values[33437] = "f/5.6";
  SetPictureParameters(layers, &camera);
  RefreshMacroLayers(layers);
  const int32_t scale = 5;  // 1224 x 816 against 6120 x 4080
  int shown = 0;
  for (int i = 0; i < layers.Count(); ++i) {
    auto& layer = dynamic_cast<TBaseLayer&>(layers.Items(i));
    ASSERT_TRUE(layer.Fits()) << c.file;
    if (!layer.ShownOn(c.width, c.height)) continue;
    ++shown;
    const TFloatRect small = layer.GetLayerRect(c.width, c.height);
    const TFloatRect large = layer.GetLayerRect(c.width * scale, c.height * scale);
    // Within a few pixels of the small picture: the styles keep their own
    // pixel size (a turned stroke or shadow grows both sides of the bounds).
    const double dx = 12.0 / c.width, dy = 12.0 / c.height;
    EXPECT_NEAR(small.Width() / c.width, large.Width() / (c.width * scale), dx) << c.file << " " << i;
    EXPECT_NEAR(small.Height() / c.height, large.Height() / (c.height * scale), dy) << c.file << " " << i;
    EXPECT_NEAR(small.Left / c.width, large.Left / (c.width * scale), dx) << c.file << " " << i;
    EXPECT_NEAR(small.Top / c.height, large.Top / (c.height * scale), dy) << c.file << " " << i;
    // and not just a few pixels: a visible share of the picture
    EXPECT_GT(small.Width() * small.Height(), 0.005 * c.width * c.height) << c.file << " " << i;
    // and within the picture (the tiled mark aside)
    if (!layer.Tile) {
      EXPECT_GE(small.Left, 0) << c.file;
      EXPECT_LE(small.Right, c.width) << c.file;
      EXPECT_LE(small.Bottom, c.height) << c.file;
    }
  }
  EXPECT_EQ(shown, 1) << c.file;
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleShare,
    ::testing::Values(TShareCase{"Copyright.tvx", 1224, 816}, TShareCase{"Copyright.tvx", 816, 1224},
                      TShareCase{"Logo.tvx", 1224, 816}, TShareCase{"Logo.tvx", 816, 1224},
                      TShareCase{"Proof.tvx", 1224, 816}, TShareCase{"Proof.tvx", 816, 1224},
                      TShareCase{"Photo Info.tvx", 1224, 816}, TShareCase{"Photo Info.tvx", 816, 1224}));

TEST(SamplePictures, PicturesAreJpegsWithCameraNames) {
  test::TTempDir dir;
  ASSERT_EQ(RunGenerator("--pictures " + Quoted(dir.Path())), 0);
  TPluginManager plugins(test::BinDir().string());
  int count = 0, portrait = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    ASSERT_EQ(entry.path().extension(), ".jpg");
    TPictureSize size = plugins.LoadBitmapInfo(entry.path());
    EXPECT_GE(std::min(size.Width, size.Height), 400) << entry.path();
    portrait += size.Height > size.Width;
    TExifParameters exif = plugins.GetExif(entry.path());
    EXPECT_EQ(exif.Values[271], "Tarvex");
    EXPECT_FALSE(exif.Values[272].empty());
    ++count;
  }
  EXPECT_GE(count, 3);
  EXPECT_GE(portrait, 1);
}

}  // namespace
}  // namespace tvx
