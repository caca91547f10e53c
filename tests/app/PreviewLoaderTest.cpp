// The preview loader with the real kobalt.fp and real photos; the order of
// events is pinned with a "picture" whose file is a named pipe: its decoder
// waits in the middle of a load until the test hands the bytes over.

#include "app/PreviewLoader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "TaskQueue.h"
#include "imageio/PluginManager.h"
#include "imageio/PluginTestSupport.h"
#include "support/TestSupport.h"
#include "util/Error.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;

/// A ".tpx" picture behind a named pipe: the picture plug-in's decoder
/// blocks opening it until Release writes the picture.
class TGatedPicture {
 public:
  explicit TGatedPicture(std::string path) : path_(std::move(path)) {
    if (mkfifo(path_.c_str(), 0600) != 0) ADD_FAILURE() << "mkfifo " << path_;
  }
  ~TGatedPicture() {
    // A decoder still waiting gets an empty file; a later one no file.
    if (fd_ < 0) fd_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ >= 0) close(fd_);
    unlink(path_.c_str());
  }
  const std::string& Path() const { return path_; }

  /// Waits until a decoder has opened the file.
  bool WaitForDecoder() {
    return test::WaitUntil([&] {
      fd_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      return fd_ >= 0;  // ENXIO while nobody reads
    });
  }
  /// Hands over a w x h picture of one colour ("BAD!" content: a broken result).
  void Release(int32_t w, int32_t h, TColor32 color, bool broken = false) {
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    std::string bytes(broken ? "BAD!" : "TPX1");
    bytes.append(reinterpret_cast<const char*>(&w), 4).append(reinterpret_cast<const char*>(&h), 4);
    for (int32_t i = 0; i < w * h; ++i) bytes.append(reinterpret_cast<const char*>(&color), 4);
    EXPECT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd_);
    fd_ = -1;
    unlink(path_.c_str());
  }

 private:
  std::string path_;
  int fd_ = -1;
};

struct TDelivery {
  uint64_t Request = 0;
  std::string Path;
  TBitmap32 Picture;
  std::string Error;
  std::string ErrorClass;
  std::thread::id Thread;
};

class PreviewLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    TVX_REQUIRE_TESTDATA();
    fs::copy_file(test::BinDir() / "kobalt.fp", plugins_.Path() / "kobalt.fp");
    test::CopyTestPlugins(plugins_, {"picture"});
    manager_ = std::make_unique<TPluginManager>(plugins_.Path().string());
    loader_ = std::make_unique<TPreviewLoader>(*manager_, queue_.PostFunc());
    loader_->OnLoaded = [this](uint64_t request, const std::string& path, TBitmap32&& picture) {
      deliveries_.push_back({request, path, std::move(picture), {}, {}, std::this_thread::get_id()});
    };
    loader_->OnFailed = [this](uint64_t request, const std::string& path, std::exception_ptr error) {
      TDelivery d{request, path, {}, {}, {}, std::this_thread::get_id()};
      try {
        std::rethrow_exception(error);
      } catch (const EError& e) {
        d.Error = e.what();
        d.ErrorClass = "EError";
      } catch (const std::exception& e) {
        d.Error = e.what();
      }
      deliveries_.push_back(std::move(d));
    };
  }
  void TearDown() override {
    if (loader_) loader_->Stop();
  }
  static std::string Photo(const char* name) { return (test::TestDataDir() / "photos" / name).string(); }
  static std::string Bad(const char* name) { return (test::TestDataDir() / "bad" / name).string(); }
  std::vector<TColor32> Pixels(const std::string& path) {
    auto picture = manager_->LoadBitmap(path);
    return {picture->Bits(), picture->Bits() + size_t(picture->Width()) * picture->Height()};
  }
  static std::vector<TColor32> Pixels(const TBitmap32& b) {
    return {b.Bits(), b.Bits() + size_t(b.Width()) * b.Height()};
  }

  test::TTempDir plugins_;
  test::TTempDir dir_;
  test::TTaskQueue queue_;  // before the loader: the worker posts to it
  std::unique_ptr<TPluginManager> manager_;
  std::unique_ptr<TPreviewLoader> loader_;
  std::vector<TDelivery> deliveries_;
};

TEST_F(PreviewLoader, DeliversThePictureOnlyThroughThePostedTask) {
  const std::string path = Photo("canon_eos_rebel_t3i.jpg");
  const uint64_t request = loader_->Request(path);
  EXPECT_EQ(request, 1u);
  EXPECT_EQ(loader_->Current(), request);
  ASSERT_TRUE(queue_.WaitForPosted(1));
  EXPECT_TRUE(deliveries_.empty());  // nothing happens behind the user interface's back
  EXPECT_EQ(queue_.RunAll(), 1u);
  ASSERT_EQ(deliveries_.size(), 1u);
  EXPECT_EQ(deliveries_[0].Request, request);
  EXPECT_EQ(deliveries_[0].Path, path);
  EXPECT_EQ(deliveries_[0].Thread, std::this_thread::get_id());
  EXPECT_EQ(Pixels(deliveries_[0].Picture), Pixels(path));
  EXPECT_EQ(loader_->DecodeCount(), 1u);
}

TEST_F(PreviewLoader, OfThreeQuickRequestsOnlyTheThirdIsShownAndTheSecondNeverDecoded) {
  TGatedPicture first(dir_ / "first.tpx");
  loader_->Request(first.Path());
  ASSERT_TRUE(first.WaitForDecoder());
  loader_->Request(Photo("kodak_dx4330.jpg"));
  const std::string third = Photo("canon_eos_rebel_t3i.jpg");
  const uint64_t last = loader_->Request(third);
  first.Release(4, 4, 0xFF112233);

  ASSERT_TRUE(queue_.WaitForPosted(1));
  queue_.RunAll();
  loader_->Stop();
  EXPECT_EQ(queue_.Posted(), 1u);
  ASSERT_EQ(deliveries_.size(), 1u);
  EXPECT_EQ(deliveries_[0].Request, last);
  EXPECT_EQ(deliveries_[0].Path, third);
  EXPECT_EQ(Pixels(deliveries_[0].Picture), Pixels(third));
  EXPECT_EQ(loader_->DecodeCount(), 2u);  // the first, dropped, and the third
}

TEST_F(PreviewLoader, ThreeQuickRequestsOfRealPhotosEndWithTheThird) {
  loader_->Request(Photo("apple_iphone5_gps_orient3.jpg"));
  loader_->Request(Photo("kodak_dx4330.jpg"));
  const uint64_t last = loader_->Request(Photo("olympus_pen_e-p3.jpg"));
  ASSERT_TRUE(test::WaitUntil([&] {
    queue_.RunAll();
    return !deliveries_.empty();
  }));
  ASSERT_EQ(deliveries_.size(), 1u);
  EXPECT_EQ(deliveries_[0].Request, last);
  EXPECT_EQ(deliveries_[0].Path, Photo("olympus_pen_e-p3.jpg"));
  loader_->Stop();
  EXPECT_LE(loader_->DecodeCount(), 3u);
  EXPECT_EQ(queue_.RunAll(), 0u);
}

TEST_F(PreviewLoader, TheSameRequestTwiceWhileItLoadsDecodesOnce) {
  TGatedPicture picture(dir_ / "same.tpx");
  const uint64_t firstNumber = loader_->Request(picture.Path());
  ASSERT_TRUE(picture.WaitForDecoder());
  const uint64_t second = loader_->Request(picture.Path());
  EXPECT_GT(second, firstNumber);
  picture.Release(3, 2, 0xFF00FF00);
  ASSERT_TRUE(queue_.WaitForPosted(1));
  queue_.RunAll();
  loader_->Stop();
  EXPECT_EQ(queue_.Posted(), 1u);
  ASSERT_EQ(deliveries_.size(), 1u);
  EXPECT_EQ(deliveries_[0].Request, second);
  EXPECT_EQ(Pixels(deliveries_[0].Picture), std::vector<TColor32>(6, 0xFF00FF00));
  EXPECT_EQ(loader_->DecodeCount(), 1u);
}

TEST_F(PreviewLoader, AFailingFileIsReportedAndTheNextRequestStillLoads) {
  const std::string bad = Bad("png_truncated_idat.png");
  const uint64_t request = loader_->Request(bad);
  ASSERT_TRUE(queue_.WaitForPosted(1));
  queue_.RunAll();
  ASSERT_EQ(deliveries_.size(), 1u);
  EXPECT_EQ(deliveries_[0].Request, request);
  EXPECT_EQ(deliveries_[0].ErrorClass, "EError");
  EXPECT_EQ(deliveries_[0].Error, "TPluginManager::LoadBitmapA::198 - Error while loading " + bad + "!");
  EXPECT_TRUE(deliveries_[0].Picture.Empty());

  const std::string good = Photo("canon_eos_rebel_t3i.jpg");
  loader_->Request(good);
  ASSERT_TRUE(queue_.WaitForPosted(2));
  queue_.RunAll();
  ASSERT_EQ(deliveries_.size(), 2u);
  EXPECT_EQ(deliveries_[1].Error, "");
  EXPECT_EQ(deliveries_[1].Path, good);
}

TEST_F(PreviewLoader, AFailureOfARequestNoLongerCurrentIsNotReported) {
  // a failure superseded while decoding
  TGatedPicture broken(dir_ / "broken.tpx");
  loader_->Request(broken.Path());
  ASSERT_TRUE(broken.WaitForDecoder());
  const std::string good = Photo("canon_eos_rebel_t3i.jpg");
  loader_->Request(good);
  broken.Release(1, 1, 0, true);
  ASSERT_TRUE(queue_.WaitForPosted(1));
  queue_.RunAll();
  ASSERT_EQ(deliveries_.size(), 1u);
  EXPECT_EQ(deliveries_[0].Path, good);
  EXPECT_EQ(deliveries_[0].Error, "");

  // a failure already posted, superseded before it arrives
  loader_->Request(Bad("png_truncated_idat.png"));
  ASSERT_TRUE(queue_.WaitForPosted(2));
  loader_->Request(good);
  ASSERT_TRUE(queue_.WaitForPosted(3));
  queue_.RunAll();
  ASSERT_EQ(deliveries_.size(), 2u);
  EXPECT_EQ(deliveries_[1].Path, good);
  EXPECT_EQ(deliveries_[1].Error, "");
}

TEST_F(PreviewLoader, AWithdrawnPictureNeverAppears) {
  // withdrawn while it decodes: nothing is even posted
  TGatedPicture picture(dir_ / "removed.tpx");
  loader_->Request(picture.Path());
  ASSERT_TRUE(picture.WaitForDecoder());
  loader_->Withdraw();
  EXPECT_EQ(loader_->Current(), 0u);
  picture.Release(2, 2, 0xFFFFFFFF);
  ASSERT_TRUE(test::WaitUntil([&] { return loader_->DecodeCount() == 1; }));

  // withdrawn after its result was posted
  loader_->Request(Photo("canon_eos_rebel_t3i.jpg"));
  ASSERT_TRUE(queue_.WaitForPosted(1));
  loader_->Withdraw();
  loader_->Stop();
  EXPECT_EQ(queue_.Posted(), 1u);
  queue_.RunAll();
  EXPECT_TRUE(deliveries_.empty());
}

TEST_F(PreviewLoader, StopWaitsForTheDecodeInFlightAndDeliversNothing) {
  TGatedPicture picture(dir_ / "slow.tpx");
  loader_->Request(picture.Path());
  ASSERT_TRUE(picture.WaitForDecoder());
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    picture.Release(8, 8, 0xFF808080);
  });
  loader_->Stop();
  releaser.join();
  EXPECT_EQ(loader_->DecodeCount(), 1u);
  EXPECT_EQ(queue_.Posted(), 0u);
  EXPECT_EQ(loader_->Request(Photo("canon_eos_rebel_t3i.jpg")), 0u);  // stopped for good
  loader_->Stop();                                                    // again: nothing
  EXPECT_EQ(loader_->DecodeCount(), 1u);
}

TEST_F(PreviewLoader, TasksPostedBeforeStopDeliverNothingEvenAfterTheLoaderIsGone) {
  loader_->Request(Photo("canon_eos_rebel_t3i.jpg"));
  ASSERT_TRUE(queue_.WaitForPosted(1));
  loader_->Stop();
  EXPECT_EQ(queue_.RunAll(), 1u);
  EXPECT_TRUE(deliveries_.empty());

  // the loader destroyed with a task still queued (the sanitizer build
  // catches a task that touches the loader)
  loader_ = std::make_unique<TPreviewLoader>(*manager_, queue_.PostFunc());
  loader_->OnLoaded = [this](uint64_t, const std::string&, TBitmap32&&) { deliveries_.push_back({}); };
  loader_->Request(Photo("canon_eos_rebel_t3i.jpg"));
  ASSERT_TRUE(queue_.WaitForPosted(2));
  loader_.reset();
  EXPECT_EQ(queue_.RunAll(), 1u);
  EXPECT_TRUE(deliveries_.empty());
}

// Niceness of every thread of this process, from /proc.
std::vector<int> ThreadNiceness() {
  std::vector<int> values;
  for (const auto& task : fs::directory_iterator("/proc/self/task")) {
    std::ifstream in(task.path() / "stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // fields after the command's closing parenthesis; nice is field 19
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 19 && rest >> field; ++i) {
    }
    values.push_back(std::stoi(field));
  }
  return values;
}

TEST_F(PreviewLoader, TheWorkerRunsAtALowerPriority) {
  const int own = getpriority(PRIO_PROCESS, 0);
  TGatedPicture picture(dir_ / "gate.tpx");
  loader_->Request(picture.Path());
  ASSERT_TRUE(picture.WaitForDecoder());
  const std::vector<int> nice = ThreadNiceness();
  picture.Release(1, 1, 0);
  EXPECT_NE(std::find(nice.begin(), nice.end(), std::min(own + 5, 19)), nice.end()) << own;
}

}  // namespace
}  // namespace tvx
