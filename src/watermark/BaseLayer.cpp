#include "watermark/BaseLayer.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "util/Error.h"
#include "util/Utils.h"

namespace tvx {

TBaseLayer::TBaseLayer(TLayerCollection* collection) : TCustomBitmapLayer(collection) {
  Scaled = true;
  SetDrawModes();
}

void TBaseLayer::SetDrawModes() {
  for (TBitmap32* b : {&source_, &Bitmap()}) {
    b->DrawMode = dmBlend;
    b->CombineMode = cmMerge;
  }
}

void TBaseLayer::SetMasterAlpha(int32_t alpha) {
  const auto a = static_cast<uint8_t>(std::clamp(alpha, 0, 255));
  source_.MasterAlpha = a;
  Bitmap().MasterAlpha = a;
}

void TBaseLayer::SetStyles(const TFiltersParams& styles) {
  styles_ = styles;
  Render();
}

void TBaseLayer::SetStylesEnabled(bool enabled) {
  if (enabled == stylesEnabled_) return;
  stylesEnabled_ = enabled;
  Render();
}

void TBaseLayer::EndUpdate() {
  if (updateCount_ <= 0) return;
  if (--updateCount_ == 0) Render();
}

TLayerUpdate::TLayerUpdate(TBaseLayer& layer) : layer_(layer), uncaught_(std::uncaught_exceptions()) {
  layer_.BeginUpdate();
}

TLayerUpdate::~TLayerUpdate() noexcept(false) {
  if (std::uncaught_exceptions() == uncaught_) {
    layer_.EndUpdate();
    return;
  }
  try {
    layer_.EndUpdate();
  } catch (...) {
    // Leaving by an error: that one reaches the caller.
  }
}

void TBaseLayer::Render() {
  TBitmap32& rendered = Bitmap();
  rendered.Assign(source_);
  if (Noisy && NoiseIntensity >= 1 && NoiseIntensity <= 255)
    AddAlphaNoise(rendered, static_cast<int32_t>(NoiseIntensity));

  // Back to the content's own rectangle before the styles extend it again.
  TFloatRect r = Location();
  r.Left += float(styleOffsetX_);
  r.Top += float(styleOffsetY_);
  r.Right = r.Left + float(source_.Width());
  r.Bottom = r.Top + float(source_.Height());
  DoSetLocation(r);
  styleOffsetX_ = 0;
  styleOffsetY_ = 0;

  if (stylesEnabled_) {
    const TDrawMode drawMode = rendered.DrawMode;
    const TCombineMode combineMode = rendered.CombineMode;
    const uint8_t alpha = rendered.MasterAlpha;
    const TStretchFilter filter = rendered.StretchFilter;
    ApplyStyles(source_, rendered, styleOffsetX_, styleOffsetY_, styles_);
    // A style may replace the bitmap wholesale; the layer's drawing settings stay.
    rendered.DrawMode = drawMode;
    rendered.CombineMode = combineMode;
    rendered.MasterAlpha = alpha;
    rendered.StretchFilter = filter;
  }

  r.Left -= float(styleOffsetX_);
  r.Top -= float(styleOffsetY_);
  r.Right = r.Left + float(rendered.Width());
  r.Bottom = r.Top + float(rendered.Height());
  DoSetLocation(r);
}

void TBaseLayer::DoSetLocation(const TFloatRect& rect) {
  TCustomBitmapLayer::DoSetLocation(rect);
  if (!OnLocationChanged) return;
  try {
    OnLocationChanged(*this);
  } catch (...) {
    // A failing listener must not break moving the layer; it is not called again.
    OnLocationChanged = nullptr;
  }
}

TFloatRect TBaseLayer::GetLayerRect(int32_t width, int32_t height) const {
  const double x = PlaceOnAxis(XUnit, HAlign, XCoord, width, source_.Width());
  const double y = PlaceOnAxis(YUnit, VAlign, YCoord, height, source_.Height());
  const double left = x - styleOffsetX_;
  const double top = y - styleOffsetY_;
  return TFloatRect{float(left), float(top), float(left + Bitmap().Width()), float(top + Bitmap().Height())};
}

void TBaseLayer::LocationToCoords(int32_t width, int32_t height, float& x, float& y) const {
  const TFloatRect r = Location();
  x = float(CoordOnAxis(XUnit, HAlign, double(r.Left) + styleOffsetX_, width, source_.Width()));
  y = float(CoordOnAxis(YUnit, VAlign, double(r.Top) + styleOffsetY_, height, source_.Height()));
}

std::string TBaseLayer::DisplayName() const {
  return Name.empty() ? "New Layer " + std::to_string(Tag) : Name;
}

// ---- copying ------------------------------------------------------------------

void TBaseLayer::AssignTo(TCustomLayer& dest) const {
  auto* d = dynamic_cast<TBaseLayer*>(&dest);
  if (!d) RaiseError("TBaseLayer::AssignTo", 288, "Object can not be assigned to!");
  if (d == this) return;
  d->Name = Name;
  TLayerUpdate update(*d);
  d->source_.Assign(source_);
  d->SetLocation(Location());
  d->XUnit = XUnit;
  d->YUnit = YUnit;
  d->XCoord = XCoord;
  d->YCoord = YCoord;
  d->HAlign = HAlign;
  d->VAlign = VAlign;
  d->SetMasterAlpha(GetMasterAlpha());
  d->Tile = Tile;
}

void TBaseLayer::CopyBaseState(const TBaseLayer& source) {
  XUnit = source.XUnit;
  YUnit = source.YUnit;
  XCoord = source.XCoord;
  YCoord = source.YCoord;
  HAlign = source.HAlign;
  VAlign = source.VAlign;
  Name = source.Name;
  Tile = source.Tile;
  XTileOffs = source.XTileOffs;
  YTileOffs = source.YTileOffs;
  Noisy = source.Noisy;
  NoiseIntensity = source.NoiseIntensity;
  source_ = source.source_;
  Bitmap() = source.Bitmap();
  styleOffsetX_ = source.styleOffsetX_;
  styleOffsetY_ = source.styleOffsetY_;
  styles_ = source.styles_;
  stylesEnabled_ = source.stylesEnabled_;
  Scaled = source.Scaled;
  Cropped = source.Cropped;
  Tag = source.Tag;
  SetVisible(source.Visible());
  StoreLocation(source.Location());
}

// ---- stream block ---------------------------------------------------------------

void TBaseLayer::SaveToStream(TStream& stream) const {
  stream.WriteSignature("BASL");
  stream.WriteValue<int32_t>(5);
  stream.WriteValue<uint8_t>(Noisy ? 1 : 0);
  stream.WriteValue<uint32_t>(NoiseIntensity);
  stream.WriteValue<int32_t>(XTileOffs);
  stream.WriteValue<int32_t>(YTileOffs);
  stream.WriteValue<uint8_t>(Tile ? 1 : 0);
  styles_.SaveToStream(stream);
  stream.WriteValue<int32_t>(Visible() ? 1 : 0);
  stream.WriteValue<int32_t>(GetMasterAlpha());
  stream.WriteValue<uint8_t>(XUnit);
  stream.WriteValue<uint8_t>(YUnit);
  stream.WriteValue<float>(XCoord);
  stream.WriteValue<float>(YCoord);
  stream.WriteValue<uint8_t>(HAlign);
  stream.WriteValue<uint8_t>(VAlign);
  WriteString(stream, Name);
}

void TBaseLayer::LoadFromStream(TStream& stream) {
  if (stream.ReadSignature() != "BASL") RaiseError("TBaseLayer::LoadFromStream", 207, "Invalid signature!");
  const auto version = stream.ReadValue<int32_t>();
  if (version < 1 || version > 5)
    RaiseError("TBaseLayer::LoadFromStream", 235, "Unknown version (" + std::to_string(version) + ")!");
  // Each version put its additions in front of the older fields.
  if (version >= 5) {
    Noisy = stream.ReadValue<uint8_t>() != 0;
    NoiseIntensity = stream.ReadValue<uint32_t>();
  }
  if (version >= 4) {
    XTileOffs = stream.ReadValue<int32_t>();
    YTileOffs = stream.ReadValue<int32_t>();
  }
  if (version >= 3) Tile = stream.ReadValue<uint8_t>() != 0;
  if (version >= 2) styles_.LoadFromStream(stream);
  SetVisible(stream.ReadValue<int32_t>() != 0);
  SetMasterAlpha(stream.ReadValue<int32_t>());
  XUnit = stream.ReadValue<uint8_t>();
  YUnit = stream.ReadValue<uint8_t>();
  XCoord = stream.ReadValue<float>();
  YCoord = stream.ReadValue<float>();
  HAlign = stream.ReadValue<uint8_t>();
  VAlign = stream.ReadValue<uint8_t>();
  Name = ReadString(stream);
}

// ---- drawing ------------------------------------------------------------------------

void TBaseLayer::DrawRect(TBitmap32& target, const TRect& r) const {
  const TBitmap32& b = Bitmap();
  if (r.Width() == b.Width() && r.Height() == b.Height())
    BlockTransfer(target, r.Left, r.Top, b, b.BoundsRect(), b.DrawMode, b.CombineMode, b.MasterAlpha);
  else
    StretchTransfer(target, r, target.ClipRect(), b, b.BoundsRect(), b.StretchFilter, b.DrawMode,
                    b.CombineMode, b.MasterAlpha);
}

void TBaseLayer::ForEachDrawnRect(const TRect& r, double scale, int32_t width, int32_t height,
                                  const std::function<void(const TRect&)>& draw) const {
  if (r.IsEmpty()) return;
  if (!Tile) {
    draw(r);
    return;
  }
  // Negative gaps (never offered by the editor) would let tiles pile up on
  // one another without bound; they count as 0.
  double gx = std::max(XTileOffs, 0), gy = std::max(YTileOffs, 0);
  if (scale != 1.0) {
    gx *= scale;
    gy *= scale;
  }
  const auto stepX = int64_t(double(r.Width()) + gx), stepY = int64_t(double(r.Height()) + gy);
  ForEachTile(r, stepX, stepY, width, height, draw);
}

void TBaseLayer::DrawOnto(TBitmap32& target, double scale) const {
  if (Bitmap().Empty() || target.Empty()) return;
  const int32_t width = target.Width(), height = target.Height();
  TRect r;
  if (scale == 1.0) {
    r = SafeMakeRect(GetLayerRect(width, height));
  } else {
    if (!(scale > 0) || !std::isfinite(scale)) return;
    // Place the layer on the picture the target shows a scaled copy of, then
    // scale: the layer lands where it lies on the full-size picture.
    auto pictureSize = [scale](int32_t extent) {
      return int32_t(std::clamp(std::round(extent / scale), 0.0, 1073741824.0));
    };
    const TRect p = SafeMakeRect(GetLayerRect(pictureSize(width), pictureSize(height)));
    r = TRect{int32_t(p.Left * scale), int32_t(p.Top * scale), int32_t(p.Right * scale),
              int32_t(p.Bottom * scale)};
  }
  ForEachDrawnRect(r, scale, width, height, [&](const TRect& t) { DrawRect(target, t); });
}

void TBaseLayer::DrawOntoWindow(TBitmap32& window, int32_t left, int32_t top, int32_t width,
                                int32_t height) const {
  if (Bitmap().Empty() || window.Empty() || width <= 0 || height <= 0) return;
  const TRect r = SafeMakeRect(GetLayerRect(width, height));
  const TRect shown{left, top, left + window.Width(), top + window.Height()};
  ForEachDrawnRect(r, 1.0, width, height, [&](const TRect& t) {
    TRect part;
    if (!IntersectRect(part, t, shown)) return;
    // Each pixel is blended (or resampled) from its own position in the
    // rectangle, so the rectangle moved with the window gives the same pixels.
    DrawRect(window, TRect{t.Left - left, t.Top - top, t.Right - left, t.Bottom - top});
  });
}

void TBaseLayer::ChangedRects(int32_t width, int32_t height, std::vector<TRect>& rects) const {
  const TBitmap32& b = Bitmap();
  // At master alpha 0 a blend weighs every pixel 0 (see BlendRow).
  if (b.Empty() || width <= 0 || height <= 0 || (b.DrawMode == dmBlend && b.MasterAlpha == 0)) return;
  const TRect r = SafeMakeRect(GetLayerRect(width, height));
  // Where the bitmap is drawn at its own size, only its pixels that are not
  // wholly transparent change anything.
  TRect inner = b.BoundsRect();
  const bool exact = b.DrawMode == dmBlend && r.Width() == b.Width() && r.Height() == b.Height();
  if (exact) {
    inner = {b.Width(), b.Height(), 0, 0};
    for (int32_t y = 0; y < b.Height(); ++y) {
      const TColor32* row = b.ScanLine(y);
      for (int32_t x = 0; x < b.Width(); ++x)
        if (AlphaOf(row[x])) {
          inner.Left = std::min(inner.Left, x);
          inner.Right = std::max(inner.Right, x + 1);
          inner.Top = std::min(inner.Top, y);
          inner.Bottom = std::max(inner.Bottom, y + 1);
        }
    }
    if (inner.IsEmpty()) return;
  }
  const TRect picture{0, 0, width, height};
  ForEachDrawnRect(r, 1.0, width, height, [&](const TRect& t) {
    TRect changed =
        exact ? TRect{t.Left + inner.Left, t.Top + inner.Top, t.Left + inner.Right, t.Top + inner.Bottom} : t;
    if (IntersectRect(changed, changed, picture)) rects.push_back(changed);
  });
}

TFloatRect TBaseLayer::MapToView(const TFloatRect& rect) const { return GetAdjustedRect(rect); }

void TBaseLayer::DrawTile(TBitmap32& buffer, const TFloatRect& rect) {
  const TBitmap32& b = Bitmap();
  if (b.Empty()) return;
  const TRect dst = SafeMakeRect(rect);
  TRect clip = buffer.ClipRect();
  const TLayerCollection* c = LayerCollection();
  if ((Cropped || Tile) && c && c->OwnerView()) {
    if (rect.Width() < 0.5f || rect.Height() < 0.5f) return;
    if (!IntersectRect(clip, clip, c->GetBitmapRect())) return;
  }
  StretchTransfer(buffer, dst, clip, b, b.BoundsRect(), b.StretchFilter, b.DrawMode, b.CombineMode,
                  b.MasterAlpha);
}

void TBaseLayer::Paint(TBitmap32& buffer) {
  if (Bitmap().Empty()) return;
  const TFloatRect r = MapToView(Location());
  if (!Tile) {
    DrawTile(buffer, r);
    return;
  }
  const TLayerCollection* c = LayerCollection();
  const TRect area = c && c->OwnerView() ? c->GetBitmapRect() : TRect{0, 0, buffer.Width(), buffer.Height()};
  const double tw = r.Width(), th = r.Height();
  // Tiles under half a pixel draw nothing; stepping over them would never end.
  if (!(tw >= 0.5) || !(th >= 0.5)) return;
  double gx = std::max(XTileOffs, 0), gy = std::max(YTileOffs, 0);
  if (Scaled && c) {
    gx *= c->CoordXForm().ScaleX / 65536.0;
    gy *= c->CoordXForm().ScaleY / 65536.0;
  }
  const double stepX = tw + gx, stepY = th + gy;
  // The grid's phase: the first tile that reaches into the area on each axis.
  auto phase = [](double start, double size, double step, double areaStart) {
    if (areaStart < start) return start - std::ceil((start - areaStart) / step) * step;
    if (start + size <= areaStart) return start + (std::floor((areaStart - start - size) / step) + 1) * step;
    return start;
  };
  if (!std::isfinite(r.Left) || !std::isfinite(r.Top)) return;
  const double left0 = phase(r.Left, tw, stepX, area.Left);
  for (double top = phase(r.Top, th, stepY, area.Top); top < area.Bottom; top += stepY)
    for (double left = left0; left < area.Right; left += stepX)
      DrawTile(buffer, TFloatRect{float(left), float(top), float(left + tw), float(top + th)});
}

}  // namespace tvx
