#pragma once
// Coverage masks of glyphs at the sizes text is drawn at, so that small
// upright text costs a copy per glyph rather than a sweep of its outline.
// An embedded glyph's mask is made by the rasterizer at the glyph's
// sub-pixel phase, so it covers what sweeping the outline in place would; a
// device glyph's is the system's rendering at a whole pixel.
//
// GlyphMasks is the store, one per glyph source (it lives as long as the
// fonts its keys point into); GlyphMaskMaker, one per renderer, makes what
// a store lacks.
#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/render/Fixed.h"
#include "core/render/GlyphSource.h"
#include "core/render/RenderTarget.h"
#include "core/render/ShapeBuild.h"
#include "core/render/ShapeParser.h"
#include "core/render/raster/Rasterizer.h"

namespace kivra {

// Coverage 0..255, `width` x `height`, placed at (`left`, `top`) pixels
// from the pixel holding the glyph's origin. Empty for a glyph without ink.
// Rows are `stride` bytes, a multiple of 16 padded with zeros, so a row is
// added into an image 16 bytes at a time.
struct GlyphMask {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int stride = 0;
  std::vector<uint8_t> coverage;
};

class GlyphMasks {
 public:
  // What a store keeps before it starts again.
  static constexpr size_t kBudget = size_t{8} << 20;

  struct Key {
    const void* glyph = nullptr;  // glyph records, or the device glyphs
    uint32_t index = 0;           // device glyph index
    int32_t scale = 0;            // 16.16 glyph units -> sub-pixels, or 26.6 pixel size
    uint8_t phaseX = 0, phaseY = 0, factor = 0;
    bool operator==(const Key&) const = default;
  };

  // A direct-mapped table of recent keys sits in front of the map (a line
  // of text asks for the same few masks over and over).
  const GlyphMask* find(const Key& key) {
    Recent& r = recent_[recentSlot(key)];
    if (r.mask && r.key == key) return r.mask;
    auto it = masks_.find(key);
    if (it == masks_.end()) return nullptr;
    r = Recent{key, &it->second};
    return &it->second;
  }
  const GlyphMask& insert(const Key& key, GlyphMask mask) {
    bytes_ += mask.coverage.size() + 64;
    // Map nodes stay put when the map grows.
    const GlyphMask* m = &masks_.insert_or_assign(key, std::move(mask)).first->second;
    recent_[recentSlot(key)] = Recent{key, m};
    return *m;
  }
  // Called before each text build: a store past its budget starts again
  // then, never while a build holds masks it found.
  void beginBuild() {
    if (bytes_ > kBudget) {
      masks_.clear();
      recent_.fill(Recent{});
      bytes_ = 0;
    }
  }
  size_t size() const { return masks_.size(); }

 private:
  struct KeyHash {
    size_t operator()(const Key& k) const {
      uint64_t h = reinterpret_cast<uintptr_t>(k.glyph) * 0x9E3779B97F4A7C15ull;
      h ^= (uint64_t{k.index} << 32 | static_cast<uint32_t>(k.scale)) * 0xC2B2AE3D27D4EB4Full;
      h ^= (uint64_t{k.phaseX} << 16 | uint64_t{k.phaseY} << 8 | k.factor) * 0x165667B19E3779F9ull;
      return static_cast<size_t>(h ^ (h >> 29));
    }
  };
  struct Recent {
    Key key;
    const GlyphMask* mask = nullptr;
  };
  static size_t recentSlot(const Key& k) {
    const uintptr_t h = reinterpret_cast<uintptr_t>(k.glyph) ^ (reinterpret_cast<uintptr_t>(k.glyph) >> 9) ^
                        k.index * 31u ^ static_cast<uint32_t>(k.scale) ^ (k.phaseX * 5u + k.phaseY * 17u);
    return h & (kRecent - 1);
  }
  static constexpr size_t kRecent = 1024;
  std::unordered_map<Key, GlyphMask, KeyHash> masks_;
  std::array<Recent, kRecent> recent_{};
  size_t bytes_ = 0;
};

class GlyphMaskMaker {
 public:
  // Glyphs whose em is larger than this many pixels are drawn from their
  // outlines: their masks would cost more than they save.
  static constexpr int kMaxEmPixels = 160;

  // An embedded glyph (its records from the index-width byte) scaled by
  // `scale` (16.16, glyph units -> sub-pixels at `factor`) with its origin
  // at sub-pixel (`phaseX`, `phaseY`) of a pixel. Null when no mask can be
  // made (the glyph is then drawn from its outline).
  const GlyphMask* embedded(GlyphMasks& store, const uint8_t* records, size_t length, Fixed16 scale, int phaseX,
                            int phaseY, int factor);
  // A device glyph at `size26_6`; null when the system has no coverage.
  const GlyphMask* device(GlyphMasks& store, DeviceGlyphs& glyphs, uint32_t index, int size26_6);

 private:
  ShapeParser parser_;
  ShapeBuild build_;
  Rasterizer raster_;
  RenderTarget target_;
};

}  // namespace kivra
