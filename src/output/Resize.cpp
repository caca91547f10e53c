#include "output/Resize.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "util/Config.h"
#include "util/Utils.h"

namespace tvx {
namespace {

constexpr const char* kSection = "ResizeOptions";

int32_t Trunc(double v) {
  if (!(v > -2147483648.0 && v < 2147483648.0)) return v > 0 ? std::numeric_limits<int32_t>::max() : 0;
  return static_cast<int32_t>(v);
}

// Pixels per unit length at the resolution.
double PixelsPerUnit(uint8_t unit, int32_t resolution, uint8_t resolutionUnit) {
  double r = resolution;
  bool perInch = resolutionUnit == ruPixelsPerInch;
  switch (unit) {
    case luInches: return perInch ? r : r * 2.54;
    case luCentimetres: return perInch ? r / 2.54 : r;
    case luMillimetres: return perInch ? r / 25.4 : r / 10;
    default: return 1.0;
  }
}

uint8_t ToByte(int32_t v) { return static_cast<uint8_t>(v); }

// A row index read from the file; one that is not a row of its list reads as
// the default, so the dialog shows what a run will use.
int32_t ReadRow(const TConfig& config, const char* key, int32_t rows, int32_t defaultValue) {
  int32_t value = config.ReadInteger(kSection, key, defaultValue);
  return value >= 0 && value < rows ? value : defaultValue;
}

}  // namespace

double ReadLenientReal(const std::string& text) {
  std::string kept;
  for (char c : text)
    if ((c >= '0' && c <= '9') || c == '.' || c == '-') kept += c;
  double value = 0;
  auto [end, ec] = std::from_chars(kept.data(), kept.data() + kept.size(), value);
  if (ec != std::errc() || end != kept.data() + kept.size() || !std::isfinite(value)) return 0;
  return value;
}

int32_t ReadLenientInteger(const std::string& text) {
  std::string kept;
  for (char c : text)
    if ((c >= '0' && c <= '9') || c == '-') kept += c;
  int32_t value = 0;
  auto [end, ec] = std::from_chars(kept.data(), kept.data() + kept.size(), value);
  if (ec != std::errc() || end != kept.data() + kept.size()) return 0;
  return value;
}

std::string FormatReal(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

void TResizeSettings::LoadSettings(const TConfig& config) {
  ResizeMethod = config.ReadInteger(kSection, "ResizeMethod", 2) == 1 ? 1 : 2;
  Percentage = config.ReadInteger(kSection, "Percentage", 50);
  ApplyTo = ReadRow(config, "ApplyTo", 3, atWidthAndHeight);
  XUnits = ReadRow(config, "XUnits", 4, luPixels);
  YUnits = ReadRow(config, "YUnits", 4, luPixels);
  Width = config.ReadFloat(kSection, "Width", 10.0);
  Height = config.ReadFloat(kSection, "Height", 10.0);
  Resolution = config.ReadInteger(kSection, "Resolution", 300);
  ResolutionUnits = ReadRow(config, "ResolutionUnits", 2, ruPixelsPerInch);
  Resize = ReadRow(config, "Resize", 3, rzEnlargeOrReduce);
  PreserveAspectRatio = config.ReadBool(kSection, "PreserveAspectRatio", true);
  FitWithin = ReadRow(config, "FitWithin", 3, atWidthAndHeight);
  ValidateValues();
}

void TResizeSettings::SaveSettings(TConfig& config) {
  ValidateValues();
  config.WriteInteger(kSection, "ResizeMethod", ResizeMethod == 1 ? 1 : 2);
  config.WriteInteger(kSection, "Percentage", Percentage);
  config.WriteInteger(kSection, "ApplyTo", ApplyTo);
  config.WriteInteger(kSection, "XUnits", XUnits);
  config.WriteInteger(kSection, "YUnits", YUnits);
  config.WriteFloat(kSection, "Width", Width);
  config.WriteFloat(kSection, "Height", Height);
  config.WriteInteger(kSection, "Resolution", Resolution);
  config.WriteInteger(kSection, "ResolutionUnits", ResolutionUnits);
  config.WriteInteger(kSection, "Resize", Resize);
  config.WriteBool(kSection, "PreserveAspectRatio", PreserveAspectRatio);
  config.WriteInteger(kSection, "FitWithin", FitWithin);
}

void TResizeSettings::ValidateValues() {
  if (Percentage < 3) Percentage = 3;
  // The fields are checked by their integer reading, as typed text.
  if (ReadLenientInteger(FormatReal(Width)) < 1) Width = 1;
  if (ReadLenientInteger(FormatReal(Height)) < 1) Height = 1;
  if (Resolution <= 0) Resolution = 1;
}

TResizeParams TResizeSettings::GetResizeParams() const {
  TResizeParams p;
  p.Method = ResizeMethod == 1 ? rmPercentage : rmActualSize;
  p.Percentage = Percentage;
  p.ApplyTo = ToByte(ApplyTo);
  p.Width = static_cast<float>(Width);
  p.Height = static_cast<float>(Height);
  p.WidthUnit = ToByte(XUnits);
  p.HeightUnit = ToByte(YUnits);
  p.Resolution = Resolution;
  p.ResolutionUnit = ToByte(ResolutionUnits);
  p.ResizeMode = ToByte(Resize);
  p.PreserveAspectRatio = PreserveAspectRatio;
  p.FitWithin = ToByte(FitWithin);
  return p;
}

bool ComputeResize(int32_t w0, int32_t h0, const TResizeParams& p, int32_t& newWidth, int32_t& newHeight) {
  int32_t w = w0, h = h0;
  if (p.Method == rmPercentage) {
    double k = p.Percentage * 0.01;
    if (p.ApplyTo == atWidthOnly || p.ApplyTo == atWidthAndHeight) w = Trunc(w0 * k);
    if (p.ApplyTo == atHeightOnly || p.ApplyTo == atWidthAndHeight) h = Trunc(h0 * k);
  } else {
    int32_t tw = Trunc(p.Width * PixelsPerUnit(p.WidthUnit, p.Resolution, p.ResolutionUnit));
    int32_t th = Trunc(p.Height * PixelsPerUnit(p.HeightUnit, p.Resolution, p.ResolutionUnit));
    if (p.ResizeMode == rzEnlargeOnly && (w0 > tw || h0 > th)) return false;
    if (p.ResizeMode == rzReduceOnly && (w0 < tw || h0 < th)) return false;
    w = tw;
    h = th;
    if (p.PreserveAspectRatio && w0 > 0 && h0 > 0) {
      if (p.FitWithin == atWidthOnly) {
        h = Trunc(static_cast<double>(w) / w0 * h0);
      } else if (p.FitWithin == atHeightOnly) {
        w = Trunc(static_cast<double>(h) / h0 * w0);
      } else {
        int32_t v = Trunc(static_cast<double>(w) / w0 * h0);
        if (h < v)
          w = Trunc(static_cast<double>(h) / h0 * w0);
        else
          h = v;
      }
    }
  }
  // A side truncated to nothing would leave an empty picture that no format
  // can save; one pixel is the smallest picture there is.
  newWidth = w0 > 0 ? std::max(w, 1) : w;
  newHeight = h0 > 0 ? std::max(h, 1) : h;
  return true;
}

void ResizePicture(TBitmap32& bitmap, const TResizeParams& params) {
  int32_t w, h;
  if (ComputeResize(bitmap.Width(), bitmap.Height(), params, w, h)) ResampleBitmap(bitmap, w, h);
}

}  // namespace tvx
