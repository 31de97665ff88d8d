#include "core/render/DirtyArea.h"

#include <gtest/gtest.h>

namespace kivra {
namespace {

DirtyArea area(int aa = 1) {
  DirtyArea a;
  a.setView(DeviceRect{0, 0, 1000, 1000}, aa);
  return a;
}

TEST(DirtyArea, GrowsByTwiceTheAntiAliasingFactorAndClipsToTheView) {
  DirtyArea a = area(4);
  a.add(DeviceRect{100, 100, 200, 200});
  ASSERT_EQ(a.count(), 1);
  EXPECT_EQ(a.rect(0), (DeviceRect{92, 92, 208, 208}));
  a.clear();
  a.add(DeviceRect{-50, 990, 20, 1200});
  EXPECT_EQ(a.rect(0), (DeviceRect{0, 982, 28, 1000}));
}

TEST(DirtyArea, RectanglesOutsideTheViewAreDropped) {
  DirtyArea a = area();
  a.add(DeviceRect{2000, 2000, 2100, 2100});
  a.add(DeviceRect{10, 10, 10, 50});  // empty
  EXPECT_TRUE(a.empty());
}

TEST(DirtyArea, OverlappingRectanglesMerge) {
  DirtyArea a = area();
  a.add(DeviceRect{100, 100, 300, 300});
  a.add(DeviceRect{150, 150, 350, 350});
  ASSERT_EQ(a.count(), 1);
  EXPECT_EQ(a.rect(0), (DeviceRect{98, 98, 352, 352}));
}

TEST(DirtyArea, ThreeApartStayApartAndAFourthMergesTheCheapestPair) {
  DirtyArea a = area();
  a.add(DeviceRect{10, 10, 20, 20});
  a.add(DeviceRect{500, 500, 510, 510});
  a.add(DeviceRect{900, 10, 910, 20});
  EXPECT_EQ(a.count(), 3);
  a.add(DeviceRect{40, 10, 50, 20});  // next to the first
  ASSERT_EQ(a.count(), 3);
  bool merged = false;
  for (int i = 0; i < a.count(); ++i) merged |= a.rect(i) == DeviceRect{8, 8, 52, 22};
  EXPECT_TRUE(merged);
  EXPECT_EQ(a.bounds(), (DeviceRect{8, 8, 912, 512}));
}

TEST(DirtyArea, AddAllCoversTheView) {
  DirtyArea a = area(2);
  a.add(DeviceRect{10, 10, 20, 20});
  a.addAll();
  ASSERT_EQ(a.count(), 1);
  EXPECT_EQ(a.rect(0), (DeviceRect{0, 0, 1000, 1000}));
}

}  // namespace
}  // namespace kivra
