// Arbitrary bytes as a watermark file: reading must either succeed or raise
// the program's error, never crash, hang or allocate beyond the input.
#include <cstddef>
#include <cstdint>

#include "raster/TextRasterizer.h"
#include "styles/Styles.h"
#include "util/Error.h"
#include "util/Stream.h"
#include "watermark/WatermarkFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Layers render on loading (twice here), so the styles stored in a file run
  // as well. Larger text fails by the normal error path: it only adds pixels,
  // not paths through the reader, and at 128 px it cost this target four
  // fifths of its time (fuzz_render_watermark draws text up to 128 px).
  static const bool registered = (tvx::RegisterFilters(), tvx::SetMaxTextPixelSize(32), true);
  (void)registered;
  tvx::TMemoryStream stream(data, size);
  tvx::TLayerCollection layers;
  tvx::Watermark::TWatermarkExif exif;
  try {
    tvx::OpenWatermark(stream, layers, exif);
    // what was read must write back and read again
    tvx::TMemoryStream saved;
    tvx::SaveWatermark(saved, layers, exif);
    saved.Seek(0);
    tvx::OpenWatermark(saved, layers, exif);
  } catch (const tvx::EError&) {
  }
  return 0;
}
