#include <immintrin.h>

#include "VectorRoutines.h"

namespace murmella::bitmap32 {
namespace {

__attribute__((target("avx2"))) void Avx2SumRows16(const TColor32* first, std::int32_t stride, std::int32_t rows,
                                                     std::int32_t pixels, std::uint16_t* sums) {
  std::int32_t x = 0;
  // Sixteen pixels per pass: four widened loads per row into four accumulators.
  for (; x + 16 <= pixels; x += 16) {
    __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(first + x);
    for (std::int32_t y = 0; y < rows; ++y, p += stride) {
      a0 = _mm256_add_epi16(a0, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
      a1 = _mm256_add_epi16(a1, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16))));
      a2 = _mm256_add_epi16(a2, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))));
      a3 = _mm256_add_epi16(a3, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48))));
    }
    auto* s = reinterpret_cast<__m256i*>(sums + 4 * x);
    _mm256_storeu_si256(s, a0);
    _mm256_storeu_si256(s + 1, a1);
    _mm256_storeu_si256(s + 2, a2);
    _mm256_storeu_si256(s + 3, a3);
  }
  if (x < pixels) Sse2Routines.SumRows16(first + x, stride, rows, pixels - x, sums + 4 * x);
}

}  // namespace

// Only the row summing, the bulk of a reduction's work, gains from 256-bit registers.
const TVectorRoutines Avx2Routines{"avx2", Sse2Routines.AverageBlock, Avx2SumRows16, Sse2Routines.AverageSums16,
                                   Sse2Routines.InterpolateRow};

}  // namespace murmella::bitmap32
