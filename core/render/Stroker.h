#pragma once
// Turns strokes into fillable outlines, filled with the non-zero rule.
// A thick stroke is one outline: each piece offset to both sides by half the
// width (the left side reversed), consecutive pieces joined by round arcs
// round the outside of each turn and through the joint on the inside, open
// ends capped by half circles. A curve piece bent tighter than half the width
// (whose inner offset would fold over) goes in as chords. Every part winds
// the same way, so nothing cancels and a translucent stroke paints each pixel
// once. Lines of at most three sub-pixels (only possible below factor 4) are
// bands offset by whole sub-pixels instead, without joins.
#include <cstdint>

#include "core/render/EdgeBuilder.h"
#include "core/render/ShapeBuild.h"

namespace kivra {

class Stroker {
 public:
  explicit Stroker(EdgeBuilder& edges) : edges_(edges) {}

  // width in device sub-pixels (the caller has applied the minimum of one
  // pixel); factor is the anti-aliasing factor.
  void begin(int32_t width, uint32_t fill, int factor);
  void add(const CurveEdge& e);
  // Ends the stroke: caps an open path, joins a closed one.
  void end();
  bool open() const { return open_; }
  // Set: strokes are kept in `out` as runs of edges for a pen to draw
  // (vector output) instead of being outlined. Null: outlines.
  void keepRuns(ShapeBuild* out) { keep_ = out; }

 private:
  struct Vec {
    double x, y;
  };
  struct Point {
    int64_t x, y;
  };
  void disc(double cx, double cy);
  void band(const CurveEdge& e);
  // Thick strokes: a segment halved while too bent, each piece offset.
  void thickPiece(double x0, double y0, double cx, double cy, double x1, double y1, bool straight, int depth);
  // Connects the previous piece's offset ends to the next one's starts
  // around the joint (cx, cy).
  void join(double cx, double cy, Vec from, Vec to, Point plusFrom, Point minusFrom, Point plusTo,
            Point minusTo);
  // Quadratic arcs of the stroke's radius around (cx, cy), from `from` at
  // angle a0 turning by `sweep` (radians, in `count` equal arcs) to `to`;
  // `reversed` emits them from `to` back to `from`.
  void arc(double cx, double cy, double a0, double sweep, int count, Point from, Point to, bool reversed);
  void curve(const Point& a, const Point& c, const Point& b);
  // Caps both ends of the outline so far (half circles).
  void capEnds();
  // True for a curve piece whose inner offset would fold over (half the
  // width near or above its least radius of curvature).
  bool tight(double x0, double y0, double cx, double cy, double x1, double y1) const;
  void thinBand(int64_t x0, int64_t y0, int64_t x1, int64_t y1);
  void line(double x0, double y0, double x1, double y1);
  void line(const Point& a, const Point& b);
  void snapThin(CurveEdge& e) const;

  EdgeBuilder& edges_;
  ShapeBuild* keep_ = nullptr;
  int32_t width_ = 0;
  uint32_t fill_ = kNoFill;
  int factor_ = 1;
  bool open_ = false;
  bool any_ = false;        // a segment of non-zero length was added
  bool dotOnly_ = false;    // only zero-length segments so far
  int64_t startX_ = 0, startY_ = 0, lastX_ = 0, lastY_ = 0;
  Vec firstDir_{0, 0}, lastDir_{0, 0};
  // A thick stroke's offset points, each rounded once: the first piece's
  // starts (for the start cap or the closing join) and the last piece's ends.
  Point firstPlus_{0, 0}, firstMinus_{0, 0}, lastPlus_{0, 0}, lastMinus_{0, 0};
};

}  // namespace kivra
