// The two real plug-ins behind the manager: the merged table keeps the
// standard plug-in's rows first, and CopyExif carries metadata across
// plug-ins through the bridge (and only through it).

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "imageio/PluginManager.h"
#include "support/TestSupport.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

std::string Exiftool(const std::string& args) {
  std::string out;
  if (FILE* pipe = popen(("exiftool " + args + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    pclose(pipe);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

class MetadataBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(test::BinDir() / "modern.fp")) GTEST_SKIP() << "modern.fp is not built";
    plugins_ = std::make_unique<TPluginManager>(test::BinDir().string());
  }
  int Row(const std::string& ext) {
    const auto& f = plugins_->Formats();
    for (size_t i = 0; i < f.size(); ++i)
      if (f[i].Extension == ext) return int(i);
    return -1;
  }
  std::unique_ptr<TPluginManager> plugins_;
  test::TTempDir dir_;
};

TEST_F(MetadataBridge, NewFormatsFollowTheStandardOnesInEveryList) {
  for (const char* old : {".bmp", ".jpg", ".jpeg", ".tif", ".png", ".gif"})
    for (const char* added : {".webp", ".avif", ".heic", ".heif", ".jxl"}) {
      ASSERT_GE(Row(old), 0) << old;
      EXPECT_LT(Row(old), Row(added)) << old << " " << added;
    }
  std::vector<std::string> masks;
  std::string filter = BuildOpenFilter(plugins_->Formats(), masks);
  EXPECT_NE(filter.find("*.gif;*.tiff;*.jpe;*.webp;*.avif;*.heic;*.heif;*.jxl;|"), std::string::npos) << filter;
  EXPECT_NE(filter.find("|WEBP files|*.webp|AVIF files|*.avif|"), std::string::npos) << filter;
  EXPECT_NE(std::find(masks.begin(), masks.end(), "*.jxl"), masks.end());
  std::vector<std::string> rows = OutputFormatNames(plugins_->Formats());
  ASSERT_GE(rows.size(), 8u);
  EXPECT_EQ(rows[1], "JPG");
  EXPECT_EQ(rows.back(), "JXL");
  EXPECT_TRUE(plugins_->IsSupported("WEBP", true));
  EXPECT_TRUE(plugins_->IsSupported(".heif", false));
}

struct TCrossCase {
  const char* Source;  // under testdata
  const char* Dest;    // output extension
  const char* Make;
  const char* Profile;  // ICC description the output must carry, or ""
};

class MetadataBridgeCopy : public MetadataBridge, public ::testing::WithParamInterface<TCrossCase> {};

TEST_P(MetadataBridgeCopy, CopyExifCrossesPlugins) {
  TVX_REQUIRE_TESTDATA();
  const TCrossCase& c = GetParam();
  fs::path source = test::TestDataDir() / c.Source;
  if (!fs::exists(source)) GTEST_SKIP();
  std::string dest = dir_ / (std::string("out") + c.Dest);
  std::unique_ptr<TBitmap32> picture = plugins_->LoadBitmap(source.string());
  picture->SetSize(picture->Width() / 8, picture->Height() / 8);  // content does not matter, speed does
  plugins_->SetQuality(c.Dest, 60);
  ASSERT_TRUE(plugins_->SaveBitmap(dest, *picture));
  ASSERT_TRUE(plugins_->CopyExif(source.string(), dest)) << c.Source << " -> " << c.Dest;
  EXPECT_EQ(plugins_->GetExif(dest).Values[271], c.Make);
  if (Exiftool("-ver").empty()) return;
  // Fitted to the new pixels, where the source records these at all.
  if (!Exiftool("-s3 -IFD0:Orientation '" + source.string() + "'").empty()) {
    EXPECT_EQ(Exiftool("-s3 -IFD0:Orientation '" + dest + "'"), "Horizontal (normal)");
  }
  if (!Exiftool("-s3 -ExifIFD:ExifImageWidth '" + source.string() + "'").empty()) {
    EXPECT_EQ(Exiftool("-s3 -ExifIFD:ExifImageWidth '" + dest + "'"), std::to_string(picture->Width()));
  }
  // Every MakerNote entry of the source arrives (file positions aside).
  auto notes = [](const std::string& path) {
    std::string all = Exiftool("-a -G1 -s -MakerNotes:all '" + path + "'"), kept;
    std::istringstream lines(all);
    for (std::string line; std::getline(lines, line);)
      if (line.find("Offset ") == std::string::npos && line.find("Start ") == std::string::npos) kept += line + "\n";
    return kept;
  };
  EXPECT_EQ(notes(dest), notes(source.string()));
  if (*c.Profile) {
    EXPECT_EQ(Exiftool("-s3 -ProfileDescription '" + dest + "'"), c.Profile);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, MetadataBridgeCopy,
    ::testing::Values(TCrossCase{"photos/canon_eos_rebel_t3i.jpg", ".webp", "Canon", ""},
                      TCrossCase{"photos/nokia_lumia800_gps_xmp_icc_iptc.jpg", ".avif", "Nokia", "sRGB IEC61966-2.1"},
                      TCrossCase{"photos/sony_dsc-hx5v_gps.jpg", ".jxl", "SONY", ""},
                      TCrossCase{"modern/heic_iphone11pro_exif_xmp.heic", ".jpg", "Apple", "Display P3"},
                      TCrossCase{"modern/webp_nikon_p7000_exif_orient6_icc_xmp.webp", ".jpg", "NIKON", ""},
                      TCrossCase{"modern/avif_canon_eos70d_exif_20mp.avif", ".jpg", "Canon", ""}));

TEST_F(MetadataBridge, WithoutTheBridgeTheSourcePluginCopiesAlone) {
  TVX_REQUIRE_TESTDATA();
  // The standard plug-in alone: nothing saves ".webp", so its CopyExif
  // answers as it always did (not a JPEG destination: false).
  fs::create_directories(dir_.Path() / "only");
  fs::copy_file(test::BinDir() / "kobalt.fp", dir_.Path() / "only" / "kobalt.fp");
  TPluginManager kobaltOnly((dir_.Path() / "only").string());
  std::string dest = dir_ / "out.webp";
  test::WriteFileBytes(dest, "not a picture");
  EXPECT_FALSE(kobaltOnly.CopyExif((test::TestDataDir() / "photos" / "canon_eos_rebel_t3i.jpg").string(), dest));
  EXPECT_EQ(test::ReadFileBytes(dest), "not a picture");
  // A source without EXIF has nothing to carry, with the bridge as without.
  std::unique_ptr<TBitmap32> picture =
      plugins_->LoadBitmap((test::TestDataDir() / "photos" / "grayscale_no_exif.jpg").string());
  std::string webp = dir_ / "plain.webp";
  ASSERT_TRUE(plugins_->SaveBitmap(webp, *picture));
  std::string before = test::ReadFileBytes(webp);
  EXPECT_FALSE(plugins_->CopyExif((test::TestDataDir() / "photos" / "grayscale_no_exif.jpg").string(), webp));
  EXPECT_EQ(test::ReadFileBytes(webp), before);
}

}  // namespace
}  // namespace tvx
