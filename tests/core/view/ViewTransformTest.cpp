#include "core/view/ViewTransform.h"

#include <gtest/gtest.h>

namespace kivra {
namespace {

constexpr RECT kWide{0, 550 * 20, 0, 200 * 20};  // a 550 x 200 px movie

ViewTransform view(uint8_t modeAndAlign, int quality = 2, DeviceRect client = {0, 0, 550, 400},
                   RECT frame = kWide) {
  ViewRequest r;
  r.client = client;
  r.frame = frame;
  r.modeAndAlign = modeAndAlign;
  r.quality = quality;
  return ViewTransform::compute(r);
}

// Where a movie point lands, in whole pixels.
void pixel(const ViewTransform& v, Twips x, Twips y, int& px, int& py) {
  int32_t dx, dy;
  v.map(x, y, dx, dy);
  px = (dx + v.aaFactor / 2) / v.aaFactor;
  py = (dy + v.aaFactor / 2) / v.aaFactor;
}

TEST(ViewTransform, ShowAllCentresAWideMovieWithBandsAboveAndBelow) {
  const ViewTransform v = view(0);
  EXPECT_EQ(v.aaFactor, 4);
  EXPECT_EQ(v.view, (DeviceRect{0, 0, 2200, 1600}));
  int x, y;
  pixel(v, 0, 0, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 100);
  pixel(v, 11000, 4000, x, y);
  EXPECT_EQ(x, 550);
  EXPECT_EQ(y, 300);
  EXPECT_EQ(v.matrix.tx % 4, 0);
  EXPECT_EQ(v.matrix.ty % 4, 0);
}

TEST(ViewTransform, NoBorderFillsTheWindowAndCropsTheSides) {
  const ViewTransform v = view(1);
  int x, y;
  pixel(v, 0, 0, x, y);
  EXPECT_EQ(y, 0);
  EXPECT_NEAR(x, -275, 1);  // twice as large, centred: 1100 px wide in 550
  pixel(v, 11000, 4000, x, y);
  EXPECT_NEAR(x, 825, 1);
  EXPECT_EQ(y, 400);
}

TEST(ViewTransform, ExactFitStretchesEachAxis) {
  const ViewTransform v = view(2);
  int x, y;
  pixel(v, 11000, 4000, x, y);
  EXPECT_EQ(x, 550);
  EXPECT_EQ(y, 400);
  pixel(v, 0, 0, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

TEST(ViewTransform, NoScaleKeepsOnePixelPerTwentyTwips) {
  const ViewTransform v = view(3, 2, DeviceRect{0, 0, 800, 600});
  int x0, y0, x1, y1;
  pixel(v, 0, 0, x0, y0);
  pixel(v, 11000, 4000, x1, y1);
  EXPECT_EQ(x1 - x0, 550);
  EXPECT_EQ(y1 - y0, 200);
  EXPECT_EQ(x0, 125);  // centred
  EXPECT_EQ(y0, 200);
}

TEST(ViewTransform, AlignmentPutsTheChosenEdgeOnTheWindowEdge) {
  int x, y;
  const ViewTransform topLeft = view(3 | kAlignLeft | kAlignTop, 2, DeviceRect{0, 0, 800, 600});
  pixel(topLeft, 0, 0, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  const ViewTransform bottomRight = view(3 | kAlignRight | kAlignBottom, 2, DeviceRect{0, 0, 800, 600});
  pixel(bottomRight, 11000, 4000, x, y);
  EXPECT_EQ(x, 800);
  EXPECT_EQ(y, 600);
  const ViewTransform top = view(0 | kAlignTop);
  pixel(top, 0, 0, x, y);
  EXPECT_EQ(y, 0);
  const ViewTransform bottom = view(0 | kAlignBottom);
  pixel(bottom, 0, 4000, x, y);
  EXPECT_EQ(y, 400);
}

TEST(ViewTransform, QualitySetsTheAntiAliasingFactor) {
  EXPECT_EQ(view(0, 0).aaFactor, 1);
  EXPECT_EQ(view(0, 1).aaFactor, 2);
  EXPECT_EQ(view(0, 2).aaFactor, 4);
  int x, y;
  pixel(view(0, 0), 0, 0, x, y);
  EXPECT_EQ(y, 100);
}

TEST(ViewTransform, AnEmptyClientUsesTheFramedSize) {
  const ViewTransform v = view(0, 0, DeviceRect{});
  EXPECT_EQ(v.view, (DeviceRect{0, 0, 550, 200}));
  int x, y;
  pixel(v, 11000, 4000, x, y);
  EXPECT_EQ(x, 550);
  EXPECT_EQ(y, 200);
}

TEST(ViewTransform, ZoomRectangleIsFramedExceptInNoScale) {
  ViewRequest r;
  r.client = DeviceRect{0, 0, 550, 400};
  r.frame = RECT{0, 11000, 0, 8000};
  const RECT zoom{0, 5500, 0, 4000};  // the top-left quarter
  r.zoom = &zoom;
  const ViewTransform v = ViewTransform::compute(r);
  int32_t dx, dy;
  v.map(5500, 4000, dx, dy);
  EXPECT_EQ(dx / 4, 550);
  EXPECT_EQ(dy / 4, 400);
}

TEST(ViewTransform, DegenerateFramesDoNotDivideByZero) {
  const ViewTransform v = view(0, 2, DeviceRect{0, 0, 100, 100}, RECT{0, 0, 0, 0});
  EXPECT_GT(v.matrix.a, 0);
}

TEST(Transforms, ChildMatrixThenParent) {
  MATRIX parent;
  parent.a = parent.d = 2 * kFixedOne;
  parent.tx = 100;
  MATRIX child;
  child.tx = 10;
  child.ty = 20;
  const MATRIX m = concat(child, parent);
  EXPECT_EQ(m.a, 2 * kFixedOne);
  EXPECT_EQ(m.tx, 120);
  EXPECT_EQ(m.ty, 40);
}

TEST(Transforms, ColourTransformsCombine) {
  CXFORM child;
  child.rMul = 128;
  child.rAdd = 10;
  CXFORM parent;
  parent.rMul = 128;
  parent.rAdd = 20;
  const CXFORM c = concat(child, parent);
  EXPECT_EQ(c.rMul, 64);
  EXPECT_EQ(c.rAdd, 25);
}

}  // namespace
}  // namespace kivra
