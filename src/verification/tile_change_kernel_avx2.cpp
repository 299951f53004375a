// Built for every x86-64 CPU: only the functions below carry the AVX2 target, and they are
// called only after the CPU was found to support it.
#include <algorithm>
#include <bit>
#include <cstdlib>

#include "verification/tile_change_kernel.h"
#include "verification/tile_row_walk.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CORVANE_AVX2 __attribute__((target("avx2")))
#endif

namespace corvane::verification {

#if defined(__x86_64__) || defined(__i386__)

namespace {

// The largest channel difference of one pixel above the threshold (scalar tail of a segment).
bool isMeaningfulPixel(const std::uint8_t* a, const std::uint8_t* b) {
  for (int channel = 0; channel < 4; ++channel) {
    if (std::abs(static_cast<int>(a[channel]) - static_cast<int>(b[channel])) >
        kMeaningfulChannelDelta)
      return true;
  }
  return false;
}

CORVANE_AVX2 bool segmentDiffers(const std::uint8_t* current, const std::uint8_t* previous,
                                 int pixels) {
  __m256i any = _mm256_setzero_si256();
  int i = 0;
  for (; i + 8 <= pixels; i += 8) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(current + i * 4));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(previous + i * 4));
    any = _mm256_or_si256(any, _mm256_xor_si256(a, b));
  }
  if (!_mm256_testz_si256(any, any)) return true;
  for (; i < pixels; ++i) {
    for (int byte = 0; byte < 4; ++byte) {
      if (current[i * 4 + byte] != previous[i * 4 + byte]) return true;
    }
  }
  return false;
}

// Eight pixels at a time: bytes whose absolute difference exceeds the threshold, folded into one
// bit per pixel and counted.
CORVANE_AVX2 void scanSegment(const std::uint8_t* current, const std::uint8_t* previous, int pixels,
                              std::uint8_t& guarded, std::uint8_t& count) {
  if (!segmentDiffers(current, previous, pixels)) return;
  guarded = 1;
  const __m256i threshold = _mm256_set1_epi8(kMeaningfulChannelDelta);
  const __m256i zero = _mm256_setzero_si256();
  int i = 0;
  for (; i + 8 <= pixels; i += 8) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(current + i * 4));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(previous + i * 4));
    const __m256i delta = _mm256_or_si256(_mm256_subs_epu8(a, b), _mm256_subs_epu8(b, a));
    const __m256i above = _mm256_subs_epu8(delta, threshold);
    std::uint32_t bytes =
        ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(above, zero)));
    bytes |= bytes >> 1;
    bytes |= bytes >> 2;
    count = static_cast<std::uint8_t>(count + std::popcount(bytes & 0x11111111u));
    if (count >= kMeaningfulPixelsForAnalysis) return;
  }
  for (; i < pixels; ++i) {
    if (isMeaningfulPixel(current + i * 4, previous + i * 4) &&
        ++count >= kMeaningfulPixelsForAnalysis)
      return;
  }
}

}  // namespace

CORVANE_AVX2 void detectChangedTilesAVX2(const TileScan& scan, int firstTileRow, int endTileRow) {
  walkTileRows<&scanSegment>(scan, firstTileRow, endTileRow);
}

#else

void detectChangedTilesAVX2(const TileScan& scan, int firstTileRow, int endTileRow) {
  detectChangedTilesScalar(scan, firstTileRow, endTileRow);
}

#endif

}  // namespace corvane::verification
