#include "styles/Gradient.h"

#include <gtest/gtest.h>

#include <cmath>

#include "styles/StyleRecords.h"

namespace tvx {
namespace {

TEST(Gradient, DefaultLinearColumnsOfAFourPixelLayer) {
  const TGradient g;
  const uint32_t expected[4] = {0x000000, 0x3F3F3F, 0x7F7F7F, 0xBFBFBF};
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 3; ++y) EXPECT_EQ(g.ColorAtPoint(x / 4.0f, y / 3.0f), expected[x]) << x << "," << y;
  EXPECT_EQ(g.ColorAt(1.0f), 0xFFFFFFu);
  EXPECT_EQ(g.ColorAt(1.5f), 0xFFFFFFu);
  EXPECT_EQ(g.ColorAt(-0.1f), 0x000000u);
  EXPECT_EQ(g.ColorAt(std::nanf("")), 0x000000u);
}

TEST(Gradient, ReflectedColumnsAndOutOfRange) {
  TGradient g;
  g.Type = gtReflected;
  const uint32_t expected[4] = {0x000000, 0x7F7F7F, 0xFFFFFF, 0x7F7F7F};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(g.ColorAtPoint(x / 4.0f, 0.5f), expected[x]) << x;
  EXPECT_EQ(g.ColorAt(0.25f), g.ColorAt(0.75f));
  EXPECT_EQ(g.ColorAt(1.5f), 0x000000u);
}

TEST(Gradient, StopsBracketTheLookup) {
  TGradient g;
  g.Stops.push_back({0x0000FF, 0.5f});
  EXPECT_EQ(g.ColorAt(0.5f), 0x0000FFu);
  EXPECT_EQ(g.ColorAt(0.25f), 0x00007Fu);
  EXPECT_EQ(g.ColorAt(0.75f), 0x7F7FFFu);
  // a stop outside 0..1 never takes part; ties go to the earlier stop
  g.Stops.push_back({0x00FF00, 1.5f});
  g.Stops.push_back({0x00FF00, 0.5f});
  EXPECT_EQ(g.ColorAt(0.5f), 0x0000FFu);
  EXPECT_EQ(g.ColorAt(0.75f), 0x7F7FFFu);
}

TEST(Gradient, RadialIgnoresTheAngle) {
  TGradient g;
  g.Type = gtRadial;
  g.SetAngle(1.0f);
  EXPECT_EQ(g.ColorAtPoint(0.5f, 0.5f), 0xFFFFFFu);
  EXPECT_EQ(g.ColorAtPoint(0.0f, 0.0f), 0x000000u);
  TGradient straight = g;
  straight.SetAngle(0);
  for (float a : {0.1f, 0.3f, 0.7f}) EXPECT_EQ(g.ColorAtPoint(a, 0.2f), straight.ColorAtPoint(a, 0.2f));
  TGradient other = g;
  other.Type = 7;
  EXPECT_EQ(other.ColorAtPoint(0.5f, 0.5f), other.StartColor);
}

TEST(Gradient, AngleCachedValues) {
  TGradient g;
  g.SetAngle(static_cast<float>(M_PI / 2));
  EXPECT_NEAR(g.P(), -4.37e-8, 1e-9);
  EXPECT_EQ(g.Q(), 1.0f);
  // top to bottom whatever the column
  for (float a : {0.0f, 0.5f, 0.99f}) {
    EXPECT_EQ(g.ColorAtPoint(a, 0.0f) & 0xFF, 0u);
    EXPECT_EQ(g.ColorAtPoint(a, 0.5f) & 0xFF, 0x7Fu);
  }
  g.SetAngle(static_cast<float>(M_PI / 4));
  EXPECT_NEAR(g.L(), std::sqrt(2.0), 1e-6);
  EXPECT_NEAR(g.K2(), 0.5, 1e-6);
  EXPECT_EQ(g.ColorAtPoint(0, 0), 0x000000u);  // top-left corner starts
  g.SetAngle(static_cast<float>(M_PI));
  EXPECT_EQ(g.ColorAtPoint(0.75f, 0.3f), g.ColorAtPoint(0.75f, 0.9f));
  EXPECT_GT(g.ColorAtPoint(0.0f, 0.0f) & 0xFF, g.ColorAtPoint(0.75f, 0.0f) & 0xFF);  // right to left
}

TEST(Gradient, Reversed) {
  TGradient g;
  g.Type = gtReflected;
  g.SetAngle(0.5f);
  g.Stops.push_back({0x123456, 0.2f});
  const TGradient r = g.Reversed();
  EXPECT_EQ(r.StartColor, 0xFFFFFFu);
  EXPECT_EQ(r.EndColor, 0x000000u);
  ASSERT_EQ(r.Stops.size(), 1u);
  EXPECT_EQ(r.Stops[0].Color, 0x123456u);
  EXPECT_EQ(r.Stops[0].Position, 0.8f);
  EXPECT_EQ(r.Type, gtReflected);
  EXPECT_EQ(r.Angle(), 0.5f);
  EXPECT_EQ(r.P(), g.P());
}

TEST(GradRecord, BlocksRoundTripAndAreBoundedByTheirSize) {
  TGradient g;
  g.Type = gtRadial;
  g.SetAngle(-1.25f);
  g.StartColor = 0x010203;
  g.EndColor = 0x040506;
  g.Stops = {{0xAA, 0.25f}, {0xBB, 0.75f}};
  TFilterParams block = TGradRecord::ToParams(g);
  EXPECT_EQ(block.Size(), 40u);
  EXPECT_EQ(TGradRecord::FromParams(&block), g);
  EXPECT_EQ(TGradRecord::ToParams(TGradient{}).Size(), 24u);

  // a count beyond the block's end takes only the stops that fit
  block.Data[20] = 200;
  TGradient read = TGradRecord::FromParams(&block);
  EXPECT_EQ(read.Stops, g.Stops);
  block.Data.resize(36);
  EXPECT_EQ(TGradRecord::FromParams(&block).Stops.size(), 1u);
  block.Data[20] = 0xFF, block.Data[21] = 0xFF, block.Data[22] = 0xFF, block.Data[23] = 0xFF;  // -1
  EXPECT_TRUE(TGradRecord::FromParams(&block).Stops.empty());
  block.Data.resize(23);  // no room for the count: default
  EXPECT_EQ(TGradRecord::FromParams(&block), TGradient{});

  // a foreign signature or no block: the default gradient
  TFilterParams foreign = TGradRecord::ToParams(g);
  foreign.Data[0] = 'X';
  EXPECT_EQ(TGradRecord::FromParams(&foreign), TGradient{});
  EXPECT_EQ(TGradRecord::FromParams(nullptr), TGradient{});

  // the type is read from the low byte of its field
  TFilterParams typed = TGradRecord::ToParams(TGradient{});
  typed.Data[8] = 1, typed.Data[9] = 7;
  EXPECT_EQ(TGradRecord::FromParams(&typed).Type, gtReflected);
}

}  // namespace
}  // namespace tvx
