// DrawOnto of a typical watermark on a 24-megapixel picture, measured beside
// the time of decoding and encoding that picture as a JPEG (djpeg | cjpeg
// -quality 80), which is what every picture of a batch run costs anyway.
//
//   cmake --preset bench && ninja -C build/bench watermark_bench
//   build/bench/bench/watermark_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "watermark/ApplyWatermark.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

constexpr int kWidth = 6000, kHeight = 4000;  // 24 megapixels

std::string Quote(const std::string& s) { return "'" + s + "'"; }

TBitmap32 Picture() {
  TBitmap32 b(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    TColor32* row = b.ScanLine(y);
    for (int x = 0; x < kWidth; ++x) row[x] = ARGB(255, uint8_t(x / 24), uint8_t(y / 16), uint8_t((x + y) / 40));
  }
  return b;
}

// A 24-megapixel JPEG of a real photo (the Nikon sample doubled by djpeg),
// or of the synthetic picture when the samples are absent.
const std::string& BigJpeg() {
  static const std::string path = [] {
    const auto temp = std::filesystem::temp_directory_path();
    const std::string out = (temp / "tarvex-bench-24mp.jpg").string();
    const std::string photo = std::string(TARVEX_TESTDATA_DIR) + "/photos/nikon_d70_iptc.jpg";
    std::string command;
    if (std::filesystem::exists(photo)) {
      command = "djpeg -scale 2/1 " + Quote(photo) + " | cjpeg -quality 80 > " + Quote(out);
    } else {
      const std::string ppm = (temp / "tarvex-bench-24mp.ppm").string();
      std::ofstream f(ppm, std::ios::binary);
      f << "P6\n" << kWidth << " " << kHeight << "\n255\n";
      const TBitmap32 b = Picture();
      for (int i = 0; i < kWidth * kHeight; ++i) {
        const char rgb[3] = {char(RedOf(b.Bits()[i])), char(GreenOf(b.Bits()[i])), char(BlueOf(b.Bits()[i]))};
        f.write(rgb, 3);
      }
      f.close();
      command = "cjpeg -quality 80 " + Quote(ppm) + " > " + Quote(out) + " && rm -f " + Quote(ppm);
    }
    if (std::system(command.c_str()) != 0) return std::string();
    return out;
  }();
  return path;
}

TTextLayer* AddText(TLayerCollection& layers, const std::string& text) {
  auto* layer = &layers.Add<TTextLayer>();
  TLayerFont font;
  font.Size = 48;
  font.Color = 0x00FFFFFF;
  font.Bold = true;
  layer->ApplySettings("caption", text, font, tjCentered);
  layer->SetMasterAlpha(160);
  layer->HAlign = haCenter;
  layer->VAlign = vaBottom;
  layer->YCoord = 40;
  return layer;
}

void AddLogo(TLayerCollection& layers) {
  auto* layer = &layers.Add<TBitmapLayer>();
  layer->BeginUpdate();
  TBitmap32& b = layer->SourceBitmap();
  b.SetSize(400, 120);
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 400; ++x) b.Pixel(x, y) = ARGB(uint8_t(x * 255 / 399), 200, uint8_t(y * 2), 40);
  layer->EndUpdate();
  layer->HAlign = haRight;
  layer->XCoord = 30;
  layer->YCoord = 30;
}

void BM_JpegDecodeEncode(benchmark::State& state) {
  const std::string& jpeg = BigJpeg();
  if (jpeg.empty()) {
    state.SkipWithError("cannot make the 24-megapixel JPEG (djpeg/cjpeg, sample photo)");
    return;
  }
  const std::string command = "djpeg " + Quote(jpeg) + " | cjpeg -quality 80 > /dev/null";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) state.SkipWithError("djpeg | cjpeg failed");
}
BENCHMARK(BM_JpegDecodeEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_DrawOntoTypical(benchmark::State& state) {
  TLayerCollection layers;
  AddText(layers, "(c) 2026 Tarvex Photography\r\nAll rights reserved");
  AddLogo(layers);
  TBitmap32 picture = Picture();
  for (auto _ : state) {
    DrawWatermark(layers, picture);
    benchmark::DoNotOptimize(picture.Bits());
  }
}
BENCHMARK(BM_DrawOntoTypical)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawOntoTiledText(benchmark::State& state) {
  TLayerCollection layers;
  auto* text = AddText(layers, "(c) 2026 Tarvex Photography\r\nAll rights reserved");
  text->Tile = true;
  text->XTileOffs = 40;
  text->YTileOffs = 40;
  TBitmap32 picture = Picture();
  for (auto _ : state) {
    DrawWatermark(layers, picture);
    benchmark::DoNotOptimize(picture.Bits());
  }
}
BENCHMARK(BM_DrawOntoTiledText)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RefreshMacroText(benchmark::State& state) {
  TLayerCollection layers;
  TExifParameters picture;
  picture.FileName = "/pictures/2026/DSC_0042.JPG";
  picture.Values[306] = "2026:12:08 19:30:00";
  auto* text = AddText(layers, "<FILENAME>\r\n<DATE_TIME>");
  text->PictureParameters = &picture;
  int n = 0;
  for (auto _ : state) {
    picture.Index = ++n;  // a new picture every time, as in a batch run
    RefreshMacroLayers(layers);
    benchmark::DoNotOptimize(text->RenderedBitmap().Bits());
  }
}
BENCHMARK(BM_RefreshMacroText)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tvx

BENCHMARK_MAIN();
