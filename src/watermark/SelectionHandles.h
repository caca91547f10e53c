#pragma once

#include <cstdint>

#include "raster/Bitmap32.h"
#include "raster/Layers.h"

namespace tvx {

/// What a drag on the selection frame does. The numbers are fixed: the
/// aspect correction below is defined with them.
enum TDragKind : int32_t {
  dkNone = 0,
  dkMove = 1,
  dkLeft = 2,
  dkTop = 3,
  dkRight = 4,
  dkBottom = 5,
  dkTopLeft = 6,
  dkTopRight = 7,
  dkBottomLeft = 8,
  dkBottomRight = 9,
};

/// The sides a stretch keeps a frame between, in picture pixels: a layer is
/// never emptied, and never grows beyond what its content can be resampled to.
inline constexpr double kMinFrameSide = 1;
inline constexpr double kMaxFrameSide = 10000;

/// The part of a frame under a view point. frame is in view pixels (as the
/// frame is painted), handles the enabled handle set and handleSize half the
/// side of a painted handle square. With rhCorners a point within
/// handleSize + 1 pixels of a corner takes that corner; with rhSides a point
/// that near an edge takes that edge; with rhCenter a point inside moves the
/// frame. Everything else, and an empty frame, is dkNone.
TDragKind HitTestFrame(const TFloatRect& frame, TRBHandles handles, int32_t handleSize, double x, double y);

/// The aspect correction of a stretch with Shift held (real arithmetic; W, H
/// are old's width and height, W', H' proposed's):
/// - top or bottom edge: the width follows the height about old's centre
///   (left -= W x ((H' - H) / 2) / H, right += the same);
/// - left or right edge: the height follows the width about old's centre;
/// - top corners: top = old bottom - H x W' / W;
/// - bottom corners: bottom = old top + H x W' / W.
/// Other kinds, and an old rectangle without area, return proposed unchanged.
TFloatRect KeepAspectRatio(TDragKind kind, const TFloatRect& old, const TFloatRect& proposed);

/// How a drag step is shaped besides the pointer's travel.
struct TDragOptions {
  bool KeepAspect = false;  ///< Shift held: stretches keep the frame's aspect ratio
  bool Snap = false;        ///< edges and centre lines snap to the picture's (Alt turns it off)
  int32_t PictureWidth = 0;
  int32_t PictureHeight = 0;
  double SnapDistance = 0;  ///< how near a line must come to snap, in picture pixels
};

/// The frame after the pointer travelled (dx, dy) picture pixels since the
/// drag began on start. The travel counts in whole picture pixels, so a drag
/// of N pixels at 100 % moves by exactly N.
/// - dkMove shifts the frame; with Snap, the nearest of its left edge, centre
///   and right edge within SnapDistance of the picture's left edge, centre or
///   right edge lands on it (the same vertically).
/// - The stretch kinds move their edges (a corner moves two), which snap to
///   the picture's lines as above; each side stays between kMinFrameSide and
///   kMaxFrameSide, the fixed edges staying where they are. With KeepAspect
///   the result is KeepAspectRatio's, the driving side limited so that both
///   sides stay within those bounds.
/// - dkNone returns start.
TFloatRect DragFrame(TDragKind kind, const TFloatRect& start, double dx, double dy,
                     const TDragOptions& options);

}  // namespace tvx
