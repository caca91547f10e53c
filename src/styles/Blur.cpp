#include "styles/Blur.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace tvx {

TGKernel::TGKernel(double radius) {
  auto n = static_cast<int64_t>(2 * radius + 1);
  // a kernel always has its middle tap; radii below 0 would leave none
  n = std::clamp<int64_t>(n, 1, 1 << 20);
  taps_.assign(static_cast<size_t>(n), 0.0f);
  double total = 0;
  for (int64_t i = 0; i < radius && i < n; ++i) {
    taps_[i] = static_cast<float>(static_cast<double>(i) / (radius + 1));
    taps_[n - 1 - i] = taps_[i];
    total += 2.0 * taps_[i];
  }
  taps_[(n - 1) / 2] = 1.0f;
  total += 1;
  for (float& tap : taps_) tap = static_cast<float>(tap / total);
}

namespace {

// One step of a running sum: the product is formed in double precision and
// the sum rounded back to a float after every addition. Every variant below
// performs exactly this operation per cell and tap, in the same tap order.
inline float AddProduct(float sum, int32_t value, float tap) {
  return static_cast<float>(static_cast<double>(sum) + static_cast<double>(value) * static_cast<double>(tap));
}

// out[i] = sum over t in [t0, t1) of base[i + t * step] * taps[t], for i < count.
using TSumSpan = void (*)(const int32_t* base, ptrdiff_t step, const float* taps, int32_t t0, int32_t t1,
                          int32_t count, float* out);

void SumSpanScalar(const int32_t* base, ptrdiff_t step, const float* taps, int32_t t0, int32_t t1, int32_t count,
                   float* out) {
  for (int32_t i = 0; i < count; ++i) {
    float s = 0;
    for (int32_t t = t0; t < t1; ++t) s = AddProduct(s, base[i + t * step], taps[t]);
    out[i] = s;
  }
}

inline __m128d RoundToFloat(__m128d v) { return _mm_cvtps_pd(_mm_cvtpd_ps(v)); }

// SSE2: eight cells at a time, each lane its own sequential sum.
void SumSpanSse2(const int32_t* base, ptrdiff_t step, const float* taps, int32_t t0, int32_t t1, int32_t count,
                 float* out) {
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    __m128d s0 = _mm_setzero_pd(), s1 = _mm_setzero_pd(), s2 = _mm_setzero_pd(), s3 = _mm_setzero_pd();
    const int32_t* p = base + i + t0 * step;
    for (int32_t t = t0; t < t1; ++t, p += step) {
      const __m128d k = _mm_set1_pd(taps[t]);
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4));
      s0 = RoundToFloat(_mm_add_pd(s0, _mm_mul_pd(_mm_cvtepi32_pd(a), k)));
      s1 = RoundToFloat(_mm_add_pd(s1, _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(a, 0xEE)), k)));
      s2 = RoundToFloat(_mm_add_pd(s2, _mm_mul_pd(_mm_cvtepi32_pd(c), k)));
      s3 = RoundToFloat(_mm_add_pd(s3, _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(c, 0xEE)), k)));
    }
    _mm_storeu_ps(out + i, _mm_movelh_ps(_mm_cvtpd_ps(s0), _mm_cvtpd_ps(s1)));
    _mm_storeu_ps(out + i + 4, _mm_movelh_ps(_mm_cvtpd_ps(s2), _mm_cvtpd_ps(s3)));
  }
  SumSpanScalar(base + i, step, taps, t0, t1, count - i, out + i);
}

// AVX (no FMA, so no contraction can change a rounding): sixteen cells at a
// time, four doubles per register. Chosen at run time; the build itself
// targets plain x86-64.
__attribute__((target("avx"))) void SumSpanAvx(const int32_t* base, ptrdiff_t step, const float* taps, int32_t t0,
                                               int32_t t1, int32_t count, float* out) {
  int32_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m256d s0 = _mm256_setzero_pd(), s1 = _mm256_setzero_pd(), s2 = _mm256_setzero_pd(),
            s3 = _mm256_setzero_pd();
    const int32_t* p = base + i + t0 * step;
    for (int32_t t = t0; t < t1; ++t, p += step) {
      const __m256d k = _mm256_set1_pd(taps[t]);
      const __m256d d0 = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
      const __m256d d1 = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4)));
      const __m256d d2 = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)));
      const __m256d d3 = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)));
      s0 = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(s0, _mm256_mul_pd(d0, k))));
      s1 = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(s1, _mm256_mul_pd(d1, k))));
      s2 = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(s2, _mm256_mul_pd(d2, k))));
      s3 = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(s3, _mm256_mul_pd(d3, k))));
    }
    _mm_storeu_ps(out + i, _mm256_cvtpd_ps(s0));
    _mm_storeu_ps(out + i + 4, _mm256_cvtpd_ps(s1));
    _mm_storeu_ps(out + i + 8, _mm256_cvtpd_ps(s2));
    _mm_storeu_ps(out + i + 12, _mm256_cvtpd_ps(s3));
  }
  SumSpanSse2(base + i, step, taps, t0, t1, count - i, out + i);
}

bool HasAvx() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx");
}

TSumSpan SumSpanFor(TBlurPath path) {
  static const bool avx = HasAvx();
  switch (path) {
    case TBlurPath::Scalar: return SumSpanScalar;
    case TBlurPath::Sse2: return SumSpanSse2;
    default: return avx ? SumSpanAvx : SumSpanSse2;
  }
}

// Half-open index range; empty when Last <= First.
struct TSpan {
  int32_t First = 0, Last = 0;
  bool Empty() const { return Last <= First; }
};

// The columns of one row holding a non-zero value.
TSpan NonZeroSpan(const int32_t* row, int32_t width) {
  int32_t first = 0;
  while (first < width && row[first] == 0) ++first;
  if (first == width) return {};
  int32_t last = width;
  while (row[last - 1] == 0) --last;
  return {first, last};
}

// Outputs whose window (b on either side) touches span, within the inner region.
TSpan Reach(TSpan span, int32_t b, int32_t size) {
  if (span.Empty()) return {};
  return {std::max(b, span.First - b), std::min(size - b, span.Last + b)};
}

void Normalise(std::vector<int32_t>& result, int32_t width, TSpan rows, TSpan columns, double maximum) {
  if (!(maximum > 0)) return;
  const auto f = static_cast<double>(static_cast<float>(255.0 / maximum));
  for (int32_t y = rows.First; y < rows.Last; ++y) {
    int32_t* row = result.data() + static_cast<size_t>(y) * width;
    for (int32_t x = columns.First; x < columns.Last; ++x) row[x] = static_cast<int32_t>(row[x] * f);
  }
}

}  // namespace

std::vector<int32_t> BlurGridReference(std::vector<int32_t>& grid, int32_t width, int32_t height,
                                       const TGKernel& kernel) {
  std::vector<int32_t> result(grid.size(), 0);
  if (width <= 0 || height <= 0 || grid.size() != static_cast<size_t>(width) * height) return result;
  const std::vector<float>& k = kernel.Taps();
  const int32_t n = kernel.Count(), b = kernel.HalfWidth();
  const auto at = [width](int32_t y, int32_t x) { return static_cast<size_t>(y) * width + x; };
  double maximum = 0;
  for (int32_t y = b; y < height - b; ++y)
    for (int32_t x = b; x < width - b; ++x) {
      float s = 0;
      for (int32_t t = 0; t < n; ++t) s = AddProduct(s, grid[at(y, x - b + t)], k[t]);
      result[at(y, x)] = static_cast<int32_t>(s);
      maximum = std::max(maximum, static_cast<double>(s));
    }
  grid = result;
  for (int32_t x = b; x < width - b; ++x)
    for (int32_t y = b; y < height - b; ++y) {
      float s = 0;
      for (int32_t t = 0; t < n; ++t) s = AddProduct(s, grid[at(y - b + t, x)], k[t]);
      result[at(y, x)] = static_cast<int32_t>(s);
      maximum = std::max(maximum, static_cast<double>(s));
    }
  if (maximum > 0) {
    const auto f = static_cast<double>(static_cast<float>(255.0 / maximum));
    for (int32_t y = b; y < height - b; ++y)
      for (int32_t x = b; x < width - b; ++x) result[at(y, x)] = static_cast<int32_t>(result[at(y, x)] * f);
  }
  return result;
}

std::vector<int32_t> BlurGrid(std::vector<int32_t>& grid, int32_t width, int32_t height, const TGKernel& kernel) {
  return BlurGrid(grid, width, height, kernel, TBlurPath::Auto);
}

std::vector<int32_t> BlurGrid(std::vector<int32_t>& grid, int32_t width, int32_t height, const TGKernel& kernel,
                              TBlurPath path) {
  const TSumSpan sumSpan = SumSpanFor(path);
  if (width <= 0 || height <= 0 || grid.size() != static_cast<size_t>(width) * height)
    return std::vector<int32_t>(grid.size(), 0);
  const std::vector<float>& k = kernel.Taps();
  const int32_t n = kernel.Count(), b = kernel.HalfWidth();
  // Zero taps add exactly nothing to a sum, and the outermost two always are zero.
  int32_t t0 = 0, t1 = n;
  while (t0 < t1 && k[t0] == 0) ++t0;
  while (t1 > t0 && k[t1 - 1] == 0) --t1;

  std::vector<int32_t> pass(grid.size(), 0);
  std::vector<float> sums(static_cast<size_t>(std::max(width, 1)));
  double maximum = 0;
  // Cells whose window sees only zeros sum to exactly 0 and cannot raise the
  // maximum, so each pass only visits the reach of the non-zero content.
  TSpan rows, columns{width, 0};
  for (int32_t y = b; y < height - b; ++y) {
    const int32_t* in = grid.data() + static_cast<size_t>(y) * width;
    TSpan span = Reach(NonZeroSpan(in, width), b, width);
    if (span.Empty()) continue;
    sumSpan(in + span.First - b, 1, k.data(), t0, t1, span.Last - span.First, sums.data());
    int32_t* out = pass.data() + static_cast<size_t>(y) * width;
    for (int32_t x = span.First; x < span.Last; ++x) {
      const float s = sums[x - span.First];
      out[x] = static_cast<int32_t>(s);
      maximum = std::max(maximum, static_cast<double>(s));
    }
    if (rows.Empty()) rows.First = y;
    rows.Last = y + 1;
    columns.First = std::min(columns.First, span.First);
    columns.Last = std::max(columns.Last, span.Last);
  }
  std::fill(grid.begin(), grid.end(), 0);
  if (rows.Empty()) return std::move(grid);

  // the vertical pass spreads the rows only
  rows = Reach(rows, b, height);
  const int32_t count = columns.Last - columns.First;
  for (int32_t y = rows.First; y < rows.Last; ++y) {
    const int32_t* in = pass.data() + static_cast<size_t>(y - b) * width + columns.First;
    sumSpan(in, width, k.data(), t0, t1, count, sums.data());
    int32_t* out = grid.data() + static_cast<size_t>(y) * width;
    for (int32_t i = 0; i < count; ++i) {
      out[columns.First + i] = static_cast<int32_t>(sums[i]);
      maximum = std::max(maximum, static_cast<double>(sums[i]));
    }
  }
  Normalise(grid, width, rows, columns, maximum);
  return std::move(grid);
}

}  // namespace tvx
