#include "watermark/BaseLayer.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "raster/Rotate.h"
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
  ++generation_;
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

  // A layer fitted to a picture stays placed on it: its size there follows
  // the new content, and its location is the fitted bitmap's.
  if (Fits() && (lastFit_ == 0 || lastFit_ == 1)) {
    const int32_t width = fits_[lastFit_].PictureWidth, height = fits_[lastFit_].PictureHeight;
    if (width > 0 && height > 0) DoSetLocation(GetLayerRect(width, height));
  }
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
  const TFit& fit = FitTo(width, height);
  const TBitmap32& b = FittedBitmap(fit);
  const double x = PlaceOnAxis(XUnit, HAlign, XCoord, width, fit.ContentWidth, height);
  const double y = PlaceOnAxis(YUnit, VAlign, YCoord, height, fit.ContentHeight, width);
  const double left = x - fit.OffsetX;
  const double top = y - fit.OffsetY;
  return TFloatRect{float(left), float(top), float(left + b.Width()), float(top + b.Height())};
}

void TBaseLayer::LocationToCoords(int32_t width, int32_t height, float& x, float& y) const {
  const TFit& fit = FitTo(width, height);
  const TFloatRect r = Location();
  x = float(CoordOnAxis(XUnit, HAlign, double(r.Left) + fit.OffsetX, width, fit.ContentWidth, height));
  y = float(CoordOnAxis(YUnit, VAlign, double(r.Top) + fit.OffsetY, height, fit.ContentHeight, width));
}

// ---- fitting to the picture ---------------------------------------------------------

namespace {

constexpr int32_t kMaxFittedSize = 10000;  // the resampler's limit

bool IsTurned(float angle) { return std::isfinite(angle) && std::fmod(double(angle), 360.0) != 0; }

}  // namespace

bool TBaseLayer::Fits() const { return SizeMode != lsFixed || IsTurned(Angle); }

bool TBaseLayer::ShownOn(int32_t width, int32_t height) const {
  if (width <= 0 || height <= 0) return true;
  switch (Orientation) {
    case loLandscape:
      return width >= height;
    case loPortrait:
      return height > width;
    default:
      return true;
  }
}

void TBaseLayer::ContentSizeOn(int32_t width, int32_t height, int32_t& contentWidth,
                               int32_t& contentHeight) const {
  contentWidth = source_.Width();
  contentHeight = source_.Height();
  if (SizeMode == lsFixed || source_.Empty() || width <= 0 || height <= 0) return;
  if (!(std::isfinite(SizePercent) && SizePercent > 0)) return;
  double extent;
  switch (SizeMode) {
    case lsWidth:
      extent = width;
      break;
    case lsHeight:
      extent = height;
      break;
    case lsShorter:
    case lsShorterHeight:
      extent = std::min(width, height);
      break;
    case lsLonger:
      extent = std::max(width, height);
      break;
    default:
      return;  // unknown modes keep the content's own size
  }
  const double aspect = double(source_.Width()) / source_.Height();
  double w, h;
  if (SizeMode == lsShorterHeight) {
    const double reference = FittingHeight();
    if (!(reference > 0)) return;
    const double scale = extent * SizePercent / 100 / reference;
    w = source_.Width() * scale;
    h = source_.Height() * scale;
  } else if (SizeMode == lsHeight) {
    h = extent * SizePercent / 100;
    w = h * aspect;
  } else {
    w = extent * SizePercent / 100;
    h = w / aspect;
  }
  // Within the resampler's reach and at most twice the picture's longer
  // side (more is never seen, and a hostile percentage must not take
  // gigabytes), keeping the aspect ratio.
  const double limit = std::min<double>(kMaxFittedSize, 2.0 * std::max(width, height));
  const double shrink = std::min(1.0, limit / std::max(w, h));
  contentWidth = int32_t(std::clamp(std::round(w * shrink), 1.0, limit));
  contentHeight = int32_t(std::clamp(std::round(h * shrink), 1.0, limit));
}

void TBaseLayer::ScaleBy(double sx, double sy) {
  auto factor = [](double f) { return std::isfinite(f) && f > 0 ? f : 1.0; };
  sx = factor(sx);
  sy = factor(sy);
  if (IsTurned(Angle) && std::fmod(double(Angle), 180.0) != 0) sx = sy = std::sqrt(sx * sy);
  if (SizeMode != lsFixed) {
    const double s = SizeMode == lsHeight || SizeMode == lsShorterHeight ? sy : sx;
    SizePercent = float(std::clamp(double(SizePercent) * s, 0.1, double(kMaxSizePercent)));
    Render();
    return;
  }
  auto side = [](double v) { return int32_t(std::clamp(std::round(v), 1.0, double(kMaxFittedSize))); };
  TLayerUpdate update(*this);
  ResizeTo(side(source_.Width() * sx), side(source_.Height() * sy));
}

void TBaseLayer::ScaleContent(int32_t width, int32_t height, TBitmap32& out) const {
  out.Assign(source_);
  ResampleBitmap(out, width, height);
}

bool TBaseLayer::FitIsCurrent(const TFit& fit, int32_t width, int32_t height) const {
  return fit.PictureWidth == width && fit.PictureHeight == height && fit.Generation == generation_ &&
         fit.SourceWidth == source_.Width() && fit.SourceHeight == source_.Height() &&
         fit.SizeMode == SizeMode && fit.SizePercent == SizePercent && fit.Angle == Angle;
}

const TBaseLayer::TFit& TBaseLayer::FitTo(int32_t width, int32_t height) const {
  if (!Fits()) {
    // Nothing to build: the rendered bitmap as it is.
    ownFit_.PictureWidth = width;
    ownFit_.PictureHeight = height;
    ownFit_.Shown = ShownOn(width, height);
    ownFit_.ContentWidth = source_.Width();
    ownFit_.ContentHeight = source_.Height();
    ownFit_.OffsetX = styleOffsetX_;
    ownFit_.OffsetY = styleOffsetY_;
    ownFit_.MarginX = ownFit_.MarginY = 0;
    ownFit_.Own = true;
    lastFit_ = 2;
    return ownFit_;
  }
  for (int i = 0; i < 2; ++i)
    if (FitIsCurrent(fits_[i], width, height)) {
      fits_[i].Shown = ShownOn(width, height);
      lastFit_ = i;
      return fits_[i];
    }
  // The entry not used last makes room.
  const int slot = lastFit_ == 0 ? 1 : 0;
  BuildFit(fits_[slot], width, height);
  lastFit_ = slot;
  return fits_[slot];
}

void TBaseLayer::BuildFit(TFit& fit, int32_t width, int32_t height) const {
  fit = TFit{};
  fit.PictureWidth = width;
  fit.PictureHeight = height;
  fit.Generation = generation_;
  fit.SourceWidth = source_.Width();
  fit.SourceHeight = source_.Height();
  fit.SizeMode = SizeMode;
  fit.SizePercent = SizePercent;
  fit.Angle = Angle;
  fit.Shown = ShownOn(width, height);
  fit.Own = false;
  int32_t cw, ch;
  ContentSizeOn(width, height, cw, ch);
  fit.ContentWidth = cw;
  fit.ContentHeight = ch;
  TBitmap32& out = fit.Bitmap;
  if (cw == source_.Width() && ch == source_.Height()) {
    // The content's own size: the rendered bitmap already holds it styled.
    out = Bitmap();
    fit.OffsetX = styleOffsetX_;
    fit.OffsetY = styleOffsetY_;
  } else {
    // Scaled before the styles, so that a shadow or a stroke keeps its own
    // pixel size on every picture.
    TBitmap32 scaled;
    ScaleContent(cw, ch, scaled);
    fit.ContentWidth = scaled.Width();
    fit.ContentHeight = scaled.Height();
    out.Assign(scaled);
    if (Noisy && NoiseIntensity >= 1 && NoiseIntensity <= 255) AddAlphaNoise(out, int32_t(NoiseIntensity));
    if (stylesEnabled_) ApplyStyles(scaled, out, fit.OffsetX, fit.OffsetY, styles_);
  }
  out.DrawMode = Bitmap().DrawMode;
  out.CombineMode = Bitmap().CombineMode;
  out.StretchFilter = Bitmap().StretchFilter;
  // After the styles: a turned shadow falls the way the turned content does.
  RotateBitmap(out, Angle, fit.MarginX, fit.MarginY);
  fit.OffsetX += fit.MarginX;
  fit.OffsetY += fit.MarginY;
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
  d->SizeMode = SizeMode;
  d->SizePercent = SizePercent;
  d->Orientation = Orientation;
  d->Angle = Angle;
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
  SizeMode = source.SizeMode;
  SizePercent = source.SizePercent;
  Orientation = source.Orientation;
  Angle = source.Angle;
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

bool TBaseLayer::UsesFitting() const {
  // A coordinate in percent of the shorter side means something else to a
  // version 5 reader (pixels), so it is written only in version 6 blocks.
  return SizeMode != lsFixed || SizePercent != kDefaultSizePercent || Orientation != loBoth || Angle != 0 ||
         XUnit == cuShorterPercent || YUnit == cuShorterPercent;
}

void TBaseLayer::SaveToStream(TStream& stream) const {
  stream.WriteSignature("BASL");
  // A layer that leaves the fitting fields alone is written as before, so
  // older readers keep opening it.
  const bool fitting = UsesFitting();
  stream.WriteValue<int32_t>(fitting ? 6 : 5);
  if (fitting) {
    stream.WriteValue<uint8_t>(SizeMode);
    stream.WriteValue<float>(SizePercent);
    stream.WriteValue<uint8_t>(Orientation);
    stream.WriteValue<float>(Angle);
  }
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
  if (version < 1 || version > 6)
    RaiseError("TBaseLayer::LoadFromStream", 235, "Unknown version (" + std::to_string(version) + ")!");
  // Each version put its additions in front of the older fields.
  if (version >= 6) {
    const auto sizeMode = stream.ReadValue<uint8_t>();
    if (sizeMode > lsShorterHeight)
      RaiseError("TBaseLayer::LoadFromStream", 241, "Invalid size mode (" + std::to_string(sizeMode) + ")!");
    SizeMode = sizeMode;
    const auto percent = stream.ReadValue<float>();
    if (!(std::isfinite(percent) && percent > 0 && percent <= kMaxSizePercent))
      RaiseError("TBaseLayer::LoadFromStream", 242, "Invalid size percentage!");
    SizePercent = percent;
    const auto orientation = stream.ReadValue<uint8_t>();
    if (orientation > loPortrait)
      RaiseError("TBaseLayer::LoadFromStream", 243,
                 "Invalid orientation (" + std::to_string(orientation) + ")!");
    Orientation = orientation;
    const auto angle = stream.ReadValue<float>();
    if (!(std::isfinite(angle) && angle >= -360 && angle <= 360))
      RaiseError("TBaseLayer::LoadFromStream", 244, "Invalid angle!");
    Angle = angle;
  }
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
  if (version >= 6) {
    if (XUnit > cuShorterPercent || YUnit > cuShorterPercent)
      RaiseError("TBaseLayer::LoadFromStream", 245,
                 "Invalid coordinate unit (" + std::to_string(std::max(XUnit, YUnit)) + ")!");
  } else {
    // Older blocks drew every unit they did not know as pixels; they still do.
    if (XUnit > cuPercent) XUnit = cuPixels;
    if (YUnit > cuPercent) YUnit = cuPixels;
  }
  XCoord = stream.ReadValue<float>();
  YCoord = stream.ReadValue<float>();
  HAlign = stream.ReadValue<uint8_t>();
  VAlign = stream.ReadValue<uint8_t>();
  Name = ReadString(stream);
}

// ---- drawing ------------------------------------------------------------------------

void TBaseLayer::DrawRect(TBitmap32& target, const TRect& r, const TBitmap32& b) const {
  // The drawing settings are the layer's (opacity changes without a new fit).
  const TBitmap32& own = Bitmap();
  if (r.Width() == b.Width() && r.Height() == b.Height())
    BlockTransfer(target, r.Left, r.Top, b, b.BoundsRect(), own.DrawMode, own.CombineMode, own.MasterAlpha);
  else
    StretchTransfer(target, r, target.ClipRect(), b, b.BoundsRect(), own.StretchFilter, own.DrawMode,
                    own.CombineMode, own.MasterAlpha);
}

void TBaseLayer::ForEachDrawnRect(const TRect& r, const TFit& fit, const TBitmap32& b, double scale, int32_t width,
                                  int32_t height, const std::function<void(const TRect&)>& draw) const {
  if (r.IsEmpty() || b.Empty()) return;
  if (!Tile) {
    draw(r);
    return;
  }
  // A turned layer turns each tile: the grid is laid out with the unturned
  // tiles (cells), and each turned tile is drawn around its cell's centre.
  const auto mx = int32_t(std::lround(double(fit.MarginX) * r.Width() / b.Width()));
  const auto my = int32_t(std::lround(double(fit.MarginY) * r.Height() / b.Height()));
  const TRect cell{r.Left + mx, r.Top + my, r.Right - mx, r.Bottom - my};
  if (cell.IsEmpty()) return;
  // Negative gaps (never offered by the editor) would let tiles pile up on
  // one another without bound; they count as 0.
  double gx = std::max(XTileOffs, 0), gy = std::max(YTileOffs, 0);
  if (scale != 1.0) {
    gx *= scale;
    gy *= scale;
  }
  const auto stepX = int64_t(double(cell.Width()) + gx), stepY = int64_t(double(cell.Height()) + gy);
  // Whole turned tiles step by the cells' pitch.
  ForEachTile(r, stepX, stepY, width, height, draw);
}

void TBaseLayer::DrawOnto(TBitmap32& target, double scale) const {
  if (Bitmap().Empty() || target.Empty()) return;
  const int32_t width = target.Width(), height = target.Height();
  int32_t pictureWidth = width, pictureHeight = height;
  if (scale != 1.0) {
    if (!(scale > 0) || !std::isfinite(scale)) return;
    // Place the layer on the picture the target shows a scaled copy of, then
    // scale: the layer lands where it lies on the full-size picture.
    auto pictureSize = [scale](int32_t extent) {
      return int32_t(std::clamp(std::round(extent / scale), 0.0, 1073741824.0));
    };
    pictureWidth = pictureSize(width);
    pictureHeight = pictureSize(height);
  }
  const TFit& fit = FitTo(pictureWidth, pictureHeight);
  const TBitmap32& b = FittedBitmap(fit);
  if (!fit.Shown || b.Empty()) return;
  TRect r;
  if (scale == 1.0) {
    r = SafeMakeRect(GetLayerRect(width, height));
  } else {
    const TRect p = SafeMakeRect(GetLayerRect(pictureWidth, pictureHeight));
    r = TRect{int32_t(p.Left * scale), int32_t(p.Top * scale), int32_t(p.Right * scale),
              int32_t(p.Bottom * scale)};
  }
  ForEachDrawnRect(r, fit, b, scale, width, height, [&](const TRect& t) { DrawRect(target, t, b); });
}

void TBaseLayer::DrawOntoWindow(TBitmap32& window, int32_t left, int32_t top, int32_t width,
                                int32_t height) const {
  if (Bitmap().Empty() || window.Empty() || width <= 0 || height <= 0) return;
  const TFit& fit = FitTo(width, height);
  const TBitmap32& b = FittedBitmap(fit);
  if (!fit.Shown || b.Empty()) return;
  const TRect r = SafeMakeRect(GetLayerRect(width, height));
  const TRect shown{left, top, left + window.Width(), top + window.Height()};
  ForEachDrawnRect(r, fit, b, 1.0, width, height, [&](const TRect& t) {
    TRect part;
    if (!IntersectRect(part, t, shown)) return;
    // Each pixel is blended (or resampled) from its own position in the
    // rectangle, so the rectangle moved with the window gives the same pixels.
    DrawRect(window, TRect{t.Left - left, t.Top - top, t.Right - left, t.Bottom - top}, b);
  });
}

void TBaseLayer::ChangedRects(int32_t width, int32_t height, std::vector<TRect>& rects) const {
  // The drawing settings are the layer's own, the pixels the fit's.
  const TBitmap32& own = Bitmap();
  // At master alpha 0 a blend weighs every pixel 0 (see BlendRow).
  if (own.Empty() || width <= 0 || height <= 0 || (own.DrawMode == dmBlend && own.MasterAlpha == 0)) return;
  const TFit& fit = FitTo(width, height);
  const TBitmap32& b = FittedBitmap(fit);
  if (!fit.Shown || b.Empty()) return;
  const TRect r = SafeMakeRect(GetLayerRect(width, height));
  // Where the bitmap is drawn at its own size, only its pixels that are not
  // wholly transparent change anything.
  TRect inner = b.BoundsRect();
  const bool exact = own.DrawMode == dmBlend && r.Width() == b.Width() && r.Height() == b.Height();
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
  ForEachDrawnRect(r, fit, b, 1.0, width, height, [&](const TRect& t) {
    TRect changed =
        exact ? TRect{t.Left + inner.Left, t.Top + inner.Top, t.Left + inner.Right, t.Top + inner.Bottom} : t;
    if (IntersectRect(changed, changed, picture)) rects.push_back(changed);
  });
}

TFloatRect TBaseLayer::MapToView(const TFloatRect& rect) const { return GetAdjustedRect(rect); }

void TBaseLayer::DrawTile(TBitmap32& buffer, const TFloatRect& rect) {
  DrawTileOf(buffer, rect, PaintedBitmap());
}

const TBaseLayer::TFit* TBaseLayer::PaintedFit() const {
  // The views place the layer (GetLayerRect) right before painting it: the
  // fit whose bitmap has the location's size is the one it shows (the
  // navigator may have asked for another size since).
  if (lastFit_ == 2) return &ownFit_;
  if (!Fits()) return nullptr;
  const TFloatRect& at = Location();
  const TFit* found = nullptr;
  for (int i = 0; i < 2; ++i) {
    const TFit& fit = fits_[i];
    if (fit.Generation != generation_ || fit.PictureWidth < 0) continue;
    const bool sized = std::abs(double(at.Width()) - fit.Bitmap.Width()) < 0.5 &&
                       std::abs(double(at.Height()) - fit.Bitmap.Height()) < 0.5;
    if (sized && (!found || i == lastFit_)) found = &fit;
  }
  return found;
}

const TBitmap32& TBaseLayer::PaintedBitmap() const {
  const TFit* fit = PaintedFit();
  return fit && !fit->Own ? fit->Bitmap : Bitmap();
}

bool TBaseLayer::PaintedShown() const {
  const TFit* fit = PaintedFit();
  return !fit || fit->Shown;
}

void TBaseLayer::DrawTileOf(TBitmap32& buffer, const TFloatRect& rect, const TBitmap32& b) const {
  if (b.Empty()) return;
  const TRect dst = SafeMakeRect(rect);
  TRect clip = buffer.ClipRect();
  const TLayerCollection* c = LayerCollection();
  if ((Cropped || Tile) && c && c->OwnerView()) {
    if (rect.Width() < 0.5f || rect.Height() < 0.5f) return;
    if (!IntersectRect(clip, clip, c->GetBitmapRect())) return;
  }
  const TBitmap32& own = Bitmap();
  StretchTransfer(buffer, dst, clip, b, b.BoundsRect(), own.StretchFilter, own.DrawMode, own.CombineMode,
                  own.MasterAlpha);
}

void TBaseLayer::Paint(TBitmap32& buffer) {
  const TBitmap32& b = PaintedBitmap();
  if (Bitmap().Empty() || b.Empty() || !PaintedShown()) return;
  const TFloatRect r = MapToView(Location());
  if (!Tile) {
    DrawTileOf(buffer, r, b);
    return;
  }
  const TLayerCollection* c = LayerCollection();
  const TRect area = c && c->OwnerView() ? c->GetBitmapRect() : TRect{0, 0, buffer.Width(), buffer.Height()};
  // The grid of unturned cells (see DrawOnto), at the view's scale.
  int32_t marginX = 0, marginY = 0;
  if (const TFit* fit = PaintedFit(); fit && &b == &fit->Bitmap) {
    marginX = fit->MarginX;
    marginY = fit->MarginY;
  }
  const double mx = double(marginX) * r.Width() / b.Width(), my = double(marginY) * r.Height() / b.Height();
  const double tw = r.Width() - 2 * mx, th = r.Height() - 2 * my;
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
  // Whole turned tiles step by the cells' pitch.
  const double left0 = phase(r.Left, r.Width(), stepX, area.Left);
  for (double top = phase(r.Top, r.Height(), stepY, area.Top); top < area.Bottom; top += stepY)
    for (double left = left0; left < area.Right; left += stepX)
      DrawTileOf(buffer,
                 TFloatRect{float(left), float(top), float(left + r.Width()), float(top + r.Height())}, b);
}

}  // namespace tvx
