// Script values through AMF0 and back: kinds, shared objects and cycles as
// references, strict and mixed arrays, dates, XML documents and registered
// classes, and hostile packets that convert within bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/net/Amf0Codec.h"
#include "core/script/AmfScriptValues.h"
#include "core/script/ScriptEngine.h"
#include "core/script/XmlObjects.h"
#include "tests/support/StubPlayer.h"

namespace kivra {
namespace {

using test::StubPlayer;

ScriptValue member(ScriptEngine& e, const ScriptValue& o, std::string_view name) {
  return e.getMember(o, name);
}

std::vector<uint8_t> bytesOf(const AmfValue& v) {
  std::vector<uint8_t> out;
  Amf0Writer(out).write(v);
  return out;
}

AmfValue read(const std::vector<uint8_t>& bytes) {
  AmfReader r(bytes.data(), bytes.size());
  Amf0Decoder d(r);
  AmfValue v;
  EXPECT_TRUE(d.read(v));
  return v;
}

TEST(AmfScriptValues, RoundTripKeepsKindsSharingAndCycles) {
  StubPlayer player;
  ScriptEngine& e = player.script();
  e.global();
  ScriptObject* root = e.newObject();
  const ScriptValue rootValue = ScriptValue::object(root);
  ScriptObject* shared = e.newObject();
  const ScriptValue sharedValue = ScriptValue::object(shared);
  e.setMember(shared, "v", ScriptValue::number(7));
  ScriptObject* list = e.newArray();
  const ScriptValue listValue = ScriptValue::object(list);  // held from here: the collector may run
  e.setMember(list, "0", ScriptValue::number(1));
  e.setMember(list, "1", e.makeString("two"));
  e.setMember(root, "n", ScriptValue::number(-2.5));
  e.setMember(root, "s", e.makeString("text"));
  e.setMember(root, "t", ScriptValue::boolean(true));
  e.setMember(root, "z", ScriptValue::null());
  e.setMember(root, "u", ScriptValue());
  e.setMember(root, "a", ScriptValue::object(list));
  e.setMember(root, "first", sharedValue);
  e.setMember(root, "again", sharedValue);
  e.setMember(root, "self", rootValue);
  e.setMember(root, "f", member(e, ScriptValue::object(e.global()), "escape"));  // functions are left out

  AmfFromScript from(e, false);
  const AmfValue model = from.convert(rootValue);
  ASSERT_EQ(model.kind, AmfKind::Object);
  ASSERT_EQ(model.members.size(), 9u);
  EXPECT_EQ(model.members[5].value.kind, AmfKind::MixedArray);  // every array, outside remote calls
  EXPECT_EQ(model.members[5].value.index, 2u);
  EXPECT_EQ(model.members[7].value.kind, AmfKind::Reference);
  EXPECT_EQ(model.members[7].value.index, 2u);  // root 0, the array 1, shared 2
  EXPECT_EQ(model.members[8].value.index, 0u);

  AmfToScript to(e);
  const ScriptValue back = to.convert(read(bytesOf(model)));
  ASSERT_TRUE(back.isObject());
  EXPECT_EQ(member(e, back, "n").asNumber(), -2.5);
  EXPECT_EQ(e.toStdString(member(e, back, "s")), "text");
  EXPECT_TRUE(member(e, back, "t").asBoolean());
  EXPECT_TRUE(member(e, back, "z").isNull());
  EXPECT_TRUE(member(e, back, "u").isUndefined());
  EXPECT_EQ(e.toStdString(member(e, back, "a")), "1,two");
  EXPECT_TRUE(member(e, back, "first").samePayload(member(e, back, "again")));
  EXPECT_TRUE(member(e, back, "self").samePayload(back));
  EXPECT_EQ(member(e, member(e, back, "again"), "v").asNumber(), 7);

  // Remote calls write index-only arrays as strict arrays, others mixed.
  AmfFromScript strict(e, true);
  EXPECT_EQ(strict.convert(ScriptValue::object(list)).kind, AmfKind::StrictArray);
  e.setMember(list, "name", ScriptValue::number(0));
  AmfFromScript strict2(e, true);
  EXPECT_EQ(strict2.convert(ScriptValue::object(list)).kind, AmfKind::MixedArray);
  // A shared object's data is object 0: references to it read back as it.
  AmfFromScript withData(e, false);
  withData.noteObject(root);
  EXPECT_EQ(withData.convert(rootValue).kind, AmfKind::Reference);
}

TEST(AmfScriptValues, DatesDocumentsAndRegisteredClasses) {
  StubPlayer player;
  ScriptEngine& e = player.script();
  e.global();
  AmfValue date = AmfValue::ofKind(AmfKind::Date);
  date.number = 1.5e12;
  AmfToScript to(e);
  const ScriptValue d = to.convert(date);
  ASSERT_TRUE(d.isObject());
  EXPECT_EQ(d.asObject()->classTag(), ClassTag::Date);
  EXPECT_EQ(e.toNumber(e.callMethod(d, "getTime", nullptr, 0)), 1.5e12);
  AmfFromScript from(e, false);
  const AmfValue dateBack = from.convert(d);
  EXPECT_EQ(dateBack.kind, AmfKind::Date);
  EXPECT_EQ(dateBack.number, 1.5e12);

  AmfValue xml = AmfValue::ofKind(AmfKind::Xml);
  xml.text = "<a b=\"1\"><c /></a>";
  const ScriptValue doc = to.convert(xml);
  ASSERT_NE(xml::stateOf(doc.asObject()), nullptr);
  EXPECT_EQ(e.toStdString(e.callMethod(doc, "toString", nullptr, 0)), xml.text);
  AmfFromScript from2(e, false);
  EXPECT_EQ(from2.convert(doc), xml);
  // A node that is not a document has no encoding.
  AmfFromScript from3(e, false);
  EXPECT_EQ(from3.convert(member(e, doc, "firstChild")).kind, AmfKind::Unsupported);

  e.registeredClasses().push_back(ClassRegistration{"Point", member(e, ScriptValue::object(e.global()), "Color")});
  AmfValue typed = AmfValue::ofKind(AmfKind::TypedObject);
  typed.text = "Point";
  typed.members.push_back(AmfMember{"x", AmfValue::ofNumber(3)});
  const ScriptValue p = to.convert(typed);
  EXPECT_TRUE(e.instanceOf(p, member(e, ScriptValue::object(e.global()), "Color")));
  AmfFromScript from4(e, false);
  EXPECT_EQ(from4.convert(p), typed);
}

TEST(AmfScriptValues, HostileModelsConvertWithinBounds) {
  StubPlayer player;
  ScriptEngine& e = player.script();
  e.global();
  // References forward and out of range read as undefined.
  AmfValue arr = AmfValue::ofKind(AmfKind::StrictArray);
  AmfValue r = AmfValue::ofKind(AmfKind::Reference);
  r.index = 5;
  arr.elements = {r};
  AmfToScript to(e);
  const ScriptValue a = to.convert(arr);
  EXPECT_TRUE(member(e, a, "0").isUndefined());
  // A nest as deep as a packet may be converts; deeper is cut.
  AmfValue tower = AmfValue::ofKind(AmfKind::Null);
  for (size_t i = 0; i < kMaxAmfDepth + 10; ++i) {
    AmfValue up = AmfValue::ofKind(AmfKind::Object);
    up.members.push_back(AmfMember{"k", std::move(tower)});
    tower = std::move(up);
  }
  AmfToScript deep(e);
  const ScriptValue top = deep.convert(tower);
  ASSERT_TRUE(top.isObject());
  // And a script nest deeper than the limit writes undefined at the cut.
  ScriptValue chain = ScriptValue::object(e.newObject());
  ScriptValue tip = chain;
  for (size_t i = 0; i < kMaxAmfDepth + 10; ++i) {
    ScriptValue next = ScriptValue::object(e.newObject());
    e.setMember(tip.asObject(), "k", next);
    tip = next;
  }
  AmfFromScript from(e, false);
  const std::vector<uint8_t> bytes = bytesOf(from.convert(chain));
  AmfReader reader(bytes.data(), bytes.size());
  Amf0Decoder decoder(reader);
  AmfValue v;
  EXPECT_TRUE(decoder.read(v));
}

}  // namespace
}  // namespace kivra
