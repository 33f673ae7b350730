#include <gtest/gtest.h>

#include <random>

#include "Bitmap32.h"
#include "Bitmap32Errors.h"
#include "DraftResampler.h"
#include "Transfer.h"
#include "VectorRoutines.h"

using namespace murmella::bitmap32;

namespace {

std::vector<int> BlockSizes(std::uint32_t src, std::uint32_t dst) {
  const TBlockEdges e(src, dst, 0);
  std::vector<int> sizes;
  for (std::uint32_t k = 0; k < dst; ++k) sizes.push_back(e.Edge(k + 1) - e.Edge(k));
  return sizes;
}

void Fill(TBitmap32& b, std::uint32_t seed) {
  std::mt19937 rng(seed);
  for (std::size_t i = 0; i < std::size_t(b.Width()) * b.Height(); ++i) b.Bits()[i] = rng();
}

// The box rule written out directly, block by block.
TColor32 ExpectedBlock(const TBitmap32& s, int x, int y, int bw, int bh) {
  std::uint64_t t[4] = {};
  for (int j = 0; j < bh; ++j)
    for (int i = 0; i < bw; ++i)
      for (int c = 0; c < 4; ++c) t[c] += (*s.PixelPtr(x + i, y + j) >> (8 * c)) & 0xFF;
  const std::uint64_t m = (1u << 24) / std::uint64_t(bw * bh);
  TColor32 r = 0;
  for (int c = 0; c < 4; ++c) r |= TColor32((t[c] * m) >> 24) << (8 * c);
  return r;
}

void ExpectDraftMatchesRule(int sw, int sh, int dw, int dh) {
  TBitmap32 src, dst;
  src.SetSize(sw, sh);
  dst.SetSize(dw, dh);
  Fill(src, sw * 31 + dh);
  TDraftResampler::CreateFor(src);
  dst.Draw(dst.Bounds(), src.Bounds(), &src);
  const TBlockEdges ex(sw, dw, 0), ey(sh, dh, 0);
  for (int r = 0; r < dh; ++r)
    for (int c = 0; c < dw; ++c)
      ASSERT_EQ(*dst.PixelPtr(c, r), ExpectedBlock(src, ex.Edge(c), ey.Edge(r), ex.Edge(c + 1) - ex.Edge(c),
                                                   ey.Edge(r + 1) - ey.Edge(r)))
          << sw << "x" << sh << " -> " << dw << "x" << dh << " at " << c << "," << r;
}

}  // namespace

TEST(DraftStretch, BlockEdgesOfTheUsualScreens) {
  const TBlockEdges y1024(1024, 120, 0);
  EXPECT_EQ(y1024.Step, 559240);
  auto h = BlockSizes(1024, 120);
  EXPECT_EQ(std::vector<int>(h.begin(), h.begin() + 4), (std::vector<int>{8, 9, 8, 9}));
  EXPECT_LT(TBlockEdges(1024, 120, 0).Edge(120), 1024) << "row 1023 is never read";
  for (int w : BlockSizes(1280, 160)) EXPECT_EQ(w, 8);

  const TBlockEdges x1024(1024, 160, 0);
  EXPECT_EQ(x1024.Step, 419430);
  auto w = BlockSizes(1024, 160);
  EXPECT_EQ(std::vector<int>(w.begin(), w.begin() + 8), (std::vector<int>{6, 6, 7, 6, 6, 7, 6, 7}));
  EXPECT_EQ(x1024.Edge(160), 1023);
  EXPECT_EQ(TBlockEdges(768, 120, 0).Edge(120), 767);

  for (int v : BlockSizes(1920, 160)) EXPECT_EQ(v, 12);
  for (int v : BlockSizes(1080, 120)) EXPECT_EQ(v, 9);
  EXPECT_EQ(TBlockEdges(1920, 160, 0).Edge(160), 1920);
}

TEST(DraftStretch, ReductionsFollowTheBoxRuleOnEveryRoutineSet) {
  for (bool reference : {false, true}) {
    ForceReferenceRoutines(reference);
    ExpectDraftMatchesRule(1280, 1024, 160, 120);
    ExpectDraftMatchesRule(1024, 768, 160, 120);
    ExpectDraftMatchesRule(1920, 1080, 160, 120);
    ExpectDraftMatchesRule(1920, 300, 7, 1);     // blocks 274 wide, one 300 high
    ExpectDraftMatchesRule(5000, 40, 2, 40);     // blocks wider than a band chunk
    ExpectDraftMatchesRule(37, 29, 37, 13);      // one direction unscaled
  }
  ForceReferenceRoutines(false);
}

TEST(DraftStretch, WhiteBlackAndSmallAverages) {
  const auto v = [](int bw, int bh, TColor32 fill) {
    std::vector<TColor32> px(std::size_t(bw * bh), fill);
    return AverageBlock(bw, bh, px.data(), bw * 4);
  };
  EXPECT_EQ(v(8, 8, 0xFFFFFFFF), 0xFFFFFFFFu);
  EXPECT_EQ(v(8, 9, 0xFFFFFFFF), 0xFEFEFEFEu);
  EXPECT_EQ(v(8, 9, 0), 0u);
  EXPECT_EQ(v(1920, 1, 0xFFFFFFFF), 0xFEFEFEFEu) << "1920 is no power of two";
  TColor32 three[3] = {10, 20, 30};
  EXPECT_EQ(AverageBlock(3, 1, three, 12), 19u);
  // A 1920-wide source into 7 columns: blocks of 274 pixels, no overflow.
  TBitmap32 src, dst;
  src.SetSize(1920, 9);
  for (int i = 0; i < 1920 * 9; ++i) src.Bits()[i] = 0xFFFFFFFF;
  dst.SetSize(7, 1);
  TDraftResampler::CreateFor(src);
  dst.Draw(dst.Bounds(), src.Bounds(), &src);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(dst.Bits()[i], 0xFEFEFEFEu);
}

TEST(DraftStretch, EqualSizesCopyExactlyAndClipOffsetsTheSource) {
  TBitmap32 src, dst;
  src.SetSize(50, 40);
  Fill(src, 5);
  dst.SetSize(50, 40);
  TDraftResampler::CreateFor(src);
  dst.Draw(dst.Bounds(), src.Bounds(), &src);
  for (int i = 0; i < 50 * 40; ++i) ASSERT_EQ(dst.Bits()[i], src.Bits()[i]);
  // Destination partly off the bitmap: only the visible part, from the matching source pixels.
  TBitmap32 small;
  small.SetSize(10, 10);
  small.Draw(MakeRect(-5, -3, 45, 37), src.Bounds(), &src);
  EXPECT_EQ(*small.PixelPtr(0, 0), *src.PixelPtr(5, 3));
  EXPECT_EQ(*small.PixelPtr(9, 9), *src.PixelPtr(14, 12));
}

TEST(DraftStretch, EnlargementIsBilinearAndTheLastColumnIsExact) {
  TBitmap32 src, dst;
  src.SetSize(4, 3);
  Fill(src, 11);
  dst.SetSize(16, 12);
  TDraftResampler::CreateFor(src);
  dst.Draw(dst.Bounds(), src.Bounds(), &src);
  // Columns 14 and 15 fall on or past the last source column: its colour exactly, on rows that do too.
  EXPECT_EQ(*dst.PixelPtr(15, 11), *src.PixelPtr(3, 2));
  EXPECT_EQ(*dst.PixelPtr(0, 0), *src.PixelPtr(0, 0));
  // An inner pixel: x = (5 + 0.5) / 4 - 0.5 = 0.875, y = (1 + 0.5) / 4 - 0.5 = -0.125 -> 0.
  const TColor32 top = Combine(*src.PixelPtr(0, 0), *src.PixelPtr(1, 0), 256 - 224);
  const TColor32 bottom = Combine(*src.PixelPtr(0, 1), *src.PixelPtr(1, 1), 256 - 224);
  EXPECT_EQ(*dst.PixelPtr(5, 1), Combine(top, bottom, 255));
}

TEST(DraftStretch, OnePixelWideSourcesUseTheLinearKernel) {
  TBitmap32 src, dst;
  src.SetSize(1, 2);
  *src.PixelPtr(0, 0) = 0xFF000000;
  *src.PixelPtr(0, 1) = 0xFF0000C8;
  dst.SetSize(3, 4);
  TDraftResampler::CreateFor(src);
  dst.Draw(dst.Bounds(), src.Bounds(), &src);
  // Rows centred at source y -0.25, 0.25, 0.75, 1.25: clamped ends, 1/4 and 3/4 mixes inside.
  EXPECT_EQ(*dst.PixelPtr(0, 0), 0xFF000000u);
  EXPECT_EQ(*dst.PixelPtr(1, 1), 0xFF000032u);
  EXPECT_EQ(*dst.PixelPtr(2, 2), 0xFF000096u);
  EXPECT_EQ(*dst.PixelPtr(2, 3), 0xFF0000C8u);
}

TEST(DraftStretch, ErrorsAndDegenerateCases) {
  TBitmap32 src, dst;
  src.SetSize(10, 10);
  dst.SetSize(5, 5);
  try {
    ScaledTransfer(nullptr, dst.Bounds(), dst.Bounds(), &src, src.Bounds(), &src.Resampler(), dmOpaque, {});
    FAIL();
  } catch (const EBitmapException& e) { EXPECT_STREQ(e.what(), "Destination bitmap is nil"); }
  try {
    ScaledTransfer(&dst, dst.Bounds(), dst.Bounds(), nullptr, src.Bounds(), nullptr, dmOpaque, {});
    FAIL();
  } catch (const EBitmapException& e) { EXPECT_STREQ(e.what(), "Source bitmap is nil"); }
  int notes = 0;
  dst.OnChange = [&](TNotifiablePersistent&) { ++notes; };
  try {
    dst.Draw(dst.Bounds(), MakeRect(0, 0, 11, 10), &src);
    FAIL();
  } catch (const ESrcInvalidException& e) { EXPECT_STREQ(e.what(), "Source rectangle is invalid"); }
  dst.Draw(dst.Bounds(), MakeRect(3, 3, 3, 8), &src);     // empty source rectangle
  dst.Draw(MakeRect(7, 7, 9, 9), src.Bounds(), &src);     // clip outside the bitmap
  src.MasterAlpha = 0;
  src.DrawMode = dmBlend;
  dst.Draw(dst.Bounds(), src.Bounds(), &src);
  TBitmap32 empty;
  int emptyNotes = 0;
  empty.SetSize(0, 7);
  empty.OnChange = [&](TNotifiablePersistent&) { ++emptyNotes; };
  empty.Draw(MakeRect(0, 0, 4, 4), src.Bounds(), &src);
  empty.SetSize(-3, 7);
  EXPECT_EQ(notes, 0);
  EXPECT_EQ(emptyNotes, 0);
  src.DrawMode = dmOpaque;
  dst.Draw(dst.Bounds(), src.Bounds(), &src);
  EXPECT_EQ(notes, 1);
}

TEST(DraftStretch, DrawModes) {
  TBitmap32 src, dst;
  src.SetSize(2, 1);
  src.Bits()[0] = 0xFF102030;
  src.Bits()[1] = 0x00405060;
  dst.SetSize(2, 1);
  dst.Bits()[0] = dst.Bits()[1] = 0xFF000000;
  src.DrawMode = dmTransparent;
  src.OuterColor = 0xFF102030;
  dst.Draw(dst.Bounds(), src.Bounds(), &src);
  EXPECT_EQ(dst.Bits()[0], 0xFF000000u);
  EXPECT_EQ(dst.Bits()[1], 0x00405060u);
  src.DrawMode = dmCustom;
  src.MasterAlpha = 9;
  src.OnPixelCombine = [](TColor32 f, TColor32& b, std::uint32_t m) { b = f + m; };
  dst.Draw(dst.Bounds(), src.Bounds(), &src);
  EXPECT_EQ(dst.Bits()[0], 0xFF102039u);
  src.DrawMode = dmBlend;
  src.MasterAlpha = 255;
  dst.Bits()[0] = dst.Bits()[1] = 0xFF000000;
  dst.Draw(dst.Bounds(), src.Bounds(), &src);
  EXPECT_EQ(dst.Bits()[0], 0xFF102030u) << "opaque source covers";
  EXPECT_EQ(dst.Bits()[1], 0xFF000000u) << "transparent source leaves the destination";
}

TEST(VectorRoutines, EveryLevelMatchesTheReference) {
  std::mt19937 rng(1234);
  const TVectorRoutines& ref = ReferenceRoutines;
  for (auto level : {TVectorLevel::SSE2, TVectorLevel::AVX2}) {
    const TVectorRoutines* v = VectorRoutinesFor(level);
    if (!v) continue;
    SCOPED_TRACE(v->Name);
    for (int round = 0; round < 200; ++round) {
      const int w = 1 + int(rng() % 300), h = 1 + int(rng() % 40), extra = int(rng() % 5);
      std::vector<TColor32> px(std::size_t((w + extra) * h + 1));
      for (auto& p : px) p = round % 7 == 0 ? 0xFFFFFFFF : rng();
      const int stride = (w + extra) * 4;
      ASSERT_EQ(v->AverageBlock(w, h, px.data(), stride), ref.AverageBlock(w, h, px.data(), stride));
      std::vector<std::uint16_t> a(4 * std::size_t(w)), b(4 * std::size_t(w));
      v->SumRows16(px.data(), stride, h, w, a.data());
      ref.SumRows16(px.data(), stride, h, w, b.data());
      ASSERT_EQ(a, b);
      std::vector<std::int32_t> edges{0};
      while (edges.back() < w) edges.push_back(std::min(w, edges.back() + 1 + int(rng() % 9)));
      const int n = int(edges.size()) - 1;
      std::vector<TColor32> o1(static_cast<std::size_t>(n)), o2(static_cast<std::size_t>(n));
      v->AverageSums16(a.data(), edges.data(), n, h, o1.data());
      ref.AverageSums16(a.data(), edges.data(), n, h, o2.data());
      ASSERT_EQ(o1, o2);
      if (w >= 2 && h >= 2) {
        const int count = 1 + int(rng() % 200);
        std::vector<std::int32_t> pos(static_cast<std::size_t>(count));
        std::vector<std::uint8_t> wt(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
          pos[i] = int(rng() % (w - 1));
          const int k = int(rng() % 6);
          wt[i] = std::uint8_t(k == 0 ? 0 : k == 1 ? 255 : rng() % 256);
        }
        for (std::uint8_t bw : {std::uint8_t(0), std::uint8_t(255), std::uint8_t(rng() % 256)}) {
          std::vector<TColor32> r1(static_cast<std::size_t>(count)), r2(static_cast<std::size_t>(count));
          v->InterpolateRow(px.data(), px.data() + w + extra, pos.data(), wt.data(), bw, r1.data(), count);
          ref.InterpolateRow(px.data(), px.data() + w + extra, pos.data(), wt.data(), bw, r2.data(), count);
          ASSERT_EQ(r1, r2);
        }
      }
    }
  }
}
