#include "raster/Resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tvx {
namespace {

// Four float lanes (blue, green, red, alpha); maps onto SSE/NEON registers.
typedef float v4f __attribute__((vector_size(16)));

double Sinc(double x) {
  if (x == 0) return 1;
  const double px = std::numbers::pi * x;
  return std::sin(px) / px;
}

// Keys' cubic family; B = C = 1/3 is Mitchell-Netravali.
double Cubic(double x, double b, double c) {
  x = std::fabs(x);
  if (x < 1) return ((12 - 9 * b - 6 * c) * x * x * x + (-18 + 12 * b + 6 * c) * x * x + (6 - 2 * b)) / 6;
  if (x < 2)
    return ((-b - 6 * c) * x * x * x + (6 * b + 30 * c) * x * x + (-12 * b - 48 * c) * x + (8 * b + 24 * c)) /
           6;
  return 0;
}

// Per output pixel of one axis: the first source index and `taps` weights.
struct TAxis {
  int32_t taps = 0;
  std::vector<int32_t> start;
  std::vector<float> weights;
};

TAxis BuildAxis(int32_t srcLen, int32_t dstLen, int32_t o0, int32_t o1, TStretchFilter filter) {
  const double scale = static_cast<double>(dstLen) / srcLen;
  const double stretch = scale < 1 ? 1 / scale : 1;  // widen the kernel when shrinking
  const double support = FilterRadius(filter) * stretch;
  const int32_t count = o1 - o0;
  const int32_t taps = static_cast<int32_t>(std::min<double>(std::ceil(2 * support) + 2, srcLen));
  std::vector<int32_t> start(count);
  std::vector<double> wide(static_cast<size_t>(count) * taps, 0.0);
  int32_t span = 1;
  std::vector<int32_t> first(count), last(count);
  for (int32_t o = 0; o < count; ++o) {
    const double center = (o0 + o + 0.5) / scale;
    const int64_t lo = static_cast<int64_t>(std::floor(center - support));
    const int64_t hi = static_cast<int64_t>(std::ceil(center + support));
    const int32_t s = static_cast<int32_t>(std::clamp<int64_t>(lo, 0, srcLen - taps));
    double* w = &wide[static_cast<size_t>(o) * taps];
    double sum = 0;
    for (int64_t i = lo; i <= hi; ++i) {
      const double k = FilterKernel(filter, (i + 0.5 - center) / stretch);
      if (k == 0) continue;
      w[std::clamp<int64_t>(i, 0, srcLen - 1) - s] += k;
      sum += k;
    }
    if (std::fabs(sum) < 1e-9) {  // no tap in reach: take the pixel under the centre
      std::fill(w, w + taps, 0.0);
      w[std::clamp<int64_t>(static_cast<int64_t>(center), 0, srcLen - 1) - s] = 1;
      sum = 1;
    }
    int32_t f = taps, l = -1;
    for (int32_t j = 0; j < taps; ++j) {
      w[j] /= sum;
      if (std::fabs(w[j]) > 1e-7) {
        f = std::min(f, j);
        l = j;
      }
    }
    start[o] = s;
    first[o] = f;
    last[o] = l;
    span = std::max(span, l - f + 1);
  }
  // Drop the zero taps at both ends (a kernel at scale 1 hits its zeros).
  TAxis axis;
  axis.taps = span;
  axis.start.resize(count);
  axis.weights.assign(static_cast<size_t>(count) * span, 0.0f);
  for (int32_t o = 0; o < count; ++o) {
    const int32_t ns = std::min(start[o] + first[o], srcLen - span);
    axis.start[o] = ns;
    for (int32_t j = 0; j < span; ++j) {
      const int32_t old = ns + j - start[o];
      if (old >= 0 && old < taps)
        axis.weights[static_cast<size_t>(o) * span + j] =
            static_cast<float>(wide[static_cast<size_t>(o) * taps + old]);
    }
  }
  return axis;
}

inline uint32_t ToByte(float v) {
  v += 0.5f;
  if (!(v > 0)) return 0;  // also NaN
  if (v >= 255) return 255;
  return static_cast<uint32_t>(v);
}

void ResampleNearest(const TBitmap32& src, const TRect& srcRect, int32_t dstWidth, int32_t dstHeight,
                     const TRect& part, const TResampleRowSink& sink) {
  const int64_t sw = srcRect.Width(), sh = srcRect.Height();
  std::vector<int32_t> sx(part.Width());
  for (int32_t x = part.Left; x < part.Right; ++x)
    sx[x - part.Left] =
        srcRect.Left + static_cast<int32_t>((2 * int64_t{x} + 1) * sw / (2 * int64_t{dstWidth}));
  std::vector<TColor32> row(part.Width());
  for (int32_t y = part.Top; y < part.Bottom; ++y) {
    const int32_t syy =
        srcRect.Top + static_cast<int32_t>((2 * int64_t{y} + 1) * sh / (2 * int64_t{dstHeight}));
    const TColor32* s = src.ScanLine(syy);
    for (size_t i = 0; i < sx.size(); ++i) row[i] = s[sx[i]];
    sink(y, row.data());
  }
}

}  // namespace

double FilterRadius(TStretchFilter filter) {
  switch (filter) {
    case sfNearest:
    case sfDraft:
      return 0.5;
    case sfLinear:
    case sfCosine:
      return 1;
    case sfSpline:
    case sfMitchell:
      return 2;
    case sfLanczos:
      return 3;
  }
  return 0.5;
}

double FilterKernel(TStretchFilter filter, double x) {
  const double ax = std::fabs(x);
  switch (filter) {
    case sfNearest:
    case sfDraft:
      return (x >= -0.5 && x < 0.5) ? 1 : 0;
    case sfLinear:
      return ax < 1 ? 1 - ax : 0;
    case sfCosine:
      return ax < 1 ? (std::cos(std::numbers::pi * x) + 1) / 2 : 0;
    case sfSpline:
      return Cubic(x, 1, 0);  // cubic B-spline
    case sfLanczos:
      return ax < 3 ? Sinc(x) * Sinc(x / 3) : 0;
    case sfMitchell:
      return Cubic(x, 1.0 / 3, 1.0 / 3);
  }
  return 0;
}

void ResampleRect(const TBitmap32& src, const TRect& srcRect, int32_t dstWidth, int32_t dstHeight,
                  const TRect& part, TStretchFilter filter, const TResampleRowSink& sink) {
  if (srcRect.IsEmpty() || part.IsEmpty() || dstWidth <= 0 || dstHeight <= 0) return;
  if (filter == sfNearest) {
    ResampleNearest(src, srcRect, dstWidth, dstHeight, part, sink);
    return;
  }
  const int32_t pw = part.Width();
  const TAxis h = BuildAxis(srcRect.Width(), dstWidth, part.Left, part.Right, filter);
  const TAxis v = BuildAxis(srcRect.Height(), dstHeight, part.Top, part.Bottom, filter);
  const int32_t hmin = h.start.front();
  const int32_t hmax = h.start.back() + h.taps;  // starts never decrease

  std::vector<v4f> conv(hmax - hmin);
  std::vector<TColor32> out(pw);

  // Source row r, columns hmin..hmax-1, premultiplied.
  auto convertRow = [&](int32_t r) {
    const TColor32* s = src.ScanLine(srcRect.Top + r) + srcRect.Left + hmin;
    const int32_t n = hmax - hmin;
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128 toUnit = _mm_setr_ps(1.0f / 255, 1.0f / 255, 1.0f / 255, 0),
                 alphaOne = _mm_setr_ps(0, 0, 0, 1);
    auto one = [&](__m128i px32) {
      const __m128 c = _mm_cvtepi32_ps(px32);
      const __m128 m = _mm_add_ps(_mm_mul_ps(_mm_shuffle_ps(c, c, 0xFF), toUnit), alphaOne);
      return _mm_mul_ps(c, m);  // colour * alpha / 255, alpha kept
    };
    for (; i + 4 <= n; i += 4) {
      const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      const __m128i lo = _mm_unpacklo_epi8(px, zero), hi = _mm_unpackhi_epi8(px, zero);
      _mm_store_ps(reinterpret_cast<float*>(&conv[i]), one(_mm_unpacklo_epi16(lo, zero)));
      _mm_store_ps(reinterpret_cast<float*>(&conv[i + 1]), one(_mm_unpackhi_epi16(lo, zero)));
      _mm_store_ps(reinterpret_cast<float*>(&conv[i + 2]), one(_mm_unpacklo_epi16(hi, zero)));
      _mm_store_ps(reinterpret_cast<float*>(&conv[i + 3]), one(_mm_unpackhi_epi16(hi, zero)));
    }
#endif
    for (; i < n; ++i) {
      const TColor32 c = s[i];
      const float a = static_cast<float>(c >> 24);
      const float f = a * (1.0f / 255);
      conv[i] = v4f{static_cast<float>(c & 0xFF) * f, static_cast<float>((c >> 8) & 0xFF) * f,
                    static_cast<float>((c >> 16) & 0xFF) * f, a};
    }
  };
  // The converted row filtered horizontally.
  auto filterRow = [&](v4f* dst) {
    const int32_t taps = h.taps;
    const float* w = h.weights.data();
    for (int32_t x = 0; x < pw; ++x, w += taps) {
      const v4f* p = conv.data() + (h.start[x] - hmin);
      // Four independent sums: one chain of adds would wait on its latency.
      v4f a0 = p[0] * w[0], a1 = {0, 0, 0, 0}, a2 = {0, 0, 0, 0}, a3 = {0, 0, 0, 0};
      int32_t k = 1;
      for (; k + 4 <= taps; k += 4) {
        a1 += p[k] * w[k];
        a2 += p[k + 1] * w[k + 1];
        a3 += p[k + 2] * w[k + 2];
        a0 += p[k + 3] * w[k + 3];
      }
      for (; k < taps; ++k) a1 += p[k] * w[k];
      dst[x] = (a0 + a1) + (a2 + a3);
    }
  };
  auto pack = [](const v4f* acc, TColor32* dst, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
      const v4f p = acc[i];
      const float a = p[3];
      if (!(a >= 0.5f)) {  // rounds to transparent
        dst[i] = 0;
        continue;
      }
      const float u = 255.0f / a;
      dst[i] = (ToByte(a) << 24) | (ToByte(p[2] * u) << 16) | (ToByte(p[1] * u) << 8) | ToByte(p[0] * u);
    }
  };

  // Horizontal pass first keeps the v.taps most recent filtered rows, so every
  // source row is filtered once. A strong vertical shrink would make that ring
  // huge; then each output row sums its source rows first and filters once.
  const int64_t ringBytes = int64_t{v.taps} * pw * static_cast<int64_t>(sizeof(v4f));
  if (ringBytes > (int64_t{64} << 20)) {
    std::vector<v4f> sum(hmax - hmin);
    std::vector<v4f> row(pw);
    for (int32_t y = 0; y < part.Height(); ++y) {
      const float* w = &v.weights[static_cast<size_t>(y) * v.taps];
      std::fill(sum.begin(), sum.end(), v4f{0, 0, 0, 0});
      for (int32_t k = 0; k < v.taps; ++k) {
        if (w[k] == 0) continue;
        convertRow(v.start[y] + k);
        for (size_t i = 0; i < sum.size(); ++i) sum[i] += conv[i] * w[k];
      }
      conv.swap(sum);
      filterRow(row.data());
      conv.swap(sum);
      pack(row.data(), out.data(), pw);
      sink(part.Top + y, out.data());
    }
    return;
  }
  std::vector<v4f> ring(static_cast<size_t>(v.taps) * pw);
  std::vector<int32_t> ringRow(v.taps, -1);

  constexpr int32_t kChunk = 64;
  v4f acc[kChunk];
  for (int32_t y = 0; y < part.Height(); ++y) {
    const int32_t s0 = v.start[y];
    for (int32_t k = 0; k < v.taps; ++k) {
      const int32_t r = s0 + k, slot = r % v.taps;
      if (ringRow[slot] != r) {
        convertRow(r);
        filterRow(&ring[static_cast<size_t>(slot) * pw]);
        ringRow[slot] = r;
      }
    }
    const float* w = &v.weights[static_cast<size_t>(y) * v.taps];
    for (int32_t c0 = 0; c0 < pw; c0 += kChunk) {
      const int32_t n = std::min(kChunk, pw - c0);
      const v4f* row = &ring[static_cast<size_t>(s0 % v.taps) * pw + c0];
      for (int32_t i = 0; i < n; ++i) acc[i] = row[i] * w[0];
      for (int32_t k = 1; k < v.taps; ++k) {
        row = &ring[static_cast<size_t>((s0 + k) % v.taps) * pw + c0];
        const float wk = w[k];
        for (int32_t i = 0; i < n; ++i) acc[i] += row[i] * wk;
      }
      pack(acc, out.data() + c0, n);
    }
    sink(part.Top + y, out.data());
  }
}

}  // namespace tvx
