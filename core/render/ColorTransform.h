#pragma once
// Colour-transform arithmetic shared by every fill, premultiplication and the
// compositing rule. Expanded pixels hold four 16-bit lanes B, G, R, A of a
// premultiplied colour in one 64-bit word (B in bits 0-15, A in 48-63).
#include <cstdint>

#include "core/format/Records.h"

namespace kivra {

using ExpandedPixel = uint64_t;

constexpr ExpandedPixel kLaneMask = 0x00FF00FF00FF00FFull;

inline ExpandedPixel expand(uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
  return static_cast<uint64_t>(b) | static_cast<uint64_t>(g) << 16 | static_cast<uint64_t>(r) << 32 |
         static_cast<uint64_t>(a) << 48;
}
inline uint32_t expandedAlpha(ExpandedPixel p) { return static_cast<uint32_t>(p >> 48) & 0xFFFF; }
// 0xAARRGGBB from an expanded pixel whose lanes are 0..255.
inline uint32_t packArgb(ExpandedPixel p) {
  return static_cast<uint32_t>(p & 0xFF) | static_cast<uint32_t>((p >> 16) & 0xFF) << 8 |
         static_cast<uint32_t>((p >> 32) & 0xFF) << 16 | static_cast<uint32_t>((p >> 48) & 0xFF) << 24;
}
inline ExpandedPixel unpackArgb(uint32_t v) {
  return expand(static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                static_cast<uint8_t>(v >> 24));
}

// out = src + ((256 - src.A) . dst) >> 8 per lane.
// A premultiplied colour times coverage / 255, rounded.
inline ExpandedPixel scaleCoverage(ExpandedPixel c, uint32_t coverage) {
  ExpandedPixel t = c * coverage + 0x0080008000800080ull;
  return ((t + ((t >> 8) & kLaneMask)) >> 8) & kLaneMask;
}

inline ExpandedPixel compositeOver(ExpandedPixel src, ExpandedPixel dst) {
  const uint64_t k = 256 - expandedAlpha(src);
  // Each lane of dst is <= 255, so lane * k <= 65280 stays inside its lane.
  return src + (((dst * k) >> 8) & kLaneMask);
}

// Per-channel transform: offset + ((c . mul) >> 8), clamped to 0..255 (a
// result with any bit in 0xFF00 set is 0 when <= 0, else 255).
inline int32_t clampChannel(int32_t v) {
  if (v & ~0xFF) return v <= 0 ? 0 : 255;
  return v;
}

class ColorTransform {
 public:
  ColorTransform() = default;
  explicit ColorTransform(const CXFORM& cx) : cx_(cx) {}
  const CXFORM& record() const { return cx_; }

  bool isIdentity() const;
  bool hasMultipliers() const { return cx_.flags & CXFORM::kHasMultipliers; }
  bool hasOffsets() const { return cx_.flags & CXFORM::kHasAddends; }
  // True when alpha can go down: multiplier below 256 or offset below 0.
  bool canLowerAlpha() const;

  Rgba apply(Rgba c) const;
  // `inner` applied first, then this.
  ColorTransform concat(const ColorTransform& inner) const;

  // One 256-entry lookup table per channel: table[i] = (offset.256 + i.mul) >> 8,
  // every entry clamped to 0..255.
  void buildTables(uint8_t r[256], uint8_t g[256], uint8_t b[256], uint8_t a[256]) const;

 private:
  int32_t mul(int lane) const;
  int32_t add(int lane) const;
  CXFORM cx_;
};

// Premultiplies a straight colour: alpha <= 254 scales R, G, B by
// ((A + 1) . c) >> 8; alpha 255 keeps them.
inline Rgba premultiply(Rgba c) {
  if (c.a == 255) return c;
  const uint32_t k = c.a + 1u;
  return Rgba{static_cast<uint8_t>((k * c.r) >> 8), static_cast<uint8_t>((k * c.g) >> 8),
              static_cast<uint8_t>((k * c.b) >> 8), c.a};
}

inline ExpandedPixel expand(Rgba premultiplied) {
  return expand(premultiplied.b, premultiplied.g, premultiplied.r, premultiplied.a);
}

}  // namespace kivra
