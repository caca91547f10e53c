#pragma once

#include <cstdint>
#include <vector>

namespace tvx {

/// The blur kernel of the shadow and the glow: piecewise-linear taps
/// (d from the middle weighs (r - d) / (r + 1), the middle 1), normalised to
/// a sum of 1 and stored as 32-bit floats. The outermost taps are always 0.
class TGKernel {
 public:
  explicit TGKernel(double radius);

  const std::vector<float>& Taps() const { return taps_; }
  int32_t Count() const { return static_cast<int32_t>(taps_.size()); }
  /// (n - 1) div 2: the blur leaves cells closer than this to an edge at 0.
  int32_t HalfWidth() const { return (Count() - 1) / 2; }

 private:
  std::vector<float> taps_;
};

/// Separable blur of a width x height alpha grid (row-major, values 0..255)
/// followed by the normalisation that maps the largest sum of either pass to
/// 255. The running sums are 32-bit floats rounded after every addition of a
/// double-precision product; the result depends on exactly that, so every
/// implementation of it must be bit-identical to BlurGridReference.
/// The grid is consumed (overwritten); the result has the same size.
std::vector<int32_t> BlurGrid(std::vector<int32_t>& grid, int32_t width, int32_t height, const TGKernel& kernel);

/// The loops BlurGrid may use; Avx falls back to Sse2 on processors without it.
enum class TBlurPath { Auto, Scalar, Sse2, Avx };
/// BlurGrid with a chosen loop, so that each can be checked against the reference.
std::vector<int32_t> BlurGrid(std::vector<int32_t>& grid, int32_t width, int32_t height, const TGKernel& kernel,
                              TBlurPath path);

/// The plain scalar form of BlurGrid, kept as the oracle of the fast one.
std::vector<int32_t> BlurGridReference(std::vector<int32_t>& grid, int32_t width, int32_t height,
                                       const TGKernel& kernel);

}  // namespace tvx
