#include "core/render/raster/SimdKernels.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KIVRA_X86 1
#endif

namespace kivra {

#ifdef KIVRA_X86

namespace {

// ---- SSE2: two expanded pixels per register ----

void addColorsSse2(ExpandedPixel* acc, const ExpandedPixel* c, int n, uint32_t w) {
  const __m128i k = _mm_set1_epi16(static_cast<short>(w));
  int i = 0;
  for (; i + 2 <= n; i += 2) {
    __m128i* p = reinterpret_cast<__m128i*>(acc + i);
    const __m128i s = _mm_mullo_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i)), k);
    _mm_storeu_si128(p, _mm_add_epi16(_mm_loadu_si128(p), s));
  }
  for (; i < n; ++i) acc[i] += c[i] * w;
}

inline __m128i overSse2(__m128i src, __m128i dst) {
  // k = 256 - alpha, per pixel in all four lanes.
  __m128i a = _mm_shufflelo_epi16(src, _MM_SHUFFLE(3, 3, 3, 3));
  a = _mm_shufflehi_epi16(a, _MM_SHUFFLE(3, 3, 3, 3));
  const __m128i k = _mm_sub_epi16(_mm_set1_epi16(256), a);
  return _mm_add_epi16(src, _mm_srli_epi16(_mm_mullo_epi16(dst, k), 8));
}

void overArraySse2(ExpandedPixel* dst, const ExpandedPixel* src, int n) {
  int i = 0;
  for (; i + 2 <= n; i += 2) {
    __m128i* d = reinterpret_cast<__m128i*>(dst + i);
    _mm_storeu_si128(d, overSse2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), _mm_loadu_si128(d)));
  }
  for (; i < n; ++i) dst[i] = compositeOver(src[i], dst[i]);
}

void overSolidSse2(ExpandedPixel* dst, ExpandedPixel src, int n) {
  const __m128i s = _mm_set1_epi64x(static_cast<long long>(src));
  int i = 0;
  for (; i + 2 <= n; i += 2) {
    __m128i* d = reinterpret_cast<__m128i*>(dst + i);
    _mm_storeu_si128(d, overSse2(s, _mm_loadu_si128(d)));
  }
  for (; i < n; ++i) dst[i] = compositeOver(src, dst[i]);
}

void resolve32Sse2(ExpandedPixel* acc, uint32_t* dst, int n, int shift) {
  const __m128i lanes = _mm_set1_epi16(0xFF);
  const __m128i zero = _mm_setzero_si128();
  const __m128i count = _mm_cvtsi32_si128(shift);
  int i = 0;
  for (; i + 2 <= n; i += 2) {
    __m128i* p = reinterpret_cast<__m128i*>(acc + i);
    const __m128i a = _mm_loadu_si128(p);
    const __m128i v = _mm_and_si128(_mm_srl_epi16(a, count), lanes);
    const __m128i d = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst + i)), zero);
    const __m128i out = _mm_packus_epi16(overSse2(v, d), zero);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + i), out);
    _mm_storeu_si128(p, zero);
  }
  for (; i < n; ++i) {
    const ExpandedPixel a = acc[i];
    if (!a) continue;
    acc[i] = 0;
    const ExpandedPixel v = (a >> shift) & kLaneMask;
    dst[i] = packArgb(compositeOver(v, unpackArgb(dst[i])));
  }
}

void fill32Sse2(uint32_t* dst, int n, uint32_t v) {
  const __m128i s = _mm_set1_epi32(static_cast<int>(v));
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), s);
  for (; i < n; ++i) dst[i] = v;
}

// ---- AVX2: four expanded pixels per register ----

__attribute__((target("avx2"))) void addColorsAvx2(ExpandedPixel* acc, const ExpandedPixel* c, int n, uint32_t w) {
  const __m256i k = _mm256_set1_epi16(static_cast<short>(w));
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256i* p = reinterpret_cast<__m256i*>(acc + i);
    const __m256i s = _mm256_mullo_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + i)), k);
    _mm256_storeu_si256(p, _mm256_add_epi16(_mm256_loadu_si256(p), s));
  }
  for (; i < n; ++i) acc[i] += c[i] * w;
}

__attribute__((target("avx2"))) inline __m256i overAvx2(__m256i src, __m256i dst) {
  __m256i a = _mm256_shufflelo_epi16(src, _MM_SHUFFLE(3, 3, 3, 3));
  a = _mm256_shufflehi_epi16(a, _MM_SHUFFLE(3, 3, 3, 3));
  const __m256i k = _mm256_sub_epi16(_mm256_set1_epi16(256), a);
  return _mm256_add_epi16(src, _mm256_srli_epi16(_mm256_mullo_epi16(dst, k), 8));
}

__attribute__((target("avx2"))) void overArrayAvx2(ExpandedPixel* dst, const ExpandedPixel* src, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256i* d = reinterpret_cast<__m256i*>(dst + i);
    _mm256_storeu_si256(d, overAvx2(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)),
                                    _mm256_loadu_si256(d)));
  }
  for (; i < n; ++i) dst[i] = compositeOver(src[i], dst[i]);
}

__attribute__((target("avx2"))) void overSolidAvx2(ExpandedPixel* dst, ExpandedPixel src, int n) {
  const __m256i s = _mm256_set1_epi64x(static_cast<long long>(src));
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256i* d = reinterpret_cast<__m256i*>(dst + i);
    _mm256_storeu_si256(d, overAvx2(s, _mm256_loadu_si256(d)));
  }
  for (; i < n; ++i) dst[i] = compositeOver(src, dst[i]);
}

__attribute__((target("avx2"))) void resolve32Avx2(ExpandedPixel* acc, uint32_t* dst, int n, int shift) {
  const __m256i lanes = _mm256_set1_epi16(0xFF);
  const __m256i zero = _mm256_setzero_si256();
  const __m128i count = _mm_cvtsi32_si128(shift);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256i* p = reinterpret_cast<__m256i*>(acc + i);
    const __m256i a = _mm256_loadu_si256(p);
    const __m256i v = _mm256_and_si256(_mm256_srl_epi16(a, count), lanes);
    const __m256i d = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i)));
    const __m256i o = overAvx2(v, d);
    // Pack the two 128-bit halves back into 16 bytes in pixel order.
    const __m128i lo = _mm256_castsi256_si128(o), hi = _mm256_extracti128_si256(o, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
    _mm256_storeu_si256(p, zero);
  }
  for (; i < n; ++i) {
    const ExpandedPixel a = acc[i];
    if (!a) continue;
    acc[i] = 0;
    const ExpandedPixel v = (a >> shift) & kLaneMask;
    dst[i] = packArgb(compositeOver(v, unpackArgb(dst[i])));
  }
}

__attribute__((target("avx2"))) void fill32Avx2(uint32_t* dst, int n, uint32_t v) {
  const __m256i s = _mm256_set1_epi32(static_cast<int>(v));
  int i = 0;
  for (; i + 8 <= n; i += 8) _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), s);
  for (; i < n; ++i) dst[i] = v;
}

constexpr RasterKernels kSse2{"sse2", addColorsSse2, overArraySse2, overSolidSse2, resolve32Sse2, fill32Sse2};
constexpr RasterKernels kAvx2{"avx2", addColorsAvx2, overArrayAvx2, overSolidAvx2, resolve32Avx2, fill32Avx2};

}  // namespace

const RasterKernels* sse2Kernels() { return __builtin_cpu_supports("sse2") ? &kSse2 : nullptr; }
const RasterKernels* avx2Kernels() { return __builtin_cpu_supports("avx2") ? &kAvx2 : nullptr; }

#else

const RasterKernels* sse2Kernels() { return nullptr; }
const RasterKernels* avx2Kernels() { return nullptr; }

#endif

const RasterKernels& fastKernels() {
  if (const RasterKernels* k = avx2Kernels()) return *k;
  if (const RasterKernels* k = sse2Kernels()) return *k;
  return portableKernels();
}

}  // namespace kivra
