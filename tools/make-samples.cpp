// tarvex_make_samples: writes the "Sample Watermarks" shipped beside the
// program, and (with --pictures) a few photo-like pictures for the demo.
//
//   tarvex_make_samples FOLDER             Copyright.tvx, Logo.tvx, Proof.tvx,
//                                          Photo Info.tvx and Logo.png
//   tarvex_make_samples --pictures FOLDER  synthetic JPEGs with EXIF Make/Model
//   tarvex_make_samples --tutorial FOLDER  the welcome tour's pictures (N.bmp)
//
// Everything goes through the program's own core and the plug-ins beside this
// executable, so the files are exactly what the editor would save. The
// watermark files hold no time-dependent bytes: rebuilding gives the same files.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imageio/PluginManager.h"
#include "imageio/WatermarkExif.h"
#include "raster/Bitmap32.h"
#include "raster/Layers.h"
#include "raster/TextRasterizer.h"
#include "styles/StyleRecords.h"
#include "styles/Styles.h"
#include "util/Utils.h"
#include "watermark/ApplyWatermark.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"
#include "watermark/WatermarkFile.h"

namespace {

using namespace tvx;

constexpr double kPi = 3.14159265358979323846;

// System colour values (0x00BBGGRR), as the layers and styles store them.
constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr uint32_t kBlack = 0x00000000;

// ---- the watermarks ---------------------------------------------------------

// Every layer is sized as a share of the picture (and its margins are in
// percent), so a sample looks the same on a 1 MP and a 24 MP picture. The
// font sizes below only set how sharp the editor shows the text: drawing
// renders it again at the size it lands on each picture.

TFiltersParams DropShadow(int32_t size, uint32_t opacity, uint32_t distance) {
  TShadowRecord shadow = TShadowRecord::Defaults();
  shadow.Size = size;
  shadow.Opacity = opacity;
  shadow.Distance = distance;
  shadow.Angle = static_cast<float>(kPi / 4);  // light from the upper left
  shadow.Color = kBlack;
  TFiltersParams styles;
  styles.Items["Drop Shadow"] = shadow.ToParams();
  return styles;
}

void MakeCopyright(TLayerCollection& layers, Watermark::TWatermarkExif&) {
  auto& text = layers.Add<TTextLayer>();
  text.Name = "Copyright";
  // The year the photo was taken (or the file's, without EXIF); the user
  // puts a name in the editor.
  text.Text = "\xC2\xA9 <YEAR> Your Name";
  text.Font.Name = "DejaVu Sans";
  text.Font.Size = 24;
  text.Font.Bold = true;
  text.Font.Color = kWhite;
  text.XUnit = cuPercent;
  text.YUnit = cuPercent;
  text.HAlign = haRight;
  text.VAlign = vaBottom;
  text.XCoord = 2.5f;
  text.YCoord = 3.0f;
  text.SizeMode = lsShorter;
  text.SizePercent = 30;
  text.SetMasterAlpha(230);
  text.RenderText();
  text.SetStyles(DropShadow(3, 100, 2));
}

// A rounded badge with an emblem and two lines of text, with real alpha: a
// translucent dark body, an opaque white rim and white lettering.
TBitmap32 DrawLogo() {
  constexpr int32_t W = 300, H = 104;
  constexpr double radius = 26, rim = 3.5;
  TBitmap32 logo(W, H);
  logo.Clear(0);

  // Coverage of a rounded rectangle inset by `inset`, from its signed distance
  // sampled at the pixel centre, anti-aliased over one pixel.
  auto roundRect = [&](double x, double y, double inset) {
    double r = radius - inset;
    double cx = std::clamp(x, inset + r, W - inset - r);
    double cy = std::clamp(y, inset + r, H - inset - r);
    double d = std::hypot(x - cx, y - cy) - r;
    return std::clamp(0.5 - d, 0.0, 1.0);
  };
  auto disc = [](double x, double y, double cx, double cy, double r) {
    return std::clamp(0.5 - (std::hypot(x - cx, y - cy) - r), 0.0, 1.0);
  };

  const double ex = 52, ey = H / 2.0;  // emblem centre
  for (int32_t y = 0; y < H; ++y) {
    for (int32_t x = 0; x < W; ++x) {
      double px = x + 0.5, py = y + 0.5;
      double outer = roundRect(px, py, 0);
      double inner = roundRect(px, py, rim);
      if (outer <= 0) continue;
      // body: a vertical gradient from slate to a deeper blue, 70 % opaque
      double t = py / H;
      double r = 40 - 14 * t, g = 62 - 20 * t, b = 92 - 16 * t, a = 0.70;
      // emblem: a white ring around a lens-like dot, with a small highlight
      double ring = disc(px, py, ex, ey, 31) - disc(px, py, ex, ey, 26.5);
      double dot = disc(px, py, ex, ey, 16);
      double glint = disc(px, py, ex - 6, ey - 6, 4.5);
      double white = std::clamp(ring + dot * 0.85 + (1 - inner), 0.0, 1.0);
      double lensBlue = dot * (1 - glint);
      r = r * (1 - white) + 255 * white;
      g = g * (1 - white) + 255 * white;
      b = b * (1 - white) + 255 * white;
      r = r * (1 - lensBlue * 0.6) + 60 * lensBlue * 0.6;
      g = g * (1 - lensBlue * 0.6) + 120 * lensBlue * 0.6;
      b = b * (1 - lensBlue * 0.6) + 190 * lensBlue * 0.6;
      a = a + (1 - a) * white;
      a *= outer;
      logo.Pixel(x, y) = ARGB(static_cast<uint8_t>(std::lround(a * 255)), static_cast<uint8_t>(std::lround(r)),
                              static_cast<uint8_t>(std::lround(g)), static_cast<uint8_t>(std::lround(b)));
    }
  }

  auto drawText = [&](const std::string& text, int32_t size, bool bold, int32_t left, int32_t top) {
    TTextFont font;
    font.Family = "DejaVu Sans";
    font.Size = size;
    font.Bold = bold;
    font.Color = 0xFFFFFFFF;
    TBitmap32 glyphs;
    RenderText(text, font, tjNear, glyphs);
    CropToOpaque(glyphs);
    BlockTransfer(logo, left, top, glyphs, glyphs.BoundsRect(), dmBlend, cmMerge, 255);
    return glyphs.Height();
  };
  int32_t h1 = drawText("YOUR LOGO", 19, true, 100, 30);
  drawText("photography", 12, false, 101, 30 + h1 + 9);
  return logo;
}

void MakeLogo(TLayerCollection& layers, Watermark::TWatermarkExif&, const TBitmap32& logo) {
  auto& layer = layers.Add<TBitmapLayer>();
  layer.Name = "Logo";
  layer.BeginUpdate();
  layer.SourceBitmap().Assign(logo);
  layer.EndUpdate();
  layer.XUnit = cuPercent;
  layer.YUnit = cuPercent;
  layer.HAlign = haRight;
  layer.VAlign = vaTop;
  layer.XCoord = 2.5f;
  layer.YCoord = 3.0f;
  layer.SizeMode = lsShorter;
  layer.SizePercent = 25;
  layer.SetMasterAlpha(200);
}

void MakeProof(TLayerCollection& layers, Watermark::TWatermarkExif&) {
  auto& text = layers.Add<TTextLayer>();
  text.Name = "Proof";
  text.Text = "PROOF";
  text.Font.Name = "DejaVu Sans";
  text.Font.Size = 64;
  text.Font.Bold = true;
  text.Font.Color = kWhite;
  text.XUnit = cuPercent;
  text.YUnit = cuPercent;
  text.HAlign = haCenter;
  text.VAlign = vaMiddle;
  text.Tile = true;
  text.XTileOffs = 90;
  text.YTileOffs = 70;
  // A diagonal mark, rising to the right: every tile turned counter-clockwise.
  text.SizeMode = lsShorter;
  text.SizePercent = 30;
  text.Angle = -30;
  text.Noisy = true;
  text.NoiseIntensity = 120;
  text.SetMasterAlpha(90);
  text.RenderText();
  // A thin dark rim keeps the mark visible on white skies and snow.
  TStrokeRecord stroke;
  stroke.Size = 2;
  stroke.Opacity = 60;
  stroke.Position = spOutside;
  stroke.Color = kBlack;
  TFiltersParams styles;
  styles.Items["Stroke"] = stroke.ToParams();
  text.SetStyles(styles);
}

// One layer for landscape pictures and one for portrait ones: the text's
// height follows the picture's height, which is the shorter side of a
// landscape picture and the longer side of a portrait one.
void AddPhotoInfo(TLayerCollection& layers, const char* name, uint8_t orientation, float heightPercent) {
  auto& text = layers.Add<TTextLayer>();
  text.Name = name;
  // The camera on the first line, the exposure on the second. "<FNUMBER>" is
  // the f-number from FNumber, or from the APEX aperture value.
  text.Text = "<MODEL>\r\n<EXPOSURE_TIME>   <FNUMBER>   ISO <ISO>   <FOCAL_LENGTH>";
  text.Font.Name = "DejaVu Sans";
  text.Font.Size = 14;
  text.Font.Bold = true;
  text.Font.Color = kWhite;
  text.XUnit = cuPercent;
  text.YUnit = cuPercent;
  text.HAlign = haLeft;
  text.VAlign = vaBottom;
  text.XCoord = 2.0f;
  text.YCoord = 3.0f;
  text.SizeMode = lsHeight;
  text.SizePercent = heightPercent;
  text.Orientation = orientation;
  text.RenderText();
  // Bold lettering with a one-pixel dark rim and a tight shadow reads on
  // light and dark ground alike. A wider stroke would eat the small glyphs:
  // the stroke is painted over the glyphs' edge pixels.
  TStrokeRecord stroke;
  stroke.Size = 1;
  stroke.Opacity = 60;
  stroke.Position = spOutside;
  stroke.Color = kBlack;
  TFiltersParams styles = DropShadow(2, 100, 1);
  styles.Items["Stroke"] = stroke.ToParams();
  text.SetStyles(styles);
}

void MakePhotoInfo(TLayerCollection& layers, Watermark::TWatermarkExif&) {
  // Two lines at 6 % of a landscape picture's height; on a 2:3 portrait
  // picture 4 % of its height is the same share of its shorter side.
  AddPhotoInfo(layers, "Photo Info", loLandscape, 6);
  AddPhotoInfo(layers, "Photo Info (portrait)", loPortrait, 4);
}

bool WriteWatermarks(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  TPluginManager plugins;
  TBitmap32 logo = DrawLogo();
  if (!plugins.SaveBitmap((folder / "Logo.png").string(), logo)) {
    std::fprintf(stderr, "tarvex_make_samples: cannot write %s\n", (folder / "Logo.png").c_str());
    return false;
  }

  struct TSample {
    const char* FileName;
    void (*Make)(TLayerCollection&, Watermark::TWatermarkExif&);
  };
  const TSample samples[] = {
      {"Copyright.tvx", MakeCopyright},
      {"Proof.tvx", MakeProof},
      {"Photo Info.tvx", MakePhotoInfo},
  };
  for (const TSample& sample : samples) {
    TLayerCollection layers;
    Watermark::TWatermarkExif exif;
    sample.Make(layers, exif);
    SaveWatermark((folder / sample.FileName).string(), layers, exif);
  }
  TLayerCollection layers;
  Watermark::TWatermarkExif exif;
  MakeLogo(layers, exif, logo);
  SaveWatermark((folder / "Logo.tvx").string(), layers, exif);
  return true;
}

// ---- the demo pictures --------------------------------------------------------

// A small deterministic hash noise, so the pictures are the same on every run.
double Hash(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

double SmoothNoise(double x, double y, uint32_t seed) {
  int32_t x0 = static_cast<int32_t>(std::floor(x)), y0 = static_cast<int32_t>(std::floor(y));
  double fx = x - x0, fy = y - y0;
  fx = fx * fx * (3 - 2 * fx);
  fy = fy * fy * (3 - 2 * fy);
  double a = Hash(x0, y0, seed), b = Hash(x0 + 1, y0, seed);
  double c = Hash(x0, y0 + 1, seed), d = Hash(x0 + 1, y0 + 1, seed);
  return (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy;
}

double Fractal(double x, double y, uint32_t seed) {
  double sum = 0, amp = 0.5;
  for (int i = 0; i < 5; ++i) {
    sum += amp * SmoothNoise(x, y, seed + i);
    x *= 2.03;
    y *= 2.03;
    amp *= 0.5;
  }
  return sum;
}

struct TRgb {
  double R, G, B;
};
TRgb Mix(TRgb a, TRgb b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}

struct TScene {
  const char* FileName;
  int32_t Width, Height;
  TRgb SkyTop, SkyHorizon, Sun, Far, Near;
  double Horizon;  // fraction of the height
  double SunX, SunY;
  uint32_t Seed;
  const char* Model;
};

// A landscape: sky gradient with a sun glow and clouds, two mountain ranges,
// a lake that mirrors the sky, and a little grain.
TBitmap32 DrawScene(const TScene& s) {
  TBitmap32 picture(s.Width, s.Height);
  const double scale = 1.0 / std::max(s.Width, s.Height);
  const double sunX = s.SunX * s.Width, sunY = s.SunY * s.Height;
  const int32_t horizon = static_cast<int32_t>(s.Horizon * s.Height);
  std::vector<double> farRidge(s.Width), nearRidge(s.Width);
  for (int32_t x = 0; x < s.Width; ++x) {
    double u = x * scale;
    farRidge[x] = horizon - s.Height * (0.10 + 0.16 * Fractal(u * 3, 0.5, s.Seed));
    nearRidge[x] = horizon - s.Height * (0.02 + 0.10 * Fractal(u * 5 + 7, 1.5, s.Seed + 11));
  }
  auto skyAt = [&](double x, double y) {
    TRgb c = Mix(s.SkyTop, s.SkyHorizon, std::pow(std::max(y, 0.0) / horizon, 1.4));
    double d = std::hypot(x - sunX, y - sunY) * scale;
    c = Mix(c, s.Sun, std::exp(-d * 9) * 0.85);
    if (d < 0.03) c = Mix(c, {255, 250, 235}, (0.03 - d) / 0.006);
    double cloud = Fractal(x * scale * 4, y * scale * 12, s.Seed + 3);
    c = Mix(c, Mix({255, 255, 255}, s.Sun, 0.3), std::max(0.0, cloud - 0.55) * 2.2 * (1 - y / horizon));
    return c;
  };
  for (int32_t y = 0; y < s.Height; ++y) {
    TColor32* row = picture.ScanLine(y);
    for (int32_t x = 0; x < s.Width; ++x) {
      TRgb c;
      if (y < horizon) {
        c = skyAt(x, y);
        double haze = 1 - (horizon - y) / static_cast<double>(s.Height) * 2;
        if (y >= farRidge[x]) c = Mix(s.Far, s.SkyHorizon, 0.35 * haze);
        if (y >= nearRidge[x]) {
          double shade = Fractal(x * scale * 20, y * scale * 20, s.Seed + 5);
          c = Mix(s.Near, {s.Near.R * 0.5, s.Near.G * 0.5, s.Near.B * 0.5}, shade);
        }
      } else {
        // the lake: the mirrored sky, darkened, with ripples
        double ripple = std::sin(y * 0.9 + 6 * Fractal(x * scale * 30, y * scale * 4, s.Seed + 9)) * 4;
        double my = 2.0 * horizon - y + ripple;
        c = my >= 0 ? skyAt(x, my) : s.SkyTop;
        if (my >= farRidge[x]) c = s.Far;
        if (my >= nearRidge[x]) c = s.Near;
        c = Mix(c, {20, 35, 50}, 0.35 + 0.4 * (y - horizon) / static_cast<double>(s.Height - horizon));
      }
      double grain = (Hash(x, y, s.Seed + 17) - 0.5) * 6;
      row[x] = ARGB(255, static_cast<uint8_t>(std::clamp(c.R + grain, 0.0, 255.0)),
                    static_cast<uint8_t>(std::clamp(c.G + grain, 0.0, 255.0)),
                    static_cast<uint8_t>(std::clamp(c.B + grain, 0.0, 255.0)));
    }
  }
  return picture;
}

bool WritePictures(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  TPluginManager plugins;
  plugins.SetQuality(".jpg", 88);
  const TScene scenes[] = {
      {"lake-morning.jpg", 1200, 800, {70, 120, 200}, {200, 220, 235}, {255, 240, 200}, {95, 115, 140},
       {40, 70, 55}, 0.62, 0.70, 0.22, 1, "Synthetic Lake 1"},
      {"sunset-portrait.jpg", 720, 1080, {40, 40, 100}, {250, 150, 90}, {255, 200, 120}, {110, 70, 100},
       {45, 30, 45}, 0.66, 0.45, 0.52, 2, "Synthetic Sunset 2"},
      {"wide-dusk.jpg", 1600, 900, {20, 30, 70}, {180, 120, 160}, {255, 170, 140}, {70, 60, 100},
       {25, 25, 40}, 0.60, 0.25, 0.50, 3, "Synthetic Dusk 3"},
      {"square-noon.jpg", 640, 640, {40, 110, 210}, {170, 210, 240}, {255, 255, 230}, {120, 140, 150},
       {60, 95, 50}, 0.58, 0.55, 0.12, 4, "Synthetic Noon 4"},
  };
  for (const TScene& scene : scenes) {
    std::string file = (folder / scene.FileName).string();
    if (!plugins.SaveBitmap(file, DrawScene(scene))) {
      std::fprintf(stderr, "tarvex_make_samples: cannot write %s\n", file.c_str());
      return false;
    }
    // Only ASCII tags can be written this way; exposure values stay absent.
    plugins.WriteExif(file, 271, "Tarvex");
    plugins.WriteExif(file, 272, scene.Model);
  }
  return true;
}

// The pictures of the welcome tour: a small landscape per page, most with one
// of the sample watermarks drawn on it exactly as a run draws it.
bool WriteTutorialPictures(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  TPluginManager plugins;
  const TBitmap32 logo = DrawLogo();
  auto withLogo = [&logo](TLayerCollection& layers, Watermark::TWatermarkExif& exif) {
    MakeLogo(layers, exif, logo);
  };
  struct TPage {
    TScene Scene;
    std::function<void(TLayerCollection&, Watermark::TWatermarkExif&)> Make;
  };
  const TPage pages[] = {
      {{"0.bmp", 720, 480, {70, 120, 200}, {200, 220, 235}, {255, 240, 200}, {95, 115, 140}, {40, 70, 55}, 0.62,
        0.70, 0.22, 1, ""},
       MakeCopyright},
      {{"1.bmp", 720, 480, {40, 110, 210}, {170, 210, 240}, {255, 255, 230}, {120, 140, 150}, {60, 95, 50}, 0.58,
        0.55, 0.12, 4, ""},
       nullptr},
      {{"2.bmp", 720, 480, {20, 30, 70}, {180, 120, 160}, {255, 170, 140}, {70, 60, 100}, {25, 25, 40}, 0.60, 0.25,
        0.50, 3, ""},
       withLogo},
      {{"3.bmp", 720, 480, {40, 40, 100}, {250, 150, 90}, {255, 200, 120}, {110, 70, 100}, {45, 30, 45}, 0.66, 0.45,
        0.52, 2, ""},
       MakeProof},
      {{"4.bmp", 720, 480, {70, 120, 200}, {200, 220, 235}, {255, 240, 200}, {95, 115, 140}, {40, 70, 55}, 0.62,
        0.30, 0.22, 5, ""},
       MakePhotoInfo},
  };
  TExifParameters camera;
  camera.Values = {{272, "Synthetic Camera"}, {33434, "1/250 sec."}, {37378, "f/8.0"}, {34855, "200"},
                   {37386, "35.0 mm"}};
  for (const TPage& page : pages) {
    TBitmap32 picture = DrawScene(page.Scene);
    if (page.Make) {
      TLayerCollection layers;
      Watermark::TWatermarkExif exif;
      page.Make(layers, exif);
      SetPictureParameters(layers, &camera);
      RefreshMacroLayers(layers);
      DrawWatermark(layers, picture, 1.0);
    }
    const std::string file = (folder / page.Scene.FileName).string();
    if (!plugins.SaveBitmap(file, picture)) {
      std::fprintf(stderr, "tarvex_make_samples: cannot write %s\n", file.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace


int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    // Only the kinds: the user's saved styles play no part in the samples.
    RegisterFilterKinds();
    if (args.size() == 2 && args[0] == "--pictures") return WritePictures(args[1]) ? 0 : 1;
    if (args.size() == 2 && args[0] == "--tutorial") return WriteTutorialPictures(args[1]) ? 0 : 1;
    if (args.size() == 1 && args[0] != "--help" && args[0].rfind("--", 0) != 0)
      return WriteWatermarks(args[0]) ? 0 : 1;
    std::fprintf(stderr,
                 "Usage: tarvex_make_samples FOLDER\n"
                 "       tarvex_make_samples --pictures FOLDER\n"
                 "       tarvex_make_samples --tutorial FOLDER\n"
                 "Writes the sample watermarks (and Logo.png) into FOLDER, with --pictures\n"
                 "a few synthetic photos for trying them out, with --tutorial the pictures\n"
                 "of the welcome tour (0.bmp ...).\n");
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarvex_make_samples: %s\n", e.what());
    return 1;
  }
}
