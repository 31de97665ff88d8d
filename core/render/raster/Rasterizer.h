#pragma once
// The anti-aliased scanline rasterizer. All objects of a frame go into one
// set of row buckets; a single top-to-bottom sweep keeps, at each x, the
// stack of fills covering it (the ActiveFillList, topmost first by OrderKey)
// and hands spans to the fills' span routines. Stacking, transparency and
// clipping masks are resolved in the sweep.
//
// Anti-aliasing is by supersampling at factor 1, 2 or 4: coordinates are in
// sub-pixels. At factors 2 and 4 a sub-row's solid spans are colour changes
// at their ends, kept in one coverage cell per pixel (weighted by the
// sub-columns they cover), and gradient and bitmap spans add their colours
// per pixel; at the end of each pixel row the cells' running sums give the
// pixels, written once per run of equal pixels. Where it pays (spans
// coloured from stacks of fills) and gives the same sums, a pixel row's
// sub-rows are swept together: the fill list changes once per crossing and
// each colour change is recorded at every sub-row's x.
//
// With a background every sample of the clip is painted, so the result
// never depends on what the target held. A fill whose edges do not close on
// a row (an open contour) is left off from the crossing that last turned it
// on: spread to the row's end it would hide everything below it.
//
// Lifecycle: beginFrame, addObject for every object in stacking order (a
// mask before the objects it clips), paint. The rasterizer keeps its pools
// and buffers between frames; the builds added must outlive paint().
#include <cstdint>
#include <vector>

#include "core/render/ColorTransform.h"
#include "core/render/RenderTarget.h"
#include "core/render/ShapeBuild.h"

namespace kivra {

// The compositing loops, in a portable and in processor-specific versions
// that produce identical bytes.
struct RasterKernels {
  const char* name;
  // acc[i] += c[i] . weight (weight <= 4)
  void (*addColors)(ExpandedPixel* acc, const ExpandedPixel* c, int n, uint32_t weight);
  // dst[i] = src[i] over dst[i]
  void (*over)(ExpandedPixel* dst, const ExpandedPixel* src, int n);
  // dst[i] = src over dst[i]
  void (*overSolid)(ExpandedPixel* dst, ExpandedPixel src, int n);
  // dst[i] = ((acc[i] >> shift) & lanes) over dst[i] for 0xAARRGGBB pixels;
  // acc[i] = 0 afterwards.
  void (*resolve32)(ExpandedPixel* acc, uint32_t* dst, int n, int shift);
  // dst[i] = v
  void (*fill32)(uint32_t* dst, int n, uint32_t v);
};

const RasterKernels& portableKernels();
// The fastest kernels this processor runs (SSE2 or AVX2 on x86-64).
const RasterKernels& fastKernels();

// The coverage of one pixel of the current pixel row: colour changes that
// fall inside it, each weighted by the sub-columns it covers (area) and by
// the whole pixel width (cover, carried to the pixels on its right). Four
// 16-bit lanes B, G, R, A each.
struct CoverCell {
  uint64_t area;
  uint64_t cover;
};

struct ClipRect {
  int left = 0, top = 0, right = 0, bottom = 0;  // pixels, right/bottom exclusive
};

class Rasterizer {
 public:
  static constexpr size_t kMaxActiveEdges = 1u << 18;
  static constexpr int kMaxStack = 12;

  Rasterizer();
  void setKernels(const RasterKernels& k) { kernels_ = &k; }
  const RasterKernels& kernels() const { return *kernels_; }

  // Starts a frame on `target` at anti-aliasing `factor` (1, 2 or 4); the
  // clip is intersected with the target. Returns false when nothing can be
  // painted.
  [[nodiscard]] bool beginFrame(RenderTarget& target, int factor, const ClipRect& clip);
  // Adds an object's edges and fills, stacked above everything added
  // before; `mask` is the mask fill clipping it, or null. With `shared`
  // set, every edge is given that fill instead of its own (one more part
  // of a mask made of several shapes).
  void addObject(ShapeBuild& build, const FillStyle* mask, FillStyle* shared = nullptr);
  // Sweeps every sub-row of the clip and paints.
  void paint();
  int factor() const { return factor_; }

  // At factors 2 and 4 a pixel row's sub-rows can be swept together where
  // that gives the same cells as sweeping them one by one. WhereItPays (the
  // default) tries it after rows where it paid; Always tries every row (a
  // row that does not fit is still swept by sub-rows); Off never does.
  // Tests compare Always with Off.
  enum class RowSweep : uint8_t { Off, WhereItPays, Always };
  void setRowSweep(RowSweep mode) { rowSweep_ = mode; }

  // Called every 32 sub-rows during paint (the host can refill audio).
  void setYieldHook(void (*hook)(void*), void* context) {
    yieldHook_ = hook;
    yieldContext_ = context;
  }

 private:
  // An edge's geometry is copied in while its build's records are read in
  // order: the sweep takes the entries row by row, which would visit the
  // records all over memory.
  struct BucketEntry {
    int16_t x0, y0, cx, cy, x1, y1;
    bool straight;
    FillRule rule;
    int8_t direction;
    FillStyle* fill0;
    FillStyle* fill1;
  };
  // A straight edge is stepped from its first cache line; curves also use
  // the second.
  struct alignas(64) ActiveEdge {
    int64_t x;      // 32.32
    int64_t dx;     // 32.32: slope for lines, first x difference for curves
    int32_t xi;     // current integer sub-pixel x
    int32_t yEnd;   // first row below the edge
    FillStyle* fill0;
    FillStyle* fill1;
    FillRule rule;
    int8_t direction;
    bool curve;
    // A curve of at most kShortSteps steps (every piece the edge builder
    // makes, at most 256 rows): its forward differences reach the last row
    // before they run out (see stepCurve).
    bool shortCurve;
    int32_t steps;
    int64_t y;                 // 32.32 (curves)
    int64_t dy, ddx, ddy;      // 32.32 forward differences (curves)
    int64_t px, py;            // the previous curve point (factor 1 interpolation)
  };

  struct Ordered;
  void insertEdge(const BucketEntry& b, int y);
  void stepTo(ActiveEdge& e, int row);
  // kCounted: the curve's step count may stop the stepping (long curves).
  template <bool kCounted>
  static void stepCurve(ActiveEdge& e, int row);
  static constexpr int64_t kShortSteps = 65536;
  void orderRow(int y);
  void advanceEdge(ActiveEdge& a, int y);
  template <bool kRow>
  void cross(const ActiveEdge& a, int x);
  template <bool kRow>
  void toggle(FillStyle* f, int x);
  template <bool kRow>
  void windingAdd(FillStyle* f, int direction, int x);
  template <bool kRow>
  void flush(int x);
  void clearFills();
  template <bool kOpen>
  void sweepActiveRow(int y);
  void sweepOpenRow(int y);
  void sweepSubRows(int py);
  void countEdge(const ActiveEdge& a, int sign);
  void countToggle(FillStyle* f);
  void countWinding(FillStyle* f, int delta);
  void findOpenFills(const Ordered* seq, size_t count);
  void crossOpen(const ActiveEdge& a, int x, int32_t i);
  void endRow();
  bool sweepPixelRow();
  void rowFlush();
  bool solidColor(ExpandedPixel& c) const;
  void writeRowChanges();
  struct FillState {
    const FillStyle* fill;
    int32_t counter;
    bool operator==(const FillState& o) const { return fill == o.fill && counter == o.counter; }
  };
  static constexpr int kMaxCapture = 32;
  static bool sameEffect(const ActiveEdge& a, const ActiveEdge& b);
  void uncross(const ActiveEdge& a);
  bool captureFills(FillState* out, int& count) const;
  bool sweepWindow(const Ordered* const* seq, const size_t* len, size_t* at, int32_t* last);
  void emitSpan(int x0, int x1);
  void paintDirect(int x0, int x1, FillStyle* const* stack, int n);
  void accumulate(int x0, int x1, FillStyle* const* stack, int n);
  const ExpandedPixel* stackColors(FillStyle* const* stack, int n, int px0, int last, int py);
  void resolveRow(int py);
  void addDelta(int x, ExpandedPixel to, ExpandedPixel from);
  void closeRun();
  void emitSolid(int x0, int x1, ExpandedPixel c);
  void markTouched(int p0, int p1);
  bool occludes(const FillStyle* f) const;
  static bool maskVisible(const FillStyle* f);

  const RasterKernels* kernels_;
  RenderTarget* target_ = nullptr;
  int factor_ = 1;
  int shift_ = 0;  // log2(factor)
  ClipRect clip_;  // pixels
  int sx0_ = 0, sx1_ = 0, sy0_ = 0, sy1_ = 0;  // sub-pixels
  uint32_t layer_ = 0;

  // Row buckets: entry counts per sub-row while objects are added, then
  // where each row's run of sorted_ starts (one more at the end).
  std::vector<int32_t> buckets_;
  std::vector<BucketEntry> entries_;  // in the order added
  std::vector<BucketEntry> sorted_;   // by row, the last added first
  std::vector<int32_t> cursor_;
  bool laidOut_ = false;  // buckets_ holds starts, sorted_ is filled
  std::vector<ActiveEdge> active_;
  std::vector<int32_t> free_;
  // The active edges in x order; the x is kept beside the index so that the
  // per-row re-sort reads contiguous memory.
  struct Ordered {
    int32_t x;
    int32_t index;
  };
  std::vector<Ordered> order_;
  std::vector<Ordered> incoming_;  // edges starting on the current row
  // Per-pixel colours of gradient and bitmap spans, summed over the pixel
  // row's sub-samples.
  std::vector<ExpandedPixel> acc_;
  bool accUsed_ = false;  // acc_ has entries in the current pixel row
  // Colours of per-pixel stacks on the current pixel row, by stack and
  // first pixel.
  struct StackColors {
    int row = INT32_MIN;
    int px0 = 0;
    int count = 0;
    int length = 0;
    FillStyle* stack[kMaxStack] = {};
    std::vector<ExpandedPixel> colors;
  };
  std::vector<StackColors> stackColors_;
  size_t nextStackColors_ = 0;
  // Solid spans as colour changes per pixel, and which pixels have a cell
  // or an acc_ entry (one bit each).
  std::vector<CoverCell> cells_;
  std::vector<uint64_t> touched_;
  uint16_t weights_[4][8] = {};  // by sub-column: area and cover weights
  // The solid colour the current sub-row's changes have reached, and where
  // its span ended.
  ExpandedPixel runColor_ = 0;
  int runEnd_ = 0;

  // Fills whose active edges do not close on the current row (open
  // contours): while there are any, each sub-row looks ahead at its
  // crossings first (findOpenFills), stamped per look-ahead.
  int openFills_ = 0;
  uint32_t probeStamp_ = 0;
  bool openRow_[4] = {};  // per recorded sub-row of the pixel row

  FillStyle* top_ = nullptr;
  int row_ = 0;    // current sub-row
  int lastX_ = 0;  // start of the pending span

  // A pixel row at factors 2 and 4: each sub-row's crossings (clamped x and
  // active edge) in the order the sub-row sweep meets them. Edges that end
  // inside the row give their slots back after it, so that every index
  // still names its edge.
  std::vector<Ordered> crossings_[4];
  std::vector<int32_t> ended_;
  // The whole-row sweep: the sub-row positions of the crossing being
  // applied, those of the last colour change and the colour since, and the
  // colour changes (to, from, where) written once the row is known to fit.
  struct RowChange {
    ExpandedPixel to, from;
    int32_t x[4];
  };
  std::vector<RowChange> changes_;
  // Spans of per-pixel stacks that cover whole pixels on every sub-row of
  // the pixel row (coverage images, pixel-aligned bitmaps): painted once per
  // pixel after the row resolves, their cells left at zero.
  struct PixelSpan {
    int px0, px1;
    int count;
    FillStyle* stack[kMaxStack];
  };
  std::vector<PixelSpan> pixelSpans_;
  bool wholePixelSpan();
  void stackChunk(FillStyle* const* stack, int n, int x, int y, int len, ExpandedPixel* out);
  void paintPixelSpans(int py);
  // Coverage over an opaque colour: the pixel for every coverage value.
  ExpandedPixel lutFg_ = 0, lutBg_ = 0;
  bool lutValid_ = false;
  uint32_t lut_[256];
  int32_t crossX_[4] = {};
  int32_t changeX_[4] = {};
  ExpandedPixel rowColor_ = 0;
  bool rowFailed_ = false;
  RowSweep rowSweep_ = RowSweep::WhereItPays;
  bool rowSafe_ = true;  // stacking keys are unique this frame
  bool stackFills_ = false;  // some fill this frame does not paint alone
  int rowBackoff_ = 0;  // pixel rows to sweep by sub-rows before trying again
  int rowMisses_ = 0;
  int rowWindows_ = 0;  // windows in the current whole-row sweep
  int rowStacks_ = 0;   // its spans coloured from a stack
  bool recording_ = false;  // the current pixel row is swept whole
  // A whole-row sweep pays while its windows are at most this many
  // crossings apart.
  static constexpr size_t kWindowWeight = 64;

  void (*yieldHook_)(void*) = nullptr;
  void* yieldContext_ = nullptr;
};

}  // namespace kivra
