#include <immintrin.h>

#include <cstring>

#include "BlockDivisor.h"
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
    const std::ptrdiff_t down = std::ptrdiff_t(rows) * stride;
    for (std::int32_t y = 0; y < rows; ++y, p += stride) {
      PrefetchBelow(p, down, 64);
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

// Narrow blocks are summed across before they are summed down: a byte shuffle lines up the
// bytes of one channel side by side and a multiply-add with ones adds neighbours into 16-bit
// lanes, so each source row costs one load, one shuffle, one multiply-add and one add per 32
// bytes, and no row of column sums goes through memory.

// Two blocks 2 pixels wide in each 128-bit lane: channel by channel, pixel 0 beside pixel 1
// and pixel 2 beside pixel 3, so that the multiply-add gives both blocks' totals in place.
#define MURMELLA_PAIR_LANE 0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15

// One block of up to 4 pixels per lane: each channel's four bytes side by side, the bytes past
// the block's width zeroed (index with the top bit set).
alignas(16) constexpr std::int8_t LaneOfWidth[NarrowBlockWidth + 1][16] = {
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, -1, -1, -1, 1, -1, -1, -1, 2, -1, -1, -1, 3, -1, -1, -1},
    {0, 4, -1, -1, 1, 5, -1, -1, 2, 6, -1, -1, 3, 7, -1, -1},
    {0, 4, 8, -1, 1, 5, 9, -1, 2, 6, 10, -1, 3, 7, 11, -1},
    {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15},
};

__attribute__((target("avx2"))) inline __m256i Lanes(const std::int8_t* lo, const std::int8_t* hi) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(lo))),
                                 _mm_load_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

// Two registers of 16-bit values, packed to bytes: packus interleaves the inputs' lanes and the
// 64-bit permute puts the blocks back in order.
__attribute__((target("avx2"))) inline __m256i PackInOrder(__m256i a, __m256i b) {
  return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
}

__attribute__((target("avx2"))) inline __m256i Divide16(__m256i t, __m256i bias, __m256i mul, __m256i post) {
  return _mm256_mulhi_epu16(_mm256_mulhi_epu16(_mm256_subs_epu16(t, bias), mul), post);
}

// Pixel pairs of 32 bytes added across: 16-bit channel sums of pixels 0 + 1, 2 + 3, ...
__attribute__((target("avx2"))) inline __m256i PairsAcross(const std::uint8_t* p, __m256i shuffle, __m256i ones) {
  return _mm256_maddubs_epi16(_mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), shuffle), ones);
}

// Four blocks 2 pixels wide from the 8 pixels at p, one row: two blocks in each lane.
struct TPairQuad {
  static constexpr std::int32_t Width = 2;
  __m256i Shuffle, Ones;
  __attribute__((target("avx2"))) TPairQuad()
      : Shuffle(_mm256_setr_epi8(MURMELLA_PAIR_LANE, MURMELLA_PAIR_LANE)), Ones(_mm256_set1_epi8(1)) {}
  __attribute__((target("avx2"))) __m256i operator()(const std::uint8_t* p) const { return PairsAcross(p, Shuffle, Ones); }
};

// Four blocks 3 pixels wide from the 12 pixels at p, one row. Each lane takes its two blocks
// from two loads 2 pixels apart: the first gives block 0 its pixels 0 and 1 side by side and
// block 1 its pixel 3, the second block 0 its pixel 2 and block 1 its pixels 4 and 5. So one
// register holds pixels 0-3 and 6-9, the other 2-5 and 8-11, and two multiply-adds and an add
// make the four totals.
#define MURMELLA_TRIPLE_FIRST 0, 4, 1, 5, 2, 6, 3, 7, 12, -1, 13, -1, 14, -1, 15, -1
#define MURMELLA_TRIPLE_SECOND 0, -1, 1, -1, 2, -1, 3, -1, 8, 12, 9, 13, 10, 14, 11, 15
struct TTripleQuad {
  static constexpr std::int32_t Width = 3;
  __m256i First, Second, Ones;
  __attribute__((target("avx2"))) TTripleQuad()
      : First(_mm256_setr_epi8(MURMELLA_TRIPLE_FIRST, MURMELLA_TRIPLE_FIRST)),
        Second(_mm256_setr_epi8(MURMELLA_TRIPLE_SECOND, MURMELLA_TRIPLE_SECOND)), Ones(_mm256_set1_epi8(1)) {}
  __attribute__((target("avx2"))) __m256i operator()(const std::uint8_t* p) const {
    const __m256i l0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i l2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 8));
    const __m256i l4 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 16));
    return _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_shuffle_epi8(_mm256_blend_epi32(l0, l2, 0xF0), First), Ones),
                            _mm256_maddubs_epi16(_mm256_shuffle_epi8(_mm256_blend_epi32(l2, l4, 0xF0), Second), Ones));
  }
};

// The division of n-pixel blocks' 16-bit totals; for an opaque source the fourth channel's
// total is 255 n whatever its bytes hold, put in place of theirs first (lanes 3 and 7 of each
// 128 bits).
struct TDivision16 {
  __m256i Bias, Mul, Post, AlphaTotal;
  bool Opaque;
  __attribute__((target("avx2"))) TDivision16(std::uint32_t n, bool opaque)
      : Bias(_mm256_set1_epi16(short(BlockDivisors[n].Bias))), Mul(_mm256_set1_epi16(short(BlockDivisors[n].Mul))),
        Post(_mm256_set1_epi16(short(BlockDivisors[n].Post))), AlphaTotal(_mm256_set1_epi16(short(255 * n))),
        Opaque(opaque) {}
  __attribute__((target("avx2"))) __m256i operator()(__m256i t) const {
    return Divide16(Opaque ? _mm256_blend_epi16(t, AlphaTotal, 0x88) : t, Bias, Mul, Post);
  }
};

// Blocks all Quad::Width pixels wide, 16 at a time (4 groups of each row per pass down the
// rows, so that several cache lines of every row are in flight), then 4 at a time. Their
// 16-bit totals (rows <= 128) are divided in place. Reads exactly the blocks' pixels. Returns
// how many blocks were done.
template <class Quad>
__attribute__((target("avx2"))) std::int32_t Avx2UniformBlocks(const TColor32* first, std::int32_t stride,
                                                                std::int32_t rows, std::int32_t count, bool opaque,
                                                                TColor32* out) {
  const Quad quad;
  const TDivision16 divide(std::uint32_t(Quad::Width * rows), opaque);
  constexpr std::int32_t step = 16 * Quad::Width;  // bytes of four blocks
  const std::ptrdiff_t down = std::ptrdiff_t(rows) * stride;
  std::int32_t c = 0;
  for (; c + 16 <= count; c += 16) {
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(first + Quad::Width * c);
    __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
    for (std::int32_t y = 0; y < rows; ++y, p += stride) {
      PrefetchBelow(p, down, 4 * step);
      a0 = _mm256_add_epi16(a0, quad(p));
      a1 = _mm256_add_epi16(a1, quad(p + step));
      a2 = _mm256_add_epi16(a2, quad(p + 2 * step));
      a3 = _mm256_add_epi16(a3, quad(p + 3 * step));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), PackInOrder(divide(a0), divide(a1)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c + 8), PackInOrder(divide(a2), divide(a3)));
  }
  for (; c + 4 <= count; c += 4) {
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(first + Quad::Width * c);
    __m256i a = _mm256_setzero_si256();
    for (std::int32_t y = 0; y < rows; ++y, p += stride) a = _mm256_add_epi16(a, quad(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c), _mm256_castsi256_si128(PackInOrder(divide(a), a)));
  }
  return c;
}

// Two blocks of up to 4 pixels, one in each lane: where they start, the shuffle that lines up
// their channels, and their reciprocals.
struct TLanePair {
  std::int32_t At0, At1;
  __m256i Shuffle, Reciprocal, AlphaTotal;  // AlphaTotal: an opaque block's fourth channel total
  __attribute__((target("avx2"))) TLanePair(const std::int32_t* edges, const std::uint32_t* reciprocal,
                                             const std::uint32_t* alphaTotal)
      : At0(edges[0]), At1(edges[1]) {
    const std::int32_t w0 = edges[1] - edges[0], w1 = edges[2] - edges[1];
    Shuffle = Lanes(LaneOfWidth[w0], LaneOfWidth[w1]);
    Reciprocal = _mm256_inserti128_si256(_mm256_set1_epi32(std::int32_t(reciprocal[w0])),
                                         _mm_set1_epi32(std::int32_t(reciprocal[w1])), 1);
    AlphaTotal = _mm256_inserti128_si256(_mm256_set1_epi32(std::int32_t(alphaTotal[w0])),
                                         _mm_set1_epi32(std::int32_t(alphaTotal[w1])), 1);
  }
  // Each channel's bytes of both blocks in one source row, side by side.
  __attribute__((target("avx2"))) __m256i Bytes(const TColor32* row) const {
    const __m256i lo = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + At0)));
    const __m256i hi = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + At1)));
    return _mm256_shuffle_epi8(_mm256_blend_epi32(lo, hi, 0xF0), Shuffle);
  }
  // The pair sums added into 32-bit channel totals, times the reciprocal, shifted down; for an
  // opaque source with the fourth channel's total put in.
  __attribute__((target("avx2"))) __m256i Average(__m256i sums, bool opaque) const {
    __m256i t = _mm256_madd_epi16(sums, _mm256_set1_epi16(1));
    if (opaque) t = _mm256_blend_epi32(t, AlphaTotal, 0x88);
    return _mm256_srli_epi32(_mm256_mullo_epi32(t, Reciprocal), 24);
  }
};

// Any blocks up to 4 pixels wide, two per register (one per lane, each lane loaded from its
// block's first pixel), 8 blocks per pass down the rows. The lanes' 16-bit pair sums are added
// into 32-bit channel totals and divided with the reference's own 32-bit product. Stops where
// a lane's 16-byte load would reach past the last block. Returns how many blocks were done.
__attribute__((target("avx2"))) std::int32_t Avx2LaneBlocks(const TColor32* first, std::int32_t stride,
                                                             std::int32_t rows, const std::int32_t* edges,
                                                             std::int32_t count, bool opaque, TColor32* out) {
  const std::int32_t end = edges[count];
  const std::ptrdiff_t down = std::ptrdiff_t(rows) * stride;
  std::uint32_t reciprocal[NarrowBlockWidth + 1] = {}, alphaTotal[NarrowBlockWidth + 1] = {};
  for (std::int32_t w = 1; w <= NarrowBlockWidth; ++w) {
    reciprocal[w] = 16777216u / (std::uint32_t(w) * std::uint32_t(rows));
    alphaTotal[w] = 255u * std::uint32_t(w) * std::uint32_t(rows);
  }
  const __m256i ones8 = _mm256_set1_epi8(1);
  // Pixels back in order after the two packs: blocks 0 2 4 6 | 1 3 5 7 become 0 .. 7.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  std::int32_t c = 0;
  for (; c + 8 <= count && edges[c + 7] + 4 <= end; c += 8) {
    // Four registers of two blocks each, written out so that they stay in registers.
    const std::int32_t* e = edges + c;
    const TLanePair g0(e, reciprocal, alphaTotal), g1(e + 2, reciprocal, alphaTotal), g2(e + 4, reciprocal, alphaTotal),
        g3(e + 6, reciprocal, alphaTotal);
    __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(first);
    const std::int32_t span = 4 * (e[8] - e[0]);
    for (std::int32_t y = 0; y < rows; ++y, p += stride) {
      PrefetchBelow(p + 4 * e[0], down, span);
      const auto* row = reinterpret_cast<const TColor32*>(p);
      a0 = _mm256_add_epi16(a0, _mm256_maddubs_epi16(g0.Bytes(row), ones8));
      a1 = _mm256_add_epi16(a1, _mm256_maddubs_epi16(g1.Bytes(row), ones8));
      a2 = _mm256_add_epi16(a2, _mm256_maddubs_epi16(g2.Bytes(row), ones8));
      a3 = _mm256_add_epi16(a3, _mm256_maddubs_epi16(g3.Bytes(row), ones8));
    }
    const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(g0.Average(a0, opaque), g1.Average(a1, opaque)),
                                              _mm256_packus_epi32(g2.Average(a2, opaque), g3.Average(a3, opaque)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), _mm256_permutevar8x32_epi32(bytes, order));
  }
  return c;
}

__attribute__((target("avx2"))) void Avx2ReduceNarrowRow(const TColor32* first, std::int32_t stride,
                                                          std::int32_t rows, const std::int32_t* edges,
                                                          std::int32_t count, std::int32_t uniformWidth, bool opaque,
                                                          TColor32* out) {
  std::int32_t c = 0;
  if (uniformWidth == 2 && BlockDivisors[std::size_t(2 * rows)].Exact)
    c = Avx2UniformBlocks<TPairQuad>(first + edges[0], stride, rows, count, opaque, out);
  else if (uniformWidth == 3 && 3 * rows <= 256 && BlockDivisors[std::size_t(3 * rows)].Exact)
    c = Avx2UniformBlocks<TTripleQuad>(first + edges[0], stride, rows, count, opaque, out);
  c += Avx2LaneBlocks(first, stride, rows, edges + c, count - c, opaque, out + c);
  // The last few blocks, whose lanes would read past the row's last block.
  for (; c < count; ++c)
    out[c] = AverageBlockOf(Sse2Routines, edges[c + 1] - edges[c], rows, first + edges[c], stride, opaque);
}

// Blocks 4 K pixels wide, summed across in 4-pixel groups without a row of column sums: a
// byte shuffle puts each channel's four bytes of a group side by side in every 128-bit lane
// and a multiply-add with ones adds them in pairs, so a lane holds a group's 16-bit pair sums
// (at most 64 rows of 510 keep them below 2^15 for the signed widening multiply-add after
// the rows). A register covers two groups, a block K halves of registers, two blocks K
// registers side by side in the row.
template <int K>
struct TGroupRows {
  static_assert(K == 2 || K == 3, "the lane moves in Totals are written out for 2 and 3 groups");
  static constexpr std::int32_t BlockBytes = 16 * K;
  __m256i Shuffle, Ones8, Ones16;
  __attribute__((target("avx2"))) TGroupRows()
      : Shuffle(_mm256_broadcastsi128_si256(_mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15))),
        Ones8(_mm256_set1_epi8(1)), Ones16(_mm256_set1_epi16(1)) {}
  __attribute__((target("avx2"))) __m256i Across(const std::uint8_t* p) const {
    return _mm256_maddubs_epi16(_mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), Shuffle),
                                Ones8);
  }
  // The 32-bit channel totals of two blocks, one per lane, from the K registers of their
  // pair sums: lane moves line up each block's groups and adds join them.
  __attribute__((target("avx2"))) __m256i Totals(const __m256i* a) const {
    const __m256i g0 = _mm256_madd_epi16(a[0], Ones16), g1 = _mm256_madd_epi16(a[1], Ones16);
    if constexpr (K == 2) {
      // Block 0's groups are g0's lanes, block 1's g1's.
      return _mm256_add_epi32(_mm256_permute2x128_si256(g0, g1, 0x20), _mm256_permute2x128_si256(g0, g1, 0x31));
    } else {
      // Block 0's groups are g0's lanes and g1's low one, block 1's g1's high one and g2's lanes.
      const __m256i g2 = _mm256_madd_epi16(a[2], Ones16);
      const __m256i low = _mm256_permute2x128_si256(g0, g2, 0x20), high = _mm256_permute2x128_si256(g0, g2, 0x31);
      return _mm256_add_epi32(_mm256_add_epi32(low, high), g1);
    }
  }
};

// Blocks' 32-bit channel totals to their colours with the reference's own product and shift;
// for an opaque source the fourth channel's total is 255 n whatever its bytes held.
struct TDivision32 {
  __m256i Reciprocal, AlphaTotal;
  bool Opaque;
  __attribute__((target("avx2"))) TDivision32(std::uint32_t n, bool opaque)
      : Reciprocal(_mm256_set1_epi32(std::int32_t(16777216u / n))),
        AlphaTotal(_mm256_set1_epi32(std::int32_t(255 * n))),
        Opaque(opaque) {}
  __attribute__((target("avx2"))) __m256i operator()(__m256i t) const {
    if (Opaque) t = _mm256_blend_epi32(t, AlphaTotal, 0x88);
    return _mm256_srli_epi32(_mm256_mullo_epi32(t, Reciprocal), 24);
  }
};

// Blocks 4 K pixels wide, 8 per pass down the rows (4 K registers, several cache lines of
// every row in flight), then 2 per pass. Returns how many blocks were done. Unlike the
// narrow blocks' passes these ask for nothing below: a pass reads 256 or 384 bytes of each
// row, a long enough run for the processor's own prefetcher, and the extra load-port work
// of the hints measured a fifth slower, top-down and bottom-up alike.
template <int K>
__attribute__((target("avx2"))) std::int32_t Avx2GroupBlocks(const TColor32* first, std::int32_t stride,
                                                              std::int32_t rows, std::int32_t count, bool opaque,
                                                              TColor32* out) {
  using TRows = TGroupRows<K>;
  const TRows across;
  const TDivision32 divide(4u * K * std::uint32_t(rows), opaque);
  // Pixels back in order after the two packs: blocks 0 2 4 6 | 1 3 5 7 become 0 .. 7.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  std::int32_t c = 0;
  for (; c + 8 <= count; c += 8) {
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(first) + std::ptrdiff_t(c) * TRows::BlockBytes;
    __m256i a[4 * K];
#pragma GCC unroll 12
    for (int k = 0; k < 4 * K; ++k) a[k] = _mm256_setzero_si256();
    for (std::int32_t y = 0; y < rows; ++y, p += stride) {
#pragma GCC unroll 12
      for (int k = 0; k < 4 * K; ++k) a[k] = _mm256_add_epi16(a[k], across.Across(p + 32 * k));
    }
    const __m256i bytes =
        _mm256_packus_epi16(_mm256_packus_epi32(divide(across.Totals(a)), divide(across.Totals(a + K))),
                            _mm256_packus_epi32(divide(across.Totals(a + 2 * K)), divide(across.Totals(a + 3 * K))));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), _mm256_permutevar8x32_epi32(bytes, order));
  }
  for (; c + 2 <= count; c += 2) {
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(first) + std::ptrdiff_t(c) * TRows::BlockBytes;
    __m256i a[K];
#pragma GCC unroll 3
    for (int k = 0; k < K; ++k) a[k] = _mm256_setzero_si256();
    for (std::int32_t y = 0; y < rows; ++y, p += stride) {
#pragma GCC unroll 3
      for (int k = 0; k < K; ++k) a[k] = _mm256_add_epi16(a[k], across.Across(p + 32 * k));
    }
    const __m256i t = divide(across.Totals(a));
    const __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + c), _mm_packus_epi16(words, words));
  }
  return c;
}

__attribute__((target("avx2"))) bool Avx2ReduceWideRow(const TColor32* first, std::int32_t stride, std::int32_t rows,
                                                        std::int32_t width, std::int32_t count, bool opaque,
                                                        TColor32* out) {
  std::int32_t c;
  if (width == 8) c = Avx2GroupBlocks<2>(first, stride, rows, count, opaque, out);
  else if (width == 12) c = Avx2GroupBlocks<3>(first, stride, rows, count, opaque, out);
  else return false;
  for (; c < count; ++c) out[c] = AverageBlockOf(Sse2Routines, width, rows, first + width * c, stride, opaque);
  return true;
}

// Column sums of pixel pairs: the pair shuffle and a multiply-add with ones add each pair
// across as the rows are added down, 64 pixels (256 bytes of each row) per pass down the rows.
__attribute__((target("avx2"))) void Avx2SumPairs16(const TColor32* first, std::int32_t stride, std::int32_t rows,
                                                     std::int32_t pairs, std::uint16_t* sums) {
  const __m256i shuffle = _mm256_setr_epi8(MURMELLA_PAIR_LANE, MURMELLA_PAIR_LANE);
  const __m256i ones = _mm256_set1_epi8(1);
  const std::ptrdiff_t down = std::ptrdiff_t(rows) * stride;
  std::int32_t i = 0;
  for (; i + 32 <= pairs; i += 32) {
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(first + 2 * i);
    __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0, a4 = a0, a5 = a0, a6 = a0, a7 = a0;
    for (std::int32_t y = 0; y < rows; ++y, p += stride) {
      PrefetchBelow(p, down, 256);
      a0 = _mm256_add_epi16(a0, PairsAcross(p, shuffle, ones));
      a1 = _mm256_add_epi16(a1, PairsAcross(p + 32, shuffle, ones));
      a2 = _mm256_add_epi16(a2, PairsAcross(p + 64, shuffle, ones));
      a3 = _mm256_add_epi16(a3, PairsAcross(p + 96, shuffle, ones));
      a4 = _mm256_add_epi16(a4, PairsAcross(p + 128, shuffle, ones));
      a5 = _mm256_add_epi16(a5, PairsAcross(p + 160, shuffle, ones));
      a6 = _mm256_add_epi16(a6, PairsAcross(p + 192, shuffle, ones));
      a7 = _mm256_add_epi16(a7, PairsAcross(p + 224, shuffle, ones));
    }
    auto* out = reinterpret_cast<__m256i*>(sums + 4 * i);
    _mm256_storeu_si256(out, a0);
    _mm256_storeu_si256(out + 1, a1);
    _mm256_storeu_si256(out + 2, a2);
    _mm256_storeu_si256(out + 3, a3);
    _mm256_storeu_si256(out + 4, a4);
    _mm256_storeu_si256(out + 5, a5);
    _mm256_storeu_si256(out + 6, a6);
    _mm256_storeu_si256(out + 7, a7);
  }
  for (; i + 4 <= pairs; i += 4) {
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(first + 2 * i);
    __m256i a = _mm256_setzero_si256();
    for (std::int32_t y = 0; y < rows; ++y, p += stride) a = _mm256_add_epi16(a, PairsAcross(p, shuffle, ones));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + 4 * i), a);
  }
  for (; i < pairs; ++i) {
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(first + 2 * i);
    for (int c = 0; c < 4; ++c) sums[4 * i + c] = 0;
    for (std::int32_t y = 0; y < rows; ++y, p += stride)
      for (int c = 0; c < 4; ++c) sums[4 * i + c] = std::uint16_t(sums[4 * i + c] + p[c] + p[4 + c]);
  }
}

// Combine's two rounded products in 16-bit lanes. With the weights taken as W' = W and
// V' = 255 - W, except that the one that is 255 counts as 256 when W is 0 or 255,
// ((X W' + 128) >> 8) + ((Y V' + 128) >> 8) is Combine throughout ((X 256 + 128) >> 8 is X), so
// neither end needs a case of its own. Each product is the rounding high half of 128 X times
// the weight: (128 X W' + 2^14) >> 15. x and y hold 8 pixels; the weights are per 16-bit lane of
// x's low and high unpacked halves.
__attribute__((target("avx2"))) inline __m256i WeighPixels(__m256i x, __m256i y, __m256i wxLo, __m256i wyLo,
                                                          __m256i wxHi, __m256i wyHi) {
  // Unpacked under zero each byte is 256 times itself in its lane; halved, 128 times.
  const __m256i zero = _mm256_setzero_si256();
  const __m256i xl = _mm256_srli_epi16(_mm256_unpacklo_epi8(zero, x), 1);
  const __m256i xh = _mm256_srli_epi16(_mm256_unpackhi_epi8(zero, x), 1);
  const __m256i yl = _mm256_srli_epi16(_mm256_unpacklo_epi8(zero, y), 1);
  const __m256i yh = _mm256_srli_epi16(_mm256_unpackhi_epi8(zero, y), 1);
  // The packs undo the unpacks' order within each lane.
  return _mm256_packus_epi16(_mm256_add_epi16(_mm256_mulhrs_epi16(xl, wxLo), _mm256_mulhrs_epi16(yl, wyLo)),
                             _mm256_add_epi16(_mm256_mulhrs_epi16(xh, wxHi), _mm256_mulhrs_epi16(yh, wyHi)));
}

// Eight pixels' 8-bit weights as W' and V' (above), each spread over its pixel's four channel
// lanes in the layout of the low and high unpacked halves of 8 pixels.
struct TSpreadWeights {
  __m256i XLo, YLo, XHi, YHi;
  __attribute__((target("avx2"))) explicit TSpreadWeights(const std::uint8_t* w8) {
    const __m128i w = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w8)));
    // cmpeq gives -1 where it holds: subtracting it adds 1.
    const __m128i wx = _mm_sub_epi16(w, _mm_cmpeq_epi16(w, _mm_set1_epi16(255)));
    const __m128i wy = _mm_sub_epi16(_mm_sub_epi16(_mm_set1_epi16(255), w), _mm_cmpeq_epi16(w, _mm_setzero_si128()));
    // Low halves hold pixels 0 1 | 4 5, high halves 2 3 | 6 7.
    const __m256i lo = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 2, 3, 2, 3, 2, 3, 2, 3, 8, 9, 8, 9, 8, 9, 8, 9, 10, 11,
                                        10, 11, 10, 11, 10, 11);
    const __m256i hi = _mm256_setr_epi8(4, 5, 4, 5, 4, 5, 4, 5, 6, 7, 6, 7, 6, 7, 6, 7, 12, 13, 12, 13, 12, 13, 12, 13,
                                        14, 15, 14, 15, 14, 15, 14, 15);
    const __m256i bx = _mm256_broadcastsi128_si256(wx), by = _mm256_broadcastsi128_si256(wy);
    XLo = _mm256_shuffle_epi8(bx, lo);
    XHi = _mm256_shuffle_epi8(bx, hi);
    YLo = _mm256_shuffle_epi8(by, lo);
    YHi = _mm256_shuffle_epi8(by, hi);
  }
};

// Eight outputs at a time. When both neighbours of each lie within the 8 pixels from the
// first one's left neighbour (an enlargement across), one load of those pixels and two
// permutes give the left and right neighbours; otherwise they are gathered.
__attribute__((target("avx2"))) void Avx2InterpolateAcross(const TColor32* row, std::int32_t rowPixels,
                                                            const std::int32_t* pos, const std::uint8_t* weights,
                                                            TColor32* out, std::int32_t count) {
  const __m256i one = _mm256_set1_epi32(1);
  const auto* base = reinterpret_cast<const int*>(row);
  std::int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const std::int32_t p0 = pos[i];
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pos + i));
    __m256i x, y;
    // Every left neighbour 0 to 6 pixels past the first one's (unsigned, so below it is far).
    const __m256i at = _mm256_sub_epi32(p, _mm256_set1_epi32(p0));
    const __m256i near = _mm256_cmpeq_epi32(_mm256_max_epu32(at, _mm256_set1_epi32(6)), _mm256_set1_epi32(6));
    if (_mm256_movemask_epi8(near) == -1 && p0 + 8 <= rowPixels) {
      const __m256i window = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + p0));
      x = _mm256_permutevar8x32_epi32(window, at);
      y = _mm256_permutevar8x32_epi32(window, _mm256_add_epi32(at, one));
    } else {
      x = _mm256_i32gather_epi32(base, p, 4);
      y = _mm256_i32gather_epi32(base, _mm256_add_epi32(p, one), 4);
    }
    const TSpreadWeights w(weights + i);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), WeighPixels(x, y, w.XLo, w.YLo, w.XHi, w.YHi));
  }
  for (; i < count; ++i) out[i] = Combine(row[pos[i]], row[pos[i] + 1], weights[i]);
}

__attribute__((target("avx2"))) void Avx2CombineRows(const TColor32* top, const TColor32* bottom, std::uint8_t b,
                                                      TColor32* out, std::int32_t count) {
  if (b == 0 || b == 255) {
    const TColor32* from = b == 0 ? bottom : top;
    for (std::int32_t i = 0; i < count; ++i) out[i] = from[i];
    return;
  }
  const __m256i wx = _mm256_set1_epi16(short(b)), wy = _mm256_set1_epi16(short(255 - b));
  std::int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + i));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), WeighPixels(x, y, wx, wy, wx, wy));
  }
  for (; i < count; ++i) out[i] = Combine(top[i], bottom[i], b);
}

// Rows of equal blocks: each block's total is a sum of 64-bit words, one per column of sums,
// in plain integer adds (no 16-bit lane can carry into the next: a block's total of one
// channel stays below 2^16), then four blocks to a register for the short division. Rows of
// mixed or large blocks are left to the SSE2 routine.
__attribute__((target("avx2"))) void Avx2AverageSums16(const std::uint16_t* sums, const std::int32_t* edges,
                                                        std::int32_t count, std::int32_t rows, TColor32* out) {
  const std::int32_t w = count > 0 ? edges[1] - edges[0] : 0;
  bool uniform = w > 0;
  for (std::int32_t k = 1; k < count && uniform; ++k) uniform = edges[k + 1] - edges[k] == w;
  const std::uint32_t n = std::uint32_t(w) * std::uint32_t(rows);
  if (!uniform || n > 256 || !BlockDivisors[n].Exact) {
    Sse2Routines.AverageSums16(sums, edges, count, rows, out);
    return;
  }
  const TDivision16 divide(n, false);
  const auto total = [&](std::int32_t c) {
    std::uint64_t t = 0;
    for (std::int32_t x = edges[c]; x < edges[c + 1]; ++x) {
      std::uint64_t column;
      std::memcpy(&column, sums + 4 * x, sizeof column);
      t += column;
    }
    return std::int64_t(t);
  };
  std::int32_t c = 0;
  for (; c + 8 <= count; c += 8) {
    const __m256i t0 = _mm256_set_epi64x(total(c + 3), total(c + 2), total(c + 1), total(c));
    const __m256i t1 = _mm256_set_epi64x(total(c + 7), total(c + 6), total(c + 5), total(c + 4));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), PackInOrder(divide(t0), divide(t1)));
  }
  const std::uint32_t m = 16777216u / n;
  for (; c < count; ++c) {
    const auto t = std::uint64_t(total(c));
    TColor32 r = 0;
    for (int k = 0; k < 4; ++k) r |= TColor32(((std::uint32_t(t >> (16 * k)) & 0xFFFF) * m) >> 24) << (8 * k);
    out[c] = r;
  }
}

}  // namespace

const TVectorRoutines Avx2Routines{"avx2", Sse2Routines.AverageBlock, Avx2SumRows16, Avx2SumPairs16, Avx2AverageSums16,
                                   Avx2InterpolateAcross, Avx2CombineRows, Avx2ReduceNarrowRow, Avx2ReduceWideRow};

}  // namespace murmella::bitmap32
