// The AVX2 routines: eight pixels per register, two lanes of four. The whole file is compiled
// for AVX2 and is only called once the processor has been found to have it.
#include <immintrin.h>

#include "YuvRoutines.h"

// GCC takes the target for the rest of the file; clang needs it attached to each function.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC target("avx2")
#endif

namespace murmella::yuv {
namespace {

struct Avx2Lanes {
  using Reg = __m256i;
  static constexpr int kPixels = 8;
  static Reg Load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static void Store(std::uint8_t* p, Reg r) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), r); }
  // The low eight bytes of each lane hold two-byte groups of alternating lanes.
  static void StoreHalf(std::uint8_t* p, Reg r) {
    const __m128i joined = _mm_unpacklo_epi16(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), joined);
  }
  static Reg Set16(short v) { return _mm256_set1_epi16(v); }
  static Reg Set32(int v) { return _mm256_set1_epi32(v); }
  static Reg Pair16(short low, short high) { return _mm256_set1_epi32(int(unsigned(std::uint16_t(low)) | unsigned(std::uint16_t(high)) << 16)); }
  static Reg And(Reg a, Reg b) { return _mm256_and_si256(a, b); }
  static Reg Add16(Reg a, Reg b) { return _mm256_add_epi16(a, b); }
  static Reg Add32(Reg a, Reg b) { return _mm256_add_epi32(a, b); }
  static Reg Srli16(Reg a, int n) { return _mm256_srli_epi16(a, n); }
  static Reg Srli32(Reg a, int n) { return _mm256_srli_epi32(a, n); }
  static Reg Srai32(Reg a, int n) { return _mm256_srai_epi32(a, n); }
  static Reg Srli64(Reg a, int n) { return _mm256_srli_epi64(a, n); }
  static Reg Madd(Reg a, Reg b) { return _mm256_madd_epi16(a, b); }
  static Reg Packs32(Reg a, Reg b) { return _mm256_packs_epi32(a, b); }
  static Reg Packus16(Reg a, Reg b) { return _mm256_packus_epi16(a, b); }
  static Reg Unpacklo16(Reg a, Reg b) { return _mm256_unpacklo_epi16(a, b); }
  static Reg Unpackhi16(Reg a, Reg b) { return _mm256_unpackhi_epi16(a, b); }
  static Reg Unpacklo32(Reg a, Reg b) { return _mm256_unpacklo_epi32(a, b); }
  static Reg Unpackhi32(Reg a, Reg b) { return _mm256_unpackhi_epi32(a, b); }
  static Reg Unpacklo64(Reg a, Reg b) { return _mm256_unpacklo_epi64(a, b); }
  // Dwords 0 and 2 of each lane into its low half.
  static Reg Shuffle02(Reg a) { return _mm256_shuffle_epi32(a, 0x08); }
  // Packing two registers per lane leaves four-byte groups as 0 2 4 6 | 1 3 5 7 ...
  static Reg FixDwords(Reg r) { return _mm256_permutevar8x32_epi32(r, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)); }
  // ... and eight-byte groups as 0 2 | 1 3.
  static Reg FixQwords(Reg r) { return _mm256_permute4x64_epi64(r, 0xD8); }
};

#include "YuvKernels.h"

using K = TKernels<Avx2Lanes>;

// Eight pixels into 24 bytes: each lane's three-byte pixels gathered at its start, then the two
// lanes' twelve bytes joined. The store is 32 bytes wide, so the loop stops while eight spare
// bytes still lie ahead.
void Avx2Rgb24Row(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width) {
  const __m256i gather = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  std::int32_t x = 0;
  for (; x + 11 <= width; x += 8) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * x));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 3 * x),
                        _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(p, gather), join));
  }
  ReferenceRgb24Tail(src, dst, x, width);
}

}  // namespace

const TYuvRoutines Avx2YuvRoutines = {"avx2", Avx2Rgb24Row, K::Yuy2Row, K::Nv12Rows, K::I420Rows};

}  // namespace murmella::yuv

#if defined(__clang__)
#pragma clang attribute pop
#endif
