#include "watermark/SelectionHandles.h"

#include <gtest/gtest.h>

#include <ostream>

namespace tvx {

void PrintTo(const TFloatRect& r, std::ostream* os) {
  *os << "(" << r.Left << ", " << r.Top << ", " << r.Right << ", " << r.Bottom << ")";
}

namespace {

// ---- hit-testing -------------------------------------------------------------------

struct THitCase {
  const char* Name;
  TRBHandles Handles;
  double X, Y;
  TDragKind Expected;
};

class HitTestFrameTest : public testing::TestWithParam<THitCase> {};

// The frame (10, 10)-(110, 60) in view pixels, handles of half-side 3 as painted.
TEST_P(HitTestFrameTest, FindsTheHandleUnderThePoint) {
  const THitCase& c = GetParam();
  EXPECT_EQ(HitTestFrame(TFloatRect{10, 10, 110, 60}, c.Handles, 3, c.X, c.Y), c.Expected) << c.Name;
}

constexpr TRBHandles kAll = rhCenter | rhSides | rhCorners | rhFrame;
constexpr TRBHandles kMove = rhCenter | rhFrame;

INSTANTIATE_TEST_SUITE_P(
    Frame, HitTestFrameTest,
    testing::Values(
        THitCase{"inside moves", kAll, 60, 35, dkMove}, THitCase{"top-left corner", kAll, 10, 10, dkTopLeft},
        THitCase{"near the top-left corner", kAll, 14, 6, dkTopLeft},
        THitCase{"top-right corner (last pixel column)", kAll, 109, 10, dkTopRight},
        THitCase{"bottom-left corner", kAll, 10, 59, dkBottomLeft},
        THitCase{"bottom-right corner", kAll, 111, 61, dkBottomRight},
        THitCase{"left edge", kAll, 9, 35, dkLeft}, THitCase{"right edge", kAll, 112, 40, dkRight},
        THitCase{"top edge", kAll, 50, 12, dkTop}, THitCase{"bottom edge", kAll, 70, 57, dkBottom},
        THitCase{"outside", kAll, 200, 35, dkNone}, THitCase{"just beyond the reach", kAll, 5, 35, dkNone},
        THitCase{"move mode: an edge only moves", kMove, 10, 35, dkMove},
        THitCase{"move mode: a corner only moves", kMove, 10, 10, dkMove},
        THitCase{"move mode: outside", kMove, 9, 35, dkNone},
        THitCase{"detached frame: nothing but the inside", rhCenter, 60, 35, dkMove}),
    [](const testing::TestParamInfo<THitCase>& info) { return "case" + std::to_string(info.index); });

TEST(HitTestFrame, AFrameWithoutAreaHasNoHandles) {
  EXPECT_EQ(HitTestFrame(TFloatRect{10, 10, 10, 60}, kAll, 3, 10, 30), dkNone);
  EXPECT_EQ(HitTestFrame(TFloatRect{10, 10, 5, 60}, kAll, 3, 8, 30), dkNone);
}

// ---- the aspect correction -------------------------------------------------------------

struct TAspectCase {
  TDragKind Kind;
  TFloatRect Proposed;
  TFloatRect Expected;
};

class KeepAspectRatioTest : public testing::TestWithParam<TAspectCase> {};

// Old frame 100 x 50 at (0, 0).
TEST_P(KeepAspectRatioTest, TheOtherSideFollows) {
  const TAspectCase& c = GetParam();
  const TFloatRect r = KeepAspectRatio(c.Kind, TFloatRect{0, 0, 100, 50}, c.Proposed);
  EXPECT_FLOAT_EQ(r.Left, c.Expected.Left);
  EXPECT_FLOAT_EQ(r.Top, c.Expected.Top);
  EXPECT_FLOAT_EQ(r.Right, c.Expected.Right);
  EXPECT_FLOAT_EQ(r.Bottom, c.Expected.Bottom);
}

INSTANTIATE_TEST_SUITE_P(Kinds, KeepAspectRatioTest,
                         testing::Values(
                             // bottom edge to 100 high: 200 wide about the old centre
                             TAspectCase{dkBottom, {0, 0, 100, 100}, {-50, 0, 150, 100}},
                             TAspectCase{dkTop, {0, 25, 100, 50}, {25, 25, 75, 50}},
                             // right edge to 200 wide: 100 high about the old centre
                             TAspectCase{dkRight, {0, 0, 200, 50}, {0, -25, 200, 75}},
                             TAspectCase{dkLeft, {50, 0, 100, 50}, {50, 12.5f, 100, 37.5f}},
                             // corners: the height follows the width, the opposite edge fixed
                             TAspectCase{dkTopLeft, {-100, -7, 100, 50}, {-100, -50, 100, 50}},
                             TAspectCase{dkTopRight, {0, 3, 50, 50}, {0, 25, 50, 50}},
                             TAspectCase{dkBottomLeft, {20, 0, 100, 90}, {20, 0, 100, 40}},
                             TAspectCase{dkBottomRight, {0, 0, 300, 10}, {0, 0, 300, 150}},
                             // moving is not stretching
                             TAspectCase{dkMove, {5, 5, 105, 55}, {5, 5, 105, 55}}));

TEST(KeepAspectRatio, AnOldFrameWithoutAreaLeavesTheProposalAlone) {
  const TFloatRect proposed{0, 0, 40, 40};
  for (TDragKind kind : {dkTop, dkLeft, dkTopLeft, dkBottomRight}) {
    const TFloatRect r = KeepAspectRatio(kind, TFloatRect{0, 0, 0, 50}, proposed);
    EXPECT_EQ(r, proposed);
    EXPECT_EQ(KeepAspectRatio(kind, TFloatRect{0, 0, 30, 0}, proposed), proposed);
  }
}

// ---- dragging ------------------------------------------------------------------------------

TEST(DragFrame, AMoveOfNPixelsMovesByNWholePixels) {
  const TFloatRect start{10.5f, 20, 110.5f, 70};
  EXPECT_EQ(DragFrame(dkMove, start, 37, -5, {}), (TFloatRect{47.5f, 15, 147.5f, 65}));
  // a pointer between pixels (a zoomed-out view) still moves by whole pixels
  EXPECT_EQ(DragFrame(dkMove, start, 2.4, 2.6, {}), (TFloatRect{12.5f, 23, 112.5f, 73}));
  EXPECT_EQ(DragFrame(dkNone, start, 50, 50, {}), start);
}

struct TStretchCase {
  const char* Name;
  TDragKind Kind;
  double Dx, Dy;
  bool KeepAspect;
  TFloatRect Expected;
};

class DragFrameStretchTest : public testing::TestWithParam<TStretchCase> {};

// Start frame 100 x 50 at (100, 100); no snapping.
TEST_P(DragFrameStretchTest, StaysWithinTheLimits) {
  const TStretchCase& c = GetParam();
  TDragOptions options;
  options.KeepAspect = c.KeepAspect;
  const TFloatRect r = DragFrame(c.Kind, TFloatRect{100, 100, 200, 150}, c.Dx, c.Dy, options);
  EXPECT_FLOAT_EQ(r.Left, c.Expected.Left) << c.Name;
  EXPECT_FLOAT_EQ(r.Top, c.Expected.Top) << c.Name;
  EXPECT_FLOAT_EQ(r.Right, c.Expected.Right) << c.Name;
  EXPECT_FLOAT_EQ(r.Bottom, c.Expected.Bottom) << c.Name;
  EXPECT_GE(r.Right - r.Left, kMinFrameSide) << c.Name;
  EXPECT_GE(r.Bottom - r.Top, kMinFrameSide) << c.Name;
  EXPECT_LE(r.Right - r.Left, kMaxFrameSide) << c.Name;
  EXPECT_LE(r.Bottom - r.Top, kMaxFrameSide) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DragFrameStretchTest,
    testing::Values(
        TStretchCase{"right edge out", dkRight, 50, 9, false, {100, 100, 250, 150}},
        TStretchCase{"bottom-right corner", dkBottomRight, 20, 30, false, {100, 100, 220, 180}},
        TStretchCase{"top-left corner", dkTopLeft, -10, 5, false, {90, 105, 200, 150}},
        TStretchCase{
            "left edge past the right edge: 1 pixel wide", dkLeft, 500, 0, false, {199, 100, 200, 150}},
        TStretchCase{
            "right edge past the left edge: 1 pixel wide", dkRight, -400, 0, false, {100, 100, 101, 150}},
        TStretchCase{"top edge past the bottom: 1 pixel high", dkTop, 0, 80, false, {100, 149, 200, 150}},
        TStretchCase{"bottom edge far out: 10000 high", dkBottom, 0, 50000, false, {100, 100, 200, 10100}},
        TStretchCase{
            "shift, bottom-right: height follows", dkBottomRight, 100, 0, true, {100, 100, 300, 200}},
        TStretchCase{"shift, corner collapsed: never below 1 pixel",
                     dkBottomRight,
                     -1000,
                     -1000,
                     true,
                     {100, 100, 102, 101}},
        TStretchCase{"shift, corner far out: the width stops at 10000",
                     dkBottomRight,
                     100000,
                     0,
                     true,
                     {100, 100, 10100, 5100}},
        TStretchCase{"shift, top edge: width about the centre", dkTop, 0, -50, true, {50, 50, 250, 150}}),
    [](const testing::TestParamInfo<TStretchCase>& info) { return "case" + std::to_string(info.index); });

TEST(DragFrame, AThinFrameKeepsItsAspectWithinTheLimits) {
  // 10000 x 1: the only size with that aspect ratio within the limits is itself
  TDragOptions options;
  options.KeepAspect = true;
  const TFloatRect r = DragFrame(dkBottomRight, TFloatRect{0, 0, 10000, 1}, -5000, 0, options);
  EXPECT_FLOAT_EQ(r.Right - r.Left, 10000);
  EXPECT_FLOAT_EQ(r.Bottom - r.Top, 1);
}

struct TSnapCase {
  const char* Name;
  TDragKind Kind;
  double Dx, Dy;
  bool Snap;
  TFloatRect Expected;
};

class DragFrameSnapTest : public testing::TestWithParam<TSnapCase> {};

// A 100 x 50 frame at (100, 100) on a 1000 x 800 picture; lines within 5 pixels snap.
TEST_P(DragFrameSnapTest, EdgesAndCentresSnapToThePicture) {
  const TSnapCase& c = GetParam();
  TDragOptions options;
  options.Snap = c.Snap;
  options.PictureWidth = 1000;
  options.PictureHeight = 800;
  options.SnapDistance = 5;
  EXPECT_EQ(DragFrame(c.Kind, TFloatRect{100, 100, 200, 150}, c.Dx, c.Dy, options), c.Expected) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DragFrameSnapTest,
    testing::Values(
        TSnapCase{"left edge to the picture's left", dkMove, -97, 0, true, {0, 100, 100, 150}},
        TSnapCase{"right edge to the picture's right", dkMove, 797, 0, true, {900, 100, 1000, 150}},
        TSnapCase{"centre to the centre line", dkMove, 348, 272, true, {450, 375, 550, 425}},
        TSnapCase{"bottom edge to the picture's bottom", dkMove, 0, 652, true, {100, 750, 200, 800}},
        TSnapCase{"too far away: no snap", dkMove, -90, 0, true, {10, 100, 110, 150}},
        TSnapCase{"snapping off (Alt)", dkMove, -97, 0, false, {3, 100, 103, 150}},
        TSnapCase{"a stretched edge snaps", dkRight, 297, 0, true, {100, 100, 500, 150}},
        TSnapCase{"the fixed edge does not", dkLeft, 0, 0, true, {100, 100, 200, 150}}),
    [](const testing::TestParamInfo<TSnapCase>& info) { return "case" + std::to_string(info.index); });

}  // namespace
}  // namespace tvx
