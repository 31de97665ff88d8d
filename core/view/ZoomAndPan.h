#pragma once
// Zooming and panning on top of the display's view transform: client pixels
// back to movie twips, the visible part of the movie, and the zoom rectangle
// that Zoom In/Out and dragging the background produce.
#include <cstdint>

#include "core/format/Records.h"
#include "core/view/ViewTransform.h"

namespace kivra {

// A client pixel as movie twips.
void clientToMovie(const ViewTransform& view, int x, int y, int32_t& tx, int32_t& ty);

// The client area mapped back into movie twips.
RECT visibleRectangle(const ViewTransform& view, int clientWidth, int clientHeight);

// Zooming: the visible rectangle scaled by `factor` (0x8000 zooms in,
// 0x20000 out), no smaller than the client size, centred on (cx, cy) twips,
// shifted into `frame` and clipped to it. Returns false when the result is
// empty or covers the whole frame, which means "show all" instead.
[[nodiscard]] bool zoomRectangle(const RECT& visible, const RECT& frame, Fixed16 factor, int32_t cx,
                   int32_t cy, int clientWidth, int clientHeight, RECT& out);

// The zoom rectangle moved by (dx, dy) twips, kept inside `frame`.
RECT panRectangle(const RECT& zoom, const RECT& frame, int32_t dx, int32_t dy);

// A pointer movement of (dx, dy) client pixels as twips under the view.
void pixelsToTwips(const ViewTransform& view, int dx, int dy, int32_t& tx, int32_t& ty);

}  // namespace kivra
