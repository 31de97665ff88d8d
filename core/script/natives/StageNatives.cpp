// Stage properties (class 666): getter/setter pairs for scaleMode, align,
// width, height and showMenu.
#include "core/script/PlayerServices.h"
#include "core/format/CaseInsensitive.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

constexpr const char* kScaleModes[] = {"showAll", "noBorder", "exactFit", "noScale"};
struct AlignLetter {
  char letter;
  uint8_t flag;
};
constexpr AlignLetter kAlign[] = {{'L', kAlignLeft}, {'T', kAlignTop}, {'R', kAlignRight}, {'B', kAlignBottom}};

void getScaleMode(NativeCall& c) {
  ScriptEngine& e = c.engine;
  PlayerServices& p = e.player();
  c.result = e.makeString(kScaleModes[static_cast<int>(p.scaleMode()) & 3]);
}

void setScaleMode(NativeCall& c) {
  ScriptEngine& e = c.engine;
  PlayerServices& p = e.player();
  const std::string mode = e.toStdString(c.arg(0));
  int m = 0;
  for (int i = 1; i < 4; ++i)
    if (equalsIgnoringCase(mode, kScaleModes[i])) m = i;
  if (m != static_cast<int>(p.scaleMode())) p.setScaleMode(static_cast<uint8_t>(m) | p.alignment());
}

void getAlign(NativeCall& c) {
  ScriptEngine& e = c.engine;
  PlayerServices& p = e.player();
  std::string letters;
  for (const AlignLetter& a : kAlign)
    if (p.alignment() & a.flag) letters += a.letter;
  c.result = e.makeString(letters);
}

void setAlign(NativeCall& c) {
  ScriptEngine& e = c.engine;
  PlayerServices& p = e.player();
  uint8_t align = 0;
  for (char ch : e.toStdString(c.arg(0)))
    for (const AlignLetter& a : kAlign)
      if (foldCase(ch) == a.letter) align |= a.flag;
  if (align != p.alignment()) p.setScaleMode(static_cast<uint8_t>(static_cast<uint8_t>(p.scaleMode()) | align));
}

void getWidth(NativeCall& c) {
  ScriptEngine& e = c.engine;
  PlayerServices& p = e.player();
  c.result = ScriptValue::number(p.display().stageWidth());
}

void getHeight(NativeCall& c) {
  ScriptEngine& e = c.engine;
  PlayerServices& p = e.player();
  c.result = ScriptValue::number(p.display().stageHeight());
}

void getShowMenu(NativeCall& c) {
  ScriptEngine& e = c.engine;
  PlayerServices& p = e.player();
  c.result = ScriptValue::boolean(p.showMenu());
}

void setShowMenu(NativeCall& c) {
  ScriptEngine& e = c.engine;
  PlayerServices& p = e.player();
  if (c.argc >= 1) p.setShowMenuFromScript(e.toBoolean(c.arg(0)));
}

// Width and height are read-only: 6 and 8, their setters, have no entry.
constexpr NativeMethod kStageMethods[] = {
    {1, "scaleMode getter", getScaleMode}, {2, "scaleMode setter", setScaleMode},
    {3, "align getter", getAlign},         {4, "align setter", setAlign},
    {5, "width getter", getWidth},         {7, "height getter", getHeight},
    {9, "showMenu getter", getShowMenu},   {10, "showMenu setter", setShowMenu},
};

}  // namespace

const NativeClass kStageNatives{kNativeStage, "Stage", kStageMethods};

}  // namespace kivra
