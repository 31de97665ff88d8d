#include "core/render/ColorTransform.h"

#include <gtest/gtest.h>

namespace kivra {
namespace {

CXFORM withMul(int16_t mul, int16_t add) {
  CXFORM c;
  c.flags = CXFORM::kHasMultipliers | CXFORM::kHasAddends;
  c.rMul = c.gMul = c.bMul = c.aMul = mul;
  c.rAdd = c.gAdd = c.bAdd = c.aAdd = add;
  return c;
}

TEST(ColorTransform, MultiplierOneAndOffsetZeroKeepEveryChannel) {
  const ColorTransform t(withMul(256, 0));
  for (int v : {0, 1, 127, 128, 254, 255}) {
    const Rgba c{uint8_t(v), uint8_t(255 - v), uint8_t(v), uint8_t(v)};
    EXPECT_EQ(t.apply(c), c);
  }
  EXPECT_TRUE(t.isIdentity());
}

TEST(ColorTransform, ClampsAboveAndBelow) {
  EXPECT_EQ(ColorTransform(withMul(0, 300)).apply(Rgba{10, 20, 30, 40}), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(ColorTransform(withMul(-256, 0)).apply(Rgba{10, 20, 30, 40}), (Rgba{0, 0, 0, 0}));
}

TEST(ColorTransform, OffsetsOnlyAddAndClamp) {
  CXFORM c;
  c.flags = CXFORM::kHasAddends;
  c.rAdd = 100;
  c.gAdd = -100;
  EXPECT_EQ(ColorTransform(c).apply(Rgba{200, 50, 7, 255}), (Rgba{255, 0, 7, 255}));
}

TEST(ColorTransform, AlphaLoweringIsDetected) {
  EXPECT_FALSE(ColorTransform(withMul(256, 0)).canLowerAlpha());
  CXFORM c = withMul(256, 0);
  c.aMul = 255;
  EXPECT_TRUE(ColorTransform(c).canLowerAlpha());
  c.aMul = 256;
  c.aAdd = -1;
  EXPECT_TRUE(ColorTransform(c).canLowerAlpha());
}

TEST(ColorTransform, HalfAlphaRedPremultipliesTo128) {
  const Rgba p = premultiply(Rgba{255, 0, 0, 128});
  EXPECT_EQ(p.r, 128);  // 129 * 255 >> 8
  EXPECT_EQ(p.a, 128);
  EXPECT_EQ(premultiply(Rgba{200, 100, 50, 0}), (Rgba{0, 0, 0, 0}));
  EXPECT_EQ(premultiply(Rgba{200, 100, 50, 255}), (Rgba{200, 100, 50, 255}));
}

TEST(ColorTransform, LookupTablesClampEveryEntryToAByte) {
  // A multiplier of 2.0 takes 200 to 400, which must not wrap to 144.
  uint8_t r[256], g[256], b[256], a[256];
  ColorTransform(withMul(512, 0)).buildTables(r, g, b, a);
  EXPECT_EQ(r[100], 200);
  EXPECT_EQ(r[200], 255);
  EXPECT_EQ(a[255], 255);
  // A large positive offset and a negative one.
  ColorTransform(withMul(256, 2000)).buildTables(r, g, b, a);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(r[i], 255);
  ColorTransform(withMul(256, -300)).buildTables(r, g, b, a);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(g[i], 0);
  ColorTransform(withMul(-512, 100)).buildTables(r, g, b, a);
  EXPECT_EQ(b[0], 100);
  EXPECT_EQ(b[255], 0);
}

TEST(ColorTransform, ConcatenationAppliesInnerFirst) {
  CXFORM half;
  half.flags = CXFORM::kHasMultipliers;
  half.rMul = 128;
  CXFORM plus;
  plus.flags = CXFORM::kHasAddends;
  plus.rAdd = 50;
  const ColorTransform both = ColorTransform(plus).concat(ColorTransform(half));
  EXPECT_EQ(both.apply(Rgba{200, 0, 0, 255}).r, 150);  // 200/2 + 50
}

TEST(Compositing, OverFollowsTheRule) {
  const ExpandedPixel red = expand(premultiply(Rgba{255, 0, 0, 128}));
  const ExpandedPixel blue = expand(Rgba{0, 0, 255, 255});
  const ExpandedPixel out = compositeOver(red, blue);
  EXPECT_EQ((out >> 32) & 0xFFFF, 128u);        // R = 128 + 0
  EXPECT_EQ(out & 0xFFFF, (128u * 255) >> 8);   // B = 0 + (256 - 128) 255 >> 8
  EXPECT_EQ(expandedAlpha(out), 128u + ((128u * 255) >> 8));
}

}  // namespace
}  // namespace kivra
