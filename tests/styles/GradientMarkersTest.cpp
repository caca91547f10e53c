#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "styles/GradientMarkers.h"

namespace tvx {
namespace {

using M = TGradientMarkers;

TGradient WithStops(std::initializer_list<TGradColor> stops) {
  TGradient g;
  g.StartColor = 0x000011;
  g.EndColor = 0x110000;
  g.Stops = stops;
  return g;
}

TEST(GradientMarkers, EndsSitBelowTheRampsEndsAndStopsAtTheirColumns) {
  M m;
  m.Load(WithStops({{0x0000FF, 0.5f}, {0x00FF00, 0.2f}}));
  ASSERT_EQ(m.Count(), 4);
  EXPECT_EQ(m.Markers()[0], (TGradientMarker{0x000011, 0.0f, 7, 7, 7}));
  EXPECT_EQ(m.Markers()[1], (TGradientMarker{0x110000, 1.0f, 286, 286, 286}));
  // trunc(279 * p + 17 - 10), range [start + 1, end - 2]
  EXPECT_EQ(m.Markers()[2], (TGradientMarker{0x0000FF, 0.5f, 146, 8, 284}));
  EXPECT_EQ(m.Markers()[3], (TGradientMarker{0x00FF00, 0.2f, 62, 8, 284}));
  EXPECT_EQ(m.Selected(), -1);
  EXPECT_EQ(M::MarkerTop, 66);
}

TEST(GradientMarkers, UntouchedMarkersGiveBackTheGradientExactly) {
  TGradient g = WithStops({{0x0000FF, 0.5f}, {0x00FF00, 0.2f}, {0x123456, 0.333f}});
  g.Type = gtRadial;
  g.SetAngle(1.0f);
  M m;
  m.Load(g);
  EXPECT_EQ(m.Gradient(), g);
  // a colour change rebuilds the gradient but leaves the other stops' places alone
  ASSERT_TRUE(m.SetColor(3, 0xABCDEF));
  g.Stops[1].Color = 0xABCDEF;
  EXPECT_EQ(m.Gradient(), g);
  EXPECT_FALSE(m.SetColor(3, 0xABCDEF));
}

TEST(GradientMarkers, StopsOutsideTheRampAreDrawnAtItsEndsAndKeepTheirPlaceUntilMoved) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  M m;
  m.Load(WithStops({{1, 1.5f}, {2, -0.25f}, {3, nan}}));
  EXPECT_EQ(m.Markers()[2].Left, 284);
  EXPECT_EQ(m.Markers()[3].Left, 8);
  EXPECT_EQ(m.Markers()[4].Left, 8);
  EXPECT_EQ(m.Gradient().Stops[0].Position, 1.5f);
  m.Select(2);
  ASSERT_TRUE(m.Nudge(-1));
  EXPECT_LE(m.Gradient().Stops[0].Position, 1.0f);
}

struct TDragCase {
  const char* name;
  int index;
  int32_t to;
  bool moved;
  int32_t left;
};

class GradientMarkersDrag : public ::testing::TestWithParam<TDragCase> {};

TEST_P(GradientMarkersDrag, StaysWithinItsRange) {
  const auto& c = GetParam();
  M m;
  m.Load(WithStops({{0x0000FF, 0.5f}}));
  EXPECT_EQ(m.MoveTo(c.index, c.to), c.moved);
  EXPECT_EQ(m.Markers()[c.index].Left, c.left);
  EXPECT_FLOAT_EQ(m.Markers()[c.index].Position,
                  c.moved ? static_cast<float>(c.left + 10 - 17) / 279.0f : m.Markers()[c.index].Position);
}

INSTANTIATE_TEST_SUITE_P(Cases, GradientMarkersDrag,
                         ::testing::Values(TDragCase{"inside", 2, 100, true, 100},
                                           TDragCase{"left_of_the_ramp", 2, -50, true, 8},
                                           TDragCase{"right_of_the_ramp", 2, 400, true, 284},
                                           TDragCase{"same_place", 2, 146, false, 146},
                                           TDragCase{"start_marker", 0, 100, false, 7},
                                           TDragCase{"end_marker", 1, 100, false, 286}),
                         [](const auto& info) { return std::string(info.param.name); });

struct TAddCase {
  const char* name;
  int32_t x;
  int32_t left;
};

class GradientMarkersAdd : public ::testing::TestWithParam<TAddCase> {};

// A marker added with the mouse always lies within the ramp, so its stop
// always takes part in the gradient.
TEST_P(GradientMarkersAdd, IsBlackSelectedAndInsideTheRamp) {
  const auto& c = GetParam();
  M m;
  m.Load(TGradient{});
  const int added = m.AddAt(c.x);
  EXPECT_EQ(added, 2);
  EXPECT_EQ(m.Selected(), 2);
  const TGradientMarker& marker = m.Markers()[2];
  EXPECT_EQ(marker.Left, c.left);
  EXPECT_EQ(marker.Color, 0u);
  EXPECT_EQ(marker.MinLeft, 8);
  EXPECT_EQ(marker.MaxLeft, 285);
  const TGradient g = m.Gradient();
  ASSERT_EQ(g.Stops.size(), 1u);
  EXPECT_GT(g.Stops[0].Position, 0.0f);
  EXPECT_LT(g.Stops[0].Position, 1.0f);
  EXPECT_EQ(g.ColorAt(g.Stops[0].Position), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, GradientMarkersAdd,
                         ::testing::Values(TAddCase{"middle", 156, 146}, TAddCase{"far_left", 0, 8},
                                           TAddCase{"over_the_start", 17, 8}, TAddCase{"far_right", 313, 285},
                                           TAddCase{"over_the_end", 296, 285}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GradientMarkers, AddBandRunsThirtyPixelsBelowTheRamp) {
  EXPECT_FALSE(M::InAddBand(100, 63));
  EXPECT_TRUE(M::InAddBand(100, 64));
  EXPECT_TRUE(M::InAddBand(0, 94));
  EXPECT_FALSE(M::InAddBand(100, 95));
}

TEST(GradientMarkers, TheLaterMarkerIsHitWhereTwoOverlap) {
  M m;
  m.Load(WithStops({{1, 0.5f}}));  // left 146
  m.AddAt(166);                    // left 156, overlapping 156..166
  EXPECT_EQ(m.MarkerAt(150, 70), 2);
  EXPECT_EQ(m.MarkerAt(160, 70), 3);
  EXPECT_EQ(m.MarkerAt(175, 91), 3);
  EXPECT_EQ(m.MarkerAt(160, 65), -1);  // above the markers
  EXPECT_EQ(m.MarkerAt(160, 92), -1);  // below them
  EXPECT_EQ(m.MarkerAt(7, 70), 0);
  EXPECT_EQ(m.MarkerAt(306, 70), 1);
}

TEST(GradientMarkers, DeleteRemovesOnlyStopsAndKeepsTheOthersInOrder) {
  M m;
  m.Load(WithStops({{1, 0.1f}, {2, 0.2f}, {3, 0.3f}}));
  m.Select(0);
  EXPECT_FALSE(m.DeleteSelected());
  m.Select(1);
  EXPECT_FALSE(m.DeleteSelected());
  m.Select(3);
  EXPECT_TRUE(m.DeleteSelected());
  EXPECT_EQ(m.Selected(), -1);
  EXPECT_EQ(m.Gradient().Stops, (std::vector<TGradColor>{{1, 0.1f}, {3, 0.3f}}));
  EXPECT_FALSE(m.DeleteSelected());
}

TEST(GradientMarkers, NudgeMovesByOnePercentWithinTheRange) {
  M m;
  m.Load(WithStops({{1, 0.5f}}));
  m.Select(2);
  ASSERT_TRUE(m.Nudge(1));
  EXPECT_FLOAT_EQ(m.Markers()[2].Position, 0.51f);
  EXPECT_EQ(m.Markers()[2].Left, 149);  // trunc(279 * 0.51 + 7)
  ASSERT_TRUE(m.Nudge(-3));
  EXPECT_FLOAT_EQ(m.Markers()[2].Position, 0.48f);
  ASSERT_TRUE(m.Nudge(-1000));
  EXPECT_EQ(m.Markers()[2].Left, 8);
  EXPECT_GT(m.Markers()[2].Position, 0.0f);
  EXPECT_FALSE(m.Nudge(-1));
  m.Select(0);
  EXPECT_FALSE(m.Nudge(1));
}

TEST(GradientMarkers, NeighboursFollowTheRamp) {
  M m;
  m.Load(WithStops({{1, 0.8f}, {2, 0.2f}}));
  EXPECT_TRUE(m.SelectNeighbour(1));
  EXPECT_EQ(m.Selected(), 0);
  EXPECT_TRUE(m.SelectNeighbour(1));
  EXPECT_EQ(m.Selected(), 3);  // 0.2
  EXPECT_TRUE(m.SelectNeighbour(1));
  EXPECT_EQ(m.Selected(), 2);  // 0.8
  EXPECT_TRUE(m.SelectNeighbour(1));
  EXPECT_EQ(m.Selected(), 1);
  EXPECT_FALSE(m.SelectNeighbour(1));
  EXPECT_TRUE(m.SelectNeighbour(-1));
  EXPECT_EQ(m.Selected(), 2);
}

TEST(GradientMarkers, InsertGoesHalfwayToTheRightNeighbour) {
  M m;
  m.Load(WithStops({{1, 0.5f}}));
  m.Select(2);
  const int added = m.Insert();
  EXPECT_EQ(m.Selected(), added);
  EXPECT_NEAR(m.Markers()[added].Position, 0.75f, 0.004f);
  m.Select(1);  // the end marker: halfway to the left neighbour
  const int second = m.Insert();
  EXPECT_GT(m.Markers()[second].Position, 0.75f);
  EXPECT_LT(m.Markers()[second].Position, 1.0f);
  M none;
  none.Load(TGradient{});
  const int first = none.Insert();
  EXPECT_NEAR(none.Markers()[first].Position, 0.5f, 0.004f);
}

}  // namespace
}  // namespace tvx
