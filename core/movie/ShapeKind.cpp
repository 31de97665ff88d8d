// Shapes: drawn and hit by their outline, and nothing of them shows outside
// their bounds.
#include "core/movie/CharacterKinds.h"
#include "core/movie/OutlineHit.h"

namespace kivra {

namespace {
bool hitTest(const Character& c, const MATRIX& device, uint16_t ratio, int64_t x, int64_t y, OutlineHit& outlines) {
  // Outside the character's bounds nothing can hit: no need to decode it.
  if (!insideBox(device, c.bounds, x, y)) return false;
  return outlines.covers(c, device, ratio, x, y);
}
}  // namespace

extern const CharacterKindOps kShapeKind;
const CharacterKindOps kShapeKind{
    .dumpName = "shape",
    .drawnArea = kindparts::ownBounds,
    .buildDraw = kindparts::drawFromTag,
    .culledOutside = true,
    .ownBox = true,
    .boxInFocusRect = true,
    .hitTest = hitTest,
    .hitByOutline = true,
};

}  // namespace kivra
