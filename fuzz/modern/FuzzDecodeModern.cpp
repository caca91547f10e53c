// Arbitrary bytes into one decoder of modern.fp (chosen when building): it
// must refuse or decode, never crash, hang or read out of bounds.

#include <cstddef>
#include <cstdint>

#include "ModernCodecs.h"

namespace {

// Pictures the fuzzer's memory limit cannot hold are skipped after their
// header was read; the refusal of really huge ones is the header readers' job.
constexpr int64_t kFuzzMaxPixels = int64_t(1) << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace modern;
  int32_t w = 0, h = 0;
  TImage image;
#if defined(FUZZ_FORMAT_webp)
  if (WebpSize(data, size, w, h) && int64_t(w) * h <= kFuzzMaxPixels) DecodeWebp(data, size, image);
#elif defined(FUZZ_FORMAT_avif)
  if (AvifSize(data, size, w, h) && int64_t(w) * h <= kFuzzMaxPixels) DecodeAvif(data, size, image);
#elif defined(FUZZ_FORMAT_heif)
  if (HeifSize(data, size, w, h) && int64_t(w) * h <= kFuzzMaxPixels) DecodeHeif(data, size, image);
#elif defined(FUZZ_FORMAT_jxl)
  if (JxlSize(data, size, w, h) && int64_t(w) * h <= kFuzzMaxPixels) DecodeJxl(data, size, image);
#else
  if (ModernPictureSize(data, size, w, h) && int64_t(w) * h <= kFuzzMaxPixels) DecodeModern(data, size, image);
#endif
  if (!image.Pixels.empty() && image.Pixels.size() != size_t(image.Width) * image.Height) __builtin_trap();
  return 0;
}
