#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvx {

/// 0xAARRGGBB, straight (not premultiplied) alpha. In memory: B, G, R, A.
using TColor32 = uint32_t;

enum TDrawMode : int32_t { dmOpaque = 0, dmBlend = 1, dmCustom = 2 };
enum TCombineMode : int32_t { cmBlend = 0, cmMerge = 1 };
enum TStretchFilter : int32_t {
  sfNearest = 0, sfDraft = 1, sfLinear = 2, sfCosine = 3, sfSpline = 4, sfLanczos = 5, sfMitchell = 6
};

/// Integer rectangle; Right and Bottom are exclusive.
struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

struct TFloatRect {
  float Left = 0, Top = 0, Right = 0, Bottom = 0;
  float Width() const { return Right - Left; }
  float Height() const { return Bottom - Top; }
  friend bool operator==(const TFloatRect&, const TFloatRect&) = default;
};

inline constexpr uint8_t AlphaOf(TColor32 c) { return static_cast<uint8_t>(c >> 24); }
inline constexpr uint8_t RedOf(TColor32 c) { return static_cast<uint8_t>(c >> 16); }
inline constexpr uint8_t GreenOf(TColor32 c) { return static_cast<uint8_t>(c >> 8); }
inline constexpr uint8_t BlueOf(TColor32 c) { return static_cast<uint8_t>(c); }
inline constexpr TColor32 ARGB(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  return (TColor32(a) << 24) | (TColor32(r) << 16) | (TColor32(g) << 8) | b;
}

/// A system colour value 0x00BBGGRR (red in the low byte) as an opaque TColor32.
/// Named system colours (index in the low byte, 0xFF or 0x80 in the high byte)
/// resolve to the classic desktop defaults, e.g. 0xFF00000F (button face) to
/// 0xFFF0F0F0.
TColor32 Color32(uint32_t systemColor);
/// Replaces the alpha byte.
inline constexpr TColor32 SetAlpha(TColor32 color, uint8_t alpha) {
  return (color & 0x00FFFFFFu) | (TColor32(alpha) << 24);
}

/// Rounds each edge to the nearest integer, halves to even; edges beyond
/// +-2^30 are clamped there and NaN gives 0.
TRect MakeRect(const TFloatRect& r);
inline constexpr TRect MakeRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return TRect{left, top, right, bottom};
}
inline TFloatRect FloatRect(float left, float top, float right, float bottom) {
  return TFloatRect{left, top, right, bottom};
}
void OffsetRect(TRect& r, int32_t dx, int32_t dy);
void OffsetRectF(TFloatRect& r, float dx, float dy);
/// Stores the intersection in dst and returns whether it is non-empty; an
/// empty intersection leaves dst as all zeros.
bool IntersectRect(TRect& dst, const TRect& a, const TRect& b);

/// How a bitmap gives back a block of pixels it adopted (TBitmap32::Adopt):
/// Release(Context, block). Empty: the block is the bitmap's own.
struct TPixelRelease {
  void (*Release)(void* context, TColor32* block) = nullptr;
  void* Context = nullptr;
};

/// A Width x Height ARGB raster: one contiguous top-down block, no padding.
/// Copyable (copies pixels and drawing properties) and movable. Not thread-safe.
class TBitmap32 {
 public:
  TBitmap32() = default;
  TBitmap32(int32_t width, int32_t height) { SetSize(width, height); }
  TBitmap32(const TBitmap32& other);
  TBitmap32& operator=(const TBitmap32& other);
  ~TBitmap32();
  /// Moving takes the pixels and leaves the source empty (0 x 0) with its
  /// drawing properties.
  TBitmap32(TBitmap32&& other) noexcept;
  TBitmap32& operator=(TBitmap32&& other) noexcept;

  /// Resizes; pixel content after a size change is unspecified (use Clear).
  /// Negative sizes are taken as 0. Resets the clip rectangle to the whole bitmap.
  void SetSize(int32_t width, int32_t height);
  /// Takes over a block of width x height pixels that was allocated elsewhere
  /// (a plug-in's decoded picture), instead of copying it; release gives it
  /// back once the bitmap is done with it (destroyed, resized, assigned to).
  /// The caller sees to it that release stays valid that long. Copies of the
  /// bitmap get blocks of their own. Resets the clip rectangle.
  void Adopt(int32_t width, int32_t height, TColor32* block, TPixelRelease release);
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  TRect BoundsRect() const { return TRect{0, 0, width_, height_}; }

  void Clear(TColor32 color = 0);
  /// Size and pixels of other (not its drawing properties).
  void Assign(const TBitmap32& other);

  TColor32* Bits() { return pixels_; }
  const TColor32* Bits() const { return pixels_; }
  TColor32* ScanLine(int32_t y) { return pixels_ + static_cast<size_t>(y) * width_; }
  const TColor32* ScanLine(int32_t y) const { return pixels_ + static_cast<size_t>(y) * width_; }
  TColor32& Pixel(int32_t x, int32_t y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  TColor32 Pixel(int32_t x, int32_t y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }

  TDrawMode DrawMode = dmOpaque;
  TCombineMode CombineMode = cmBlend;
  uint8_t MasterAlpha = 255;
  TStretchFilter StretchFilter = sfNearest;

  /// Every drawing into this bitmap is clipped to this rectangle (always kept
  /// within the bitmap's bounds).
  const TRect& ClipRect() const { return clip_; }
  void SetClipRect(const TRect& r);
  void ResetClipRect() { clip_ = BoundsRect(); }

  /// Draws this bitmap (with its DrawMode, CombineMode, MasterAlpha) onto dst
  /// with its top-left corner at (x, y).
  void DrawTo(TBitmap32& dst, int32_t x, int32_t y) const;
  /// Draws the source rectangle srcRect of this bitmap at (x, y) of dst, same size.
  void DrawTo(TBitmap32& dst, int32_t x, int32_t y, const TRect& srcRect) const;
  /// Draws the whole bitmap stretched into dstRect using StretchFilter.
  void DrawTo(TBitmap32& dst, const TRect& dstRect) const;
  /// Draws srcRect of this bitmap stretched into dstRect of dst.
  void DrawTo(TBitmap32& dst, const TRect& dstRect, const TRect& srcRect) const;

 private:
  /// count zeroed pixels of the bitmap's own, the first `keep` of them taken from old.
  static TColor32* Allocate(size_t count, const TColor32* old = nullptr, size_t keep = 0);
  void FreePixels() noexcept;

  TColor32* pixels_ = nullptr;  // width_ x height_ of them
  TPixelRelease release_;       // how pixels_ goes back; empty: it is ours (std::free)
  int32_t width_ = 0, height_ = 0;
  TRect clip_{};
};

/// Resamples srcRect of src onto dstRect of dst with the filter, drawing with
/// the draw and combine modes and master alpha, clipped to the intersection
/// of dstClip and dst's clip rectangle. A rectangle of the source's own size
/// is copied pixel for pixel whatever the filter. Resampling weights colour
/// by alpha, so fully transparent pixels lend no colour to their neighbours;
/// pixels that come out fully transparent are 0 (see raster/Resampler.h).
void StretchTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                     const TRect& srcRect, TStretchFilter filter, TDrawMode drawMode,
                     TCombineMode combineMode, uint8_t masterAlpha);

/// Copies srcRect of src to (dstX, dstY) of dst with the draw mode, clipped
/// to dst's clip rectangle.
void BlockTransfer(TBitmap32& dst, int32_t dstX, int32_t dstY, const TBitmap32& src, const TRect& srcRect,
                   TDrawMode drawMode, TCombineMode combineMode, uint8_t masterAlpha);

/// One foreground pixel drawn over one background pixel in dmBlend mode.
///
/// W = ((masterAlpha + 1) * alpha(foreground)) div 256; W = 0 returns the
/// background. Interpolation divides by 255 (not 256) so that W = 255
/// reproduces the foreground exactly; every channel is rounded to nearest.
/// - cmBlend: c = round((F_c * W + B_c * (255 - W)) / 255) for A, R, G, B.
/// - cmMerge: A = W + alpha(B) * (255 - W) / 255 (rounded);
///   c = round((F_c * W * 255 + B_c * alpha(B) * (255 - W)) / (A * 255))
///   with the unrounded A; over an opaque background this is the cmBlend colour
///   with alpha 255, over a transparent one the foreground colour with alpha W.
TColor32 BlendPixel(TColor32 foreground, TColor32 background, uint8_t masterAlpha, TCombineMode mode);

/// Draws count source pixels over count destination pixels with the draw
/// mode (dmCustom draws like dmBlend). src and dst must not overlap unless equal.
void BlendRow(const TColor32* src, TColor32* dst, int32_t count, TDrawMode drawMode, TCombineMode combineMode,
              uint8_t masterAlpha);

}  // namespace tvx
