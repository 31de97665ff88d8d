#pragma once
// The view: how the movie's frame (or the zoomed part of it) is fitted into
// the client area. Scale and translation are kept in sub-pixels (pixels
// times the anti-aliasing factor) so that the renderer can use them as they
// are.
#include <cstdint>

#include "core/movie/Records.h"

namespace kivra {

// The stage's scale mode (the low 4 bits of the setting).
enum class ScaleMode : uint8_t { ShowAll = 0, NoBorder = 1, ExactFit = 2, NoScale = 3 };

// Alignment flags (the high bits of the setting); neither flag of a pair
// centres the movie on that axis.
constexpr uint8_t kAlignLeft = 0x10;
constexpr uint8_t kAlignRight = 0x20;
constexpr uint8_t kAlignTop = 0x40;
constexpr uint8_t kAlignBottom = 0x80;

struct ViewTransform {
  Fixed16 scaleX = kFixedOne / 20;  // sub-pixels per twip
  Fixed16 scaleY = kFixedOne / 20;
  int32_t translateX = 0;  // sub-pixels
  int32_t translateY = 0;
  int factor = 1;  // sub-pixels per pixel: 1, 2 or 4
  bool operator==(const ViewTransform&) const = default;
};

// The view for a client area of clientWidth x clientHeight pixels showing
// `framed` (twips) in `mode` with `align`. An empty client area is taken as
// the framed rectangle's own size in pixels.
ViewTransform computeView(int clientWidth, int clientHeight, const RECT& framed, ScaleMode mode,
                          uint8_t align, int factor);

// A client pixel as movie twips.
void clientToMovie(const ViewTransform& view, int x, int y, int32_t& tx, int32_t& ty);

// The client area mapped back into movie twips.
RECT visibleRectangle(const ViewTransform& view, int clientWidth, int clientHeight);

// Zooming: the visible rectangle scaled by `factor` (0x8000 zooms in,
// 0x20000 out), no smaller than the client size, centred on (cx, cy) twips,
// shifted into `frame` and clipped to it. Returns false when the result is
// empty or covers the whole frame, which means "show all" instead.
bool zoomRectangle(const RECT& visible, const RECT& frame, Fixed16 factor, int32_t cx,
                   int32_t cy, int clientWidth, int clientHeight, RECT& out);

// The zoom rectangle moved by (dx, dy) twips, kept inside `frame`.
RECT panRectangle(const RECT& zoom, const RECT& frame, int32_t dx, int32_t dy);

}  // namespace kivra
