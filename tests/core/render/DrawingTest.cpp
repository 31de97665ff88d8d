#include <gtest/gtest.h>

#include "core/render/Drawing.h"
#include "core/render/HitTest.h"
#include "tests/core/render/RenderTestSupport.h"

namespace kivra {
namespace {

using test::argbAt;
using test::view;

void renderDrawing(RenderTarget& t, const Drawing& d, MATRIX v) {
  Renderer r;
  FrameSetup s;
  s.factor = 4;
  s.view = v;
  s.dirty = ClipRect{0, 0, t.width(), t.height()};
  EXPECT_TRUE(r.beginFrame(t, s));
  ShapeDraw draw;
  draw.drawing = &d;
  EXPECT_TRUE(r.drawShape(draw));
  r.endFrame();
}

size_t countOps(const Drawing& d, DrawOp op) {
  size_t n = 0;
  for (const DrawCommand& c : d.commands()) n += c.op == op;
  return n;
}

// A fill closed by endFill and a stroke along it paint what the shape with
// the same edges and styles paints, pixel for pixel, under a turned view.
TEST(Drawing, ReplayPaintsWhatTheSameShapePaints) {
  const Rgba red{255, 0, 0, 255}, blue{0, 0, 255, 201};
  Drawing d;
  d.beginFill(false, 0xFF0000, 100);
  d.lineStyle(false, 60, 0x0000FF, 79);  // 79% of 255, truncated: 201
  d.moveTo(200, 200);
  d.lineTo(1800, 200);
  d.curveTo(1800, 1800, 200, 1800);
  d.endFill();

  kit::ShapeBuilder b;
  const uint32_t f = b.addFill(kit::FillStyle::solid(red));
  const uint32_t l = b.addLine(kit::LineStyle{60, blue});
  b.moveTo(200, 200).setFill0(f).setLine(l);
  b.lineTo(1800, 200).curveTo(1800, 1800, 200, 1800).lineTo(200, 200);
  test::DrawItem shape;
  shape.body = test::shapeBody(b);

  MATRIX v;
  v.a = 3000;
  v.b = 1200;
  v.c = -1200;
  v.d = 3000;
  v.tx = 20;
  RenderTarget fromDrawing, fromShape;
  ASSERT_TRUE(fromDrawing.create(100, 100, PixelFormat::Bgra32));
  ASSERT_TRUE(fromShape.create(100, 100, PixelFormat::Bgra32));
  renderDrawing(fromDrawing, d, v);
  test::renderItems(fromShape, 4, {shape}, v);
  int differing = 0, painted = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) {
      differing += argbAt(fromDrawing, x, y) != argbAt(fromShape, x, y);
      painted += argbAt(fromDrawing, x, y) != 0xFFFFFFFFu;
    }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(painted, 1000);
}

TEST(Drawing, CommandsBoundsAndClear) {
  Drawing d;
  EXPECT_FALSE(d.hasBounds());
  d.lineStyle(false, 100, 0, 100);
  d.moveTo(1000, 2000);  // a move alone does not grow the bounds
  EXPECT_FALSE(d.hasBounds());
  d.lineTo(3000, 500);
  EXPECT_EQ(d.bounds(), (RECT{900, 3100, 400, 2100}));
  d.lineStyle(false, 99999, 0, 100);  // widths stop at 255 pixels
  d.curveTo(-500, 0, 0, 0);
  EXPECT_EQ(d.bounds(), (RECT{-500 - 5100, 3000 + 5100, 0 - 5100, 500 + 5100}));
  d.lineStyle(true, 0, 0, 100);  // no line: no widening
  d.beginFill(false, 0x123456, 50);
  d.lineTo(9000, 0);
  EXPECT_EQ(d.bounds().xmax, 9000);
  d.endFill();
  // A separator goes before each fill, move and endFill, never before a line.
  EXPECT_EQ(countOps(d, DrawOp::Separator), 3u);
  EXPECT_EQ(d.commands().size(), 12u);
  EXPECT_EQ(d.commands()[1].op, DrawOp::Separator);
  EXPECT_EQ(d.commands()[2].op, DrawOp::MoveTo);
  EXPECT_EQ(d.commands().back().op, DrawOp::EndFill);

  d.clear();
  EXPECT_TRUE(d.empty());
  EXPECT_FALSE(d.hasBounds());
  EXPECT_EQ(d.penX(), 0);
  d.lineTo(200, 200);  // from (0, 0) with width 0
  EXPECT_EQ(d.bounds(), (RECT{0, 200, 0, 200}));
}

TEST(Drawing, ListStopsGrowingAtItsLimit) {
  Drawing d;
  for (size_t i = 0; i < Drawing::kMaxCommands + 10; ++i) d.lineTo(static_cast<int32_t>(i & 1023), 5);
  EXPECT_EQ(d.commands().size(), Drawing::kMaxCommands);
  d.moveTo(1, 1);
  EXPECT_EQ(d.commands().size(), Drawing::kMaxCommands);
}

// Fills are closed before a new fill, a move and at the end; a fill call
// without colour fills nothing; as a mask every fill is the mask fill and
// lines are dropped.
TEST(Drawing, FillsCloseAndMasksKeepOutlines) {
  Drawing d;
  d.lineStyle(false, 20, 0, 100);
  d.beginFill(false, 0xFF0000, 100);
  d.lineTo(1000, 0);
  d.lineTo(1000, 1000);  // closed back to (0, 0) by the next fill
  d.beginFill(true, 0, 100);
  d.moveTo(2000, 0);
  d.lineTo(3000, 0);
  d.lineTo(3000, 1000);  // no fill: nothing to close
  d.beginFill(false, 0x00FF00, 100);
  d.moveTo(4000, 0);
  d.lineTo(5000, 0);
  d.lineTo(5000, 1000);  // closed at the end of the list

  DrawingInstance in;
  in.matrix = view(kFixedOne / 5);  // twips to sub-pixels at factor 4
  DrawingReplay replay;
  ShapeBuild build;
  ASSERT_TRUE(replay.build(d, in, build));
  auto hit = [&](int x, int y) { return hitTestShape(build, x * 4, y * 4); };
  EXPECT_TRUE(hit(40, 10));   // inside the first triangle
  EXPECT_FALSE(hit(10, 40));  // beside it
  EXPECT_FALSE(hit(140, 10)); // the unfilled one
  EXPECT_TRUE(hit(240, 10));
  EXPECT_FALSE(hit(210, 40));
  EXPECT_EQ(build.fills().size(), 3u);  // the line, red and green
  EXPECT_TRUE(hitTestShape(build, 500, 1));  // on the unfilled path's line

  in.mask = true;
  ASSERT_TRUE(replay.build(d, in, build));
  EXPECT_EQ(build.fills().size(), 1u);
  EXPECT_EQ(build.fills()[0].kind, FillKind::Mask);
  EXPECT_TRUE(hitTestShape(build, 160, 40));
  EXPECT_FALSE(hitTestShape(build, 500, 1));  // masks have no lines
}

}  // namespace
}  // namespace kivra
