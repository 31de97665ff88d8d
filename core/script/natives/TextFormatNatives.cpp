// TextFormat (class 110): the constructor fills the sixteen properties in
// their order (null unless given) and adds getTextExtent.
#include "core/script/natives/TextFormatNatives.h"

#include <cmath>

#include "core/format/CaseInsensitive.h"
#include "core/format/TextEncoding.h"
#include "core/movie/MovieFonts.h"
#include "core/movie/TimelinePlayer.h"
#include "core/script/PlayerServices.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

constexpr const char* kNames[] = {"font",     "size",        "color",       "url",    "target",  "bold",
                                  "italic",   "underline",   "align",       "leftMargin", "rightMargin",
                                  "indent",   "leading",     "blockIndent", "tabStops", "bullet"};

const char* alignName(TextAlign a) {
  return a == TextAlign::Right ? "right" : a == TextAlign::Center ? "center" : "left";
}

ScriptValue twipsToPixels(int32_t t) { return ScriptValue::number(t / 20.0); }

void put(ScriptEngine& e, ScriptObject* o, const char* name, bool has, ScriptValue v) {
  e.setMember(o, name, has ? std::move(v) : ScriptValue::null());
}

void construct(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (!c.construct || !self) return;
  // new TextFormat(font, size, color, bold, italic, underline, url, target,
  // align, leftMargin, rightMargin, indent, leading)
  static constexpr int kArgOrder[] = {0, 1, 2, 5, 6, 7, 3, 4, 8, 9, 10, 11, 12};
  ScriptValue values[16];
  for (auto& v : values) v = ScriptValue::null();
  for (int i = 0; i < c.argc && i < 13; ++i) values[kArgOrder[i]] = c.arg(i);
  for (int i = 0; i < 16; ++i) e.setMember(self, kNames[i], values[i]);
  e.setMember(self, "getTextExtent", e.makeNative(kNativeTextFormat, 1, false), kDontEnum);
}

// getTextExtent(text): the width and height of one line of it in this
// format's font and size, pixels.
void getTextExtent(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (!self) return;
  const TextFormatSpec spec = textFormatSpecOf(e, self);
  RunFormat f;
  spec.applyTo(f);
  std::u16string units;
  text::widen(e.toStdString(c.arg(0)), e.version() <= 5, e.codePage(), units);
  int32_t width = 0, height = 0;
  if (TimelinePlayer* root = e.player().level0()) {
    std::shared_ptr<MovieTextFonts> fonts = root->fonts().textFonts();
    if (TextFace* face = fonts->face(f.chars, false)) {
      for (char16_t u : units) width += scaleToSize(face->advance(u), f.chars.size);
      const TextFaceMetrics m = face->metrics();
      height = scaleToSize(m.ascent + m.descent, f.chars.size);
    }
  }
  ScriptObject* out = e.newObject();
  c.result = ScriptValue::object(out);
  e.setMember(out, "width", twipsToPixels(width));
  e.setMember(out, "height", twipsToPixels(height));
}

constexpr NativeMethod kTextFormatMethods[] = {{0, "TextFormat", construct}, {1, "getTextExtent", getTextExtent}};

}  // namespace

ScriptValue makeTextFormatObject(ScriptEngine& e, const TextFormatSpec& s) {
  ScriptObject* o = e.newObject();
  ScriptValue keep = ScriptValue::object(o);
  ScriptValue ctor = e.getMember(ScriptValue::object(e.global()), "TextFormat");
  if (ScriptObject* fn = e.toObject(ctor)) {
    ScriptValue proto;
    if (e.getMember(fn, "prototype", proto) && e.toObject(proto)) e.setMember(o, "__proto__", proto, kDontEnum);
  }
  const CharFormat& ch = s.value.chars;
  const ParagraphFormat& p = s.value.paragraph;
  put(e, o, "font", s.hasFont, e.makeString(ch.font));
  put(e, o, "size", s.hasSize, ScriptValue::number(std::abs(ch.size) / 20.0));
  put(e, o, "color", s.hasColor, ScriptValue::number(ch.color & 0xFFFFFF));
  put(e, o, "url", s.hasUrl, e.makeString(ch.url));
  put(e, o, "target", s.hasTarget, e.makeString(ch.target));
  put(e, o, "bold", s.hasBold, ScriptValue::boolean(ch.bold));
  put(e, o, "italic", s.hasItalic, ScriptValue::boolean(ch.italic));
  put(e, o, "underline", s.hasUnderline, ScriptValue::boolean(ch.underline));
  put(e, o, "align", s.hasAlign, e.makeString(alignName(p.align)));
  put(e, o, "leftMargin", s.hasLeftMargin, twipsToPixels(p.leftMargin));
  put(e, o, "rightMargin", s.hasRightMargin, twipsToPixels(p.rightMargin));
  put(e, o, "indent", s.hasIndent, twipsToPixels(p.indent));
  put(e, o, "leading", s.hasLeading, twipsToPixels(p.leading));
  put(e, o, "blockIndent", s.hasBlockIndent, twipsToPixels(p.blockIndent));
  if (s.hasTabStops) {
    ScriptObject* a = e.newArray();
    ScriptValue arr = ScriptValue::object(a);
    for (size_t i = 0; i < p.tabStops.size(); ++i)
      e.setMember(a, std::to_string(i), ScriptValue::number(p.tabStops[i]));
    e.setMember(o, "tabStops", arr);
  } else {
    e.setMember(o, "tabStops", ScriptValue::null());
  }
  put(e, o, "bullet", s.hasBullet, ScriptValue::boolean(p.bullet));
  e.setMember(o, "getTextExtent", e.makeNative(kNativeTextFormat, 1, false), kDontEnum);
  return keep;
}

TextFormatSpec textFormatSpecOf(ScriptEngine& e, ScriptObject* o) {
  TextFormatSpec s;
  if (!o) return s;
  auto get = [&](const char* name, ScriptValue& v) { return e.getMember(o, name, v) && !v.isNullish(); };
  auto pixels = [&](const ScriptValue& v) {
    const double d = e.toNumber(v) * 20;
    return std::isfinite(d) ? static_cast<int32_t>(std::clamp(d, -1e9, 1e9)) : 0;
  };
  ScriptValue v;
  CharFormat& ch = s.value.chars;
  ParagraphFormat& p = s.value.paragraph;
  if ((s.hasFont = get("font", v))) ch.font = e.toStdString(v);
  if ((s.hasSize = get("size", v))) ch.size = pixels(v);
  if ((s.hasColor = get("color", v))) ch.color = 0xFF000000 | (static_cast<uint32_t>(toInt32(e, v)) & 0xFFFFFF);
  if ((s.hasUrl = get("url", v))) ch.url = e.toStdString(v);
  if ((s.hasTarget = get("target", v))) ch.target = e.toStdString(v);
  if ((s.hasBold = get("bold", v))) ch.bold = e.toBoolean(v);
  if ((s.hasItalic = get("italic", v))) ch.italic = e.toBoolean(v);
  if ((s.hasUnderline = get("underline", v))) ch.underline = e.toBoolean(v);
  if ((s.hasAlign = get("align", v))) {
    const std::string a = e.toStdString(v);
    p.align = equalsIgnoringCase(a, "right") ? TextAlign::Right
              : equalsIgnoringCase(a, "center") ? TextAlign::Center : TextAlign::Left;
  }
  if ((s.hasLeftMargin = get("leftMargin", v))) p.leftMargin = pixels(v);
  if ((s.hasRightMargin = get("rightMargin", v))) p.rightMargin = pixels(v);
  if ((s.hasIndent = get("indent", v))) p.indent = pixels(v);
  if ((s.hasLeading = get("leading", v))) p.leading = pixels(v);
  if ((s.hasBlockIndent = get("blockIndent", v))) p.blockIndent = pixels(v);
  if ((s.hasTabStops = get("tabStops", v))) {
    if (ScriptObject* a = e.toObject(v)) {
      ScriptValue len;
      e.getMember(a, "length", len);
      const int32_t n = std::clamp(toInt32(e, len), 0, 1000);
      for (int32_t i = 0; i < n; ++i) {
        ScriptValue item;
        e.getMember(a, std::to_string(i), item);
        p.tabStops.push_back(toInt32(e, item));
      }
    }
  }
  if ((s.hasBullet = get("bullet", v))) p.bullet = e.toBoolean(v);
  return s;
}

const NativeClass kTextFormatNatives{kNativeTextFormat, "TextFormat", kTextFormatMethods};

}  // namespace kivra
