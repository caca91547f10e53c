// The run's metadata step through the built standard plug-in: the one
// rewrite (TPluginManager::ApplyExif) leaves the output byte for byte as the
// separate CopyExif and WriteExif calls do, for camera photos, sources
// without EXIF and sources the copy fails on; outputs it does not take are
// left alone for the separate calls.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <ostream>

#include "imageio/PluginManager.h"
#include "support/TestSupport.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

using TFields = std::vector<TExifFieldText>;

const TFields kAllFour = {{270, "Harbour at dawn"},
                          {33432, "(c) 2026 Studio Zo\xC3\xAB"},
                          {315, "A. Artist"},
                          {37510, "line 1\r\nline 2"}};
const TFields kTitleAndComment = {kAllFour[0], kAllFour[3]};
const TFields kCopyrightOnly = {kAllFour[1]};
// A field no segment can hold between two that fit: the others still land.
const TFields kOneTooLong = {kAllFour[0], {315, std::string(70000, 'x')}, kAllFour[3]};

class ExifOneRewrite : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(test::BinDir() / "kobalt.fp"));
    fs::create_directories(dir_.Path() / "plugins");
    fs::copy_file(test::BinDir() / "kobalt.fp", dir_.Path() / "plugins" / "kobalt.fp");
    plugins_ = std::make_unique<TPluginManager>((dir_.Path() / "plugins").string());
    // An output as a run leaves it before the metadata step: a picture the
    // plug-in encoded, no EXIF.
    TBitmap32 picture;
    picture.SetSize(120, 80);
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 120; ++x)
        picture.Bits()[y * 120 + x] = 0xFF000000u | uint32_t(x * 2) << 16 | uint32_t(y * 3);
    plugins_->SetQuality(".jpg", 75);
    ASSERT_TRUE(plugins_->SaveBitmap(dir_ / "template.jpg", picture));
  }

  // Two fresh copies of the output (neither is the file the plug-in just
  // saved, so both make their thumbnail alike); the separate calls go to
  // the first, the one rewrite to the second. Its result is returned.
  bool Compare(const std::string& source, const TFields& fields, std::string& separate,
               std::string& oneRewrite) {
    bool taken = false;
    // A block the fields create is dated with the time of the call: both
    // sides must run within one second.
    for (int attempt = 0; attempt < 5; ++attempt) {
      const std::string a = dir_ / "a.jpg", b = dir_ / "b.jpg";
      fs::copy_file(dir_ / "template.jpg", a, fs::copy_options::overwrite_existing);
      fs::copy_file(dir_ / "template.jpg", b, fs::copy_options::overwrite_existing);
      const std::time_t start = std::time(nullptr);
      plugins_->CopyExif(source, a);
      for (const TExifFieldText& field : fields) plugins_->WriteExif(a, field.Tag, field.Text);
      taken = plugins_->ApplyExif(source, b, fields);
      separate = test::ReadFileBytes(a);
      oneRewrite = test::ReadFileBytes(b);
      if (std::time(nullptr) == start) break;
    }
    return taken;
  }

  test::TTempDir dir_;
  std::unique_ptr<TPluginManager> plugins_;
};

struct TFieldSet {
  const char* Name;
  TFields Fields;
};
void PrintTo(const TFieldSet& set, std::ostream* out) { *out << set.Name; }

class ExifOneRewritePhotos : public ExifOneRewrite, public ::testing::WithParamInterface<TFieldSet> {};

TEST_P(ExifOneRewritePhotos, EveryCameraPhotoGivesTheBytesOfTheSeparateCalls) {
  TVX_REQUIRE_TESTDATA();
  std::vector<fs::path> photos;
  for (const fs::directory_entry& entry : fs::directory_iterator(test::TestDataDir() / "photos"))
    if (entry.path().extension() == ".jpg") photos.push_back(entry.path());
  std::sort(photos.begin(), photos.end());
  ASSERT_FALSE(photos.empty());
  for (const fs::path& photo : photos) {
    SCOPED_TRACE(photo.filename().string());
    std::string separate, oneRewrite;
    EXPECT_TRUE(Compare(photo.string(), GetParam().Fields, separate, oneRewrite));
    EXPECT_NE(separate, test::ReadFileBytes(dir_ / "template.jpg"));
    ASSERT_EQ(oneRewrite.size(), separate.size());
    ASSERT_TRUE(oneRewrite == separate);
  }
}

INSTANTIATE_TEST_SUITE_P(Fields, ExifOneRewritePhotos,
                         ::testing::Values(TFieldSet{"AllFour", kAllFour},
                                           TFieldSet{"TitleAndComment", kTitleAndComment}),
                         [](const ::testing::TestParamInfo<TFieldSet>& info) {
                           return std::string(info.param.Name);
                         });

struct TSourceCase {
  const char* Name;
  // "missing", "garbage", "made" (a JPEG without EXIF), "png"
  const char* Kind;
  TFields Fields;
};
void PrintTo(const TSourceCase& c, std::ostream* out) { *out << c.Name; }

class ExifOneRewriteSources : public ExifOneRewrite, public ::testing::WithParamInterface<TSourceCase> {};

TEST_P(ExifOneRewriteSources, SourcesWithoutABlockStillGetTheFields) {
  const TSourceCase& c = GetParam();
  const std::string kind = c.Kind;
  std::string source;
  if (kind == "missing") {
    source = dir_ / "nowhere.jpg";
  } else if (kind == "garbage") {
    source = dir_ / "garbage.jpg";
    test::WriteFileBytes(source, "\xFF\xD8\xFF\xE1 not really a picture");
  } else if (kind == "made") {
    source = dir_ / "made.jpg";
    fs::copy_file(dir_ / "template.jpg", source);
  } else {
    source = dir_ / "picture.png";
    TBitmap32 picture;
    picture.SetSize(8, 8);
    ASSERT_TRUE(plugins_->SaveBitmap(source, picture));
  }
  std::string separate, oneRewrite;
  EXPECT_TRUE(Compare(source, c.Fields, separate, oneRewrite));
  EXPECT_EQ(separate == test::ReadFileBytes(dir_ / "template.jpg"), c.Fields.empty());
  ASSERT_EQ(oneRewrite.size(), separate.size());
  EXPECT_TRUE(oneRewrite == separate);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExifOneRewriteSources,
                         ::testing::Values(TSourceCase{"MissingSource", "missing", kAllFour},
                                           TSourceCase{"GarbageSource", "garbage", kCopyrightOnly},
                                           TSourceCase{"JpegWithoutExif", "made", kAllFour},
                                           TSourceCase{"JpegWithoutExifOneField", "made", kCopyrightOnly},
                                           TSourceCase{"PngSource", "png", kTitleAndComment},
                                           TSourceCase{"FieldTooLong", "made", kOneTooLong},
                                           TSourceCase{"NothingToDo", "missing", {}}),
                         [](const ::testing::TestParamInfo<TSourceCase>& info) {
                           return std::string(info.param.Name);
                         });

TEST_F(ExifOneRewrite, OutputsItDoesNotTakeAreLeftAlone) {
  TVX_REQUIRE_TESTDATA();
  const std::string photo = (test::TestDataDir() / "photos" / "canon_eos_rebel_t3i.jpg").string();
  // Not a JPEG output: the separate calls decide (they refuse too).
  TBitmap32 picture;
  picture.SetSize(8, 8);
  const std::string png = dir_ / "out.png";
  ASSERT_TRUE(plugins_->SaveBitmap(png, picture));
  const std::string before = test::ReadFileBytes(png);
  EXPECT_FALSE(plugins_->ApplyExif(photo, png, kAllFour));
  EXPECT_EQ(test::ReadFileBytes(png), before);
  // A ".jpg" that holds no picture: untouched, left to the separate calls.
  const std::string broken = dir_ / "broken.jpg";
  test::WriteFileBytes(broken, "\xFF\xD8\xFF\xD9");
  EXPECT_FALSE(plugins_->ApplyExif(photo, broken, kAllFour));
  EXPECT_EQ(test::ReadFileBytes(broken), "\xFF\xD8\xFF\xD9");
  // No file left behind by either.
  size_t files = 0;
  for ([[maybe_unused]] const fs::directory_entry& entry : fs::directory_iterator(dir_.Path())) ++files;
  EXPECT_EQ(files, 4u);  // plugins, template.jpg, out.png, broken.jpg
}

}  // namespace
}  // namespace tvx
