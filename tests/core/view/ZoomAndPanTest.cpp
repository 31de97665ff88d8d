#include "core/view/ZoomAndPan.h"

#include <gtest/gtest.h>

#include "core/CorePlayer.h"
#include "tests/support/MovieBytes.h"
#include "tests/support/StubPlayer.h"

namespace kivra {
namespace {

constexpr RECT kFrame{0, 11000, 0, 8000};  // 550 x 400 pixels

// The scale modes themselves are tested with the display's view transform;
// these cover what zooming adds on top of it.
ViewTransform viewFor(int width, int height, int quality) {
  ViewRequest request;
  request.client = DeviceRect{0, 0, width, height};
  request.frame = kFrame;
  request.quality = quality;
  return ViewTransform::compute(request);
}

TEST(View, ClientPointsMapBackToTwips) {
  const ViewTransform v = viewFor(550, 400, 2);
  int32_t tx, ty;
  clientToMovie(v, 275, 200, tx, ty);
  EXPECT_NEAR(tx, 5500, 20);
  EXPECT_NEAR(ty, 4000, 20);
  const RECT visible = visibleRectangle(v, 550, 400);
  EXPECT_NEAR(visible.xmin, 0, 20);
  EXPECT_NEAR(visible.xmax, 11000, 20);
  // A wider window: the frame sits in the middle, bars left and right.
  const ViewTransform wide = viewFor(1100, 400, 0);
  clientToMovie(wide, 275, 0, tx, ty);
  EXPECT_NEAR(tx, 0, 20);
  int32_t dx, dy;
  pixelsToTwips(wide, 10, -5, dx, dy);
  EXPECT_EQ(dx, 200);
  EXPECT_EQ(dy, -100);
}

TEST(View, ZoomInHalvesTheVisibleRectangleAboutThePoint) {
  RECT r;
  ASSERT_TRUE(zoomRectangle(kFrame, kFrame, kFixedOne / 2, 5500, 4000, 550, 400, r));
  EXPECT_EQ(r, (RECT{2750, 8250, 2000, 6000}));
  // About a corner: shifted back inside the frame.
  ASSERT_TRUE(zoomRectangle(kFrame, kFrame, kFixedOne / 2, 100, 100, 550, 400, r));
  EXPECT_EQ(r, (RECT{0, 5500, 0, 4000}));
}

TEST(View, ZoomStopsAtTheClientSizeInTwips) {
  // At most one twip per pixel: never smaller than 550 x 400 twips.
  RECT r;
  ASSERT_TRUE(zoomRectangle(RECT{5000, 5600, 3000, 3420}, kFrame, kFixedOne / 2, 5300, 3210, 550, 400, r));
  EXPECT_EQ(r.xmax - r.xmin, 550);
  EXPECT_EQ(r.ymax - r.ymin, 400);
}

TEST(View, ZoomOutToTheWholeFrameMeansShowAll) {
  RECT r{};
  EXPECT_FALSE(zoomRectangle(RECT{2750, 8250, 2000, 6000}, kFrame, kFixedOne * 2, 5500, 4000, 550, 400, r));
  EXPECT_FALSE(zoomRectangle(kFrame, kFrame, kFixedOne * 2, 5500, 4000, 550, 400, r));
  // Partly out: clipped, still a zoom.
  ASSERT_TRUE(zoomRectangle(RECT{0, 2000, 0, 2000}, kFrame, kFixedOne * 2, 1000, 1000, 550, 400, r));
  EXPECT_EQ(r, (RECT{0, 4000, 0, 4000}));
}

TEST(View, PanningKeepsTheRectangleInsideTheFrame) {
  const RECT zoom{2750, 8250, 2000, 6000};
  EXPECT_EQ(panRectangle(zoom, kFrame, 1000, -500), (RECT{3750, 9250, 1500, 5500}));
  EXPECT_EQ(panRectangle(zoom, kFrame, 99999, -99999), (RECT{5500, 11000, 0, 4000}));
}

// ---- The player's view commands --------------------------------------------------

class CountingHost : public NullHost {
 public:
  PixelRect clientRectangle() override { return PixelRect{0, 0, 550, 400}; }
  void invalidate() override { ++invalidations; }
  bool setCursor(CursorKind kind) override {
    cursor = kind;
    return true;
  }
  int invalidations = 0;
  CursorKind cursor = CursorKind::Arrow;
};

class ViewHost : public test::StubPlayerOf<CountingHost> {
 public:
  void load() {
    const test::Bytes bytes = test::movie(test::MovieSpec{}, {test::showFrame(), test::endTag()});
    openMovie("view.qvx");
    feedMovie(bytes.data(), bytes.size());
  }
};

TEST(PlayerView, ZoomNeedsAMovie) {
  ViewHost host;
  host.zoom(kFixedOne / 2);
  EXPECT_FALSE(host.zoomed());
}

TEST(PlayerView, ZoomInOutAndShowAll) {
  ViewHost host;
  host.load();
  host.zoom(kFixedOne / 2);
  ASSERT_TRUE(host.zoomed());
  EXPECT_NEAR(host.zoomRect().xmin, 2750, 20);
  EXPECT_NEAR(host.zoomRect().xmax, 8250, 20);
  host.zoom(kFixedOne / 2);
  EXPECT_NEAR(host.zoomRect().xmax - host.zoomRect().xmin, 2750, 40);
  host.zoom(kFixedOne * 2);
  host.zoom(kFixedOne * 2);
  EXPECT_FALSE(host.zoomed());  // back to the whole frame: show all
  host.zoomAt(kFixedOne / 2, 0, 0);
  ASSERT_TRUE(host.zoomed());
  EXPECT_EQ(host.zoomRect().xmin, 0);
  EXPECT_EQ(host.zoomRect().ymin, 0);
  host.showAll();
  EXPECT_FALSE(host.zoomed());
  EXPECT_GT(host.stub().invalidations, 0);
}

TEST(PlayerView, ActualSizeAndZoomFromNoScale) {
  ViewHost host;
  host.load();
  host.setScaleMode(ScaleMode::ShowAll, kAlignLeft);
  host.showActualSize();
  EXPECT_EQ(host.scaleMode(), ScaleMode::NoScale);
  EXPECT_EQ(host.alignment(), kAlignLeft);  // kept
  host.zoom(kFixedOne / 2);
  EXPECT_EQ(host.scaleMode(), ScaleMode::ShowAll);
  EXPECT_TRUE(host.zoomed());
  host.showActualSize();
  EXPECT_FALSE(host.zoomed());
  host.showAll();
  EXPECT_EQ(host.scaleMode(), ScaleMode::ShowAll);
}

TEST(PlayerView, DraggingAZoomedViewPansIt) {
  ViewHost host;
  host.load();
  host.mouseMove(100, 100);
  host.mouseDown();
  EXPECT_FALSE(host.panning());  // nothing to pan
  host.mouseUp();
  host.zoom(kFixedOne / 2);
  const RECT before = host.zoomRect();
  host.mouseDown();
  EXPECT_TRUE(host.panning());
  EXPECT_EQ(host.stub().cursor, CursorKind::Grab);
  host.mouseMove(90, 100);  // the picture moves left: later parts come in
  EXPECT_GT(host.zoomRect().xmin, before.xmin);
  host.mouseUp();
  EXPECT_FALSE(host.panning());
  // Over a zoomed view with no button under the pointer, the pan cursor stays.
  EXPECT_EQ(host.stub().cursor, CursorKind::Grab);
  host.showAll();
  host.mouseMove(60, 60);
  EXPECT_EQ(host.stub().cursor, CursorKind::Arrow);
  host.zoom(kFixedOne / 2);
  const RECT after = host.zoomRect();
  host.mouseMove(50, 50);
  EXPECT_EQ(host.zoomRect(), after);
}

}  // namespace
}  // namespace kivra
