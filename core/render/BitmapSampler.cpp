#include "core/render/BitmapSampler.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/render/FillPainter.h"

namespace kivra {

namespace {

inline uint32_t load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

struct Widen5 {
  uint8_t v[32];
  constexpr Widen5() : v{} {
    for (int c = 0; c < 32; ++c) v[c] = static_cast<uint8_t>(c << 3 | c >> 2);
  }
};
constexpr Widen5 kWiden5;

inline ExpandedPixel paletteColor(const BitmapPixels& b, uint32_t index) {
  return unpackArgb(load32(b.palette + 4 * index));
}

// One pixel of a row in each internal format, as an expanded colour.
template <int F>
inline ExpandedPixel texel(const BitmapPixels& b, const uint8_t* row, int x) {
  const auto i = static_cast<size_t>(x);
  if constexpr (F == kBitmapBgra32) {
    return unpackArgb(load32(row + 4 * i));
  } else if constexpr (F == kBitmapRgb555) {
    const uint32_t v = row[2 * i] | uint32_t{row[2 * i + 1]} << 8;
    return expand(kWiden5.v[v & 31], kWiden5.v[(v >> 5) & 31], kWiden5.v[(v >> 10) & 31], 255);
  } else if constexpr (F == kBitmapIndex8) {
    return paletteColor(b, row[i]);
  } else if constexpr (F == kBitmapIndex4) {
    return paletteColor(b, (row[i >> 1] >> ((~i & 1) << 2)) & 15);
  } else if constexpr (F == kBitmapIndex2) {
    return paletteColor(b, (row[i >> 2] >> ((3 - (i & 3)) << 1)) & 3);
  } else {
    return paletteColor(b, (row[i >> 3] >> (7 - (i & 7))) & 1);
  }
}

#if defined(__SSE2__)
// Bilinear weights as 16-bit lanes: for each of the 64 fraction pairs, the
// two top weights (four lanes each) and the two bottom ones.
struct LaneWeights {
  alignas(16) int16_t top[64][8];
  alignas(16) int16_t bottom[64][8];
};

const LaneWeights& laneWeights() {
  static const LaneWeights table = [] {
    LaneWeights t{};
    const BilinearWeights& w = bilinearWeights();
    for (int i = 0; i < 64; ++i)
      for (int k = 0; k < 4; ++k) {
        t.top[i][k] = w.w[i][0];
        t.top[i][k + 4] = w.w[i][1];
        t.bottom[i][k] = w.w[i][2];
        t.bottom[i][k + 4] = w.w[i][3];
      }
    return t;
  }();
  return table;
}

// Pixels x and x + 1 of two 32-bit rows weighted: the same sums, lane by
// lane, as the scalar form.
inline ExpandedPixel bilinearPair(const uint8_t* r0, const uint8_t* r1, int x, int weightIndex,
                                  const LaneWeights& lw) {
  const __m128i zero = _mm_setzero_si128();
  const size_t at = 4 * static_cast<size_t>(x);
  const __m128i top = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r0 + at)), zero);
  const __m128i bottom = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r1 + at)), zero);
  __m128i sum = _mm_add_epi16(
      _mm_mullo_epi16(top, _mm_load_si128(reinterpret_cast<const __m128i*>(lw.top[weightIndex]))),
      _mm_mullo_epi16(bottom, _mm_load_si128(reinterpret_cast<const __m128i*>(lw.bottom[weightIndex]))));
  sum = _mm_add_epi16(sum, _mm_srli_si128(sum, 8));
  return static_cast<ExpandedPixel>(_mm_cvtsi128_si64(_mm_srli_epi16(sum, 3)));
}
#endif

inline int64_t floorMod(int64_t a, int64_t m) {
  const int64_t r = a % m;
  return r < 0 ? r + m : r;
}

inline ExpandedPixel transformBitmapPixel(const FillStyle& f, ExpandedPixel p) {
  const ColorTables& t = *f.tablePtr;
  uint32_t b = p & 0xFFFF, g = (p >> 16) & 0xFFFF, r = (p >> 32) & 0xFFFF, a = (p >> 48) & 0xFFFF;
  if (!f.unpremultiply) return expand(t.b[b], t.g[g], t.r[r], t.a[a]);
  if (a == 0) {
    b = g = r = 0;
  } else if (a < 255) {
    const uint32_t k = 65280 / a;  // 255 . 256 / A
    b = std::min<uint32_t>((b * k) >> 8, 255);
    g = std::min<uint32_t>((g * k) >> 8, 255);
    r = std::min<uint32_t>((r * k) >> 8, 255);
  }
  const uint32_t na = t.a[a];
  if (na == 0) return 0;
  const uint32_t m = na + 1;
  return expand(static_cast<uint8_t>((m * t.b[b]) >> 8), static_cast<uint8_t>((m * t.g[g]) >> 8),
                static_cast<uint8_t>((m * t.r[r]) >> 8), static_cast<uint8_t>(na));
}

// u, v: bitmap coordinates of the first pixel in 16.16; du, dv: one step.
// Tiled coordinates are kept within the bitmap by one compare per step, so
// the loop never divides.
template <int F, bool Smooth, bool Clipped>
void sample(const BitmapPixels& bm, int64_t u, int64_t v, int64_t du, int64_t dv, int n, ExpandedPixel* out) {
  const int w = bm.width, h = bm.height;
  const uint8_t* bits = bm.bits;
  const size_t rowBytes = bm.rowBytes;
  const BilinearWeights& weights = bilinearWeights();
#if defined(__SSE2__)
  const LaneWeights& lanes = laneWeights();
#endif
  if constexpr (Clipped) {
    for (int i = 0; i < n; ++i, u += du, v += dv) {
      const int x0 = static_cast<int>(std::clamp<int64_t>(u >> 16, 0, w - 1));
      const int y0 = static_cast<int>(std::clamp<int64_t>(v >> 16, 0, h - 1));
      const uint8_t* r0 = bits + static_cast<size_t>(y0) * rowBytes;
      if constexpr (!Smooth) {
        out[i] = texel<F>(bm, r0, x0);
      } else {
        // Samples past the last column or row fold onto the edge pixel.
        const int x1 = std::min(x0 + 1, w - 1);
        const uint8_t* r1 = y0 + 1 < h ? r0 + rowBytes : r0;
        const int wi = static_cast<int>(((v >> 13) & 7) * 8 + ((u >> 13) & 7));
#if defined(__SSE2__)
        if constexpr (F == kBitmapBgra32) {
          if (x1 != x0) {
            out[i] = bilinearPair(r0, r1, x0, wi, lanes);
            continue;
          }
        }
#endif
        const uint8_t* wt = weights.w[wi];
        const ExpandedPixel p = texel<F>(bm, r0, x0) * wt[0] + texel<F>(bm, r0, x1) * wt[1] +
                                texel<F>(bm, r1, x0) * wt[2] + texel<F>(bm, r1, x1) * wt[3];
        out[i] = (p >> 3) & kLaneMask;
      }
    }
  } else {
    const int64_t uw = int64_t{w} << 16, vh = int64_t{h} << 16;
    u = floorMod(u, uw);
    v = floorMod(v, vh);
    du = floorMod(du, uw);
    dv = floorMod(dv, vh);
    for (int i = 0; i < n; ++i) {
      const int x0 = static_cast<int>(u >> 16), y0 = static_cast<int>(v >> 16);
      const uint8_t* r0 = bits + static_cast<size_t>(y0) * rowBytes;
      if constexpr (!Smooth) {
        out[i] = texel<F>(bm, r0, x0);
      } else {
        const int x1 = x0 + 1 == w ? 0 : x0 + 1;
        const uint8_t* r1 = y0 + 1 == h ? bits : r0 + rowBytes;
        const int wi = static_cast<int>(((v >> 13) & 7) * 8 + ((u >> 13) & 7));
#if defined(__SSE2__)
        if (F == kBitmapBgra32 && x1 != 0) {
          out[i] = bilinearPair(r0, r1, x0, wi, lanes);
        } else
#endif
        {
          const uint8_t* wt = weights.w[wi];
          const ExpandedPixel p = texel<F>(bm, r0, x0) * wt[0] + texel<F>(bm, r0, x1) * wt[1] +
                                  texel<F>(bm, r1, x0) * wt[2] + texel<F>(bm, r1, x1) * wt[3];
          out[i] = (p >> 3) & kLaneMask;
        }
      }
      u += du;
      if (u >= uw) u -= uw;
      v += dv;
      if (v >= vh) v -= vh;
    }
  }
}

using SampleFn = void (*)(const BitmapPixels&, int64_t, int64_t, int64_t, int64_t, int, ExpandedPixel*);

template <int F>
SampleFn samplerFor(bool smooth, bool clipped) {
  if (smooth) return clipped ? sample<F, true, true> : sample<F, true, false>;
  return clipped ? sample<F, false, true> : sample<F, false, false>;
}

SampleFn samplerFor(int format, bool smooth, bool clipped) {
  switch (format) {
    case kBitmapIndex1: return samplerFor<kBitmapIndex1>(smooth, clipped);
    case kBitmapIndex2: return samplerFor<kBitmapIndex2>(smooth, clipped);
    case kBitmapIndex4: return samplerFor<kBitmapIndex4>(smooth, clipped);
    case kBitmapIndex8: return samplerFor<kBitmapIndex8>(smooth, clipped);
    case kBitmapRgb555: return samplerFor<kBitmapRgb555>(smooth, clipped);
    default: return samplerFor<kBitmapBgra32>(smooth, clipped);
  }
}

inline int64_t spanStart(double a, double c, double t, int x, int y) { return toFixed16(a * x + c * y + t) >> 16; }

}  // namespace

void bitmapSpan(const FillStyle& f, int x, int y, int n, ExpandedPixel* out) {
  const int64_t u = spanStart(f.ua, f.uc, f.ut, x, y);  // bitmap pixels, 16.16
  const int64_t v = spanStart(f.ub, f.ud, f.vt, x, y);
  const int64_t du = toFixed16(f.ua) >> 16, dv = toFixed16(f.ub) >> 16;
  samplerFor(f.bitmap.format, f.smooth, f.clipped)(f.bitmap, u, v, du, dv, n, out);
  if (f.tablePtr)
    for (int i = 0; i < n; ++i) out[i] = transformBitmapPixel(f, out[i]);
}

bool copiesBitmapRows(const FillStyle& f) {
  return f.span == SpanKind::Bitmap && !f.transparent && !f.smooth && !f.tablePtr &&
         f.bitmap.format == kBitmapBgra32 && (toFixed16(f.ua) >> 16) == 65536 && (toFixed16(f.ub) >> 16) == 0;
}

void copyBitmapSpan(const FillStyle& f, int x, int y, int n, uint32_t* dst) {
  const BitmapPixels& bm = f.bitmap;
  const int w = bm.width, h = bm.height;
  const int64_t u = spanStart(f.ua, f.uc, f.ut, x, y) >> 16;
  const int64_t v = spanStart(f.ub, f.ud, f.vt, x, y) >> 16;
  const int iy = static_cast<int>(f.clipped ? std::clamp<int64_t>(v, 0, h - 1) : floorMod(v, h));
  const auto* row = bm.bits + static_cast<size_t>(iy) * bm.rowBytes;
  auto copy = [&](int at, int from, int count) {
    std::memcpy(dst + at, row + 4 * static_cast<size_t>(from), 4 * static_cast<size_t>(count));
  };
  if (f.clipped) {
    // Edge pixels repeat before and after the bitmap's columns.
    int i = 0;
    const uint32_t first = load32(row), last = load32(row + 4 * static_cast<size_t>(w - 1));
    for (; i < n && u + i < 0; ++i) dst[i] = first;
    if (i < n && u + i < w) {
      const int count = static_cast<int>(std::min<int64_t>(n - i, w - (u + i)));
      copy(i, static_cast<int>(u + i), count);
      i += count;
    }
    for (; i < n; ++i) dst[i] = last;
    return;
  }
  // Tiled: runs cut where the column wraps.
  int ix = static_cast<int>(floorMod(u, w));
  for (int i = 0; i < n;) {
    const int count = std::min(n - i, w - ix);
    copy(i, ix, count);
    i += count;
    ix = 0;
  }
}

}  // namespace kivra
