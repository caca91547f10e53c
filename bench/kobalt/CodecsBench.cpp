// Loading and saving a 24-megapixel JPEG through kobalt.fp (dlopen +
// InitFilePlugin, as the host does) side by side with djpeg + cjpeg on the
// same file. Files live in /dev/shm so the disk does not take part.
//
// Run with --benchmark_enable_random_interleaving=true and repetitions (see
// bench/codecs-vs-djpeg.sh) so both sides share the machine's ups and downs.
// The time reported is processor time (user + system, of this process and
// of the tools it starts): on a shared machine wall time mostly measures the
// neighbours. Wall time is kept as the counter wall_ms.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imageio/FilePlugin.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;  // 24 megapixels
const std::string kDir = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
const std::string kSource = kDir + "/tarvex-bench-24mp.jpg";
const std::string kPluginOut = kDir + "/tarvex-bench-plugin-out.jpg";
const std::string kPpm = kDir + "/tarvex-bench-djpeg.ppm";
const std::string kToolOut = kDir + "/tarvex-bench-cjpeg-out.jpg";

tvx::TFilePlugin* Plugin() {
  static tvx::TFilePlugin* plugin = [] {
    std::string path = std::string(TARVEX_BIN_DIR) + "/kobalt.fp";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return static_cast<tvx::TFilePlugin*>(nullptr);
    auto init = reinterpret_cast<TInitFilePluginFunc>(dlsym(handle, "InitFilePlugin"));
    return init ? init() : nullptr;
  }();
  return plugin;
}

// A photo-like picture: smooth shading, a few soft shapes and sensor-like
// noise, so the entropy coder sees what it sees in real photos.
bool MakeSource() {
  if (std::filesystem::exists(kSource)) return true;
  std::vector<uint32_t> px(size_t(kWidth) * kHeight);
  uint32_t seed = 12345;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      double fx = double(x) / kWidth, fy = double(y) / kHeight;
      double sky = 0.5 + 0.5 * std::sin(fx * 9.0 + std::cos(fy * 7.0) * 2.0);
      double hill = fy > 0.55 + 0.1 * std::sin(fx * 13.0) ? 1.0 : 0.0;
      double disc = std::hypot(fx - 0.3, fy - 0.35) < 0.12 ? 1.0 : 0.0;
      seed = seed * 1664525u + 1013904223u;
      int noise = int(seed >> 27) - 16;
      auto channel = [&](double base) {
        int v = int(base * 255.0) + noise;
        return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v);
      };
      double r = 0.3 + 0.5 * sky * (1 - hill) + 0.2 * hill + 0.5 * disc;
      double g = 0.4 + 0.3 * sky * (1 - hill) + 0.45 * hill + 0.4 * disc;
      double b = 0.8 * (1 - hill) * (0.6 + 0.4 * fy) + 0.1 * hill + 0.1 * disc;
      px[size_t(y) * kWidth + x] = 0xFF000000u | channel(std::min(r, 1.0)) << 16 |
                                   channel(std::min(g, 1.0)) << 8 | channel(std::min(b, 1.0));
    }
  Plugin()->SetQuality(".jpg", 92);
  bool ok = Plugin()->SaveBitmap(kSource, kWidth, kHeight, px.data());
  Plugin()->SetQuality(".jpg", 80);
  return ok;
}

double CpuSeconds() {
  double total = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage r{};
    getrusage(who, &r);
    total += double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + 1e-6 * double(r.ru_utime.tv_usec + r.ru_stime.tv_usec);
  }
  return total;
}

// Times one iteration's body by processor time and collects its wall time.
class TTimer {
 public:
  explicit TTimer(benchmark::State& state) : state_(state) {}
  ~TTimer() { state_.counters["wall_ms"] = benchmark::Counter(wall_ * 1e3, benchmark::Counter::kAvgIterations); }
  template <class F>
  bool Run(F&& body) {
    double cpu = CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    bool ok = body();
    wall_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state_.SetIterationTime(CpuSeconds() - cpu);
    return ok;
  }

 private:
  benchmark::State& state_;
  double wall_ = 0;
};

bool Ready(benchmark::State& state) {
  if (!Plugin() || !MakeSource()) {
    state.SkipWithError("kobalt.fp or the source picture is not available");
    return false;
  }
  return true;
}

void BM_PluginLoadSave(benchmark::State& state) {
  if (!Ready(state)) return;
  Plugin()->SetQuality(".jpg", 80);
  TTimer timer(state);
  for (auto _ : state) {
    bool ok = timer.Run([] {
      tvx::TPictureData data = Plugin()->LoadBitmap(kSource);
      if (!data.Pixels) return false;
      bool saved = Plugin()->SaveBitmap(kPluginOut, data.Width, data.Height, data.Pixels);
      Plugin()->FreeMemory(data.Pixels);
      return saved;
    });
    if (!ok) return state.SkipWithError("LoadBitmap or SaveBitmap failed");
  }
}

void BM_DjpegThenCjpeg(benchmark::State& state) {
  if (!Ready(state)) return;
  std::string command = "djpeg -outfile '" + kPpm + "' '" + kSource + "' && cjpeg -quality 80 -outfile '" +
                        kToolOut + "' '" + kPpm + "'";
  TTimer timer(state);
  for (auto _ : state)
    if (!timer.Run([&] { return std::system(command.c_str()) == 0; }))
      return state.SkipWithError("djpeg/cjpeg failed (libjpeg-turbo-progs)");
}

void BM_PluginLoadBitmap(benchmark::State& state) {
  if (!Ready(state)) return;
  TTimer timer(state);
  for (auto _ : state) {
    bool ok = timer.Run([] {
      tvx::TPictureData data = Plugin()->LoadBitmap(kSource);
      Plugin()->FreeMemory(data.Pixels);
      return data.Pixels != nullptr;
    });
    if (!ok) return state.SkipWithError("LoadBitmap failed");
  }
}

void BM_PluginLoadBitmapInfo(benchmark::State& state) {
  if (!Ready(state)) return;
  TTimer timer(state);
  for (auto _ : state)
    if (!timer.Run([] { return Plugin()->LoadBitmapInfo(kSource).Width == kWidth; }))
      return state.SkipWithError("LoadBitmapInfo failed");
}

BENCHMARK(BM_PluginLoadSave)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_DjpegThenCjpeg)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_PluginLoadBitmap)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_PluginLoadBitmapInfo)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(50);

}  // namespace

BENCHMARK_MAIN();
