// The tarvex program itself, run without windows as a user would run it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "app/Session.h"
#include "support/TestSupport.h"
#include "watermark/BitmapLayer.h"
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
  const std::string got = test::MaskMilliseconds(r.Output, "#");
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

// ---- a watermark made on the command line, and output settings for one run ----

namespace tvx {
namespace {

// Standard output and error of a shell command.
std::string Shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

class HeadlessQuick : public Headless {
 protected:
  void SetUp() override {
    Headless::SetUp();
    if (test::TestDataDir().empty()) GTEST_SKIP() << "no shared testdata";
    fs::copy_file(test::TestDataDir() / "photos" / "canon_eos_rebel_t3i.jpg", dir_.Path() / "in" / "a.jpg");
    configBytes_ = test::ReadFileBytes(config_);
  }
  fs::path In() { return dir_.Path() / "in" / "a.jpg"; }
  std::string Logo() { return Quote(test::BinDir() / "Sample Watermarks" / "Logo.png"); }
  // Mean absolute difference of the channels of two pictures of one size
  // over a rectangle.
  static double Difference(const TBitmap32& a, const TBitmap32& b, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    double sum = 0;
    for (int32_t y = y0; y < y1; ++y)
      for (int32_t x = x0; x < x1; ++x) {
        const TColor32 p = a.Pixel(x, y), q = b.Pixel(x, y);
        for (int shift : {0, 8, 16}) sum += std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF));
      }
    return sum / (3.0 * (x1 - x0) * (y1 - y0));
  }

  std::string configBytes_;
};

TEST_F(HeadlessQuick, AnUnknownOptionIsRefusedBeforeAnythingIsReadOrWritten) {
  const fs::path home = dir_.Path() / "home";
  const fs::path fresh = dir_.Path() / "fresh.config";
  for (const char* bad : {"--bogus", "--text-color=red", "--Output"}) {
    TResult r = RunTarvex("--no-gui --config " + Quote(fresh) + " -s -q -r --text X --output " +
                          Quote(dir_.Path() / "new") + " --save-watermark " + Quote(dir_.Path() / "m.tvx") + " " +
                          bad + " " + Quote(In()));
    EXPECT_EQ(r.Status, 2) << bad << "\n" << r.Output;
    EXPECT_NE(r.Output.find("unknown option \"" + std::string(bad) + "\""), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("See tarvex --help."), std::string::npos) << r.Output;
    EXPECT_FALSE(fs::exists(fresh)) << "the settings store was written";
    EXPECT_FALSE(fs::exists(dir_.Path() / "new"));
    EXPECT_FALSE(fs::exists(dir_.Path() / "m.tvx"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path() / "in"), {}), 1);
  }
}

TEST_F(HeadlessQuick, ATextWatermarkFromTheCommandLineLandsWhereAsked) {
  // Stored: write into "out" as JPEG; this run: PNG (exact pixels) into a
  // folder that does not exist yet, and the source removed afterwards.
  const fs::path target = dir_.Path() / "new" / "deeper";
  const fs::path keep = dir_.Path() / "keep.jpg";
  fs::copy_file(In(), keep);
  TResult r = RunTarvex(Common() + " --size 12 --color '#FF0000' --margin 0 --text Tarvex --position top-left" +
                        " --output " + Quote(target) + " --format png --quality 95 --overwrite replace" +
                        " --remove-originals -r " + Quote(In()));
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_TRUE(fs::exists(target / "a.png")) << r.Output;
  EXPECT_FALSE(fs::exists(In())) << "--remove-originals";
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path() / "out"), {}), 0) << "the stored folder is not used";
  EXPECT_EQ(test::ReadFileBytes(config_), configBytes_) << "the run's settings were stored";

  TPluginManager plugins(test::BinDir().string());
  TBitmap32 source, output;
  plugins.LoadBitmap(keep.string(), source);
  plugins.LoadBitmap((target / "a.png").string(), output);
  ASSERT_EQ(output.Width(), source.Width());
  ASSERT_EQ(output.Height(), source.Height());
  const int32_t w = output.Width(), h = output.Height();
  // red text in the top-left corner, nothing elsewhere
  EXPECT_GT(Difference(source, output, 0, 0, w / 4, h / 10), 5.0);
  EXPECT_EQ(Difference(source, output, w / 2, h / 2, w, h), 0.0);
  EXPECT_EQ(Difference(source, output, 0, h / 2, w / 2, h), 0.0);
  int32_t red = 0;
  for (int32_t y = 0; y < h / 10; ++y)
    for (int32_t x = 0; x < w / 4; ++x) {
      const TColor32 p = output.Pixel(x, y);
      red += ((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) < 60 && (p & 0xFF) < 60;
    }
  EXPECT_GT(red, 100) << "the text is red";
}

TEST_F(HeadlessQuick, SuffixAndInPlaceWriteBesideTheSource) {
  const std::string before = test::ReadFileBytes(In());
  TResult r = RunTarvex(Common() + " --text A --suffix -r " + Quote(In()));
  ASSERT_EQ(r.Status, 0) << r.Output;
  EXPECT_TRUE(fs::exists(dir_.Path() / "in" / "a_wm.jpg"));
  EXPECT_EQ(test::ReadFileBytes(In()), before);
  r = RunTarvex(Common() + " --text A --in-place --overwrite replace -r " + Quote(In()));
  ASSERT_EQ(r.Status, 0) << r.Output;
  EXPECT_NE(test::ReadFileBytes(In()), before) << "replaced";
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path() / "out"), {}), 0);
  EXPECT_EQ(test::ReadFileBytes(config_), configBytes_);
  // a format no plug-in writes is a wrong command line
  r = RunTarvex(Common() + " --text A --format xyz -r " + Quote(In()));
  EXPECT_EQ(r.Status, 2) << r.Output;
  EXPECT_NE(r.Output.find("--format takes "), std::string::npos) << r.Output;
}

TEST_F(HeadlessQuick, SavedWatermarkReadsBackAndDescribesAsJson) {
  const fs::path mark = dir_.Path() / "made.tvx";
  TResult r = RunTarvex(Common() + " --opacity 40 --text '(c) <FILENAME>' --shadow --position bottom-left" +
                        " --logo " + Logo() + " --tile --rotate 30 --save-watermark " + Quote(mark));
  ASSERT_EQ(r.Status, 0) << r.Output;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path() / "out"), {}), 0) << "no run without -r";

  TLayerCollection layers;
  Watermark::TWatermarkExif exif;
  OpenWatermark(mark.string(), layers, exif);
  ASSERT_EQ(layers.Count(), 2);
  auto* text = dynamic_cast<TTextLayer*>(&layers.Items(0));
  auto* logo = dynamic_cast<TBitmapLayer*>(&layers.Items(1));
  ASSERT_TRUE(text && logo);
  EXPECT_EQ(text->Text, "(c) <FILENAME>");
  EXPECT_EQ(text->Font.Color, 0x00FFFFFFu);
  EXPECT_EQ(text->GetMasterAlpha(), 102);
  EXPECT_EQ(text->Styles().Items.count("Drop Shadow"), 1u);
  EXPECT_EQ(text->HAlign, haLeft);
  EXPECT_EQ(text->VAlign, vaBottom);
  EXPECT_EQ(text->XUnit, cuShorterPercent);
  EXPECT_EQ(text->YUnit, cuShorterPercent);
  EXPECT_FLOAT_EQ(text->XCoord, 3);
  EXPECT_EQ(text->SizeMode, lsShorterHeight);
  EXPECT_FLOAT_EQ(text->SizePercent, 5);
  EXPECT_TRUE(logo->Tile);
  EXPECT_EQ(logo->GetMasterAlpha(), 102);
  EXPECT_FALSE(logo->SourceBitmap().Empty());

  // the opened watermark is saved as it is, and a run can follow
  const fs::path copy = dir_.Path() / "copy.tvx";
  r = RunTarvex(Common() + " -w " + Quote(mark) + " --save-watermark " + Quote(copy) + " -r " + Quote(In()));
  ASSERT_EQ(r.Status, 0) << r.Output;
  EXPECT_EQ(test::ReadFileBytes(copy), test::ReadFileBytes(mark));
  EXPECT_TRUE(fs::exists(dir_.Path() / "out" / "a.jpg"));

  // the description is one JSON object with the documented keys
  const std::string check =
      "import json, sys\n"
      "d = json.load(sys.stdin)\n"
      "assert sorted(d) == ['exif', 'layers'], d\n"
      "assert sorted(d['exif']) == ['artist', 'comment', 'copyright', 'title']\n"
      "keys = {'kind', 'name', 'width', 'height', 'x', 'xUnit', 'y', 'yUnit', 'hAlign', 'vAlign', 'sizeMode',\n"
      "        'sizePercent', 'orientation', 'angle', 'opacity', 'alpha', 'visible', 'tile', 'tileGapX',\n"
      "        'tileGapY', 'noise', 'noiseIntensity', 'stylesEnabled', 'styles'}\n"
      "text = keys | {'text', 'macros', 'font', 'fontSize', 'color', 'bold', 'italic', 'underline',\n"
      "               'strikeOut', 'justification'}\n"
      "t, p = d['layers']\n"
      "assert set(t) == text, set(t) ^ text\n"
      "assert set(p) == keys, set(p) ^ keys\n"
      "assert (t['kind'], t['text'], t['macros'], t['opacity'], t['styles']) == "
      "('text', '(c) <FILENAME>', True, 40, ['Drop Shadow']), t\n"
      "assert (p['kind'], p['name'], p['tile']) == ('picture', 'Logo.png', True), p\n"
      "print('ok')\n";
  test::WriteFileBytes(dir_.Path() / "check.py", check);
  r = RunTarvex("--describe " + Quote(mark), true);
  ASSERT_EQ(r.Status, 0);
  test::WriteFileBytes(dir_.Path() / "d.json", r.Output);
  EXPECT_EQ(Shell("python3 -m json.tool " + Quote(dir_.Path() / "d.json") + " >/dev/null && echo valid"), "valid\n");
  EXPECT_EQ(Shell("python3 " + Quote(dir_.Path() / "check.py") + " <" + Quote(dir_.Path() / "d.json")), "ok\n");

  // not a watermark: said so, nothing on standard output
  for (const fs::path& bad : {In(), dir_.Path() / "missing.tvx"}) {
    r = RunTarvex("--describe " + Quote(bad), true);
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Output, "");
  }
  // nothing to save
  r = RunTarvex(Common() + " --save-watermark " + Quote(dir_.Path() / "empty.tvx"));
  EXPECT_EQ(r.Status, 1) << r.Output;
  EXPECT_FALSE(fs::exists(dir_.Path() / "empty.tvx"));
}

TEST(HeadlessProgram, HelpDescribesTheWatermarkAndOutputOptions) {
  TResult r = RunTarvex("--help");
  for (const char* option :
       {"--text TEXT", "--logo FILE", "--position POS", "--margin PERCENT", "--size PERCENT", "--opacity PERCENT",
        "--font FAMILY", "--color #RRGGBB", "--shadow", "--tile", "--rotate DEGREES", "--save-watermark FILE.tvx",
        "--describe FILE.tvx", "--output DIR", "--in-place", "--suffix", "--format EXT", "--quality N",
        "--overwrite POLICY", "--remove-originals", "--describe proof.tvx"})
    EXPECT_NE(r.Output.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace tvx
