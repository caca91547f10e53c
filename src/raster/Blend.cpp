// Per-pixel and per-row composition of straight-alpha ARGB pixels.
#include <cstring>

#include "raster/Bitmap32.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tvx {
namespace {

// Rounds x / 255 to nearest for 0 <= x <= 65535 + 127.
inline uint32_t Div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

inline uint32_t Weight(uint32_t masterPlusOne, TColor32 f) { return (masterPlusOne * (f >> 24)) >> 8; }

// All four channels interpolated with weight w (0..255).
inline TColor32 Lerp(TColor32 f, TColor32 b, uint32_t w) {
  const uint32_t iw = 255 - w;
  TColor32 r = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t fc = (f >> shift) & 0xFF, bc = (b >> shift) & 0xFF;
    r |= Div255(fc * w + bc * iw) << shift;
  }
  return r;
}

// Source-over of straight colours; w > 0.
inline TColor32 Merge(TColor32 f, TColor32 b, uint32_t w) {
  const uint32_t ab = b >> 24;
  if (ab == 255) return Lerp(f, b, w) | 0xFF000000u;
  if (ab == 0 || w == 255) return (f & 0x00FFFFFFu) | (w << 24);
  const uint32_t fw = w * 255;         // foreground share of A * 255
  const uint32_t bw = ab * (255 - w);  // background share of A * 255
  const uint32_t a255 = fw + bw;       // A * 255, > 0
  TColor32 r = Div255(a255) << 24;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t fc = (f >> shift) & 0xFF, bc = (b >> shift) & 0xFF;
    r |= ((fc * fw + bc * bw + a255 / 2) / a255) << shift;
  }
  return r;
}

#if defined(__SSE2__)
// Four pixels interpolated with their weights; alpha 255 forced when opaque.
inline __m128i Lerp4(__m128i f, __m128i b, __m128i masterPlusOne, __m128i opaqueMask) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c255 = _mm_set1_epi16(255), c128 = _mm_set1_epi16(128);
  auto half = [&](__m128i f16, __m128i b16) {
    __m128i a = _mm_shufflelo_epi16(f16, 0xFF);
    a = _mm_shufflehi_epi16(a, 0xFF);
    const __m128i w = _mm_srli_epi16(_mm_mullo_epi16(a, masterPlusOne), 8);
    __m128i x = _mm_add_epi16(_mm_mullo_epi16(f16, w), _mm_mullo_epi16(b16, _mm_sub_epi16(c255, w)));
    x = _mm_add_epi16(x, c128);
    return _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
  };
  const __m128i lo = half(_mm_unpacklo_epi8(f, zero), _mm_unpacklo_epi8(b, zero));
  const __m128i hi = half(_mm_unpackhi_epi8(f, zero), _mm_unpackhi_epi8(b, zero));
  return _mm_or_si128(_mm_packus_epi16(lo, hi), opaqueMask);
}
#endif

void BlendRowBlend(const TColor32* src, TColor32* dst, int32_t n, uint32_t m1) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i mp1 = _mm_set1_epi16(static_cast<int16_t>(m1));
  const __m128i none = _mm_setzero_si128();
  const __m128i alpha = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
  for (; i + 4 <= n; i += 4) {
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    // Four transparent pixels leave the picture as it is: a turned or
    // spaced-out layer is mostly such pixels, and the picture's memory
    // need not be read or written for them.
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(f, alpha), none)) == 0xFFFF) continue;
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), Lerp4(f, b, mp1, none));
  }
#endif
  for (; i < n; ++i) {
    const uint32_t w = Weight(m1, src[i]);
    if (w != 0) dst[i] = Lerp(src[i], dst[i], w);
  }
}

void BlendRowMerge(const TColor32* src, TColor32* dst, int32_t n, uint32_t m1) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i mp1 = _mm_set1_epi16(static_cast<int16_t>(m1));
  const __m128i alphaMask = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
  for (; i + 4 <= n; i += 4) {
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    // Transparent source pixels (or a master alpha that makes every W zero)
    // leave the destination untouched.
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(f, alphaMask), _mm_setzero_si128())) == 0xFFFF)
      continue;
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(b, alphaMask), alphaMask)) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), Lerp4(f, b, mp1, alphaMask));
      continue;
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(b, alphaMask), _mm_setzero_si128())) == 0xFFFF) {
      // Transparent destination: the foreground colour with alpha W, except
      // where W = 0.
      const __m128i w = _mm_srli_epi32(_mm_mullo_epi16(_mm_srli_epi32(f, 24), mp1), 8);
      const __m128i merged = _mm_or_si128(_mm_andnot_si128(alphaMask, f), _mm_slli_epi32(w, 24));
      const __m128i keep = _mm_cmpeq_epi32(w, _mm_setzero_si128());
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                       _mm_or_si128(_mm_and_si128(keep, b), _mm_andnot_si128(keep, merged)));
      continue;
    }
    for (int32_t k = i; k < i + 4; ++k) {
      const uint32_t w = Weight(m1, src[k]);
      if (w != 0) dst[k] = Merge(src[k], dst[k], w);
    }
  }
#endif
  for (; i < n; ++i) {
    const uint32_t w = Weight(m1, src[i]);
    if (w != 0) dst[i] = Merge(src[i], dst[i], w);
  }
}

}  // namespace

TColor32 BlendPixel(TColor32 foreground, TColor32 background, uint8_t masterAlpha, TCombineMode mode) {
  const uint32_t w = Weight(masterAlpha + 1u, foreground);
  if (w == 0) return background;
  return mode == cmMerge ? Merge(foreground, background, w) : Lerp(foreground, background, w);
}

void BlendRow(const TColor32* src, TColor32* dst, int32_t count, TDrawMode drawMode, TCombineMode combineMode,
              uint8_t masterAlpha) {
  if (count <= 0) return;
  if (drawMode == dmOpaque) {
    std::memmove(dst, src, static_cast<size_t>(count) * sizeof(TColor32));
    return;
  }
  if (masterAlpha == 0) return;  // every W is 0
  if (combineMode == cmMerge)
    BlendRowMerge(src, dst, count, masterAlpha + 1u);
  else
    BlendRowBlend(src, dst, count, masterAlpha + 1u);
}

}  // namespace tvx
