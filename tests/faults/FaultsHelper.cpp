// tvx_faults_helper: the few things the fault-injection script needs from the
// core, done through the same code the program uses.
//
//   tvx_faults_helper PLUGINDIR watermark OUT.tvx TEXT   a watermark with one text layer
//   tvx_faults_helper PLUGINDIR copyright OUT.tvx TEXT   no layers, only the copyright field
//   tvx_faults_helper PLUGINDIR encode OUT W H [SEED]    a noisy picture (slow to encode)
//   tvx_faults_helper PLUGINDIR decode FILE              prints "W H"; 1 when it does not decode
//   tvx_faults_helper PLUGINDIR exif FILE TAG            prints the EXIF value of TAG

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "imageio/PluginManager.h"
#include "imageio/WatermarkExif.h"
#include "raster/Layers.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: tvx_faults_helper PLUGINDIR watermark|encode|decode|exif ...\n");
  return 2;
}

// Without layers the run copies the sources byte for byte and writes EXIF fields.
int MakeCopyrightOnly(const std::string& out, const std::string& text) {
  tvx::TLayerCollection layers;
  tvx::Watermark::TWatermarkExif exif;
  exif.WriteCopyright = true;
  exif.Copyright = text;
  tvx::SaveWatermark(out, layers, exif);
  return 0;
}

int MakeWatermark(const std::string& out, const std::string& text) {
  tvx::TLayerCollection layers;
  tvx::Watermark::TWatermarkExif exif;
  auto& layer = layers.Add<tvx::TTextLayer>();
  layer.BeginUpdate();
  layer.Text = text;
  layer.Font.Size = 32;
  layer.Font.Color = 0x00FFFFFF;
  layer.HAlign = tvx::haRight;
  layer.VAlign = tvx::vaBottom;
  layer.XCoord = 10;
  layer.YCoord = 10;
  layer.EndUpdate();
  tvx::SaveWatermark(out, layers, exif);
  return 0;
}

// Noise defeats the codecs' shortcuts, so big pictures take a while to write.
int Encode(const tvx::TPluginManager& plugins, const std::string& out, int w, int h, uint32_t seed) {
  tvx::TBitmap32 bitmap(w, h);
  uint32_t state = seed * 2654435761u + 1;
  for (int y = 0; y < h; ++y) {
    tvx::TColor32* line = bitmap.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      uint8_t n = static_cast<uint8_t>(state & 0x3F);
      line[x] = tvx::ARGB(255, static_cast<uint8_t>((x * 255 / w + n) & 0xFF),
                          static_cast<uint8_t>((y * 255 / h + n) & 0xFF), static_cast<uint8_t>(n * 3));
    }
  }
  plugins.SetQuality(".jpg", 92);
  return plugins.SaveBitmap(out, bitmap) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string folder = argv[1], command = argv[2];
  try {
    if (command == "watermark" && argc == 5) return MakeWatermark(argv[3], argv[4]);
    if (command == "copyright" && argc == 5) return MakeCopyrightOnly(argv[3], argv[4]);
    tvx::TPluginManager plugins(folder);
    if (command == "encode" && (argc == 6 || argc == 7))
      return Encode(plugins, argv[3], std::atoi(argv[4]), std::atoi(argv[5]),
                    argc == 7 ? static_cast<uint32_t>(std::atoi(argv[6])) : 1u);
    if (command == "decode" && argc == 4) {
      auto bitmap = plugins.LoadBitmap(argv[3]);
      if (!bitmap || bitmap->Empty()) return 1;
      std::printf("%d %d\n", bitmap->Width(), bitmap->Height());
      return 0;
    }
    if (command == "exif" && argc == 5) {
      auto values = plugins.GetExif(argv[3]).Values;
      auto it = values.find(static_cast<tvx::ExifTag>(std::atoi(argv[4])));
      if (it != values.end()) std::printf("%s\n", it->second.c_str());
      return 0;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tvx_faults_helper: %s\n", e.what());
    return 1;
  }
  return Usage();
}
