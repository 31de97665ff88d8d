#pragma once
// The render cache of one display object: the edges and fills of its last
// build. The arrays keep their capacity from build to build, so a display
// object reuses its storage frame after frame; each array has a fixed limit
// past which a build stops with what it has.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/render/EdgeRecord.h"
#include "core/render/FillStyle.h"

namespace kivra {

// A line kept as a stroke rather than an outline (builds for vector
// output): `count` edges from `first` in the build's stroke edges, in
// device sub-pixels, for a round pen `width` sub-pixels wide painting
// with fill `fill`.
struct StrokeRun {
  uint32_t fill = kNoFill;
  int32_t width = 0;
  uint32_t first = 0;
  uint32_t count = 0;
};

class ShapeBuild {
 public:
  static constexpr size_t kDefaultMaxEdges = 1u << 20;
  static constexpr size_t kDefaultMaxFills = 1u << 16;
  static constexpr size_t kMaxRamps = 4096;
  static constexpr size_t kMaxTables = 1024;
  static constexpr size_t kMaxCoverage = 256;
  static constexpr uint64_t kMaxCoveragePixels = uint64_t{1} << 24;

  explicit ShapeBuild(size_t maxEdges = kDefaultMaxEdges, size_t maxFills = kDefaultMaxFills)
      : maxEdges_(maxEdges), maxFills_(maxFills) {}

  void clear() {
    edges_.clear();
    fills_.clear();
    ramps_.clear();
    tables_.clear();
    bitmaps_.clear();
    strokes_.clear();
    strokeEdges_.clear();
    coverageUsed_ = 0;
    coveragePixels_ = 0;
    hasBounds_ = false;
    truncated_ = false;
  }

  // Null when the pool is exhausted (the build then stops).
  EdgeRecord* addEdge() {
    if (edges_.size() >= maxEdges_) { truncated_ = true; return nullptr; }
    return &edges_.emplace_back();
  }
  // A new stroke run, which the following stroke edges join; false when
  // the pool is exhausted.
  bool addStrokeRun(uint32_t fill, int32_t width) {
    if (strokes_.size() >= maxEdges_) { truncated_ = true; return false; }
    strokes_.push_back(StrokeRun{fill, width, static_cast<uint32_t>(strokeEdges_.size()), 0});
    return true;
  }
  bool addStrokeEdge(const CurveEdge& e) {
    if (strokes_.empty()) return false;
    if (strokeEdges_.size() >= maxEdges_) { truncated_ = true; return false; }
    strokeEdges_.push_back(e);
    ++strokes_.back().count;
    return true;
  }
  uint32_t addFill() {
    if (fills_.size() >= maxFills_) { truncated_ = true; return kNoFill; }
    fills_.emplace_back();
    return static_cast<uint32_t>(fills_.size() - 1);
  }
  int32_t addRamp() {
    if (ramps_.size() >= kMaxRamps) return -1;
    ramps_.emplace_back();
    return static_cast<int32_t>(ramps_.size() - 1);
  }
  int32_t addTables() {
    if (tables_.size() >= kMaxTables) return -1;
    tables_.emplace_back();
    return static_cast<int32_t>(tables_.size() - 1);
  }

  // A cleared coverage image of `width` x `height` pixels at (left, top),
  // with 16 bytes to spare after the last row (glyph rows are added 16
  // bytes at a time); -1 past the limits (a count, and pixels in all).
  // Images keep their storage from build to build.
  int32_t addCoverage(int left, int top, int width, int height) {
    if (coverageUsed_ >= kMaxCoverage || width <= 0 || height <= 0) return -1;
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (pixels > kMaxCoveragePixels - coveragePixels_) return -1;
    coveragePixels_ += pixels;
    if (coverageUsed_ == coverage_.size()) coverage_.emplace_back();
    CoverageImage& c = coverage_[coverageUsed_];
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.coverage.assign(static_cast<size_t>(width) * static_cast<size_t>(height) + 16, 0);
    return static_cast<int32_t>(coverageUsed_++);
  }
  CoverageImage& coverage(int32_t i) { return coverage_[static_cast<size_t>(i)]; }

  std::vector<EdgeRecord>& edges() { return edges_; }
  const std::vector<EdgeRecord>& edges() const { return edges_; }
  std::vector<FillStyle>& fills() { return fills_; }
  const std::vector<FillStyle>& fills() const { return fills_; }
  const std::vector<StrokeRun>& strokes() const { return strokes_; }
  const std::vector<CurveEdge>& strokeEdges() const { return strokeEdges_; }
  GradientRamp& ramp(int32_t i) { return ramps_[static_cast<size_t>(i)]; }
  ColorTables& tables(int32_t i) { return tables_[static_cast<size_t>(i)]; }

  // Keeps a bitmap's pixels locked while the build's fills read them;
  // returns its sampler view.
  BitmapPixels holdBitmap(std::shared_ptr<BitmapImage> image) {
    const BitmapPixels view = image->pixels();
    for (const BitmapLock& held : bitmaps_)
      if (held.image() == image.get()) return view;
    bitmaps_.emplace_back(std::move(image));
    return view;
  }

  // Lets the bitmaps go once the build will not be painted again unbuilt.
  void releaseBitmaps() { bitmaps_.clear(); }

  // Device bounds of the instance in sub-pixels (from the character's RECT).
  void setBounds(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    bx0_ = x0; by0_ = y0; bx1_ = x1; by1_ = y1; hasBounds_ = true;
  }
  bool hasBounds() const { return hasBounds_; }
  int64_t boundsXMin() const { return bx0_; }
  int64_t boundsYMin() const { return by0_; }
  int64_t boundsXMax() const { return bx1_; }
  int64_t boundsYMax() const { return by1_; }
  // A pool ran out during the build.
  bool truncated() const { return truncated_; }
  // Index of the mask fill when the build was made for a clipping layer.
  uint32_t maskFill() const { return maskFill_; }
  void setMaskFill(uint32_t i) { maskFill_ = i; }

 private:
  size_t maxEdges_;
  size_t maxFills_;
  std::vector<EdgeRecord> edges_;
  std::vector<FillStyle> fills_;
  std::vector<GradientRamp> ramps_;
  std::vector<ColorTables> tables_;
  std::vector<BitmapLock> bitmaps_;
  std::vector<CoverageImage> coverage_;
  std::vector<StrokeRun> strokes_;
  std::vector<CurveEdge> strokeEdges_;
  size_t coverageUsed_ = 0;
  uint64_t coveragePixels_ = 0;
  int64_t bx0_ = 0, by0_ = 0, bx1_ = 0, by1_ = 0;
  bool hasBounds_ = false;
  bool truncated_ = false;
  uint32_t maskFill_ = kNoFill;
};

}  // namespace kivra
