// "Keep JPEG quality" end to end: the headless program with
// --jpeg-keep-blocks over camera photos, its log line per picture, the
// metadata an independent reader (exiftool) finds in the outputs, the
// untouched part of the picture unchanged, and the cases that take the
// usual way.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "imageio/PluginManager.h"
#include "support/TestSupport.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

std::string Shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen(("(" + command + ") </dev/null 2>&1").c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

// One tag as exiftool prints it (-s3), numbers as numbers with -n.
std::string Tag(const fs::path& file, const std::string& tag, bool number = false) {
  std::string value =
      Shell(std::string("exiftool -s3 ") + (number ? "-n " : "") + "-" + tag + " " + Quote(file));
  while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
  return value;
}

class KeepBlocks : public ::testing::Test {
 protected:
  void SetUp() override {
    TVX_REQUIRE_TESTDATA();
    if (Shell("exiftool -ver").empty()) GTEST_SKIP() << "exiftool is not installed";
    fs::create_directories(dir_.Path() / "in");
    fs::create_directories(dir_.Path() / "out");
    // A text with a macro at the bottom right, and the copyright written.
    TLayerCollection layers;
    auto& text = layers.Add<TTextLayer>();
    text.BeginUpdate();
    text.Text = "(c) <FILENAME>";
    text.HAlign = haRight;
    text.VAlign = vaBottom;
    text.XCoord = 20;
    text.YCoord = 20;
    text.EndUpdate();
    Watermark::TWatermarkExif exif;
    exif.WriteCopyright = true;
    exif.Copyright = "Keep Blocks Test";
    mark_ = dir_.Path() / "mark.tvx";
    SaveWatermark(mark_.string(), layers, exif);
  }

  void Copy(const char* photo, const std::string& as) {
    fs::copy_file(test::TestDataDir() / photo, dir_.Path() / "in" / as);
  }

  std::string Watermark(const std::string& settings, const std::string& options = "--jpeg-keep-blocks",
                        const std::string& outFolder = "out") {
    const fs::path config = dir_.Path() / "test.config";
    test::WriteFileBytes(config, "[WatermarkingOptions]\nPlaceInSourceFolder=0\nDestFolder=" +
                                     (dir_.Path() / outFolder).string() +
                                     "\nOverwriteExisting=2\nJPEGQuality=80\n" + settings);
    return Shell("DISPLAY= WAYLAND_DISPLAY= " + Quote(test::BinDir() / "tarvex") + " --no-gui --config " +
                 Quote(config) + " -s -q -r " + options + " -w " + Quote(mark_) + " -a " +
                 Quote(dir_.Path() / "in" / "*"));
  }

  fs::path In(const std::string& name) const { return dir_.Path() / "in" / name; }
  fs::path Out(const std::string& name) const { return dir_.Path() / "out" / name; }

  test::TTempDir dir_;
  fs::path mark_;
};

// The log's line under the file's own line.
std::string LineAfter(const std::string& log, const std::string& file) {
  const size_t at = log.find(file + "\n");
  if (at == std::string::npos) return "<no line for " + file + ">";
  const size_t from = at + file.size() + 1, end = log.find('\n', from);
  return log.substr(from, end - from);
}

// The JSON line of a picture (standard output), empty when there is none.
std::string JsonLineOf(const std::string& log, const std::string& source) {
  size_t from = 0;
  while (from < log.size()) {
    size_t end = log.find('\n', from);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(from, end - from);
    if (line.rfind("{\"index\":", 0) == 0 && line.find("\"source\":\"" + source + "\"") != std::string::npos)
      return line;
    from = end + 1;
  }
  return {};
}

TEST_F(KeepBlocks, PhotosKeepTheirMetadataAndOrientation) {
  Copy("photos/nokia_lumia800_gps_xmp_icc_iptc.jpg", "nokia.jpg");
  Copy("photos/samsung_sm-j327t1_orient6.jpg", "samsung.jpg");
  Copy("photos/canon_powershot_a85_orient8.jpg", "canon.jpg");
  Copy("photos/apple_iphone5_gps_orient3.jpg", "apple.jpg");
  Copy("photos/panasonic_dmc-lc70_progressive.jpg", "panasonic.jpg");
  const std::string log = Watermark("");
  EXPECT_NE(log.find("Watermarking: 5 picture(s) written."), std::string::npos) << log;
  for (const char* name : {"nokia.jpg", "samsung.jpg", "canon.jpg", "apple.jpg", "panasonic.jpg"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(LineAfter(log, In(name).string()).rfind("  kept the JPEG's blocks, ", 0), 0u) << log;
    // The stored orientation stays, and with it the tag; the rest of the
    // EXIF block travels; the watermark's copyright is written.
    EXPECT_EQ(Tag(Out(name), "Orientation", true), Tag(In(name), "Orientation", true));
    EXPECT_EQ(Tag(Out(name), "Make"), Tag(In(name), "Make"));
    EXPECT_EQ(Tag(Out(name), "DateTimeOriginal"), Tag(In(name), "DateTimeOriginal"));
    EXPECT_EQ(Tag(Out(name), "Copyright"), "Keep Blocks Test");
    EXPECT_EQ(Tag(Out(name), "ImageSize"), Tag(In(name), "ImageSize"));
  }
  EXPECT_NE(LineAfter(log, In("panasonic.jpg").string()).find("written progressive again"),
            std::string::npos);
  EXPECT_EQ(Tag(Out("panasonic.jpg"), "EncodingProcess"), "Progressive DCT, Huffman coding");
  // ICC, XMP and IPTC as the source has them.
  EXPECT_EQ(Tag(Out("nokia.jpg"), "ProfileDescription"), Tag(In("nokia.jpg"), "ProfileDescription"));
  EXPECT_EQ(Tag(Out("nokia.jpg"), "XMPToolkit"), Tag(In("nokia.jpg"), "XMPToolkit"));
  EXPECT_EQ(Tag(Out("nokia.jpg"), "GPSLatitude"), Tag(In("nokia.jpg"), "GPSLatitude"));
  EXPECT_FALSE(Tag(In("nokia.jpg"), "IPTCDigest").empty());
  EXPECT_EQ(Tag(Out("nokia.jpg"), "IPTCDigest"), Tag(In("nokia.jpg"), "IPTCDigest"));
  // The thumbnail is made anew (the watermark on it), a JPEG stored like
  // the picture: as wide as it is turned, before its orientation applies.
  const fs::path thumbnail = dir_.Path() / "thumbnail.jpg";
  Shell("exiftool -b -ThumbnailImage " + Quote(Out("samsung.jpg")) + " > " + Quote(thumbnail));
  EXPECT_EQ(test::ReadFileBytes(thumbnail).substr(0, 3), "\xFF\xD8\xFF");
  const int width = std::atoi(Tag(thumbnail, "ImageWidth").c_str()),
            height = std::atoi(Tag(thumbnail, "ImageHeight").c_str());
  EXPECT_GT(width, height) << "stored landscape, shown portrait";
  EXPECT_NE(test::ReadFileBytes(thumbnail), Shell("exiftool -b -ThumbnailImage " + Quote(In("samsung.jpg"))));
}

// Far from the watermark the picture is the source's, pixel for pixel; the
// usual way gives it a second loss there.
TEST_F(KeepBlocks, TheRestOfThePictureIsTheSourcesOwn) {
  Copy("photos/kodak_dx4330.jpg", "kodak.jpg");
  Watermark("");
  TPluginManager plugins(test::BinDir().string());
  const auto source = plugins.LoadBitmap(In("kodak.jpg").string());
  const auto kept = plugins.LoadBitmap(Out("kodak.jpg").string());
  ASSERT_EQ(source->Width(), kept->Width());
  ASSERT_EQ(source->Height(), kept->Height());
  // The text sits at the bottom right: the top half is untouched.
  int differing = 0;
  for (int y = 0; y < source->Height() / 2; ++y)
    for (int x = 0; x < source->Width(); ++x) differing += source->Pixel(x, y) != kept->Pixel(x, y);
  EXPECT_EQ(differing, 0);
  int changed = 0;
  for (int y = source->Height() - 60; y < source->Height(); ++y)
    for (int x = source->Width() / 2; x < source->Width(); ++x)
      changed += source->Pixel(x, y) != kept->Pixel(x, y);
  EXPECT_GT(changed, 100) << "the watermark is drawn";

  fs::remove(Out("kodak.jpg"));
  Watermark("", "");
  const auto usual = plugins.LoadBitmap(Out("kodak.jpg").string());
  differing = 0;
  for (int y = 0; y < source->Height() / 2; ++y)
    for (int x = 0; x < source->Width(); ++x) differing += source->Pixel(x, y) != usual->Pixel(x, y);
  EXPECT_GT(differing, 0) << "the usual way encodes everything again";
}

struct TUsualCase {
  const char* Name;
  const char* Photo;
  const char* As;
  const char* Settings;
  const char* Line;  // what the log says under the file; empty: nothing
};

class TakesTheUsualWay : public KeepBlocks, public ::testing::WithParamInterface<TUsualCase> {};

TEST_P(TakesTheUsualWay, AndSaysWhy) {
  const TUsualCase& c = GetParam();
  Copy(c.Photo, c.As);
  const std::string log = Watermark(c.Settings);
  EXPECT_NE(log.find("Watermarking: 1 picture(s) written."), std::string::npos) << log;
  const std::string line = LineAfter(log, In(c.As).string());
  if (*c.Line)
    EXPECT_EQ(line, c.Line) << log;
  else
    EXPECT_EQ(line.rfind("  ", 0), std::string::npos) << "no line expected: " << line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TakesTheUsualWay,
    ::testing::Values(TUsualCase{"resizing", "photos/canon_eos_rebel_t3i.jpg", "a.jpg",
                                 "[ResizeOptions]\nDoResize=1\n",
                                 "  whole picture drawn and encoded (resized)"},
                      TUsualCase{"png_output", "photos/canon_eos_rebel_t3i.jpg", "a.jpg",
                                 "KeepOriginalFormat=0\nDefaultFileFormat=3\n",
                                 "  whole picture drawn and encoded (not written as a JPEG)"},
                      TUsualCase{"png_source", "formats/png_gray16.png", "b.png",
                                 "KeepOriginalFormat=0\nDefaultFileFormat=1\n",
                                 "  whole picture drawn and encoded (not a JPEG)"},
                      TUsualCase{"arithmetic_coding", "formats/jpeg_arithmetic_coded.jpg", "c.jpg", "",
                                 "  whole picture drawn and encoded (arithmetic coding)"},
                      TUsualCase{"cmyk", "photos/cmyk_ycck_multichunk_icc.jpg", "d.jpg", "",
                                 "  whole picture drawn and encoded (CMYK)"}),
    [](const auto& info) { return std::string(info.param.Name); });

// Without the setting nothing is said about the way a picture went.
TEST_F(KeepBlocks, WithoutTheSettingNoPathIsSaid) {
  Copy("photos/kodak_dx4330.jpg", "kodak.jpg");
  const std::string log = Watermark("", "--progress jsonl");
  EXPECT_EQ(LineAfter(log, In("kodak.jpg").string()).rfind("  ", 0), std::string::npos) << log;
  EXPECT_EQ(log.find("\"path\""), std::string::npos) << log;
}

// The JSON line of each picture says which way it went and, for the usual
// way, why; a watermark without layers is a copy and says nothing.
struct TJsonCase {
  const char* Photo;
  const char* As;
  const char* Keys;  // expected in the picture's line
};

TEST_F(KeepBlocks, JsonLinesSayWhichWayEachPictureWent) {
  const TJsonCase cases[] = {
      {"photos/kodak_dx4330.jpg", "a.jpg",
       "\"path\":\"blocks\",\"path_reason\":\"untouched MCUs copied as coded"},
      {"photos/panasonic_dmc-lc70_progressive.jpg", "b.jpg",
       "\"path\":\"blocks\",\"path_reason\":\"untouched coefficients kept; written progressive again\""},
      {"formats/jpeg_arithmetic_coded.jpg", "c.jpg",
       "\"path\":\"whole\",\"path_reason\":\"arithmetic coding\""},
      {"photos/cmyk_ycck_multichunk_icc.jpg", "d.jpg", "\"path\":\"whole\",\"path_reason\":\"CMYK\""},
      {"formats/png_gray16.png", "e.png", "\"path\":\"whole\",\"path_reason\":\"not "},
  };
  for (const TJsonCase& c : cases) Copy(c.Photo, c.As);
  const std::string log = Watermark("", "--jpeg-keep-blocks --progress jsonl --keep-going");
  for (const TJsonCase& c : cases) {
    SCOPED_TRACE(c.As);
    const std::string line = JsonLineOf(log, In(c.As).string());
    ASSERT_FALSE(line.empty()) << log;
    EXPECT_NE(line.find("\"status\":\"written\""), std::string::npos) << line;
    EXPECT_NE(line.find(c.Keys), std::string::npos) << line;
    const bool blocks = line.find("\"path\":\"blocks\"") != std::string::npos;
    EXPECT_EQ(line.find("\"mcus_redrawn\":") != std::string::npos, blocks) << line;
  }
  EXPECT_NE(log.find("\"final\":true,\"status\":\"completed\",\"written\":5,"), std::string::npos) << log;
}

// Two workers write what one writes, byte for byte, on both ways (the
// choice is the picture's, never the worker's), with macros of each picture.
TEST_F(KeepBlocks, TwoWorkersWriteWhatOneWrites) {
  const char* const photos[] = {"photos/kodak_dx4330.jpg",
                                "photos/samsung_sm-j327t1_orient6.jpg",
                                "photos/panasonic_dmc-lc70_progressive.jpg",
                                "photos/canon_powershot_a85_orient8.jpg",
                                "formats/jpeg_arithmetic_coded.jpg",
                                "photos/nokia_lumia800_gps_xmp_icc_iptc.jpg"};
  int n = 0;
  for (const char* photo : photos) Copy(photo, "p" + std::to_string(++n) + ".jpg");
  // Without a date taken, the output is given the time of writing, which
  // differs from one run to the next.
  Shell("exiftool -q -overwrite_original '-DateTimeOriginal=2020:01:02 03:04:05' " + Quote(In("p5.jpg")));
  ASSERT_EQ(Tag(In("p5.jpg"), "DateTimeOriginal"), "2020:01:02 03:04:05");
  fs::create_directories(dir_.Path() / "one");
  fs::create_directories(dir_.Path() / "two");
  const std::string one = Watermark("", "--jpeg-keep-blocks --jobs 1 --progress jsonl", "one");
  const std::string two = Watermark("", "--jpeg-keep-blocks --jobs 2 --progress jsonl", "two");
  EXPECT_NE(one.find("\"written\":6,"), std::string::npos) << one;
  EXPECT_NE(two.find("\"written\":6,"), std::string::npos) << two;
  int blocks = 0;
  for (int i = 1; i <= n; ++i) {
    const std::string name = "p" + std::to_string(i) + ".jpg";
    SCOPED_TRACE(name);
    const std::string a = test::ReadFileBytes(dir_.Path() / "one" / name);
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == test::ReadFileBytes(dir_.Path() / "two" / name)) << "outputs differ";
  }
  for (size_t at = 0; (at = two.find("\"path\":\"blocks\"", at)) != std::string::npos; ++at) ++blocks;
  EXPECT_EQ(blocks, 5) << two;
}

// A source that cannot be read fails as it does the usual way.
TEST_F(KeepBlocks, UnreadableSourceFailsAsUsual) {
  test::WriteFileBytes(In("broken.jpg"), "not a picture");
  const std::string log = Watermark("");
  EXPECT_NE(log.find("TPluginManager::LoadBitmapA::198 - Error while loading"), std::string::npos) << log;
}

}  // namespace
}  // namespace tvx
