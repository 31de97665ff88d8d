// Thick strokes as one outline: every pixel near the path is covered, none
// far from it is touched (an outline that does not close, or a join or cap
// wound the wrong way, shows as a hole or as paint running along a row), and
// a translucent stroke paints each pixel once.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/core/render/RenderTestSupport.h"

namespace kivra {
namespace {

using test::argbAt;
using test::DrawItem;
using test::renderItems;
using test::shapeBody;
using test::view;

constexpr int kSize = 160;

struct PathPoint {
  double x, y;
};

// A stroked path in pixels: straight segments at any angle (sharp turns and
// reversals included), short ones, and curves, open or closed.
struct TestPath {
  PathPoint start;
  struct Segment {
    bool curve;
    PathPoint control, end;
  };
  std::vector<Segment> segments;
  double width;  // pixels

  // Points along the path, close enough for distances to within 0.1 pixel.
  std::vector<PathPoint> samples() const {
    std::vector<PathPoint> out{start};
    PathPoint p = start;
    for (const Segment& s : segments) {
      for (int i = 1; i <= 200; ++i) {
        const double t = i / 200.0, u = 1 - t;
        if (s.curve)
          out.push_back({u * u * p.x + 2 * u * t * s.control.x + t * t * s.end.x,
                         u * u * p.y + 2 * u * t * s.control.y + t * t * s.end.y});
        else
          out.push_back({u * p.x + t * s.end.x, u * p.y + t * s.end.y});
      }
      p = s.end;
    }
    return out;
  }
};

TestPath randomPath(std::mt19937& rng) {
  auto real = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  TestPath path;
  path.width = real(2, 24);
  const double margin = path.width / 2 + 8;
  auto point = [&] { return PathPoint{real(margin, kSize - margin), real(margin, kSize - margin)}; };
  path.start = point();
  PathPoint p = path.start;
  const int count = std::uniform_int_distribution<int>(1, 6)(rng);
  const bool near = real(0, 1) < 0.3;  // segments about as long as the width
  const bool closed = count >= 3 && real(0, 1) < 0.4;
  for (int i = 0; i < count; ++i) {
    PathPoint end = closed && i == count - 1 ? path.start : point();
    if (near && !(closed && i == count - 1))
      end = {std::clamp(p.x + real(-path.width, path.width), margin, kSize - margin),
             std::clamp(p.y + real(-path.width, path.width), margin, kSize - margin)};
    const double dx = end.x - p.x, dy = end.y - p.y, length = std::hypot(dx, dy);
    TestPath::Segment s{false, {}, end};
    // Curves of every bend, tight ones (radius of curvature below half the
    // width) included.
    if (length > 0.5 && real(0, 1) < 0.5) {
      const double bend = real(-0.8, 0.8);
      s.curve = true;
      s.control = {(p.x + end.x) / 2 - dy * bend, (p.y + end.y) / 2 + dx * bend};
    }
    path.segments.push_back(s);
    p = end;
  }
  return path;
}

int32_t twips(double pixels) { return static_cast<int32_t>(std::lround(pixels * 20)); }

DrawItem strokeItem(const TestPath& path, Rgba colour) {
  kit::ShapeBuilder b;
  const uint32_t line = b.addLine(kit::LineStyle{static_cast<uint16_t>(twips(path.width)), colour});
  b.moveTo(twips(path.start.x), twips(path.start.y)).setLine(line);
  for (const TestPath::Segment& s : path.segments) {
    if (s.curve) b.curveTo(twips(s.control.x), twips(s.control.y), twips(s.end.x), twips(s.end.y));
    else b.lineTo(twips(s.end.x), twips(s.end.y));
  }
  DrawItem it;
  it.body = shapeBody(b);
  return it;
}

// Each pixel centre's distance to the path, up to `reach` (further is
// left at `reach`).
std::vector<double> distances(const std::vector<PathPoint>& samples, double reach) {
  std::vector<double> d(kSize * kSize, reach);
  const int r = static_cast<int>(std::ceil(reach));
  for (const PathPoint& p : samples) {
    const int px = static_cast<int>(p.x), py = static_cast<int>(p.y);
    for (int y = std::max(0, py - r); y <= std::min(kSize - 1, py + r); ++y)
      for (int x = std::max(0, px - r); x <= std::min(kSize - 1, px + r); ++x)
        d[y * kSize + x] = std::min(d[y * kSize + x], std::hypot(p.x - (x + 0.5), p.y - (y + 0.5)));
  }
  return d;
}

TEST(Stroker, ThickOutlinesCoverThePathAndNothingElse) {
  std::mt19937 rng(77);
  for (int c = 0; c < 80; ++c) {
    SCOPED_TRACE(c);
    const TestPath path = randomPath(rng);
    const std::vector<double> distance = distances(path.samples(), path.width / 2 + 2);

    for (const bool translucent : {false, true}) {
      RenderTarget t;
      EXPECT_TRUE(t.create(kSize, kSize, PixelFormat::Bgra32));
      renderItems(t, 4, {strokeItem(path, Rgba{0, 0, 0, uint8_t(translucent ? 128 : 255)})},
                  view(kFixedOne / 20));
      const uint32_t inside = translucent ? 0xFF7F7F7Fu : 0xFF000000u;
      int wrong = 0;
      for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
          const double d = distance[y * kSize + x];
          const uint32_t px = argbAt(t, x, y);
          // One pixel of slack each way for the anti-aliased rim.
          if ((d < path.width / 2 - 1.2 && px != inside) || (d > path.width / 2 + 1.2 && px != 0xFFFFFFFFu))
            ++wrong;
        }
      }
      EXPECT_EQ(wrong, 0) << "width " << path.width << (translucent ? ", translucent" : "");
    }
  }
}

// The joints' arcs: a square path's corners are quarter circles round each
// corner point, in or out, and a closed path has no caps to stick out.
TEST(Stroker, ClosedSquareHasRoundCornersAndNoCaps) {
  kit::ShapeBuilder b;
  const uint32_t line = b.addLine(kit::LineStyle{400, Rgba{0, 0, 0, 255}});  // 20 px
  b.moveTo(twips(40), twips(40)).setLine(line).lineTo(twips(120), twips(40)).lineTo(twips(120), twips(120));
  b.lineTo(twips(40), twips(120)).lineTo(twips(40), twips(40));
  DrawItem it;
  it.body = shapeBody(b);
  RenderTarget t;
  EXPECT_TRUE(t.create(kSize, kSize, PixelFormat::Bgra32));
  renderItems(t, 4, {it}, view(kFixedOne / 20));
  // Outside each corner the rim is a circle of radius 10 round the corner.
  const int corners[4][2] = {{40, 40}, {120, 40}, {120, 120}, {40, 120}};
  for (const auto& k : corners) {
    const int sx = k[0] < 80 ? -1 : 1, sy = k[1] < 80 ? -1 : 1;
    // 6 px out along both axes is 8.5 px from the corner: inside the arc.
    EXPECT_EQ(argbAt(t, k[0] + sx * 6 - (sx < 0), k[1] + sy * 6 - (sy < 0)), 0xFF000000u);
    // 8 px out along both axes is 11.3 px away: outside (a square join
    // or a cap would cover it).
    EXPECT_EQ(argbAt(t, k[0] + sx * 8 - (sx < 0), k[1] + sy * 8 - (sy < 0)), 0xFFFFFFFFu);
  }
  // The inside of the square is untouched, the middle of each side covered.
  EXPECT_EQ(argbAt(t, 80, 80), 0xFFFFFFFFu);
  EXPECT_EQ(argbAt(t, 80, 40), 0xFF000000u);
  EXPECT_EQ(argbAt(t, 120, 80), 0xFF000000u);
}

// Curves that double back on their own line (the control point in line with
// the ends, beyond them): the turn at the reversal is all in one piece.
TEST(Stroker, CurvesThatDoubleBackAreCovered) {
  const double cases[][6] = {{30, 80, 130, 80, 60, 80},   // out to the right, back past the start half way
                             {30, 80, 130, 80, 30, 80},   // back to the start
                             {40, 40, 120, 120, 70, 70},  // diagonal
                             {80, 30, 80, 130, 80, 100},
                             {30, 80, 130, 80.4, 60, 80}};  // and nearly so
  for (const auto& k : cases) {
    SCOPED_TRACE(k[2]);
    TestPath path;
    path.width = 12;
    path.start = {k[0], k[1]};
    path.segments.push_back({true, {k[2], k[3]}, {k[4], k[5]}});
    RenderTarget t;
    EXPECT_TRUE(t.create(kSize, kSize, PixelFormat::Bgra32));
    renderItems(t, 4, {strokeItem(path, Rgba{0, 0, 0, 255})}, view(kFixedOne / 20));
    const std::vector<double> distance = distances(path.samples(), path.width / 2 + 2);
    int wrong = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        const double d = distance[y * kSize + x];
        const uint32_t px = argbAt(t, x, y);
        if ((d < path.width / 2 - 1.2 && px != 0xFF000000u) || (d > path.width / 2 + 1.2 && px != 0xFFFFFFFFu))
          ++wrong;
      }
    EXPECT_EQ(wrong, 0);
  }
}

// A small circle under a stroke wider than it: the inner side of every
// piece would fold over, and the whole disc is covered all the same.
TEST(Stroker, TightCirclesAreCoveredRightAcross) {
  for (const double radius : {2.0, 5.0, 8.0}) {
    SCOPED_TRACE(radius);
    kit::ShapeBuilder b;
    const uint32_t line = b.addLine(kit::LineStyle{400, Rgba{0, 0, 0, 255}});  // 20 px
    const double c = 80, r = radius;
    b.moveTo(twips(c + r), twips(c)).setLine(line);
    b.curveTo(twips(c + r), twips(c + r), twips(c), twips(c + r));
    b.curveTo(twips(c - r), twips(c + r), twips(c - r), twips(c));
    b.curveTo(twips(c - r), twips(c - r), twips(c), twips(c - r));
    b.curveTo(twips(c + r), twips(c - r), twips(c + r), twips(c));
    DrawItem it;
    it.body = shapeBody(b);
    RenderTarget t;
    EXPECT_TRUE(t.create(kSize, kSize, PixelFormat::Bgra32));
    renderItems(t, 4, {it}, view(kFixedOne / 20));
    int holes = 0, outside = 0;
    for (int y = 0; y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) {
        // The path lies between r and 1.07 r from the centre.
        const double d = std::hypot(x + 0.5 - c, y + 0.5 - c);
        if (d < r + 10 - 1.2 && argbAt(t, x, y) != 0xFF000000u) ++holes;
        if (d > 1.07 * r + 10 + 1.2 && argbAt(t, x, y) != 0xFFFFFFFFu) ++outside;
      }
    }
    EXPECT_EQ(holes, 0);
    EXPECT_EQ(outside, 0);
  }
}

}  // namespace
}  // namespace kivra
