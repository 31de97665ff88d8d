// Color methods (class 700): the colour transform of the clip named by the
// object's `target`.
#include "core/script/PlayerServices.h"
#include "core/script/NativeHelpers.h"

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
}  // namespace

void colorNatives(NativeCall& c) {
  ScriptEngine& e = c.engine;
  DisplayObject* d = colorTarget(c);
  if (!d) return;
  Display& display = e.player().display();
  CXFORM x = d->cxform();
  switch (c.method) {
    case 0: {  // setRGB(rgb)
      if (c.argc < 1) return;
      const uint32_t rgb = static_cast<uint32_t>(toInt32(e, c.arg(0)));
      x.rMul = x.gMul = x.bMul = 0;
      x.rAdd = static_cast<int16_t>((rgb >> 16) & 0xFF);
      x.gAdd = static_cast<int16_t>((rgb >> 8) & 0xFF);
      x.bAdd = static_cast<int16_t>(rgb & 0xFF);
      x.flags |= CXFORM::kHasMultipliers | CXFORM::kHasAddends;
      display.setCxform(*d, x);
      break;
    }
    case 1: {  // setTransform(t)
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
      display.setCxform(*d, x);
      break;
    }
    case 2:  // getRGB()
      c.result = ScriptValue::number(x.rAdd * 65536.0 + x.gAdd * 256.0 + x.bAdd);
      break;
    case 3: {  // getTransform()
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
      break;
    }
    default:
      break;
  }
}

}  // namespace kivra
