// The standard plug-in as the host sees it: what it exports, the formats it
// declares and what the manager routes to it. Its codecs are tested with the
// plug-in itself.

#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>

#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "PluginTestSupport.h"
#include "imageio/PluginManager.h"
#include "support/TestSupport.h"
#include "util/Error.h"

namespace tvx {
namespace {

std::string KobaltPath() { return (test::BinDir() / "kobalt.fp").string(); }

std::string ErrorOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const EError& e) {
    return e.what();
  }
  return "<no error>";
}

// The entry point and the optional metadata and region bridges, nothing else.
TEST(KobaltContract, ExportsExactlyInitFilePlugin) {
  ASSERT_TRUE(std::filesystem::exists(KobaltPath()));
  FILE* pipe = popen(("nm -D --defined-only '" + KobaltPath() + "' 2>&1").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  ASSERT_EQ(pclose(pipe), 0) << output;

  // "<address> <type> <name>" per defined dynamic symbol.
  std::vector<std::string> symbols;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name) symbols.push_back(name);
  }
  std::sort(symbols.begin(), symbols.end());
  EXPECT_EQ(symbols, (std::vector<std::string>{"GetFileMetadataAccess", "GetFileMetadataEdit", "GetFileRegionAccess",
                                               "InitFilePlugin"}))
      << output;
}

class KobaltManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(KobaltPath())); }
};

TEST_F(KobaltManagerTest, LoadsFromTheProgramFolderWithItsFormats) {
  // The standard plug-in alone (the program folder holds others too).
  test::TTempDir folder;
  std::filesystem::copy_file(KobaltPath(), folder.Path() / "kobalt.fp");
  TPluginManager manager(folder.Path().string());
  ASSERT_EQ(manager.Plugins().size(), 1u);
  // The other names of JPEG and TIFF are read-only rows after the others, so
  // the saving rows (the output formats and their stored index) stay put.
  const std::vector<TFileFormat> expected = {
      {".bmp", true, true}, {".jpg", true, true}, {".jpeg", true, false}, {".tif", true, true},
      {".png", true, true}, {".gif", true, true}, {".tiff", true, false}, {".jpe", true, false}};
  const auto& formats = manager.Formats();
  ASSERT_EQ(formats.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(formats[i].Extension, expected[i].Extension) << i;
    EXPECT_EQ(formats[i].CanLoad, expected[i].CanLoad) << i;
    EXPECT_EQ(formats[i].CanSave, expected[i].CanSave) << i;
  }

  std::vector<std::string> masks;
  EXPECT_EQ(BuildOpenFilter(formats, masks),
            "All files|*.bmp;*.jpg;*.jpeg;*.tif;*.png;*.gif;*.tiff;*.jpe;|BMP files|*.bmp|JPG files|*.jpg|"
            "JPEG files|*.jpeg|TIF files|*.tif|PNG files|*.png|GIF files|*.gif|TIFF files|*.tiff|"
            "JPE files|*.jpe|");
  EXPECT_EQ(masks, (std::vector<std::string>{"*.bmp", "*.jpg", "*.jpeg", "*.tif", "*.png", "*.gif", "*.tiff",
                                             "*.jpe"}));
  EXPECT_EQ(OutputFormatNames(formats), (std::vector<std::string>{"BMP", "JPG", "TIF", "PNG", "GIF"}));
}

TEST_F(KobaltManagerTest, OtherNamesOfJpegAndTiffAreWrittenAsTheirFormat) {
  TPluginManager manager(test::BinDir().string());
  EXPECT_EQ(manager.FindPlugin(".JPG", false), 0);
  EXPECT_EQ(manager.FindPlugin(".JPEG", false), 0);
  EXPECT_EQ(manager.FindPlugin(".jpeg", true), -1);  // declared for reading only
  for (const char* ext : {".jpeg", ".JPE", ".tiff"}) {
    EXPECT_TRUE(manager.IsSupported(ext, false)) << ext;
    EXPECT_TRUE(manager.IsSupported(ext, true)) << ext;
    EXPECT_EQ(manager.FindSaver(ext), 0) << ext;
  }
  EXPECT_FALSE(manager.IsSupported(".jfif", true));
  // Reaches the plug-in (which fails on a missing file) instead of being refused.
  EXPECT_EQ(ErrorOf([&] { manager.LoadBitmap("/pics/photo.jpeg"); }),
            "TPluginManager::LoadBitmapA::198 - Error while loading /pics/photo.jpeg!");
  EXPECT_EQ(ErrorOf([&] { manager.SaveBitmap("/pics/photo.jfif", TBitmap32(2, 2)); }),
            "TPluginManager::SaveBitmap::210 - Unsupported file plugin!");

  test::TTempDir files;
  TBitmap32 picture(24, 16);
  picture.Clear(0xFF208040);
  manager.SetQuality(".jpeg", 90);
  struct TCase {
    const char* name;
    const char* magic;
    bool exif;  // EXIF is written into JPEG files only
  };
  for (const TCase& c : {TCase{"a.jpeg", "\xFF\xD8\xFF", true}, TCase{"b.JPE", "\xFF\xD8\xFF", true},
                         TCase{"c.tiff", "II*", false}, TCase{"d.TIFF", "II*", false}}) {
    const std::string path = files / c.name;
    ASSERT_TRUE(manager.SaveBitmap(path, picture)) << c.name;
    EXPECT_EQ(test::ReadFileBytes(path).substr(0, 3), c.magic) << c.name;
    auto loaded = manager.LoadBitmap(path);
    EXPECT_EQ(loaded->Width(), 24) << c.name;
    EXPECT_EQ(manager.WriteExif(path, 33432, "(c) twin"), c.exif) << c.name;
    const auto values = manager.GetExif(path).Values;
    EXPECT_EQ(values.count(33432) == 1, c.exif) << c.name;
  }
  // The EXIF block travels between the other names too.
  EXPECT_TRUE(manager.CopyExif(files / "a.jpeg", files / "b.JPE"));
}

// The real codecs through the manager: a ".jpeg" and an upper-case ".JPG"
// name are read by the ".jpg" plug-in, and two threads decode different
// pictures at once. Skipped while this build's kobalt.fp decodes nothing.
TEST_F(KobaltManagerTest, DecodesSamplesFromTwoThreads) {
  TVX_REQUIRE_TESTDATA();
  const std::filesystem::path photos = test::TestDataDir() / "photos";
  test::TTempDir files;
  const std::string jpeg = files / "photo.jpeg", upper = files / "GRAY.JPG";
  std::filesystem::copy_file(photos / "casio_qv-7000sx_no_exif.jpg", jpeg);
  std::filesystem::copy_file(photos / "grayscale_no_exif.jpg", upper);
  TPluginManager manager(test::BinDir().string());
  if (manager.LoadBitmapInfo(jpeg).Width == 0) GTEST_SKIP() << "this kobalt.fp does not decode yet";

  const TBitmap32 expected[] = {*manager.LoadBitmap(jpeg), *manager.LoadBitmap(upper)};
  EXPECT_EQ(expected[0].Width(), 320);
  EXPECT_EQ(expected[0].Height(), 240);
  EXPECT_EQ(expected[1].Width(), 128);
  EXPECT_EQ(expected[1].Height(), 128);

  const std::string names[] = {jpeg, upper};
  int mismatches[2] = {0, 0};
  auto worker = [&](int i) {
    TBitmap32 target;
    for (int round = 0; round < 20; ++round) {
      manager.LoadBitmap(names[i], target);
      const size_t count = static_cast<size_t>(target.Width()) * target.Height();
      if (target.Width() != expected[i].Width() || target.Height() != expected[i].Height() ||
          !std::equal(target.Bits(), target.Bits() + count, expected[i].Bits()))
        ++mismatches[i];
    }
  };
  std::thread a(worker, 0), b(worker, 1);
  a.join();
  b.join();
  EXPECT_EQ(mismatches[0], 0);
  EXPECT_EQ(mismatches[1], 0);
}

}  // namespace
// ---- the region bridge ------------------------------------------------------

// Paints the top-left 16 x 16 pixels red.
class TCornerPainter final : public TRegionPainter {
 public:
  void ChangedRegions(int32_t, int32_t, std::vector<TPictureRect>& regions) override { regions.push_back({0, 0, 16, 16}); }
  bool PaintWindow(TColor32* pixels, int32_t left, int32_t top, int32_t w, int32_t h, int32_t, int32_t) override {
    ++Calls;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        if (left + x < 16 && top + y < 16) pixels[size_t(y) * size_t(w) + size_t(x)] = 0xFFFF0000;
    return true;
  }
  int Calls = 0;
};

struct TRouteCase {
  const char* Source;
  const char* Output;
  TRegionEditReport::TResult Result;
  const char* Note;  // empty: not compared
};

class RegionBridgeRoutes : public ::testing::TestWithParam<TRouteCase> {};

// The bridge is used only when one plug-in both reads the source and writes
// the output, and that plug-in takes only what it can keep.
TEST_P(RegionBridgeRoutes, ToThePluginThatReadsAndWrites) {
  const TRouteCase& c = GetParam();
  test::TTempDir files;
  TPluginManager manager(test::BinDir().string());
  // Large enough that redrawing the corner costs less than the whole picture.
  TBitmap32 picture(640, 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) picture.Pixel(x, y) = ARGB(255, uint8_t(x / 3), uint8_t(y / 2), 128);
  ASSERT_TRUE(manager.SaveBitmap(files / "a.jpg", picture));
  ASSERT_TRUE(manager.SaveBitmap(files / "b.png", picture));
  TCornerPainter painter;
  TRegionEditReport report;
  manager.EditRegions(files / c.Source, files / c.Output, painter, report);
  EXPECT_EQ(report.Result, c.Result) << report.Note;
  if (*c.Note) {
    EXPECT_EQ(report.Note, c.Note);
  }
  const bool written = std::filesystem::exists(files.Path() / c.Output);
  EXPECT_EQ(written, c.Result == TRegionEditReport::Written);
  if (!written) return;
  EXPECT_EQ(report.Method, TRegionEditReport::Spans);
  EXPECT_GT(painter.Calls, 0);
  auto out = manager.LoadBitmap(files / c.Output);
  EXPECT_EQ(out->Width(), 640);
  EXPECT_GT(RedOf(out->Pixel(4, 4)), 200);
  EXPECT_LT(GreenOf(out->Pixel(4, 4)), 60);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, RegionBridgeRoutes,
    ::testing::Values(TRouteCase{"a.jpg", "out.jpg", TRegionEditReport::Written, ""},
                      TRouteCase{"a.jpg", "out.JPEG", TRegionEditReport::Written, ""},
                      TRouteCase{"b.png", "out.jpg", TRegionEditReport::NotHandled, "not a JPEG"},
                      TRouteCase{"a.jpg", "out.png", TRegionEditReport::NotHandled, "not written as a JPEG"},
                      TRouteCase{"a.jpg", "out.webp", TRegionEditReport::NotHandled,
                                 "no plug-in redraws part of such a picture"},
                      TRouteCase{"missing.jpg", "out.jpg", TRegionEditReport::NotHandled, "cannot read the source"},
                      TRouteCase{"a.jpg", "out", TRegionEditReport::NotHandled,
                                 "no plug-in redraws part of such a picture"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// A plug-in without the export (an older one) is served as before, even
// when a later one has it.
TEST_F(KobaltManagerTest, PluginsWithoutTheRegionBridgeAreLeftAlone) {
  test::TTempDir folder;
  test::CopyTestPlugins(folder, {"twins"});
  std::filesystem::copy_file(KobaltPath(), folder.Path() / "z_kobalt.fp");
  TPluginManager manager(folder.Path().string());
  ASSERT_EQ(manager.Plugins().size(), 2u);
  EXPECT_EQ(manager.Plugins()[0].Regions, nullptr);
  EXPECT_NE(manager.Plugins()[1].Regions, nullptr);
  TCornerPainter painter;
  TRegionEditReport report;
  manager.EditRegions(folder / "a.jpg", folder / "b.jpg", painter, report);
  EXPECT_EQ(report.Result, TRegionEditReport::NotHandled);
  EXPECT_EQ(painter.Calls, 0);
}

}  // namespace tvx
