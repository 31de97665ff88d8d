// Partial repaints: after each frame only the display's dirty rectangles
// are redrawn, and the result must equal a full redraw of the same frame.
#include <gtest/gtest.h>

#include <vector>

#include "tests/core/movie/TestPlayer.h"

namespace kivra {
namespace {

using test::TestPlayer;

std::vector<uint32_t> pixels(const RenderTarget& t) {
  std::vector<uint32_t> out;
  for (int y = 0; y < t.height(); ++y) out.insert(out.end(), t.row(y), t.row(y) + t.width());
  return out;
}

// A gradient backdrop, a translucent bar, a masked pair and a rotated
// square that moves over all of them, frame by frame.
const char* kMovie = R"(movie size=550x400
background #204060
shape 1 {
  fill linear 0:#ff0000 255:#0000ff scale=0.3,0.3 at=4000,4000
  style moveto=0,0 fill1=1
  lineto 11000,0
  lineto 11000,8000
  lineto 0,8000
  lineto 0,0
}
shape3 2 {
  fill solid #ffffff80
  style moveto=0,0 fill1=1
  lineto 9000,0
  lineto 9000,700
  lineto 0,700
  lineto 0,0
}
shape 3 {
  fill solid #30c030
  style moveto=-300,-300 fill1=1
  curveto 300,-300,300,0
  curveto 300,300,0,300
  lineto -300,300
  lineto -300,-300
}
place2 1 id=1
place2 2 id=2 at=1000,3000
place2 3 id=3 at=5000,6000 clipdepth=4
place2 4 id=3 at=5200,6100 scale=2,2
place2 5 id=3 at=700,700 rotate=10
showframe
place2 5 move at=1333,1500 rotate=25
showframe
place2 5 move at=2100,3100 rotate=40
showframe
place2 5 move at=5101,6050 rotate=55
place2 4 move at=5400,6000 scale=2,2
showframe
place2 5 move at=9000,300 rotate=70
showframe
)";

class Repaint : public ::testing::TestWithParam<Quality> {};

TEST_P(Repaint, DirtyRectanglesMatchAFullRedraw) {
  TestPlayer p;
  p.setQuality(GetParam());
  p.load(test::compile(kMovie));
  p.render();
  const int w = p.render().width(), h = p.render().height();
  ASSERT_EQ(w, 550);
  ASSERT_EQ(h, 400);
  for (int frame = 1; frame < 5; ++frame) {
    // A mark far from anything that moves must survive the partial repaint.
    RenderTarget& target = const_cast<RenderTarget&>(p.render());
    const uint32_t kept = target.row(390)[540];
    target.row(390)[540] = 0xFF123456;
    p.steps(1);
    p.display().update();
    ASSERT_FALSE(p.display().dirtyArea().empty());
    const DeviceRect all = p.display().view().view;
    EXPECT_LT(p.display().dirtyArea().bounds().area(), all.area()) << "frame " << frame;
    p.render();
    EXPECT_EQ(p.render().row(390)[540], 0xFF123456u) << "frame " << frame << ": the whole stage was redrawn";
    target.row(390)[540] = kept;
    const std::vector<uint32_t> partial = pixels(p.render());
    p.redrawAll();
    const std::vector<uint32_t> full = pixels(p.render());
    ASSERT_EQ(partial.size(), full.size());
    size_t differ = 0, first = 0;
    for (size_t i = 0; i < full.size(); ++i)
      if (partial[i] != full[i] && differ++ == 0) first = i;
    EXPECT_EQ(differ, 0u) << "frame " << frame << ": first difference at " << first % w << "," << first / w;
  }
}

INSTANTIATE_TEST_SUITE_P(Qualities, Repaint, ::testing::Values(Quality::Low, Quality::Medium, Quality::High));

}  // namespace
}  // namespace kivra
