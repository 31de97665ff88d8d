// The movie writer against byte layouts worked out by hand from the record
// tables, plus read-backs through the player's own TagCursor.
#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "core/format/TagCursor.h"
#include "tools/kit/RecordWriter.h"
#include "tools/kit/Tags.h"

using namespace kivra;
using namespace kivra::kit;
using Bytes = std::vector<uint8_t>;

namespace {
template <typename F>
Bytes written(F f) {
  ByteWriter w;
  f(w);
  EXPECT_EQ(w.error(), "");
  return w.take();
}
}  // namespace

TEST(BitCounts, MinimalWidths) {
  EXPECT_EQ(unsignedBits(0), 0u);
  EXPECT_EQ(unsignedBits(1), 1u);
  EXPECT_EQ(unsignedBits(255), 8u);
  EXPECT_EQ(signedBits(0), 0u);
  EXPECT_EQ(signedBits(-1), 1u);
  EXPECT_EQ(signedBits(1), 2u);
  EXPECT_EQ(signedBits(-64), 7u);
  EXPECT_EQ(signedBits(64), 8u);
  EXPECT_EQ(signedBits(INT32_MIN), 32u);
}

TEST(BitWriter, PacksMostSignificantFirstAndPadsWithZeros) {
  Bytes b = written([](ByteWriter& w) {
    w.ub(3, 5);   // 101
    w.sb(4, -3);  // 1101
    w.bit(true);  // 1 -> 1011 1011
    w.ub(2, 1);   // 01 then padding
    w.u8(0xAA);
  });
  EXPECT_EQ(b, (Bytes{0xBB, 0x40, 0xAA}));
}

TEST(BitWriter, ValueTooWideIsAnError) {
  ByteWriter w;
  w.sb(4, 8);
  EXPECT_NE(w.error(), "");
  ByteWriter w2;
  w2.ub(3, 8);
  EXPECT_NE(w2.error(), "");
}

TEST(RecordWriter, RectWithNegativeValues) {
  // nbits 7; -20, 20, -40, 40 as 7-bit two's complement.
  EXPECT_EQ(written([](ByteWriter& w) { writeRect(w, RECT{-20, 20, -40, 40}); }),
            (Bytes{0x3E, 0xC2, 0x96, 0x14, 0x00}));
}

TEST(RecordWriter, RectOfA550By400Stage) {
  EXPECT_EQ(written([](ByteWriter& w) { writeRect(w, RECT{0, 11000, 0, 8000}); }),
            (Bytes{0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}));
}

TEST(RecordWriter, AllZeroRectUsesZeroBits) {
  EXPECT_EQ(written([](ByteWriter& w) { writeRect(w, RECT{}); }), (Bytes{0x00}));
}

TEST(RecordWriter, IdentityMatrixIsOneByte) {
  EXPECT_EQ(written([](ByteWriter& w) { writeMatrix(w, MATRIX{}); }), (Bytes{0x00}));
}

TEST(RecordWriter, TranslationOnlyMatrix) {
  // 0 0 | 00110 | 010100 | 101100
  EXPECT_EQ(written([](ByteWriter& w) { writeMatrix(w, translate(20, -20)); }), (Bytes{0x0C, 0xA5, 0x80}));
}

TEST(RecordWriter, MatrixWithScaleAndRotation) {
  MATRIX m;
  m.a = 0x20000;  // 2.0 needs 19 signed bits
  m.d = 0x8000;
  m.b = 0x8000;
  m.c = -0x8000;  // 17 bits for the rotate pair
  EXPECT_EQ(written([&](ByteWriter& w) { writeMatrix(w, m); }),
            (Bytes{0xCD, 0x00, 0x00, 0x08, 0x00, 0x0C, 0x50, 0x00, 0x18, 0x00, 0x00, 0x00}));
}

TEST(RecordWriter, CxformWithoutAlpha) {
  CXFORM c;
  c.flags = CXFORM::kHasMultipliers | CXFORM::kHasAddends;
  c.rMul = 128;
  c.gMul = 256;
  c.bMul = 0;
  c.rAdd = -10;
  c.bAdd = 20;
  c.aMul = 64;  // not written without alpha
  EXPECT_EQ(written([&](ByteWriter& w) { writeCxform(w, c, false); }),
            (Bytes{0xE8, 0x80, 0x40, 0x00, 0x0F, 0xD8, 0x00, 0x05, 0x00}));
}

TEST(RecordWriter, CxformWithAlpha) {
  CXFORM c;
  c.flags = CXFORM::kHasMultipliers | CXFORM::kHasAddends;
  c.rMul = 128;
  c.gMul = 256;
  c.bMul = 0;
  c.aMul = 64;
  c.rAdd = -10;
  c.bAdd = 20;
  c.aAdd = -255;
  EXPECT_EQ(written([&](ByteWriter& w) { writeCxform(w, c, true); }),
            (Bytes{0xE8, 0x80, 0x40, 0x00, 0x01, 0x03, 0xF6, 0x00, 0x01, 0x4C, 0x04}));
}

TEST(RecordWriter, RecordsReadBackThroughTheTagCursor) {
  MATRIX m = rotateScaleTranslate(30, 1.5, 0.75, -1234, 5678);
  CXFORM c;
  c.flags = CXFORM::kHasAddends;
  c.rAdd = -255;
  c.gAdd = 255;
  c.aAdd = 17;
  Bytes b = written([&](ByteWriter& w) {
    writeRect(w, RECT{-32000, 32000, -1, 0});
    writeMatrix(w, m);
    writeCxform(w, c, true);
    writeRgba(w, Rgba{1, 2, 3, 4});
  });
  TagCursor cur(b.data(), static_cast<int64_t>(b.size()));
  EXPECT_EQ(cur.readRect(), (RECT{-32000, 32000, -1, 0}));
  EXPECT_EQ(cur.readMatrix(), m);
  CXFORM back = cur.readCxform(true);
  EXPECT_EQ(back, c);
  EXPECT_EQ(cur.readRgba(), (Rgba{1, 2, 3, 4}));
  EXPECT_FALSE(cur.overrun());
  EXPECT_EQ(cur.remaining(), 0);
}

TEST(TagStream, ShortAndLongHeaders) {
  TagStream t;
  t.showFrame();
  t.tag(TagCode::ShowFrame, {}, true);
  t.setBackgroundColor(rgb(255, 0, 0));
  t.tag(TagCode::DoAction, Bytes(63, 0));
  Bytes expect{0x40, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x43, 0x02, 0xFF, 0x00, 0x00, 0x3F, 0x03, 63, 0, 0, 0};
  expect.resize(expect.size() + 63, 0);
  EXPECT_EQ(t.bytes(), expect);
  EXPECT_EQ(t.frames(), 2);
}

TEST(TagStream, RawTagWithCodeAbove63) {
  TagStream t;
  t.tag(uint16_t{777}, Bytes{1, 2});
  EXPECT_EQ(t.bytes(), (Bytes{0x42, 0xC2, 1, 2}));  // 777 << 6 | 2 = 0xC242
}

TEST(Movie, UncompressedHeaderCarriesVersionAndLength) {
  MovieHeader h;
  h.frame = RECT{};
  h.version = 6;
  TagStream t;
  t.showFrame();
  Bytes out;
  std::string error;
  ASSERT_TRUE(writeMovie(h, t, out, error)) << error;
  EXPECT_EQ(out, (Bytes{'X', 'V', 'Q', 6, 17, 0, 0, 0, 0x00, 0x00, 0x0C, 0x01, 0x00, 0x40, 0x00, 0x00, 0x00}));
}

TEST(Movie, CompressedBodyInflatesToTheSameBytes) {
  MovieHeader h;
  h.version = 5;
  TagStream t;
  t.setBackgroundColor(rgb(1, 2, 3));
  t.showFrame();
  t.showFrame();
  Bytes plain, packed;
  std::string error;
  ASSERT_TRUE(writeMovie(h, t, plain, error));
  h.compressed = true;
  ASSERT_TRUE(writeMovie(h, t, packed, error));
  ASSERT_GT(packed.size(), 8u);
  EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 3), (Bytes{'Z', 'V', 'Q'}));
  EXPECT_EQ(Bytes(packed.begin() + 3, packed.begin() + 8), Bytes(plain.begin() + 3, plain.begin() + 8));
  Bytes body(plain.size() - 8);
  uLongf size = body.size();
  ASSERT_EQ(uncompress(body.data(), &size, packed.data() + 8, packed.size() - 8), Z_OK);
  EXPECT_EQ(size, body.size());
  EXPECT_EQ(body, Bytes(plain.begin() + 8, plain.end()));
  // Frame count comes from the ShowFrame tags.
  EXPECT_EQ(plain[8 + 9 + 2], 2);
}

TEST(Shape, SolidFillWithStraightAndCurvedEdges) {
  ShapeBuilder b;
  uint32_t red = b.addFill(FillStyle::solid(rgb(255, 0, 0)));
  b.moveTo(0, 0).setFill1(red);
  b.lineTo(20, 0).lineTo(20, 20).curveTo(10, 30, 0, 20).lineTo(0, 0);
  EXPECT_EQ(b.bounds(), (RECT{0, 20, 0, 30}));
  Bytes out = written([&](ByteWriter& w) { writeShape(w, b.shape(), false); });
  Bytes expect{0x01, 0x00, 0xFF, 0x00, 0x00,  // one solid fill, RGB
               0x00,                          // no line styles
               0x10, 0x14, 0x1D, 0x05, 0x34, 0x54, 0x8E, 0xCA, 0xB5, 0xB4, 0x6C, 0x00};
  EXPECT_EQ(out, expect);
}

TEST(Shape, GradientBitmapAndLineStylesInRgba) {
  Shape s;
  s.styles.fills.push_back(FillStyle::linear({{0, Rgba{1, 2, 3, 4}}, {255, Rgba{5, 6, 7, 8}}}));
  s.styles.fills.push_back(FillStyle::bitmap(9, translate(20, -20), true, false));
  s.styles.lines.push_back(LineStyle{40, Rgba{9, 8, 7, 6}});
  Bytes out = written([&](ByteWriter& w) { writeShape(w, s, true); });
  Bytes expect{0x02,
               0x10, 0x00, 0x02, 0x00, 1, 2, 3, 4, 0xFF, 5, 6, 7, 8,  // linear, identity matrix, 2 stops
               0x43, 0x09, 0x00, 0x0C, 0xA5, 0x80,                    // clipped, no smoothing, bitmap 9
               0x01, 0x28, 0x00, 9, 8, 7, 6,                           // one line 40 twips wide
               0x21, 0x00};                                            // 2 fill bits, 1 line bit; end
  EXPECT_EQ(out, expect);
}

TEST(Shape, ExtendedStyleCountUsesTheEscape) {
  Shape s;
  s.styles.fills.assign(300, FillStyle::solid(rgb(0, 0, 0)));
  Bytes out = written([&](ByteWriter& w) { writeShape(w, s, false); });
  ASSERT_GT(out.size(), 3u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 3), (Bytes{0xFF, 0x2C, 0x01}));
  // 300 fills need 9 index bits.
  EXPECT_EQ(out[3 + 300 * 4 + 1], 0x90);
}

TEST(Shape, NewStylesRecordRestartsTheIndexWidths) {
  ShapeBuilder b;
  b.addFill(FillStyle::solid(rgb(1, 1, 1)));
  b.moveTo(0, 0).setFill0(1).lineTo(0, 20);
  b.newStyles();
  b.addLine(LineStyle{20, rgb(2, 2, 2)});
  b.setLine(1).lineTo(20, 20);
  Bytes out = written([&](ByteWriter& w) { writeShape(w, b.shape(), false); });
  Bytes expect{0x01, 0x00, 0x01, 0x01, 0x01, 0x00,  // one fill, no lines
               0x10,                                // 1 fill bit, 0 line bits
               // style(moveTo n=0, fill0=1): 0 00011 00000 1; vertical 20: 11 0100 0 1 010100;
               // new styles: 0 10000, then the arrays from the next byte
               0x0C, 0x1D, 0x15, 0x10,
               0x00, 0x01, 0x14, 0x00, 0x02, 0x02, 0x02,  // no fills, one line
               0x01,                                      // 0 fill bits, 1 line bit
               // style(line=1): 0 01000 1; horizontal 20: 11 0100 0 0 010100; end 000000
               0x23, 0xA0, 0xA0, 0x00};
  EXPECT_EQ(out, expect);
}

TEST(Shape, OversizedEdgeIsAnError) {
  Shape s;
  ShapeRecord r;
  r.kind = ShapeRecord::Kind::Straight;
  r.dx = 70000;
  r.dy = 5;
  s.records.push_back(r);
  ByteWriter w;
  writeShape(w, s, false);
  EXPECT_NE(w.error(), "");
}

TEST(MorphShape, EndEdgeOffsetPointsAtTheEndEdges) {
  MorphShape m;
  m.startBounds = RECT{0, 20, 0, 20};
  m.endBounds = RECT{0, 40, 0, 40};
  MorphFillStyle f;
  f.startColor = Rgba{255, 0, 0, 255};
  f.endColor = Rgba{0, 0, 255, 128};
  m.fills.push_back(f);
  ShapeRecord style;
  style.moveTo = std::make_pair(0, 0);
  style.fill0 = 1;
  ShapeRecord edge;
  edge.kind = ShapeRecord::Kind::Straight;
  edge.dx = 20;
  m.startEdges = {style, edge};
  edge.dx = 40;
  m.endEdges = {edge};
  std::string error;
  Bytes body = defineMorphShapeBody(4, m, error);
  ASSERT_EQ(error, "");
  TagCursor cur(body.data(), static_cast<int64_t>(body.size()));
  EXPECT_EQ(cur.readU16(), 4);
  EXPECT_EQ(cur.readRect(), m.startBounds);
  EXPECT_EQ(cur.readRect(), m.endBounds);
  const uint32_t offset = cur.readU32();
  const int64_t endEdges = cur.position() + offset;
  EXPECT_EQ(cur.readU8(), 1);  // one fill
  EXPECT_EQ(cur.readU8(), 0);  // solid
  EXPECT_EQ(cur.readRgba(), f.startColor);
  EXPECT_EQ(cur.readRgba(), f.endColor);
  EXPECT_EQ(cur.readU8(), 0);  // no lines
  cur.setPosition(endEdges);
  EXPECT_EQ(cur.readUB(4), 1u);  // end edges use the same index widths
  EXPECT_EQ(cur.readUB(4), 0u);
  EXPECT_EQ(cur.readUB(2), 3u);  // a straight edge
  EXPECT_EQ(cur.readUB(4), 5u);  // 40 needs 7 bits
}

TEST(PlaceObject, OptionalCxformWithoutAlpha) {
  CXFORM c;
  c.flags = CXFORM::kHasAddends;
  c.rAdd = 1;
  TagStream t;
  t.placeObject(2, 3, translate(20, -20), &c);
  // 4 << 6 | length 9; the CXFORM is 1 0 0010 01 00 00: add only, 2 bits.
  EXPECT_EQ(t.bytes(), (Bytes{0x09, 0x01, 2, 0, 3, 0, 0x0C, 0xA5, 0x80, 0x89, 0x00}));
}

TEST(PlaceObject2, EveryFlagWithClipActionsInVersion6) {
  PlaceObject2 p;
  p.move = true;
  p.depth = 1;
  p.characterId = 2;
  p.matrix = MATRIX{};
  p.cxform = CXFORM{};
  p.ratio = 5;
  p.name = "n";
  p.clipDepth = 3;
  p.hasClipActions = true;
  p.clipActions.push_back({kEventLoad, 0, {0x06, 0x00}});
  p.clipActions.push_back({kEventKeyPress, 13, {0x00}});
  std::string error;
  Bytes body = placeObject2Body(p, 6, error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(body, (Bytes{0xFF, 1, 0, 2, 0, 0x00, 0x00, 5, 0, 'n', 0, 3, 0,
                         0, 0, 0x01, 0x00, 0x02, 0x00,           // reserved, all events
                         0x01, 0, 0, 0, 2, 0, 0, 0, 0x06, 0x00,  // load
                         0x00, 0, 2, 0, 2, 0, 0, 0, 13, 0x00,    // keyPress 13
                         0, 0, 0, 0}));
}

TEST(PlaceObject2, Version5UsesSixteenBitEventFields) {
  PlaceObject2 p;
  p.depth = 7;
  p.hasClipActions = true;
  p.clipActions.push_back({kEventEnterFrame | kEventUnload, 0, {0x00}});
  std::string error;
  EXPECT_EQ(placeObject2Body(p, 5, error), (Bytes{0x80, 7, 0, 0, 0, 0x06, 0, 0x06, 0, 1, 0, 0, 0, 0x00, 0, 0}));
  EXPECT_EQ(error, "");
  p.clipActions[0].events = kEventKeyPress;
  placeObject2Body(p, 5, error);
  EXPECT_NE(error, "");
}

TEST(Sprite, NestedStreamGetsItsEndTag) {
  TagStream inner;
  inner.showFrame();
  TagStream t;
  t.defineSprite(5, inner.frames(), inner);
  EXPECT_EQ(t.bytes(), (Bytes{0xC8, 0x09, 5, 0, 1, 0, 0x40, 0x00, 0x00, 0x00}));
  EXPECT_EQ(t.frames(), 0);
}

TEST(Button, DefineButton2WithOneCondition) {
  Button b;
  ButtonRecord r;
  r.states = kButtonUp | kButtonOver;
  r.characterId = 1;
  r.depth = 1;
  b.records.push_back(r);
  b.conditions.push_back({0x0008, {0x06, 0x00}});
  std::string error;
  EXPECT_EQ(defineButton2Body(3, b, error),
            (Bytes{3, 0, 0, 10, 0, 0x03, 1, 0, 1, 0, 0x00, 0x00, 0x00, 0, 0, 0x08, 0, 0x06, 0x00}));
}

TEST(Button, DefineButtonKeepsItsReleaseActions) {
  Button b;
  ButtonRecord r;
  r.states = kButtonHit;
  r.characterId = 9;
  r.depth = 2;
  r.matrix = translate(20, -20);
  b.records.push_back(r);
  b.actions = {0x07, 0x00};
  EXPECT_EQ(defineButtonBody(1, b), (Bytes{1, 0, 0x08, 9, 0, 2, 0, 0x0C, 0xA5, 0x80, 0x00, 0x07, 0x00}));
}

TEST(Assets, ExportAndImport) {
  TagStream t;
  t.exportAssets({{1, "a"}});
  t.importAssets("lib.qvx", {{2, "b"}});
  Bytes expect{0x06, 0x0E, 1, 0, 1, 0, 'a', 0};
  Bytes import{0x4E, 0x0E,  // 57 << 6 | 14
                     'l', 'i', 'b', '.', 'q', 'v', 'x', 0, 1, 0, 2, 0, 'b', 0};
  expect.insert(expect.end(), import.begin(), import.end());
  EXPECT_EQ(t.bytes(), expect);
}
