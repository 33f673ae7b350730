// The conversions out of RGB32: the coefficients on colours worked out by hand, each frame
// layout byte by byte on small pictures, and every vector routine against the reference on
// random sizes and contents (odd widths for the right edge, one-row pictures), in buffers of
// exactly the size the layout needs so that a write past a row's end is caught.
#include "VectorRoutines.h"
#include "YuvConvert.h"
#include "YuvRoutines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

using namespace murmella::yuv;
using murmella::bitmap32::ForceReferenceRoutines;

namespace {

struct Rgb {
  uint8_t R, G, B;
};

// A top-down RGB32 picture; alpha is random and must never matter.
struct Picture {
  int32_t W, H;
  std::vector<uint8_t> Bytes;
  Picture(int32_t w, int32_t h, uint32_t seed) : W(w), H(h), Bytes(size_t(w) * size_t(h) * 4) {
    std::mt19937 rng(seed);
    for (auto& b : Bytes) b = uint8_t(rng());
  }
  void Set(int32_t x, int32_t y, Rgb c) {
    uint8_t* p = &Bytes[(size_t(y) * size_t(W) + size_t(x)) * 4];
    p[0] = c.B, p[1] = c.G, p[2] = c.R;
  }
  const uint8_t* Row(int32_t y) const { return &Bytes[size_t(y) * size_t(W) * 4]; }
};

std::vector<uint8_t> Convert(TPixelFormat f, const Picture& p) {
  std::vector<uint8_t> out(FrameBytes(f, p.W, p.H));
  ConvertFrame(f, p.Row(0), ptrdiff_t(p.W) * 4, p.W, p.H, out.data());
  return out;
}

}  // namespace

TEST(YuvConvert, CoefficientsOnColoursWorkedOutByHand) {
  struct Case {
    const char* Name;
    Rgb In;
    TYuv Out;
  } cases[] = {
      {"black", {0, 0, 0}, {16, 128, 128}},       {"white", {255, 255, 255}, {235, 128, 128}},
      {"red", {255, 0, 0}, {82, 90, 240}},        {"green", {0, 255, 0}, {144, 54, 34}},
      {"blue", {0, 0, 255}, {41, 240, 110}},      {"mid grey", {128, 128, 128}, {126, 128, 128}},
  };
  for (const Case& c : cases) {
    const TYuv got = ToYuv(c.In.R, c.In.G, c.In.B);
    EXPECT_EQ(got.Y, c.Out.Y) << c.Name;
    EXPECT_EQ(got.U, c.Out.U) << c.Name;
    EXPECT_EQ(got.V, c.Out.V) << c.Name;
  }
}

// Small pictures whose blocks each hold one colour, so every byte of the result is known.
TEST(YuvConvert, FrameLayouts) {
  const Rgb a{255, 0, 0}, b{0, 0, 255}, c{0, 255, 0}, d{255, 255, 255};
  const TYuv ya = ToYuv(255, 0, 0), yb = ToYuv(0, 0, 255), yc = ToYuv(0, 255, 0);
  // 4 x 2: left 2x2 block a, right block b; the bottom-right pixel is c in the RGB pictures.
  Picture p(4, 2, 1);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) p.Set(x, y, x < 2 ? a : b);
  const std::vector<uint8_t> nv12 = Convert(TPixelFormat::NV12, p), i420 = Convert(TPixelFormat::I420, p),
                             yuy2 = Convert(TPixelFormat::YUY2, p);
  EXPECT_EQ(nv12, (std::vector<uint8_t>{ya.Y, ya.Y, yb.Y, yb.Y, ya.Y, ya.Y, yb.Y, yb.Y, ya.U, ya.V, yb.U, yb.V}));
  EXPECT_EQ(i420, (std::vector<uint8_t>{ya.Y, ya.Y, yb.Y, yb.Y, ya.Y, ya.Y, yb.Y, yb.Y, ya.U, yb.U, ya.V, yb.V}));
  const std::vector<uint8_t> yuy2Row{ya.Y, ya.U, ya.Y, ya.V, yb.Y, yb.U, yb.Y, yb.V};
  std::vector<uint8_t> twoRows = yuy2Row;
  twoRows.insert(twoRows.end(), yuy2Row.begin(), yuy2Row.end());
  EXPECT_EQ(yuy2, twoRows);

  // RGB24 is bottom-up with rows padded to whole DWORDs: 3 pixels make 9 bytes and 3 of padding.
  Picture q(3, 2, 2);
  for (int x = 0; x < 3; ++x) q.Set(x, 0, a), q.Set(x, 1, c);
  q.Set(2, 1, d);
  EXPECT_EQ(Convert(TPixelFormat::RGB24, q),
            (std::vector<uint8_t>{0, 255, 0, 0, 255, 0, 255, 255, 255, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0}));

  // A block cut by the right or the bottom edge repeats the edge pixels: a 3 x 3 picture's
  // last chroma sample is that of its corner pixel alone.
  Picture r(3, 3, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) r.Set(x, y, x == 1 ? d : a);
  r.Set(2, 2, c);
  const std::vector<uint8_t> odd = Convert(TPixelFormat::I420, r);
  ASSERT_EQ(odd.size(), 9u + 4 + 4);
  EXPECT_EQ(odd[8], yc.Y);
  EXPECT_EQ(odd[9 + 3], yc.U) << "the corner's own chroma";
  EXPECT_EQ(odd[13 + 3], yc.V);
  EXPECT_EQ(odd[9 + 1], ya.U) << "the right column's block";
  // Two pixels of red and two of white, worked out by hand from the sums.
  EXPECT_EQ(odd[9 + 0], 109);
  EXPECT_EQ(odd[13 + 0], 184);
}

// Each row routine of each level this processor has, against the reference, byte for byte.
TEST(YuvConvert, VectorRoutinesMatchTheReference) {
  const TYuvRoutines* levels[3];
  const int n = AvailableYuvRoutines(levels);
  ASSERT_GE(n, 1);
  EXPECT_EQ(levels[0], &ReferenceYuvRoutines);
  const TYuvRoutines& ref = ReferenceYuvRoutines;
  std::mt19937 rng(7);
  for (int level = 1; level < n; ++level) {
    const TYuvRoutines& v = *levels[level];
    for (int32_t w : {1, 2, 3, 5, 6, 7, 8, 10, 11, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 95, 127, 128, 130, 641}) {
      Picture p(w, 2, rng());
      const size_t half = size_t(w + 1) / 2;
      const auto same = [&](const char* what, auto run) {
        auto expected = run(ref), got = run(v);
        EXPECT_EQ(got, expected) << v.Name << " " << what << " width " << w;
      };
      same("RGB24", [&](const TYuvRoutines& r) {
        std::vector<uint8_t> out(size_t(w) * 3);
        r.Rgb24Row(p.Row(0), out.data(), w);
        return out;
      });
      same("YUY2", [&](const TYuvRoutines& r) {
        std::vector<uint8_t> out(half * 4);
        r.Yuy2Row(p.Row(0), out.data(), w);
        return out;
      });
      for (bool lastOddRow : {false, true}) {
        const uint8_t* second = lastOddRow ? p.Row(0) : p.Row(1);
        same("NV12", [&](const TYuvRoutines& r) {
          std::vector<uint8_t> y0(w), y1(w), uv(half * 2);
          r.Nv12Rows(p.Row(0), second, y0.data(), lastOddRow ? y0.data() : y1.data(), uv.data(), w);
          y0.insert(y0.end(), y1.begin(), y1.end());
          y0.insert(y0.end(), uv.begin(), uv.end());
          return y0;
        });
        same("I420", [&](const TYuvRoutines& r) {
          std::vector<uint8_t> y0(w), y1(w), u(half), vv(half);
          r.I420Rows(p.Row(0), second, y0.data(), lastOddRow ? y0.data() : y1.data(), u.data(), vv.data(), w);
          for (auto* part : {&y1, &u, &vv}) y0.insert(y0.end(), part->begin(), part->end());
          return y0;
        });
      }
    }
  }
}

// Whole frames, bottom-up sources included, through whatever routines are chosen, against the
// same frames with the reference forced.
TEST(YuvConvert, FramesMatchWithTheReferenceForced) {
  std::mt19937 rng(11);
  for (auto [w, h] : {std::pair{1, 1}, {7, 1}, {64, 1}, {33, 3}, {66, 5}, {160, 120}, {161, 9}}) {
    Picture p(w, h, rng());
    for (TPixelFormat f : {TPixelFormat::RGB32, TPixelFormat::RGB24, TPixelFormat::YUY2, TPixelFormat::NV12,
                           TPixelFormat::I420}) {
      for (bool bottomUp : {false, true}) {
        const uint8_t* top = bottomUp ? p.Row(h - 1) : p.Row(0);
        const ptrdiff_t stride = (bottomUp ? -1 : 1) * ptrdiff_t(w) * 4;
        std::vector<uint8_t> chosen(FrameBytes(f, w, h)), reference(chosen.size());
        ConvertFrame(f, top, stride, w, h, chosen.data());
        ForceReferenceRoutines(true);
        ConvertFrame(f, top, stride, w, h, reference.data());
        ForceReferenceRoutines(false);
        EXPECT_EQ(chosen, reference) << int(f) << " " << w << "x" << h << (bottomUp ? " bottom-up" : "");
      }
    }
  }
  EXPECT_EQ(&YuvRoutines(), &YuvRoutines());
  ForceReferenceRoutines(true);
  EXPECT_EQ(&YuvRoutines(), &ReferenceYuvRoutines) << "forcing the bitmap code's reference forces this one's";
  ForceReferenceRoutines(false);
}

TEST(YuvConvert, FrameSizes) {
  EXPECT_EQ(FrameBytes(TPixelFormat::RGB32, 160, 120), 76'800u);
  EXPECT_EQ(FrameBytes(TPixelFormat::RGB24, 160, 120), 57'600u);
  EXPECT_EQ(FrameBytes(TPixelFormat::RGB24, 3, 2), 24u);
  EXPECT_EQ(FrameBytes(TPixelFormat::YUY2, 640, 480), 614'400u);
  EXPECT_EQ(FrameBytes(TPixelFormat::NV12, 1280, 720), 1'382'400u);
  EXPECT_EQ(FrameBytes(TPixelFormat::I420, 3, 3), 17u);
  EXPECT_EQ(FrameBytes(TPixelFormat::YUY2, 3, 1), 8u);
  EXPECT_EQ(FrameBytes(TPixelFormat::NV12, 0, 10), 0u);
  EXPECT_EQ(FrameBytes(TPixelFormat::NV12, -2, 10), 0u);
}
