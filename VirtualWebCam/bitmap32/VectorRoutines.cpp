#include "VectorRoutines.h"

#include <cpuid.h>

#include <atomic>
#include <cstdlib>

namespace murmella::bitmap32 {
namespace {

struct TFeatures {
  bool Sse2 = false, Avx2 = false, Avx512 = false;
};

TFeatures DetectFeatures() {
  TFeatures f;
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
  f.Sse2 = (d >> 26) & 1;
  const bool osxsave = (c >> 27) & 1, avx = (c >> 28) & 1;
  if (osxsave && avx && __get_cpuid_max(0, nullptr) >= 7) {
    unsigned lo, hi;
    __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    const bool ymmSaved = (lo & 6) == 6, zmmSaved = (lo & 0xE6) == 0xE6;
    __cpuid_count(7, 0, a, b, c, d);
    f.Avx2 = ymmSaved && ((b >> 5) & 1);
    // Foundation, byte and word instructions, byte permutes, byte dot products.
    f.Avx512 = f.Avx2 && zmmSaved && ((b >> 16) & 1) && ((b >> 30) & 1) && ((c >> 1) & 1) && ((c >> 11) & 1);
  }
  return f;
}

const TFeatures Features = DetectFeatures();

const TVectorRoutines* Best() {
  if (std::getenv("MURMELLA_BITMAP32_REFERENCE")) return &ReferenceRoutines;
  if (auto* r = VectorRoutinesFor(TVectorLevel::AVX512)) return r;
  if (auto* r = VectorRoutinesFor(TVectorLevel::AVX2)) return r;
  if (auto* r = VectorRoutinesFor(TVectorLevel::SSE2)) return r;
  return &ReferenceRoutines;
}

const TVectorRoutines* const Chosen = Best();
std::atomic<bool> Forced{false};

}  // namespace

const TVectorRoutines* VectorRoutinesFor(TVectorLevel level) {
  switch (level) {
    case TVectorLevel::Reference: return &ReferenceRoutines;
    case TVectorLevel::SSE2: return Features.Sse2 ? &Sse2Routines : nullptr;
    case TVectorLevel::AVX2:
#ifdef MURMELLA_BITMAP32_NO_AVX2
      // This build's assembler cannot make MinGW's misaligned 256-bit spills safe.
      return nullptr;
#else
      return Features.Avx2 ? &Avx2Routines : nullptr;
#endif
    case TVectorLevel::AVX512:
#ifdef MURMELLA_BITMAP32_NO_AVX2
      return nullptr;  // the same spills, of 512-bit registers
#else
      return Features.Avx512 ? &Avx512Routines : nullptr;
#endif
  }
  return nullptr;
}

const TVectorRoutines& VectorRoutines() { return Forced.load(std::memory_order_relaxed) ? ReferenceRoutines : *Chosen; }

void ForceReferenceRoutines(bool force) { Forced.store(force); }

TColor32 AverageBlockOf(const TVectorRoutines& v, std::int32_t bw, std::int32_t bh, const TColor32* first,
                        std::int32_t rowStride, bool opaque) {
  const TColor32 c = v.AverageBlock(bw, bh, first, rowStride);
  if (!opaque) return c;
  const std::uint32_t n = std::uint32_t(bw) * std::uint32_t(bh);
  return (c & 0x00FFFFFFu) | (((255u * n) * (16777216u / n)) >> 24) << 24;
}

TColor32 AverageBlock(std::int32_t bw, std::int32_t bh, const TColor32* first, std::int32_t rowStride) {
  return VectorRoutines().AverageBlock(bw, bh, first, rowStride);
}

}  // namespace murmella::bitmap32
