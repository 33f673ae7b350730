// The reductions' row routines in 512-bit registers with byte permutes (AVX-512 BW and VBMI):
// twice the bytes per instruction of the AVX2 routines, and a block of any narrow width
// lined up for the multiply-add with one permute instead of loads, blends and shuffles. The
// rest of the set is the AVX2 routines'.
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's 512-bit headers start some intrinsics from a deliberately undefined register.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include "BlockDivisor.h"
#include "VectorRoutines.h"

#define MURMELLA_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi,avx2")))

namespace murmella::bitmap32 {
namespace {

// The fourth channel of every pixel: words 3 and 7 of each 128 bits, dwords 3 of each 128.
constexpr __mmask32 AlphaWords = 0x88888888u;
constexpr __mmask16 AlphaDwords = 0x8888u;

// Blocks two pixels wide, 32 per pass down the rows: in each 64-byte load a byte shuffle puts
// each channel of a block's two pixels side by side, the multiply-add with ones makes the
// block's 16-bit channel totals in place, and after the rows the short division and a
// narrowing move give the eight blocks' colours in order. Returns how many blocks were done.
MURMELLA_AVX512 std::int32_t Avx512PairBlocks(const TColor32* first, std::int32_t stride, std::int32_t rows,
                                              std::int32_t count, bool opaque, TColor32* out) {
  const std::uint32_t n = 2 * std::uint32_t(rows);
  const __m512i shuffle = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15));
  const __m512i ones = _mm512_set1_epi8(1);
  const __m512i bias = _mm512_set1_epi16(short(BlockDivisors[n].Bias)), mul = _mm512_set1_epi16(short(BlockDivisors[n].Mul)),
                post = _mm512_set1_epi16(short(BlockDivisors[n].Post)), alpha = _mm512_set1_epi16(short(255 * n));
  const auto across = [&](const std::uint8_t* p) MURMELLA_AVX512 {
    return _mm512_maddubs_epi16(_mm512_shuffle_epi8(_mm512_loadu_si512(p), shuffle), ones);
  };
  const auto colours = [&](__m512i t) MURMELLA_AVX512 {
    if (opaque) t = _mm512_mask_blend_epi16(AlphaWords, t, alpha);
    return _mm512_cvtepi16_epi8(_mm512_mulhi_epu16(_mm512_mulhi_epu16(_mm512_subs_epu16(t, bias), mul), post));
  };
  std::int32_t c = 0;
  for (; c + 32 <= count; c += 32) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(first + 2 * c);
    __m512i a0 = _mm512_setzero_si512(), a1 = a0, a2 = a0, a3 = a0;
    const std::ptrdiff_t down = std::ptrdiff_t(rows) * stride;
    for (std::int32_t y = 0; y < rows; ++y, p += stride) {
      PrefetchBelow(p, down, 256);
      a0 = _mm512_add_epi16(a0, across(p));
      a1 = _mm512_add_epi16(a1, across(p + 64));
      a2 = _mm512_add_epi16(a2, across(p + 128));
      a3 = _mm512_add_epi16(a3, across(p + 192));
    }
    auto* o = reinterpret_cast<__m256i*>(out + c);
    _mm256_storeu_si256(o, colours(a0));
    _mm256_storeu_si256(o + 1, colours(a1));
    _mm256_storeu_si256(o + 2, colours(a2));
    _mm256_storeu_si256(o + 3, colours(a3));
  }
  for (; c + 8 <= count; c += 8) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(first + 2 * c);
    __m512i a = _mm512_setzero_si512();
    for (std::int32_t y = 0; y < rows; ++y, p += stride) a = _mm512_add_epi16(a, across(p));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), colours(a));
  }
  return c;
}

// Blocks three pixels wide, 16 per pass: the 48 bytes of four blocks are loaded (exactly
// those, with a mask) and one byte permute lines up each channel of a block as pixel 0 beside
// pixel 1 and pixel 2 beside a zero, so that the multiply-add gives two 16-bit halves of every
// channel total. After the rows a second multiply-add joins the halves into 32-bit totals,
// which take the reference's own product and shift. Returns how many blocks were done.
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
  const __m512i ones8 = _mm512_set1_epi8(1), ones16 = _mm512_set1_epi16(1);
  const __m512i reciprocal = _mm512_set1_epi32(std::int32_t(16777216u / n)), alpha = _mm512_set1_epi32(std::int32_t(255 * n));
  const auto across = [&](const std::uint8_t* p) MURMELLA_AVX512 {
    return _mm512_maddubs_epi16(_mm512_maskz_permutexvar_epi8(keep, permute, _mm512_maskz_loadu_epi32(twelvePixels, p)),
                                ones8);
  };
  const auto colours = [&](__m512i sums) MURMELLA_AVX512 {
    __m512i t = _mm512_madd_epi16(sums, ones16);
    if (opaque) t = _mm512_mask_blend_epi32(AlphaDwords, t, alpha);
    return _mm512_cvtepi32_epi8(_mm512_srli_epi32(_mm512_mullo_epi32(t, reciprocal), 24));
  };
  std::int32_t c = 0;
  for (; c + 16 <= count; c += 16) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(first + 3 * c);
    __m512i a0 = _mm512_setzero_si512(), a1 = a0, a2 = a0, a3 = a0;
    const std::ptrdiff_t down = std::ptrdiff_t(rows) * stride;
    for (std::int32_t y = 0; y < rows; ++y, p += stride) {
      PrefetchBelow(p, down, 192);
      a0 = _mm512_add_epi16(a0, across(p));
      a1 = _mm512_add_epi16(a1, across(p + 48));
      a2 = _mm512_add_epi16(a2, across(p + 96));
      a3 = _mm512_add_epi16(a3, across(p + 144));
    }
    auto* o = reinterpret_cast<__m128i*>(out + c);
    _mm_storeu_si128(o, colours(a0));
    _mm_storeu_si128(o + 1, colours(a1));
    _mm_storeu_si128(o + 2, colours(a2));
    _mm_storeu_si128(o + 3, colours(a3));
  }
  for (; c + 4 <= count; c += 4) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(first + 3 * c);
    __m512i a = _mm512_setzero_si512();
    for (std::int32_t y = 0; y < rows; ++y, p += stride) a = _mm512_add_epi16(a, across(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c), colours(a));
  }
  return c;
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

// Column sums of pixel pairs as the AVX2 routine makes them, 128 pixels per pass down the rows.
MURMELLA_AVX512 void Avx512SumPairs16(const TColor32* first, std::int32_t stride, std::int32_t rows, std::int32_t pairs,
                                      std::uint16_t* sums) {
  const __m512i shuffle = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15));
  const __m512i ones = _mm512_set1_epi8(1);
  const auto across = [&](const std::uint8_t* p) MURMELLA_AVX512 {
    return _mm512_maddubs_epi16(_mm512_shuffle_epi8(_mm512_loadu_si512(p), shuffle), ones);
  };
  std::int32_t i = 0;
  for (; i + 64 <= pairs; i += 64) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(first + 2 * i);
    __m512i a[8];
    for (auto& v : a) v = _mm512_setzero_si512();
    const std::ptrdiff_t down = std::ptrdiff_t(rows) * stride;
    for (std::int32_t y = 0; y < rows; ++y, p += stride) {
      PrefetchBelow(p, down, 512);
      for (int k = 0; k < 8; ++k) a[k] = _mm512_add_epi16(a[k], across(p + 64 * k));
    }
    for (int k = 0; k < 8; ++k) _mm512_storeu_si512(sums + 4 * i + 32 * k, a[k]);
  }
  for (; i + 8 <= pairs; i += 8) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(first + 2 * i);
    __m512i a = _mm512_setzero_si512();
    for (std::int32_t y = 0; y < rows; ++y, p += stride) a = _mm512_add_epi16(a, across(p));
    _mm512_storeu_si512(sums + 4 * i, a);
  }
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
                                     Avx512ReduceNarrowRow};

}  // namespace murmella::bitmap32
