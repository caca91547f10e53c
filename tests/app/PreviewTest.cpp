// The preview controller with a real session, the real kobalt.fp and real
// photos; the loader's results are posted to a queue the test runs.

#include "app/Preview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TaskQueue.h"
#include "app/Session.h"
#include "imageio/PluginManager.h"
#include "imageio/PluginTestSupport.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "support/TestSupport.h"
#include "util/Error.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

std::vector<TColor32> Pixels(const TBitmap32& b) {
  return {b.Bits(), b.Bits() + size_t(b.Width()) * b.Height()};
}

class Preview : public ::testing::Test {
 protected:
  void SetUp() override {
    TVX_REQUIRE_TESTDATA();
    fs::copy_file(test::BinDir() / "kobalt.fp", plugins_.Path() / "kobalt.fp");
    test::CopyTestPlugins(plugins_, {"picture"});
    fs::create_directories(dir_.Path() / "out");
    TSession::TOptions options;
    options.ConfigFileName = dir_ / ".config";
    options.PluginFolder = plugins_.Path().string();
    options.StylesFolder = dir_.Path().string() + "/";
    session_ = std::make_unique<TSession>(options);
    preview_ = std::make_unique<TPreview>(*session_, queue_.PostFunc());
    preview_->OnPictureChanged = [this] { ++changes_; };
    preview_->OnError = [this](std::exception_ptr error) {
      try {
        std::rethrow_exception(error);
      } catch (const std::exception& e) {
        errors_.push_back(e.what());
      }
    };
  }
  void TearDown() override {
    preview_.reset();  // stops the loader before the plug-ins go
    session_.reset();
  }
  std::string Photo(const std::string& name) {
    std::string path = dir_ / name;
    fs::copy_file(test::TestDataDir() / "photos" / name, path, fs::copy_options::overwrite_existing);
    session_->Images().Paths.push_back(path);
    return path;
  }
  /// Runs posted tasks until the preview's picture has arrived.
  bool WaitForPicture() {
    return test::WaitUntil([&] {
      queue_.RunAll();
      return !preview_->Loading();
    });
  }
  TTextLayer& AddText(const std::string& text) {
    auto& layer = session_->Layers().Add<TTextLayer>();
    layer.BeginUpdate();
    layer.Text = text;
    layer.Font.Size = 28;
    layer.Font.Bold = true;
    layer.Font.Color = 0x0000FFFF;
    layer.HAlign = haRight;
    layer.VAlign = vaBottom;
    layer.XCoord = 12;
    layer.YUnit = cuPercent;
    layer.YCoord = 4;
    layer.EndUpdate();
    return layer;
  }
  std::vector<TColor32> Decoded(const std::string& path) {
    return Pixels(*session_->Plugins().LoadBitmap(path));
  }

  test::TTempDir plugins_;
  test::TTempDir dir_;
  test::TTaskQueue queue_;
  std::unique_ptr<TSession> session_;
  std::unique_ptr<TPreview> preview_;
  int changes_ = 0;
  std::vector<std::string> errors_;
};

TEST_F(Preview, SelectSizesThePictureAtOnceThenShowsItsPixels) {
  Photo("canon_eos_rebel_t3i.jpg");
  const std::string path = Photo("kodak_dx4330.jpg");
  TTextLayer& text = AddText("<FILE_INDEX>/<FILE_COUNT> <WIDTH>x<HEIGHT> <MODEL>");
  const TPictureSize size = session_->Plugins().LoadBitmapInfo(path);

  preview_->Select(path, 2);
  // before any pixel arrived: the right size, fully transparent, the
  // watermark already following the picture
  EXPECT_TRUE(preview_->Loading());
  EXPECT_EQ(changes_, 1);
  ASSERT_EQ(preview_->Picture().Width(), size.Width);
  ASSERT_EQ(preview_->Picture().Height(), size.Height);
  const std::vector<TColor32> pixels = Pixels(preview_->Picture());
  EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](TColor32 c) { return c == 0; }));
  const TExifParameters& p = session_->PictureParameters();
  EXPECT_EQ(p.FileName, path);
  EXPECT_EQ(p.Index, 2);
  EXPECT_EQ(p.Count, 2);
  EXPECT_EQ(p.Width, size.Width);
  EXPECT_EQ(p.Height, size.Height);
  EXPECT_EQ(p.Values.count(272), 1u);  // the camera model, for <MODEL>
  EXPECT_EQ(text.Location(), text.GetLayerRect(size.Width, size.Height));
  TTextLayer expected(nullptr);
  expected.Text =
      "2/2 " + std::to_string(size.Width) + "x" + std::to_string(size.Height) + " " + p.Values.at(272);
  expected.Font = text.Font;
  expected.RenderText();
  EXPECT_EQ(text.SourceBitmap().Width(), expected.SourceBitmap().Width());

  ASSERT_TRUE(WaitForPicture());
  EXPECT_EQ(changes_, 2);
  EXPECT_EQ(Pixels(preview_->Picture()), Decoded(path));
  EXPECT_EQ(preview_->RequestedPath(), path);
}

TEST_F(Preview, AMissingFileChangesNothing) {
  const std::string path = Photo("canon_eos_rebel_t3i.jpg");
  preview_->Select(path, 1);
  ASSERT_TRUE(WaitForPicture());
  const int changes = changes_;
  preview_->Select(dir_ / "deleted.jpg", 2);
  EXPECT_EQ(changes_, changes);
  EXPECT_EQ(preview_->RequestedPath(), path);
  EXPECT_EQ(Pixels(preview_->Picture()), Decoded(path));
}

TEST_F(Preview, AnUnreadableSizeRaisesAndLeavesThePreviewAsItWas) {
  const std::string path = Photo("canon_eos_rebel_t3i.jpg");
  preview_->Select(path, 1);
  ASSERT_TRUE(WaitForPicture());
  const TExifParameters parameters = session_->PictureParameters();
  const int changes = changes_;

  // a zero size, and a header claiming 65535 x 65535 (16 GB of pixels that
  // would be allocated before the decoder refuses them)
  const std::string huge = dir_ / "huge.tpx";
  test::WriteFileBytes(huge, std::string("TPX1\xFF\xFF\0\0\xFF\xFF\0\0", 12));
  for (const std::string& bad :
       {(test::TestDataDir() / "bad" / "jpeg_sof_zero_dimensions.jpg").string(), huge}) {
    std::string error;
    try {
      preview_->Select(bad, 2);
    } catch (const EError& e) {
      error = e.what();
    }
    EXPECT_EQ(error, "LoadImageInOtherThread::37 - Error while loading " + bad + "!");
    EXPECT_EQ(changes_, changes);
    EXPECT_EQ(preview_->RequestedPath(), path);
    EXPECT_EQ(Pixels(preview_->Picture()), Decoded(path));
    EXPECT_EQ(session_->PictureParameters().FileName, parameters.FileName);
    EXPECT_FALSE(preview_->Loading());
  }
}

TEST_F(Preview, ADecodeFailureIsReportedAndThePictureStaysEmptyOfPixels) {
  const std::string bad = (test::TestDataDir() / "bad" / "png_truncated_idat.png").string();
  preview_->Select(bad, 1);
  EXPECT_EQ(preview_->Picture().Width(), 640);
  ASSERT_TRUE(WaitForPicture());
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0], "TPluginManager::LoadBitmapA::198 - Error while loading " + bad + "!");
  EXPECT_EQ(preview_->Picture().Width(), 640);
  const std::vector<TColor32> pixels = Pixels(preview_->Picture());
  EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](TColor32 c) { return c == 0; }));
}

TEST_F(Preview, AParametersErrorRaisesAfterTheSizeChangedAndLoadsNothing) {
  // ".tpr" is a format the picture plug-in reads but no plug-in writes: its
  // EXIF cannot be routed anywhere.
  const std::string path = dir_ / "load-only.tpr";
  std::string bytes("TPX1\2\0\0\0\3\0\0\0", 12);
  bytes.append(24, '\x7F');
  test::WriteFileBytes(path, bytes);
  std::string error;
  try {
    preview_->Select(path, 1);
  } catch (const EError& e) {
    error = e.what();
  }
  EXPECT_EQ(error.rfind("TPluginManager::GetExif::", 0), 0u) << error;
  EXPECT_EQ(preview_->Picture().Width(), 2);
  EXPECT_EQ(preview_->Picture().Height(), 3);
  EXPECT_FALSE(preview_->Loading());
  preview_->Stop();
  EXPECT_EQ(preview_->Loader().DecodeCount(), 0u);
}

TEST_F(Preview, ClearEmptiesThePictureAndItsPendingLoadNeverAppears) {
  const std::string path = Photo("apple_iphone5_gps_orient3.jpg");
  preview_->Select(path, 1);
  ASSERT_TRUE(queue_.WaitForPosted(1));  // the pixels are on their way
  preview_->Clear();
  EXPECT_TRUE(preview_->Picture().Empty());
  EXPECT_FALSE(preview_->Loading());
  EXPECT_EQ(preview_->RequestedPath(), "");
  const int changes = changes_;
  EXPECT_EQ(queue_.RunAll(), 1u);
  EXPECT_TRUE(preview_->Picture().Empty());
  EXPECT_EQ(changes_, changes);
  // with nothing to clear nothing is announced
  preview_->Clear();
  EXPECT_EQ(changes_, changes);
}

// What you see is what you get: the composite of the preview equals,
// pixel for pixel, what a batch run writes for the same picture.
TEST_F(Preview, TheCompositeIsWhatTheBatchRunWrites) {
  const std::string path = Photo("kodak_dx4330.jpg");
  RegisterFilters();
  TTextLayer& text = AddText("<FILENAME> #<FILE_INDEX> of <FILE_COUNT>, <WIDTH>x<HEIGHT>, <MAKE>");
  TFiltersParams styles;
  styles.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
  styles.Items["Stroke"] = TStrokeRecord::Defaults().ToParams();
  text.SetStyles(styles);
  auto& tile = session_->Layers().Add<TBitmapLayer>();
  tile.BeginUpdate();
  tile.SourceBitmap().SetSize(40, 16);
  tile.SourceBitmap().Clear(0xC0FF0000);
  tile.Tile = true;
  tile.XTileOffs = 70;
  tile.YTileOffs = 33;
  tile.XUnit = cuPercent;
  tile.XCoord = 13.5f;
  tile.SetMasterAlpha(100);
  tile.EndUpdate();
  session_->Document().Changed();

  preview_->Select(path, 1);
  ASSERT_TRUE(WaitForPicture());
  const TBitmap32 composite = preview_->Composite();
  ASSERT_EQ(composite.Width(), preview_->Picture().Width());
  EXPECT_NE(Pixels(composite), Pixels(preview_->Picture()));

  TOutputSettings settings;
  settings.Destination.Placement = plOtherFolder;
  settings.Destination.DestFolder = (dir_.Path() / "out").string();
  settings.Destination.KeepOriginalFormat = false;
  const auto rows = OutputFormatNames(session_->Plugins().Formats());
  settings.Destination.DefaultFileFormat =
      static_cast<int32_t>(std::find(rows.begin(), rows.end(), "PNG") - rows.begin());
  struct : TRunProgress {
    void Begin(const std::string&, int32_t) override {}
    bool AdvanceAndCheckCancel(int32_t) override { return false; }
  } progress;
  ASSERT_EQ(session_->Watermark(settings, progress), TSession::TStart::Completed);
  const std::vector<TColor32> written = Decoded((dir_.Path() / "out" / "kodak_dx4330.png").string());
  EXPECT_TRUE(Pixels(composite) == written);

  // the run drew the same macros, and the preview is still its own picture's
  preview_->RefreshWatermark();
  EXPECT_TRUE(Pixels(preview_->Composite()) == written);
}

TEST_F(Preview, TheCompositeIsRebuiltOnlyWhenThePictureOrTheWatermarkChanged) {
  const std::string path = Photo("canon_eos_rebel_t3i.jpg");
  AddText("mark");
  preview_->Select(path, 1);
  ASSERT_TRUE(WaitForPicture());
  preview_->Composite();
  const uint64_t builds = preview_->CompositeBuilds();
  preview_->Composite();
  preview_->Composite();
  EXPECT_EQ(preview_->CompositeBuilds(), builds);

  // the editor hands back a changed watermark: placed for this picture, redrawn
  auto& layer = dynamic_cast<TBaseLayer&>(session_->Layers().Items(0));
  layer.XCoord = 40;
  const int changes = changes_;
  session_->Document().Changed();
  EXPECT_EQ(changes_, changes + 1);
  EXPECT_EQ(layer.Location(), layer.GetLayerRect(preview_->Picture().Width(), preview_->Picture().Height()));
  preview_->Composite();
  EXPECT_EQ(preview_->CompositeBuilds(), builds + 1);

  preview_->Select(path, 1);
  preview_->Composite();  // the transparent stand-in
  ASSERT_TRUE(WaitForPicture());
  preview_->Composite();
  EXPECT_EQ(preview_->CompositeBuilds(), builds + 3);
}

TEST_F(Preview, AnOpenedWatermarkIsPlacedForThePictureOnView) {
  const std::string path = Photo("canon_eos_rebel_t3i.jpg");
  AddText("opened");
  const std::string mark = dir_ / "mark.tvx";
  session_->Document().Save(mark);
  session_->Document().Reset();
  preview_->Select(path, 1);
  ASSERT_TRUE(WaitForPicture());
  const std::vector<TColor32> bare = Pixels(preview_->Composite());
  session_->OpenWatermarkFile(mark);
  auto& layer = dynamic_cast<TBaseLayer&>(session_->Layers().Items(0));
  EXPECT_EQ(layer.Location(), layer.GetLayerRect(preview_->Picture().Width(), preview_->Picture().Height()));
  EXPECT_NE(Pixels(preview_->Composite()), bare);
}

}  // namespace
}  // namespace tvx
