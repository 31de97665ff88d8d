// Buttons: their state records are shown inside them as children, and the
// pointer and the keyboard track them.
#include "core/movie/ButtonStates.h"
#include "core/movie/CharacterKinds.h"
#include "core/movie/Display.h"

namespace kivra {

namespace {
void placed(Display& display, DisplayObject& button) {
  // A button where the tracked one stood keeps its state.
  button.setButtonState(static_cast<uint8_t>(display.buttonTracker().adopt(button)));
  ButtonStates::showInitial(display, button);
}
}  // namespace

extern const CharacterKindOps kButtonKind;
const CharacterKindOps kButtonKind{
    .dumpName = "button",
    .button = true,
    .autoNamedFrom = 0,
    .placed = placed,
    .scriptable = true,
    .plainScriptObject = true,
    .scriptClass = "Button",
};

}  // namespace kivra
