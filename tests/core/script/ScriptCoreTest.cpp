// Unit tests of the script core: number text, string rules, the property
// table, the heap and its collector.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "core/CorePlayer.h"
#include "tests/support/StubPlayer.h"
#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"

namespace kivra {
namespace {

class ScriptHost : public test::StubHost {
 public:
  bool askToAbortSlowScript() override {
    ++asked;
    return answer;
  }
  void trace(const std::string& line) override { lines += line + "\n"; }
  int asked = 0;
  bool answer = true;
  std::string lines;
};
using StubPlayer = test::StubPlayerOf<ScriptHost>;

TEST(NumberText, FormatsLikeTheExamples) {
  EXPECT_EQ(formatNumber(0), "0");
  EXPECT_EQ(formatNumber(-0.0), "0");
  EXPECT_EQ(formatNumber(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(formatNumber(2.0 / 3), "0.666666666666667");
  EXPECT_EQ(formatNumber(1e15), "1e+15");
  EXPECT_EQ(formatNumber(0.000001), "1e-6");
  EXPECT_EQ(formatNumber(0.00001), "0.00001");
  EXPECT_EQ(formatNumber(999999999999999.9), "1000000000000000");  // the carry fills the spare digit
  EXPECT_EQ(formatNumber(-1e-300), "-1e-300");
  EXPECT_EQ(formatNumber(5e-324), "4.94065645841247e-324");
  EXPECT_EQ(formatNumber(1.7976931348623157e308), "1.79769313486232e+308");
}

// Whole numbers below 10^15 take a shorter path; it gives the digits the
// general one gives, up to its edge.
TEST(NumberText, WholeNumbers) {
  EXPECT_EQ(formatNumber(7), "7");
  EXPECT_EQ(formatNumber(-42), "-42");
  EXPECT_EQ(formatNumber(100000), "100000");
  EXPECT_EQ(formatNumber(123456789012345.0), "123456789012345");
  EXPECT_EQ(formatNumber(999999999999999.0), "999999999999999");
  EXPECT_EQ(formatNumber(-999999999999999.0), "-999999999999999");
  EXPECT_EQ(formatNumber(1e15), "1e+15");
  EXPECT_EQ(formatNumber(1000000000000001.0), "1e+15");
  EXPECT_EQ(formatNumber(2.5), "2.5");
}

TEST(NumberText, Readers) {
  double d = 0;
  EXPECT_TRUE(readDecimal("12abc", true, d));
  EXPECT_EQ(d, 12);
  EXPECT_FALSE(readDecimal("12abc", false, d));
  EXPECT_FALSE(readDecimal("", false, d));
  EXPECT_FALSE(readDecimal(".", false, d));
  EXPECT_TRUE(readDecimal(" -.5e1", false, d));
  EXPECT_EQ(d, -5);
  EXPECT_FALSE(readDecimal("1e", false, d));
  int32_t i = 0;
  EXPECT_TRUE(readInteger("ff", 16, i));
  EXPECT_EQ(i, 255);
  EXPECT_FALSE(readInteger("", 16, i));
  EXPECT_FALSE(readInteger("8", 8, i));
  EXPECT_EQ(stringToNumberV6("0x1F"), 31);
  EXPECT_EQ(stringToNumberV6("017"), 15);
  EXPECT_EQ(stringToNumberV6("018"), 18);
  EXPECT_TRUE(std::isnan(stringToNumberV6("0X1F")));
  EXPECT_EQ(toBits32(4294967297.0), 1);
  EXPECT_EQ(toBits32(-1), -1);
  EXPECT_EQ(toBits32(NAN), 0);
}

TEST(ScriptStrings, OriginRules) {
  ScriptValue a = ScriptValue::string("caf\xE9", true);           // code page
  ScriptValue b = ScriptValue::string("caf\xC3\xA9", false);      // UTF-8
  ScriptValue c = ScriptValue::string("abc", true);
  ScriptValue d = ScriptValue::string("abc", false);
  EXPECT_FALSE(ScriptEngine::stringsEqual(a.asString(), b.asString()));
  EXPECT_TRUE(ScriptEngine::stringsEqual(c.asString(), d.asString()));
  const CodePage& western = CodePage::windows1252();
  EXPECT_EQ(a.asString()->units(western), b.asString()->units(western));
  EXPECT_TRUE(ScriptEngine::stringsEqual(nullptr, nullptr));
  EXPECT_EQ(ScriptString::nameHash("abc"), ScriptString::nameHash("ABC"));
}

TEST(ScriptObjects, HashTableGrowsAndKeepsOrder) {
  ScriptHeap heap;
  ScriptObject* o = heap.create();
  ScriptValue holder = ScriptValue::object(o);
  for (int i = 0; i < 1000; ++i) o->append("p" + std::to_string(i), ScriptValue::number(i), 0);
  EXPECT_EQ(o->propertyCount(), 1000u);
  ASSERT_NE(o->findOwn("P999"), nullptr);
  EXPECT_EQ(o->findOwn("p500")->value.asNumber(), 500);
  o->remove(o->findOwn("p500"));
  EXPECT_EQ(o->findOwn("p500"), nullptr);
  EXPECT_EQ(o->firstProperty()->name, "p0");
}

TEST(ScriptHeap, CountsFreeAndCollectorBreaksCycles) {
  ScriptHeap heap;
  {
    ScriptObject* a = heap.create();
    ScriptValue va = ScriptValue::object(a);
    ScriptObject* b = heap.create();
    a->append("b", ScriptValue::object(b), 0);
    b->append("a", va, 0);  // a cycle
    ScriptObject* c = heap.create();
    ScriptValue vc = ScriptValue::object(c);
    EXPECT_EQ(heap.objectCount(), 3u);
  }
  // c went with its last value; the cycle stays until collected.
  EXPECT_EQ(heap.objectCount(), 2u);
  EXPECT_EQ(heap.collect({}), 2u);
  EXPECT_EQ(heap.objectCount(), 0u);
}

TEST(ScriptHeap, CollectorKeepsObjectsHeldFromOutside) {
  ScriptHeap heap;
  ScriptObject* a = heap.create();
  ScriptValue held = ScriptValue::object(a);
  ScriptObject* b = heap.create();
  a->append("b", ScriptValue::object(b), 0);
  EXPECT_EQ(heap.collect({}), 0u);
  EXPECT_EQ(heap.objectCount(), 2u);
  held.clear();
  EXPECT_EQ(heap.objectCount(), 0u);
}

TEST(ScriptHeap, LongChainsFreeWithoutRecursion) {
  ScriptHeap heap;
  {
    ScriptValue head = ScriptValue::object(heap.create());
    ScriptObject* cur = head.asObject();
    for (int i = 0; i < 200000; ++i) {
      ScriptObject* n = heap.create();
      cur->append("next", ScriptValue::object(n), 0);
      cur = n;
    }
  }
  EXPECT_EQ(heap.objectCount(), 0u);
}

// An infinite loop asks the host, at a clock reading every 1,024 actions,
// once 15 s have passed on the script clock; "no" lets it run on, "yes"
// stops it.
TEST(ScriptLimits, SlowScriptQuestion) {
  StubPlayer player;
  const uint8_t loop[] = {0x99, 0x02, 0x00, 0xFB, 0xFF, 0x00};  // Jump to itself
  ActionQueue q;
  player.stub().answer = true;
  q.push(ActionList::Frame, ActionBlock{loop, sizeof loop, nullptr, 6, 0});
  player.script().run(q);
  EXPECT_GE(player.stub().asked, 1);
  EXPECT_FALSE(player.script().aborted());  // cleared when the outermost run ends
  EXPECT_GE(player.script().actionsRun(), kClockCheckActions);
}

// The memory budget: what the host counts beyond the baseline. Past it the
// running script is aborted at the next clock reading, the host hears of
// it once per aborted run, and once memory is given back scripts run again.
class CountedMemoryHost : public ScriptHost {
 public:
  size_t memoryInUse() override { return used; }
  void scriptOverMemoryBudget(size_t budget) override {
    ++notices;
    noticedBudget = budget;
  }
  size_t used = 0;
  int notices = 0;
  size_t noticedBudget = 0;
};
using CountedMemoryPlayer = test::StubPlayerOf<CountedMemoryHost>;

TEST(ScriptLimits, MemoryBudget) {
  CountedMemoryPlayer player;
  constexpr size_t kMb = size_t{1} << 20;
  player.stub().used = 100 * kMb;
  player.script().setMemoryBaseline(100 * kMb);
  player.setMemoryBudget(10 * kMb);
  const uint8_t loop[] = {0x99, 0x02, 0x00, 0xFB, 0xFF, 0x00};  // Jump to itself
  const uint8_t trace[] = {0x96, 0x04, 0x00, 0x00, 'o', 'k', 0x00, 0x26, 0x00};
  ActionQueue q;
  // Within the budget: only the time limit stops the loop.
  player.stub().used = 109 * kMb;
  q.push(ActionList::Frame, ActionBlock{loop, sizeof loop, nullptr, 6, 0});
  player.script().run(q);
  EXPECT_EQ(player.stub().notices, 0);
  EXPECT_EQ(player.stub().asked, 1);
  // Past it: aborted at the first reading, long before the time limit.
  player.stub().used = 111 * kMb;
  const uint64_t before = player.script().actionsRun();
  q.push(ActionList::Frame, ActionBlock{loop, sizeof loop, nullptr, 6, 0});
  q.push(ActionList::Frame, ActionBlock{trace, sizeof trace, nullptr, 6, 0});
  player.script().run(q);
  EXPECT_EQ(player.stub().notices, 1);
  EXPECT_EQ(player.stub().noticedBudget, 10 * kMb);
  EXPECT_EQ(player.stub().asked, 1);
  EXPECT_LE(player.script().actionsRun() - before, uint64_t{kClockCheckActions} + 1);
  EXPECT_EQ(player.stub().lines, "");  // the pending lists went with the abort
  // Memory given back: scripts run again, without a notice.
  player.stub().used = 105 * kMb;
  q.push(ActionList::Frame, ActionBlock{trace, sizeof trace, nullptr, 6, 0});
  player.script().run(q);
  EXPECT_EQ(player.stub().lines, "ok\n");
  EXPECT_EQ(player.stub().notices, 1);
  // A host that cannot count (0) has no budget.
  player.stub().used = 0;
  q.push(ActionList::Frame, ActionBlock{trace, sizeof trace, nullptr, 6, 0});
  player.script().run(q);
  EXPECT_EQ(player.stub().lines, "ok\nok\n");
}

TEST(ScriptLimits, AbortEmptiesPendingLists) {
  StubPlayer player;
  const uint8_t loop[] = {0x99, 0x02, 0x00, 0xFB, 0xFF, 0x00};
  const uint8_t trace[] = {0x96, 0x04, 0x00, 0x00, 'h', 'i', 0x00, 0x26, 0x00};
  ActionQueue q;
  q.push(ActionList::Frame, ActionBlock{loop, sizeof loop, nullptr, 6, 0});
  q.push(ActionList::Frame, ActionBlock{trace, sizeof trace, nullptr, 6, 0});
  player.script().run(q);
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(player.stub().lines, "");
  q.push(ActionList::Frame, ActionBlock{trace, sizeof trace, nullptr, 6, 0});
  player.script().run(q);
  EXPECT_EQ(player.stub().lines, "hi\n");
}

TEST(ScriptRun, InitActionsRunBeforeFrameActions) {
  StubPlayer player;
  const uint8_t a[] = {0x96, 0x03, 0x00, 0x00, 'F', 0x00, 0x26, 0x00};
  const uint8_t b[] = {0x96, 0x03, 0x00, 0x00, 'I', 0x00, 0x26, 0x00};
  ActionQueue q;
  q.push(ActionList::Frame, ActionBlock{a, sizeof a, nullptr, 6, 0});
  q.push(ActionList::Init, ActionBlock{b, sizeof b, nullptr, 6, 0});
  player.script().run(q);
  EXPECT_EQ(player.stub().lines, "I\nF\n");
}

TEST(ScriptRun, TruncatedRecordsReadZeros) {
  StubPlayer player;
  // A Push whose length runs past the block, then nothing.
  const uint8_t bad[] = {0x96, 0xFF, 0x7F, 0x00, 'x'};
  ActionQueue q;
  q.push(ActionList::Frame, ActionBlock{bad, sizeof bad, nullptr, 6, 0});
  player.script().run(q);
  EXPECT_EQ(player.script().stackSize(), 0u);
}

// How many actions one block runs, after a first run that sets up the class
// library.
uint64_t actionsOf(StubPlayer& player, const uint8_t* code, size_t length) {
  const uint8_t empty[] = {0x00};
  ActionQueue q;
  q.push(ActionList::Frame, ActionBlock{empty, sizeof empty, nullptr, 6, 0});
  player.script().run(q);
  q.push(ActionList::Frame, ActionBlock{code, length, nullptr, 6, 0});
  const uint64_t before = player.script().actionsRun();
  player.script().run(q);
  return player.script().actionsRun() - before;
}

// Records that go straight from one to the next are counted one by one.
TEST(ScriptRun, EachRecordIsCountedOnce) {
  StubPlayer player;
  const uint8_t code[] = {0x96, 0x03, 0x00, 0x00, 'a', 0x00,  // Push "a"
                          0x17,                               // Pop
                          0x96, 0x03, 0x00, 0x00, 'b', 0x00,  // Push "b"
                          0x17,                               // Pop
                          0x99, 0x02, 0x00, 0x00, 0x00,       // Jump to the next record
                          0x96, 0x03, 0x00, 0x00, 'c', 0x00,  // Push "c"
                          0x17,                               // Pop
                          0x00};
  EXPECT_EQ(actionsOf(player, code, sizeof code), 7u);
  EXPECT_EQ(player.script().stackSize(), 0u);
}

// The count stays exact past the 65,536 actions between slow-script checks,
// run after run.
TEST(ScriptRun, CountIsExactAcrossChecks) {
  StubPlayer player;
  const uint8_t code[] = {0x96, 0x05, 0x00, 0x07, 0x40, 0x9C, 0x00, 0x00,  // Push 40000
                          0x87, 0x01, 0x00, 0x00,                          // StoreRegister 0
                          0x17,                                            // Pop
                          0x96, 0x02, 0x00, 0x04, 0x00,                    // loop: Push r:0
                          0x51,                                            // Decrement
                          0x87, 0x01, 0x00, 0x00,                          // StoreRegister 0
                          0x9D, 0x02, 0x00, 0xF1, 0xFF,                    // If loop
                          0x00};
  EXPECT_EQ(actionsOf(player, code, sizeof code), 3u + 4u * 40000u);
  EXPECT_EQ(actionsOf(player, code, sizeof code), 3u + 4u * 40000u);
}

// A variable read, then a member read of its object, counted as two records
// each time (a faster path fusing them must keep the count), across the
// slow-script checks too.
TEST(ScriptRun, MemberAfterVariableIsCountedAsItsRecords) {
  StubPlayer player;
  const uint8_t code[] = {0x96, 0x08, 0x00, 0x00, 'o', 0x00, 0x07, 0x00, 0x00, 0x00, 0x00,  // Push "o" 0
                          0x43,                                                          // InitObject
                          0x1D,                                                          // SetVariable
                          0x96, 0x03, 0x00, 0x00, 'o', 0x00,                             // Push "o"
                          0x1C,                                                          // GetVariable
                          0x96, 0x08, 0x00, 0x00, 'x', 0x00, 0x07, 0x01, 0x00, 0x00, 0x00,  // Push "x" 1
                          0x4F,                                                          // SetMember
                          0x96, 0x05, 0x00, 0x07, 0x40, 0x9C, 0x00, 0x00,                // Push 40000
                          0x87, 0x01, 0x00, 0x00,                                        // StoreRegister 0
                          0x17,                                                          // Pop
                          0x96, 0x03, 0x00, 0x00, 'o', 0x00,                             // loop: Push "o"
                          0x1C,                                                          // GetVariable
                          0x96, 0x03, 0x00, 0x00, 'x', 0x00,                             // Push "x"
                          0x4E,                                                          // GetMember
                          0x17,                                                          // Pop
                          0x96, 0x02, 0x00, 0x04, 0x00,                                  // Push r:0
                          0x51,                                                          // Decrement
                          0x87, 0x01, 0x00, 0x00,                                        // StoreRegister 0
                          0x9D, 0x02, 0x00, 0xE2, 0xFF,                                  // If loop
                          0x00};
  EXPECT_EQ(actionsOf(player, code, sizeof code), 10u + 9u * 40000u);
  EXPECT_EQ(player.script().stackSize(), 0u);
  EXPECT_EQ(actionsOf(player, code, sizeof code), 10u + 9u * 40000u);
  EXPECT_EQ(player.script().stackSize(), 0u);
}

// Without the fast paths every record is decoded as a general one, fused
// with none and given no lookup cache; a block runs to the same result with
// the same action count.
TEST(ScriptRun, FastPathsOffRunEveryRecordTheGeneralWay) {
  const uint8_t code[] = {0x96, 0x08, 0x00, 0x00, 'o', 0x00, 0x07, 0x00, 0x00, 0x00, 0x00,  // Push "o" 0
                          0x43,                                                          // InitObject
                          0x1D,                                                          // SetVariable
                          0x96, 0x05, 0x00, 0x07, 0x10, 0x27, 0x00, 0x00,                // Push 10000
                          0x87, 0x01, 0x00, 0x00,                                        // StoreRegister 0
                          0x17,                                                          // Pop
                          0x96, 0x03, 0x00, 0x00, 'o', 0x00,                             // loop: Push "o"
                          0x1C,                                                          // GetVariable
                          0x96, 0x03, 0x00, 0x00, 'x', 0x00,                             // Push "x"
                          0x96, 0x07, 0x00, 0x04, 0x00, 0x07, 0x03, 0x00, 0x00, 0x00,    // Push r:0 3
                          0x3F,                                                          // Modulo
                          0x4F,                                                          // SetMember
                          0x96, 0x02, 0x00, 0x04, 0x00,                                  // Push r:0
                          0x51,                                                          // Decrement
                          0x87, 0x01, 0x00, 0x00,                                        // StoreRegister 0
                          0x9D, 0x02, 0x00, 0xD8, 0xFF,                                  // If loop
                          0x96, 0x03, 0x00, 0x00, 'o', 0x00,                             // Push "o"
                          0x1C,                                                          // GetVariable
                          0x96, 0x03, 0x00, 0x00, 'x', 0x00,                             // Push "x"
                          0x4E,                                                          // GetMember
                          0x26,                                                          // Trace
                          0x00};
  DecodedBlock general(code, sizeof code, false, false, false);
  DecodedBlock fast(code, sizeof code, false, false, true);
  int fused = 0;
  for (const DecodedAction* a = general.actions(); a != general.endMark(); ++a) {
    EXPECT_EQ(a->kind, DecodedAction::kGeneral) << "at " << a->pc;
    EXPECT_EQ(a->cache, nullptr) << "at " << a->pc;
  }
  for (const DecodedAction* a = fast.actions(); a != fast.endMark(); ++a) fused += a->kind != DecodedAction::kGeneral;
  EXPECT_GT(fused, 0);  // the same records decoded with the fast paths are not all general

  StubPlayer withFast, without;
  without.script().setFastPaths(false);
  EXPECT_TRUE(withFast.script().fastPaths());
  EXPECT_FALSE(without.script().fastPaths());
  const uint64_t counted = actionsOf(withFast, code, sizeof code);
  EXPECT_EQ(counted, 6u + 10u * 10000u + 5u);
  EXPECT_EQ(actionsOf(without, code, sizeof code), counted);
  EXPECT_EQ(withFast.stub().lines, "1\n");
  EXPECT_EQ(without.stub().lines, withFast.stub().lines);
  EXPECT_EQ(without.script().stackSize(), withFast.script().stackSize());
}

// A jump into the middle of a record runs the bytes found there.
TEST(ScriptRun, JumpIntoARecordRunsItsBytes) {
  StubPlayer player;
  const uint8_t code[] = {0x96, 0x03, 0x00, 0x00, 'x',  0x00,  // Push "x"
                          0x99, 0x02, 0x00, 0x04, 0x00,        // Jump to the 0x17 below
                          0x96, 0x03, 0x00, 0x00, 0x17, 0x00,  // Push "\x17", whose text is a Pop
                          0x00};
  EXPECT_EQ(actionsOf(player, code, sizeof code), 3u);
  EXPECT_EQ(player.script().stackSize(), 0u);
}

// Push records are decoded once and remembered by address: the same address
// with other bytes (code freed and its memory reused) must decode afresh.
TEST(ScriptRun, PushRecordsFollowTheirBytes) {
  StubPlayer player;
  uint8_t code[] = {0x96, 0x03, 0x00, 0x00, 'A', 0x00, 0x26, 0x00};
  ActionQueue q;
  q.push(ActionList::Frame, ActionBlock{code, sizeof code, nullptr, 6, 0});
  player.script().run(q);
  code[4] = 'B';
  q.push(ActionList::Frame, ActionBlock{code, sizeof code, nullptr, 6, 0});
  player.script().run(q);
  // At the same address a shorter record: one null item.
  code[1] = 0x01;
  code[3] = 0x02;
  code[4] = 0x26;
  code[5] = 0x00;
  q.push(ActionList::Frame, ActionBlock{code, sizeof code, nullptr, 6, 0});
  player.script().run(q);
  EXPECT_EQ(player.stub().lines, "A\nB\nnull\n");
}

// Blocks are decoded once and remembered by address: another block at the
// same address (another length, other record boundaries, a jump into what
// was a record before) runs by its own bytes.
TEST(ScriptRun, DecodedBlocksFollowTheirBytes) {
  StubPlayer player;
  uint8_t code[16] = {0x96, 0x03, 0x00, 0x00, 'A', 0x00, 0x26, 0x00};
  ActionQueue q;
  q.push(ActionList::Frame, ActionBlock{code, 8, nullptr, 6, 0});
  player.script().run(q);
  // Jump +1 over a Pop, then Push "B" and Trace.
  const uint8_t b[] = {0x99, 0x02, 0x00, 0x01, 0x00, 0x17, 0x96, 0x03, 0x00, 0x00, 'B', 0x00, 0x26, 0x00};
  std::copy(std::begin(b), std::end(b), code);
  q.push(ActionList::Frame, ActionBlock{code, sizeof b, nullptr, 6, 0});
  player.script().run(q);
  // Jump +5: into the Push, on the byte of its string, now Trace (0x26),
  // followed by the string's end, a 0 that ends the block.
  code[3] = 0x05;
  code[10] = 0x26;
  q.push(ActionList::Frame, ActionBlock{code, sizeof b, nullptr, 6, 0});
  player.script().run(q);
  // The same bytes run again come from the remembered form.
  q.push(ActionList::Frame, ActionBlock{code, sizeof b, nullptr, 6, 0});
  player.script().run(q);
  EXPECT_EQ(player.stub().lines, "A\nB\n\n\n");
}

// The operand stack grows past its first 128 slots and keeps every value.
TEST(ScriptRun, OperandStackGrows) {
  StubPlayer player;
  std::vector<uint8_t> code = {0x96, 0x00, 0x00};
  for (uint32_t i = 1; i <= 300; ++i) {
    code.push_back(7);  // 32-bit integer item
    for (int b = 0; b < 4; ++b) code.push_back(static_cast<uint8_t>(i >> (8 * b)));
  }
  const size_t payload = code.size() - 3;
  code[1] = static_cast<uint8_t>(payload);
  code[2] = static_cast<uint8_t>(payload >> 8);
  code.push_back(0x26);  // Trace
  code.push_back(0x26);
  code.push_back(0x00);
  ActionQueue q;
  q.push(ActionList::Frame, ActionBlock{code.data(), code.size(), nullptr, 6, 0});
  player.script().run(q);
  EXPECT_EQ(player.stub().lines, "300\n299\n");
}

}  // namespace
}  // namespace kivra
