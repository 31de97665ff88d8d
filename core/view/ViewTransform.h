#pragma once
// The view: how movie coordinates (twips) map to the window's device
// sub-pixels (pixels times the anti-aliasing factor), from the client area,
// the framed rectangle, the scale mode and the alignment.
#include <cstdint>

#include "core/render/DirtyArea.h"
#include "core/format/Records.h"

namespace kivra {

enum class ScaleMode : uint8_t { ShowAll = 0, NoBorder = 1, ExactFit = 2, NoScale = 3 };

// Alignment flags; neither of a pair set means centred on that axis.
enum ViewAlign : uint8_t {
  kAlignLeft = 0x10,
  kAlignRight = 0x20,
  kAlignTop = 0x40,
  kAlignBottom = 0x80,
};

struct ViewRequest {
  DeviceRect client;       // pixels; empty: the framed rectangle's own size
  RECT frame;              // the movie's frame rectangle, twips
  const RECT* zoom = nullptr;  // a zoom rectangle when one is set
  // Low 4 bits: ScaleMode; high bits: ViewAlign flags.
  uint8_t modeAndAlign = 0;
  int quality = 2;         // 0 low, 1 medium, 2 high
  bool operator==(const ViewRequest&) const = default;
};

struct ViewTransform {
  int aaFactor = 1;   // 1 << quality
  DeviceRect view;    // the client area in sub-pixels
  MATRIX matrix;      // twips -> sub-pixels
  bool operator==(const ViewTransform&) const = default;

  static ViewTransform compute(const ViewRequest& request);
  // A point in twips to sub-pixels, and a rectangle to its device bounds.
  void map(Twips x, Twips y, int32_t& dx, int32_t& dy) const;
  // A client-area pixel to stage twips; false when the view has no inverse.
  bool clientToStage(double px, double py, double& sx, double& sy) const;
  // Stage twips to client-area pixels.
  void stageToClient(double sx, double sy, double& px, double& py) const;
};

// A point through the inverse of a matrix; false when it has none.
bool inverseMap(const MATRIX& m, double x, double y, double& ox, double& oy);
// A point through a matrix, in doubles.
void forwardMap(const MATRIX& m, double x, double y, double& ox, double& oy);

// The product of two matrices: `child` is applied first, then `parent`.
MATRIX concat(const MATRIX& child, const MATRIX& parent);
// The axis-aligned bounds of a rectangle after a matrix (same units out as
// the matrix produces).
RECT transformRect(const MATRIX& m, const RECT& r);
// Colour transforms combine the same way: `child` first, then `parent`.
CXFORM concat(const CXFORM& child, const CXFORM& parent);

}  // namespace kivra
