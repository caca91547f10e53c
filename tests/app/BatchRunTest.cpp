// The batch runs end to end: the real kobalt.fp, real photos, real files.

#include "app/BatchRun.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "app/Session.h"
#include "imageio/PluginManager.h"
#include "support/TestSupport.h"
#include "util/Error.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

// Progress that records every step and can cancel at a chosen position.
class TRecordingProgress : public TRunProgress {
 public:
  void Begin(const std::string& label, int32_t maximum) override {
    Label = label;
    Maximum = maximum;
    Position = 0;
  }
  bool AdvanceAndCheckCancel(int32_t n) override {
    Position += n;
    return CancelAt > 0 && Position >= CancelAt;
  }
  std::string Label;
  int32_t Maximum = 0;
  int32_t Position = 0;
  int32_t CancelAt = 0;
};

class BatchRun : public ::testing::Test {
 protected:
  void SetUp() override {
    TVX_REQUIRE_TESTDATA();
    fs::create_directories(dir_.Path() / "in");
    fs::create_directories(dir_.Path() / "out");
    TSession::TOptions options;
    options.ConfigFileName = dir_ / ".config";
    options.PluginFolder = test::BinDir().string();
    options.StylesFolder = dir_.Path().string() + "/";
    session_ = std::make_unique<TSession>(options);
    session_->Question().SetAsk([this](const std::string&, const std::string& question) {
      questions_.push_back(question);
      return answers_.empty() ? TAnswer::Cancel : Next();
    });
  }
  TAnswer Next() {
    TAnswer a = answers_.front();
    answers_.erase(answers_.begin());
    return a;
  }
  std::string Photo(const std::string& name, const std::string& as) {
    std::string target = (dir_.Path() / "in" / as).string();
    fs::copy_file(test::TestDataDir() / "photos" / name, target, fs::copy_options::overwrite_existing);
    session_->Images().Paths.push_back(target);
    return target;
  }
  TTextLayer& AddText(const std::string& text) {
    auto& layer = session_->Layers().Add<TTextLayer>();
    layer.BeginUpdate();
    layer.Text = text;
    layer.Font.Size = 24;
    layer.Font.Color = 0x00FFFFFF;
    layer.HAlign = haRight;
    layer.VAlign = vaBottom;
    layer.XCoord = 10;
    layer.YCoord = 10;
    layer.EndUpdate();
    return layer;
  }
  TOutputSettings Settings(TPlacement placement = plSourceFolderRename, int32_t overwrite = owAsk) {
    TOutputSettings s;
    s.Destination.Placement = placement;
    s.Destination.DestFolder = (dir_.Path() / "out").string();
    s.Destination.OverwriteExisting = overwrite;
    s.Destination.DefaultFileFormat = 1;  // JPG
    return s;
  }
  std::string Exif(const std::string& file, ExifTag tag) {
    auto values = session_->Plugins().GetExif(file).Values;
    auto it = values.find(tag);
    return it == values.end() ? std::string() : it->second;
  }

  test::TTempDir dir_;
  std::unique_ptr<TSession> session_;
  std::vector<std::string> questions_;
  std::vector<TAnswer> answers_;
  TRecordingProgress progress_;
};

TEST_F(BatchRun, WatermarksEveryPictureAndCarriesItsExif) {
  std::string a = Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  std::string b = Photo("apple_iphone5_gps_orient3.jpg", "b.jpg");
  TTextLayer& text = AddText("WATERMARK <FILE_INDEX>/<FILE_COUNT>");
  text.BeginUpdate();
  text.Font.Color = 0x00000000;  // black: the bottom of the photo is light concrete
  text.Font.Bold = true;
  text.EndUpdate();
  TRunStats stats;
  ASSERT_EQ(session_->Watermark(Settings(), progress_, &stats), TSession::TStart::Completed);
  EXPECT_EQ(progress_.Label, "Watermarking files...");
  EXPECT_EQ(progress_.Maximum, 6);
  EXPECT_EQ(progress_.Position, 6);
  EXPECT_EQ(stats.Written, 2);

  std::string outA = (dir_.Path() / "in" / "a_wm.jpg").string();
  std::string outB = (dir_.Path() / "in" / "b_wm.jpg").string();
  auto pa = session_->Plugins().LoadBitmap(outA);
  auto source = session_->Plugins().LoadBitmap(a);
  EXPECT_EQ(pa->Width(), source->Width());
  EXPECT_EQ(pa->Height(), source->Height());
  // The text went into the bottom-right corner and nowhere else.
  // Light pixels that turned dark (the text's colour).
  auto turnedDark = [&](int x, int y) {
    TColor32 p = pa->Pixel(x, y), q = source->Pixel(x, y);
    bool dark = RedOf(p) < 50 && GreenOf(p) < 50 && BlueOf(p) < 50;
    bool wasLight = RedOf(q) > 120 && GreenOf(q) > 120 && BlueOf(q) > 120;
    return dark && wasLight;
  };
  int changedCorner = 0, changedElsewhere = 0;
  for (int y = 0; y < pa->Height(); ++y)
    for (int x = 0; x < pa->Width(); ++x) {
      bool corner = x > pa->Width() / 3 && y > pa->Height() - 60;
      if (turnedDark(x, y)) ++(corner ? changedCorner : changedElsewhere);
    }
  EXPECT_GT(changedCorner, 100) << changedCorner;
  EXPECT_EQ(changedElsewhere, 0) << changedElsewhere;
  EXPECT_EQ(Exif(outA, 271), Exif(a, 271));  // Make
  EXPECT_FALSE(Exif(outB, 271).empty());
  EXPECT_TRUE(fs::exists(a));
}

std::string Exiftool(const std::string& file, const std::string& tag) {
  std::string out;
  if (FILE* pipe = popen(("exiftool -s3 -" + tag + " '" + file + "' 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// ".jpeg", ".JPEG", ".jpe" and ".tiff" pictures go through a run as ".jpg"
// and ".tif" ones do: accepted by the list, read, watermarked, written under
// their own extension with their EXIF carried over and written.
TEST_F(BatchRun, OtherNamesOfJpegAndTiffRunLikeTheirFormat) {
  if (std::system("exiftool -ver >/dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is not installed";
  const std::string a = Photo("canon_eos_rebel_t3i.jpg", "a.jpeg");
  const std::string b = Photo("olympus_pen_e-p3.jpg", "B.JPEG");
  const std::string d = Photo("canon_eos_rebel_t3i.jpg", "d.jpe");
  const std::string c = (dir_.Path() / "in" / "c.tiff").string();
  fs::copy_file(test::TestDataDir() / "formats" / "tiff_rgb8_lzw.tif", c);
  session_->Images().Paths.clear();
  EXPECT_EQ(session_->Images().Add({a, b, c, d, dir_ / "in/e.jfif"}), 4u);
  AddText("x");
  session_->Exif().WriteCopyright = true;
  session_->Exif().Copyright = "(c) Studio";

  TRunStats stats;
  ASSERT_EQ(session_->Watermark(Settings(), progress_, &stats), TSession::TStart::Completed);
  EXPECT_EQ(stats.Written, 4);
  const struct {
    std::string source, output, type;
  } outputs[] = {
      {a, dir_ / "in/a_wm.jpeg", "JPEG"},
      {b, dir_ / "in/B_wm.JPEG", "JPEG"},
      {c, dir_ / "in/c_wm.tiff", "TIFF"},
      {d, dir_ / "in/d_wm.jpe", "JPEG"},
  };
  for (const auto& o : outputs) {
    SCOPED_TRACE(o.output);
    ASSERT_TRUE(fs::exists(o.output));
    EXPECT_EQ(Exiftool(o.output, "FileType"), o.type);
    EXPECT_EQ(session_->Plugins().LoadBitmapInfo(o.output).Width,
              session_->Plugins().LoadBitmapInfo(o.source).Width);
    if (o.type == "JPEG") {
      EXPECT_EQ(Exiftool(o.output, "Copyright"), "(c) Studio");
      EXPECT_EQ(Exiftool(o.output, "Make"), Exiftool(o.source, "Make"));
      EXPECT_FALSE(Exiftool(o.output, "Make").empty());
    }
  }

  // Converted to the chosen output format, a TIFF named so takes the fields too.
  session_->Images().Paths = {c};
  session_->Runner().NamingState() = {};
  TOutputSettings converted = Settings(plOtherFolder);
  converted.Destination.KeepOriginalFormat = false;
  ASSERT_EQ(session_->Watermark(converted, progress_), TSession::TStart::Completed);
  const std::string out = dir_ / "out/c.jpg";
  EXPECT_EQ(Exiftool(out, "FileType"), "JPEG");
  EXPECT_EQ(Exiftool(out, "Copyright"), "(c) Studio");
}

TEST_F(BatchRun, ExifOnlyWatermarkCopiesBytesAndWritesTheFields) {
  std::string a = Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  session_->Exif().WriteCopyright = true;
  session_->Exif().Copyright = "(c) Studio";
  ASSERT_EQ(session_->Watermark(Settings(plOtherFolder), progress_), TSession::TStart::Completed);
  EXPECT_EQ(progress_.Position, 1);
  std::string out = (dir_.Path() / "out" / "a.jpg").string();
  EXPECT_EQ(Exif(out, 33432).rfind("(c) Studio", 0), 0u) << Exif(out, 33432);
  // Not re-encoded: the pixels are the source's own.
  auto po = session_->Plugins().LoadBitmap(out);
  auto ps = session_->Plugins().LoadBitmap(a);
  ASSERT_EQ(po->Width(), ps->Width());
  EXPECT_EQ(0, std::memcmp(po->Bits(), ps->Bits(), size_t(po->Width()) * po->Height() * 4));
}

// The modern formats in a run: a JPEG watermarked into WebP at quality 100
// (lossless), a phone's HEIC into JPEG; each output carries its source's
// EXIF (MakerNote included), ICC and XMP, and the written field.
TEST_F(BatchRun, ModernFormatsCarryTheirMetadataAcrossPlugins) {
  const std::vector<std::string> rows = OutputFormatNames(session_->Plugins().Formats());
  auto row = [&](const std::string& name) {
    auto it = std::find(rows.begin(), rows.end(), name);
    return it == rows.end() ? -1 : int32_t(it - rows.begin());
  };
  if (row("WEBP") < 0) GTEST_SKIP() << "modern.fp is not built";
  fs::path heic = test::TestDataDir() / "modern" / "heic_iphone11pro_exif_xmp.heic";
  if (!fs::exists(heic)) GTEST_SKIP() << "no modern sample pictures";
  // The rows of the standard plug-in come first and keep their numbers.
  EXPECT_EQ(row("JPG"), 1);
  EXPECT_GT(row("WEBP"), row("GIF"));
  auto exiftool = [](const std::string& args) {
    std::string out;
    if (FILE* pipe = popen(("exiftool " + args + " 2>/dev/null").c_str(), "r")) {
      char buffer[4096];
      while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
      pclose(pipe);
    }
    return out;
  };

  std::string a = Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  AddText("WEBP");
  session_->Exif().WriteCopyright = true;
  session_->Exif().Copyright = "(c) Studio";
  TOutputSettings settings = Settings(plOtherFolder);
  settings.Destination.KeepOriginalFormat = false;
  settings.Destination.DefaultFileFormat = row("WEBP");
  settings.Destination.JPEGQuality = 100;
  ASSERT_EQ(session_->Watermark(settings, progress_), TSession::TStart::Completed);
  std::string webp = (dir_.Path() / "out" / "a.webp").string();
  ASSERT_TRUE(fs::exists(webp));
  EXPECT_NE(test::ReadFileBytes(webp).find("VP8L"), std::string::npos) << "quality 100 must write lossless WebP";
  EXPECT_EQ(Exif(webp, 271), "Canon");
  EXPECT_EQ(Exif(webp, 33432).rfind("(c) Studio", 0), 0u);
  if (!exiftool("-ver").empty()) {
    std::string makerNote = exiftool("-s3 -MakerNotes:CanonModelID '" + webp + "'");
    EXPECT_EQ(makerNote, exiftool("-s3 -MakerNotes:CanonModelID '" + a + "'"));
    EXPECT_FALSE(makerNote.empty());
  }

  session_->Images().Paths.clear();
  std::string phone = (dir_.Path() / "in" / "phone.heic").string();
  fs::copy_file(heic, phone);
  session_->Images().Paths.push_back(phone);
  settings.Destination.DefaultFileFormat = row("JPG");
  settings.Destination.JPEGQuality = 80;
  ASSERT_EQ(session_->Watermark(settings, progress_), TSession::TStart::Completed);
  std::string jpg = (dir_.Path() / "out" / "phone.jpg").string();
  ASSERT_TRUE(fs::exists(jpg));
  EXPECT_EQ(Exif(jpg, 271), "Apple");
  EXPECT_EQ(Exif(jpg, 33432).rfind("(c) Studio", 0), 0u);
  if (!exiftool("-ver").empty()) {
    EXPECT_EQ(exiftool("-s3 -ProfileDescription '" + jpg + "'"), "Display P3\n");
    EXPECT_EQ(exiftool("-s3 -XMP-x:XMPToolkit '" + jpg + "'"), "XMP Core 5.4.0\n");
  }
}

TEST_F(BatchRun, OverwritePolicies) {
  Photo("canon_eos_rebel_t3i.jpg", "photo.jpg");
  AddText("x");
  std::string first = (dir_.Path() / "in" / "photo_wm.jpg").string();
  std::string second = (dir_.Path() / "in" / "photo_wm(1).jpg").string();
  test::WriteFileBytes(first, "keep me");
  test::WriteFileBytes(second, "keep me too");

  // Skip: nothing written, no progress.
  TRunStats stats;
  ASSERT_EQ(session_->Watermark(Settings(plSourceFolderRename, owSkip), progress_, &stats),
            TSession::TStart::Completed);
  EXPECT_EQ(stats.Skipped, 1);
  EXPECT_EQ(progress_.Position, 0);
  EXPECT_EQ(test::ReadFileBytes(first), "keep me");

  // Rename: the first free "(n)" (the repeat counter carries on across runs).
  session_->Runner().NamingState() = {};
  ASSERT_EQ(session_->Watermark(Settings(plSourceFolderRename, owRename), progress_), TSession::TStart::Completed);
  EXPECT_TRUE(fs::exists(dir_.Path() / "in" / "photo_wm(2).jpg"));
  EXPECT_EQ(test::ReadFileBytes(second), "keep me too");

  // Ask, answered Cancel: the run ends before anything is written.
  session_->Runner().NamingState() = {};
  answers_ = {TAnswer::Cancel};
  EXPECT_EQ(session_->Watermark(Settings(), progress_), TSession::TStart::Cancelled);
  EXPECT_EQ(questions_.back(), "Replace " + first + "?");
  EXPECT_EQ(test::ReadFileBytes(first), "keep me");
}

TEST_F(BatchRun, NoToAllSkipsTheRestOfTheRunWithoutAsking) {
  Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  Photo("canon_eos_rebel_t3i.jpg", "b.jpg");
  Photo("canon_eos_rebel_t3i.jpg", "c.jpg");
  AddText("x");
  for (const char* name : {"a.jpg", "b.jpg"}) test::WriteFileBytes(dir_.Path() / "out" / name, "old");
  answers_ = {TAnswer::NoToAll};
  TRunStats stats;
  ASSERT_EQ(session_->Watermark(Settings(plOtherFolder), progress_, &stats), TSession::TStart::Completed);
  EXPECT_EQ(questions_.size(), 1u);
  EXPECT_EQ(stats.Skipped, 2);
  EXPECT_EQ(stats.Written, 1);
  EXPECT_EQ(test::ReadFileBytes(dir_.Path() / "out" / "b.jpg"), "old");
  // The next run asks again.
  answers_ = {TAnswer::Yes, TAnswer::No};
  session_->Watermark(Settings(plOtherFolder, owAsk), progress_);
  EXPECT_GE(questions_.size(), 3u);
}

TEST_F(BatchRun, MissingFilesAndCancel) {
  std::string a = Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  Photo("canon_eos_rebel_t3i.jpg", "b.jpg");
  fs::remove(a);
  AddText("x");
  TRunStats stats;
  // The missing row advances by 3; cancelling while the second is drawn
  // leaves no output for it.
  progress_.CancelAt = 4;
  EXPECT_EQ(session_->Watermark(Settings(plOtherFolder), progress_, &stats), TSession::TStart::Cancelled);
  EXPECT_EQ(stats.Missing, 1);
  EXPECT_EQ(progress_.Position, 4);
  EXPECT_TRUE(fs::is_empty(dir_.Path() / "out"));
}

TEST_F(BatchRun, InPlaceOutputKeepsItsExifAndIsNotDeleted) {
  std::string a = Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  std::string make = Exif(a, 271);
  ASSERT_FALSE(make.empty());
  AddText("x");
  TOutputSettings s = Settings(plSourceFolderOverwrite, owReplace);
  s.Destination.RemoveOriginalFiles = true;
  ASSERT_EQ(session_->Watermark(s, progress_), TSession::TStart::Completed);
  ASSERT_TRUE(fs::exists(a));
  EXPECT_EQ(Exif(a, 271), make);
  // No stray copy of the original is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path() / "in"), {}), 1);
}

// A watermark whose EXIF step fails after looking at what it is given.
class TFailingExifWatermark : public TRunWatermark {
 public:
  bool HasLayers() const override { return Layers; }
  void RefreshContents(const TExifParameters&) override {}
  void DrawOnto(TBitmap32& picture) override { picture.Pixel(0, 0) = 0xFFFF0000; }
  void ApplyExif(const TPluginManager&, const std::string& source, const std::string& output) override {
    Source = source;
    Output = output;
    SourceBytes = test::ReadFileBytes(source);
    RaiseError("WriteExif", 1, "disk gone");
  }
  bool Layers = true;
  std::string Source, Output, SourceBytes;
};

TEST_F(BatchRun, OutputAppearsOnlyWhenWholeAndASourceWrittenOverIsNeverHalfDone) {
  // Until its EXIF is written the output lives under a hidden name, and the
  // source is read as it was; a failure in between leaves the original.
  std::string a = Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  const std::string original = test::ReadFileBytes(a);
  for (bool layers : {true, false}) {
    TFailingExifWatermark watermark;
    watermark.Layers = layers;
    TOutputSettings s = Settings(plSourceFolderOverwrite, owReplace);
    s.Destination.RemoveOriginalFiles = true;
    EXPECT_THROW(session_->Runner().ProcessFiles({a}, s, watermark, progress_), EError);
    EXPECT_EQ(watermark.Source, a);
    EXPECT_EQ(watermark.SourceBytes, original);
    EXPECT_NE(watermark.Output, a);
    EXPECT_EQ(fs::path(watermark.Output).parent_path(), fs::path(a).parent_path());
    EXPECT_EQ(fs::path(watermark.Output).extension(), ".jpg");
    EXPECT_EQ(test::ReadFileBytes(a), original) << "layers: " << layers;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path() / "in"), {}), 1) << "a temporary file stayed";
  }
}

TEST_F(BatchRun, NewOutputsGetTheUsualPermissionsAndReplacedOnesKeepTheirsAndTheirOwner) {
  std::string a = Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  AddText("x");
  const mode_t mask = umask(022);
  ASSERT_EQ(session_->Watermark(Settings(plOtherFolder), progress_), TSession::TStart::Completed);
  const fs::path out = dir_.Path() / "out" / "a.jpg";
  EXPECT_EQ(fs::status(out).permissions(), fs::perms(0644));
  fs::permissions(out, fs::perms(0640));
  // As root, a replaced file also keeps its owner.
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(out.c_str(), 65534, 65534), 0);
  }
  test::WriteFileBytes(out, "old");
  session_->Runner().NamingState() = {};
  ASSERT_EQ(session_->Watermark(Settings(plOtherFolder, owReplace), progress_), TSession::TStart::Completed);
  EXPECT_NE(test::ReadFileBytes(out), "old");
  EXPECT_EQ(fs::status(out).permissions(), fs::perms(0640));
  struct stat st;
  ASSERT_EQ(stat(out.c_str(), &st), 0);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
  }
  umask(mask);
}

TEST_F(BatchRun, RemovesOriginalsOnlyAfterTheOutputIsWritten) {
  std::string a = Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  AddText("x");
  TOutputSettings s = Settings(plOtherFolder);
  s.Destination.RemoveOriginalFiles = true;
  s.Destination.DestFolder = (dir_.Path() / "no-such-folder").string();
  EXPECT_THROW(session_->Watermark(s, progress_), EError);
  EXPECT_TRUE(fs::exists(a));
  session_->Runner().NamingState() = {};
  s.Destination.DestFolder = (dir_.Path() / "out").string();
  ASSERT_EQ(session_->Watermark(s, progress_), TSession::TStart::Completed);
  EXPECT_FALSE(fs::exists(a));
  EXPECT_TRUE(fs::exists(dir_.Path() / "out" / "a.jpg"));
}

TEST_F(BatchRun, ResizeBeforeAndAfterWatermarking) {
  std::string a = Photo("canon_eos_rebel_t3i.jpg", "a.jpg");  // 1152 x 768
  AddText("x");
  TOutputSettings s = Settings(plOtherFolder);
  s.DoResize = true;
  s.Resize.ResizeMethod = 1;
  s.Resize.Percentage = 50;
  ASSERT_EQ(session_->Watermark(s, progress_), TSession::TStart::Completed);
  auto out = session_->Plugins().LoadBitmap((dir_.Path() / "out" / "a.jpg").string());
  EXPECT_EQ(out->Width(), 576);
  EXPECT_EQ(out->Height(), 384);
}

TEST_F(BatchRun, ResizeCommand) {
  std::string a = Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  TDestinationSettings d = Settings().Destination;
  TResizeSettings r;
  r.ResizeMethod = 2;
  r.Width = 400;
  r.Height = 400;
  ASSERT_EQ(session_->Resize(d, r, progress_), TSession::TStart::Completed);
  EXPECT_EQ(progress_.Label, "Resizing files...");
  std::string out = (dir_.Path() / "in" / "a_resize.jpg").string();
  auto p = session_->Plugins().LoadBitmap(out);
  EXPECT_EQ(p->Width(), 400);
  EXPECT_EQ(p->Height(), 266);
  EXPECT_EQ(Exif(out, 271), Exif(a, 271));
}

TEST_F(BatchRun, NothingToDoAndEmptyWatermark) {
  EXPECT_EQ(session_->Watermark(Settings(), progress_), TSession::TStart::NothingToDo);
  Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  EXPECT_EQ(session_->Watermark(Settings(), progress_), TSession::TStart::EmptyWatermark);
  EXPECT_EQ(progress_.Maximum, 0);
}

TEST_F(BatchRun, ErrorEndsTheRunAndKeepsEarlierOutputs) {
  Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  std::string bad = (dir_.Path() / "in" / "b.jpg").string();
  test::WriteFileBytes(bad, "not a picture");
  session_->Images().Paths.push_back(bad);
  Photo("canon_eos_rebel_t3i.jpg", "c.jpg");
  AddText("x");
  try {
    session_->Watermark(Settings(plOtherFolder), progress_);
    FAIL() << "no error";
  } catch (const EError& e) {
    EXPECT_EQ(std::string(e.what()), "TPluginManager::LoadBitmapA::198 - Error while loading " + bad + "!");
  }
  EXPECT_TRUE(fs::exists(dir_.Path() / "out" / "a.jpg"));
  EXPECT_FALSE(fs::exists(dir_.Path() / "out" / "b.jpg"));
  EXPECT_FALSE(fs::exists(dir_.Path() / "out" / "c.jpg"));
}

TEST_F(BatchRun, CommandLineAddsMatchingPicturesAndOpensTheWatermark) {
  Photo("canon_eos_rebel_t3i.jpg", "a.jpg");
  session_->Images().Paths.clear();
  test::WriteFileBytes(dir_.Path() / "in" / "notes.txt", "x");
  fs::create_directories(dir_.Path() / "in" / "sub");
  fs::copy_file(dir_.Path() / "in" / "a.jpg", dir_.Path() / "in" / "sub" / "NOTJPG.PNG");
  AddText("mark");
  std::string mark = dir_ / "mark.tvx";
  SaveWatermark(mark, session_->Layers(), session_->Exif());
  session_->Layers().Clear();

  session_->ApplyCommandLine(ParseCommandLine(
      {"-w", mark, "-a", (dir_.Path() / "in" / "*.JPG").string(), "-ar", (dir_.Path() / "in").string(), "jpg"}));
  EXPECT_EQ(session_->Layers().Count(), 1);
  ASSERT_EQ(session_->Images().Paths.size(), 3u);
  EXPECT_EQ(session_->Images().Paths[0], (dir_.Path() / "in" / "a.jpg").string());
  // "-ar" with "jpg": a.jpg and sub/NOTJPG.PNG (a loadable format); notes.txt is not a candidate.
  std::set<std::string> recursive(session_->Images().Paths.begin() + 1, session_->Images().Paths.end());
  EXPECT_TRUE(recursive.count((dir_.Path() / "in" / "sub" / "NOTJPG.PNG").string()));
  // A "-w" with another extension or a missing file is ignored.
  session_->ApplyCommandLine(ParseCommandLine({"-w", dir_ / "missing.tvx", "-w", dir_ / "in/notes.txt"}));
  EXPECT_EQ(session_->Layers().Count(), 1);
}

TEST_F(BatchRun, ADamagedWatermarkOnTheCommandLineKeepsTheOpenOne) {
  AddText("kept");
  session_->Exif().WriteArtist = true;
  std::string damaged = dir_ / "damaged.tvx";
  test::WriteFileBytes(damaged, std::string("TVX1\1\0\0\0STR1\4\0\0\0Junk", 20));
  std::string error;
  try {
    session_->ApplyCommandLine(ParseCommandLine({"-w", damaged}));
  } catch (const EError& e) {
    error = e.what();
  }
  EXPECT_EQ(error, "OpenWatermark::1 - Cannot read the watermark " + damaged +
                       ": Open::137 - Unknown chunk class (Junk)!");
  ASSERT_EQ(session_->Layers().Count(), 1);
  EXPECT_EQ(dynamic_cast<TTextLayer&>(session_->Layers().Items(0)).Text, "kept");
  EXPECT_TRUE(session_->Exif().WriteArtist);
}

TEST_F(BatchRun, AnOpenedWatermarkExpandsItsMacrosFromTheSessionsPicture) {
  AddText("<FILENAME>");
  std::string mark = dir_ / "mark.tvx";
  session_->Document().Save(mark);
  session_->Document().Reset();
  session_->OpenWatermarkFile(mark);
  ASSERT_EQ(session_->Layers().Count(), 1);
  auto& text = dynamic_cast<TTextLayer&>(session_->Layers().Items(0));
  EXPECT_EQ(text.PictureParameters, &session_->PictureParameters());
  EXPECT_EQ(session_->Document().FileName(), mark);
}

}  // namespace
}  // namespace tvx
