// The reductions' row routines in 512-bit registers with byte permutes and 4-byte dot
// products (AVX-512 BW, VBMI and VNNI): twice the bytes per instruction of the AVX2 routines,
// a block of a narrow width lined up with one permute instead of loads, blends and shuffles,
// and four bytes of a channel added into a 32-bit total by one instruction. The rest of the
// set is the AVX2 routines'.
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's 512-bit headers start some intrinsics from a deliberately undefined register.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include "BlockDivisor.h"
#include "VectorRoutines.h"

#define MURMELLA_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vnni,avx2")))

namespace murmella::bitmap32 {
namespace {

// The fourth channel of every pixel: words 3 and 7 of each 128 bits, dwords 3 of each 128.
constexpr __mmask32 AlphaWords = 0x88888888u;
constexpr __mmask16 AlphaDwords = 0x8888u;

// 16-bit channel sums of the pixel pairs in 64 bytes of a row: a byte shuffle puts each
// channel of a pair side by side and the multiply-add with ones adds them in place.
struct TPairsAcross {
  __m512i Shuffle, Ones;
  MURMELLA_AVX512 TPairsAcross()
      : Shuffle(_mm512_broadcast_i32x4(_mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15))),
        Ones(_mm512_set1_epi8(1)) {}
  MURMELLA_AVX512 __m512i operator()(const std::uint8_t* p) const {
    return _mm512_maddubs_epi16(_mm512_shuffle_epi8(_mm512_loadu_si512(p), Shuffle), Ones);
  }
};

// One pass down a block row: Registers totals, each fed by add(total, address) from its own
// `step` bytes of every row (register k from p + k step), asking for the same bytes of the
// next block row as it goes; then done(totals). The totals are an array that stays in
// registers as long as every loop over it, done's too, is unrolled.
template <int Registers, class Add, class Done>
MURMELLA_AVX512 inline void SumDown(const std::uint8_t* p, std::int32_t stride, std::int32_t rows, std::int32_t step,
                                    Add add, Done done) {
  __m512i a[Registers];
#pragma GCC unroll 8
  for (int k = 0; k < Registers; ++k) a[k] = _mm512_setzero_si512();
  const std::ptrdiff_t down = std::ptrdiff_t(rows) * stride;
  for (std::int32_t y = 0; y < rows; ++y, p += stride) {
    PrefetchBelow(p, down, Registers * step);
#pragma GCC unroll 8
    for (int k = 0; k < Registers; ++k) a[k] = add(a[k], p + k * step);
  }
  done(static_cast<const __m512i*>(a));
}

// Blocks of blockBytes bytes a row from p, PerRegister of them to a register: Registers
// registers a pass while whole passes fit, then one register a pass. finish(c, total) makes
// blocks c .. c + PerRegister - 1 from their register. Returns how many blocks were done.
template <int PerRegister, int Registers, class Add, class Finish>
MURMELLA_AVX512 inline std::int32_t BlocksDown(const std::uint8_t* p, std::int32_t blockBytes, std::int32_t count,
                                               std::int32_t stride, std::int32_t rows, Add add, Finish finish) {
  const std::int32_t step = PerRegister * blockBytes;
  std::int32_t c = 0;
  for (; c + PerRegister * Registers <= count; c += PerRegister * Registers)
    SumDown<Registers>(p + std::ptrdiff_t(c) * blockBytes, stride, rows, step, add, [&](const __m512i* a) MURMELLA_AVX512 {
#pragma GCC unroll 8
      for (int k = 0; k < Registers; ++k) finish(c + k * PerRegister, a[k]);
    });
  for (; c + PerRegister <= count; c += PerRegister)
    SumDown<1>(p + std::ptrdiff_t(c) * blockBytes, stride, rows, step, add,
               [&](const __m512i* a) MURMELLA_AVX512 { finish(c, a[0]); });
  return c;
}

// Blocks two pixels wide, 32 per pass down the rows: the pair sums of each row are the
// blocks' own, added down in 16 bits; after the rows the short division and a narrowing move
// give the blocks' colours in order. Returns how many blocks were done.
MURMELLA_AVX512 std::int32_t Avx512PairBlocks(const TColor32* first, std::int32_t stride, std::int32_t rows,
                                              std::int32_t count, bool opaque, TColor32* out) {
  const std::uint32_t n = 2 * std::uint32_t(rows);
  const TPairsAcross across;
  const __m512i bias = _mm512_set1_epi16(short(BlockDivisors[n].Bias)), mul = _mm512_set1_epi16(short(BlockDivisors[n].Mul)),
                post = _mm512_set1_epi16(short(BlockDivisors[n].Post)), alpha = _mm512_set1_epi16(short(255 * n));
  const auto colours = [&](__m512i t) MURMELLA_AVX512 {
    if (opaque) t = _mm512_mask_blend_epi16(AlphaWords, t, alpha);
    return _mm512_cvtepi16_epi8(_mm512_mulhi_epu16(_mm512_mulhi_epu16(_mm512_subs_epu16(t, bias), mul), post));
  };
  const auto add = [&](__m512i total, const std::uint8_t* p) MURMELLA_AVX512 {
    return _mm512_add_epi16(total, across(p));
  };
  return BlocksDown<8, 4>(reinterpret_cast<const std::uint8_t*>(first), 8, count, stride, rows, add,
                          [&](std::int32_t c, __m512i t) MURMELLA_AVX512 {
                            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), colours(t));
                          });
}

// Four blocks' 32-bit channel totals to their colours with the reference's own product and
// shift; for an opaque source the fourth channel's total is 255 n whatever its bytes held.
struct TDivision32 {
  __m512i Reciprocal, AlphaTotal;
  bool Opaque;
  MURMELLA_AVX512 TDivision32(std::uint32_t n, bool opaque)
      : Reciprocal(_mm512_set1_epi32(std::int32_t(16777216u / n))), AlphaTotal(_mm512_set1_epi32(std::int32_t(255 * n))),
        Opaque(opaque) {}
  MURMELLA_AVX512 __m128i operator()(__m512i t) const {
    if (Opaque) t = _mm512_mask_blend_epi32(AlphaDwords, t, AlphaTotal);
    return _mm512_cvtepi32_epi8(_mm512_srli_epi32(_mm512_mullo_epi32(t, Reciprocal), 24));
  }
};

// Blocks three pixels wide, 16 per pass: the 48 bytes of four blocks are loaded (exactly
// those, with a mask) and one byte permute puts each channel's three bytes of a block and a
// zero in one 32-bit lane, which the dot product with ones adds to the lane's total. After
// the rows the totals take the reference's own product and shift. Returns how many blocks
// were done.
MURMELLA_AVX512 std::int32_t Avx512TripleBlocks(const TColor32* first, std::int32_t stride, std::int32_t rows,
                                                std::int32_t count, bool opaque, TColor32* out) {
  const std::uint32_t n = 3 * std::uint32_t(rows);
  alignas(64) std::int8_t index[64];
  for (int j = 0; j < 64; ++j) {
    const int block = j / 16, channel = (j % 16) / 4, slot = j % 4;
    index[j] = std::int8_t(slot == 3 ? 0 : (3 * block + slot) * 4 + channel);
  }
  const __m512i permute = _mm512_load_si512(index);
  constexpr __mmask64 keep = 0x7777777777777777ull;  // slot 3 of every channel is the zero
  constexpr __mmask16 twelvePixels = 0x0FFF;
  const __m512i ones = _mm512_set1_epi8(1);
  const TDivision32 divide(n, opaque);
  const auto add = [&](__m512i total, const std::uint8_t* p) MURMELLA_AVX512 {
    return _mm512_dpbusd_epi32(total, _mm512_maskz_permutexvar_epi8(keep, permute, _mm512_maskz_loadu_epi32(twelvePixels, p)),
                               ones);
  };
  return BlocksDown<4, 4>(reinterpret_cast<const std::uint8_t*>(first), 12, count, stride, rows, add,
                          [&](std::int32_t c, __m512i t) MURMELLA_AVX512 {
                            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c), divide(t));
                          });
}

MURMELLA_AVX512 void Avx512ReduceNarrowRow(const TColor32* first, std::int32_t stride, std::int32_t rows,
                                           const std::int32_t* edges, std::int32_t count, std::int32_t uniformWidth,
                                           bool opaque, TColor32* out) {
  std::int32_t c = 0;
  if (uniformWidth == 2 && BlockDivisors[std::size_t(2 * rows)].Exact)
    c = Avx512PairBlocks(first + edges[0], stride, rows, count, opaque, out);
  else if (uniformWidth == 3)
    c = Avx512TripleBlocks(first + edges[0], stride, rows, count, opaque, out);
  if (c < count) Avx2Routines.ReduceNarrowRow(first, stride, rows, edges + c, count - c, uniformWidth, opaque, out + c);
}

// Blocks 4 K pixels wide, 8 per pass down the rows. A byte shuffle puts each channel's bytes
// of 4 pixels side by side in every 128-bit lane and the dot product with ones adds them into
// 32-bit totals, so a lane holds the channel totals of a 4-pixel group, K lanes to a block.
// After the rows, lane permutes bring the K groups of four blocks into K registers that add
// up to the blocks' totals. Returns how many blocks were done.
template <int K>
MURMELLA_AVX512 std::int32_t Avx512GroupBlocks(const TColor32* first, std::int32_t stride, std::int32_t rows,
                                               std::int32_t count, bool opaque, TColor32* out) {
  static_assert(K == 2 || K == 3, "the lane permutes below are written out for 2 and 3 groups");
  const std::uint32_t n = 4 * K * std::uint32_t(rows);
  const __m512i shuffle = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15));
  const __m512i ones = _mm512_set1_epi8(1);
  const TDivision32 divide(n, opaque);
  // Four blocks' totals from the K registers of their groups' totals.
  const auto totals = [&](const __m512i* g) MURMELLA_AVX512 {
    const __m512i g0 = g[0], g1 = g[1];
    if constexpr (K == 2) {
      // Groups 0 2 4 6 and 1 3 5 7.
      return _mm512_add_epi32(_mm512_shuffle_i64x2(g0, g1, 0x88), _mm512_shuffle_i64x2(g0, g1, 0xDD));
    } else {
      // Groups 0 3 6 9, 1 4 7 10 and 2 5 8 11, taken from g0 and g1 and then g2 (64-bit
      // indexes: a lane is two).
      const __m512i g2 = g[2];
      const __m512i x = _mm512_mask_permutexvar_epi64(
          _mm512_permutex2var_epi64(g0, _mm512_setr_epi64(0, 1, 6, 7, 12, 13, 0, 0), g1), 0xC0,
          _mm512_setr_epi64(0, 0, 0, 0, 0, 0, 2, 3), g2);
      const __m512i y = _mm512_mask_permutexvar_epi64(
          _mm512_permutex2var_epi64(g0, _mm512_setr_epi64(2, 3, 8, 9, 14, 15, 0, 0), g1), 0xC0,
          _mm512_setr_epi64(0, 0, 0, 0, 0, 0, 4, 5), g2);
      const __m512i z = _mm512_mask_permutexvar_epi64(
          _mm512_permutex2var_epi64(g0, _mm512_setr_epi64(4, 5, 10, 11, 0, 0, 0, 0), g1), 0xF0,
          _mm512_setr_epi64(0, 0, 0, 0, 0, 1, 6, 7), g2);
      return _mm512_add_epi32(_mm512_add_epi32(x, y), z);
    }
  };
  const auto add = [&](__m512i total, const std::uint8_t* p) MURMELLA_AVX512 {
    return _mm512_dpbusd_epi32(total, _mm512_shuffle_epi8(_mm512_loadu_si512(p), shuffle), ones);
  };
  std::int32_t c = 0;
  for (; c + 8 <= count; c += 8)
    SumDown<2 * K>(reinterpret_cast<const std::uint8_t*>(first + 4 * K * c), stride, rows, 64, add,
                   [&](const __m512i* a) MURMELLA_AVX512 {
                     _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c), divide(totals(a)));
                     _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c + 4), divide(totals(a + K)));
                   });
  return c;
}

MURMELLA_AVX512 bool Avx512ReduceWideRow(const TColor32* first, std::int32_t stride, std::int32_t rows,
                                         std::int32_t width, std::int32_t count, bool opaque, TColor32* out) {
  std::int32_t c;
  if (width == 8) c = Avx512GroupBlocks<2>(first, stride, rows, count, opaque, out);
  else if (width == 12) c = Avx512GroupBlocks<3>(first, stride, rows, count, opaque, out);
  else return false;
  for (; c < count; ++c) out[c] = AverageBlockOf(Sse2Routines, width, rows, first + width * c, stride, opaque);
  return true;
}

// Column sums of pixel pairs as the AVX2 routine makes them, 128 pixels per pass down the rows.
MURMELLA_AVX512 void Avx512SumPairs16(const TColor32* first, std::int32_t stride, std::int32_t rows, std::int32_t pairs,
                                      std::uint16_t* sums) {
  const TPairsAcross across;
  const auto add = [&](__m512i total, const std::uint8_t* p) MURMELLA_AVX512 {
    return _mm512_add_epi16(total, across(p));
  };
  const std::int32_t i = BlocksDown<8, 8>(reinterpret_cast<const std::uint8_t*>(first), 8, pairs, stride, rows, add,
                                          [&](std::int32_t c, __m512i t) MURMELLA_AVX512 {
                                            _mm512_storeu_si512(sums + 4 * c, t);
                                          });
  if (i < pairs) Avx2Routines.SumPairs16(first + 2 * i, stride, rows, pairs - i, sums + 4 * i);
}

// The AVX2 routine of a slot, called through its table at run time: the table is set up when
// its file's objects are, which may come after this one's.
template <auto Slot>
struct TAvx2Slot;
template <class R, class... A, R (*TVectorRoutines::*Slot)(A...)>
struct TAvx2Slot<Slot> {
  static R Call(A... a) { return (Avx2Routines.*Slot)(a...); }
};

}  // namespace

const TVectorRoutines Avx512Routines{"avx512",
                                     TAvx2Slot<&TVectorRoutines::AverageBlock>::Call,
                                     TAvx2Slot<&TVectorRoutines::SumRows16>::Call,
                                     Avx512SumPairs16,
                                     TAvx2Slot<&TVectorRoutines::AverageSums16>::Call,
                                     TAvx2Slot<&TVectorRoutines::InterpolateAcross>::Call,
                                     TAvx2Slot<&TVectorRoutines::CombineRows>::Call,
                                     Avx512ReduceNarrowRow,
                                     Avx512ReduceWideRow};

}  // namespace murmella::bitmap32
