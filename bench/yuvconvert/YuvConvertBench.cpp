// The conversions out of RGB32 at 640x480 and 1920x1080, each routine level, beside the floor
// of the same work: a streaming read of the RGB32 source plus a streaming write of as many bytes
// as the destination takes, measured in the same run (and libyuv's routines as a yardstick).
// Versus/... times the chosen routines and the floor alternately and reports both medians and
// their ratio, the figure to read on a busy machine.
//   build/linux/bench/yuvconvert/yuvconvert_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only
#include "YuvConvert.h"
#include "YuvRoutines.h"

#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

using namespace murmella::yuv;

namespace {

struct Frames {
  int32_t W, H;
  std::vector<uint8_t> Src, Dst;
  Frames(int32_t w, int32_t h, TPixelFormat f) : W(w), H(h), Src(size_t(w) * size_t(h) * 4), Dst(FrameBytes(f, w, h)) {
    std::mt19937 rng(1);
    for (auto& b : Src) b = uint8_t(rng());
  }
};

constexpr TPixelFormat kFormats[] = {TPixelFormat::RGB24, TPixelFormat::YUY2, TPixelFormat::NV12, TPixelFormat::I420};
const char* const kNames[] = {"RGB32", "YUY2", "NV12", "I420", "RGB24"};

// Every source word read once, then every destination byte written once.
void StreamReadWrite(Frames& fr) {
  uint64_t acc = 0;
  const auto* words = reinterpret_cast<const uint64_t*>(fr.Src.data());
  for (size_t i = 0; i < fr.Src.size() / 8; ++i) acc ^= words[i];
  benchmark::DoNotOptimize(acc);
  memset(fr.Dst.data(), int(acc & 0x7F), fr.Dst.size());
  benchmark::ClobberMemory();
}

void Floor(benchmark::State& state, TPixelFormat f) {
  Frames fr(int32_t(state.range(0)), int32_t(state.range(1)), f);
  for (auto _ : state) StreamReadWrite(fr);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// The chosen routines and the floor timed in turn, frame after frame, so that a shared
// machine's changing load falls on both alike: the medians and their ratio as counters.
void Versus(benchmark::State& state, TPixelFormat f) {
  Frames fr(int32_t(state.range(0)), int32_t(state.range(1)), f);
  std::vector<double> floor, convert;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    StreamReadWrite(fr);
    const auto t1 = Clock::now();
    ConvertFrame(f, fr.Src.data(), ptrdiff_t(fr.W) * 4, fr.W, fr.H, fr.Dst.data());
    benchmark::ClobberMemory();
    const auto t2 = Clock::now();
    floor.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    convert.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
  }
  const double fm = Median(floor), cm = Median(convert);
  state.counters["floor_us"] = fm;
  state.counters["convert_us"] = cm;
  state.counters["ratio"] = fm > 0 ? cm / fm : 0;
  state.SetLabel(YuvRoutines().Name);
}

void Convert(benchmark::State& state, TPixelFormat f, const TYuvRoutines* r) {
  Frames fr(int32_t(state.range(0)), int32_t(state.range(1)), f);
  for (auto _ : state) {
    ConvertFrameWith(*r, f, fr.Src.data(), ptrdiff_t(fr.W) * 4, fr.W, fr.H, fr.Dst.data());
    benchmark::ClobberMemory();
  }
}

void Libyuv(benchmark::State& state, TPixelFormat f) {
  Frames fr(int32_t(state.range(0)), int32_t(state.range(1)), f);
  const int w = fr.W, h = fr.H;
  uint8_t* d = fr.Dst.data();
  const uint8_t* s = fr.Src.data();
  for (auto _ : state) {
    switch (f) {
      case TPixelFormat::RGB24: libyuv::ARGBToRGB24(s, w * 4, d, w * 3, w, h); break;
      case TPixelFormat::YUY2: libyuv::ARGBToYUY2(s, w * 4, d, w * 2, w, h); break;
      case TPixelFormat::NV12: libyuv::ARGBToNV12(s, w * 4, d, w, d + w * h, w, w, h); break;
      case TPixelFormat::I420:
        libyuv::ARGBToI420(s, w * 4, d, w, d + w * h, w / 2, d + w * h * 5 / 4, w / 2, w, h);
        break;
      case TPixelFormat::RGB32: break;
    }
    benchmark::ClobberMemory();
  }
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
}

// Registered from main: which levels exist is known only once the bitmap code's own start-up
// has read the processor.
void Register() {
  const TYuvRoutines* levels[3];
  const int n = AvailableYuvRoutines(levels);
  for (TPixelFormat f : kFormats) {
    const std::string name = kNames[int(f)];
    benchmark::RegisterBenchmark(("Versus/" + name).c_str(), Versus, f)->Apply(Sizes)->UseManualTime();
    benchmark::RegisterBenchmark(("Floor/" + name).c_str(), Floor, f)->Apply(Sizes);
    for (int i = 0; i < n; ++i)
      benchmark::RegisterBenchmark(("Convert/" + name + "/" + levels[i]->Name).c_str(), Convert, f, levels[i])
          ->Apply(Sizes);
    benchmark::RegisterBenchmark(("Libyuv/" + name).c_str(), Libyuv, f)->Apply(Sizes);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
