#include "app/QuickWatermark.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/JsonProgress.h"
#include "editor/EditorRules.h"
#include "imageio/PluginManager.h"
#include "styles/StyleRecords.h"
#include "util/Error.h"
#include "util/Utils.h"
#include "watermark/BitmapLayer.h"
#include "watermark/TextLayer.h"

namespace tvx {
namespace {

// Pixels per point: fonts are sized in points at 96 dots per inch.
constexpr double kPixelsPerPoint = 96.0 / 72.0;

// The alignments of a position name; its index in kPositions gives the row
// (top, middle, bottom) and the column (left, center, right).
void Align(const std::string& position, uint8_t& hAlign, uint8_t& vAlign) {
  static const uint8_t kColumns[3] = {haLeft, haCenter, haRight};
  static const uint8_t kRows[3] = {vaTop, vaMiddle, vaBottom};
  size_t index = 8;  // bottom-right
  for (size_t i = 0; i < 9; ++i)
    if (position == kPositions[i]) index = i;
  hAlign = kColumns[index % 3];
  vAlign = kRows[index / 3];
}

// Placement, size, opacity, shadow, tiling and angle: what both kinds share.
void ApplyCommon(TBaseLayer& layer, const TLayerValues& values, uint8_t sizeMode, float sizePercent) {
  TLayerUpdate update(layer);
  Align(values.Position, layer.HAlign, layer.VAlign);
  // The margin is a share of the shorter side, the same distance from both
  // edges; a centred axis keeps its content on the centre line.
  layer.XUnit = cuShorterPercent;
  layer.YUnit = cuShorterPercent;
  layer.XCoord = layer.HAlign == haCenter ? 0.0f : static_cast<float>(values.Margin);
  layer.YCoord = layer.VAlign == vaMiddle ? 0.0f : static_cast<float>(values.Margin);
  layer.SizeMode = sizeMode;
  layer.SizePercent = sizePercent;
  layer.Orientation = loBoth;
  // Any number of whole turns is the same turn; the file holds -360..360.
  layer.Angle = static_cast<float>(NormalizeAngle(values.Rotate));
  layer.Tile = values.Tile;
  if (values.Tile) {
    // Tiles that touch run into one another ("ProofProof"): they keep one
    // size apart, in pixels of the reference picture.
    const int32_t gap = static_cast<int32_t>(std::lround(kComposeReferenceSide * values.Size / 100.0));
    layer.XTileOffs = gap;
    layer.YTileOffs = gap;
  }
  layer.SetMasterAlpha(static_cast<int32_t>(std::lround(values.Opacity * 255.0 / 100.0)));
  if (values.Shadow) {
    TFiltersParams styles;
    styles.Items[kDropShadowKind] = TShadowRecord::Defaults().ToParams();
    layer.SetStyles(styles);
  }
}

void AddText(TLayerCollection& layers, const TLayerRequest& request, const TLayerValues& values) {
  auto& layer = layers.Add<TTextLayer>();
  TLayerFont font;
  if (!values.Font.empty()) font.Name = values.Font;
  font.Color = values.Color;
  // The line height in pixels is the share of the shorter side; rendered for
  // the reference picture, the relative size takes it to every other one.
  font.Size = std::max<int32_t>(
      1, static_cast<int32_t>(std::lround(kComposeReferenceSide * values.Size / 100.0 / kPixelsPerPoint)));
  uint8_t hAlign = haRight, vAlign = vaBottom;
  Align(values.Position, hAlign, vAlign);
  const uint8_t justification = hAlign == haLeft ? tjLeft : hAlign == haRight ? tjRight : tjCentered;
  // Measured with the macros as written: without a picture they would expand
  // to nothing, and a text of macros only would have no width to size by.
  layer.ShowMacroNames = true;
  layer.ApplySettings(request.Value, request.Value, font, justification);
  layer.ShowMacroNames = false;
  // The line height follows the shorter side, so that long macro values make
  // the text wider, not smaller.
  ApplyCommon(layer, values, lsShorterHeight,
              static_cast<float>(std::min(values.Size, static_cast<double>(TBaseLayer::kMaxSizePercent))));
}

void AddLogo(TLayerCollection& layers, const TLayerRequest& request, const TLayerValues& values,
             const TPluginManager& plugins) {
  auto& layer = layers.Add<TBitmapLayer>();
  try {
    layer.ApplySettings(ExtractFileName(request.Value), request.Value, plugins);
  } catch (const EError& e) {
    RaiseError("ComposeWatermark", 1, "Cannot read the logo " + request.Value + ": " + e.what());
  }
  if (layer.SourceBitmap().Empty())
    RaiseError("ComposeWatermark", 2, "The logo " + request.Value + " has no pixels!");
  ApplyCommon(layer, values, lsShorter, static_cast<float>(values.Size));
}

// JSON numbers: integers as such, reals with up to 6 significant digits
// (what a 32-bit float holds); never "nan" or "inf".
std::string Number(double value) {
  if (!std::isfinite(value)) return "0";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

std::string Bool(bool value) { return value ? "true" : "false"; }

// A system colour value (0x00BBGGRR) as "#RRGGBB".
std::string ColorText(uint32_t color) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  return buffer;
}

template <size_t N>
std::string NameOf(uint8_t value, const char* const (&names)[N]) {
  return JsonQuote(value < N ? names[value] : "unknown");
}

std::string DescribeLayer(const TBaseLayer& layer) {
  static const char* const kUnits[] = {"px", "%", "%shorter"};
  static const char* const kHAligns[] = {"left", "right", "center"};
  static const char* const kVAligns[] = {"top", "bottom", "middle"};
  static const char* const kSizeModes[] = {"fixed", "width", "height", "shorter", "longer", "shorterHeight"};
  static const char* const kOrientations[] = {"both", "landscape", "portrait"};
  static const char* const kJustifications[] = {"left", "right", "center"};
  const auto* text = dynamic_cast<const TTextLayer*>(&layer);
  const auto* picture = dynamic_cast<const TBitmapLayer*>(&layer);
  std::string d = "{\"kind\":" + JsonQuote(text ? "text" : picture ? "picture" : "other");
  d += ",\"name\":" + JsonQuote(layer.Name);
  d += ",\"width\":" + std::to_string(layer.SourceBitmap().Width());
  d += ",\"height\":" + std::to_string(layer.SourceBitmap().Height());
  d += ",\"x\":" + Number(layer.XCoord) + ",\"xUnit\":" + NameOf(layer.XUnit, kUnits);
  d += ",\"y\":" + Number(layer.YCoord) + ",\"yUnit\":" + NameOf(layer.YUnit, kUnits);
  d += ",\"hAlign\":" + NameOf(layer.HAlign, kHAligns) + ",\"vAlign\":" + NameOf(layer.VAlign, kVAligns);
  d += ",\"sizeMode\":" + NameOf(layer.SizeMode, kSizeModes) + ",\"sizePercent\":" + Number(layer.SizePercent);
  d += ",\"orientation\":" + NameOf(layer.Orientation, kOrientations) + ",\"angle\":" + Number(layer.Angle);
  d += ",\"opacity\":" + std::to_string(std::lround(layer.GetMasterAlpha() * 100.0 / 255.0));
  d += ",\"alpha\":" + std::to_string(layer.GetMasterAlpha());
  d += ",\"visible\":" + Bool(layer.Visible());
  d += ",\"tile\":" + Bool(layer.Tile) + ",\"tileGapX\":" + std::to_string(layer.XTileOffs) +
       ",\"tileGapY\":" + std::to_string(layer.YTileOffs);
  d += ",\"noise\":" + Bool(layer.Noisy) + ",\"noiseIntensity\":" + std::to_string(layer.NoiseIntensity);
  d += ",\"stylesEnabled\":" + Bool(layer.StylesEnabled()) + ",\"styles\":[";
  bool first = true;
  for (const auto& [name, params] : layer.Styles().Items) {
    if (!first) d += ',';
    d += JsonQuote(name);
    first = false;
  }
  d += "]";
  if (text) {
    d += ",\"text\":" + JsonQuote(text->Text) + ",\"macros\":" + Bool(text->HasMacros());
    d += ",\"font\":" + JsonQuote(text->Font.Name) + ",\"fontSize\":" + std::to_string(text->Font.Size);
    d += ",\"color\":" + JsonQuote(ColorText(text->Font.Color));
    d += ",\"bold\":" + Bool(text->Font.Bold) + ",\"italic\":" + Bool(text->Font.Italic) +
         ",\"underline\":" + Bool(text->Font.Underline) + ",\"strikeOut\":" + Bool(text->Font.StrikeOut);
    d += ",\"justification\":" + NameOf(text->Justification, kJustifications);
  }
  return d + "}";
}

std::string DescribeField(bool write, const std::string& text) {
  return "{\"write\":" + Bool(write) + ",\"text\":" + JsonQuote(text) + "}";
}

}  // namespace

void ComposeWatermark(const TCommandLine& commandLine, TLayerCollection& layers, const TPluginManager& plugins) {
  // Made on the side: a logo that cannot be read must not leave half a
  // watermark behind.
  TLayerCollection made;
  for (const TLayerRequest& request : commandLine.Layers) {
    const TLayerValues values = ResolveLayerOptions(request.Options, commandLine.LayerDefaults);
    if (request.Kind == TLayerRequest::Text)
      AddText(made, request, values);
    else
      AddLogo(made, request, values, plugins);
  }
  while (made.Count() > 0) layers.Insert(layers.Count(), made.Extract(0));
}

std::string DescribeWatermark(const TLayerCollection& layers, const Watermark::TWatermarkExif& exif) {
  std::string d = "{\"layers\":[";
  bool first = true;
  for (int32_t i = 0; i < layers.Count(); ++i) {
    const auto* layer = dynamic_cast<const TBaseLayer*>(&layers.Items(i));
    if (!layer) continue;  // selection handles are no part of a watermark
    if (!first) d += ',';
    d += DescribeLayer(*layer);
    first = false;
  }
  d += "],\"exif\":{";
  d += "\"title\":" + DescribeField(exif.WriteTitle, exif.Title);
  d += ",\"copyright\":" + DescribeField(exif.WriteCopyright, exif.Copyright);
  d += ",\"artist\":" + DescribeField(exif.WriteArtist, exif.Artist);
  d += ",\"comment\":" + DescribeField(exif.WriteComment, exif.Comment);
  return d + "}}";
}

std::string CreateOutputFolder(const TCommandLine& cl, const TOutputSettings& settings) {
  if (settings.Destination.Placement != plOtherFolder || !cl.Output.Folder || cl.DryRun) return {};
  std::error_code error;
  std::filesystem::create_directories(settings.Destination.DestFolder, error);
  if (!error) return {};
  return "Cannot create the folder " + settings.Destination.DestFolder + " (" + error.message() + ")";
}

bool HasOutputOverrides(const TCommandLine& cl) {
  const TOutputOverrides& o = cl.Output;
  return o.Folder || o.Placement || o.Format || o.Quality || o.RemoveOriginals || cl.Overwrite;
}

std::string ApplyOutputOverrides(const TCommandLine& cl, TOutputSettings& settings,
                                 const std::vector<std::string>& formatRows) {
  const TOutputOverrides& o = cl.Output;
  TDestinationSettings& d = settings.Destination;
  if (o.Format && *o.Format != "keep") {
    auto row = std::find_if(formatRows.begin(), formatRows.end(), [&](const std::string& name) {
      return LowerCaseUtf8(name) == *o.Format;
    });
    if (row == formatRows.end()) {
      std::string known;
      for (const std::string& name : formatRows) known += LowerCaseUtf8(name) + ", ";
      return "--format takes " + known + "or keep, not \"" + *o.Format + "\"";
    }
    d.KeepOriginalFormat = false;
    d.DefaultFileFormat = static_cast<int32_t>(row - formatRows.begin());
  } else if (o.Format) {
    d.KeepOriginalFormat = true;
  }
  if (o.Placement) d.Placement = static_cast<TPlacement>(*o.Placement);
  if (o.Folder) d.DestFolder = *o.Folder;
  if (o.Quality) d.JPEGQuality = *o.Quality;
  if (cl.Overwrite) d.OverwriteExisting = *cl.Overwrite;
  if (o.RemoveOriginals) d.RemoveOriginalFiles = true;
  return {};
}

}  // namespace tvx
