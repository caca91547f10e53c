#include "styles/Blur.h"

#include <gtest/gtest.h>

#include <random>

namespace tvx {
namespace {

TEST(GKernel, TapsOfSmallRadii) {
  EXPECT_EQ(TGKernel(0).Taps(), std::vector<float>{1.0f});
  EXPECT_EQ(TGKernel(1).Taps(), (std::vector<float>{0.0f, 1.0f, 0.0f}));
  const std::vector<float> taps = TGKernel(2).Taps();
  ASSERT_EQ(taps.size(), 5u);
  EXPECT_EQ(taps[0], 0.0f);
  EXPECT_EQ(taps[4], 0.0f);
  EXPECT_FLOAT_EQ(taps[1], 0.2f);
  EXPECT_FLOAT_EQ(taps[2], 0.6f);
  EXPECT_EQ(taps[1], taps[3]);
  EXPECT_EQ(TGKernel(2).HalfWidth(), 2);
}

TEST(GKernel, WholeRadiiAreSymmetricTrianglesSummingToOne) {
  for (int r = 1; r <= 50; ++r) {
    const std::vector<float> taps = TGKernel(r).Taps();
    ASSERT_EQ(taps.size(), static_cast<size_t>(2 * r + 1));
    double sum = 0;
    for (size_t i = 0; i < taps.size(); ++i) {
      EXPECT_EQ(taps[i], taps[taps.size() - 1 - i]);
      sum += taps[i];
    }
    EXPECT_NEAR(sum, 1.0, 1e-5) << r;
    EXPECT_EQ(taps.front(), 0.0f);
    // the middle tap is (r + 1) times the outermost non-zero one
    if (r > 1) {
      EXPECT_NEAR(taps[r] / taps[1], r + 1.0, 1e-3);
    }
  }
}

TEST(Blur, SinglePixelWithRadiusTwo) {
  std::vector<int32_t> grid(81, 0);
  grid[4 * 9 + 4] = 255;
  const std::vector<int32_t> result = BlurGrid(grid, 9, 9, TGKernel(2));
  const int32_t expected[3][3] = {{16, 50, 16}, {50, 151, 50}, {16, 50, 16}};
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) {
      const bool inside = y >= 3 && y <= 5 && x >= 3 && x <= 5;
      EXPECT_EQ(result[y * 9 + x], inside ? expected[y - 3][x - 3] : 0) << x << "," << y;
    }
}

TEST(Blur, RadiusOneCopiesTheInnerRegion) {
  std::vector<int32_t> grid(6 * 5);
  for (size_t i = 0; i < grid.size(); ++i) grid[i] = static_cast<int32_t>(i * 37 % 256);
  const std::vector<int32_t> original = grid;
  const std::vector<int32_t> result = BlurGrid(grid, 6, 5, TGKernel(1));
  int maxInner = 0;
  for (int y = 1; y < 4; ++y)
    for (int x = 1; x < 5; ++x) maxInner = std::max(maxInner, original[y * 6 + x]);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool inner = y >= 1 && y < 4 && x >= 1 && x < 5;
      // the largest value is scaled to 255 (it already is, or the scale shows)
      const int expected = inner ? static_cast<int>(original[y * 6 + x] * static_cast<double>(static_cast<float>(
                                                                               255.0 / maxInner)))
                                 : 0;
      EXPECT_EQ(result[y * 6 + x], expected) << x << "," << y;
    }
}

TEST(Blur, ZerosAndTooSmallGrids) {
  std::vector<int32_t> zeros(20 * 20, 0);
  EXPECT_EQ(BlurGrid(zeros, 20, 20, TGKernel(3)), std::vector<int32_t>(400, 0));
  std::vector<int32_t> narrow(4 * 30, 200);  // 4 wide < 2 * 2 + 1
  EXPECT_EQ(BlurGrid(narrow, 4, 30, TGKernel(2)), std::vector<int32_t>(120, 0));
  std::vector<int32_t> flat(30 * 4, 200);
  EXPECT_EQ(BlurGrid(flat, 30, 4, TGKernel(2)), std::vector<int32_t>(120, 0));
}

TEST(Blur, WideOpaqueAreaReachesFullAlpha) {
  // an opaque block wider than the kernel: its covered cells end at 254 or 255
  for (int r : {3, 5, 20}) {
    const int size = 8 * r + 10;
    std::vector<int32_t> grid(size * size, 0);
    for (int y = 2 * r; y < size - 2 * r; ++y)
      for (int x = 2 * r; x < size - 2 * r; ++x) grid[y * size + x] = 255;
    const std::vector<int32_t> result = BlurGrid(grid, size, size, TGKernel(r));
    const int centre = result[(size / 2) * size + size / 2];
    EXPECT_GE(centre, 254) << r;
    EXPECT_LE(centre, 255) << r;
  }
}

// The vectorised blur must give the very same integers as the plain
// per-cell loop, whatever the sizes, content and radius.
TEST(Blur, FastPathIsBitIdenticalToTheReference) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 300; ++round) {
    const int radius = 1 + static_cast<int>(random() % 24);
    const int width = 1 + static_cast<int>(random() % 90);
    const int height = 1 + static_cast<int>(random() % 70);
    std::vector<int32_t> grid(static_cast<size_t>(width) * height, 0);
    const int style = round % 3;
    for (auto& v : grid) {
      if (style == 0) v = static_cast<int32_t>(random() % 256);  // noise
      else if (style == 1) v = random() % 5 == 0 ? 255 : 0;  // sparse opaque dots
      else v = random() % 3 == 0 ? static_cast<int32_t>(random() % 256) : 0;
    }
    const TGKernel kernel(radius);
    std::vector<int32_t> copy = grid;
    const std::vector<int32_t> reference = BlurGridReference(copy, width, height, kernel);
    for (TBlurPath path : {TBlurPath::Scalar, TBlurPath::Sse2, TBlurPath::Avx}) {
      copy = grid;
      ASSERT_EQ(BlurGrid(copy, width, height, kernel, path), reference)
          << width << "x" << height << " r=" << radius << " path " << static_cast<int>(path);
    }
  }
}

TEST(Blur, FastPathIsBitIdenticalOnAShapeWithMargins) {
  // the filters' case: content inside margins of twice the radius
  std::mt19937 random(7);
  for (int radius : {1, 2, 5, 13, 20, 50}) {
    const int ws = 37 + radius, hs = 23;
    const int width = ws + 4 * radius, height = hs + 4 * radius;
    std::vector<int32_t> grid(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < hs; ++y)
      for (int x = 0; x < ws; ++x)
        grid[(y + 2 * radius) * width + x + 2 * radius] = (x / 3 + y / 2) % 3 == 0 ? 0 : (random() % 2 ? 255 : 128);
    std::vector<int32_t> copy = grid;
    const std::vector<int32_t> reference = BlurGridReference(copy, width, height, TGKernel(radius));
    for (TBlurPath path : {TBlurPath::Sse2, TBlurPath::Avx}) {
      copy = grid;
      EXPECT_EQ(BlurGrid(copy, width, height, TGKernel(radius), path), reference) << radius;
    }
  }
}

}  // namespace
}  // namespace tvx
