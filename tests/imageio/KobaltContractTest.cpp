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
  EXPECT_EQ(symbols, (std::vector<std::string>{"GetFileMetadataAccess", "GetFileRegionAccess", "InitFilePlugin"}))
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
}  // namespace tvx
