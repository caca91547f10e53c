// Weak stand-ins for raster and utility operations that other modules are
// still writing; the real definitions replace them as soon as they link in.
// Removed once they are on main.
#include <algorithm>
#include <cmath>

#include "imageio/PluginManager.h"
#include "raster/Bitmap32.h"
#include "util/Error.h"
#include "util/Utils.h"

namespace tvx {

__attribute__((weak)) TColor32 BlendPixel(TColor32 f, TColor32 b, uint8_t masterAlpha, TCombineMode mode) {
  const int w = ((masterAlpha + 1) * AlphaOf(f)) >> 8;
  if (w == 0) return b;
  auto mix = [](int bc, int fc, int w) { return uint8_t(std::clamp(bc + (fc - bc) * w / 256, 0, 255)); };
  if (mode == cmBlend)
    return ARGB(mix(AlphaOf(b), AlphaOf(f), w), mix(RedOf(b), RedOf(f), w), mix(GreenOf(b), GreenOf(f), w),
                mix(BlueOf(b), BlueOf(f), w));
  const double fa = w / 255.0, ba = AlphaOf(b) / 255.0 * (1 - fa), a = fa + ba;
  if (a <= 0) return 0;
  auto ch = [&](int fc, int bc) { return uint8_t(std::lround((fc * fa + bc * ba) / a)); };
  return ARGB(uint8_t(std::lround(a * 255)), ch(RedOf(f), RedOf(b)), ch(GreenOf(f), GreenOf(b)),
              ch(BlueOf(f), BlueOf(b)));
}

__attribute__((weak)) void StretchTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip,
                                           const TBitmap32& src, const TRect& srcRect, TStretchFilter,
                                           TDrawMode drawMode, TCombineMode combineMode, uint8_t masterAlpha) {
  TRect clip;
  if (!IntersectRect(clip, dstClip, dst.ClipRect()) || !IntersectRect(clip, clip, dstRect)) return;
  for (int y = clip.Top; y < clip.Bottom; ++y)
    for (int x = clip.Left; x < clip.Right; ++x) {
      const int sx = srcRect.Left + int((x - dstRect.Left) * int64_t(srcRect.Width()) / dstRect.Width());
      const int sy = srcRect.Top + int((y - dstRect.Top) * int64_t(srcRect.Height()) / dstRect.Height());
      const TColor32 f = src.Pixel(sx, sy);
      dst.Pixel(x, y) = drawMode == dmOpaque ? f : BlendPixel(f, dst.Pixel(x, y), masterAlpha, combineMode);
    }
}

__attribute__((weak)) void BlockTransfer(TBitmap32& dst, int32_t dstX, int32_t dstY, const TBitmap32& src,
                                         const TRect& srcRect, TDrawMode drawMode, TCombineMode combineMode,
                                         uint8_t masterAlpha) {
  StretchTransfer(dst, TRect{dstX, dstY, dstX + srcRect.Width(), dstY + srcRect.Height()}, dst.ClipRect(), src,
                  srcRect, sfNearest, drawMode, combineMode, masterAlpha);
}

__attribute__((weak)) void CropToOpaque(TBitmap32& b) {
  int l = b.Width(), t = b.Height(), r = -1, bo = -1;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (AlphaOf(b.Pixel(x, y))) {
        l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), bo = std::max(bo, y);
      }
  if (r < 0) {
    b.SetSize(1, 1);
    b.Clear(0);
    return;
  }
  TBitmap32 c(r - l + 1, bo - t + 1);
  for (int y = t; y <= bo; ++y)
    for (int x = l; x <= r; ++x) c.Pixel(x - l, y - t) = b.Pixel(x, y);
  b.Assign(c);
}

__attribute__((weak)) void AddAlphaNoise(TBitmap32& b, int32_t amount) {
  if (amount < 1 || amount > 255) return;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const int a = AlphaOf(b.Pixel(x, y));
      if (a) b.Pixel(x, y) = SetAlpha(b.Pixel(x, y), uint8_t(a - 1 - (x * 7 + y) % std::min(a, amount)));
    }
}

__attribute__((weak)) std::string ReplaceText(const std::string& search, const std::string& replacement,
                                              const std::string& text) {
  if (search.empty() || replacement.find(search) != std::string::npos) return text;
  std::string r = text;
  for (size_t p; (p = r.find(search)) != std::string::npos;) r.replace(p, search.size(), replacement);
  return r;
}

__attribute__((weak)) void TPluginManager::LoadBitmap(const std::string& name, TBitmap32&) const {
  RaiseError("TPluginManager::LoadBitmapA", 198, "Error while loading " + name + "!");
}

}  // namespace tvx
