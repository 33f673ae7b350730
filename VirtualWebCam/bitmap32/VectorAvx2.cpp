#include <immintrin.h>

#include "VectorRoutines.h"

namespace murmella::bitmap32 {
namespace {

__attribute__((target("avx2"))) void Avx2SumRows16(const TColor32* first, std::int32_t stride, std::int32_t rows,
                                                     std::int32_t pixels, std::uint16_t* sums) {
  const __m256i low = _mm256_set1_epi16(0x00FF);
  std::int32_t x = 0;
  // Sixteen pixels per pass. Each row is split with a mask and a shift, not a shuffle, into its
  // even bytes (blue, red) and odd bytes (green, alpha) as 16-bit lanes, which keeps the work
  // off the one shuffle port; the channels are put back in order once, when the sums are stored.
  for (; x + 16 <= pixels; x += 16) {
    __m256i e0 = _mm256_setzero_si256(), o0 = e0, e1 = e0, o1 = e0;
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(first + x);
    for (std::int32_t y = 0; y < rows; ++y, p += stride) {
      const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
      e0 = _mm256_add_epi16(e0, _mm256_and_si256(v0, low));
      o0 = _mm256_add_epi16(o0, _mm256_srli_epi16(v0, 8));
      e1 = _mm256_add_epi16(e1, _mm256_and_si256(v1, low));
      o1 = _mm256_add_epi16(o1, _mm256_srli_epi16(v1, 8));
    }
    // unpacklo gives pixels 0, 1 | 4, 5 of a load, unpackhi 2, 3 | 6, 7.
    const __m256i a = _mm256_unpacklo_epi16(e0, o0), b = _mm256_unpackhi_epi16(e0, o0);
    const __m256i c = _mm256_unpacklo_epi16(e1, o1), d = _mm256_unpackhi_epi16(e1, o1);
    auto* s = reinterpret_cast<__m256i*>(sums + 4 * x);
    _mm256_storeu_si256(s, _mm256_permute2x128_si256(a, b, 0x20));
    _mm256_storeu_si256(s + 1, _mm256_permute2x128_si256(a, b, 0x31));
    _mm256_storeu_si256(s + 2, _mm256_permute2x128_si256(c, d, 0x20));
    _mm256_storeu_si256(s + 3, _mm256_permute2x128_si256(c, d, 0x31));
  }
  if (x < pixels) Sse2Routines.SumRows16(first + x, stride, rows, pixels - x, sums + 4 * x);
}

}  // namespace

// Only the row summing, the bulk of a reduction's work, gains from 256-bit registers.
const TVectorRoutines Avx2Routines{"avx2", Sse2Routines.AverageBlock, Avx2SumRows16, Sse2Routines.AverageSums16,
                                   Sse2Routines.InterpolateAcross, Sse2Routines.CombineRows};

}  // namespace murmella::bitmap32
