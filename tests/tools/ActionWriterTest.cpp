// The assembler against action records worked out by hand from the opcode
// table and the push item table.
#include <gtest/gtest.h>

#include <vector>

#include "tools/kit/ActionWriter.h"

using namespace kivra;
using namespace kivra::kit;
using Bytes = std::vector<uint8_t>;

namespace {
Bytes finished(ActionWriter& a) {
  Bytes out;
  std::string error;
  EXPECT_TRUE(a.finish(out, error)) << error;
  return out;
}
}  // namespace

TEST(ActionWriter, PushOfEveryType) {
  ActionWriter a;
  a.push({PushItem::str("a"), PushItem::floating(1.5f), PushItem::null(), PushItem::undefined(), PushItem::reg(4),
          PushItem::boolean(true), PushItem::dbl(1.5), PushItem::integ(-2), PushItem::constant(3),
          PushItem::constant(300)});
  EXPECT_EQ(finished(a), (Bytes{0x96, 33, 0,
                                0, 'a', 0,                // string
                                1, 0x00, 0x00, 0xC0, 0x3F,  // float 1.5
                                2,                        // null
                                3,                        // undefined
                                4, 4,                     // register 4
                                5, 1,                     // true
                                6, 0x00, 0x00, 0xF8, 0x3F, 0, 0, 0, 0,  // double 1.5, high word first
                                7, 0xFE, 0xFF, 0xFF, 0xFF,  // integer -2
                                8, 3,                     // constant 3
                                9, 0x2C, 0x01,            // constant 300 needs 16 bits
                                0x00}));
}

TEST(ActionWriter, DoubleHalvesAreSwapped) {
  ActionWriter a;
  a.push({PushItem::dbl(0.1)});  // 0x3FB999999999999A
  EXPECT_EQ(finished(a), (Bytes{0x96, 9, 0, 6, 0x99, 0x99, 0xB9, 0x3F, 0x9A, 0x99, 0x99, 0x99, 0x00}));
}

TEST(ActionWriter, BackwardBranch) {
  ActionWriter a;
  a.label("top");
  a.push({PushItem::str("x")});
  a.jump("top");  // the Jump ends at byte 11, the label is at 0
  EXPECT_EQ(finished(a), (Bytes{0x96, 3, 0, 0, 'x', 0, 0x99, 2, 0, 0xF5, 0xFF, 0x00}));
}

TEST(ActionWriter, ForwardIfSkipsOneRecord) {
  ActionWriter a;
  a.ifTrue("done");
  a.op(Opcode::Play);
  a.label("done");
  EXPECT_EQ(finished(a), (Bytes{0x9D, 2, 0, 1, 0, 0x06, 0x00}));
}

TEST(ActionWriter, UndefinedOrDuplicateLabelFails) {
  ActionWriter a;
  a.jump("nowhere");
  Bytes out;
  std::string error;
  EXPECT_FALSE(a.finish(out, error));
  EXPECT_NE(error.find("nowhere"), std::string::npos);
  ActionWriter b;
  b.label("x");
  b.label("x");
  EXPECT_FALSE(b.finish(out, error));
}

TEST(ActionWriter, DefineFunctionWithBody) {
  ActionWriter a;
  a.beginFunction("f", {"a"});
  a.op(Opcode::Play);
  a.endBlock();
  EXPECT_EQ(finished(a), (Bytes{0x9B, 8, 0, 'f', 0, 1, 0, 'a', 0, 1, 0, 0x06, 0x00}));
}

TEST(ActionWriter, DefineFunction2WithRegistersAndFlags) {
  ActionWriter a;
  a.beginFunction2("g", 3, kPreloadThis | kSuppressArguments, {{1, "x"}});
  a.op(Opcode::Stop);
  a.endBlock();
  EXPECT_EQ(finished(a), (Bytes{0x8E, 12, 0, 'g', 0, 1, 0, 3, 0x09, 0, 1, 'x', 0, 1, 0, 0x07, 0x00}));
}

TEST(ActionWriter, NestedBodiesAndWith) {
  ActionWriter a;
  a.beginFunction("", {});
  a.beginWith();
  a.op(Opcode::Play);
  a.endBlock();
  a.endBlock();
  EXPECT_EQ(finished(a), (Bytes{0x9B, 5, 0, 0, 0, 0, 6, 0,  // anonymous, 0 params, body 6 bytes
                                0x94, 2, 0, 1, 0,           // With, block of 1 byte
                                0x06, 0x00}));
}

TEST(ActionWriter, UnclosedBodyFails) {
  ActionWriter a;
  a.beginWith();
  Bytes out;
  std::string error;
  EXPECT_FALSE(a.finish(out, error));
}

TEST(ActionWriter, PayloadRecords) {
  ActionWriter a;
  a.gotoFrame(2);
  a.getUrl("u", "t");
  a.storeRegister(1);
  a.constantPool({"a", "bc"});
  a.strictMode(1);
  a.waitForFrame(5, 2);
  a.setTarget("/x");
  a.goToLabel("L");
  a.waitForFrame2(3);
  a.getUrl2(0x40);
  a.gotoFrame2(true);
  const uint16_t bias = 10;
  a.gotoFrame2(false, &bias);
  a.op(Opcode::Call);
  a.raw(0x2A, {});
  EXPECT_EQ(finished(a), (Bytes{0x81, 2, 0, 2, 0,
                                0x83, 4, 0, 'u', 0, 't', 0,
                                0x87, 1, 0, 1,
                                0x88, 7, 0, 2, 0, 'a', 0, 'b', 'c', 0,
                                0x89, 1, 0, 1,
                                0x8A, 3, 0, 5, 0, 2,
                                0x8B, 3, 0, '/', 'x', 0,
                                0x8C, 2, 0, 'L', 0,
                                0x8D, 1, 0, 3,
                                0x9A, 1, 0, 0x40,
                                0x9F, 1, 0, 1,
                                0x9F, 3, 0, 2, 10, 0,
                                0x9E, 0, 0,
                                0x2A,
                                0x00}));
}

TEST(ActionWriter, EndActionIsOptional) {
  ActionWriter a;
  a.op(Opcode::Trace);
  Bytes out;
  std::string error;
  ASSERT_TRUE(a.finish(out, error, false));
  EXPECT_EQ(out, (Bytes{0x26}));
}
