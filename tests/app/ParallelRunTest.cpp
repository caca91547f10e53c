// The runs on several workers write what a run on one worker writes: the
// same files with the same bytes, the same events in the same order, the
// same questions, the same end; nothing hidden is left behind.

#include <gtest/gtest.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "app/BatchRun.h"
#include "app/JsonProgress.h"
#include "app/Session.h"
#include "imageio/PluginManager.h"
#include "support/TestSupport.h"
#include "util/AtomicFile.h"
#include "util/Error.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

enum class TMark { Text, ExifOnly, Resize };

struct TScenario {
  const char* Name = "";
  /// List rows, relative to the work folder: "path=p0" copies one of the pictures made for
  /// these tests (p0 to p3) there first, "path=formats/name" a sample picture,
  /// "path=broken" writes a file that is no picture, "path" alone lists a path made by an
  /// earlier row (or none: a missing file).
  std::vector<std::string> Rows = {};
  std::vector<std::string> Existing = {};  ///< files that are there before the run ("old")
  TPlacement Placement = plOtherFolder;
  int32_t Policy = owRename;
  bool Remove = false;
  bool KeepFormat = true;
  TMark Mark = TMark::Text;
  bool StopOnError = true;
  int32_t CancelAt = 0;  ///< the progress position at which the user cancels
  /// The watermark writes the copyright. Not over sources without EXIF: the
  /// block made for them is dated with the time of writing.
  bool Copyright = true;
  std::vector<TAnswer> Answers = {};
  // What a run of one worker leaves, as the runs' rules say (a few files of
  // each scenario): present ("name", or "name=old" for a file kept as it was),
  // absent, and how many questions were asked (-1: not checked).
  std::vector<std::string> Expected = {};
  std::vector<std::string> Gone = {};
  int Asked = -1;
};

void PrintTo(const TScenario& s, std::ostream* os) { *os << s.Name; }

// Progress that cancels at a position, and checks that it is only ever
// called on the thread that started the run.
class TTestProgress : public TRunProgress {
 public:
  void Begin(const std::string&, int32_t) override { Position = 0; }
  bool AdvanceAndCheckCancel(int32_t n) override {
    OffThread |= std::this_thread::get_id() != owner_;
    Position += n;
    Steps.push_back(Position);
    return CancelAt > 0 && Position >= CancelAt;
  }
  bool CheckCancel() override {
    OffThread |= std::this_thread::get_id() != owner_;
    return false;
  }
  void AtFile(int32_t index, int32_t, const std::string&) override { Turns.push_back(index); }
  int WaitSliceMs() const override { return 5; }
  int32_t Position = 0;
  int32_t CancelAt = 0;
  bool OffThread = false;
  std::vector<int32_t> Steps, Turns;

 private:
  std::thread::id owner_ = std::this_thread::get_id();
};

struct TOutcome {
  std::string End;                           // "completed", "cancelled" or the error's message
  std::map<std::string, std::string> Files;  // every file under the work folder, with its bytes
  std::string Json;
  std::vector<std::string> Questions;
  std::vector<int32_t> Steps, Turns;
  TNamingState Naming;
  int32_t Written = 0, Skipped = 0, Missing = 0, Failed = 0;
};

class ParallelRun : public ::testing::TestWithParam<TScenario> {
 protected:
  // Small pictures of their own, each with a camera's EXIF block (which holds
  // the date a new block would take from the clock).
  static void SetUpTestSuite() {
    if (test::TestDataDir().empty()) return;
    pictures_ = new test::TTempDir;
    TPluginManager plugins(test::BinDir().string());
    for (int i = 0; i < 4; ++i) {
      TBitmap32 picture(160 + 16 * i, 120);
      for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
          picture.Pixel(x, y) = 0xFF000000u | static_cast<uint32_t>((x * (i + 3)) & 0xFF) << 16 |
                                static_cast<uint32_t>((y * 5 + i * 40) & 0xFF) << 8 |
                                static_cast<uint32_t>((x + y) & 0xFF);
      const std::string path = *pictures_ / ("p" + std::to_string(i) + ".jpg");
      ASSERT_TRUE(plugins.SaveBitmap(path, picture));
      ASSERT_TRUE(plugins.CopyExif((test::TestDataDir() / "photos/canon_eos_rebel_t3i.jpg").string(), path));
    }
  }
  static void TearDownTestSuite() {
    delete pictures_;
    pictures_ = nullptr;
  }

  TOutcome RunWith(int32_t jobs) {
    const TScenario& s = GetParam();
    const fs::path work = dir_.Path() / "work";
    fs::remove_all(work);
    fs::create_directories(work / "out");
    TSession::TOptions options;
    options.ConfigFileName = dir_ / ".config";
    options.PluginFolder = test::BinDir().string();
    options.StylesFolder = dir_.Path().string() + "/";
    TSession session(options);
    for (const std::string& row : s.Rows) {
      const size_t eq = row.find('=');
      const fs::path path = work / row.substr(0, eq);
      if (eq != std::string::npos) {
        fs::create_directories(path.parent_path());
        const std::string what = row.substr(eq + 1);
        if (what == "broken")
          test::WriteFileBytes(path, "no picture at all");
        else
          fs::copy_file(what.find('/') == std::string::npos ? pictures_->Path() / (what + ".jpg")
                                                            : test::TestDataDir() / what,
                        path, fs::copy_options::overwrite_existing);
      }
      session.Images().Paths.push_back(path.string());
    }
    for (const std::string& name : s.Existing) {
      fs::create_directories((work / name).parent_path());
      test::WriteFileBytes(work / name, "old");
    }
    if (s.Mark == TMark::Text) {
      auto& layer = session.Layers().Add<TTextLayer>();
      layer.BeginUpdate();
      layer.Text = "<FILENAME> <FILE_INDEX>/<FILE_COUNT> <WIDTH>x<HEIGHT>";
      layer.Font.Size = 9;
      layer.EndUpdate();
    }
    session.Exif().WriteCopyright = s.Copyright;
    session.Exif().Copyright = "(c) parallel";

    TOutcome outcome;
    std::vector<TAnswer> answers = s.Answers;
    session.Question().SetAsk([&](const std::string&, const std::string& question) {
      outcome.Questions.push_back(question);
      if (answers.empty()) return TAnswer::Cancel;
      TAnswer a = answers.front();
      answers.erase(answers.begin());
      return a;
    });
    TTestProgress progress;
    progress.CancelAt = s.CancelAt;
    char* buffer = nullptr;
    size_t size = 0;
    FILE* json = open_memstream(&buffer, &size);
    TJsonProgress observer(json);
    TRunOptions run;
    run.Jobs = jobs;
    run.StopOnError = s.StopOnError;
    run.Observer = &observer;
    TRunStats stats;
    TOutputSettings settings;
    settings.Destination.Placement = s.Placement;
    settings.Destination.DestFolder = (work / "out").string();
    settings.Destination.OverwriteExisting = s.Policy;
    settings.Destination.RemoveOriginalFiles = s.Remove;
    settings.Destination.KeepOriginalFormat = s.KeepFormat;
    settings.Destination.DefaultFileFormat = 1;  // JPG
    TResizeSettings resize;
    resize.ResizeMethod = 1;
    resize.Percentage = 50;
    try {
      TSession::TStart end = s.Mark == TMark::Resize
                                 ? session.Resize(settings.Destination, resize, progress, &stats, run)
                                 : session.Watermark(settings, progress, &stats, run);
      outcome.End = end == TSession::TStart::Completed ? "completed" : "cancelled";
    } catch (const EError& e) {
      outcome.End = e.what();
    }
    std::fclose(json);
    outcome.Json = test::MaskMilliseconds(std::string(buffer, size), "0");
    free(buffer);
    for (const auto& entry : fs::recursive_directory_iterator(work)) {
      const std::string name = entry.path().lexically_relative(work).string();
      EXPECT_NE(entry.path().filename().string()[0], '.')
          << "left behind: " << name << " (" << jobs << " jobs)";
      if (entry.is_regular_file()) outcome.Files[name] = test::ReadFileBytes(entry.path());
    }
    outcome.Steps = progress.Steps;
    outcome.Turns = progress.Turns;
    outcome.Naming = session.Runner().NamingState();
    outcome.Written = stats.Written;
    outcome.Skipped = stats.Skipped;
    outcome.Missing = stats.Missing;
    outcome.Failed = stats.Failed;
    EXPECT_FALSE(progress.OffThread) << "progress was called from a worker";
    return outcome;
  }

  static test::TTempDir* pictures_;
  test::TTempDir dir_;
};

test::TTempDir* ParallelRun::pictures_ = nullptr;

TEST_P(ParallelRun, FourWorkersWriteWhatOneWrites) {
  TVX_REQUIRE_TESTDATA();
  const TOutcome one = RunWith(1);
  const TOutcome four = RunWith(4);
  EXPECT_EQ(four.End, one.End);
  EXPECT_EQ(four.Json, one.Json);
  EXPECT_EQ(four.Questions, one.Questions);
  EXPECT_EQ(four.Steps, one.Steps);
  EXPECT_EQ(four.Turns, one.Turns);
  EXPECT_EQ(four.Naming.PreviousSource, one.Naming.PreviousSource);
  EXPECT_EQ(four.Naming.Counter, one.Naming.Counter);
  EXPECT_EQ(four.Written, one.Written);
  EXPECT_EQ(four.Skipped, one.Skipped);
  EXPECT_EQ(four.Missing, one.Missing);
  EXPECT_EQ(four.Failed, one.Failed);
  ASSERT_EQ(four.Files.size(), one.Files.size());
  for (const auto& [name, bytes] : one.Files) {
    auto it = four.Files.find(name);
    ASSERT_NE(it, four.Files.end()) << name << " is missing with four workers";
    EXPECT_TRUE(it->second == bytes) << name << " differs";
  }
  // And it is what the rules say.
  const TScenario& s = GetParam();
  for (const std::string& e : s.Expected) {
    const size_t eq = e.find('=');
    auto it = one.Files.find(e.substr(0, eq));
    ASSERT_NE(it, one.Files.end()) << e.substr(0, eq) << " was not written";
    if (eq != std::string::npos) {
      EXPECT_EQ(it->second, e.substr(eq + 1)) << e;
    }
  }
  for (const std::string& g : s.Gone) EXPECT_EQ(one.Files.count(g), 0u) << g << " should not be there";
  if (s.Asked >= 0) {
    EXPECT_EQ(static_cast<int>(one.Questions.size()), s.Asked);
  }
  EXPECT_GT(one.Written + one.Skipped + one.Failed + one.Missing, 0);
}

const char* const kA = "p0";
const char* const kB = "p1";
const char* const kC = "p2";
const char* const kD = "p3";

// Several sources to one name in out/, the same file twice, an output there before.
const std::vector<std::string> kCollisions = {
    std::string("x/a.jpg=") + kA, std::string("y/a.jpg=") + kB, "x/a.jpg",
    std::string("z/a.JPG=") + kC, std::string("x/b.jpg=") + kD, "y/a.jpg",
    std::string("y/c.jpg=") + kA};

const TScenario kScenarios[] = {
    {.Name = "RenameCollisions",
     .Rows = kCollisions,
     .Existing = {"out/a.jpg", "out/a(2).jpg"},
     .Expected = {"out/a.jpg=old", "out/a(1).jpg", "out/a(2).jpg=old", "out/a(3).jpg", "out/a(4).jpg",
                  "out/a(5).jpg", "out/a.JPG", "out/b.jpg", "out/c.jpg"},
     .Gone = {"out/a(6).jpg"}},
    {.Name = "SkipCollisions",
     .Rows = kCollisions,
     .Existing = {"out/b.jpg"},
     .Policy = owSkip,
     .Expected = {"out/a.jpg", "out/a.JPG", "out/b.jpg=old", "out/c.jpg"},
     .Gone = {"out/a(1).jpg"}},
    {.Name = "ReplaceCollisions", .Rows = kCollisions, .Existing = {"out/b.jpg"}, .Policy = owReplace},
    {.Name = "AskInListOrder",
     .Rows = kCollisions,
     .Existing = {"out/b.jpg"},
     .Policy = owAsk,
     .Answers = {TAnswer::Yes, TAnswer::No, TAnswer::Yes, TAnswer::NoToAll},
     .Asked = 4},
    {.Name = "AskCancelled",
     .Rows = kCollisions,
     .Policy = owAsk,
     .Answers = {TAnswer::Yes, TAnswer::Cancel},
     .Gone = {"out/a.JPG", "out/b.jpg"},
     .Asked = 2},
    {.Name = "AskAfterAFailureIsNotAsked",
     .Rows = {"broken.jpg=broken", std::string("x/a.jpg=") + kA, std::string("y/a.jpg=") + kB},
     .Existing = {"out/a.jpg"},
     .Policy = owAsk,
     .Answers = {TAnswer::Yes},
     .Asked = 0},
    {.Name = "RemoveOriginalsWithSuffix",
     .Rows = {std::string("a.jpg=") + kA, "a.jpg", std::string("b.jpg=") + kB, "b.jpg",
              std::string("c.jpg=") + kC},
     .Existing = {"b_wm.jpg"},
     .Placement = plSourceFolderRename,
     .Remove = true,
     .Expected = {"a_wm.jpg", "b_wm.jpg=old", "b_wm(1).jpg", "c_wm.jpg"},
     .Gone = {"a.jpg", "b.jpg", "c.jpg", "a_wm(1).jpg"}},
    {// a.png becomes a.jpg, the source of a later row, which then reads what was written
     .Name = "InPlaceOverOtherRowsSources",
     .Rows = {"a.png=formats/png_rgb16_32x32.png", std::string("a.jpg=") + kA, std::string("b.jpg=") + kB,
              "a.jpg", "a.png"},
     .Placement = plSourceFolderOverwrite,
     .Policy = owReplace,
     .Remove = true,
     .KeepFormat = false,
     .Copyright = false,
     .Expected = {"a.jpg", "b.jpg"},
     .Gone = {"a.png"}},
    {.Name = "ExifOnlyCopies",
     .Rows = kCollisions,
     .Existing = {"out/a.jpg"},
     .Remove = true,
     .Mark = TMark::ExifOnly},
    {.Name = "FailingPictureEndsTheRun",
     .Rows = {std::string("a.jpg=") + kA, std::string("b.jpg=") + kB, "broken.jpg=broken",
              std::string("c.jpg=") + kC, std::string("d.jpg=") + kD, std::string("e.jpg=") + kA},
     .Remove = true,
     .Expected = {"out/a.jpg", "out/b.jpg", "broken.jpg", "c.jpg", "e.jpg"},
     .Gone = {"a.jpg", "b.jpg", "out/broken.jpg", "out/c.jpg", "out/d.jpg", "out/e.jpg"}},
    {.Name = "FailingPictureWhileGoingOn",
     .Rows = {std::string("a.jpg=") + kA, "broken.jpg=broken", std::string("b.jpg=") + kB, "missing.jpg",
              std::string("c.jpg=") + kC, "broken2.jpg=broken", std::string("d.jpg=") + kD},
     .Remove = true,
     .StopOnError = false,
     .Expected = {"out/a.jpg", "out/b.jpg", "out/c.jpg", "out/d.jpg", "broken.jpg", "broken2.jpg"},
     .Gone = {"a.jpg", "b.jpg", "d.jpg", "out/broken.jpg", "out/broken2.jpg"}},
    {.Name = "CancelledMidway",
     .Rows = {std::string("a.jpg=") + kA, std::string("b.jpg=") + kB, std::string("c.jpg=") + kC,
              std::string("d.jpg=") + kD, std::string("e.jpg=") + kA, std::string("f.jpg=") + kB},
     .Remove = true,
     .CancelAt = 8,
     .Expected = {"out/a.jpg", "out/b.jpg", "c.jpg"},
     .Gone = {"a.jpg", "b.jpg", "out/c.jpg"}},
    {.Name = "CancelledAfterACommit",
     .Rows = {std::string("a.jpg=") + kA, std::string("b.jpg=") + kB, std::string("c.jpg=") + kC,
              std::string("d.jpg=") + kD},
     .CancelAt = 6,
     .Expected = {"out/a.jpg", "out/b.jpg"},
     .Gone = {"out/c.jpg"}},
    {.Name = "ResizeRun",
     .Rows = kCollisions,
     .Existing = {"x/a_resize.jpg"},
     .Placement = plSourceFolderRename,
     .Mark = TMark::Resize},
    {.Name = "ResizeFailingWhileGoingOn",
     .Rows = {std::string("a.jpg=") + kA, "broken.jpg=broken", std::string("b.jpg=") + kB},
     .Policy = owReplace,
     .Mark = TMark::Resize,
     .StopOnError = false},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, ParallelRun, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<TScenario>& info) { return info.param.Name; });

// ---- the engine's guarantees, with a watermark that takes its time ------------------

// Draws a dot, slowly, and records what runs at once.
struct TWatch {
  std::atomic<int> Drawing{0}, MostDrawing{0}, Draws{0}, DrawsAfterCancel{0};
  std::atomic<bool> Cancelled{false};
  std::atomic<int> MostHidden{0};
  std::string Folder;  // where the hidden files of the pictures in flight are
  std::set<std::thread::id> Threads;
  std::mutex Mutex;
};

class TSlowWatermark : public TRunWatermark {
 public:
  TSlowWatermark(TWatch& watch, int delayMs) : watch_(watch), delayMs_(delayMs) {}
  bool HasLayers() const override { return true; }
  void RefreshContents(const TExifParameters& parameters) override { index_ = parameters.Index; }
  void DrawOnto(TBitmap32& picture) override {
    {
      std::lock_guard lock(watch_.Mutex);
      watch_.Threads.insert(std::this_thread::get_id());
    }
    if (watch_.Cancelled) ++watch_.DrawsAfterCancel;
    const int now = ++watch_.Drawing;
    for (int most = watch_.MostDrawing; now > most && !watch_.MostDrawing.compare_exchange_weak(most, now);) {
    }
    int hidden = 0;  // the run's own (the plug-in's, "..name", come and go inside a save)
    for (const auto& entry : fs::directory_iterator(watch_.Folder)) {
      const std::string name = entry.path().filename().string();
      hidden += name[0] == '.' && name[1] != '.';
    }
    for (int most = watch_.MostHidden;
         hidden > most && !watch_.MostHidden.compare_exchange_weak(most, hidden);) {
    }
    // The first picture takes longest: the others pile up behind it.
    std::this_thread::sleep_for(std::chrono::milliseconds(index_ == 1 ? 4 * delayMs_ : delayMs_));
    picture.Pixel(0, 0) = 0xFFFF0000u;
    --watch_.Drawing;
    ++watch_.Draws;
  }
  void ApplyExif(const TPluginManager&, const std::string&, const std::string&) override {}
  std::unique_ptr<TRunWatermark> Clone() const override {
    return std::make_unique<TSlowWatermark>(watch_, delayMs_);
  }

 private:
  TWatch& watch_;
  int delayMs_;
  int32_t index_ = 0;
};

class RunEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    TVX_REQUIRE_TESTDATA();
    fs::create_directories(dir_.Path() / "in");
    fs::create_directories(dir_.Path() / "out");
    plugins_ = std::make_unique<TPluginManager>(test::BinDir().string());
    runner_ = std::make_unique<TBatchRunner>(*plugins_, question_);
    TBitmap32 picture(64, 48);
    picture.Clear(0xFF336699u);
    for (int i = 0; i < 12; ++i) {
      const std::string path = dir_ / ("in/p" + std::to_string(i) + ".jpg");
      ASSERT_TRUE(plugins_->SaveBitmap(path, picture));
      paths_.push_back(path);
    }
    watch_.Folder = (dir_.Path() / "out").string();
    settings_.Destination.Placement = plOtherFolder;
    settings_.Destination.DestFolder = watch_.Folder;
    settings_.Destination.OverwriteExisting = owReplace;
  }

  test::TTempDir dir_;
  std::unique_ptr<TPluginManager> plugins_;
  TExtYesNoCancel question_{nullptr};
  std::unique_ptr<TBatchRunner> runner_;
  std::vector<std::string> paths_;
  TOutputSettings settings_;
  TWatch watch_;
};

// A progress that records, and can cancel once some pictures are committed.
class TCancellingProgress : public TRunProgress {
 public:
  explicit TCancellingProgress(TWatch& watch) : watch_(watch) {}
  void Begin(const std::string&, int32_t) override {}
  bool AdvanceAndCheckCancel(int32_t n) override {
    Position += n;
    return Check();
  }
  bool CheckCancel() override { return Check(); }
  int WaitSliceMs() const override { return 2; }
  int32_t Position = 0;
  int32_t CancelAfter = 0;  // positions (3 per picture); 0: never

 private:
  bool Check() {
    if (CancelAfter > 0 && Position >= CancelAfter) watch_.Cancelled = true;
    return watch_.Cancelled;
  }
  TWatch& watch_;
};

TEST_F(RunEngine, AtMostOnePictureMoreThanWorkersIsInFlight) {
  for (int jobs : {1, 2, 3}) {
    SCOPED_TRACE(jobs);
    watch_.MostDrawing = 0;
    watch_.MostHidden = 0;
    watch_.Threads.clear();
    TSlowWatermark mark(watch_, 15);
    TCancellingProgress progress(watch_);
    TRunOptions options;
    options.Jobs = jobs;
    TRunStats stats;
    ASSERT_EQ(runner_->ProcessFiles(paths_, settings_, mark, progress, options, &stats), TRunEnd::Completed);
    EXPECT_EQ(stats.Written, 12);
    EXPECT_LE(watch_.MostDrawing.load(), jobs);
    // Workers draw, and only they; while one sits on the slow first picture another goes on.
    EXPECT_LE(static_cast<int>(watch_.Threads.size()), jobs);
    EXPECT_GE(static_cast<int>(watch_.Threads.size()), std::min(jobs, 2));
    EXPECT_FALSE(watch_.Threads.count(std::this_thread::get_id()));
    // Every picture in flight has its hidden file: never more than jobs + 1.
    EXPECT_LE(watch_.MostHidden.load(), jobs + 1);
    EXPECT_GE(watch_.MostHidden.load(), jobs) << "the pipeline never filled";
  }
}

TEST_F(RunEngine, CancelStopsWithinOnePicturePerWorkerAndLeavesAPrefix) {
  TSlowWatermark mark(watch_, 40);
  TCancellingProgress progress(watch_);
  progress.CancelAfter = 6;  // once two pictures are in place
  TRunOptions options;
  options.Jobs = 3;
  TRunStats stats;
  ASSERT_EQ(runner_->ProcessFiles(paths_, settings_, mark, progress, options, &stats), TRunEnd::Cancelled);
  // Workers finish the picture they are at and take no other: of the twelve,
  // at most the two committed and the four in flight were drawn (one more may
  // have begun in the moment between Cancel and the workers hearing of it).
  EXPECT_LE(watch_.DrawsAfterCancel.load(), 1);
  EXPECT_LE(watch_.Draws.load(), 2 + 4);
  EXPECT_EQ(stats.Written, 2);
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_.Path() / "out")) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"p0.jpg", "p1.jpg"}));
}

TEST_F(RunEngine, AFileThatAppearsMeanwhileIsNeverReplaced) {
  // Another program (or shard) writes the output after the run found its
  // name free: the run fails that picture rather than destroy the file.
  class TIntruder : public TCancellingProgress {
   public:
    using TCancellingProgress::TCancellingProgress;
    void AtFile(int32_t index, int32_t, const std::string&) override {
      if (index == 2) test::WriteFileBytes(Folder + "/p1.jpg", "someone else's");
    }
    std::string Folder;
  };
  settings_.Destination.OverwriteExisting = owRename;
  for (bool stop : {true, false}) {
    SCOPED_TRACE(stop);
    for (const auto& entry : fs::directory_iterator(dir_.Path() / "out")) fs::remove(entry.path());
    TSlowWatermark mark(watch_, 1);
    TIntruder progress(watch_);
    progress.Folder = watch_.Folder;
    TRunOptions options;
    options.Jobs = 2;
    options.StopOnError = stop;
    TRunStats stats;
    std::vector<std::string> three(paths_.begin(), paths_.begin() + 3);
    std::string error;
    try {
      runner_->ProcessFiles(three, settings_, mark, progress, options, &stats);
    } catch (const EError& e) {
      error = e.what();
    }
    const std::string expected =
        "TAtomicFile::Commit::5 - " + watch_.Folder +
        "/p1.jpg exists already: another program or run wrote it meanwhile; it was left "
        "as it is!";
    if (stop) {
      EXPECT_EQ(error, expected);
    } else {
      EXPECT_EQ(error, "");
      ASSERT_EQ(stats.Failures.size(), 1u);
      EXPECT_EQ(stats.Failures[0].Message, expected);
      EXPECT_TRUE(fs::exists(dir_.Path() / "out/p2.jpg"));
    }
    EXPECT_EQ(test::ReadFileBytes(dir_.Path() / "out/p1.jpg"), "someone else's");
    EXPECT_TRUE(fs::exists(dir_.Path() / "out/p0.jpg"));
  }
}

TEST_F(RunEngine, ADryRunPlansTheNamesOfTheRunAndTouchesNothing) {
  TSlowWatermark mark(watch_, 1);
  TCancellingProgress progress(watch_);
  // Collisions: the same picture three times, one output there already.
  std::vector<std::string> list = {paths_[0], paths_[1], paths_[0], paths_[0], dir_ / "in/gone.jpg"};
  test::WriteFileBytes(dir_.Path() / "out/p1.jpg", "old");
  settings_.Destination.OverwriteExisting = owRename;
  settings_.Destination.RemoveOriginalFiles = true;
  struct TRecorder : TRunObserver {
    void PictureDone(const TPictureEvent& e) override { Events.push_back(e); }
    std::vector<TPictureEvent> Events;
  } planned, done;
  TRunOptions options;
  options.DryRun = true;
  options.Observer = &planned;
  runner_->NamingState() = {};
  TRunStats stats;
  ASSERT_EQ(runner_->ProcessFiles(list, settings_, mark, progress, options, &stats), TRunEnd::Completed);
  EXPECT_EQ(stats.Planned, 5);
  EXPECT_EQ(watch_.Draws.load(), 0);
  EXPECT_EQ(runner_->NamingState().Counter, 0) << "a dry run changes no state";
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path() / "out"), {}), 1);
  EXPECT_TRUE(fs::exists(paths_[0]));

  options.DryRun = false;
  options.Jobs = 2;
  options.Observer = &done;
  ASSERT_EQ(runner_->ProcessFiles(list, settings_, mark, progress, options, &stats), TRunEnd::Completed);
  ASSERT_EQ(planned.Events.size(), done.Events.size());
  for (size_t i = 0; i < done.Events.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(planned.Events[i].Status, TPictureStatus::Planned);
    EXPECT_EQ(planned.Events[i].Output, done.Events[i].Output);
    EXPECT_EQ(planned.Events[i].Decision, done.Events[i].Decision);
  }
  // p0 is removed after its first output: its later rows are missing, as planned.
  EXPECT_EQ(planned.Events[2].Decision, "missing");
  EXPECT_EQ(done.Events[2].Status, TPictureStatus::Missing);
  EXPECT_EQ(planned.Events[1].Output, watch_.Folder + "/p1(1).jpg");
  EXPECT_EQ(planned.Events[1].Decision, "rename");
}

}  // namespace
}  // namespace tvx
