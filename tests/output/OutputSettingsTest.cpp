#include "output/OutputSettings.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/Config.h"

namespace tvx {
namespace {

TEST(OutputSettings, FirstStartDefaults) {
  test::TTempDir dir;
  TConfig config(dir / ".config");
  TOutputSettings s;
  s.LoadSettings(config);
  EXPECT_FALSE(s.AcceptDefaults);
  EXPECT_TRUE(s.SaveAsDefaults);
  EXPECT_EQ(s.Destination.Placement, plSourceFolderRename);
  EXPECT_EQ(s.Destination.JPEGQuality, 80);
  EXPECT_EQ(s.Destination.OverwriteExisting, owAsk);
  EXPECT_TRUE(s.Destination.KeepOriginalFormat);
  EXPECT_FALSE(s.DoResize);
  EXPECT_EQ(s.Resize.Width, 10.0);
  EXPECT_FALSE(s.JpegKeepBlocks);
  // A run ends at its first error unless told otherwise; one worker per core.
  EXPECT_TRUE(s.StopOnError);
  EXPECT_TRUE(ReadStopOnError(config, kResizeSection));
  EXPECT_EQ(ReadJobs(config), 0);
}

// "Keep JPEG quality" is a watermarking setting of its own key; the
// destination frame, which the resize run shares, knows nothing of it.
TEST(OutputSettings, KeepJpegBlocksKey) {
  test::TTempDir dir;
  TConfig config(dir / ".config");
  TOutputSettings s;
  s.JpegKeepBlocks = true;
  s.SaveSettings(config);
  EXPECT_TRUE(config.ReadBool("WatermarkingOptions", "JpegKeepBlocks", false));
  TOutputSettings loaded;
  loaded.LoadSettings(config);
  EXPECT_TRUE(loaded.JpegKeepBlocks);
  config.WriteString("WatermarkingOptions", "JpegKeepBlocks", "0");
  loaded.LoadSettings(config);
  EXPECT_FALSE(loaded.JpegKeepBlocks);
  TDestinationSettings destination;
  destination.SaveSettings(config);
  EXPECT_EQ(config.ReadString("WatermarkingOptions", "JpegKeepBlocks", "?"), "0");
}

TEST(OutputSettings, StopOnErrorHasAKeyPerRun) {
  test::TTempDir dir;
  TConfig config(dir / ".config");
  TOutputSettings s;
  s.StopOnError = false;
  s.SaveSettings(config);
  EXPECT_EQ(config.ReadString(kWatermarkingSection, "StopOnError", ""), "0");
  EXPECT_TRUE(ReadStopOnError(config, kResizeSection)) << "the resize run keeps its own";
  TOutputSettings again;
  again.LoadSettings(config);
  EXPECT_FALSE(again.StopOnError);
  config.WriteString(kResizeSection, "StopOnError", "0");
  config.WriteString("GlobalOptions", "Jobs", "3");
  EXPECT_FALSE(ReadStopOnError(config, kResizeSection));
  EXPECT_EQ(ReadJobs(config), 3);
}

TEST(OutputSettings, PlacementKeys) {
  test::TTempDir dir;
  TConfig config(dir / ".config");
  TDestinationSettings d;
  // "PlaceInSourceFolder" 0 selects the other folder whatever "AddWmSuffix" says.
  config.WriteBool("WatermarkingOptions", "PlaceInSourceFolder", false);
  config.WriteBool("WatermarkingOptions", "AddWmSuffix", false);
  d.LoadSettings(config);
  EXPECT_EQ(d.Placement, plOtherFolder);
  config.WriteBool("WatermarkingOptions", "PlaceInSourceFolder", true);
  d.LoadSettings(config);
  EXPECT_EQ(d.Placement, plSourceFolderOverwrite);
  // A key in another letter case is another key.
  config.WriteBool("WatermarkingOptions", "addwmsuffix", true);
  d.LoadSettings(config);
  EXPECT_EQ(d.Placement, plSourceFolderOverwrite);

  d.Placement = plOtherFolder;
  d.DestFolder = "/out/";
  d.SaveSettings(config);
  EXPECT_FALSE(config.ReadBool("WatermarkingOptions", "PlaceInSourceFolder", true));
  EXPECT_TRUE(config.ReadBool("WatermarkingOptions", "AddWmSuffix", false));
  EXPECT_EQ(d.OutputFolder(), "/out/");
  EXPECT_FALSE(d.AddSuffix());
  // The folder is kept while a source-folder choice is set.
  d.Placement = plSourceFolderRename;
  d.SaveSettings(config);
  EXPECT_EQ(config.ReadString("WatermarkingOptions", "DestFolder", ""), "/out/");
  EXPECT_EQ(d.OutputFolder(), "");
  EXPECT_TRUE(d.AddSuffix());
}

TEST(OutputSettings, SelectedFormatRow) {
  std::vector<std::string> rows{"BMP", "JPG", "TIF", "PNG", "GIF"};
  TDestinationSettings d;
  d.DefaultFileFormat = 1;
  EXPECT_EQ(d.OutputFormat(rows), "JPG");
  d.DefaultFileFormat = 9;  // a row that no longer exists: the first one
  EXPECT_EQ(d.OutputFormat(rows), "BMP");
  EXPECT_EQ(d.OutputFormat({}), "");
}

// Values a hand-edited file may hold: each reads as something the dialog can
// show and the run can use.
struct TStoredValueCase {
  const char* name;
  const char* section;
  const char* key;
  const char* stored;
  int32_t expected;
};

class StoredValueTest : public ::testing::TestWithParam<TStoredValueCase> {};

int32_t ReadBack(const TOutputSettings& s, const std::string& key) {
  if (key == "JPEGQuality") return s.Destination.JPEGQuality;
  if (key == "OverwriteExisting") return s.Destination.OverwriteExisting;
  if (key == "ResizePriority") return s.ResizePriority;
  if (key == "ApplyTo") return s.Resize.ApplyTo;
  if (key == "XUnits") return s.Resize.XUnits;
  if (key == "YUnits") return s.Resize.YUnits;
  if (key == "ResolutionUnits") return s.Resize.ResolutionUnits;
  if (key == "Resize") return s.Resize.Resize;
  if (key == "FitWithin") return s.Resize.FitWithin;
  ADD_FAILURE() << "no reader for " << key;
  return -999;
}

TEST_P(StoredValueTest, ReadsAsAUsableValue) {
  const auto& c = GetParam();
  TConfig config;
  config.LoadFromText(std::string("[") + c.section + "]\n" + c.key + "=" + c.stored + "\n");
  TOutputSettings s;
  s.LoadSettings(config);
  EXPECT_EQ(ReadBack(s, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    OutputSettings, StoredValueTest,
    ::testing::Values(
        TStoredValueCase{"QualityInRange", "WatermarkingOptions", "JPEGQuality", "55", 55},
        TStoredValueCase{"QualityZero", "WatermarkingOptions", "JPEGQuality", "0", 0},
        TStoredValueCase{"QualityHundred", "WatermarkingOptions", "JPEGQuality", "100", 100},
        TStoredValueCase{"QualityAbove", "WatermarkingOptions", "JPEGQuality", "250", 100},
        TStoredValueCase{"QualityNegative", "WatermarkingOptions", "JPEGQuality", "-7", 0},
        TStoredValueCase{"QualityGarbage", "WatermarkingOptions", "JPEGQuality", "high", 80},
        TStoredValueCase{"OverwriteRename", "WatermarkingOptions", "OverwriteExisting", "3", owRename},
        TStoredValueCase{"OverwriteUnknown", "WatermarkingOptions", "OverwriteExisting", "4", owAsk},
        TStoredValueCase{"OverwriteNegative", "WatermarkingOptions", "OverwriteExisting", "-1", owAsk},
        TStoredValueCase{"PriorityAfter", "ResizeOptions", "ResizePriority", "1", 1},
        TStoredValueCase{"PriorityUnknown", "ResizeOptions", "ResizePriority", "2", 0},
        TStoredValueCase{"ApplyToHeight", "ResizeOptions", "ApplyTo", "1", atHeightOnly},
        TStoredValueCase{"ApplyToUnknown", "ResizeOptions", "ApplyTo", "3", atWidthAndHeight},
        TStoredValueCase{"XUnitsMm", "ResizeOptions", "XUnits", "3", luMillimetres},
        TStoredValueCase{"XUnitsUnknown", "ResizeOptions", "XUnits", "4", luPixels},
        TStoredValueCase{"YUnitsNegative", "ResizeOptions", "YUnits", "-2", luPixels},
        TStoredValueCase{"ResolutionUnitsCm", "ResizeOptions", "ResolutionUnits", "1", ruPixelsPerCm},
        TStoredValueCase{"ResolutionUnitsUnknown", "ResizeOptions", "ResolutionUnits", "2", ruPixelsPerInch},
        TStoredValueCase{"ResizeModeEnlarge", "ResizeOptions", "Resize", "0", rzEnlargeOnly},
        TStoredValueCase{"ResizeModeUnknown", "ResizeOptions", "Resize", "9", rzEnlargeOrReduce},
        TStoredValueCase{"FitWithinUnknown", "ResizeOptions", "FitWithin", "255", atWidthAndHeight}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tvx
