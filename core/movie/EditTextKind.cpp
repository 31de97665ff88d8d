// Edit text fields: hit anywhere in their box; scripts see a TextField.
// Each instance gets its field when placed.
#include "core/movie/CharacterKinds.h"
#include "core/movie/DisplayObject.h"
#include "core/movie/EditTextFields.h"

namespace kivra {

namespace {
void placed(Display& display, DisplayObject& object) {
  (void)display;
  const Character* c = object.character();
  if (object.editField() || !c->owner) return;
  object.setEditField(makeTagField(*c, *c->owner, object.version()));
  syncFieldBox(object);
}
}  // namespace

extern const CharacterKindOps kEditTextKind;
const CharacterKindOps kEditTextKind{
    .dumpName = "edittext",
    .drawnArea = kindparts::ownBounds,
    .ownBox = true,
    .boxInFocusRect = true,
    .hitTest = kindparts::boxHit,
    .autoNamedFrom = 6,
    .placed = placed,
    .scriptable = true,
    .plainScriptObject = true,
    .scriptClass = "TextField",
};

}  // namespace kivra
