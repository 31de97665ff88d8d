// Static text: drawn and hit by its glyphs' outlines.
#include "core/movie/CharacterKinds.h"
#include "core/movie/OutlineHit.h"

namespace kivra {

namespace {
bool hitTest(const Character& c, const MATRIX& device, uint16_t ratio, int64_t x, int64_t y, OutlineHit& outlines) {
  if (!insideBox(device, c.bounds, x, y)) return false;
  return outlines.covers(c, device, ratio, x, y);
}
}  // namespace

extern const CharacterKindOps kStaticTextKind;
const CharacterKindOps kStaticTextKind{
    .dumpName = "text",
    .drawnArea = kindparts::ownBounds,
    .buildDraw = kindparts::drawFromTag,
    .culledOutside = true,
    .ownBox = true,
    .boxInFocusRect = true,
    .hitTest = hitTest,
    .hitByOutline = true,
};

}  // namespace kivra
