#pragma once

#include <cstdint>
#include <vector>

#include "styles/Gradient.h"

namespace tvx {

/// One colour marker of the gradient editor: the position along the ramp it
/// stands for, its colour, and where it is drawn (its left edge, in the
/// editor's coordinates) within the range it may move in.
struct TGradientMarker {
  uint32_t Color = 0;  ///< 0x00BBGGRR
  float Position = 0;
  int32_t Left = 0;
  int32_t MinLeft = 0, MaxLeft = 0;
  friend bool operator==(const TGradientMarker&, const TGradientMarker&) = default;
};

/// The markers of the gradient editor and the rules for moving, adding and
/// removing them, in the editor's coordinates: the ramp is RampWidth x
/// RampHeight at (RampLeft, RampTop) and a marker of MarkerWidth x
/// MarkerHeight stands for the ramp column under its centre, Left + 10.
///
/// Marker 0 is the start colour and marker 1 the end colour, fixed below the
/// ramp's two ends; every other marker is a stop, in the order the markers
/// were created. A marker keeps the exact position it was loaded with until
/// it is moved, so opening and confirming the editor changes no stop.
/// Not thread-safe.
class TGradientMarkers {
 public:
  static constexpr int32_t RampLeft = 17;
  static constexpr int32_t RampTop = 17;
  static constexpr int32_t RampWidth = 279;
  static constexpr int32_t RampHeight = 47;
  static constexpr int32_t MarkerWidth = 21;
  static constexpr int32_t MarkerHeight = 26;
  /// The distance from a marker's left edge to its centre column.
  static constexpr int32_t MarkerCentre = 10;
  static constexpr int32_t MarkerTop = RampTop + RampHeight + 2;
  /// How far below the ramp a mouse release adds a marker.
  static constexpr int32_t AddBand = 30;
  static constexpr int32_t StartLeft = RampLeft - MarkerCentre;
  static constexpr int32_t EndLeft = RampLeft + RampWidth - MarkerCentre;
  /// One keyboard step, as a share of the ramp.
  static constexpr float NudgeStep = 0.01f;

  /// The position a marker drawn at left stands for.
  static float PositionOfLeft(int32_t left);
  /// Where a marker standing for position is drawn (truncated); positions
  /// that are not finite numbers give StartLeft.
  static int32_t LeftOfPosition(float position);
  /// Whether a mouse release at (x, y) adds a marker: at most AddBand below
  /// the ramp's bottom edge.
  static bool InAddBand(int32_t x, int32_t y);

  /// Markers for a gradient: start, end, then one per stop (drawn within
  /// [start + 1, end - 2]; a stop outside 0..1 is drawn at the nearer end
  /// of that range and keeps its position until moved). No selection.
  void Load(const TGradient& gradient);
  /// The gradient the markers stand for: the start and end markers'
  /// colours, one stop per other marker in creation order, and the type
  /// and angle of the loaded gradient.
  TGradient Gradient() const;

  const std::vector<TGradientMarker>& Markers() const { return markers_; }
  int Count() const { return static_cast<int>(markers_.size()); }
  static bool IsEnd(int index) { return index == 0 || index == 1; }

  /// The selected marker, -1 for none.
  int Selected() const { return selected_; }
  void Select(int index);
  /// The topmost marker whose rectangle holds (x, y), -1 for none; a
  /// marker created later lies over the earlier ones.
  int MarkerAt(int32_t x, int32_t y) const;

  /// Moves a marker to left, kept within its range; true when it moved.
  bool MoveTo(int index, int32_t left);
  /// Moves the selected marker by steps of NudgeStep along the ramp, kept
  /// within its range; true when it moved.
  bool Nudge(int steps);
  /// Adds a marker of the colour centred on column x, kept within [start +
  /// 1, end - 1] so that it always takes part in the gradient, and selects
  /// it. Returns its index.
  int AddAt(int32_t x, uint32_t color = 0);
  /// Adds a black marker halfway between the selected marker and the next
  /// one to its right (the start marker when none is selected).
  int Insert();
  /// Removes the selected marker unless it is the start or end marker;
  /// true when one was removed. The selection goes.
  bool DeleteSelected();
  /// Gives a marker a colour; true when it changed.
  bool SetColor(int index, uint32_t color);
  /// Selects the next marker to the left (direction < 0) or right along
  /// the ramp; true when the selection changed.
  bool SelectNeighbour(int direction);

 private:
  std::vector<TGradientMarker> markers_;
  int selected_ = -1;
  uint8_t type_ = gtLinear;
  float angle_ = 0;
};

}  // namespace tvx
