// Arbitrary bytes into one picture decoder (chosen when building): it must
// refuse or decode, never crash, hang or read out of bounds.

#include <cstddef>
#include <cstdint>

#include "CodecsInternal.h"

namespace {

// Pictures the fuzzer's memory limit cannot hold are skipped after their
// header was read; the refusal of really huge ones is covered by the header
// readers themselves.
constexpr int64_t kFuzzMaxPixels = int64_t(1) << 22;

bool Small(int32_t w, int32_t h) { return int64_t(w) * h <= kFuzzMaxPixels; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kobalt;
  int32_t w = 0, h = 0;
  int orientation = 1;
  TImage image;
#if defined(FUZZ_FORMAT_jpeg)
  (void)JpegOrientation(data, size);
  if (JpegSize(data, size, w, h) && Small(w, h) && DecodeJpeg(data, size, image))
    ApplyOrientation(image, JpegOrientation(data, size));
#elif defined(FUZZ_FORMAT_png)
  if (PngSize(data, size, w, h) && Small(w, h)) DecodePng(data, size, image);
#elif defined(FUZZ_FORMAT_tiff)
  if (TiffSize(data, size, w, h, orientation) && Small(w, h) && DecodeTiff(data, size, image, orientation))
    ApplyOrientation(image, orientation);
#elif defined(FUZZ_FORMAT_gif)
  if (GifSize(data, size, w, h) && Small(w, h)) DecodeGif(data, size, image);
#elif defined(FUZZ_FORMAT_bmp)
  if (BmpSize(data, size, w, h) && Small(w, h)) DecodeBmp(data, size, image);
#else
  if (ReadPictureSizeMemory(data, size, w, h) && Small(w, h)) DecodeMemory(data, size, image);
#endif
  (void)orientation;
  if (!image.Pixels.empty() && image.Pixels.size() != size_t(image.Width) * image.Height) __builtin_trap();
  return 0;
}
