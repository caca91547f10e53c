// Re-encoding only the watermarked blocks of a 24-megapixel JPEG, in memory,
// beside what it is measured against: Huffman decoding alone (our index of
// where every MCU's bits begin, and libjpeg reading every coefficient) and
// libjpeg's whole decode. A corner logo's worth of MCUs is redrawn; the
// picture comes with the standard Huffman tables (as cameras write them) and
// with tables made for it (cjpeg -optimize, mozjpeg, many phones).
//
// Run alone (bench/keepblocks-vs-djpeg.sh has the whole program beside
// djpeg | cjpeg): --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "../raster/SyntheticPhoto.h"
#include "BlockEdit.h"
#include "CodecsInternal.h"
#include "JpegScan.h"

namespace {

using TBytes = std::vector<uint8_t>;

// The photo as libjpeg encodes it at quality 90, with either kind of table.
const TBytes& Source(bool optimised) {
  static TBytes sources[2];
  TBytes& out = sources[optimised];
  if (!out.empty()) return out;
  const tvx::TBitmap32 photo = tvx::bench::SyntheticPhoto(6000, 4000);
  jpeg_compress_struct c;
  jpeg_error_mgr error;
  c.err = jpeg_std_error(&error);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = 6000;
  c.image_height = 4000;
  c.input_components = 4;
  c.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  c.optimize_coding = optimised ? TRUE : FALSE;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<tvx::TColor32*>(photo.ScanLine(int32_t(c.next_scanline))));
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  out.assign(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// A 400 x 120 logo 20 pixels from the bottom right corner, half opaque.
class TLogo final : public tvx::TRegionPainter {
 public:
  void ChangedRegions(int32_t w, int32_t h, std::vector<tvx::TPictureRect>& regions) override {
    regions.push_back({w - 420, h - 140, w - 20, h - 20});
  }
  bool PaintWindow(tvx::TColor32* p, int32_t left, int32_t top, int32_t ww, int32_t wh, int32_t w, int32_t h) override {
    for (int32_t y = 0; y < wh; ++y)
      for (int32_t x = 0; x < ww; ++x) {
        const int32_t u = left + x, v = top + y;
        if (u < w - 420 || u >= w - 20 || v < h - 140 || v >= h - 20) continue;
        tvx::TColor32& c = p[size_t(y) * size_t(ww) + size_t(x)];
        c = 0xFF000000u | (((c >> 1) & 0x7F7F7Fu) + 0x0F3264u);
      }
    return true;
  }
};

void EditCornerLogo(benchmark::State& state) {
  const TBytes& source = Source(state.range(0));
  TLogo logo;
  for (auto _ : state) {
    kobalt::TBlockEditOutput output;
    tvx::TRegionEditReport report;
    kobalt::EditJpegBlocks(source.data(), source.size(), logo, output, report);
    if (report.Result != tvx::TRegionEditReport::Written) state.SkipWithError(report.Note.c_str());
    benchmark::DoNotOptimize(output.Jpeg.data());
  }
}

void IndexEveryMcu(benchmark::State& state) {
  const TBytes& source = Source(state.range(0));
  kobalt::TJpegFile file;
  kobalt::TJpegLayout layout;
  kobalt::TBlockGeometry g;
  if (!file.ReadHeaders(source.data(), source.size()) || !kobalt::ReadJpegLayout(file, layout) ||
      !kobalt::MakeBlockGeometry(layout, g))
    state.SkipWithError("unreadable");
  const std::vector<int32_t> none(size_t(g.Mcus()), -1);
  std::vector<int16_t> unused;
  for (auto _ : state) {
    kobalt::TScanIndex index;
    if (!kobalt::IndexScan(layout, g, source.data() + file.HeaderBytes(), source.size() - file.HeaderBytes(), none,
                           unused, index))
      state.SkipWithError("index failed");
    benchmark::DoNotOptimize(index.McuBit.data());
  }
}

void LibjpegReadCoefficients(benchmark::State& state) {
  const TBytes& source = Source(state.range(0));
  for (auto _ : state) {
    jpeg_decompress_struct d;
    jpeg_error_mgr error;
    d.err = jpeg_std_error(&error);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, source.data(), static_cast<unsigned long>(source.size()));
    jpeg_read_header(&d, TRUE);
    benchmark::DoNotOptimize(jpeg_read_coefficients(&d));
    jpeg_destroy_decompress(&d);
  }
}

void LibjpegDecode(benchmark::State& state) {
  const TBytes& source = Source(state.range(0));
  for (auto _ : state) {
    kobalt::TImage image;
    kobalt::DecodeJpeg(source.data(), source.size(), image);
    benchmark::DoNotOptimize(image.Pixels.data());
  }
}

// Argument: 0 standard Huffman tables, 1 tables made for the picture.
BENCHMARK(EditCornerLogo)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(IndexEveryMcu)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(LibjpegReadCoefficients)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(LibjpegDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
