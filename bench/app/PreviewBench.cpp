// Selecting a 24-megapixel JPEG in the preview until its composite (picture
// plus watermark, as the batch run draws it) is ready, beside decoding the
// same file alone with LoadBitmap. The JPEG is made by kobalt.fp itself.
//
//   cmake --preset bench && cmake --build --preset bench -j2 --target preview_bench kobalt
//   build/bench/bench/preview_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>

#include "../raster/SyntheticPhoto.h"
#include "app/Preview.h"
#include "app/Session.h"
#include "imageio/PluginManager.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

namespace fs = std::filesystem;
constexpr int kWidth = 6000, kHeight = 4000;

// The user-interface thread's queue: the worker posts, the benchmark runs.
class TQueue {
 public:
  void Post(TPreviewLoader::TTask task) {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    posted_.notify_one();
  }
  void RunOne() {
    TPreviewLoader::TTask task;
    {
      std::unique_lock lock(mutex_);
      posted_.wait(lock, [&] { return !tasks_.empty(); });
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<TPreviewLoader::TTask> tasks_;
};

struct TFixture {
  fs::path Folder = fs::temp_directory_path() / "tarvex-preview-bench";
  std::string Jpeg = (Folder / "photo-24mp.jpg").string();
  std::unique_ptr<TSession> Session;
  TQueue Queue;
  std::unique_ptr<TPreview> Preview;

  TFixture() {
    fs::create_directories(Folder);
    TSession::TOptions options;
    options.ConfigFileName = (Folder / ".config").string();
    options.PluginFolder = TARVEX_BIN_DIR;
    options.StylesFolder = Folder.string() + "/";
    Session = std::make_unique<TSession>(options);
    if (!fs::exists(Jpeg)) {
      Session->Plugins().SetQuality(".jpg", 90);
      Session->Plugins().SaveBitmap(Jpeg, bench::SyntheticPhoto(kWidth, kHeight));
    }
    Session->Images().Paths = {Jpeg};

    // A typical watermark: a half-transparent logo and a text with a shadow.
    auto& logo = Session->Layers().Add<TBitmapLayer>();
    logo.BeginUpdate();
    logo.SourceBitmap() = bench::SyntheticLayer(400, 120);
    logo.HAlign = haRight;
    logo.VAlign = vaBottom;
    logo.XCoord = logo.YCoord = 20;
    logo.SetMasterAlpha(128);
    logo.EndUpdate();
    auto& text = Session->Layers().Add<TTextLayer>();
    text.BeginUpdate();
    text.Text = "(c) Studio <FILENAME>";
    text.Font.Size = 48;
    text.Font.Color = 0x00FFFFFF;
    text.VAlign = vaBottom;
    text.XCoord = text.YCoord = 20;
    text.EndUpdate();
    RegisterFilters();
    TFiltersParams styles;
    styles.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
    text.SetStyles(styles);
    Session->Document().Changed();
    Preview =
        std::make_unique<TPreview>(*Session, [this](TPreviewLoader::TTask t) { Queue.Post(std::move(t)); });
  }
  ~TFixture() {
    Preview.reset();
    Session.reset();
  }
};

TFixture& Fixture() {
  static TFixture fixture;
  return fixture;
}

void BM_LoadBitmapAlone(benchmark::State& state) {
  TFixture& f = Fixture();
  for (auto _ : state) benchmark::DoNotOptimize(f.Session->Plugins().LoadBitmap(f.Jpeg));
  state.SetLabel("6000 x 4000 JPEG");
}

void BM_SelectUntilCompositeReady(benchmark::State& state) {
  TFixture& f = Fixture();
  using TClock = std::chrono::steady_clock;
  auto ms = [](TClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  double selectMs = 0, pixelsMs = 0, compositeMs = 0;
  for (auto _ : state) {
    const auto start = TClock::now();
    f.Preview->Select(f.Jpeg, 1);  // the size is shown when this returns
    const auto selected = TClock::now();
    while (f.Preview->Loading()) f.Queue.RunOne();
    const auto arrived = TClock::now();
    benchmark::DoNotOptimize(f.Preview->Composite().Bits());
    selectMs += ms(selected - start);
    pixelsMs += ms(arrived - selected);
    compositeMs += ms(TClock::now() - arrived);
  }
  // where the time goes: Select itself, waiting for the pixels, compositing
  state.counters["select_ms"] = benchmark::Counter(selectMs, benchmark::Counter::kAvgIterations);
  state.counters["pixels_ms"] = benchmark::Counter(pixelsMs, benchmark::Counter::kAvgIterations);
  state.counters["composite_ms"] = benchmark::Counter(compositeMs, benchmark::Counter::kAvgIterations);
}

void BM_CompositeRebuild(benchmark::State& state) {
  TFixture& f = Fixture();
  f.Preview->Select(f.Jpeg, 1);
  while (f.Preview->Loading()) f.Queue.RunOne();
  for (auto _ : state) {
    f.Preview->InvalidateComposite();
    benchmark::DoNotOptimize(f.Preview->Composite().Bits());
  }
}

BENCHMARK(BM_LoadBitmapAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SelectUntilCompositeReady)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompositeRebuild)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tvx

BENCHMARK_MAIN();
