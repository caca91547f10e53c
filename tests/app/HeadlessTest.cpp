// The tarvex program itself, run without windows as a user would run it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <regex>

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

// stdoutOnly: standard error goes elsewhere (JSON lines are read alone).
TResult RunTarvex(const std::string& arguments, bool stdoutOnly = false) {
  std::string command = "DISPLAY= WAYLAND_DISPLAY= '" + (test::BinDir() / "tarvex").string() + "' " +
                        arguments + (stdoutOnly ? " </dev/null 2>/dev/null" : " </dev/null 2>&1");
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
    test::WriteFileBytes(config_, "[WatermarkingOptions]\nPlaceInSourceFolder=0\nDestFolder=" +
                                      (dir_.Path() / "out").string() + "\nOverwriteExisting=0\n");
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
  EXPECT_NE(r.Output.find("There is nothing to watermark. Please add files to the Image List."),
            std::string::npos)
      << r.Output;

  TVX_REQUIRE_TESTDATA();
  fs::copy_file(test::TestDataDir() / "photos" / "canon_eos_rebel_t3i.jpg", dir_.Path() / "in" / "a.jpg");
  fs::path empty = dir_.Path() / "empty.tvx";
  MakeWatermark(empty, false);
  r = RunTarvex(Common() + " -w " + Quote(empty) + " -r -a " + Quote(dir_.Path() / "in" / "*.jpg"));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Output.find("Watermark is empty. Please open or edit Watermark."), std::string::npos)
      << r.Output;
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
  EXPECT_NE(r.Output.find("TPluginManager::LoadBitmapA::198 - Error while loading"), std::string::npos)
      << r.Output;
}

TEST_F(Headless, WrongValuesOfTheOwnOptionsEndWithStatusTwo) {
  for (const char* bad : {"--jobs x", "--shard 3/3", "--progress xml", "--overwrite never", "--jobs"}) {
    TResult r = RunTarvex(Common() + " -r " + bad);
    EXPECT_EQ(r.Status, 2) << bad << r.Output;
    EXPECT_NE(r.Output.find("See tarvex --help."), std::string::npos) << r.Output;
  }
  TResult r = RunTarvex("--help");
  for (const char* option : {"--jobs", "--shard", "--files-from", "--null", "--keep-going",
                             "--progress jsonl", "--dry-run", "--overwrite"})
    EXPECT_NE(r.Output.find(option), std::string::npos) << option;
}

class HeadlessRun : public Headless {
 protected:
  void SetUp() override {
    Headless::SetUp();
    if (test::TestDataDir().empty()) GTEST_SKIP() << "no shared testdata";
    for (const char* name : {"a.jpg", "c.jpg"})
      fs::copy_file(test::TestDataDir() / "photos" / "canon_eos_rebel_t3i.jpg", dir_.Path() / "in" / name);
    test::WriteFileBytes(dir_.Path() / "in" / "b.jpg", "not a picture");
    mark_ = dir_.Path() / "mark.tvx";
    MakeWatermark(mark_, true);
    list_ = dir_.Path() / "list.txt";
    test::WriteFileBytes(list_, (dir_.Path() / "in/a.jpg").string() + "\n" +
                                    (dir_.Path() / "in/b.jpg").string() + "\n" +
                                    (dir_.Path() / "in/c.jpg").string() + "\n");
  }
  std::string Run() { return Common() + " -w " + Quote(mark_) + " --files-from " + Quote(list_) + " -r"; }
  size_t Outputs() {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_.Path() / "out"), {}));
  }

  fs::path mark_, list_;
};

TEST_F(HeadlessRun, KeepGoingReportsTheFailedPictureAndEndsWithStatusOne) {
  TResult r = RunTarvex(Run() + " --keep-going --jobs 2");
  EXPECT_EQ(r.Status, 1) << r.Output;
  const std::string bad = (dir_.Path() / "in/b.jpg").string();
  EXPECT_NE(r.Output.find("tarvex: TPluginManager::LoadBitmapA::198 - Error while loading " + bad + "!"),
            std::string::npos)
      << r.Output;
  EXPECT_NE(r.Output.find("Watermarking: 2 picture(s) written, 1 failed.\nFailed pictures:\n  " + bad + ": "),
            std::string::npos)
      << r.Output;
  EXPECT_TRUE(fs::exists(dir_.Path() / "out/a.jpg"));
  EXPECT_TRUE(fs::exists(dir_.Path() / "out/c.jpg"));
  EXPECT_EQ(Outputs(), 2u) << "something was left for the failed picture";
  // The stored setting does the same; by default the run ends at b.jpg.
  fs::remove_all(dir_.Path() / "out");
  fs::create_directories(dir_.Path() / "out");
  r = RunTarvex(Run());
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(Outputs(), 1u);
  test::WriteFileBytes(config_, test::ReadFileBytes(config_) + "StopOnError=0\n");
  r = RunTarvex(Run());
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(Outputs(), 2u);
}

TEST_F(HeadlessRun, JsonLinesOnePerPictureInListOrderThenTheFinalObject) {
  TResult r = RunTarvex(Run() + " --keep-going --jobs 3 --progress jsonl", true);
  EXPECT_EQ(r.Status, 1);
  const std::string in = (dir_.Path() / "in").string(), out = (dir_.Path() / "out").string();
  const std::string expected = "{\"index\":1,\"source\":\"" + in + "/a.jpg\",\"output\":\"" + out +
                               "/a.jpg\",\"status\":\"written\",\"decision\":\"new\",\"ms\":#}\n"
                               "{\"index\":2,\"source\":\"" +
                               in + "/b.jpg\",\"output\":\"" + out +
                               "/b.jpg\",\"status\":\"failed\",\"decision\":\"new\",\"error\":"
                               "\"TPluginManager::LoadBitmapA::198 - Error while "
                               "loading " +
                               in +
                               "/b.jpg!\",\"ms\":#}\n"
                               "{\"index\":3,\"source\":\"" +
                               in + "/c.jpg\",\"output\":\"" + out +
                               "/c.jpg\",\"status\":\"written\",\"decision\":\"new\",\"ms\":#}\n"
                               "{\"final\":true,\"status\":\"failed\",\"written\":2,\"copied\":0,\"skipped\":"
                               "0,\"missing\":0,\"failed\":1,"
                               "\"planned\":0,\"exit\":1}\n";
  // the milliseconds vary
  const std::string got = std::regex_replace(r.Output, std::regex("\"ms\":[0-9]+"), "\"ms\":#");
  EXPECT_EQ(got.substr(0, 2), "{\"");
  EXPECT_EQ(got, expected);
  // An error that ends the run ends the lines too.
  fs::remove_all(dir_.Path() / "out");
  fs::create_directories(dir_.Path() / "out");
  r = RunTarvex(Run() + " --progress jsonl", true);
  EXPECT_NE(r.Output.find("{\"final\":true,\"status\":\"error\",\"written\":1,"), std::string::npos)
      << r.Output;
  EXPECT_NE(r.Output.find("\"exit\":1}\n"), std::string::npos) << r.Output;
}

TEST_F(HeadlessRun, ADryRunPlansReadsNothingWritesNothingAndSucceeds) {
  test::WriteFileBytes(dir_.Path() / "out/a.jpg", "old");
  TResult r = RunTarvex(Run() + " --dry-run --overwrite rename --progress jsonl", true);
  EXPECT_EQ(r.Status, 0) << r.Output;
  const std::string out = (dir_.Path() / "out").string();
  EXPECT_NE(
      r.Output.find("\"output\":\"" + out + "/a(1).jpg\",\"status\":\"planned\",\"decision\":\"rename\""),
      std::string::npos)
      << r.Output;
  // The broken picture is not read, so it is planned like the others.
  EXPECT_NE(r.Output.find("\"output\":\"" + out + "/b.jpg\",\"status\":\"planned\",\"decision\":\"new\""),
            std::string::npos)
      << r.Output;
  EXPECT_NE(r.Output.find("\"planned\":3,\"exit\":0}"), std::string::npos) << r.Output;
  EXPECT_EQ(Outputs(), 1u);
  // Without the JSON lines the plan is said in words.
  r = RunTarvex(Run() + " --dry-run --overwrite skip", true);
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Output, "skip: " + (dir_.Path() / "in/a.jpg").string() + " -> " + out +
                          "/a.jpg\nnew: " + (dir_.Path() / "in/b.jpg").string() + " -> " + out +
                          "/b.jpg\nnew: " + (dir_.Path() / "in/c.jpg").string() + " -> " + out + "/c.jpg\n");
}

TEST_F(HeadlessRun, ShardsOfTheListTogetherDoEveryPictureOnce) {
  test::WriteFileBytes(
      list_, (dir_.Path() / "in/c.jpg").string() + "\n" + (dir_.Path() / "in/a.jpg").string() + "\n");
  std::vector<std::string> done;
  for (int shard = 0; shard < 3; ++shard) {
    TResult r = RunTarvex(Run() + " --progress jsonl --shard " + std::to_string(shard) + "/3", true);
    EXPECT_EQ(r.Status, 0) << r.Output;  // an empty shard is no error
    for (const char* name : {"a.jpg", "c.jpg"})
      if (r.Output.find("/out/" + std::string(name)) != std::string::npos) done.push_back(name);
  }
  std::sort(done.begin(), done.end());
  EXPECT_EQ(done, (std::vector<std::string>{"a.jpg", "c.jpg"}));
  EXPECT_EQ(Outputs(), 2u);
}

}  // namespace
}  // namespace tvx
