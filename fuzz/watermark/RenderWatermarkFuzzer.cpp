// Arbitrary bytes as a watermark file, then the batch run's drawing: macros
// filled from a picture's EXIF values and every visible layer drawn onto a
// small picture, at full size and scaled as the preview draws it. Whatever
// the file holds, drawing must stay inside the picture and never fail.
#include <cstddef>
#include <cstdint>

#include "imageio/FilePlugin.h"
#include "raster/TextRasterizer.h"
#include "styles/Styles.h"
#include "util/Error.h"
#include "util/Stream.h"
#include "watermark/ApplyWatermark.h"
#include "watermark/WatermarkFile.h"

namespace {

const tvx::TExifParameters& Picture() {
  static const tvx::TExifParameters picture = [] {
    tvx::TExifParameters p;
    p.Index = 3;
    p.Count = 7;
    p.Width = 64;
    p.Height = 48;
    p.FileName = "/photos/2026/IMG_0042.JPG";
    p.Values[tvx::ExifTag(271)] = "Camera Maker";
    p.Values[tvx::ExifTag(272)] = "Model <MAKE> 5";  // a value that looks like a macro
    p.Values[tvx::ExifTag(33434)] = "1/250 sec.";
    p.Values[tvx::ExifTag(36867)] = "2026:12:08 10:11:12";
    return p;
  }();
  return picture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Legal text of thousands of points takes seconds to rasterise; bounded
  // here it fails by the normal error path instead of timing out.
  static const bool registered = (tvx::RegisterFilters(), tvx::SetMaxTextPixelSize(128), true);
  (void)registered;
  tvx::TMemoryStream stream(data, size);
  tvx::TLayerCollection layers;
  tvx::Watermark::TWatermarkExif exif;
  try {
    tvx::OpenWatermark(stream, layers, exif);
    tvx::SetPictureParameters(layers, &Picture());
    tvx::RefreshMacroLayers(layers);
  } catch (const tvx::EError&) {
    return 0;
  }
  tvx::TBitmap32 picture(64, 48);
  picture.Clear(0xFF336699);
  tvx::DrawWatermark(layers, picture, 1.0);
  if (picture.Width() != 64 || picture.Height() != 48) __builtin_trap();
  tvx::TBitmap32 preview(23, 17);
  preview.Clear(0xFF000000);
  tvx::DrawWatermark(layers, preview, 23.0 / 64);
  tvx::SetPictureParameters(layers, nullptr);
  return 0;
}
