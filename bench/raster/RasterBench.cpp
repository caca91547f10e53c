// Resampling and compositing throughput.
#include <benchmark/benchmark.h>

#include "SyntheticPhoto.h"
#include "raster/Bitmap32.h"
#include "util/Utils.h"

namespace tvx {
namespace {

// The picture a batch run resizes: 24 megapixels halved in each direction.
void BM_ResampleBitmap_6000x4000_to_3000x2000(benchmark::State& state) {
  const TBitmap32 photo = bench::SyntheticPhoto(6000, 4000);
  TBitmap32 work;
  for (auto _ : state) {
    state.PauseTiming();
    work = photo;
    state.ResumeTiming();
    ResampleBitmap(work, 3000, 2000);
    benchmark::DoNotOptimize(work.Bits());
  }
  state.counters["src_Mpx/s"] = benchmark::Counter(24.0e6 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ResampleBitmap_6000x4000_to_3000x2000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

void BM_StretchFilter_1000x800_to_700x500(benchmark::State& state) {
  const auto filter = static_cast<TStretchFilter>(state.range(0));
  TBitmap32 src = bench::SyntheticPhoto(1000, 800);
  src.StretchFilter = filter;
  TBitmap32 dst(700, 500);
  for (auto _ : state) {
    src.DrawTo(dst, dst.BoundsRect());
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetItemsProcessed(state.iterations() * 700 * 500);
}
BENCHMARK(BM_StretchFilter_1000x800_to_700x500)
    ->DenseRange(sfNearest, sfMitchell)
    ->Unit(benchmark::kMillisecond);

// A 2000 x 600 layer merged onto a 6000 x 4000 picture at master alpha 128.
// Items are layer pixels composed (1.2 million per drawing). The picture is
// opaque (the batch-run case) or half transparent (the general merge).
void BM_DrawLayer_2000x600_Merge_Master128(benchmark::State& state) {
  const bool opaque = state.range(0) != 0;
  TBitmap32 picture = bench::SyntheticPhoto(6000, 4000);
  if (!opaque)
    for (int32_t i = 0; i < 6000 * 4000; ++i) picture.Bits()[i] = SetAlpha(picture.Bits()[i], 128);
  TBitmap32 layer = bench::SyntheticLayer(2000, 600);
  layer.DrawMode = dmBlend;
  layer.CombineMode = cmMerge;
  layer.MasterAlpha = 128;
  int32_t step = 0;
  for (auto _ : state) {
    // Move around so that the drawing does not keep hitting its own output
    // in the cache.
    layer.DrawTo(picture, 100 + (step % 7) * 500, 200 + (step % 5) * 600);
    ++step;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 2000 * 600);
  state.SetLabel(opaque ? "opaque picture" : "half-transparent picture");
}
BENCHMARK(BM_DrawLayer_2000x600_Merge_Master128)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tvx

BENCHMARK_MAIN();
