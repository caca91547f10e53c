// Files named on the command line (as a file manager passes them): which
// arguments are files, what opening them does, and the headless program
// running a batch over them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "app/CommandLine.h"
#include "app/Session.h"
#include "support/TestSupport.h"
#include "util/Error.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

struct TFilesCase {
  const char* Name;
  std::vector<std::string> Args;
  std::vector<std::string> Files;
  size_t Actions;
};

class CommandLineFiles : public ::testing::TestWithParam<TFilesCase> {};

TEST_P(CommandLineFiles, OnlyArgumentsThatAreNoOptionNorValueAreFiles) {
  const TFilesCase& c = GetParam();
  TCommandLine cl = ParseCommandLine(c.Args);
  EXPECT_EQ(cl.Files, c.Files);
  EXPECT_EQ(cl.Actions.size(), c.Actions);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineFiles,
    ::testing::Values(
        TFilesCase{"FilesAlone", {"x.tvx", "a.jpg", "/pics"}, {"x.tvx", "a.jpg", "/pics"}, 0},
        TFilesCase{"WatermarkValueIsNoFile", {"-w", "x.tvx", "a.jpg"}, {"a.jpg"}, 1},
        TFilesCase{"PatternValueIsNoFile", {"-a", "/p/*.jpg", "b.jpg"}, {"b.jpg"}, 1},
        TFilesCase{"FolderAndNamePartAreNoFiles", {"-ar", "/pics", "jpg", "c.jpg"}, {"c.jpg"}, 1},
        TFilesCase{"FolderWithoutNamePart", {"-ar", "/pics", "-r", "c.jpg"}, {"c.jpg"}, 1},
        TFilesCase{"ConfigValueIsNoFile", {"--config", "my.config", "a.jpg"}, {"a.jpg"}, 0},
        TFilesCase{"UnknownOptionsIgnored", {"-R", "--weird", "a.jpg"}, {"a.jpg"}, 0},
        TFilesCase{
            "AfterDoubleDashEverythingIsAFile", {"-r", "--", "-w", "--", "a.jpg"}, {"-w", "--", "a.jpg"}, 0},
        TFilesCase{"DoubleDashAsAValue", {"-w", "--", "a.jpg"}, {"a.jpg"}, 1},
        TFilesCase{"EmptyArgumentIsNoFile", {"", "a.jpg"}, {"a.jpg"}, 0}),
    [](const ::testing::TestParamInfo<TFilesCase>& info) { return std::string(info.param.Name); });

TEST(CommandLineFiles, RelativeFilesBecomeAbsoluteAgainstTheStartingFolder) {
  TCommandLine cl = ParseCommandLine({"-w", "rel.tvx", "a.jpg", "./pics/b.jpg", "/abs/c.jpg", "../d.jpg"});
  ResolveFiles(cl, "/home/me/work");
  EXPECT_EQ(cl.Files, (std::vector<std::string>{"/home/me/work/a.jpg", "/home/me/work/pics/b.jpg",
                                                "/abs/c.jpg", "/home/me/d.jpg"}));
  // the options' values keep their meaning for this process
  EXPECT_EQ(cl.Actions[0].Value, "rel.tvx");
}

class OpenFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    TSession::TOptions options;
    options.ConfigFileName = (dir_.Path() / "test.config").string();
    options.PluginFolder = test::BinDir().string();
    options.StylesFolder = dir_.Path().string();
    session_ = std::make_unique<TSession>(options);
    pics_ = dir_.Path() / "pics";
    fs::create_directories(pics_ / "sub");
    // The image list takes names by their masks; the bytes are not read.
    for (const char* name : {"b.PNG", "a.jpg", "notes.txt", "sub/c.jpg"})
      test::WriteFileBytes(pics_ / name, "x");
  }
  fs::path Watermark(const char* name, const std::string& text) {
    TLayerCollection layers;
    Watermark::TWatermarkExif exif;
    auto& layer = layers.Add<TTextLayer>();
    layer.BeginUpdate();
    layer.Text = text;
    layer.EndUpdate();
    const fs::path file = dir_.Path() / name;
    SaveWatermark(file.string(), layers, exif);
    return file;
  }
  std::string FirstText() { return dynamic_cast<TTextLayer&>(session_->Layers().Items(0)).Text; }

  test::TTempDir dir_;
  fs::path pics_;
  std::unique_ptr<TSession> session_;
};

TEST_F(OpenFiles, WatermarkPicturesAndFolders) {
  const fs::path mark = Watermark("mark.TVX", "Mark");
  TSession::TOpenReport report =
      session_->OpenFiles({mark.string(), pics_.string(), (pics_ / "sub/c.jpg").string()});
  EXPECT_TRUE(report.WatermarkOpened);
  ASSERT_EQ(session_->Layers().Count(), 1);
  EXPECT_EQ(FirstText(), "Mark");
  // the folder's own pictures in name order, not its subfolder's; then the picture
  EXPECT_EQ(report.PicturesAdded, 3u);
  EXPECT_EQ(session_->Images().Paths,
            (std::vector<std::string>{(pics_ / "a.jpg").string(), (pics_ / "b.PNG").string(),
                                      (pics_ / "sub/c.jpg").string()}));
  EXPECT_TRUE(report.Notices.empty());
}

TEST_F(OpenFiles, FilesThatCannotBeUsedAreNamedAndTheRestStillOpens) {
  fs::create_directories(dir_.Path() / "empty");
  TSession::TOpenReport report =
      session_->OpenFiles({(pics_ / "notes.txt").string(), (pics_ / "gone.jpg").string(),
                           (dir_.Path() / "empty").string(), (pics_ / "a.jpg").string()});
  EXPECT_EQ(report.PicturesAdded, 1u);
  ASSERT_EQ(report.Notices.size(), 3u);
  EXPECT_EQ(report.Notices[0], "Not a picture this program can read: " + (pics_ / "notes.txt").string());
  EXPECT_EQ(report.Notices[1], "No such file or folder: " + (pics_ / "gone.jpg").string());
  EXPECT_EQ(report.Notices[2], "No pictures in the folder " + (dir_.Path() / "empty").string());
}

TEST_F(OpenFiles, ADamagedWatermarkRaisesAndKeepsTheOpenOne) {
  session_->OpenFiles({Watermark("good.tvx", "Good").string()});
  const fs::path broken = dir_.Path() / "broken.tvx";
  test::WriteFileBytes(broken, "TVX1 but nothing after");
  try {
    session_->OpenFiles({broken.string()});
    FAIL() << "a damaged watermark was accepted";
  } catch (const EError& e) {
    EXPECT_NE(std::string(e.what()).find("OpenWatermark::2 - Cannot read the watermark " + broken.string()),
              std::string::npos)
        << e.what();
  }
  ASSERT_EQ(session_->Layers().Count(), 1);
  EXPECT_EQ(FirstText(), "Good");
}

TEST_F(OpenFiles, OptionsComeFirstThenTheFiles) {
  // The files come after "-w": the last watermark named wins.
  TCommandLine cl =
      ParseCommandLine({Watermark("second.tvx", "Second").string(), "-w",
                        Watermark("first.tvx", "First").string(), "-a", (pics_ / "*.jpg").string()});
  TSession::TOpenReport report = session_->ApplyCommandLine(cl);
  EXPECT_EQ(FirstText(), "Second");
  EXPECT_TRUE(report.WatermarkOpened);
  EXPECT_EQ(report.PicturesAdded, 1u);
}

// ---- the headless program over named files -----------------------------------------

std::string Quote(const fs::path& p) {
  std::string quoted = "'";
  quoted += p.string();
  quoted += "'";
  return quoted;
}

int RunShell(const std::string& command, std::string* output) {
  FILE* pipe = popen((command + " </dev/null 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HeadlessFiles, TarvexCliRunsABatchOverAWatermarkAndAFolderNamedRelatively) {
  test::TTempDir dir;
  std::string output;
  ASSERT_EQ(
      RunShell(Quote(test::BinDir() / "tarvex_make_samples") + " --pictures " + Quote(dir.Path() / "pics"),
               &output),
      0)
      << output;
  fs::create_directories(dir.Path() / "out");
  fs::copy_file(test::BinDir() / "Sample Watermarks" / "Copyright.tvx", dir.Path() / "Copyright.tvx");
  test::WriteFileBytes(
      dir.Path() / "run.config",
      "[WatermarkingOptions]\nPlaceInSourceFolder=0\nDestFolder=" + (dir.Path() / "out").string() + "\n");
  size_t pictures = 0;
  for (const auto& entry : fs::directory_iterator(dir.Path() / "pics")) pictures += entry.is_regular_file();
  ASSERT_GT(pictures, 0u);

  output.clear();
  const int status =
      RunShell("cd " + Quote(dir.Path()) + " && DISPLAY=:99 " + Quote(test::BinDir() / "tarvex-cli") +
                   " --config run.config -r -s -q Copyright.tvx pics missing.jpg",
               &output);
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("tarvex-cli: No such file or folder: " + (dir.Path() / "missing.jpg").string()),
            std::string::npos)
      << output;
  EXPECT_NE(output.find(std::to_string(pictures) + " picture(s) written"), std::string::npos) << output;
  size_t written = 0;
  for (const auto& entry : fs::directory_iterator(dir.Path() / "out")) written += entry.is_regular_file();
  EXPECT_EQ(written, pictures);
}

TEST(HeadlessFiles, TarvexCliNamesItselfAndHasNoWindowOption) {
  std::string output;
  EXPECT_EQ(RunShell(Quote(test::BinDir() / "tarvex-cli") + " --help", &output), 0);
  EXPECT_NE(output.find("Usage: tarvex-cli [options] [FILE...]"), std::string::npos) << output;
  EXPECT_EQ(output.find("--no-gui"), std::string::npos) << output;
}

}  // namespace
}  // namespace tvx
