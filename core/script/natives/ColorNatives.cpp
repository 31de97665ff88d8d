// Color methods (class 700): the colour transform of the clip named by the
// object's `target`.
#include "core/script/PlayerServices.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

DisplayObject* colorTarget(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (!self) return nullptr;
  ScriptValue target;
  e.getMember(self, "target", target);
  if (DisplayObject* d = clipOf(e, target)) return d;
  return DisplayClipBridge::displayObject(resolveFromCaller(c, target));
}

// Every method reads the target first and does nothing without one.
template <void (*run)(NativeCall&, DisplayObject&)>
void onTarget(NativeCall& c) {
  if (DisplayObject* d = colorTarget(c)) run(c, *d);
}

// A method number without an entry still reads `target`: a getter there runs.
void otherMethod(NativeCall& c) { colorTarget(c); }

void setRGB(NativeCall& c, DisplayObject& d) {  // setRGB(rgb)
  ScriptEngine& e = c.engine;
  Display& display = e.player().display();
  CXFORM x = d.cxform();
  if (c.argc < 1) return;
  const uint32_t rgb = static_cast<uint32_t>(toInt32(e, c.arg(0)));
  x.rMul = x.gMul = x.bMul = 0;
  x.rAdd = static_cast<int16_t>((rgb >> 16) & 0xFF);
  x.gAdd = static_cast<int16_t>((rgb >> 8) & 0xFF);
  x.bAdd = static_cast<int16_t>(rgb & 0xFF);
  x.flags |= CXFORM::kHasMultipliers | CXFORM::kHasAddends;
  display.setCxform(d, x);
}

void setTransform(NativeCall& c, DisplayObject& d) {  // setTransform(t)
  ScriptEngine& e = c.engine;
  Display& display = e.player().display();
  CXFORM x = d.cxform();
  ScriptObject* t = c.argc >= 1 ? e.toObject(c.arg(0)) : nullptr;
  if (!t) return;
  struct Channel {
    const char* mul;
    const char* add;
    Fixed8* m;
    int16_t* a;
  } channels[] = {{"ra", "rb", &x.rMul, &x.rAdd},
                  {"ga", "gb", &x.gMul, &x.gAdd},
                  {"ba", "bb", &x.bMul, &x.bAdd},
                  {"aa", "ab", &x.aMul, &x.aAdd}};
  for (const Channel& ch : channels) {
    ScriptValue v;
    if (e.getMember(t, ch.mul, v)) *ch.m = static_cast<Fixed8>(toInteger32(e.toNumber(v) * 2.56));
    if (e.getMember(t, ch.add, v)) *ch.a = static_cast<int16_t>(toInt32(e, v));
  }
  x.flags |= CXFORM::kHasMultipliers | CXFORM::kHasAddends;
  display.setCxform(d, x);
}

void getRGB(NativeCall& c, DisplayObject& d) {  // getRGB()
  const CXFORM x = d.cxform();
  c.result = ScriptValue::number(x.rAdd * 65536.0 + x.gAdd * 256.0 + x.bAdd);
}

void getTransform(NativeCall& c, DisplayObject& d) {  // getTransform()
  ScriptEngine& e = c.engine;
  const CXFORM x = d.cxform();
  ScriptObject* o = e.newObject();
  c.result = ScriptValue::object(o);
  e.setMember(o, "ra", ScriptValue::number(x.rMul * 100.0 / 256));
  e.setMember(o, "ga", ScriptValue::number(x.gMul * 100.0 / 256));
  e.setMember(o, "ba", ScriptValue::number(x.bMul * 100.0 / 256));
  e.setMember(o, "aa", ScriptValue::number(x.aMul * 100.0 / 256));
  e.setMember(o, "rb", ScriptValue::number(x.rAdd));
  e.setMember(o, "gb", ScriptValue::number(x.gAdd));
  e.setMember(o, "bb", ScriptValue::number(x.bAdd));
  e.setMember(o, "ab", ScriptValue::number(x.aAdd));
}

constexpr NativeMethod kColorMethods[] = {
    {0, "setRGB", onTarget<setRGB>},
    {1, "setTransform", onTarget<setTransform>},
    {2, "getRGB", onTarget<getRGB>},
    {3, "getTransform", onTarget<getTransform>},
};

}  // namespace

const NativeClass kColorNatives{kNativeColor, "Color", kColorMethods, otherMethod};

}  // namespace kivra
