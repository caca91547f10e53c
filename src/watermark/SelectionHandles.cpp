#include "watermark/SelectionHandles.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace tvx {
namespace {

struct TRectD {
  double Left, Top, Right, Bottom;
  double Width() const { return Right - Left; }
  double Height() const { return Bottom - Top; }
};

TRectD ToD(const TFloatRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }
TFloatRect ToF(const TRectD& r) { return {float(r.Left), float(r.Top), float(r.Right), float(r.Bottom)}; }

bool MovesLeft(TDragKind k) { return k == dkLeft || k == dkTopLeft || k == dkBottomLeft; }
bool MovesRight(TDragKind k) { return k == dkRight || k == dkTopRight || k == dkBottomRight; }
bool MovesTop(TDragKind k) { return k == dkTop || k == dkTopLeft || k == dkTopRight; }
bool MovesBottom(TDragKind k) { return k == dkBottom || k == dkBottomLeft || k == dkBottomRight; }
bool IsStretch(TDragKind k) { return k >= dkLeft && k <= dkBottomRight; }

// The shift that puts the nearest of the edges onto a line within reach; 0 when none is that near.
double SnapShift(std::initializer_list<double> edges, int32_t extent, double reach) {
  const double lines[] = {0.0, extent / 2.0, double(extent)};
  double best = 0;
  bool found = false;
  for (double edge : edges)
    for (double line : lines) {
      const double d = line - edge;
      if (std::abs(d) <= reach && (!found || std::abs(d) < std::abs(best))) {
        best = d;
        found = true;
      }
    }
  return best;
}

}  // namespace

TDragKind HitTestFrame(const TFloatRect& frame, TRBHandles handles, int32_t handleSize, double x, double y) {
  if (!(frame.Right > frame.Left) || !(frame.Bottom > frame.Top)) return dkNone;
  // The handles are painted centred on the frame's outermost pixels.
  const TRect r = MakeRect(frame);
  const double left = r.Left, top = r.Top, right = r.Right - 1, bottom = r.Bottom - 1;
  const double reach = handleSize + 1;
  auto near = [reach](double a, double b) { return std::abs(a - b) <= reach; };
  if (handles & rhCorners) {
    if (near(x, left) && near(y, top)) return dkTopLeft;
    if (near(x, right) && near(y, top)) return dkTopRight;
    if (near(x, left) && near(y, bottom)) return dkBottomLeft;
    if (near(x, right) && near(y, bottom)) return dkBottomRight;
  }
  const bool withinX = x >= left - reach && x <= right + reach;
  const bool withinY = y >= top - reach && y <= bottom + reach;
  if (handles & rhSides) {
    if (near(x, left) && withinY) return dkLeft;
    if (near(x, right) && withinY) return dkRight;
    if (near(y, top) && withinX) return dkTop;
    if (near(y, bottom) && withinX) return dkBottom;
  }
  if ((handles & rhCenter) && x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) return dkMove;
  return dkNone;
}

TFloatRect KeepAspectRatio(TDragKind kind, const TFloatRect& old, const TFloatRect& proposed) {
  const TRectD o = ToD(old);
  TRectD p = ToD(proposed);
  const double w = o.Width(), h = o.Height();
  if (!(w > 0) || !(h > 0)) return proposed;
  switch (kind) {
    case dkTop:
    case dkBottom: {
      const double d = w * ((p.Height() - h) / 2) / h;
      p.Left -= d;
      p.Right += d;
      break;
    }
    case dkLeft:
    case dkRight: {
      const double d = h * ((p.Width() - w) / 2) / w;
      p.Top -= d;
      p.Bottom += d;
      break;
    }
    case dkTopLeft:
    case dkTopRight:
      p.Top = o.Bottom - h * p.Width() / w;
      break;
    case dkBottomLeft:
    case dkBottomRight:
      p.Bottom = o.Top + h * p.Width() / w;
      break;
    default:
      return proposed;
  }
  return ToF(p);
}

TFloatRect DragFrame(TDragKind kind, const TFloatRect& start, double dx, double dy,
                     const TDragOptions& options) {
  if (kind == dkNone || !std::isfinite(dx) || !std::isfinite(dy)) return start;
  dx = std::round(dx);
  dy = std::round(dy);
  const TRectD s = ToD(start);
  TRectD r = s;
  const double reach = options.SnapDistance;

  if (kind == dkMove) {
    r = {s.Left + dx, s.Top + dy, s.Right + dx, s.Bottom + dy};
    if (options.Snap) {
      const double sx = SnapShift({r.Left, (r.Left + r.Right) / 2, r.Right}, options.PictureWidth, reach);
      const double sy = SnapShift({r.Top, (r.Top + r.Bottom) / 2, r.Bottom}, options.PictureHeight, reach);
      r = {r.Left + sx, r.Top + sy, r.Right + sx, r.Bottom + sy};
    }
    return ToF(r);
  }
  if (!IsStretch(kind)) return start;

  if (MovesLeft(kind)) r.Left += dx;
  if (MovesRight(kind)) r.Right += dx;
  if (MovesTop(kind)) r.Top += dy;
  if (MovesBottom(kind)) r.Bottom += dy;
  if (options.Snap) {
    if (MovesLeft(kind)) r.Left += SnapShift({r.Left}, options.PictureWidth, reach);
    if (MovesRight(kind)) r.Right += SnapShift({r.Right}, options.PictureWidth, reach);
    if (MovesTop(kind)) r.Top += SnapShift({r.Top}, options.PictureHeight, reach);
    if (MovesBottom(kind)) r.Bottom += SnapShift({r.Bottom}, options.PictureHeight, reach);
  }

  // Each moving edge stays where its side keeps a size within the limits.
  auto limitWidth = [&](double lo, double hi) {
    if (MovesLeft(kind)) r.Left = std::clamp(r.Left, r.Right - hi, r.Right - lo);
    if (MovesRight(kind)) r.Right = std::clamp(r.Right, r.Left + lo, r.Left + hi);
  };
  auto limitHeight = [&](double lo, double hi) {
    if (MovesTop(kind)) r.Top = std::clamp(r.Top, r.Bottom - hi, r.Bottom - lo);
    if (MovesBottom(kind)) r.Bottom = std::clamp(r.Bottom, r.Top + lo, r.Top + hi);
  };
  limitWidth(kMinFrameSide, kMaxFrameSide);
  limitHeight(kMinFrameSide, kMaxFrameSide);

  const double w = s.Width(), h = s.Height();
  if (options.KeepAspect && w > 0 && h > 0) {
    // The side the pointer drives, and how the other follows it.
    const bool heightDrives = kind == dkTop || kind == dkBottom;
    const double follow = heightDrives ? w / h : h / w;
    const double lo = std::max(kMinFrameSide, kMinFrameSide / follow);
    const double hi = std::min(kMaxFrameSide, kMaxFrameSide / follow);
    if (lo <= hi) {
      if (heightDrives)
        limitHeight(lo, hi);
      else
        limitWidth(lo, hi);
    }
    r = ToD(KeepAspectRatio(kind, start, ToF(r)));
  }
  return ToF(r);
}

}  // namespace tvx
