#include "core/render/ShapeParser.h"

#include <gtest/gtest.h>

#include <random>

#include "core/render/RenderMatrix.h"
#include "tests/core/render/RenderTestSupport.h"

namespace kivra {
namespace {

ShapeInstance instance(const std::vector<uint8_t>& body, uint16_t tag, Fixed16 scale = kFixedOne) {
  ShapeInstance in;
  in.tagCode = tag;
  in.body = body.data();
  in.length = body.size();
  in.matrix.a = in.matrix.d = scale;
  return in;
}

TEST(ShapeParser, ExtendedFillCountIn1Shape) {
  kit::ShapeBuilder b;
  for (int i = 0; i < 300; ++i) b.addFill(kit::FillStyle::solid(Rgba{uint8_t(i), 0, 0, 255}));
  b.rect(0, 0, 100, 100, 300);
  const auto body = test::shapeBody(b, 1);
  ASSERT_EQ(body[2 + 5], 255);  // after id and a 5-byte RECT: the escape
  ShapeParser p;
  ShapeBuild out;
  ASSERT_TRUE(p.build(instance(body, 2), out));
  ASSERT_EQ(out.fills().size(), 300u);
  for (uint32_t i = 0; i < 300; ++i) EXPECT_EQ(out.fills()[i].styleNumber, i + 1);
  ASSERT_FALSE(out.edges().empty());
  EXPECT_EQ(out.fills()[out.edges()[0].fill0].color, expand(Rgba{299 & 255, 0, 0, 255}));
}

TEST(ShapeParser, RgbShapesAreOpaqueRgbaShapesMayNotBe) {
  kit::ShapeBuilder b;
  b.addFill(kit::FillStyle::solid(Rgba{10, 20, 30, 100}));
  b.rect(0, 0, 10, 10, 1);
  ShapeParser p;
  ShapeBuild out;
  const auto v2 = test::shapeBody(b, 2);
  ASSERT_TRUE(p.build(instance(v2, 22), out));
  EXPECT_FALSE(out.fills()[0].transparent);
  const auto v3 = test::shapeBody(b, 3);
  ASSERT_TRUE(p.build(instance(v3, 32), out));
  EXPECT_TRUE(out.fills()[0].transparent);
  EXPECT_EQ(out.fills()[0].color, expand(premultiply(Rgba{10, 20, 30, 100})));
}

TEST(ShapeParser, ColourTransformIsBakedIn) {
  kit::ShapeBuilder b;
  b.addFill(kit::FillStyle::solid(Rgba{100, 100, 100, 255}));
  b.rect(0, 0, 10, 10, 1);
  const auto body = test::shapeBody(b);
  ShapeInstance in = instance(body, 32);
  CXFORM cx;
  cx.flags = CXFORM::kHasMultipliers;
  cx.rMul = 512;
  cx.aMul = 128;
  in.cxform = ColorTransform(cx);
  ShapeParser p;
  ShapeBuild out;
  ASSERT_TRUE(p.build(in, out));
  EXPECT_TRUE(out.fills()[0].transparent);
  EXPECT_EQ(out.fills()[0].color, expand(premultiply(Rgba{200, 100, 100, 127})));
}

TEST(ShapeParser, SameFillOnBothSidesChangesNothingInAShape) {
  kit::ShapeBuilder b;
  const uint32_t f = b.addFill(kit::FillStyle::solid(Rgba{0, 0, 0, 255}));
  b.moveTo(0, 0).setFill0(f).setFill1(f).lineTo(0, 100);
  test::DrawItem it;
  it.body = test::shapeBody(b);
  RenderTarget t;
  EXPECT_TRUE(t.create(4, 4, PixelFormat::Bgra32));
  test::renderItems(t, 4, {it}, test::view(kFixedOne));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(t.row(1)[x], 0xFFFFFFFFu);
}

TEST(ShapeParser, MissingBitmapPaintsOpaqueRed) {
  kit::ShapeBuilder b;
  b.addFill(kit::FillStyle::bitmap(77));
  b.rect(0, 0, 8, 8, 1);
  test::DrawItem it;
  it.body = test::shapeBody(b);
  RenderTarget t;
  EXPECT_TRUE(t.create(8, 8, PixelFormat::Bgra32));
  test::renderItems(t, 4, {it}, test::view(kFixedOne));
  EXPECT_EQ(t.row(4)[4], 0xFFFF0000u);
}

kit::MorphShape triangleMorph() {
  kit::MorphShape m;
  m.startBounds = RECT{0, 1000, 0, 1000};
  m.endBounds = RECT{0, 2000, 0, 2000};
  kit::MorphFillStyle f;
  f.startColor = Rgba{255, 0, 0, 255};
  f.endColor = Rgba{0, 0, 255, 255};
  m.fills.push_back(f);
  auto edges = [](int s) {
    std::vector<kit::ShapeRecord> r;
    kit::ShapeRecord st;
    st.moveTo = std::make_pair(0, 0);
    st.fill0 = 1;
    r.push_back(st);
    kit::ShapeRecord a;
    a.kind = kit::ShapeRecord::Kind::Straight;
    a.dx = s;
    r.push_back(a);
    kit::ShapeRecord c;
    c.kind = kit::ShapeRecord::Kind::Curve;
    c.dx = 0;
    c.dy = s / 2;
    c.ax = -s;
    c.ay = s / 2;
    r.push_back(c);
    kit::ShapeRecord back;
    back.kind = kit::ShapeRecord::Kind::Straight;
    back.dy = -s;
    r.push_back(back);
    return r;
  };
  m.startEdges = edges(1000);
  m.endEdges = edges(2000);
  return m;
}

std::vector<uint8_t> morphBody(const kit::MorphShape& m) {
  std::string e;
  return kit::defineMorphShapeBody(5, m, e);
}

TEST(ShapeParser, MorphRatioZeroIsTheStartShape) {
  const auto morph = morphBody(triangleMorph());
  kit::ShapeBuilder b;
  b.addFill(kit::FillStyle::solid(Rgba{255, 0, 0, 255}));
  b.moveTo(0, 0).setFill0(1).lineTo(1000, 0).curveTo(1000, 500, 0, 1000).lineTo(0, 0);
  const auto shape = test::shapeBody(b);
  ShapeParser p;
  ShapeBuild a, s;
  ShapeInstance mi = instance(morph, 46);
  ASSERT_TRUE(p.build(mi, a));
  ASSERT_TRUE(p.build(instance(shape, 32), s));
  ASSERT_EQ(a.edges().size(), s.edges().size());
  for (size_t i = 0; i < a.edges().size(); ++i) {
    EXPECT_EQ(a.edges()[i].x0, s.edges()[i].x0);
    EXPECT_EQ(a.edges()[i].y1, s.edges()[i].y1);
    EXPECT_EQ(a.edges()[i].cx, s.edges()[i].cx);
  }
  EXPECT_EQ(a.fills()[0].color, expand(Rgba{255, 0, 0, 255}));
}

TEST(ShapeParser, MorphRatioEndIsWithinOneStepOfTheEndShape) {
  const auto morph = morphBody(triangleMorph());
  ShapeParser p;
  ShapeBuild a;
  ShapeInstance mi = instance(morph, 46);
  mi.ratio = 65535;
  ASSERT_TRUE(p.build(mi, a));
  int16_t maxX = 0, maxY = 0;
  for (const EdgeRecord& e : a.edges()) {
    maxX = std::max({maxX, e.x0, e.x1});
    maxY = std::max(maxY, e.y1);
  }
  EXPECT_NEAR(maxX, 2000, 1);
  EXPECT_NEAR(maxY, 2000, 1);
  const ExpandedPixel c = a.fills()[0].color;
  EXPECT_LE((c >> 32) & 0xFF, 1u);
  EXPECT_GE(c & 0xFF, 254u);
  mi.ratio = 32768;
  ASSERT_TRUE(p.build(mi, a));
  EXPECT_EQ((a.fills()[0].color >> 32) & 0xFF, 128u);  // 255 + round(-127.5)
}

// Edge and style records of every field width (narrow ones are decoded
// from one word, wide ones and those near the body's end field by field)
// give the points that were written.
TEST(ShapeParser, RecordsOfEveryFieldWidthGiveTheirPoints) {
  struct Segment {
    int32_t x0, y0, cx, cy, x1, y1;
    bool straight;
  };
  kit::ShapeBuilder b;
  const uint32_t fa = b.addFill(kit::FillStyle::solid(Rgba{1, 2, 3, 255}));
  const uint32_t fb = b.addFill(kit::FillStyle::solid(Rgba{4, 5, 6, 255}));
  std::vector<Segment> expected;
  int32_t x = 0, y = 0;
  auto move = [&](int32_t nx, int32_t ny, uint32_t fill) {
    b.moveTo(nx, ny).setFill0(fill);
    x = nx;
    y = ny;
  };
  auto line = [&](int32_t nx, int32_t ny) {
    b.lineTo(nx, ny);
    if (ny != y) expected.push_back(Segment{x, y, 0, 0, nx, ny, true});
    x = nx;
    y = ny;
  };
  auto curve = [&](int32_t dx, int32_t h) {  // monotone in y, under 256 tall
    b.curveTo(x + dx, y + h / 2, x + dx / 4, y + h);
    expected.push_back(Segment{x, y, x + dx, y + h / 2, x + dx / 4, y + h, false});
    x += dx / 4;
    y += h;
  };
  move(-3, 5, fa);
  for (int32_t d : {1, 3, 17, 200, 1500, 9000, 20000}) {
    line(x + d, y + d / 2 + 1);  // both deltas
    line(x, y - d);              // vertical, upward
    line(x - d, y);              // horizontal
    curve(d, 100 + d % 150);
  }
  move(-31000, -29000, fb);
  line(-31000 + 7, -29000 + 20001);
  curve(12000, 255);
  move(2, 2, fa);  // near the end: read field by field
  curve(5, 9);
  line(2, 2);
  const auto body = test::shapeBody(b);
  ShapeParser p;
  ShapeBuild out;
  ASSERT_TRUE(p.build(instance(body, 32), out));
  ASSERT_EQ(out.edges().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Segment& s = expected[i];
    const EdgeRecord& e = out.edges()[i];
    const bool down = s.y1 > s.y0;
    EXPECT_EQ(e.x0, down ? s.x0 : s.x1) << i;
    EXPECT_EQ(e.y0, down ? s.y0 : s.y1) << i;
    EXPECT_EQ(e.x1, down ? s.x1 : s.x0) << i;
    EXPECT_EQ(e.y1, down ? s.y1 : s.y0) << i;
    EXPECT_EQ(e.direction, down ? 1 : -1) << i;
    if (!s.straight) {
      EXPECT_EQ(e.cx, s.cx) << i;
      EXPECT_EQ(e.cy, s.cy) << i;
    }
    EXPECT_EQ(e.fill0, i + 2 >= expected.size() ? 0u : (i + 4 >= expected.size() ? 1u : 0u)) << i;
  }
}

TEST(ShapeParser, TruncatedAndCorruptBodiesNeverReadPastTheEnd) {
  kit::ShapeBuilder b;
  b.addFill(kit::FillStyle::linear({{0, Rgba{0, 0, 0, 255}}, {255, Rgba{255, 255, 255, 255}}}));
  b.addLine(kit::LineStyle{40, Rgba{1, 2, 3, 255}});
  b.moveTo(0, 0).setFill0(1).setLine(1).lineTo(500, 0).curveTo(600, 300, 0, 500).lineTo(0, 0);
  const auto body = test::shapeBody(b);
  ShapeParser p;
  ShapeBuild out;
  ASSERT_TRUE(p.build(instance(body, 32, kFixedOne / 5), out));
  for (size_t len = 0; len < body.size(); ++len) {
    std::vector<uint8_t> cut(body.begin(), body.begin() + static_cast<long>(len));
    EXPECT_FALSE(p.build(instance(cut, 32), out)) << len;
  }
  std::mt19937 rng(7);
  for (int i = 0; i < 300; ++i) {
    std::vector<uint8_t> bad = body;
    for (int k = 0; k < 4; ++k) bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
    (void)p.build(instance(bad, i % 2 ? 32 : 46, static_cast<Fixed16>(rng())), out);
    RenderTarget t;
    EXPECT_TRUE(t.create(32, 32, PixelFormat::Bgra32));
    Rasterizer r;
    EXPECT_TRUE(r.beginFrame(t, 4, ClipRect{0, 0, 32, 32}));
    r.addObject(out, nullptr);
    r.paint();
  }
}

}  // namespace
}  // namespace kivra
