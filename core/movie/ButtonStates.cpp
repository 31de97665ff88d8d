#include "core/movie/ButtonStates.h"

#include "core/movie/CharacterKinds.h"
#include "core/movie/Display.h"
#include "core/format/TagCursor.h"
#include "core/movie/TimelinePlayer.h"

namespace kivra {

namespace {
// A DefineButton takes its colour transform from DefineButtonCxform.
CXFORM recordCxform(const Character& button, const ButtonRecords& records, const ButtonRecord& r) {
  const Character::ButtonPart* part = button.button();
  if (records.second() || !part || !part->cxformData) return r.cxform;
  TagCursor in(part->cxformData, static_cast<int64_t>(part->cxformLength));
  const CXFORM cx = in.readCxform(false);
  return in.overrun() ? CXFORM{} : cx;
}

void placeRecords(Display& display, DisplayObject& button, uint8_t show, uint8_t except) {
  const Character* c = button.character();
  if (!c || !c->owner) return;
  const ButtonRecords records(*c);
  records.forEachRecord([&](const ButtonRecord& r) {
    if (!(r.states & show) || (r.states & except)) return;
    PlaceInfo info;
    info.flags = kPlaceHasCharacter | kPlaceHasMatrix | kPlaceHasCxform;
    info.character = c->owner->dictionary().lookup(r.characterId);
    // A record naming a missing character, or the button itself, shows nothing.
    if (!info.character || info.character.get() == c) return;
    info.depth = r.depth;
    info.matrix = r.matrix;
    info.cxform = recordCxform(*c, records, r);
    info.version = button.version();
    (void)display.place(button, info);
  });
}
}  // namespace

void ButtonStates::showInitial(Display& display, DisplayObject& button) {
  const auto mode = static_cast<ButtonMode>(button.buttonState());
  placeRecords(display, button, visibleStates(mode), 0);
}

void ButtonStates::setMode(Display& display, DisplayObject& button, ButtonMode mode) {
  const auto old = static_cast<ButtonMode>(button.buttonState());
  button.setButtonState(static_cast<uint8_t>(mode));
  const uint8_t was = visibleStates(old);
  const uint8_t now = visibleStates(mode);
  if (was == now || !kindOps(button.kind()).button) return;
  const Character* c = button.character();
  if (!c) return;
  // Records shown in the old mode and not in the new one go.
  ButtonRecords(*c).forEachRecord([&](const ButtonRecord& r) {
    if ((r.states & was) && !(r.states & now)) display.remove(button, r.depth);
  });
  placeRecords(display, button, now, was);
  display.invalidate(button);
}

}  // namespace kivra
