#pragma once

#include <cstdint>
#include <string>

#include "raster/Bitmap32.h"

namespace tvx {

class TConfig;

enum TResizeMethod : uint8_t { rmPercentage = 0, rmActualSize = 1 };
enum TApplyTo : uint8_t { atWidthOnly = 0, atHeightOnly = 1, atWidthAndHeight = 2 };
enum TLengthUnit : uint8_t { luPixels = 0, luInches = 1, luCentimetres = 2, luMillimetres = 3 };
enum TResolutionUnit : uint8_t { ruPixelsPerInch = 0, ruPixelsPerCm = 1 };
enum TResizeMode : uint8_t { rzEnlargeOnly = 0, rzReduceOnly = 1, rzEnlargeOrReduce = 2 };

/// What ResizePicture needs: the resize frame's values.
struct TResizeParams {
  uint8_t Method = rmActualSize;
  int32_t Percentage = 100;
  uint8_t ApplyTo = atWidthAndHeight;
  float Width = 10.0f;
  float Height = 10.0f;
  uint8_t WidthUnit = luPixels;
  uint8_t HeightUnit = luPixels;
  int32_t Resolution = 300;
  uint8_t ResolutionUnit = ruPixelsPerInch;
  uint8_t ResizeMode = rzEnlargeOrReduce;
  bool PreserveAspectRatio = true;
  uint8_t FitWithin = atWidthAndHeight;
};

/// The resize frame as a model: its values, stored under "ResizeOptions".
struct TResizeSettings {
  int32_t ResizeMethod = 2;  ///< 1 percentage of original; any other value actual/print size
  int32_t Percentage = 50;
  int32_t ApplyTo = atWidthAndHeight;
  int32_t XUnits = luPixels;
  int32_t YUnits = luPixels;
  double Width = 10.0;
  double Height = 10.0;
  int32_t Resolution = 300;
  int32_t ResolutionUnits = ruPixelsPerInch;
  int32_t Resize = rzEnlargeOrReduce;
  bool PreserveAspectRatio = true;
  int32_t FitWithin = atWidthAndHeight;

  /// Reads every key with its default, then ValidateValues.
  void LoadSettings(const TConfig& config);
  /// ValidateValues, then writes every key.
  void SaveSettings(TConfig& config);
  /// Percentage below 3 becomes 3; a width or height whose integer reading
  /// is below 1 becomes 1; a resolution of 0 or below becomes 1.
  void ValidateValues();
  TResizeParams GetResizeParams() const;
};

/// The new size for a W0 x H0 picture; false when the picture stays as it is
/// (the enlarge-only / reduce-only tests). Reals truncate toward zero.
bool ComputeResize(int32_t width, int32_t height, const TResizeParams& params, int32_t& newWidth,
                   int32_t& newHeight);
/// Resizes in place with ResampleBitmap (which ignores sizes above 10000).
void ResizePicture(TBitmap32& bitmap, const TResizeParams& params);

/// The lenient readings of the numeric fields: a real keeps digits, "." and
/// "-" and ignores every other character; an integer keeps digits and "-"
/// (so "12.5" reads as 125). Empty or unparsable reads as 0.
double ReadLenientReal(const std::string& text);
int32_t ReadLenientInteger(const std::string& text);
/// A real as the fields show it (shortest form, "." as separator).
std::string FormatReal(double value);

}  // namespace tvx
