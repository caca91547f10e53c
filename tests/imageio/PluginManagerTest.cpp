// The plug-in manager against small plug-ins built for these tests: loading
// and skipping modules, the merged table, routing by extension and
// capability, the error texts, LoadBitmap's ownership rules and two threads
// loading at once.

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "PluginTestSupport.h"
#include "imageio/PluginManager.h"
#include "util/Error.h"

namespace tvx {
namespace {

using test::CopyTestPlugins;
using test::TPluginLog;
using test::TTempDir;

std::string ErrorOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const EError& e) {
    return e.what();
  }
  return "<no error>";
}

// Every dispatching operation on one file name, with the message it must
// raise when nothing serves the name's extension.
void ExpectEveryOperationUnsupported(const TPluginManager& manager, const std::string& name) {
  TBitmap32 bitmap(2, 2);
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { manager.LoadBitmapInfo(name); },
       "TPluginManager::LoadBitmapInfo::177 - Unsupported file plugin!"},
      {[&] { manager.LoadBitmap(name, bitmap); },
       "TPluginManager::LoadBitmapA::194 - Unsupported file plugin!"},
      {[&] { manager.LoadBitmap(name); }, "TPluginManager::LoadBitmapA::194 - Unsupported file plugin!"},
      {[&] { manager.SaveBitmap(name, bitmap); },
       "TPluginManager::SaveBitmap::210 - Unsupported file plugin!"},
      {[&] { manager.SetQuality(ExtractFileExt(name), 50); },
       "TPluginManager::SetQuality::226 - Unsupported file plugin!"},
      {[&] { manager.WriteExif(name, 315, "x"); },
       "TPluginManager::WriteExif::286 - Unsupported file plugin!"},
      {[&] { manager.CopyExif(name, "/tmp/out.png"); },
       "TPluginManager::CopyExif::295 - Unsupported file plugin!"},
      {[&] { manager.GetExif(name); }, "TPluginManager::GetExif::304 - Unsupported file plugin!"},
  };
  for (const auto& [operation, message] : cases) EXPECT_EQ(ErrorOf(operation), message) << name;
  EXPECT_FALSE(manager.IsSupported(ExtractFileExt(name), false)) << name;
}

TEST(ExtractFileExt, TakesTheLastDotOfTheNamePartOnly) {
  EXPECT_EQ(ExtractFileExt("/pics/photo.JPG"), ".JPG");
  EXPECT_EQ(ExtractFileExt("/pics/archive.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileExt("/pics.old/photo"), "");
  EXPECT_EQ(ExtractFileExt("photo"), "");
  EXPECT_EQ(ExtractFileExt("/pics/photo."), ".");
  EXPECT_EQ(ExtractFileExt(""), "");
}

// One folder holding two plug-ins that both declare ".png", one with no
// formats, two that must be skipped, and a file that is no module at all.
class PluginManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CopyTestPlugins(folder_, {"first", "second", "empty", "null_init", "no_init"});
    test::WriteFileBytes(folder_ / "garbage.fp", "not a shared object");
    test::WriteFileBytes(folder_ / "readme.txt", "ignored");
  }
  TPluginLog log_;
  TTempDir folder_;
};

TEST_F(PluginManagerTest, SkipsBrokenModulesAndKeepsTheOthersInLoadOrder) {
  TPluginManager manager(folder_.Path().string());
  ASSERT_EQ(manager.Plugins().size(), 3u);
  EXPECT_EQ(manager.Plugins()[0].FileName, folder_ / "empty.fp");
  EXPECT_EQ(manager.Plugins()[1].FileName, folder_ / "first.fp");
  EXPECT_EQ(manager.Plugins()[2].FileName, folder_ / "second.fp");
  EXPECT_TRUE(manager.Plugins()[0].Formats.empty());
  // The host lower-cases what the plug-in declared as ".PNG".
  ASSERT_EQ(manager.Plugins()[1].Formats.size(), 2u);
  EXPECT_EQ(manager.Plugins()[1].Formats[0].Extension, ".png");

  // One entry per extension in order of first appearance, flags united.
  const auto& formats = manager.Formats();
  ASSERT_EQ(formats.size(), 3u);
  EXPECT_EQ(formats[0].Extension, ".png");
  EXPECT_TRUE(formats[0].CanLoad);
  EXPECT_TRUE(formats[0].CanSave);  // only the second plug-in can save ".png"
  EXPECT_EQ(formats[1].Extension, ".rec");
  EXPECT_EQ(formats[2].Extension, ".sec");
}

TEST_F(PluginManagerTest, FailedLoadsLeaveTheRecordEmpty) {
  for (const char* name : {"null_init.fp", "no_init.fp", "garbage.fp", "missing.fp"}) {
    TFilePluginInfo info;
    EXPECT_FALSE(info.Load(folder_ / name)) << name;
    EXPECT_EQ(info.Plugin, nullptr) << name;
    EXPECT_EQ(info.Module, nullptr) << name;
    EXPECT_TRUE(info.Formats.empty()) << name;
  }
  // Reloading a record unloads what it held first.
  TFilePluginInfo info;
  ASSERT_TRUE(info.Load(folder_ / "first.fp"));
  ASSERT_TRUE(info.Load(folder_ / "second.fp"));
  EXPECT_EQ(log_.Lines(), (std::vector<std::string>{"first Finalize", "first FreeMemory self"}));
  info.Unload();
  info.Unload();  // nothing the second time
  EXPECT_EQ(log_.Lines().size(), 4u);
  EXPECT_TRUE(info.Formats.empty());
}

TEST_F(PluginManagerTest, FirstLoadedPluginWithTheCapabilityServes) {
  TPluginManager manager(folder_.Path().string());
  // Both can load ".png": the first loaded serves it, in any letter case.
  EXPECT_EQ(manager.LoadBitmapInfo("/pics/a.png").Width, 1);
  EXPECT_EQ(manager.LoadBitmapInfo("/pics/a.PNG").Width, 1);
  EXPECT_EQ(manager.FindPlugin(".Png", false), 1);
  // Only the second can save it: the first's load-only entry does not stop the search.
  EXPECT_EQ(manager.FindPlugin(".png", true), 2);
  EXPECT_EQ(manager.FindPlugin("png", false), -1);  // no dot is added
  EXPECT_EQ(manager.FindPlugin(".gif", false), -1);

  TBitmap32 bitmap(3, 2);
  EXPECT_TRUE(manager.SaveBitmap("/out/a.PNG", bitmap));
  manager.SetQuality(".PNG", 90);
  EXPECT_EQ(manager.GetExif("/pics/a.png").Values.at(270), "second");
  // The plug-ins' false results come back unchanged.
  EXPECT_FALSE(manager.WriteExif("/pics/a.rec", 315, "Me"));
  // CopyExif goes by the source's extension.
  EXPECT_FALSE(manager.CopyExif("/pics/s.sec", "/out/d.rec"));
  EXPECT_FALSE(manager.CopyExif("/pics/s.rec", "/out/d.sec"));

  EXPECT_EQ(log_.Calls(), (std::vector<std::string>{
                              "first LoadBitmapInfo /pics/a.png",
                              "first LoadBitmapInfo /pics/a.PNG",
                              "second SaveBitmap /out/a.PNG 3x2",
                              "second SetQuality .PNG 90",
                              "second GetExif /pics/a.png",
                              "first WriteExif /pics/a.rec 315 [Me]",
                              "second CopyExif /pics/s.sec /out/d.rec",
                              "first CopyExif /pics/s.rec /out/d.sec",
                          }));
}

TEST_F(PluginManagerTest, IsSupportedReadsTheMergedTable) {
  TPluginManager manager(folder_.Path().string());
  EXPECT_TRUE(manager.IsSupported(".png", true));
  EXPECT_TRUE(manager.IsSupported("PNG", false));
  EXPECT_TRUE(manager.IsSupported("rec", true));
  EXPECT_FALSE(manager.IsSupported("", false));
  EXPECT_FALSE(manager.IsSupported(".", false));
  EXPECT_FALSE(manager.IsSupported(".gif", false));
}

TEST_F(PluginManagerTest, NamesWithoutAnExtensionAreNeverServed) {
  TPluginManager manager(folder_.Path().string());
  ExpectEveryOperationUnsupported(manager, "/pics/photo");
  ExpectEveryOperationUnsupported(manager, "/pics.png/photo");
  ExpectEveryOperationUnsupported(manager, "/pics/photo.gif");
  EXPECT_TRUE(log_.Calls().empty());
}

TEST_F(PluginManagerTest, UnloadsInLoadOrderFinalizeThenFree) {
  { TPluginManager manager(folder_.Path().string()); }
  EXPECT_EQ(log_.Lines(), (std::vector<std::string>{
                              "empty Finalize",
                              "empty FreeMemory self",
                              "first Finalize",
                              "first FreeMemory self",
                              "second Finalize",
                              "second FreeMemory self",
                          }));
}

TEST(PluginManagerEmptyFolder, EveryOperationRaises) {
  TTempDir folder;
  TPluginManager manager(folder.Path().string());
  EXPECT_TRUE(manager.Plugins().empty());
  EXPECT_TRUE(manager.Formats().empty());
  ExpectEveryOperationUnsupported(manager, "/pics/photo.jpg");
  ExpectEveryOperationUnsupported(manager, "/pics/photo.png");

  TPluginManager missing(folder / "does-not-exist");
  EXPECT_TRUE(missing.Plugins().empty());
}

TEST(PluginManagerProgramFolder, LooksBesideTheExecutableOnly) {
  // The test program's folder holds no "*.fp" (the test plug-ins live in
  // folders of their own), whatever the current directory holds.
  TTempDir cwd;
  CopyTestPlugins(cwd, {"picture"});
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(cwd.Path());
  TPluginManager manager;
  TFilePluginInfo info;
  bool loadedBareName = info.Load("picture.fp");
  info.Unload();
  std::filesystem::current_path(previous);
  EXPECT_TRUE(manager.Plugins().empty());
  EXPECT_FALSE(loadedBareName);
}

// ---- other names of a format ------------------------------------------------

// One operation on one name, with the plug-ins present, and the call it must
// reach or the error it must raise.
enum class TOp { LoadInfo, Save, SetQuality, WriteExif, CopyExif, GetExif };

struct TRouteCase {
  const char* name;
  std::vector<std::string> plugins;
  TOp op;
  const char* file;      // for SetQuality, the extension
  const char* expected;  // the recorded call, or the error
};

void PrintTo(const TRouteCase& c, std::ostream* os) { *os << c.name; }

class TwinRouting : public ::testing::TestWithParam<TRouteCase> {};

TEST_P(TwinRouting, SavingGoesToTheSaverOfTheTwinWhenNoneSavesTheNameItself) {
  const TRouteCase& c = GetParam();
  TTempDir folder;
  CopyTestPlugins(folder, c.plugins);
  TPluginLog log;
  TPluginManager manager(folder.Path().string());
  TBitmap32 bitmap(2, 2);
  const std::string file = c.file;
  std::string error = ErrorOf([&] {
    switch (c.op) {
      case TOp::LoadInfo:
        manager.LoadBitmapInfo(file);
        break;
      case TOp::Save:
        manager.SaveBitmap(file, bitmap);
        break;
      case TOp::SetQuality:
        manager.SetQuality(file, 90);
        break;
      case TOp::WriteExif:
        manager.WriteExif(file, 315, "Me");
        break;
      case TOp::CopyExif:
        manager.CopyExif(file, "/out/d.png");
        break;
      case TOp::GetExif:
        manager.GetExif(file);
        break;
    }
  });
  const std::vector<std::string> calls = log.Calls();
  if (error == "<no error>") {
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], c.expected);
  } else {
    EXPECT_EQ(error, c.expected);
    EXPECT_TRUE(calls.empty());
  }
}

const std::vector<std::string> kFirstAndTwins = {"first", "twins"};
const std::vector<std::string> kJpegSaverAndTwins = {"jpegsaver", "twins"};
const std::vector<std::string> kJpegSaverOnly = {"jpegsaver"};
const std::vector<std::string> kSecondOnly = {"second"};

INSTANTIATE_TEST_SUITE_P(
    PluginManager, TwinRouting,
    ::testing::Values(
        TRouteCase{"save_jpeg", kFirstAndTwins, TOp::Save, "/p/a.jpeg", "twins SaveBitmap /p/a.jpeg 2x2"},
        TRouteCase{"save_upper_jpe", kFirstAndTwins, TOp::Save, "/p/a.JPE", "twins SaveBitmap /p/a.JPE 2x2"},
        TRouteCase{"save_tiff", kFirstAndTwins, TOp::Save, "/p/a.Tiff", "twins SaveBitmap /p/a.Tiff 2x2"},
        TRouteCase{"quality_jpeg", kFirstAndTwins, TOp::SetQuality, ".jpeg", "twins SetQuality .jpeg 90"},
        TRouteCase{"write_exif_jpe", kFirstAndTwins, TOp::WriteExif, "/p/a.jpe",
                   "twins WriteExif /p/a.jpe 315 [Me]"},
        TRouteCase{"copy_exif_by_source", kFirstAndTwins, TOp::CopyExif, "/p/s.tiff",
                   "twins CopyExif /p/s.tiff /out/d.png"},
        TRouteCase{"get_exif_jpeg", kFirstAndTwins, TOp::GetExif, "/p/a.jpeg", "twins GetExif /p/a.jpeg"},
        TRouteCase{"load_as_declared", kFirstAndTwins, TOp::LoadInfo, "/p/a.jpeg",
                   "twins LoadBitmapInfo /p/a.jpeg"},
        TRouteCase{"load_has_no_twin", kFirstAndTwins, TOp::LoadInfo, "/p/a.tiff",
                   "TPluginManager::LoadBitmapInfo::177 - Unsupported file plugin!"},
        TRouteCase{"load_only_without_twin", kFirstAndTwins, TOp::Save, "/p/a.png",
                   "TPluginManager::SaveBitmap::210 - Unsupported file plugin!"},
        TRouteCase{"load_only_exif_without_twin", kFirstAndTwins, TOp::GetExif, "/p/a.png",
                   "TPluginManager::GetExif::304 - Unsupported file plugin!"},
        TRouteCase{"unknown_name", kFirstAndTwins, TOp::Save, "/p/a.jfif",
                   "TPluginManager::SaveBitmap::210 - Unsupported file plugin!"},
        TRouteCase{"own_saver_first", kJpegSaverAndTwins, TOp::Save, "/p/a.jpeg",
                   "jpegsaver SaveBitmap /p/a.jpeg 2x2"},
        TRouteCase{"own_saver_only_for_its_name", kJpegSaverAndTwins, TOp::WriteExif, "/p/a.jpe",
                   "twins WriteExif /p/a.jpe 315 [Me]"},
        TRouteCase{"twins_go_one_way", kJpegSaverOnly, TOp::Save, "/p/a.jpg",
                   "TPluginManager::SaveBitmap::210 - Unsupported file plugin!"},
        TRouteCase{"twin_not_saved", kSecondOnly, TOp::CopyExif, "/p/a.tiff",
                   "TPluginManager::CopyExif::295 - Unsupported file plugin!"}),
    [](const ::testing::TestParamInfo<TRouteCase>& info) { return std::string(info.param.name); });

TEST(TwinRouting, IsSupportedAgreesWithTheRouting) {
  TTempDir folder;
  CopyTestPlugins(folder, kFirstAndTwins);
  TPluginManager manager(folder.Path().string());
  const struct {
    const char* ext;
    bool forSave;
    bool expected;
  } cases[] = {
      {".jpeg", true, true},   {"JPE", true, true},    {"tiff", true, true},  {".jpeg", false, true},
      {".tiff", false, false}, {".jpe", false, false}, {".png", true, false}, {".jfif", true, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(manager.IsSupported(c.ext, c.forSave), c.expected) << c.ext << c.forSave;
  // FindPlugin stays with what the plug-ins declared; FindSaver adds the twins.
  EXPECT_EQ(manager.FindPlugin(".jpeg", true), -1);
  EXPECT_EQ(manager.FindSaver(".JPEG"), 1);
  EXPECT_EQ(manager.FindSaver(".jpg"), 1);
  EXPECT_EQ(manager.FindSaver(".png"), -1);
  // The merged table and the output formats are the plug-ins' own.
  EXPECT_FALSE(manager.Formats()[3].CanSave);  // ".jpeg"
  EXPECT_EQ(OutputFormatNames(manager.Formats()), (std::vector<std::string>{"REC", "JPG", "TIF"}));

  TTempDir saverOnly;
  CopyTestPlugins(saverOnly, {"jpegsaver"});
  TPluginManager other(saverOnly.Path().string());
  EXPECT_FALSE(other.IsSupported(".jpg", true));
  EXPECT_FALSE(other.IsSupported(".jpe", true));
  EXPECT_TRUE(other.IsSupported(".jpeg", true));
}

TEST(SaveTwinOf, KnowsTheOtherNamesOfJpegAndTiff) {
  EXPECT_EQ(SaveTwinOf(".jpeg"), ".jpg");
  EXPECT_EQ(SaveTwinOf(".jpe"), ".jpg");
  EXPECT_EQ(SaveTwinOf(".tiff"), ".tif");
  for (const char* ext : {".jpg", ".tif", ".JPEG", "jpeg", ".jfif", ".png", "", "."})
    EXPECT_EQ(SaveTwinOf(ext), "") << ext;
}

// ---- a plug-in that really decodes ----------------------------------------

class PicturePluginTest : public ::testing::Test {
 protected:
  void SetUp() override { CopyTestPlugins(plugins_, {"picture"}); }

  static TBitmap32 Pattern(int32_t width, int32_t height, uint32_t seed) {
    TBitmap32 bitmap(width, height);
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        bitmap.Pixel(x, y) = seed * 2654435761u + static_cast<uint32_t>(y * width + x);
    return bitmap;
  }
  static bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() &&
           std::equal(a.Bits(), a.Bits() + static_cast<size_t>(a.Width()) * a.Height(), b.Bits());
  }
  int OutstandingBlocks(const TPluginManager& manager) const {
    return std::stoi(manager.Plugins().at(0).Plugin->GetDescription());
  }

  TTempDir plugins_;
  TTempDir files_;
};

TEST_F(PicturePluginTest, SavesAndLoadsThroughTheManager) {
  TPluginManager manager(plugins_.Path().string());
  TBitmap32 picture = Pattern(7, 5, 1);
  ASSERT_TRUE(manager.SaveBitmap(files_ / "a.tpx", picture));

  EXPECT_EQ(manager.LoadBitmapInfo(files_ / "a.tpx").Width, 7);
  TBitmap32 target(1, 1);
  target.DrawMode = dmBlend;
  manager.LoadBitmap(files_ / "a.tpx", target);
  EXPECT_TRUE(SamePixels(target, picture));
  EXPECT_EQ(target.DrawMode, dmBlend);  // only size and pixels change

  // The load-only extension reads the same bytes.
  std::filesystem::copy_file(files_ / "a.tpx", files_ / "b.TPR");
  std::unique_ptr<TBitmap32> loaded = manager.LoadBitmap(files_ / "b.TPR");
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(SamePixels(*loaded, picture));
  EXPECT_EQ(OutstandingBlocks(manager), 0);
}

TEST_F(PicturePluginTest, LoadOnlyExtensionRefusesEverythingElse) {
  TPluginManager manager(plugins_.Path().string());
  std::string name = files_ / "b.tpr";
  TBitmap32 picture = Pattern(2, 2, 3);
  EXPECT_EQ(ErrorOf([&] { manager.SaveBitmap(name, picture); }),
            "TPluginManager::SaveBitmap::210 - Unsupported file plugin!");
  EXPECT_EQ(ErrorOf([&] { manager.SetQuality(".tpr", 80); }),
            "TPluginManager::SetQuality::226 - Unsupported file plugin!");
  EXPECT_EQ(ErrorOf([&] { manager.WriteExif(name, 270, "t"); }),
            "TPluginManager::WriteExif::286 - Unsupported file plugin!");
  EXPECT_EQ(ErrorOf([&] { manager.CopyExif(name, files_ / "c.tpx"); }),
            "TPluginManager::CopyExif::295 - Unsupported file plugin!");
  EXPECT_EQ(ErrorOf([&] { manager.GetExif(name); }),
            "TPluginManager::GetExif::304 - Unsupported file plugin!");
  EXPECT_FALSE(manager.IsSupported(".tpr", true));
  EXPECT_TRUE(manager.IsSupported("tpr", false));
}

TEST_F(PicturePluginTest, FailedLoadRaisesAndLeavesTheTargetUnchanged) {
  TPluginManager manager(plugins_.Path().string());
  test::WriteFileBytes(files_ / "empty.tpx", "");
  test::WriteFileBytes(files_ / "negative.tpx", "BAD!");  // negative width with a block
  test::WriteFileBytes(files_ / "noblock.tpx", "NUL!");   // a size without a block
  TBitmap32 target = Pattern(3, 3, 9);
  const TBitmap32 before = target;
  for (const char* name : {"empty.tpx", "negative.tpx", "noblock.tpx", "missing.tpx"}) {
    std::string path = files_ / name;
    EXPECT_EQ(ErrorOf([&] { manager.LoadBitmap(path, target); }),
              "TPluginManager::LoadBitmapA::198 - Error while loading " + path + "!");
    EXPECT_TRUE(SamePixels(target, before)) << name;
    EXPECT_EQ(ErrorOf([&] { manager.LoadBitmap(path); }),
              "TPluginManager::LoadBitmapA::198 - Error while loading " + path + "!");
    EXPECT_EQ(ErrorOf([&] { manager.LoadBitmapAdopted(path); }),
              "TPluginManager::LoadBitmapA::198 - Error while loading " + path + "!");
  }
  EXPECT_EQ(manager.LoadBitmapInfo(files_ / "empty.tpx").Width, 0);  // a failed size is no error
  EXPECT_EQ(OutstandingBlocks(manager), 0);  // the stray block went back to the plug-in
}

TEST_F(PicturePluginTest, AnAdoptedPictureKeepsThePluginsBlockUntilItIsDone) {
  // A batch run's pictures take the plug-in's block instead of a copy.
  TPluginManager manager(plugins_.Path().string());
  const TBitmap32 picture = Pattern(40, 30, 5);
  ASSERT_TRUE(manager.SaveBitmap(files_ / "a.tpx", picture));
  {
    std::unique_ptr<TBitmap32> adopted = manager.LoadBitmapAdopted(files_ / "a.tpx");
    EXPECT_TRUE(SamePixels(*adopted, picture));
    EXPECT_EQ(OutstandingBlocks(manager), 1);
    TBitmap32 copy = *adopted;
    adopted->SetSize(20, 15);  // resized: the block goes back
    EXPECT_EQ(OutstandingBlocks(manager), 0);
    EXPECT_TRUE(SamePixels(copy, picture));
    adopted = manager.LoadBitmapAdopted(files_ / "a.tpx");
    EXPECT_EQ(OutstandingBlocks(manager), 1);
  }
  EXPECT_EQ(OutstandingBlocks(manager), 0);
}

TEST_F(PicturePluginTest, TwoThreadsLoadDifferentFilesAtOnce) {
  TPluginManager manager(plugins_.Path().string());
  const TBitmap32 pictures[] = {Pattern(64, 48, 1), Pattern(33, 70, 2)};
  const std::string names[] = {files_ / "one.tpx", files_ / "two.tpx"};
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(manager.SaveBitmap(names[i], pictures[i]));

  int mismatches[2] = {0, 0};
  auto worker = [&](int i) {
    TBitmap32 target;
    for (int round = 0; round < 300; ++round) {
      manager.LoadBitmap(names[i], target);
      if (!SamePixels(target, pictures[i])) ++mismatches[i];
    }
  };
  std::thread a(worker, 0), b(worker, 1);
  a.join();
  b.join();
  EXPECT_EQ(mismatches[0], 0);
  EXPECT_EQ(mismatches[1], 0);
  EXPECT_EQ(OutstandingBlocks(manager), 0);
}

// ---- the readers of the merged table ---------------------------------------

TEST(FormatLists, FilterAndMasksTakeLoadableFormatsInTableOrder) {
  std::vector<TFileFormat> formats = {{".tga", true, false}, {".raw", false, true}, {".webp", true, true}};
  std::vector<std::string> masks = {"stale"};
  EXPECT_EQ(BuildOpenFilter(formats, masks), "All files|*.tga;*.webp;|TGA files|*.tga|WEBP files|*.webp|");
  EXPECT_EQ(masks, (std::vector<std::string>{"*.tga", "*.webp"}));
  EXPECT_EQ(OutputFormatNames(formats), (std::vector<std::string>{"RAW", "WEBP"}));

  EXPECT_EQ(BuildOpenFilter({}, masks), "All files||");
  EXPECT_TRUE(masks.empty());
  EXPECT_TRUE(OutputFormatNames({}).empty());
}

}  // namespace
}  // namespace tvx
