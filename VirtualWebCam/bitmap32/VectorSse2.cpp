#include <emmintrin.h>

#include "VectorRoutines.h"

namespace murmella::bitmap32 {
namespace {

const std::uint8_t* Row(const TColor32* first, std::int32_t stride, std::int32_t y) {
  return reinterpret_cast<const std::uint8_t*>(first) + std::ptrdiff_t(y) * stride;
}

void Sse2SumRows16(const TColor32* first, std::int32_t stride, std::int32_t rows, std::int32_t pixels,
                   std::uint16_t* sums) {
  const __m128i zero = _mm_setzero_si128();
  std::int32_t x = 0;
  // Eight pixels per pass keep four accumulators in registers while walking down the rows.
  for (; x + 8 <= pixels; x += 8) {
    __m128i a0 = zero, a1 = zero, a2 = zero, a3 = zero;
    for (std::int32_t y = 0; y < rows; ++y) {
      const std::uint8_t* p = Row(first, stride, y) + 4 * x;
      const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
      a0 = _mm_add_epi16(a0, _mm_unpacklo_epi8(v0, zero));
      a1 = _mm_add_epi16(a1, _mm_unpackhi_epi8(v0, zero));
      a2 = _mm_add_epi16(a2, _mm_unpacklo_epi8(v1, zero));
      a3 = _mm_add_epi16(a3, _mm_unpackhi_epi8(v1, zero));
    }
    auto* s = reinterpret_cast<__m128i*>(sums + 4 * x);
    _mm_storeu_si128(s, a0);
    _mm_storeu_si128(s + 1, a1);
    _mm_storeu_si128(s + 2, a2);
    _mm_storeu_si128(s + 3, a3);
  }
  for (; x < pixels; ++x) {
    __m128i a = zero;
    for (std::int32_t y = 0; y < rows; ++y)
      a = _mm_add_epi16(a, _mm_unpacklo_epi8(_mm_cvtsi32_si128(*reinterpret_cast<const std::int32_t*>(Row(first, stride, y) + 4 * x)), zero));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(sums + 4 * x), a);
  }
}

// total * m < 2^32 for every lane, so the even/odd 32x32->64 products give the exact low words.
__m128i MulShift24(__m128i total, std::uint32_t m) {
  const __m128i mv = _mm_set1_epi32(std::int32_t(m));
  const __m128i even = _mm_mul_epu32(total, mv);
  const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(total, 32), mv);
  const __m128i e = _mm_srli_epi64(even, 24);
  const __m128i o = _mm_slli_epi64(_mm_srli_epi64(odd, 24), 32);
  return _mm_or_si128(_mm_and_si128(e, _mm_set_epi32(0, -1, 0, -1)), o);
}

TColor32 Pack(__m128i v) {
  v = _mm_packs_epi32(v, v);
  v = _mm_packus_epi16(v, v);
  return TColor32(_mm_cvtsi128_si32(v));
}

void Sse2AverageSums16(const std::uint16_t* sums, const std::int32_t* edges, std::int32_t count, std::int32_t rows,
                       TColor32* out) {
  const __m128i zero = _mm_setzero_si128();
  // Block widths take one or two values per row; keep the last reciprocal instead of dividing.
  std::uint32_t lastN = 0, m = 0;
  for (std::int32_t c = 0; c < count; ++c) {
    const std::int32_t x0 = edges[c], x1 = edges[c + 1];
    const std::uint32_t n = std::uint32_t(x1 - x0) * std::uint32_t(rows);
    if (n != lastN) { lastN = n; m = 16777216u / n; }
    __m128i t = zero;
    std::int32_t x = x0;
    for (; x + 2 <= x1; x += 2) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 4 * x));
      t = _mm_add_epi32(t, _mm_add_epi32(_mm_unpacklo_epi16(v, zero), _mm_unpackhi_epi16(v, zero)));
    }
    if (x < x1)
      t = _mm_add_epi32(t, _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sums + 4 * x)), zero));
    out[c] = Pack(MulShift24(t, m));
  }
}

TColor32 Sse2AverageBlock(std::int32_t bw, std::int32_t bh, const TColor32* first, std::int32_t stride) {
  const __m128i zero = _mm_setzero_si128();
  __m128i t = zero;
  for (std::int32_t y = 0; y < bh; ++y) {
    const std::uint8_t* p = Row(first, stride, y);
    std::int32_t x = 0;
    // 16-bit partial sums of at most 64 pixels per lane pair stay below 65536.
    while (x < bw) {
      __m128i a = zero;
      const std::int32_t end = x + 128 < bw ? x + 128 : bw;
      for (; x + 4 <= end; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * x));
        a = _mm_add_epi16(a, _mm_add_epi16(_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)));
      }
      for (; x < end; ++x)
        a = _mm_add_epi16(a, _mm_unpacklo_epi8(_mm_cvtsi32_si128(*reinterpret_cast<const std::int32_t*>(p + 4 * x)), zero));
      const __m128i w = _mm_add_epi32(_mm_unpacklo_epi16(a, zero), _mm_unpackhi_epi16(a, zero));
      t = _mm_add_epi32(t, w);
    }
  }
  return Pack(MulShift24(t, 16777216u / (std::uint32_t(bw) * std::uint32_t(bh))));
}

// [X, Y] as 16-bit lanes weighed by [W, 255 - W] with Combine's rounding, halves added.
__m128i CombinePairs(__m128i xy, __m128i weights) {
  const __m128i r = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(xy, weights), _mm_set1_epi16(128)), 8);
  return _mm_add_epi16(r, _mm_srli_si128(r, 8));
}

void Sse2InterpolateRow(const TColor32* row0, const TColor32* row1, const std::int32_t* pos,
                        const std::uint8_t* weights, std::uint8_t b, TColor32* out, std::int32_t count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i wb = _mm_set_epi16(short(255 - b), short(255 - b), short(255 - b), short(255 - b), short(b), short(b),
                                   short(b), short(b));
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t p = pos[i];
    const std::uint32_t a = weights[i];
    __m128i top, bottom;
    if (a == 0) {
      top = _mm_unpacklo_epi8(_mm_cvtsi32_si128(std::int32_t(row0[p + 1])), zero);
      bottom = _mm_unpacklo_epi8(_mm_cvtsi32_si128(std::int32_t(row1[p + 1])), zero);
    } else if (a == 255) {
      top = _mm_unpacklo_epi8(_mm_cvtsi32_si128(std::int32_t(row0[p])), zero);
      bottom = _mm_unpacklo_epi8(_mm_cvtsi32_si128(std::int32_t(row1[p])), zero);
    } else {
      const __m128i wa = _mm_set_epi16(short(255 - a), short(255 - a), short(255 - a), short(255 - a), short(a),
                                       short(a), short(a), short(a));
      top = CombinePairs(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0 + p)), zero), wa);
      bottom = CombinePairs(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1 + p)), zero), wa);
    }
    __m128i r;
    if (b == 0) r = bottom;
    else if (b == 255) r = top;
    else r = CombinePairs(_mm_unpacklo_epi64(top, bottom), wb);
    out[i] = TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(r, r)));
  }
}

}  // namespace

const TVectorRoutines Sse2Routines{"sse2", Sse2AverageBlock, Sse2SumRows16, Sse2AverageSums16, Sse2InterpolateRow};

}  // namespace murmella::bitmap32
