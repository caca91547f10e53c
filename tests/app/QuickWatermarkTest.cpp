// A watermark made from the command line, its description and the output
// settings of one run.

#include "app/QuickWatermark.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/Session.h"
#include "imageio/PluginManager.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "support/TestSupport.h"
#include "util/Error.h"
#include "watermark/ApplyWatermark.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

const TPluginManager& Plugins() {
  static TPluginManager plugins(test::BinDir().string());
  return plugins;
}

std::string Logo() { return (test::BinDir() / "Sample Watermarks" / "Logo.png").string(); }

void Compose(const std::vector<std::string>& args, TLayerCollection& layers) {
  TCommandLine cl = ParseCommandLine(args);
  ASSERT_TRUE(cl.Errors.empty()) << cl.Errors.front();
  ComposeWatermark(cl, layers, Plugins());
}

TBaseLayer& Layer(TLayerCollection& layers, int32_t index) {
  return dynamic_cast<TBaseLayer&>(layers.Items(index));
}

// ---- where a position puts the layer ------------------------------------------

struct TPositionCase {
  const char* Position;
  uint8_t HAlign, VAlign;
  // where the content's top-left corner lies on a 1000 x 800 picture with a
  // 4 % margin (32 pixels from every edge), for content w x h:
  // left = a + b*w, top = c + d*h
  double Left, LeftPerWidth, Top, TopPerHeight;
};

class ComposedPosition : public ::testing::TestWithParam<TPositionCase> {};

TEST_P(ComposedPosition, AlignsAndKeepsTheMarginFromItsEdges) {
  const TPositionCase& c = GetParam();
  TLayerCollection layers;
  Compose({"--position", c.Position, "--margin", "4", "--logo", Logo()}, layers);
  ASSERT_EQ(layers.Count(), 1);
  TBaseLayer& layer = Layer(layers, 0);
  EXPECT_EQ(layer.HAlign, c.HAlign);
  EXPECT_EQ(layer.VAlign, c.VAlign);
  EXPECT_EQ(layer.XUnit, cuShorterPercent);
  EXPECT_EQ(layer.YUnit, cuShorterPercent);
  // the logo as drawn on this picture: 5 % of its shorter side wide
  const TBaseLayer::TFit& fit = layer.FitTo(1000, 800);
  const double w = fit.ContentWidth, h = fit.ContentHeight;
  EXPECT_EQ(fit.ContentWidth, 40);
  const TFloatRect r = layer.GetLayerRect(1000, 800);
  EXPECT_NEAR(r.Left, c.Left + c.LeftPerWidth * w, 1.0) << c.Position;
  EXPECT_NEAR(r.Top, c.Top + c.TopPerHeight * h, 1.0) << c.Position;
}

INSTANTIATE_TEST_SUITE_P(QuickWatermark, ComposedPosition,
                         ::testing::Values(TPositionCase{"top-left", haLeft, vaTop, 32, 0, 32, 0},
                                           TPositionCase{"top", haCenter, vaTop, 500, -0.5, 32, 0},
                                           TPositionCase{"top-right", haRight, vaTop, 968, -1, 32, 0},
                                           TPositionCase{"left", haLeft, vaMiddle, 32, 0, 400, -0.5},
                                           TPositionCase{"center", haCenter, vaMiddle, 500, -0.5, 400, -0.5},
                                           TPositionCase{"right", haRight, vaMiddle, 968, -1, 400, -0.5},
                                           TPositionCase{"bottom-left", haLeft, vaBottom, 32, 0, 768, -1},
                                           TPositionCase{"bottom", haCenter, vaBottom, 500, -0.5, 768, -1},
                                           TPositionCase{"bottom-right", haRight, vaBottom, 968, -1, 768,
                                                         -1}),
                         [](const auto& info) {
                           std::string name = info.param.Position;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

// ---- the layer's fields ---------------------------------------------------------

TEST(QuickWatermark, DefaultsGiveAWhiteTextAtTheBottomRightSizedByTheShorterSide) {
  TLayerCollection layers;
  Compose({"--text", "Tarvex"}, layers);
  ASSERT_EQ(layers.Count(), 1);
  auto& text = dynamic_cast<TTextLayer&>(layers.Items(0));
  EXPECT_EQ(text.Text, "Tarvex");
  EXPECT_EQ(text.Name, "Tarvex");
  EXPECT_EQ(text.Font.Color, 0x00FFFFFFu);
  EXPECT_EQ(text.Font.Name, TLayerFont().Name);
  EXPECT_EQ(text.HAlign, haRight);
  EXPECT_EQ(text.VAlign, vaBottom);
  EXPECT_FLOAT_EQ(text.XCoord, 3);
  EXPECT_FLOAT_EQ(text.YCoord, 3);
  EXPECT_EQ(text.Justification, tjRight);
  EXPECT_EQ(text.GetMasterAlpha(), 255);
  EXPECT_TRUE(text.Styles().Empty());
  EXPECT_FALSE(text.Tile);
  EXPECT_EQ(text.Angle, 0);
  EXPECT_EQ(text.Orientation, loBoth);
  EXPECT_EQ(text.SizeMode, lsShorterHeight);
  EXPECT_FLOAT_EQ(text.SizePercent, 5);
  // 5 % of the reference side is a line of 50 pixels: 37.5 points, rounded.
  EXPECT_EQ(text.Font.Size, 38);
  ASSERT_GT(text.NaturalWidth, 0);
  EXPECT_EQ(text.SourceBitmap().Width(), text.NaturalWidth) << "not stretched";
}

// ---- margin and line height on pictures of both shapes --------------------------

struct TDrawnCase {
  const char* Position;
  int32_t Width, Height;
  const char* Margin;
  const char* Size;
  const char* Text;
  // the content's rectangle on the picture, in pixels
  int32_t Left, Top, Right, Bottom;  // -1: not checked (depends on the text's width)
  int32_t LineHeight;
};

class ComposedOnAPicture : public ::testing::TestWithParam<TDrawnCase> {};

TEST_P(ComposedOnAPicture, KeepsTheMarginAndTheLineHeightInPixels) {
  const TDrawnCase& c = GetParam();
  TLayerCollection layers;
  Compose({"--position", c.Position, "--margin", c.Margin, "--size", c.Size, "--text", c.Text}, layers);
  ASSERT_EQ(layers.Count(), 1);
  auto& text = dynamic_cast<TTextLayer&>(layers.Items(0));
  const TFloatRect r = text.GetLayerRect(c.Width, c.Height);
  // The rectangle holds the inked letters; the line height is the font's
  // pixel size they were scaled with (the text is rendered at 38 points,
  // 51 pixels, for the reference picture).
  // Whole points and whole pixels leave a little either way; the inked
  // height of "Proof" is about a fifth below its line height.
  const double line = (r.Bottom - r.Top) * std::round(text.Font.Size * 96.0 / 72.0) / text.NaturalHeight;
  EXPECT_NEAR(line, c.LineHeight, std::max(2.0, 0.04 * c.LineHeight));
  if (c.Left >= 0) {
    EXPECT_NEAR(r.Left, c.Left, 1e-3);
  }
  if (c.Top >= 0) {
    EXPECT_NEAR(r.Top, c.Top, 1e-3);
  }
  if (c.Right >= 0) {
    EXPECT_NEAR(r.Right, c.Right, 1e-3);
  }
  if (c.Bottom >= 0) {
    EXPECT_NEAR(r.Bottom, c.Bottom, 1e-3);
  }
  // and what is drawn lies there: white ink on a black picture
  TBitmap32 picture(c.Width, c.Height);
  picture.Clear(0xFF000000);
  text.SetLocation(r);
  text.DrawOnto(picture, 1.0);
  int32_t left = c.Width, top = c.Height, right = -1, bottom = -1;
  for (int32_t y = 0; y < c.Height; ++y)
    for (int32_t x = 0; x < c.Width; ++x)
      if ((picture.Pixel(x, y) & 0xFFFFFF) > 0x080808) {
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x + 1);
        bottom = std::max(bottom, y + 1);
      }
  EXPECT_NEAR(bottom - top, r.Bottom - r.Top, 1);
  EXPECT_NEAR(top, r.Top, 1);
  EXPECT_NEAR(bottom, r.Bottom, 1);
  EXPECT_NEAR(left, r.Left, 1);
  EXPECT_NEAR(right, r.Right, 1);
}

INSTANTIATE_TEST_SUITE_P(
    QuickWatermark, ComposedOnAPicture,
    ::testing::Values(
        // 3:2 and 2:3: the margin is 2 % of the shorter side (20 pixels) on both axes,
        // the line 5 % of it (50 pixels)
        TDrawnCase{"bottom-right", 1500, 1000, "2", "5", "Proof", -1, -1, 1480, 980, 50},
        TDrawnCase{"bottom-right", 1000, 1500, "2", "5", "Proof", -1, -1, 980, 1480, 50},
        TDrawnCase{"top-left", 1500, 1000, "3", "4", "Proof", 30, 30, -1, -1, 40},
        TDrawnCase{"top-left", 1000, 1500, "3", "4", "Proof", 30, 30, -1, -1, 40},
        TDrawnCase{"bottom-left", 600, 400, "5", "10", "Proof", 20, -1, -1, 380, 40},
        TDrawnCase{"top-right", 400, 600, "5", "10", "Proof", -1, 20, 380, -1, 40},
        // a long text keeps its line height; it is only wider
        TDrawnCase{"bottom-right", 1500, 1000, "2", "5", "Proof 2026-12-09 Canon EOS 5D", -1, -1, 1480, 980, 50},
        TDrawnCase{"bottom-right", 1000, 1500, "0", "3", "Proof", -1, -1, 1000, 1500, 30}),
    [](const auto& info) {
      return std::string(info.param.Width > info.param.Height ? "landscape" : "portrait") + "_" +
             std::to_string(info.index);
    });

TEST(QuickWatermark, TheRotationIsKeptWithinOneTurn) {
  const struct {
    const char* Rotate;
    float Angle;
  } cases[] = {{"30", 30}, {"-45", -45}, {"400", 40}, {"-190", 170}, {"720", 0}, {"180", 180}, {"-180", 180}};
  for (const auto& c : cases) {
    TLayerCollection layers;
    Compose({"--rotate", c.Rotate, "--text", "A"}, layers);
    EXPECT_FLOAT_EQ(Layer(layers, 0).Angle, c.Angle) << c.Rotate;
    // what the file holds, it reads back
    TMemoryStream s;
    SaveWatermark(s, layers, {});
    s.Seek(0);
    TLayerCollection read;
    Watermark::TWatermarkExif exif;
    EXPECT_NO_THROW(OpenWatermark(s, read, exif)) << c.Rotate;
  }
}

TEST(QuickWatermark, EveryOptionReachesItsLayer) {
  RegisterFilterKinds();  // as the program does at start-up, so that the shadow is drawn
  TLayerCollection layers;
  Compose({"--opacity", "60", "--text", "A", "--font", "DejaVu Serif", "--color", "#102030", "--shadow",
           "--rotate", "30", "--size", "10", "--position", "top", "--logo", Logo(), "--size", "25", "--tile",
           "--opacity", "0"},
          layers);
  ASSERT_EQ(layers.Count(), 2);
  auto& text = dynamic_cast<TTextLayer&>(layers.Items(0));
  auto& logo = dynamic_cast<TBitmapLayer&>(layers.Items(1));
  EXPECT_EQ(text.Font.Name, "DejaVu Serif");
  EXPECT_EQ(text.Font.Color, 0x00302010u);
  EXPECT_EQ(text.GetMasterAlpha(), 153);
  EXPECT_EQ(text.RenderedBitmap().MasterAlpha, 153u);
  ASSERT_EQ(text.Styles().Items.count(kDropShadowKind), 1u);
  EXPECT_EQ(TShadowRecord::FromParams(&text.Styles().Items.at(kDropShadowKind)), TShadowRecord::Defaults());
  EXPECT_GT(text.RenderedBitmap().Width(), text.SourceBitmap().Width()) << "the shadow is drawn";
  EXPECT_FLOAT_EQ(text.Angle, 30);
  EXPECT_EQ(text.Font.Size, 75);  // 100 pixels
  EXPECT_EQ(text.Justification, tjCentered);
  EXPECT_FALSE(text.Tile);

  EXPECT_EQ(logo.Name, "Logo.png");
  EXPECT_EQ(logo.SizeMode, lsShorter);
  EXPECT_FLOAT_EQ(logo.SizePercent, 25);
  EXPECT_TRUE(logo.Tile);
  EXPECT_EQ(logo.XTileOffs, 250) << "a quarter of the reference side apart";
  EXPECT_EQ(logo.YTileOffs, 250);
  EXPECT_EQ(text.XTileOffs, 0);
  EXPECT_EQ(logo.GetMasterAlpha(), 0);
  EXPECT_TRUE(logo.Styles().Empty()) << "options of the text stay with the text";
  EXPECT_EQ(logo.Angle, 0);
  EXPECT_FALSE(logo.SourceBitmap().Empty());
}

TEST(QuickWatermark, LayersStackInOrderOnTopOfWhatIsOpen) {
  TLayerCollection layers;
  layers.Add<TTextLayer>().Text = "opened";
  Compose({"--text", "first", "--logo", Logo(), "--text", "third"}, layers);
  ASSERT_EQ(layers.Count(), 4);
  EXPECT_EQ(dynamic_cast<TTextLayer&>(layers.Items(0)).Text, "opened");
  EXPECT_EQ(dynamic_cast<TTextLayer&>(layers.Items(1)).Text, "first");
  EXPECT_NE(dynamic_cast<TBitmapLayer*>(&layers.Items(2)), nullptr);
  EXPECT_EQ(dynamic_cast<TTextLayer&>(layers.Items(3)).Text, "third");
}

TEST(QuickWatermark, ALogoThatCannotBeReadAddsNoLayerAtAll) {
  test::TTempDir dir;
  test::WriteFileBytes(dir.Path() / "broken.png", "not a picture");
  for (const std::string& logo : {dir / "broken.png", dir / "missing.png", dir / "notes.txt"}) {
    TLayerCollection layers;
    TCommandLine cl = ParseCommandLine({"--text", "A", "--logo", logo});
    try {
      ComposeWatermark(cl, layers, Plugins());
      ADD_FAILURE() << logo << " was read";
    } catch (const EError& e) {
      EXPECT_NE(std::string(e.what()).find(logo), std::string::npos) << e.what();
    }
    EXPECT_EQ(layers.Count(), 0) << "the text before it is not left behind";
  }
}

TEST(QuickWatermark, ATextOfMacrosOnlyShowsThePicturesValues) {
  TLayerCollection layers;
  Compose({"--text", "<WIDTH>x<HEIGHT>"}, layers);
  auto& text = dynamic_cast<TTextLayer&>(layers.Items(0));
  EXPECT_EQ(text.Text, "<WIDTH>x<HEIGHT>");
  EXPECT_TRUE(text.HasMacros());
  EXPECT_FALSE(text.ShowMacroNames) << "outputs show values, not the macros' names";
  TExifParameters picture;
  picture.Width = 1234;
  picture.Height = 5678;
  SetPictureParameters(layers, &picture);
  RefreshMacroLayers(layers);
  const int32_t wide = text.SourceBitmap().Width();
  EXPECT_GT(wide, 0);
  EXPECT_EQ(wide, text.NaturalWidth) << "rendered at its natural size, not stretched";
  picture.Width = 1;
  picture.Height = 1;
  RefreshMacroLayers(layers);
  EXPECT_LT(text.SourceBitmap().Width(), wide) << "a shorter value gives a narrower text";
}

// ---- the description ------------------------------------------------------------

TEST(QuickWatermark, DescriptionNamesEveryFieldOfEveryLayer) {
  TLayerCollection layers;
  Compose({"--text", "Quote \" and \\ <FILENAME>", "--opacity", "50", "--shadow", "--logo", Logo(), "--tile",
           "--rotate", "-45", "--position", "left"},
          layers);
  Watermark::TWatermarkExif exif;
  exif.WriteCopyright = true;
  exif.Copyright = "(c) Me\r\nline";
  const std::string d = DescribeWatermark(layers, exif);
  for (const char* part :
       {"{\"layers\":[{\"kind\":\"text\",\"name\":\"Quote \\\" and \\\\ <FILENAME>\"",
        "\"xUnit\":\"%shorter\"", "\"yUnit\":\"%shorter\"", "\"hAlign\":\"right\",\"vAlign\":\"bottom\"",
        "\"sizeMode\":\"shorterHeight\"", "\"sizeMode\":\"shorter\",", "\"opacity\":50,\"alpha\":128",
        "\"styles\":[\"Drop Shadow\"]", "\"macros\":true", "\"color\":\"#FFFFFF\"",
        "\"justification\":\"right\"", "{\"kind\":\"picture\",\"name\":\"Logo.png\"",
        "\"hAlign\":\"left\",\"vAlign\":\"middle\"", "\"y\":0,", "\"angle\":-45", "\"tile\":true",
        "\"styles\":[]",
        "\"exif\":{\"title\":{\"write\":false,\"text\":\"\"},\"copyright\":{\"write\":true,\"text\":\"(c) "
        "Me\\r\\nline\"}"})
    EXPECT_NE(d.find(part), std::string::npos) << part << "\nin " << d;
  EXPECT_EQ(d.find('\n'), std::string::npos) << "one line";
  EXPECT_EQ(DescribeWatermark(TLayerCollection(), {}),
            "{\"layers\":[],\"exif\":{\"title\":{\"write\":false,\"text\":\"\"},\"copyright\":{\"write\":false,"
            "\"text\":\"\"},\"artist\":{\"write\":false,\"text\":\"\"},\"comment\":{\"write\":false,\"text\":\"\"}}}");
}

// ---- output settings for one run ------------------------------------------------

struct TOverrideCase {
  std::vector<std::string> Args;
  std::string Expect;  // see Summary; or the error
};

std::string Summary(const TOutputSettings& s) {
  const TDestinationSettings& d = s.Destination;
  return "placement=" + std::to_string(d.Placement) + " folder=" + d.DestFolder + " keep=" +
         std::to_string(d.KeepOriginalFormat) + " row=" + std::to_string(d.DefaultFileFormat) + " quality=" +
         std::to_string(d.JPEGQuality) + " overwrite=" + std::to_string(d.OverwriteExisting) + " remove=" +
         std::to_string(d.RemoveOriginalFiles);
}

class OutputOverrides : public ::testing::TestWithParam<TOverrideCase> {};

TEST_P(OutputOverrides, OverTheStoredSettings) {
  TOutputSettings settings;  // as stored: beside the source with "_wm", keep the format
  settings.Destination.DestFolder = "/stored";
  settings.Destination.DefaultFileFormat = 1;
  const TCommandLine cl = ParseCommandLine(GetParam().Args);
  ASSERT_TRUE(cl.Errors.empty()) << cl.Errors.front();
  EXPECT_EQ(HasOutputOverrides(cl), !GetParam().Args.empty());
  const std::string error = ApplyOutputOverrides(cl, settings, {"BMP", "JPG", "PNG", "TIF"});
  EXPECT_EQ(error.empty() ? Summary(settings) : error, GetParam().Expect);
}

INSTANTIATE_TEST_SUITE_P(
    QuickWatermark, OutputOverrides,
    ::testing::Values(
        TOverrideCase{{}, "placement=1 folder=/stored keep=1 row=1 quality=80 overwrite=0 remove=0"},
        TOverrideCase{{"--output", "/o"}, "placement=2 folder=/o keep=1 row=1 quality=80 overwrite=0 remove=0"},
        TOverrideCase{{"--in-place"}, "placement=0 folder=/stored keep=1 row=1 quality=80 overwrite=0 remove=0"},
        TOverrideCase{{"--suffix"}, "placement=1 folder=/stored keep=1 row=1 quality=80 overwrite=0 remove=0"},
        TOverrideCase{{"--format", "png"}, "placement=1 folder=/stored keep=0 row=2 quality=80 overwrite=0 remove=0"},
        TOverrideCase{{"--format", ".TIF"}, "placement=1 folder=/stored keep=0 row=3 quality=80 overwrite=0 remove=0"},
        TOverrideCase{{"--format", "keep"}, "placement=1 folder=/stored keep=1 row=1 quality=80 overwrite=0 remove=0"},
        TOverrideCase{{"--quality", "95", "--overwrite", "replace", "--remove-originals"},
                      "placement=1 folder=/stored keep=1 row=1 quality=95 overwrite=2 remove=1"},
        TOverrideCase{{"--format", "gif", "--output", "/o"}, "--format takes bmp, jpg, png, tif, or keep, not \"gif\""}));

TEST(QuickWatermark, AnUnknownFormatChangesNoSetting) {
  TOutputSettings settings;
  const TOutputSettings before = settings;
  const TCommandLine cl = ParseCommandLine({"--output", "/o", "--quality", "1", "--format", "webp"});
  EXPECT_FALSE(ApplyOutputOverrides(cl, settings, {"JPG"}).empty());
  EXPECT_EQ(Summary(settings), Summary(before));
}

}  // namespace
}  // namespace tvx
