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

}  // namespace
}  // namespace tvx
