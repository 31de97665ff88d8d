#include <gtest/gtest.h>

#include <cstdint>

#include "core/render/EdgeBuilder.h"
#include "core/render/FillPainter.h"
#include "core/render/RenderMatrix.h"

namespace kivra {
namespace {

TEST(RenderMatrix, PointTransformRoundsEachProduct) {
  MATRIX m;
  m.a = 0x8000;  // 0.5
  m.d = 0x18000;
  m.tx = 10;
  const DevicePoint p = transformPoint(m, 3, 3);
  EXPECT_EQ(p.x, 2 + 10);  // 1.5 rounds up
  EXPECT_EQ(p.y, 5);       // 4.5 rounds up
}

TEST(RenderMatrix, InverseOfScaleAndOfRotation) {
  MATRIX s;
  s.a = 2 * kFixedOne;
  s.d = 4 * kFixedOne;
  s.tx = 100;
  s.ty = -40;
  const MATRIX i = invertMatrix(s);
  EXPECT_EQ(i.a, kFixedOne / 2);
  EXPECT_EQ(i.d, kFixedOne / 4);
  EXPECT_EQ(i.tx, -50);
  EXPECT_EQ(i.ty, 10);
  MATRIX r;  // 90 degrees and a scale of 2
  r.a = 0;
  r.b = 2 * kFixedOne;
  r.c = -2 * kFixedOne;
  r.d = 0;
  r.tx = 30;
  const MATRIX ri = invertMatrix(r);
  const MATRIX id = concatMatrix(r, ri);
  EXPECT_NEAR(id.a, kFixedOne, 2);
  EXPECT_NEAR(id.b, 0, 2);
  EXPECT_NEAR(id.c, 0, 2);
  EXPECT_NEAR(id.d, kFixedOne, 2);
  EXPECT_NEAR(id.tx, 0, 1);
  MATRIX zero;
  zero.a = zero.d = 5;  // singular
  zero.b = zero.c = 5;
  EXPECT_EQ(invertMatrix(zero), MATRIX{});
}

TEST(RenderMatrix, VectorLengthUsesTheTable) {
  EXPECT_NEAR(vectorLength(3000, 4000), 5000, 3);
  EXPECT_EQ(vectorLength(0, -700), 700);
  EXPECT_NEAR(vectorLength(1000, 1000), 1414, 2);
}

TEST(RenderMatrix, VectorLengthOfExtremeComponents) {
  // A degenerate fill matrix brings components near the ends of the range.
  constexpr int64_t kMin = INT64_MIN, kMax = INT64_MAX, k47 = int64_t{1} << 47;
  EXPECT_EQ(vectorLength(kMin, 0), kMax);
  EXPECT_EQ(vectorLength(kMin, kMin), kMax);
  EXPECT_EQ(vectorLength(3, kMin), kMax);
  EXPECT_EQ(vectorLength(kMax, -1), kMax);
  EXPECT_NEAR(static_cast<double>(vectorLength(-k47, -k47)), 1.41421356 * k47, 1e-4 * k47);
  EXPECT_NEAR(static_cast<double>(vectorLength(k47 * 8, -k47 * 4)), 1.11803399 * k47 * 8, 1e-4 * k47 * 8);
}

TEST(RenderMatrix, ThinLineWidthNeverBecomesZero) {
  MATRIX v;
  v.a = v.d = kFixedOne / 20 * 4;  // twips to sub-pixels at factor 4
  EXPECT_EQ(transformLineWidth(v, 1), 1);
  EXPECT_EQ(transformLineWidth(v, 0), 0);
  MATRIX one;
  EXPECT_NEAR(transformLineWidth(one, 100), 100, 1);  // |(100, 100)| / sqrt 2
}

TEST(RenderMatrix, LineWidthRoundsOnlyAtTheEnd) {
  // 40 twips at factor 1 is (2, 2) in device pixels: |(2, 2)| / sqrt 2 = 2.
  MATRIX v;
  v.a = v.d = 3276;  // 1/20, as the view leaves it
  EXPECT_EQ(transformLineWidth(v, 40), 2);
  EXPECT_EQ(transformLineWidth(v, 60), 3);
  MATRIX one;
  EXPECT_EQ(transformLineWidth(one, 3), 3);
  MATRIX huge;
  huge.a = huge.d = 0x7FFF0000;
  EXPECT_EQ(transformLineWidth(huge, 65535), 65535);
}

struct Collect {
  ShapeBuild build;
  EdgeBuilder eb;
  Collect() { eb.begin(&build); }
  void add(CurveEdge e) { eb.add(e, 0, kNoFill, FillRule::EvenOdd); }
};

TEST(EdgeBuilder, HorizontalEdgesAddNothing) {
  Collect c;
  c.add(CurveEdge{0, 10, 0, 0, 100, 10, true});
  EXPECT_TRUE(c.build.edges().empty());
}

TEST(EdgeBuilder, UpwardEdgesAreOrientedDown) {
  Collect c;
  c.add(CurveEdge{5, 50, 0, 0, 7, 10, true});
  ASSERT_EQ(c.build.edges().size(), 1u);
  const EdgeRecord& e = c.build.edges()[0];
  EXPECT_EQ(e.y0, 10);
  EXPECT_EQ(e.y1, 50);
  EXPECT_EQ(e.x0, 7);
  EXPECT_EQ(e.direction, -1);
}

TEST(EdgeBuilder, ControlTwoAboveIsClampedThreeAboveSplits) {
  Collect two;
  two.add(CurveEdge{0, 10, 20, 8, 40, 50, false});
  EXPECT_EQ(two.build.edges().size(), 1u);
  EXPECT_EQ(two.build.edges()[0].cy, 10);
  Collect three;
  three.add(CurveEdge{0, 10, 20, 7, 40, 50, false});
  EXPECT_EQ(three.build.edges().size(), 2u);
  for (const EdgeRecord& e : three.build.edges()) EXPECT_LT(e.y0, e.y1);
}

TEST(EdgeBuilder, TallCurvesAreSplitIntoPiecesOfAtMost256Rows) {
  Collect c;
  c.add(CurveEdge{0, 0, 400, 300, 0, 600, false});
  ASSERT_GE(c.build.edges().size(), 3u);
  int covered = 0;
  for (const EdgeRecord& e : c.build.edges()) {
    EXPECT_LE(e.y1 - e.y0, 256);
    covered += e.y1 - e.y0;
  }
  EXPECT_EQ(covered, 600);
}

TEST(EdgeBuilder, FarEdgesAreFoldedIntoRange) {
  Collect c;
  c.add(CurveEdge{-90000, 0, 0, 0, -80000, 100, true});
  ASSERT_EQ(c.build.edges().size(), 1u);
  EXPECT_EQ(c.build.edges()[0].x0, -32000);
  EXPECT_EQ(c.build.edges()[0].x1, -32000);
  Collect above;
  above.add(CurveEdge{0, -90000, 0, 0, 10, -70000, true});
  EXPECT_TRUE(above.build.edges().empty());
  Collect across;
  across.add(CurveEdge{-100000, 0, 0, 0, 100000, 200, true});
  for (const EdgeRecord& e : across.build.edges()) {
    EXPECT_GE(e.x0, -32000);
    EXPECT_LE(e.x1, 32000);
  }
}

TEST(GradientRamp, BlackToWhiteEndsWhite) {
  GradientRecord g[2] = {{0, Rgba{0, 0, 0, 255}}, {255, Rgba{255, 255, 255, 255}}};
  GradientRamp r;
  buildGradientRamp(g, 2, r);
  EXPECT_EQ(r.entry[0], expand(Rgba{0, 0, 0, 255}));
  EXPECT_EQ(r.entry[255], expand(Rgba{255, 255, 255, 255}));
  EXPECT_EQ(r.entry[256], expand(Rgba{255, 255, 255, 255}));
  EXPECT_EQ(r.entry[128] & 0xFF, 128u);  // (128 . 255 + 127 . 0) / 255
}

TEST(GradientRamp, FlatBeforeTheFirstRatio) {
  GradientRecord g[2] = {{100, Rgba{10, 20, 30, 255}}, {200, Rgba{200, 200, 200, 255}}};
  GradientRamp r;
  buildGradientRamp(g, 2, r);
  for (int i = 0; i <= 100; ++i) EXPECT_EQ(r.entry[i], expand(Rgba{10, 20, 30, 255})) << i;
  EXPECT_NE(r.entry[101], r.entry[100]);
}

TEST(GradientRamp, LinearIndexIs128AtTheGradientOrigin) {
  ShapeBuild b;
  const uint32_t i = b.addFill();
  FillStyle& f = b.fills()[i];
  f.kind = FillKind::Gradient;
  f.type = 0x10;
  f.gradientCount = 2;
  f.gradient[0] = {0, Rgba{0, 0, 0, 255}};
  f.gradient[1] = {255, Rgba{255, 255, 255, 255}};
  f.matrix.a = f.matrix.d = kFixedOne / 100;  // the square spans -163.84..163.84 twips
  f.matrix.tx = 1000;                         // centred at x = 1000 twips = 50 px
  MATRIX device;
  device.a = device.d = kFixedOne / 20;  // twips to pixels, factor 1
  prepareFills(b, device, 1);
  ExpandedPixel px[3];
  fetchSpan(b.fills()[i], 49, 0, 3, px);
  EXPECT_EQ(px[1], b.fills()[i].rampPtr->entry[128]);
  EXPECT_LT(px[0] & 0xFF, px[1] & 0xFF);
  EXPECT_GT(px[2] & 0xFF, px[1] & 0xFF);
}

TEST(GradientRamp, NearlySingularFillsStopAtTheRampEnds) {
  // A nearly singular gradient matrix makes each pixel's step about 2^62 in
  // 16.16: positions must stop at the end of the range they head for, not
  // wrap around to the other side.
  ShapeBuild b;
  const uint32_t linear = b.addFill();
  const uint32_t radial = b.addFill();
  for (const uint32_t i : {linear, radial}) {
    FillStyle& f = b.fills()[i];
    f.kind = FillKind::Gradient;
    f.type = i == linear ? 0x10 : 0x12;
    f.gradientCount = 2;
    f.gradient[0] = {0, Rgba{0, 0, 0, 255}};
    f.gradient[1] = {255, Rgba{255, 255, 255, 255}};
  }
  MATRIX device;
  device.a = device.d = kFixedOne / 20;
  prepareFills(b, device, 1);
  FillStyle& l = b.fills()[linear];
  FillStyle& r = b.fills()[radial];
  ASSERT_EQ(l.span, SpanKind::Linear);
  ASSERT_EQ(r.span, SpanKind::Radial);
  l.ua = 2e14;
  l.uc = l.ut = 0;
  r.ua = 2e14;
  r.ub = -2e14;
  r.uc = r.ud = r.ut = r.vt = 0;
  const ExpandedPixel first = l.rampPtr->entry[0], last = l.rampPtr->entry[256];
  ExpandedPixel px[8];
  fetchSpan(l, 0, 0, 8, px);
  EXPECT_EQ(px[0], l.rampPtr->entry[128]);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(px[i], last) << i;
  fetchSpan(l, 1, 0, 8, px);  // the span starts past the range
  for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i], last) << i;
  l.ua = -2e14;
  fetchSpan(l, 1, 0, 8, px);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i], first) << i;
  fetchSpan(r, 0, 0, 8, px);
  EXPECT_EQ(px[0], first);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(px[i], last) << i;
  fetchSpan(r, 3, 0, 8, px);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i], last) << i;
}

}  // namespace
}  // namespace kivra
