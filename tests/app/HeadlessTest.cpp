// The tarvex program itself, run without windows as a user would run it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "app/Session.h"
#include "support/TestSupport.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

struct TResult {
  int Status = -1;
  std::string Output;  // standard error and output together
};

TResult RunTarvex(const std::string& arguments) {
  std::string command = "DISPLAY= WAYLAND_DISPLAY= '" + (test::BinDir() / "tarvex").string() + "' " + arguments +
                        " </dev/null 2>&1";
  TResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.Output.append(buffer, n);
  int status = pclose(pipe);
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quote(const fs::path& p) {
  std::string quoted = "'";
  quoted += p.string();
  quoted += "'";
  return quoted;
}

class Headless : public ::testing::Test {
 protected:
  void SetUp() override {
    config_ = dir_.Path() / "test.config";
    fs::create_directories(dir_.Path() / "in");
    fs::create_directories(dir_.Path() / "out");
    test::WriteFileBytes(config_,
                         "[WatermarkingOptions]\nPlaceInSourceFolder=0\nDestFolder=" + (dir_.Path() / "out").string() +
                             "\nOverwriteExisting=0\n");
  }
  std::string Common() { return "--no-gui --config " + Quote(config_) + " -s -q"; }
  void MakeWatermark(const fs::path& file, bool withLayer) {
    TLayerCollection layers;
    Watermark::TWatermarkExif exif;
    if (withLayer) {
      auto& layer = layers.Add<TTextLayer>();
      layer.BeginUpdate();
      layer.Text = "Tarvex";
      layer.EndUpdate();
    }
    SaveWatermark(file.string(), layers, exif);
  }

  test::TTempDir dir_;
  fs::path config_;
};

TEST(HeadlessProgram, HelpAndVersion) {
  TResult r = RunTarvex("--version");
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Output, "2.2\n");
  r = RunTarvex("--help");
  EXPECT_EQ(r.Status, 0);
  for (const char* option : {"-w ", "-a ", "-ar ", "-r ", "-s ", "-q ", "--no-gui", "--config"})
    EXPECT_NE(r.Output.find(option), std::string::npos) << option;
  EXPECT_NE(r.Output.find("-a '"), std::string::npos) << "the example quotes the pattern";
}

TEST_F(Headless, MessagesWhenThereIsNothingToDo) {
  fs::path mark = dir_.Path() / "mark.tvx";
  MakeWatermark(mark, true);
  TResult r = RunTarvex(Common() + " -w " + Quote(mark) + " -r -a " + Quote(dir_.Path() / "in" / "*.jpg"));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Output.find("There is nothing to watermark. Please add files to the Image List."), std::string::npos)
      << r.Output;

  TVX_REQUIRE_TESTDATA();
  fs::copy_file(test::TestDataDir() / "photos" / "canon_eos_rebel_t3i.jpg", dir_.Path() / "in" / "a.jpg");
  fs::path empty = dir_.Path() / "empty.tvx";
  MakeWatermark(empty, false);
  r = RunTarvex(Common() + " -w " + Quote(empty) + " -r -a " + Quote(dir_.Path() / "in" / "*.jpg"));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Output.find("Watermark is empty. Please open or edit Watermark."), std::string::npos) << r.Output;
}

TEST_F(Headless, RunsTheBatchAndSkipsExistingOutputsWithoutATerminal) {
  TVX_REQUIRE_TESTDATA();
  for (const char* name : {"a.jpg", "b.jpg"})
    fs::copy_file(test::TestDataDir() / "photos" / "canon_eos_rebel_t3i.jpg", dir_.Path() / "in" / name);
  test::WriteFileBytes(dir_.Path() / "out" / "b.jpg", "existing");
  fs::path mark = dir_.Path() / "mark.tvx";
  MakeWatermark(mark, true);
  TResult r = RunTarvex(Common() + " -w " + Quote(mark) + " -r -a " + Quote(dir_.Path() / "in" / "*.jpg"));
  EXPECT_EQ(r.Status, 0) << r.Output;
  EXPECT_TRUE(fs::exists(dir_.Path() / "out" / "a.jpg"));
  // "Ask" without a terminal: answered No, and said so.
  EXPECT_EQ(test::ReadFileBytes(dir_.Path() / "out" / "b.jpg"), "existing");
  EXPECT_NE(r.Output.find("skipped"), std::string::npos) << r.Output;
  EXPECT_NE(r.Output.find("[1/2]"), std::string::npos) << r.Output;
}

TEST_F(Headless, ErrorsEndWithStatusOne) {
  TVX_REQUIRE_TESTDATA();
  test::WriteFileBytes(dir_.Path() / "in" / "broken.jpg", "not a picture");
  fs::path mark = dir_.Path() / "mark.tvx";
  MakeWatermark(mark, true);
  TResult r = RunTarvex(Common() + " -w " + Quote(mark) + " -r -a " + Quote(dir_.Path() / "in" / "*.jpg"));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Output.find("TPluginManager::LoadBitmapA::198 - Error while loading"), std::string::npos) << r.Output;
}

}  // namespace
}  // namespace tvx
