// Stage properties (class 666): getter/setter pairs for scaleMode, align,
// width, height and showMenu.
#include "core/script/PlayerServices.h"
#include "core/movie/CaseInsensitive.h"
#include "core/script/NativeHelpers.h"

namespace kivra {

namespace {
constexpr const char* kScaleModes[] = {"showAll", "noBorder", "exactFit", "noScale"};
struct AlignLetter {
  char letter;
  uint8_t flag;
};
constexpr AlignLetter kAlign[] = {{'L', kAlignLeft}, {'T', kAlignTop}, {'R', kAlignRight}, {'B', kAlignBottom}};
}  // namespace

void stageNatives(NativeCall& c) {
  ScriptEngine& e = c.engine;
  PlayerServices& p = e.player();
  switch (c.method) {
    case 1:
      c.result = e.makeString(kScaleModes[static_cast<int>(p.scaleMode()) & 3]);
      break;
    case 2: {
      const std::string mode = e.toStdString(c.arg(0));
      int m = 0;
      for (int i = 1; i < 4; ++i)
        if (equalsIgnoringCase(mode, kScaleModes[i])) m = i;
      if (m != static_cast<int>(p.scaleMode())) p.setScaleMode(static_cast<uint8_t>(m) | p.alignment());
      break;
    }
    case 3: {
      std::string letters;
      for (const AlignLetter& a : kAlign)
        if (p.alignment() & a.flag) letters += a.letter;
      c.result = e.makeString(letters);
      break;
    }
    case 4: {
      uint8_t align = 0;
      for (char ch : e.toStdString(c.arg(0)))
        for (const AlignLetter& a : kAlign)
          if (foldCase(ch) == a.letter) align |= a.flag;
      if (align != p.alignment()) p.setScaleMode(static_cast<uint8_t>(static_cast<uint8_t>(p.scaleMode()) | align));
      break;
    }
    case 5:
      c.result = ScriptValue::number(p.display().stageWidth());
      break;
    case 7:
      c.result = ScriptValue::number(p.display().stageHeight());
      break;
    case 9:
      c.result = ScriptValue::boolean(p.showMenu());
      break;
    case 10:
      if (c.argc >= 1) p.setShowMenuFromScript(e.toBoolean(c.arg(0)));
      break;
    default:
      break;  // width and height are read-only
  }
}

}  // namespace kivra
