#include <emmintrin.h>

#include "BlockDivisor.h"
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

// The four channel totals of one block of column sums in the low half (the high half is
// junk); 16-bit lanes suffice when the block's total stays below 2^16.
__m128i BlockTotals16(const std::uint16_t* sums, std::int32_t x0, std::int32_t x1) {
  __m128i t = _mm_setzero_si128();
  std::int32_t x = x0;
  for (; x + 2 <= x1; x += 2) t = _mm_add_epi16(t, _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 4 * x)));
  if (x < x1) t = _mm_add_epi16(t, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(sums + 4 * x)));
  return _mm_add_epi16(t, _mm_srli_si128(t, 8));
}

// floor(t m / 2^24) in 16-bit lanes for totals t < 2^16 and m = floor(2^24 / n) with n >= 2,
// given mh = m >> 8 and ml8 = (m & 255) << 8: t m / 2^24 = (t mh + t ml / 256) / 2^16, and
// flooring t ml / 256 first changes no floor of the whole, so the result is the high word of
// t mh plus the carry out of its low word plus floor(t ml / 256).
__m128i MulShift24Narrow(__m128i t, __m128i mh, __m128i ml8) {
  const __m128i hi = _mm_mulhi_epu16(t, mh), lo = _mm_mullo_epi16(t, mh);
  const __m128i sum = _mm_add_epi16(lo, _mm_mulhi_epu16(t, ml8));
  const __m128i bias = _mm_set1_epi16(short(0x8000));
  const __m128i carry = _mm_cmpgt_epi16(_mm_xor_si128(lo, bias), _mm_xor_si128(sum, bias));  // -1 on wrap
  return _mm_sub_epi16(hi, carry);
}

// The pair's multipliers for MulShift24Narrow: block c's in the low half, block c + 1's in the high.
void NarrowMultipliers(std::uint32_t m0, std::uint32_t m1, __m128i& mh, __m128i& ml8) {
  mh = _mm_unpacklo_epi64(_mm_set1_epi16(short(m0 >> 8)), _mm_set1_epi16(short(m1 >> 8)));
  ml8 = _mm_unpacklo_epi64(_mm_set1_epi16(short((m0 & 255) << 8)), _mm_set1_epi16(short((m1 & 255) << 8)));
}

// Block totals from whole-vector loads with the pixels past the block masked off: no loop and
// no branch on the width, for the narrow blocks that most reductions have. Reads pixels x0 ..
// x0 + 2 * Loads - 1, so the caller checks that they exist.
template <int Loads>
inline __attribute__((always_inline)) __m128i MaskedTotals16(const std::uint16_t* sums, std::int32_t x0, std::int32_t w) {
  // Lane pair k (one pixel) is kept while k < w.
  const __m128i index = _mm_set_epi32(1, 1, 0, 0);
  const __m128i width = _mm_set1_epi32(w);
  const auto* p = reinterpret_cast<const __m128i*>(sums + 4 * x0);
  __m128i t = _mm_setzero_si128();
  for (int k = 0; k < Loads; ++k) {
    const __m128i keep = _mm_cmpgt_epi32(width, _mm_add_epi32(index, _mm_set1_epi32(2 * k)));
    t = _mm_add_epi16(t, _mm_and_si128(_mm_loadu_si128(p + k), keep));
  }
  return _mm_add_epi16(t, _mm_srli_si128(t, 8));
}

inline __attribute__((always_inline)) __m128i NarrowTotals16(const std::uint16_t* sums, std::int32_t x0, std::int32_t x1, std::int32_t end) {
  const std::int32_t w = x1 - x0;
  if (w <= 4 && x0 + 4 <= end) return MaskedTotals16<2>(sums, x0, w);
  if (w <= 8 && x0 + 8 <= end) return MaskedTotals16<4>(sums, x0, w);
  return BlockTotals16(sums, x0, x1);
}

void Sse2AverageSums16(const std::uint16_t* sums, const std::int32_t* edges, std::int32_t count, std::int32_t rows,
                       TColor32* out) {
  const __m128i zero = _mm_setzero_si128();
  // Blocks of 2 to 257 pixels go through 16-bit lanes (n x 255 fits 16 bits; n = 1 would need
  // a 17-bit multiplier), two blocks per vector.
  const auto narrow = [](std::uint32_t n) { return n >= 2 && n <= 257; };
  // The multiplier halves of each block width, worked out the first time the width is met:
  // a row has one or two widths, so this is one or two divisions a row.
  constexpr std::int32_t MaxNarrow = 257;
  std::uint16_t mhOf[MaxNarrow + 1], mlOf[MaxNarrow + 1];
  bool known[MaxNarrow + 1] = {};
  const auto multiplier = [&](std::int32_t w) {
    if (!known[w]) {
      known[w] = true;
      const std::uint32_t m = 16777216u / (std::uint32_t(w) * std::uint32_t(rows));
      mhOf[w] = std::uint16_t(m >> 8);
      mlOf[w] = std::uint16_t((m & 255) << 8);
    }
  };
  const std::int32_t end = edges[count];
  std::int32_t c = 0;
  const bool halving = narrow(2 * std::uint32_t(rows));
  __m128i mh2 = zero, ml2 = zero;
  if (halving) {
    const std::uint32_t m2 = 16777216u / (2 * std::uint32_t(rows));
    NarrowMultipliers(m2, m2, mh2, ml2);
  }
  std::int32_t pairW0 = -1, pairW1 = -1;
  __m128i mh = zero, ml8 = zero;
  // Pairs of blocks whose sizes both have the short division use it instead.
  bool shortForm = false;
  __m128i bias = zero, mul = zero, post = zero;
  while (c + 2 <= count) {
    const std::int32_t x0 = edges[c];
    if (halving && c + 4 <= count && edges[c + 4] - x0 == 8 && edges[c + 1] - x0 == 2 && edges[c + 2] - x0 == 4 &&
        edges[c + 3] - x0 == 6) {
      // A halving across, the common 2 x 2 or 2 x 3 blocks: four blocks from four loads.
      const auto* p = reinterpret_cast<const __m128i*>(sums + 4 * x0);
      const __m128i a = _mm_loadu_si128(p), b = _mm_loadu_si128(p + 1);
      const __m128i d = _mm_loadu_si128(p + 2), e = _mm_loadu_si128(p + 3);
      const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi64(a, b), _mm_unpackhi_epi64(a, b));
      const __m128i hi = _mm_add_epi16(_mm_unpacklo_epi64(d, e), _mm_unpackhi_epi64(d, e));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c),
                       _mm_packus_epi16(MulShift24Narrow(lo, mh2, ml2), MulShift24Narrow(hi, mh2, ml2)));
      c += 4;
      continue;
    }
    // Any two narrow blocks.
    const std::int32_t x1 = edges[c + 1], x2 = edges[c + 2];
    const std::int32_t w0 = x1 - x0, w1 = x2 - x1;
    if (w0 > MaxNarrow || w1 > MaxNarrow || !narrow(std::uint32_t(w0) * std::uint32_t(rows)) ||
        !narrow(std::uint32_t(w1) * std::uint32_t(rows)))
      break;
    if (w0 != pairW0 || w1 != pairW1) {
      // Rows of equal blocks keep one pair of multipliers throughout.
      multiplier(w0);
      multiplier(w1);
      mh = _mm_unpacklo_epi64(_mm_set1_epi16(short(mhOf[w0])), _mm_set1_epi16(short(mhOf[w1])));
      ml8 = _mm_unpacklo_epi64(_mm_set1_epi16(short(mlOf[w0])), _mm_set1_epi16(short(mlOf[w1])));
      const std::uint32_t n0 = std::uint32_t(w0) * std::uint32_t(rows), n1 = std::uint32_t(w1) * std::uint32_t(rows);
      shortForm = n0 <= 256 && n1 <= 256 && BlockDivisors[n0].Exact && BlockDivisors[n1].Exact;
      if (shortForm) {
        const TBlockDivisor &d0 = BlockDivisors[n0], &d1 = BlockDivisors[n1];
        bias = _mm_unpacklo_epi64(_mm_set1_epi16(short(d0.Bias)), _mm_set1_epi16(short(d1.Bias)));
        mul = _mm_unpacklo_epi64(_mm_set1_epi16(short(d0.Mul)), _mm_set1_epi16(short(d1.Mul)));
        post = _mm_unpacklo_epi64(_mm_set1_epi16(short(d0.Post)), _mm_set1_epi16(short(d1.Post)));
      }
      pairW0 = w0;
      pairW1 = w1;
    }
    const __m128i t = _mm_unpacklo_epi64(NarrowTotals16(sums, x0, x1, end), NarrowTotals16(sums, x1, x2, end));
    const __m128i r = shortForm ? _mm_mulhi_epu16(_mm_mulhi_epu16(_mm_subs_epu16(t, bias), mul), post)
                                : MulShift24Narrow(t, mh, ml8);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + c), _mm_packus_epi16(r, r));
    c += 2;
  }
  // The rest one by one in 32-bit lanes: a last odd block, or blocks of 1 or over 257 pixels.
  for (; c < count; ++c) {
    const std::int32_t x0 = edges[c], x1 = edges[c + 1];
    const std::uint32_t n = std::uint32_t(x1 - x0) * std::uint32_t(rows);
    __m128i t = zero;
    std::int32_t x = x0;
    for (; x + 2 <= x1; x += 2) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 4 * x));
      t = _mm_add_epi32(t, _mm_add_epi32(_mm_unpacklo_epi16(v, zero), _mm_unpackhi_epi16(v, zero)));
    }
    if (x < x1)
      t = _mm_add_epi32(t, _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sums + 4 * x)), zero));
    out[c] = Pack(MulShift24(t, 16777216u / n));
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

// [X, Y] as 16-bit lanes weighed by [W, V] with Combine's rounding, halves added.
__m128i CombinePairs(__m128i xy, __m128i weights) {
  const __m128i r = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(xy, weights), _mm_set1_epi16(128)), 8);
  return _mm_add_epi16(r, _mm_srli_si128(r, 8));
}

// Combine's weights for one output as 16-bit lanes [W' x 4, V' x 4]: W' = W and V' = 255 - W,
// except that the one that is 255 counts as 256 when W is 0 or 255. Then
// ((X W' + 128) >> 8) + ((Y V' + 128) >> 8) is Combine throughout, ends included
// ((X 256 + 128) >> 8 is X), and no product leaves 16 bits.
struct TWeightLanes {
  alignas(16) std::uint16_t Lanes[256][8];
  constexpr TWeightLanes() : Lanes{} {
    for (int w = 0; w < 256; ++w)
      for (int k = 0; k < 4; ++k) {
        Lanes[w][k] = std::uint16_t(w == 255 ? 256 : w);
        Lanes[w][4 + k] = std::uint16_t(w == 0 ? 256 : 255 - w);
      }
  }
};
constexpr TWeightLanes WeightLanes;

// One output from its two neighbours, in the low four 16-bit lanes.
inline __m128i WeighNeighbours(const TColor32* pair, std::uint8_t w) {
  const __m128i v = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pair)), _mm_setzero_si128());
  const __m128i weights = _mm_load_si128(reinterpret_cast<const __m128i*>(WeightLanes.Lanes[w]));
  return CombinePairs(v, weights);
}

void Sse2InterpolateAcross(const TColor32* row, std::int32_t, const std::int32_t* pos, const std::uint8_t* weights,
                           TColor32* out, std::int32_t count) {
  std::int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i a = _mm_unpacklo_epi64(WeighNeighbours(row + pos[i], weights[i]),
                                         WeighNeighbours(row + pos[i + 1], weights[i + 1]));
    const __m128i b = _mm_unpacklo_epi64(WeighNeighbours(row + pos[i + 2], weights[i + 2]),
                                         WeighNeighbours(row + pos[i + 3], weights[i + 3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(a, b));
  }
  for (; i < count; ++i) {
    const __m128i r = WeighNeighbours(row + pos[i], weights[i]);
    out[i] = TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(r, r)));
  }
}

void Sse2CombineRows(const TColor32* top, const TColor32* bottom, std::uint8_t b, TColor32* out, std::int32_t count) {
  if (b == 0 || b == 255) {
    const TColor32* from = b == 0 ? bottom : top;
    for (std::int32_t i = 0; i < count; ++i) out[i] = from[i];
    return;
  }
  const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128);
  const __m128i wx = _mm_set1_epi16(short(b)), wy = _mm_set1_epi16(short(255 - b));
  const auto weigh = [&](__m128i x, __m128i y) {
    return _mm_add_epi16(_mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(x, wx), half), 8),
                         _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(y, wy), half), 8));
  };
  std::int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + i));
    const __m128i lo = weigh(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(y, zero));
    const __m128i hi = weigh(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(y, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
  }
  for (; i < count; ++i) out[i] = Combine(top[i], bottom[i], b);
}

}  // namespace

const TVectorRoutines Sse2Routines{"sse2", Sse2AverageBlock, Sse2SumRows16, nullptr, Sse2AverageSums16, Sse2InterpolateAcross,
                                Sse2CombineRows, nullptr, nullptr};

}  // namespace murmella::bitmap32
