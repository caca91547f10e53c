#include "controls/AngleDial.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace tvx {
namespace {

constexpr double kPi = std::numbers::pi;

struct TPointCase {
  int32_t X, Y, Width, Height;
  double Angle;
};

class PointingAngle : public testing::TestWithParam<TPointCase> {};

TEST_P(PointingAngle, ClockwiseFromTheRightAroundTheCentre) {
  const TPointCase& c = GetParam();
  EXPECT_NEAR(AngleFromPoint(c.X, c.Y, c.Width, c.Height), c.Angle, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Table, PointingAngle,
                         testing::Values(TPointCase{25, 45, 50, 50, kPi / 2},  // straight below
                                         TPointCase{3, 25, 50, 50, kPi},       // straight left
                                         TPointCase{49, 25, 50, 50, 0},        // right
                                         TPointCase{25, 0, 50, 50, -kPi / 2},  // above
                                         TPointCase{35, 35, 50, 50, kPi / 4},
                                         TPointCase{15, 15, 50, 50, -3 * kPi / 4},
                                         TPointCase{25, 25, 51, 51, 0},  // the centre of an odd dial
                                         TPointCase{30, 30, 60, 40, kPi / 2}, TPointCase{25, 25, 50, 50, 0}));

struct TLineCase {
  double Angle;
  int32_t Height;
  TDialPoint End;
};

class NeedleEnd : public testing::TestWithParam<TLineCase> {};

TEST_P(NeedleEnd, TruncatedTowardZeroAtHalfTheHeight) {
  EXPECT_EQ(AngleLineEnd(static_cast<float>(GetParam().Angle), GetParam().Height), GetParam().End);
}

INSTANTIATE_TEST_SUITE_P(Table, NeedleEnd,
                         testing::Values(TLineCase{0, 50, {25, 0}}, TLineCase{kPi / 2, 50, {0, 25}},
                                         TLineCase{kPi, 50, {-25, 0}}, TLineCase{-kPi / 2, 50, {0, -25}},
                                         TLineCase{kPi / 4, 50, {17, 17}},
                                         TLineCase{-3 * kPi / 4, 50, {-17, -17}}, TLineCase{0, 51, {25, 0}},
                                         TLineCase{kPi / 3, 40, {10, 17}}));

TEST(AngleDial, StepsByDegreesAndStaysWithinPlusMinusPi) {
  constexpr double kDegree = kPi / 180;
  EXPECT_NEAR(StepAngle(0, 1), kDegree, 1e-6);
  EXPECT_NEAR(StepAngle(0, -1), -kDegree, 1e-6);
  EXPECT_NEAR(StepAngle(static_cast<float>(kPi), 1), -kPi + kDegree, 1e-6);
  EXPECT_NEAR(StepAngle(static_cast<float>(-kPi + kDegree / 2), -1), kPi - kDegree / 2, 1e-5);
  EXPECT_NEAR(StepAngle(static_cast<float>(kPi / 2 + 10 * kPi), 0), kPi / 2, 1e-5);
  EXPECT_EQ(StepAngle(std::nanf(""), 1), StepAngle(0, 1));
  // 360 single steps come round to the start
  float a = 0.3f;
  for (int i = 0; i < 360; ++i) a = StepAngle(a, 1);
  EXPECT_NEAR(a, 0.3, 1e-4);
  for (int i = 0; i < 720; ++i) {
    a = StepAngle(a, -1);
    ASSERT_LE(std::fabs(a), kPi + 1e-6);
  }
}

}  // namespace
}  // namespace tvx
