// Draft reductions and the bilinear enlargement against the memory floor (a streaming read
// of the same source) and libyuv's ARGBScale on the same pixels.
#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <immintrin.h>

#include <random>
#include <vector>

#include "Bitmap32.h"
#include "DraftResampler.h"

using namespace murmella::bitmap32;

namespace {

struct TCase {
  TBitmap32 Src, Dst;
  TCase(int sw, int sh, int dw, int dh) {
    Src.SetSize(sw, sh);
    Dst.SetSize(dw, dh);
    std::mt19937 rng(7);
    for (std::size_t i = 0; i < std::size_t(sw) * sh; ++i) Src.Bits()[i] = rng();
    TDraftResampler::CreateFor(Src);
  }
};

void SetBytes(benchmark::State& state, const TCase& c) {
  state.SetBytesProcessed(std::int64_t(state.iterations()) * c.Src.Width() * c.Src.Height() * 4);
}

void BM_Draft(benchmark::State& state) {
  TCase c(int(state.range(0)), int(state.range(1)), int(state.range(2)), int(state.range(3)));
  for (auto _ : state) {
    c.Dst.Draw(c.Dst.Bounds(), c.Src.Bounds(), &c.Src);
    benchmark::ClobberMemory();
  }
  SetBytes(state, c);
}

// The camera's way: the screen lies bottom-up in a DIB section whose fourth byte is padding,
// it is reduced where it lies, and the rows are made straight into a bottom-up sample.
void BM_CameraInPlace(benchmark::State& state) {
  TCase c(int(state.range(0)), int(state.range(1)), int(state.range(2)), int(state.range(3)));
  const int sw = c.Src.Width(), sh = c.Src.Height(), dw = c.Dst.Width(), dh = c.Dst.Height();
  std::vector<TColor32> sample(std::size_t(dw) * dh);
  const TRowSpan screen{c.Src.ScanLine(sh - 1), -sw * 4};
  for (auto _ : state) {
    BoxReducePicture(screen, sw, sh, dw, dh, 0, true, TRowTarget{&sample[std::size_t(dh - 1) * dw], -dw * 4});
    benchmark::ClobberMemory();
  }
  SetBytes(state, c);
}

__attribute__((target("avx2"))) void BM_StreamRead(benchmark::State& state) {
  TCase c(int(state.range(0)), int(state.range(1)), 1, 1);
  const auto* p = reinterpret_cast<const __m256i*>(c.Src.Bits());
  const std::size_t n = std::size_t(c.Src.Width()) * c.Src.Height() / 8;
  for (auto _ : state) {
    __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
      a0 = _mm256_add_epi32(a0, _mm256_loadu_si256(p + i));
      a1 = _mm256_add_epi32(a1, _mm256_loadu_si256(p + i + 1));
      a2 = _mm256_add_epi32(a2, _mm256_loadu_si256(p + i + 2));
      a3 = _mm256_add_epi32(a3, _mm256_loadu_si256(p + i + 3));
    }
    __m256i s = _mm256_add_epi32(_mm256_add_epi32(a0, a1), _mm256_add_epi32(a2, a3));
    benchmark::DoNotOptimize(s);
  }
  SetBytes(state, c);
}

void BM_Libyuv(benchmark::State& state, libyuv::FilterMode mode) {
  TCase c(int(state.range(0)), int(state.range(1)), int(state.range(2)), int(state.range(3)));
  for (auto _ : state) {
    libyuv::ARGBScale(reinterpret_cast<const uint8_t*>(c.Src.Bits()), c.Src.Width() * 4, c.Src.Width(),
                      c.Src.Height(), reinterpret_cast<uint8_t*>(c.Dst.Bits()), c.Dst.Width() * 4, c.Dst.Width(),
                      c.Dst.Height(), mode);
    benchmark::ClobberMemory();
  }
  SetBytes(state, c);
}
void BM_LibyuvBox(benchmark::State& s) { BM_Libyuv(s, libyuv::kFilterBox); }
void BM_LibyuvBilinear(benchmark::State& s) { BM_Libyuv(s, libyuv::kFilterBilinear); }

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({1920, 1080, 160, 120})->Args({1920, 1080, 640, 480})->Args({1280, 1024, 160, 120})
      ->Args({1280, 1024, 640, 480})
      ->Args({3840, 2160, 1280, 720})->Unit(benchmark::kMicrosecond);
}

}  // namespace

BENCHMARK(BM_Draft)->Apply(Sizes)->Args({320, 240, 1280, 960});
BENCHMARK(BM_CameraInPlace)->Apply(Sizes);
BENCHMARK(BM_StreamRead)->Args({1920, 1080})->Args({1280, 1024})->Args({3840, 2160})->Args({320, 240})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibyuvBox)->Apply(Sizes);
BENCHMARK(BM_LibyuvBilinear)->Apply(Sizes)->Args({320, 240, 1280, 960});

BENCHMARK_MAIN();
