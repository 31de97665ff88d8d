#pragma once
// Whether a character's outline covers a device point. The shape is decoded
// anew for every test into one scratch build kept between calls.
//
// Single-threaded: the player's thread, between frame steps.
#include <cstdint>

#include "core/format/Records.h"
#include "core/movie/Character.h"
#include "core/render/Drawing.h"
#include "core/render/ShapeBuild.h"
#include "core/render/ShapeParser.h"

namespace kivra {

class OutlineHit {
 public:
  // The anti-aliasing factor the display's sub-pixels use.
  void setFactor(int factor) { factor_ = factor; }
  bool covers(const Character& c, const MATRIX& device, uint16_t ratio, int64_t x, int64_t y);
  // The same for a clip's scripted drawing: its fills and its lines.
  bool coversDrawing(const Drawing& d, const MATRIX& device, int64_t x, int64_t y);

 private:
  ShapeParser parser_;
  DrawingReplay replay_;
  ShapeBuild build_;
  int factor_ = 1;
};

// Whether the point lies in the device box of `bounds`, edges included.
bool insideBox(const MATRIX& device, const RECT& bounds, int64_t x, int64_t y);

}  // namespace kivra
