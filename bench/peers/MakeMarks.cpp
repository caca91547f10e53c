// Writes the four watermarks of the peer benchmark into a folder:
//   logo.tvx  the logo picture at 50 % opacity, bottom-right, 20 px margin
//   text.tvx  48-point white text with a soft black drop shadow, bottom-left
//   tile.tvx  a text tiled over the whole picture at 30 % opacity
// (the "resize+logo" job reuses logo.tvx with resizing switched on).
//   usage: peers_marks OUTPUT_FOLDER LOGO.png PLUGIN_FOLDER
// It also draws the corpus: a deterministic photo-like picture (a sky-to-ground
// gradient, soft blotches at two scales and fine grain, so that it compresses
// like a photograph rather than like noise or flat colour) as a PPM on stdout:
//   usage: peers_marks --photo WIDTH HEIGHT SEED | cjpeg -quality 90 > x.jpg

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "imageio/PluginManager.h"
#include "imageio/WatermarkExif.h"
#include "raster/Layers.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace {

using namespace tvx;

constexpr uint32_t kWhite = 0x00FFFFFF;

void PlaceCorner(TBaseLayer& layer, uint8_t hAlign, uint8_t vAlign) {
  layer.XUnit = cuPixels;
  layer.YUnit = cuPixels;
  layer.HAlign = hAlign;
  layer.VAlign = vAlign;
  layer.XCoord = 20;
  layer.YCoord = 20;
}

void Save(const std::string& file, const TLayerCollection& layers) {
  Watermark::TWatermarkExif exif;  // nothing written: the pictures keep their own EXIF
  SaveWatermark(file, layers, exif);
  std::printf("%s\n", file.c_str());
}

void MakeLogo(const std::string& file, const std::string& logo, const TPluginManager& plugins) {
  TLayerCollection layers;
  auto& layer = layers.Add<TBitmapLayer>();
  layer.BeginUpdate();
  layer.ApplySettings("logo", logo, plugins);
  PlaceCorner(layer, haRight, vaBottom);
  layer.SetMasterAlpha(128);
  layer.EndUpdate();
  Save(file, layers);
}

void MakeText(const std::string& file) {
  TLayerCollection layers;
  auto& layer = layers.Add<TTextLayer>();
  layer.BeginUpdate();
  layer.Text = "\xC2\xA9 2026 Tarvex Benchmark";
  layer.Font.Size = 48;
  layer.Font.Color = kWhite;
  PlaceCorner(layer, haLeft, vaBottom);
  TShadowRecord shadow;  // soft: a wide blur, partly transparent, slightly offset
  shadow.Size = 8;
  shadow.Opacity = 75;
  shadow.Distance = 4;
  shadow.Color = 0x00000000;
  TFiltersParams styles;
  styles.Items["Drop Shadow"] = shadow.ToParams();
  layer.SetStyles(styles);
  layer.EndUpdate();
  Save(file, layers);
}

void MakeTile(const std::string& file) {
  TLayerCollection layers;
  auto& layer = layers.Add<TTextLayer>();
  layer.BeginUpdate();
  layer.Text = "TARVEX PROOF";
  layer.Font.Size = 36;
  layer.Font.Color = kWhite;
  layer.Font.Bold = true;
  layer.Tile = true;
  layer.XTileOffs = 120;
  layer.YTileOffs = 90;
  layer.SetMasterAlpha(77);  // 30 %
  layer.EndUpdate();
  Save(file, layers);
}

// xorshift64*: the same pictures on every machine.
struct TRandom {
  uint64_t State;
  explicit TRandom(uint64_t seed) : State(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t Next() {
    State ^= State >> 12;
    State ^= State << 25;
    State ^= State >> 27;
    return static_cast<uint32_t>((State * 0x2545F4914F6CDD1Dull) >> 32);
  }
};

// A grid of random colours, one every `cell` pixels, read back smoothly.
class TBlotches {
 public:
  TBlotches(int width, int height, int cell, TRandom& random)
      : cell_(cell), cols_(width / cell + 2), rows_(height / cell + 2), grid_(size_t(cols_) * rows_ * 3) {
    for (float& v : grid_) v = float(random.Next() % 2001) / 1000.0f - 1.0f;
  }
  void Row(int y, std::vector<float>& out) const {  // out: width * 3 values in -1..1
    const float fy = float(y) / cell_;
    const int gy = int(fy);
    const float ty = fy - gy, sy = ty * ty * (3 - 2 * ty);
    const int width = int(out.size() / 3);
    for (int x = 0; x < width; ++x) {
      const float fx = float(x) / cell_;
      const int gx = int(fx);
      const float tx = fx - gx, sx = tx * tx * (3 - 2 * tx);
      for (int c = 0; c < 3; ++c) {
        auto at = [&](int i, int j) { return grid_[(size_t(j) * cols_ + i) * 3 + c]; };
        const float top = at(gx, gy) + (at(gx + 1, gy) - at(gx, gy)) * sx;
        const float bottom = at(gx, gy + 1) + (at(gx + 1, gy + 1) - at(gx, gy + 1)) * sx;
        out[size_t(x) * 3 + c] = top + (bottom - top) * sy;
      }
    }
  }

 private:
  int cell_, cols_, rows_;
  std::vector<float> grid_;
};

int WritePhoto(int width, int height, uint64_t seed) {
  if (width < 1 || height < 1 || width > 20000 || height > 20000) return 2;
  TRandom random(seed);
  const float sky[3] = {float(90 + random.Next() % 60), float(130 + random.Next() % 60), float(190 + random.Next() % 50)};
  const float ground[3] = {float(60 + random.Next() % 80), float(70 + random.Next() % 60), float(30 + random.Next() % 40)};
  const int horizon = height / 3 + int(random.Next() % unsigned(height / 3));
  TBlotches coarse(width, height, std::max(8, width / 12), random);
  TBlotches fine(width, height, std::max(4, width / 400), random);
  std::vector<float> a(size_t(width) * 3), b(size_t(width) * 3);
  std::vector<uint8_t> row(size_t(width) * 3);
  std::printf("P6\n%d %d\n255\n", width, height);
  for (int y = 0; y < height; ++y) {
    coarse.Row(y, a);
    fine.Row(y, b);
    // A soft horizon: sky above, ground below, a few rows of blend between.
    const float t = std::clamp(float(y - horizon) / float(height / 40 + 1) * 0.5f + 0.5f, 0.0f, 1.0f);
    for (int x = 0; x < width; ++x) {
      // Mostly brightness, a little colour: as in a photograph.
      const size_t p = size_t(x) * 3;
      const float la = (a[p] + a[p + 1] + a[p + 2]) / 3, lb = (b[p] + b[p + 1] + b[p + 2]) / 3;
      const float grain = float(int(random.Next() % 25) - 12);
      for (int c = 0; c < 3; ++c) {
        const size_t i = p + c;
        const float base = sky[c] * (1 - t) + ground[c] * t;
        const float ca = la + 0.3f * (a[i] - la), cb = lb + 0.3f * (b[i] - lb);
        const float v = base + ca * (40 + 30 * t) + cb * (10 + 50 * t) + grain;
        row[i] = uint8_t(std::clamp(v, 0.0f, 255.0f));
      }
    }
    if (std::fwrite(row.data(), 1, row.size(), stdout) != row.size()) return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--photo")
    return WritePhoto(std::atoi(argv[2]), std::atoi(argv[3]), std::strtoull(argv[4], nullptr, 10));
  if (argc != 4) {
    std::fprintf(stderr, "usage: peers_marks OUTPUT_FOLDER LOGO.png PLUGIN_FOLDER\n");
    return 2;
  }
  try {
    const std::string out = argv[1];
    RegisterFilterKinds();
    TPluginManager plugins(argv[3]);
    MakeLogo(out + "/logo.tvx", argv[2], plugins);
    MakeText(out + "/text.tvx");
    MakeTile(out + "/tile.tvx");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "peers_marks: %s\n", e.what());
    return 1;
  }
}
