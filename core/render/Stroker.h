#pragma once
// Turns strokes into fillable outlines. Each segment becomes a closed band
// of the stroke's width (curves follow their true normals), and every joint
// and open end gets a round disc, all wound the same way and filled with the
// non-zero rule, so the union is one stroke with round joins and caps that
// paints each pixel once even when translucent. Lines of at most three
// sub-pixels (only possible below factor 4) are bands offset by whole
// sub-pixels instead, without discs.
#include <cstdint>

#include "core/render/EdgeBuilder.h"

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

 private:
  struct Vec {
    double x, y;
  };
  struct Point {
    int64_t x, y;
  };
  void disc(double cx, double cy);
  void band(const CurveEdge& e);
  void thinBand(int64_t x0, int64_t y0, int64_t x1, int64_t y1);
  void line(double x0, double y0, double x1, double y1);
  void line(const Point& a, const Point& b);
  void snapThin(CurveEdge& e) const;

  EdgeBuilder& edges_;
  int32_t width_ = 0;
  uint32_t fill_ = kNoFill;
  int factor_ = 1;
  bool open_ = false;
  bool any_ = false;        // a segment of non-zero length was added
  bool dotOnly_ = false;    // only zero-length segments so far
  int64_t startX_ = 0, startY_ = 0, lastX_ = 0, lastY_ = 0;
  Vec firstDir_{0, 0}, lastDir_{0, 0};
};

}  // namespace kivra
