// Render times of the layer styles. Reference: decoding and encoding a
// 24-megapixel JPEG (bench/styles-vs-jpeg.sh measures both in one run).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "raster/TextRasterizer.h"
#include "styles/Blur.h"
#include "styles/LayerStylePreview.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "util/Utils.h"

namespace tvx {
namespace {

// A 48-point, two-line text layer as the text layer renders it (about 600 x 140).
TBitmap32 TextLayer() {
  TTextFont font;
  font.Family = "DejaVu Sans";
  font.Size = 48;
  font.Color = 0xFFFFFFFF;
  TBitmap32 bitmap;
  RenderText("Copyright 2026\nTarvex Photography", font, tjCenter, bitmap);
  CropToOpaque(bitmap);
  return bitmap;
}

// A larger layer of text-like content: anti-aliased strokes over 1500 x 400.
TBitmap32 WideLayer() {
  TBitmap32 bitmap(1500, 400);
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      const double v = std::sin(x * 0.09) * std::cos(y * 0.07) + std::sin((x + y) * 0.013);
      const double a = std::clamp((v - 0.2) * 400.0, 0.0, 255.0);
      bitmap.Pixel(x, y) = ARGB(static_cast<uint8_t>(a), 255, 255, 255);
    }
  return bitmap;
}

void Run(benchmark::State& state, const TBitmap32& source, const TFiltersParams& params) {
  RegisterFilterKinds();
  for (auto _ : state) {
    TBitmap32 target = source;
    int32_t dx = 0, dy = 0;
    ApplyStyles(source, target, dx, dy, params);
    benchmark::DoNotOptimize(target.Bits());
  }
  state.counters["width"] = source.Width();
  state.counters["height"] = source.Height();
}

void BM_AllFourStyles_TextLayer(benchmark::State& state) {
  static const TBitmap32 source = TextLayer();
  TFiltersParams params;
  params.Items["Stroke"] = TStrokeRecord::Defaults().ToParams();
  params.Items["Drop Shadow"] = TShadowRecord::Defaults().ToParams();
  params.Items["Glow"] = TShadowRecord::GlowDefaults().ToParams();
  params.Items["Gradient"] = TGradRecord::ToParams(TGradient{});
  Run(state, source, params);
}
BENCHMARK(BM_AllFourStyles_TextLayer)->Unit(benchmark::kMillisecond);

void BM_Glow50_1500x400(benchmark::State& state) {
  static const TBitmap32 source = WideLayer();
  TFiltersParams params;
  TShadowRecord glow = TShadowRecord::GlowDefaults();
  glow.Size = 50;
  params.Items["Glow"] = glow.ToParams();
  Run(state, source, params);
}
BENCHMARK(BM_Glow50_1500x400)->Unit(benchmark::kMillisecond);

// The blur alone on the glow's grid, per loop variant.
void BM_BlurGrid_1700x600_r50(benchmark::State& state) {
  static const TBitmap32 source = WideLayer();
  const auto path = static_cast<TBlurPath>(state.range(0));
  const TGKernel kernel(50);
  for (auto _ : state) {
    std::vector<int32_t> grid = AlphaToFlatMatrix(source, 100, 100, 100, 100);
    benchmark::DoNotOptimize(BlurGrid(grid, 1700, 600, kernel, path).data());
  }
}
BENCHMARK(BM_BlurGrid_1700x600_r50)
    ->Arg(static_cast<int>(TBlurPath::Scalar))
    ->Arg(static_cast<int>(TBlurPath::Sse2))
    ->Arg(static_cast<int>(TBlurPath::Avx))
    ->Unit(benchmark::kMillisecond);

// The layer style dialog while the glow size slider is dragged: one step is
// one update of the 79 x 79 preview (or of the layer preview of a 48-point
// text) at the size given; "drag" runs every size from 1 to 50 and reports
// the mean per step.
TFiltersParams GlowOfSize(int32_t size) {
  TShadowRecord glow = TShadowRecord::GlowDefaults();
  glow.Size = size;
  TFiltersParams params;
  params.Items[kGlowKind] = glow.ToParams();
  return params;
}

void BM_StylePreview_GlowStep(benchmark::State& state) {
  RegisterFilterKinds();
  const TFiltersParams params = GlowOfSize(static_cast<int32_t>(state.range(0)));
  TLayerStylePreview preview;
  TBitmap32 output;
  for (auto _ : state) {
    preview.Update(output, TLayerStylePreview::OutputSize, params);
    benchmark::DoNotOptimize(output.Bits());
  }
}
BENCHMARK(BM_StylePreview_GlowStep)->Arg(1)->Arg(20)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_StylePreview_GlowDrag(benchmark::State& state) {
  RegisterFilterKinds();
  std::vector<TFiltersParams> steps;
  for (int32_t size = 1; size <= 50; ++size) steps.push_back(GlowOfSize(size));
  TLayerStylePreview preview;
  TBitmap32 output;
  for (auto _ : state)
    for (const TFiltersParams& params : steps) {
      preview.Update(output, TLayerStylePreview::OutputSize, params);
      benchmark::DoNotOptimize(output.Bits());
    }
  state.counters["s_per_step"] =
      benchmark::Counter(static_cast<double>(steps.size()),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StylePreview_GlowDrag)->Unit(benchmark::kMillisecond);

void BM_LayerPreview_GlowStep_TextLayer(benchmark::State& state) {
  RegisterFilterKinds();
  static const TBitmap32 source = TextLayer();
  const TFiltersParams params = GlowOfSize(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    TStyledLayer styled = RenderStyledLayer(source, params, 255);
    benchmark::DoNotOptimize(styled.Bitmap.Bits());
  }
  state.counters["width"] = source.Width();
  state.counters["height"] = source.Height();
}
BENCHMARK(BM_LayerPreview_GlowStep_TextLayer)->Arg(1)->Arg(20)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_LayerPreview_GlowDrag_TextLayer(benchmark::State& state) {
  RegisterFilterKinds();
  static const TBitmap32 source = TextLayer();
  std::vector<TFiltersParams> steps;
  for (int32_t size = 1; size <= 50; ++size) steps.push_back(GlowOfSize(size));
  for (auto _ : state)
    for (const TFiltersParams& params : steps) {
      TStyledLayer styled = RenderStyledLayer(source, params, 255);
      benchmark::DoNotOptimize(styled.Bitmap.Bits());
    }
  state.counters["s_per_step"] =
      benchmark::Counter(static_cast<double>(steps.size()),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LayerPreview_GlowDrag_TextLayer)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tvx

BENCHMARK_MAIN();
