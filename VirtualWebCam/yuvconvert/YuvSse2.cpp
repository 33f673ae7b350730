// The SSE2 routines: four pixels per register.
#include <emmintrin.h>

#include "YuvRoutines.h"

namespace murmella::yuv {
namespace {

struct Sse2Lanes {
  using Reg = __m128i;
  static constexpr int kPixels = 4;
  static Reg Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(std::uint8_t* p, Reg r) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), r); }
  // The low eight bytes.
  static void StoreHalf(std::uint8_t* p, Reg r) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), r); }
  static Reg Set16(short v) { return _mm_set1_epi16(v); }
  static Reg Set32(int v) { return _mm_set1_epi32(v); }
  static Reg Pair16(short low, short high) { return _mm_set1_epi32(int(unsigned(std::uint16_t(low)) | unsigned(std::uint16_t(high)) << 16)); }
  static Reg And(Reg a, Reg b) { return _mm_and_si128(a, b); }
  static Reg Add16(Reg a, Reg b) { return _mm_add_epi16(a, b); }
  static Reg Add32(Reg a, Reg b) { return _mm_add_epi32(a, b); }
  static Reg Srli16(Reg a, int n) { return _mm_srli_epi16(a, n); }
  static Reg Srli32(Reg a, int n) { return _mm_srli_epi32(a, n); }
  static Reg Srai32(Reg a, int n) { return _mm_srai_epi32(a, n); }
  static Reg Srli64(Reg a, int n) { return _mm_srli_epi64(a, n); }
  static Reg Madd(Reg a, Reg b) { return _mm_madd_epi16(a, b); }
  static Reg Packs32(Reg a, Reg b) { return _mm_packs_epi32(a, b); }
  static Reg Packus16(Reg a, Reg b) { return _mm_packus_epi16(a, b); }
  static Reg Unpacklo16(Reg a, Reg b) { return _mm_unpacklo_epi16(a, b); }
  static Reg Unpackhi16(Reg a, Reg b) { return _mm_unpackhi_epi16(a, b); }
  static Reg Unpacklo32(Reg a, Reg b) { return _mm_unpacklo_epi32(a, b); }
  static Reg Unpackhi32(Reg a, Reg b) { return _mm_unpackhi_epi32(a, b); }
  static Reg Unpacklo64(Reg a, Reg b) { return _mm_unpacklo_epi64(a, b); }
  // Dwords 0 and 2 of each lane into its low half.
  static Reg Shuffle02(Reg a) { return _mm_shuffle_epi32(a, 0x08); }
  // One lane is already in pixel order.
  static Reg FixDwords(Reg r) { return r; }
  static Reg FixQwords(Reg r) { return r; }
};

#include "YuvKernels.h"

using K = TKernels<Sse2Lanes>;

// Four pixels into twelve bytes: each pixel's fourth byte masked off, the pixels of each
// 64-bit half joined, and the upper half's six bytes moved next to the lower's. The store is
// sixteen bytes wide, so the loop stops while four spare bytes still lie ahead.
void Sse2Rgb24Row(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width) {
  const __m128i lowPixel = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
  const __m128i highPixel = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
  const __m128i lowHalf = _mm_set_epi32(0, 0, -1, -1);
  std::int32_t x = 0;
  for (; x + 6 <= width; x += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x));
    const __m128i pairs = _mm_or_si128(_mm_and_si128(p, lowPixel), _mm_srli_epi64(_mm_and_si128(p, highPixel), 8));
    const __m128i packed = _mm_or_si128(_mm_and_si128(pairs, lowHalf), _mm_slli_si128(_mm_srli_si128(pairs, 8), 6));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * x), packed);
  }
  ReferenceRgb24Tail(src, dst, x, width);
}

}  // namespace

const TYuvRoutines Sse2YuvRoutines = {"sse2", Sse2Rgb24Row, K::Yuy2Row, K::Nv12Rows, K::I420Rows};

}  // namespace murmella::yuv
