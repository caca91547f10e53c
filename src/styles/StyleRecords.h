#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "styles/FilterParams.h"
#include "styles/Gradient.h"

namespace tvx {

/// The registered filter kinds: their names are the registry's keys, the
/// keys of a layer's style map and the captions of their settings frames.
inline constexpr const char* kStrokeKind = "Stroke";
inline constexpr const char* kDropShadowKind = "Drop Shadow";
inline constexpr const char* kGlowKind = "Glow";
inline constexpr const char* kGradientKind = "Gradient";

/// How a field of a style block is stored.
enum class TFieldKind { Int32, UInt32, Float, Color };

/// One field of a style block: where it lies, its range (what the settings
/// frame offers; values read from a block are clamped to it), its default
/// and the unit its frame shows beside it ("" for none). The settings frames
/// build their rows from these tables: Name + ":" is the row's caption.
/// Colours take any value and carry no range.
struct TRecordField {
  const char* Name;
  uint32_t Offset;
  TFieldKind Kind;
  double Min, Max, Default;
  const char* Unit;
};

// ---- "STRK": the stroke --------------------------------------------------

enum TStrokePosition : int32_t { spInside = 0, spOutside = 1 };

/// The stroke's block: exactly 20 bytes.
struct TStrokeRecord {
  static constexpr char Signature[5] = "STRK";
  static constexpr uint32_t BlockSize = 20;
  static constexpr std::array<TRecordField, 4> Fields{{
      {"Size", 4, TFieldKind::Int32, 1, 250, 1, "px"},
      {"Opacity", 8, TFieldKind::Int32, 0, 100, 100, "%"},
      {"Position", 12, TFieldKind::Int32, spInside, spOutside, spInside, ""},
      {"Color", 16, TFieldKind::Color, 0, 0, 0, ""},
  }};
  /// The rows of the position list, by value.
  static constexpr std::array<const char*, 2> PositionNames{{"Inside", "Outside"}};

  int32_t Size = static_cast<int32_t>(Fields[0].Default);
  int32_t Opacity = static_cast<int32_t>(Fields[1].Default);
  int32_t Position = static_cast<int32_t>(Fields[2].Default);
  uint32_t Color = static_cast<uint32_t>(Fields[3].Default);

  /// What the frame shows without a block or for a block that FromParams refuses.
  static TStrokeRecord Defaults() { return {}; }
  /// The record of a block that is exactly 20 bytes and starts with "STRK"
  /// (otherwise nothing). Size and opacity are clamped to their ranges and a
  /// position other than "Outside" reads as "Inside", so a damaged block can
  /// neither size buffers without bound nor leave the margin undefined.
  static std::optional<TStrokeRecord> FromParams(const TFilterParams* params);
  TFilterParams ToParams() const;
  friend bool operator==(const TStrokeRecord&, const TStrokeRecord&) = default;
};

// ---- "DRPS": the drop shadow and the glow ---------------------------------

/// The shadow's block, shared by "Drop Shadow" and "Glow": exactly 24 bytes.
/// The glow writes distance 0 and angle 0 and has its own defaults.
struct TShadowRecord {
  static constexpr char Signature[5] = "DRPS";
  static constexpr uint32_t BlockSize = 24;
  static constexpr double DefaultShadowAngle = 1.0471976;  // 60 degrees
  static constexpr std::array<TRecordField, 5> ShadowFields{{
      {"Size", 4, TFieldKind::Int32, 1, 50, 5, "px"},
      {"Opacity", 8, TFieldKind::UInt32, 0, 100, 100, "%"},
      {"Distance", 12, TFieldKind::UInt32, 0, 50, 5, "px"},
      {"Angle", 16, TFieldKind::Float, -3.14159265358979, 3.14159265358979, DefaultShadowAngle, ""},
      {"Color", 20, TFieldKind::Color, 0, 0, 0, ""},
  }};
  static constexpr std::array<TRecordField, 5> GlowFields{{
      {"Size", 4, TFieldKind::Int32, 1, 50, 20, "px"},
      {"Opacity", 8, TFieldKind::UInt32, 0, 100, 100, "%"},
      {"Distance", 12, TFieldKind::UInt32, 0, 0, 0, "px"},
      {"Angle", 16, TFieldKind::Float, 0, 0, 0, ""},
      {"Color", 20, TFieldKind::Color, 0, 0, 0, ""},
  }};

  int32_t Size = static_cast<int32_t>(ShadowFields[0].Default);
  uint32_t Opacity = static_cast<uint32_t>(ShadowFields[1].Default);
  uint32_t Distance = static_cast<uint32_t>(ShadowFields[2].Default);
  float Angle = static_cast<float>(ShadowFields[3].Default);
  uint32_t Color = static_cast<uint32_t>(ShadowFields[4].Default);

  /// What the frames show without a block or for a block that FromParams refuses.
  static TShadowRecord Defaults() { return {}; }
  static TShadowRecord GlowDefaults() {
    return {static_cast<int32_t>(GlowFields[0].Default), static_cast<uint32_t>(GlowFields[1].Default),
            static_cast<uint32_t>(GlowFields[2].Default), static_cast<float>(GlowFields[3].Default),
            static_cast<uint32_t>(GlowFields[4].Default)};
  }
  /// The record of a block that is exactly 24 bytes and starts with "DRPS"
  /// (otherwise nothing). Size, opacity and distance are clamped to the
  /// shadow's ranges (a glow block with a distance keeps it: the glow is the
  /// same operation); an angle that is not a finite number reads as 0.
  static std::optional<TShadowRecord> FromParams(const TFilterParams* params);
  TFilterParams ToParams() const;
  friend bool operator==(const TShadowRecord&, const TShadowRecord&) = default;
};

// ---- "GRAD": the gradient overlay -----------------------------------------

/// The gradient's block: 24 bytes and 8 per stop.
struct TGradRecord {
  static constexpr char Signature[5] = "GRAD";
  static constexpr uint32_t HeaderSize = 24;
  static constexpr uint32_t StopSize = 8;
  static constexpr std::array<TRecordField, 5> Fields{{
      {"Angle", 4, TFieldKind::Float, -3.14159265358979, 3.14159265358979, 0, ""},
      {"Type", 8, TFieldKind::Int32, gtLinear, gtRadial, gtLinear, ""},  // read from the low byte
      {"StartColor", 12, TFieldKind::Color, 0, 0, 0x000000, ""},
      {"EndColor", 16, TFieldKind::Color, 0, 0, 0xFFFFFF, ""},
      {"StopCount", 20, TFieldKind::Int32, 0, 0, 0, ""},  // bounded by the block's size
  }};
  static constexpr std::array<TRecordField, 2> StopFields{{
      {"Color", 0, TFieldKind::Color, 0, 0, 0, ""},
      {"Position", 4, TFieldKind::Float, 0, 1, 0, ""},
  }};
  /// The rows of the type list, by value.
  static constexpr std::array<const char*, 3> TypeNames{{"Linear", "Reflected", "Radial"}};

  /// The gradient of a block (TGradFilterParams): the default gradient
  /// without a block or with another signature; otherwise the block's angle,
  /// type (low byte), colours and as many of its stops as lie inside it.
  static TGradient FromParams(const TFilterParams* params);
  /// FromParams as the settings frame shows it: a type its list lacks reads
  /// as Linear and an angle that is not a finite number as 0.
  static TGradient ForFrame(const TFilterParams* params);
  static TFilterParams ToParams(const TGradient& gradient);
};

/// The block the settings frame of a kind gives back after showing params:
/// the kind's record as the frame reads it (its defaults for a block it
/// refuses) written again. So ranges hold, and a glow's distance and angle
/// are 0. Nothing for a name that is not one of the four kinds.
std::optional<TFilterParams> FrameBlock(const std::string& kind, const TFilterParams* params);
/// FrameBlock without a block: the kind's defaults.
std::optional<TFilterParams> DefaultFrameBlock(const std::string& kind);

}  // namespace tvx
