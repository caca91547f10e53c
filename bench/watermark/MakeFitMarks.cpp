// Writes the two watermarks that bench/fit-vs-fixed.sh compares: a text layer
// at 5 % of the picture's shorter side turned by 30 degrees (fitted.tvx), and
// the same text at the same drawn size on a 6000 x 4000 picture, fixed and
// unturned (fixed.tvx).
// Usage: make_fit_marks FOLDER

#include <cstdio>
#include <filesystem>
#include <string>

#include "imageio/WatermarkExif.h"
#include "raster/Layers.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace {

void Common(tvx::TTextLayer& text) {
  text.Text = "\xC2\xA9 2026 Some Photographer";
  text.Font.Name = "DejaVu Sans";
  text.Font.Bold = true;
  text.Font.Color = 0x00FFFFFF;
  text.XUnit = text.YUnit = tvx::cuPercent;
  text.HAlign = tvx::haRight;
  text.VAlign = tvx::vaBottom;
  text.XCoord = text.YCoord = 3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fit_marks FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  tvx::Watermark::TWatermarkExif exif;

  tvx::TLayerCollection fitted;
  auto& turned = fitted.Add<tvx::TTextLayer>();
  Common(turned);
  turned.Font.Size = 16;
  turned.RenderText();
  // 5 % of the shorter side is the text's height: as a width, that times its aspect ratio.
  turned.SizeMode = tvx::lsShorter;
  turned.SizePercent = 5.0f * float(turned.SourceBitmap().Width()) / float(turned.SourceBitmap().Height());
  turned.Angle = 30;
  tvx::SaveWatermark((folder / "fitted.tvx").string(), fitted, exif);

  // The font size whose text is as high as the fitted one on 6000 x 4000.
  int32_t w = 0, h = 0;
  turned.ContentSizeOn(6000, 4000, w, h);
  tvx::TLayerCollection fixed;
  auto& plain = fixed.Add<tvx::TTextLayer>();
  Common(plain);
  plain.Font.Size = 16 * h / turned.SourceBitmap().Height();
  plain.RenderText();
  tvx::SaveWatermark((folder / "fixed.tvx").string(), fixed, exif);
  std::printf("fitted: %d x %d on 6000 x 4000; fixed: %d x %d at %d points\n", w, h,
              plain.SourceBitmap().Width(), plain.SourceBitmap().Height(), plain.Font.Size);
  return 0;
}
