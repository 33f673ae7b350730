#pragma once
// Per-pixel routines with a portable reference and processor-specific versions, chosen once
// when the library loads and only read afterwards.
#include <cstddef>
#include <cstdint>

#include "Color32.h"

namespace murmella::bitmap32 {

struct TVectorRoutines {
  const char* Name;
  // Average of a bw x bh block: per byte floor(total * floor(2^24 / n) / 2^24).
  TColor32 (*AverageBlock)(std::int32_t bw, std::int32_t bh, const TColor32* first, std::int32_t rowStride);
  // sums[4 * i + c] = byte c of pixel i summed over `rows` rows (rows <= 257, so 16 bits hold it).
  void (*SumRows16)(const TColor32* first, std::int32_t rowStride, std::int32_t rows, std::int32_t pixels,
                    std::uint16_t* sums);
  // sums[4 * i + c] = byte c of pixels 2i and 2i + 1 summed over `rows` rows (rows <= 128):
  // column sums of pixel pairs, half as many to reduce across, for blocks of even widths.
  // Null when a level has none (SumRows16 serves).
  void (*SumPairs16)(const TColor32* first, std::int32_t rowStride, std::int32_t rows, std::int32_t pairs,
                     std::uint16_t* sums);
  // out[c] = average of sums pixels edges[c] .. edges[c + 1] - 1 with blocks `rows` high.
  void (*AverageSums16)(const std::uint16_t* sums, const std::int32_t* edges, std::int32_t count, std::int32_t rows,
                        TColor32* out);
  // out[i] = Combine(row[p], row[p + 1], a) with p = pos[i], a = weights[i]: the across step.
  // The row has rowPixels pixels (pos[i] + 1 < rowPixels); the routine reads no pixel past them.
  void (*InterpolateAcross)(const TColor32* row, std::int32_t rowPixels, const std::int32_t* pos,
                            const std::uint8_t* weights, TColor32* out, std::int32_t count);
  // out[i] = Combine(top[i], bottom[i], b): the down step, one weight for the whole row.
  void (*CombineRows)(const TColor32* top, const TColor32* bottom, std::uint8_t b, TColor32* out, std::int32_t count);
  // out[c] = AverageBlock of block c, pixels first[edges[c]] .. first[edges[c + 1] - 1] of
  // `rows` rows stride bytes apart, straight from the source without column sums, for blocks
  // at most NarrowBlockWidth wide and NarrowBlockRows high; uniformWidth is their one width, or
  // 0 when they differ. With opaque, every source pixel's fourth byte counts as 255 whatever it
  // holds. Reads no pixel outside the blocks' rows and columns. Null when a level has no such
  // routine (the column sums serve instead).
  void (*ReduceNarrowRow)(const TColor32* first, std::int32_t stride, std::int32_t rows, const std::int32_t* edges,
                          std::int32_t count, std::int32_t uniformWidth, bool opaque, TColor32* out);
  // The same for `count` blocks all `width` pixels wide side by side from first, at most
  // NarrowBlockRows high, for the wider blocks a level has such a routine for; says false,
  // having done nothing, for any other width. Null when a level has none.
  bool (*ReduceWideRow)(const TColor32* first, std::int32_t stride, std::int32_t rows, std::int32_t width,
                        std::int32_t count, bool opaque, TColor32* out);
};

// AverageBlock of the level's routines, for an opaque source (opaque) with the fourth byte
// that 255 in every pixel would give: the odd blocks at the ends of the row routines.
TColor32 AverageBlockOf(const TVectorRoutines& v, std::int32_t bw, std::int32_t bh, const TColor32* first,
                        std::int32_t rowStride, bool opaque);

// 64 rows keep the narrow routine's 16-bit pair sums below 2^15, as the signed multiply-add
// that widens them needs.
constexpr std::int32_t NarrowBlockWidth = 4, NarrowBlockRows = 64;

// The reductions read a block row's few rows at once, a few hundred bytes of each at a time,
// doing more work per byte than the processor's own prefetcher expects: on a picture larger
// than the cache it falls behind and leaves the loads waiting on memory, most of all on
// bottom-up rows. So each pass asks for the same bytes of the next block row, `down` bytes
// further (the block row's height times the stride), which is read right after this one.
// The address is only a hint (below the last block row it lies outside the picture), so it is
// worked out as a number, not by pointer arithmetic.
inline void PrefetchBelow(const void* p, std::ptrdiff_t down, std::int32_t bytes) {
  const std::uintptr_t q = reinterpret_cast<std::uintptr_t>(p) + std::uintptr_t(down);
  for (std::int32_t b = 0; b < bytes; b += 64) __builtin_prefetch(reinterpret_cast<const void*>(q + std::uintptr_t(b)));
}

// Combine(X, Y, W) per byte: W = 0 gives Y, 255 gives X, else ((X W + 128) >> 8) + ((Y (255 - W) + 128) >> 8).
TColor32 Combine(TColor32 x, TColor32 y, std::uint32_t w);

enum class TVectorLevel { Reference, SSE2, AVX2, AVX512 };

// The routines in use: the best the processor has, or the reference when the environment
// variable MURMELLA_BITMAP32_REFERENCE is set at load or ForceReferenceRoutines(true) was called.
const TVectorRoutines& VectorRoutines();
void ForceReferenceRoutines(bool force);
// A given level's routines, or null when this processor or build lacks it.
const TVectorRoutines* VectorRoutinesFor(TVectorLevel level);
TColor32 AverageBlock(std::int32_t bw, std::int32_t bh, const TColor32* first, std::int32_t rowStride);

extern const TVectorRoutines ReferenceRoutines;
extern const TVectorRoutines Sse2Routines;
extern const TVectorRoutines Avx2Routines;
extern const TVectorRoutines Avx512Routines;  // AVX-512 BW, VBMI and VNNI

}  // namespace murmella::bitmap32
