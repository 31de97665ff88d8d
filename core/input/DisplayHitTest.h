#pragma once
// Hit testing over the display tree: which interactive object lies under a
// point, and whether the shapes of an object (with everything inside it)
// cover a point. Points are in device sub-pixels, the space the display's
// view maps to. Shapes are decoded anew for every test into one scratch
// build that the tester keeps between calls.
//
// Single-threaded: the player's thread, between frame steps.
#include <cstdint>

#include "core/movie/Display.h"
#include "core/movie/OutlineHit.h"

namespace kivra {

// What the tester needs to know about objects beyond the display tree.
class HitTestPolicy {
 public:
  virtual ~HitTestPolicy() = default;
  // A sprite whose clip actions or script object handle a button event.
  virtual bool actsAsButton(const DisplayObject& sprite) = 0;
  // The clip named by the sprite's `hitArea` property, or null.
  virtual const DisplayObject* hitArea(const DisplayObject& sprite) = 0;
};

class DisplayHitTest {
 public:
  // The topmost button, or sprite acting as one, under the point; null when
  // none or when the point lies outside the view.
  DisplayObject* interactiveAt(const Display& display, int64_t x, int64_t y, HitTestPolicy& policy);
  // Whether the object's shapes, or those of anything inside it, cover the
  // point. For a button, its hit-test records are tested.
  bool objectHit(const Display& display, const DisplayObject& object, int64_t x, int64_t y);
  // The topmost sprite or level root with a shape under the point, leaving
  // out `exclude` and everything inside it (the clip being dragged).
  const DisplayObject* clipAt(const Display& display, int64_t x, int64_t y, const DisplayObject* exclude);
  // The device matrix of an object: its own and its parents' matrices, then
  // the view.
  static MATRIX deviceMatrix(const Display& display, const DisplayObject& object);

 private:
  struct Walk;
  bool subtreeHit(const DisplayObject& object, const MATRIX& device, int64_t x, int64_t y, int nesting);
  bool buttonHit(const DisplayObject& button, const MATRIX& device, int64_t x, int64_t y);
  bool spriteRecordHit(const Character& sprite, const MATRIX& device, int64_t x, int64_t y, int nesting);
  void search(const DisplayObject& parent, const MATRIX& parentDevice, Walk& walk, int nesting);

  OutlineHit outlines_;
  const DisplayObject* skip_ = nullptr;  // left out of every subtree (clipAt)
};

}  // namespace kivra
