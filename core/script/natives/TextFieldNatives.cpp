// TextField (class 104): the constructor gives a field's object its 28
// property pairs (methods 1 to 56, getter then setter, in their order), the
// prototype's methods from 100, createTextField (200) and getFontList (201).
#include <cmath>
#include <set>

#include "core/format/CaseInsensitive.h"
#include "core/format/TextEncoding.h"
#include "core/movie/CharacterKinds.h"
#include "core/movie/EditTextFields.h"
#include "core/movie/MovieFonts.h"
#include "core/movie/TimelinePlayer.h"
#include "core/script/PlayerServices.h"
#include "core/script/natives/NativeHelpers.h"
#include "core/script/natives/TextFormatNatives.h"
#include "core/text/RestrictSet.h"

namespace kivra {

namespace {

constexpr const char* kProperties[] = {
    "scroll",   "maxscroll", "borderColor", "backgroundColor", "textColor", "tabIndex",     "autoSize",
    "text",     "type",      "htmlText",    "variable",        "hscroll",   "maxhscroll",   "maxChars",
    "embedFonts", "html",    "border",      "background",      "wordWrap",  "password",     "multiline",
    "selectable", "length",  "bottomScroll", "textWidth",      "textHeight", "restrict",    "condenseWhite"};
constexpr int kPropertyCount = 28;

struct Field {
  DisplayObject* object = nullptr;
  EditField* field = nullptr;
  explicit operator bool() const { return field != nullptr; }
};

Field fieldOf(NativeCall& c) {
  Field f;
  f.object = clipOf(c.engine, c.thisValue);
  f.field = f.object ? f.object->editField() : nullptr;
  return f;
}

ScriptValue stringOf(ScriptEngine& e, std::u16string_view units) {
  return e.makeString(text::narrow(units, e.version() <= 5, e.codePage()));
}

uint32_t rgbArg(ScriptEngine& e, const ScriptValue& v) {
  return 0xFF000000 | (static_cast<uint32_t>(toInt32(e, v)) & 0xFFFFFF);
}

// Getter 2k+1 and setter 2k+2 of property k.
void property(NativeCall& c) {
  ScriptEngine& e = c.engine;
  Field f = fieldOf(c);
  if (!f) return;
  EditField& t = *f.field;
  const int k = (c.method - 1) / 2;
  const bool set = (c.method - 1) % 2 == 1;
  const ScriptValue& v = c.arg(0);
  auto flag = [&](uint32_t bit, bool inverted = false) {
    if (set) t.setFlag(bit, e.toBoolean(v) != inverted);
    else c.result = ScriptValue::boolean(t.hasFlag(bit) != inverted);
  };
  switch (k) {
    case 0:  // scroll
      if (set) t.setScroll(toInt32(e, v) - 1);
      else c.result = ScriptValue::number(t.scroll() + 1);
      break;
    case 1:
      if (!set) c.result = ScriptValue::number(t.maxScroll() + 1);
      break;
    case 2:
      if (set) t.setBorderColor(rgbArg(e, v));
      else c.result = ScriptValue::number(t.borderColor() & 0xFFFFFF);
      break;
    case 3:
      if (set) t.setBackgroundColor(rgbArg(e, v));
      else c.result = ScriptValue::number(t.backgroundColor() & 0xFFFFFF);
      break;
    case 4:
      if (set) t.setTextColor(rgbArg(e, v));
      else c.result = ScriptValue::number(t.textColor() & 0xFFFFFF);
      break;
    case 5:  // tabIndex
      if (set) t.setTabIndex(v.isNullish() ? -1 : std::max(0, toInt32(e, v)));
      else if (t.tabIndex() >= 0) c.result = ScriptValue::number(t.tabIndex());
      break;
    case 6: {  // autoSize
      static constexpr const char* kNames[] = {"none", "left", "center", "right"};
      if (!set) {
        c.result = e.makeString(kNames[static_cast<int>(t.autoSize())]);
      } else if (v.isBoolean()) {
        t.setAutoSize(v.asBoolean() ? AutoSize::Left : AutoSize::None);
      } else {
        const std::string name = e.toStdString(v);
        AutoSize a = AutoSize::None;
        for (int i = 0; i < 4; ++i)
          if (equalsIgnoringCase(name, kNames[i])) a = static_cast<AutoSize>(i);
        t.setAutoSize(a);
      }
      break;
    }
    case 7:  // text
      if (set) t.setText(unitsOf(e, v));
      else c.result = stringOf(e, t.text());
      break;
    case 8:  // type
      if (set) {
        const std::string type = e.toStdString(v);
        if (type == "dynamic") t.setFlag(kFieldReadOnly, true);
        else if (type == "input") t.setFlag(kFieldReadOnly, false);
      } else {
        c.result = e.makeString(t.hasFlag(kFieldReadOnly) ? "dynamic" : "input");
      }
      break;
    case 9: {  // htmlText
      const bool html = t.hasFlag(kFieldHtml);
      if (set) {
        const std::string text = e.toStdString(v);
        if (html && text == fieldText(t, true, e.codePage())) break;  // unchanged
        if (html) {
          setFieldText(t, text, true, e.codePage());
        } else {
          std::u16string units = unitsOf(e, v);
          for (char16_t& u : units)
            if (u == u'\r') u = u'\n';
          t.setText(units);
        }
      } else {
        c.result = html ? e.makeString(fieldText(t, true, e.codePage())) : stringOf(e, t.text());
      }
      break;
    }
    case 10:  // variable
      if (set) t.setVariable(v.isNullish() ? std::string() : e.toStdString(v));
      else c.result = t.variable().empty() ? ScriptValue::null() : e.makeString(t.variable());
      break;
    case 11:
      if (set) t.setHScroll(toInt32(e, v));
      else c.result = ScriptValue::number(t.hscroll());
      break;
    case 12:
      if (!set) c.result = ScriptValue::number(t.maxHScroll());
      break;
    case 13:  // maxChars
      if (set) t.setMaxChars(v.isNullish() ? 0 : static_cast<uint32_t>(std::max(0, toInt32(e, v))));
      else c.result = t.maxChars() ? ScriptValue::number(t.maxChars()) : ScriptValue::null();
      break;
    case 14: flag(kFieldEmbedFonts); break;
    case 15: flag(kFieldHtml); break;
    case 16: flag(kFieldBorder); break;
    case 17: flag(kFieldBackground); break;
    case 18: flag(kFieldWordWrap); break;
    case 19: flag(kFieldPassword); break;
    case 20: flag(kFieldMultiline); break;
    case 21: flag(kFieldNoSelect, true); break;
    case 22:
      if (!set) c.result = ScriptValue::number(static_cast<double>(t.text().size()));
      break;
    case 23:
      if (!set) c.result = ScriptValue::number(t.bottomScroll());
      break;
    case 24:
      if (!set) c.result = ScriptValue::number(t.layout().textWidth() / 20.0);
      break;
    case 25:
      if (!set) c.result = ScriptValue::number(t.layout().textHeight() / 20.0);
      break;
    case 26:  // restrict
      if (set) {
        if (v.isNullish()) t.setRestrict(std::nullopt);
        else t.setRestrict(unitsOf(e, v));
      } else {
        c.result = t.restrict() ? stringOf(e, t.restrict()->source()) : ScriptValue::null();
      }
      break;
    case 27:
      if (set) t.setCondenseWhite(e.toBoolean(v));
      else c.result = ScriptValue::boolean(t.condenseWhite());
      break;
  }
}

void construct(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (!c.construct || !self) return;
  for (int k = 0; k < kPropertyCount; ++k)
    e.addAccessor(self, kProperties[k], e.makeNative(kNativeTextField, static_cast<uint16_t>(2 * k + 1), false),
                  e.makeNative(kNativeTextField, static_cast<uint16_t>(2 * k + 2), false));
}

void replaceSel(NativeCall& c) {
  Field f = fieldOf(c);
  if (f && c.argc >= 1) f.field->replaceSelection(unitsOf(c.engine, c.arg(0)));
}

// The range of getTextFormat / setTextFormat: none (the whole text), one
// index (that character) or two.
void rangeOf(NativeCall& c, int argc, const EditField& t, size_t& b, size_t& e) {
  ScriptEngine& en = c.engine;
  const size_t n = t.text().size();
  b = 0;
  e = n;
  auto index = [&](int i) {
    const double d = en.toNumber(c.arg(i));
    return std::isfinite(d) && d > 0 ? static_cast<size_t>(std::min<double>(d, n)) : size_t{0};
  };
  if (argc >= 1) {
    b = index(0);
    e = std::min(n, b + 1);
  }
  if (argc >= 2) e = std::max(b, index(1));
}

void getTextFormat(NativeCall& c) {
  Field f = fieldOf(c);
  if (!f) return;
  size_t b, e;
  rangeOf(c, c.argc, *f.field, b, e);
  c.result = makeTextFormatObject(c.engine, f.field->buffer().formatOf(b, e, f.field->newTextFormat()));
}

void setTextFormat(NativeCall& c) {
  Field f = fieldOf(c);
  if (!f || c.argc < 1) return;
  ScriptObject* format = c.engine.toObject(c.arg(c.argc - 1));
  if (!format) return;
  size_t b, e;
  rangeOf(c, c.argc - 1, *f.field, b, e);
  f.field->applyFormat(b, e, textFormatSpecOf(c.engine, format));
}

void getNewTextFormat(NativeCall& c) {
  Field f = fieldOf(c);
  if (f) c.result = makeTextFormatObject(c.engine, TextFormatSpec::of(f.field->newTextFormat()));
}

void setNewTextFormat(NativeCall& c) {
  Field f = fieldOf(c);
  ScriptObject* format = f && c.argc >= 1 ? c.engine.toObject(c.arg(0)) : nullptr;
  if (!format) return;
  RunFormat next = f.field->newTextFormat();
  textFormatSpecOf(c.engine, format).applyTo(next);
  f.field->setNewTextFormat(next);
}

void removeTextField(NativeCall& c) {
  ScriptEngine& e = c.engine;
  Field f = fieldOf(c);
  if (!f || !f.object->parent()) return;
  const int32_t depth = f.object->depth();
  if (depth < kScriptDepthBase || depth > 0x103FFF) return;
  ScriptObject* self = e.toObject(c.thisValue);
  if (self) e.clips().removeSprite(*self);
}

void getDepth(NativeCall& c) {
  Field f = fieldOf(c);
  if (f) c.result = ScriptValue::number(f.object->depth() - kScriptDepthBase);
}

// MovieClip.createTextField(name, depth, x, y, width, height)
void createTextField(NativeCall& c) {
  ScriptEngine& e = c.engine;
  DisplayObject* self = clipOf(e, c.thisValue);
  if (!self || c.argc < 6) return;
  TimelinePlayer* owner = self->timeline() ? &self->timeline()->root() : nullptr;
  if (!owner) return;
  const int64_t depth = static_cast<int64_t>(toInt32(e, c.arg(1))) + kScriptDepthBase;
  if (depth < 0 || depth >= kReservedLevel) return;
  auto twips = [&](int i) {
    const double d = e.toNumber(c.arg(i)) * 20;
    return std::isfinite(d) ? static_cast<int32_t>(std::clamp(d, -1e8, 1e8)) : 0;
  };
  auto field = std::make_shared<Character>();
  field->kind = CharacterKind::EditText;
  field->owner = owner;
  field->bounds = RECT{0, std::max(0, twips(4)), 0, std::max(0, twips(5))};
  MATRIX m;
  m.tx = twips(2);
  m.ty = twips(3);
  DisplayObject* placed = e.displayClips().placeScriptClip(*self, field, e.toStdString(c.arg(0)),
                                                           static_cast<int32_t>(depth), m, CXFORM{}, nullptr);
  if (!placed) return;
  c.result = e.displayClips().clipValue(placed);
  // Fields made by scripts tell listeners of their changes.
  if (ScriptObject* o = e.toObject(c.result)) {
    ScriptObject* listeners = e.newArray();
    ScriptValue keep = ScriptValue::object(listeners);
    e.setMember(o, "_listeners", keep, kDontEnum);
    e.setMember(listeners, "0", c.result);
  }
}

// TextField.getFontList(): the movie's font names, then the system's
// generic names.
void getFontList(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* list = e.newArray();
  c.result = ScriptValue::object(list);
  std::set<std::string> names;
  if (TimelinePlayer* root = e.player().level0()) root->fonts().fontNames(names);
  for (const char* generic : {"_sans", "_serif", "_typewriter"}) names.insert(generic);
  size_t i = 0;
  for (const std::string& n : names) e.setMember(list, std::to_string(i++), e.makeString(n));
}

constexpr NativeMethod kTextFieldMethods[] = {
    {0, "TextField", construct},
    {1, "scroll getter", property}, {2, "scroll setter", property}, {3, "maxscroll getter", property},
    {4, "maxscroll setter", property}, {5, "borderColor getter", property}, {6, "borderColor setter", property},
    {7, "backgroundColor getter", property}, {8, "backgroundColor setter", property},
    {9, "textColor getter", property}, {10, "textColor setter", property}, {11, "tabIndex getter", property},
    {12, "tabIndex setter", property}, {13, "autoSize getter", property}, {14, "autoSize setter", property},
    {15, "text getter", property}, {16, "text setter", property}, {17, "type getter", property},
    {18, "type setter", property}, {19, "htmlText getter", property}, {20, "htmlText setter", property},
    {21, "variable getter", property}, {22, "variable setter", property}, {23, "hscroll getter", property},
    {24, "hscroll setter", property}, {25, "maxhscroll getter", property}, {26, "maxhscroll setter", property},
    {27, "maxChars getter", property}, {28, "maxChars setter", property}, {29, "embedFonts getter", property},
    {30, "embedFonts setter", property}, {31, "html getter", property}, {32, "html setter", property},
    {33, "border getter", property}, {34, "border setter", property}, {35, "background getter", property},
    {36, "background setter", property}, {37, "wordWrap getter", property}, {38, "wordWrap setter", property},
    {39, "password getter", property}, {40, "password setter", property}, {41, "multiline getter", property},
    {42, "multiline setter", property}, {43, "selectable getter", property}, {44, "selectable setter", property},
    {45, "length getter", property}, {46, "length setter", property}, {47, "bottomScroll getter", property},
    {48, "bottomScroll setter", property}, {49, "textWidth getter", property}, {50, "textWidth setter", property},
    {51, "textHeight getter", property}, {52, "textHeight setter", property}, {53, "restrict getter", property},
    {54, "restrict setter", property}, {55, "condenseWhite getter", property},
    {56, "condenseWhite setter", property},
    {100, "replaceSel", replaceSel}, {101, "getTextFormat", getTextFormat}, {102, "setTextFormat", setTextFormat},
    {103, "removeTextField", removeTextField}, {104, "getNewTextFormat", getNewTextFormat},
    {105, "setNewTextFormat", setNewTextFormat}, {106, "getDepth", getDepth},
    {200, "createTextField", createTextField}, {201, "getFontList", getFontList},
};

}  // namespace

const NativeClass kTextFieldNatives{kNativeTextField, "TextField", kTextFieldMethods};

}  // namespace kivra
