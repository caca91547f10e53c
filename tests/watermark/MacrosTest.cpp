#include "watermark/Macros.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <fstream>

#include "imageio/PluginManager.h"
#include "support/TestSupport.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

TExifParameters SamplePicture() {
  TExifParameters p;
  p.FileName = "/pics/photo.jpg";
  p.Index = 3;
  p.Count = 12;
  p.Width = 6000;
  p.Height = 4000;
  p.Values = {{315, "Ann"}, {33432, "(c) Ann"}, {306, "2026:12:08 10:00:00"}, {271, "Make"}, {42016, "U-1"}};
  return p;
}

TEST(Macros, TableExpandsEveryMacro) {
  const TExifParameters p = SamplePicture();
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<FILENAME>", "/pics/photo.jpg"},
      {"<FILE_INDEX>/<FILE_COUNT>", "3/12"},
      {"<WIDTH>x<HEIGHT>", "6000x4000"},
      {"<ARTIST> <COPYRIGHT>", "Ann (c) Ann"},
      {"<DATE_TIME>", "2026:12:08 10:00:00"},
      {"<MAKE>|<MODEL>|<UID>", "Make||U-1"},  // a missing EXIF value is empty
      {"<DATE_TIME_ORIGINAL>", ""},
      {"<FILENAME><FILENAME>", "/pics/photo.jpg/pics/photo.jpg"},
      {"<filename>", "<filename>"},  // case-sensitive
      {"no macros", "no macros"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpandMacros(c.text, p), c.expected) << c.text;
  EXPECT_EQ(TextMacros().size(), 36u);
  for (const TTextMacro& m : TextMacros()) {
    EXPECT_EQ(m.Name[0], '<');
    EXPECT_TRUE(std::string(m.Name).ends_with(">"));
  }
}

TEST(Macros, ValueHoldingItsOwnMacroStaysUnexpanded) {
  TExifParameters p;
  p.FileName = "a<FILENAME>b";
  EXPECT_EQ(ExpandMacros("x <FILENAME> y", p), "x <FILENAME> y");
  // an earlier macro's value is expanded by a later macro of the table
  p.FileName = "<WIDTH>";
  p.Width = 7;
  EXPECT_EQ(ExpandMacros("<FILENAME>", p), "7");
}

TEST(Macros, HasMacrosLooksAtTheFirstBrackets) {
  EXPECT_TRUE(TextHasMacros("a <DATE_TIME>"));
  EXPECT_TRUE(TextHasMacros("<anything>"));
  EXPECT_FALSE(TextHasMacros("a > b <DATE_TIME>"));
  EXPECT_FALSE(TextHasMacros("only <"));
  EXPECT_FALSE(TextHasMacros("only >"));
  EXPECT_FALSE(TextHasMacros(""));
  TLayerCollection layers;
  auto* text = &layers.Add<TTextLayer>();
  text->Text = "x > 1 <FILENAME>";
  EXPECT_FALSE(text->HasMacros());
  text->Text = "<FILENAME>";
  EXPECT_TRUE(text->HasMacros());
}

// ---- the photo-information macros -------------------------------------------------------

struct FNumberCase {
  const char* fNumber;   // tag 33437 as the plug-in renders it (null: absent)
  const char* aperture;  // tag 37378 (null: absent)
  const char* expected;
};

class FNumberMacro : public ::testing::TestWithParam<FNumberCase> {};

TEST_P(FNumberMacro, FromFNumberElseFromApertureValue) {
  const FNumberCase& c = GetParam();
  TExifParameters p;
  if (c.fNumber) p.Values[33437] = c.fNumber;
  if (c.aperture) p.Values[37378] = c.aperture;
  EXPECT_EQ(ExpandMacros("<FNUMBER>", p), c.expected);
  // <APERTURE> keeps the text it always had
  EXPECT_EQ(ExpandMacros("<APERTURE>", p), c.aperture ? c.aperture : "");
}

INSTANTIATE_TEST_SUITE_P(
    Macros, FNumberMacro,
    ::testing::Values(FNumberCase{"f/5.6", nullptr, "f/5.6"},          // FNumber only: the old gap
                      FNumberCase{"f/8.0", "6.00 EV (f/8.0)", "f/8"},  // both: FNumber wins
                      FNumberCase{"f/14.0", "7.63 EV (f/14.0)", "f/14"},
                      FNumberCase{nullptr, "5.00 EV (f/5.7)", "f/5.7"},  // the f-number it shows
                      FNumberCase{nullptr, "5.00 EV", "f/5.6"},          // APEX, to the marking
                      FNumberCase{nullptr, "3", "f/2.8"},
                      FNumberCase{"", "4.00 EV (f/4.0)", "f/4"},  // an empty FNumber is absent
                      FNumberCase{"f/1.4", nullptr, "f/1.4"}, FNumberCase{"garbage", nullptr, ""},
                      FNumberCase{nullptr, nullptr, ""}));

TEST(Macros, LensYearAndFolder) {
  test::TTempDir dir;
  std::filesystem::create_directories(dir.Path() / "Holiday 2024");
  const std::string file = (dir.Path() / "Holiday 2024" / "a.jpg").string();
  std::ofstream(file) << "x";
  // The file's modification time: 15 June 2019, noon local time.
  std::tm t{};
  t.tm_year = 119;
  t.tm_mon = 5;
  t.tm_mday = 15;
  t.tm_hour = 12;
  t.tm_isdst = -1;
  const utimbuf times{std::mktime(&t), std::mktime(&t)};
  ASSERT_EQ(utime(file.c_str(), &times), 0);

  struct Case {
    const char* original;  // tag 36867 (null: absent)
    const char* expectedYear;
  } cases[] = {
      {"2021:07:04 10:00:00", "2021"}, {nullptr, "2019"},  // the file's modification time
      {"0000:00:00 00:00:00", "2019"},                     // a camera without a clock
      {"    :  :     :  :  ", "2019"}, {"", "2019"},
  };
  for (const Case& c : cases) {
    TExifParameters p;
    p.FileName = file;
    if (c.original) p.Values[36867] = c.original;
    p.Values[42036] = "EF-S18-55mm f/3.5-5.6 IS II";
    EXPECT_EQ(ExpandMacros("<YEAR>|<FOLDER>|<LENS>", p),
              std::string(c.expectedYear) + "|Holiday 2024|EF-S18-55mm f/3.5-5.6 IS II")
        << (c.original ? c.original : "(none)");
  }
  TExifParameters missing;
  missing.FileName = (dir.Path() / "gone" / "b.jpg").string();
  EXPECT_EQ(ExpandMacros("<YEAR>|<FOLDER>|<LENS>", missing), "|gone|");
  EXPECT_EQ(ExpandMacros("<YEAR>|<FOLDER>", TExifParameters{}), "|");
}

// The values as the real plug-in reads them from camera photos.
TEST(Macros, CameraPhotos) {
  TVX_REQUIRE_TESTDATA();
  static const TPluginManager plugins(test::BinDir().string());
  if (plugins.FindPlugin(".jpg", true) < 0) GTEST_SKIP() << "kobalt.fp not built";
  struct Case {
    const char* photo;
    const char* fNumber;
    const char* aperture;  // unchanged: empty where only FNumber is stored
    const char* lens;
    const char* year;  // null: none in the EXIF, the file's own year
  } cases[] = {
      {"canon_eos_rebel_t3i.jpg", "f/14", "7.62 EV (f/14.1)", "", "2014"},
      {"nikon_e775_usercomment.jpg", "f/3.9", "", "", "2004"},
      {"nikon_d70_iptc.jpg", "f/4.5", "", "", "2004"},
      {"pentax_ist_d.jpg", "f/2.4", "", "", "2004"},
      {"olympus_pen_e-p3.jpg", "f/1.8", "", "", "2013"},
      {"apple_iphonexr_1x1.jpg", "f/1.8", "1.70 EV (f/1.8)", "iPhone XR back camera 4.25mm f/1.8", "2020"},
      {"kodak_dx4330.jpg", "f/4.8", "4.50 EV (f/4.8)", "", "2003"},
      {"casio_qv-7000sx_no_exif.jpg", "", "", "", nullptr},
  };
  for (const Case& c : cases) {
    const std::string path = (test::TestDataDir() / "photos" / c.photo).string();
    TExifParameters p = plugins.GetExif(path);
    p.FileName = path;
    EXPECT_EQ(ExpandMacros("<FNUMBER>", p), c.fNumber) << c.photo;
    EXPECT_EQ(ExpandMacros("<APERTURE>", p), c.aperture) << c.photo;
    EXPECT_EQ(ExpandMacros("<LENS>", p), c.lens) << c.photo;
    EXPECT_EQ(ExpandMacros("<FOLDER>", p), "photos") << c.photo;
    if (c.year) {
      EXPECT_EQ(ExpandMacros("<YEAR>", p), c.year) << c.photo;
    } else {
      struct stat info {};
      ASSERT_EQ(stat(path.c_str(), &info), 0);
      const std::time_t seconds = info.st_mtime;
      std::tm local{};
      localtime_r(&seconds, &local);
      EXPECT_EQ(ExpandMacros("<YEAR>", p), std::to_string(local.tm_year + 1900)) << c.photo;
    }
  }
}

}  // namespace
}  // namespace tvx
