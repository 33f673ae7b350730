#pragma once
// The block average's division, floor(T * floor(2^24 / n) / 2^24) for a total T <= 255 n, done
// in 16-bit lanes with two high-half multiplies instead of the 24-bit product.
//
// For n <= 256 that is floor(T / n), except that a non-zero multiple of an n that is not a
// power of two comes out one lower (the reciprocal is rounded down and n's multiples sit
// exactly on the step). Both cases are floor((T - 1) / n) with the subtraction saturating at
// 0, and a quotient below 255 lets a 16-bit multiplier carry the division:
// floor(floor(U * Mul / 2^16) * Post / 2^16) with U = T - Bias. Whether that holds is checked
// here for every n at compile time, at the worst total of every quotient; n that fail (a few
// above 185) keep the exact wide product.
#include <array>
#include <cstdint>

namespace murmella::bitmap32 {

struct TBlockDivisor {
  std::uint16_t Bias = 0, Mul = 0, Post = 0;
  bool Exact = false;  // the 16-bit form gives the reference's result for every total
};

constexpr TBlockDivisor MakeBlockDivisor(std::uint32_t n) {
  TBlockDivisor d;
  if (n < 3 || n > 256) return d;
  std::uint32_t bits = 0;  // ceil(log2 n)
  while ((1u << bits) < n) ++bits;
  const std::uint32_t shift = bits - 1;  // so that Mul stays below 2^16
  if ((n & (n - 1)) == 0) {
    // n = 2^bits: a plain shift, split as bits - 1 and 1.
    d.Bias = 0;
    d.Mul = std::uint16_t(1u << (17 - bits));
    d.Post = std::uint16_t(1u << 15);
    d.Exact = true;
    return d;
  }
  const std::uint64_t scale = std::uint64_t(1) << (16 + shift);
  const std::uint64_t mul = (scale + n - 1) / n;
  d.Bias = 1;
  d.Mul = std::uint16_t(mul);
  d.Post = std::uint16_t(1u << (16 - shift));
  d.Exact = true;
  // The rounded-up multiplier only ever overshoots, most at the top of each quotient's range.
  for (std::uint64_t q = 0; q < 255; ++q)
    if (((q * n + n - 1) * mul) >> (16 + shift) != q) d.Exact = false;
  return d;
}

constexpr std::array<TBlockDivisor, 257> MakeBlockDivisors() {
  std::array<TBlockDivisor, 257> t{};
  for (std::uint32_t n = 0; n <= 256; ++n) t[n] = MakeBlockDivisor(n);
  return t;
}

// By block size n = width x height, 0 to 256.
inline constexpr std::array<TBlockDivisor, 257> BlockDivisors = MakeBlockDivisors();

}  // namespace murmella::bitmap32
