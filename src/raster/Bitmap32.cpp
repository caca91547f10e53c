#include "raster/Bitmap32.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

#include "raster/Resampler.h"

namespace tvx {

TColor32* TBitmap32::Allocate(size_t count, const TColor32* old, size_t keep) {
  if (count == 0) return nullptr;
  // Zeroed, as a fresh picture has always been; a big block comes as fresh
  // pages the kernel has already zeroed.
  auto* block = static_cast<TColor32*>(std::calloc(count, sizeof(TColor32)));
  if (!block) throw std::bad_alloc();
  if (old && keep > 0) std::memcpy(block, old, std::min(keep, count) * sizeof(TColor32));
  return block;
}

void TBitmap32::FreePixels() noexcept {
  if (release_.Release)
    release_.Release(release_.Context, pixels_);
  else
    std::free(pixels_);
  pixels_ = nullptr;
  release_ = {};
}

TBitmap32::TBitmap32(const TBitmap32& other)
    : DrawMode(other.DrawMode),
      CombineMode(other.CombineMode),
      MasterAlpha(other.MasterAlpha),
      StretchFilter(other.StretchFilter),
      pixels_(Allocate(static_cast<size_t>(other.width_) * other.height_, other.pixels_,
                       static_cast<size_t>(other.width_) * other.height_)),
      width_(other.width_),
      height_(other.height_),
      clip_(other.clip_) {}

TBitmap32& TBitmap32::operator=(const TBitmap32& other) {
  if (this == &other) return *this;
  Assign(other);
  DrawMode = other.DrawMode;
  CombineMode = other.CombineMode;
  MasterAlpha = other.MasterAlpha;
  StretchFilter = other.StretchFilter;
  clip_ = other.clip_;
  return *this;
}

TBitmap32::~TBitmap32() { FreePixels(); }

TBitmap32::TBitmap32(TBitmap32&& other) noexcept
    : DrawMode(other.DrawMode),
      CombineMode(other.CombineMode),
      MasterAlpha(other.MasterAlpha),
      StretchFilter(other.StretchFilter),
      pixels_(std::exchange(other.pixels_, nullptr)),
      release_(std::exchange(other.release_, TPixelRelease{})),
      width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)),
      clip_(std::exchange(other.clip_, TRect{})) {}

TBitmap32& TBitmap32::operator=(TBitmap32&& other) noexcept {
  if (this == &other) return *this;
  DrawMode = other.DrawMode;
  CombineMode = other.CombineMode;
  MasterAlpha = other.MasterAlpha;
  StretchFilter = other.StretchFilter;
  FreePixels();
  pixels_ = std::exchange(other.pixels_, nullptr);
  release_ = std::exchange(other.release_, TPixelRelease{});
  width_ = std::exchange(other.width_, 0);
  height_ = std::exchange(other.height_, 0);
  clip_ = std::exchange(other.clip_, TRect{});
  return *this;
}

void TBitmap32::SetSize(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width != width_ || height != height_) {
    const size_t count = static_cast<size_t>(width) * height;
    const size_t old = static_cast<size_t>(width_) * height_;
    if (count != old) {
      // Like a growing vector: the pixels there were stay, the new ones are 0.
      TColor32* block = Allocate(count, pixels_, old);
      FreePixels();
      pixels_ = block;
    }
    width_ = width;
    height_ = height;
  }
  ResetClipRect();
}

void TBitmap32::Adopt(int32_t width, int32_t height, TColor32* block, TPixelRelease release) {
  FreePixels();
  pixels_ = block;
  release_ = release;
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  ResetClipRect();
}

void TBitmap32::Clear(TColor32 color) {
  std::fill(pixels_, pixels_ + static_cast<size_t>(width_) * height_, color);
}

void TBitmap32::Assign(const TBitmap32& other) {
  if (this == &other) return;
  const size_t count = static_cast<size_t>(other.width_) * other.height_;
  if (count != static_cast<size_t>(width_) * height_ || release_.Release) {
    TColor32* block = Allocate(count);
    FreePixels();
    pixels_ = block;
  }
  if (count > 0) std::memcpy(pixels_, other.pixels_, count * sizeof(TColor32));
  width_ = other.width_;
  height_ = other.height_;
  ResetClipRect();
}

void TBitmap32::SetClipRect(const TRect& r) {
  if (!IntersectRect(clip_, r, BoundsRect())) clip_ = TRect{};
}

void TBitmap32::DrawTo(TBitmap32& dst, int32_t x, int32_t y) const {
  BlockTransfer(dst, x, y, *this, BoundsRect(), DrawMode, CombineMode, MasterAlpha);
}

void TBitmap32::DrawTo(TBitmap32& dst, int32_t x, int32_t y, const TRect& srcRect) const {
  BlockTransfer(dst, x, y, *this, srcRect, DrawMode, CombineMode, MasterAlpha);
}

void TBitmap32::DrawTo(TBitmap32& dst, const TRect& dstRect) const {
  StretchTransfer(dst, dstRect, dst.ClipRect(), *this, BoundsRect(), StretchFilter, DrawMode, CombineMode,
                  MasterAlpha);
}

void TBitmap32::DrawTo(TBitmap32& dst, const TRect& dstRect, const TRect& srcRect) const {
  StretchTransfer(dst, dstRect, dst.ClipRect(), *this, srcRect, StretchFilter, DrawMode, CombineMode,
                  MasterAlpha);
}

void BlockTransfer(TBitmap32& dst, int32_t dstX, int32_t dstY, const TBitmap32& src, const TRect& srcRect,
                   TDrawMode drawMode, TCombineMode combineMode, uint8_t masterAlpha) {
  TRect s;
  if (!IntersectRect(s, srcRect, src.BoundsRect())) return;
  // Keep the part of srcRect that survived at its place relative to (dstX, dstY).
  const int64_t x0 = int64_t{dstX} + (s.Left - srcRect.Left), y0 = int64_t{dstY} + (s.Top - srcRect.Top);
  const TRect& clip = dst.ClipRect();
  const int64_t l = std::max<int64_t>(x0, clip.Left), t = std::max<int64_t>(y0, clip.Top);
  const int64_t r = std::min<int64_t>(x0 + s.Width(), clip.Right),
                b = std::min<int64_t>(y0 + s.Height(), clip.Bottom);
  if (r <= l || b <= t) return;
  const int32_t sx = static_cast<int32_t>(s.Left + (l - x0)), sy = static_cast<int32_t>(s.Top + (t - y0));
  const int32_t w = static_cast<int32_t>(r - l);
  if (&src == &dst) {
    // Overlapping rows in one bitmap: work from a copy of the source part.
    TBitmap32 part(w, static_cast<int32_t>(b - t));
    for (int32_t y = 0; y < part.Height(); ++y) std::copy_n(src.ScanLine(sy + y) + sx, w, part.ScanLine(y));
    BlockTransfer(dst, static_cast<int32_t>(l), static_cast<int32_t>(t), part, part.BoundsRect(), drawMode,
                  combineMode, masterAlpha);
    return;
  }
  for (int64_t y = t; y < b; ++y)
    BlendRow(src.ScanLine(static_cast<int32_t>(sy + (y - t))) + sx,
             dst.ScanLine(static_cast<int32_t>(y)) + static_cast<int32_t>(l), w, drawMode, combineMode,
             masterAlpha);
}

void StretchTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                     const TRect& srcRect, TStretchFilter filter, TDrawMode drawMode,
                     TCombineMode combineMode, uint8_t masterAlpha) {
  TRect s, clip;
  if (dstRect.IsEmpty() || !IntersectRect(s, srcRect, src.BoundsRect())) return;
  if (!IntersectRect(clip, dstClip, dst.ClipRect()) || !IntersectRect(clip, clip, dstRect)) return;
  if (&src == &dst) {
    TBitmap32 copy(s.Width(), s.Height());
    for (int32_t y = 0; y < s.Height(); ++y)
      std::copy_n(src.ScanLine(s.Top + y) + s.Left, s.Width(), copy.ScanLine(y));
    StretchTransfer(dst, dstRect, clip, copy, copy.BoundsRect(), filter, drawMode, combineMode, masterAlpha);
    return;
  }
  if (dstRect.Width() == s.Width() && dstRect.Height() == s.Height()) {
    for (int32_t y = clip.Top; y < clip.Bottom; ++y)
      BlendRow(src.ScanLine(s.Top + (y - dstRect.Top)) + s.Left + (clip.Left - dstRect.Left),
               dst.ScanLine(y) + clip.Left, clip.Width(), drawMode, combineMode, masterAlpha);
    return;
  }
  TRect part = clip;
  OffsetRect(part, -dstRect.Left, -dstRect.Top);
  ResampleRect(src, s, dstRect.Width(), dstRect.Height(), part, filter, [&](int32_t y, const TColor32* row) {
    BlendRow(row, dst.ScanLine(dstRect.Top + y) + clip.Left, clip.Width(), drawMode, combineMode,
             masterAlpha);
  });
}

}  // namespace tvx

namespace tvx {

namespace {

// The classic desktop defaults of the named system colours (0xRRGGBB), by
// index; there is no desktop-wide scheme to ask for them here.
constexpr uint32_t kSystemColors[] = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x3399FF, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x434E54, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xFFFFE1, 0x000000, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0,
};

// A float edge to an integer that keeps widths and offsets within int32.
int32_t RoundEdge(float v) {
  constexpr float kLimit = 1 << 30;
  if (!(v == v)) return 0;  // NaN
  return static_cast<int32_t>(std::nearbyint(std::clamp(v, -kLimit, kLimit)));
}

}  // namespace

TColor32 Color32(uint32_t systemColor) {
  // A named system colour carries its index in the low byte and a flag in the
  // high byte (0xFF, or 0x80 in the other common convention).
  const uint32_t flag = systemColor >> 24;
  if ((flag == 0xFF || flag == 0x80) && (systemColor & 0x00FFFFFFu) < std::size(kSystemColors))
    return 0xFF000000u | kSystemColors[systemColor & 0xFF];
  return ARGB(255, static_cast<uint8_t>(systemColor), static_cast<uint8_t>(systemColor >> 8),
              static_cast<uint8_t>(systemColor >> 16));
}

TRect MakeRect(const TFloatRect& r) {
  // nearbyint rounds halves to even in the default rounding mode
  return TRect{RoundEdge(r.Left), RoundEdge(r.Top), RoundEdge(r.Right), RoundEdge(r.Bottom)};
}

void OffsetRect(TRect& r, int32_t dx, int32_t dy) {
  r.Left += dx;
  r.Right += dx;
  r.Top += dy;
  r.Bottom += dy;
}

void OffsetRectF(TFloatRect& r, float dx, float dy) {
  r.Left += dx;
  r.Right += dx;
  r.Top += dy;
  r.Bottom += dy;
}

bool IntersectRect(TRect& dst, const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  if (r.IsEmpty()) {
    dst = TRect{};
    return false;
  }
  dst = r;
  return true;
}

}  // namespace tvx
