#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <random>

#include "BlockDivisor.h"
#include "Bitmap32.h"
#include "Bitmap32Errors.h"
#include "DraftResampler.h"
#include "LinearResampler.h"
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

// The vector routine sets this processor has, each to be compared with the reference.
std::vector<const TVectorRoutines*> VectorLevels() {
  std::vector<const TVectorRoutines*> levels;
  for (auto level : {TVectorLevel::SSE2, TVectorLevel::AVX2, TVectorLevel::AVX512})
    if (const TVectorRoutines* v = VectorRoutinesFor(level)) levels.push_back(v);
  return levels;
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
    ExpectDraftMatchesRule(1280, 1024, 640, 480);  // blocks 2 wide, 2 or 3 high
    ExpectDraftMatchesRule(1920, 1080, 640, 480);  // blocks 3 wide
    ExpectDraftMatchesRule(1366, 768, 640, 480);   // blocks 2 or 3 wide
    ExpectDraftMatchesRule(1, 9, 1, 4);            // 1-pixel sources and destinations
    ExpectDraftMatchesRule(9, 1, 4, 1);
    ExpectDraftMatchesRule(23, 17, 1, 1);
    // Every ratio from 1 to 24 in each direction, with sizes that do not divide and widths
    // enough for whole vector groups and their ends.
    std::mt19937 rng(reference ? 5 : 6);
    for (int rx = 1; rx <= 24; ++rx)
      for (int ry = 1; ry <= 24; ++ry) {
        const int dw = 1 + int(rng() % 40), dh = 1 + int(rng() % 3);
        ExpectDraftMatchesRule(dw * rx + int(rng() % std::uint32_t(rx)), dh * ry + int(rng() % std::uint32_t(ry)), dw, dh);
      }
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

TEST(DraftStretch, ReducedColoursReachTheDestinationThroughTheDrawMode) {
  // Blocks of every kind of row routine (narrow 2 and 3, wide 8 and 12, and 5 through the
  // column sums), several vector groups wide with odd ends, drawn with a custom combine: each
  // destination pixel must get the rule's average of its own block.
  for (int bw : {2, 3, 5, 8, 12}) {
    SCOPED_TRACE(::testing::Message() << "blocks " << bw << " wide");
    const int dw = 45, dh = 3, bh = 4;
    TBitmap32 src, dst;
    src.SetSize(dw * bw, dh * bh);
    Fill(src, std::uint32_t(bw));
    dst.SetSize(dw, dh);
    for (int i = 0; i < dw * dh; ++i) dst.Bits()[i] = TColor32(i);
    TDraftResampler::CreateFor(src);
    src.DrawMode = dmCustom;
    src.MasterAlpha = 7;
    src.OnPixelCombine = [](TColor32 f, TColor32& b, std::uint32_t m) { b = (f ^ b) + m; };
    dst.Draw(dst.Bounds(), src.Bounds(), &src);
    for (int r = 0; r < dh; ++r)
      for (int c = 0; c < dw; ++c)
        ASSERT_EQ(*dst.PixelPtr(c, r), (ExpectedBlock(src, c * bw, r * bh, bw, bh) ^ TColor32(r * dw + c)) + 7)
            << c << "," << r;
  }
}

TEST(VectorRoutines, TheBestLevelIsChosenUnlessTheReferenceIsForced) {
  const TVectorRoutines* best = &ReferenceRoutines;
  for (auto level : {TVectorLevel::SSE2, TVectorLevel::AVX2, TVectorLevel::AVX512})
    if (const TVectorRoutines* v = VectorRoutinesFor(level)) best = v;
  if (std::getenv("MURMELLA_BITMAP32_REFERENCE")) best = &ReferenceRoutines;
  EXPECT_EQ(&VectorRoutines(), best) << VectorRoutines().Name;
  ForceReferenceRoutines(true);
  EXPECT_EQ(&VectorRoutines(), &ReferenceRoutines);
  ForceReferenceRoutines(false);
  EXPECT_EQ(&VectorRoutines(), best);
  EXPECT_EQ(VectorRoutinesFor(TVectorLevel::Reference), &ReferenceRoutines);
}

TEST(VectorRoutines, EveryLevelMatchesTheReference) {
  std::mt19937 rng(1234);
  const TVectorRoutines& ref = ReferenceRoutines;
  for (const TVectorRoutines* v : VectorLevels()) {
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
      if (v->SumPairs16) {
        std::vector<std::uint16_t> pa(2 * std::size_t(w) + 1, 7), pb(2 * std::size_t(w) + 1, 7);
        v->SumPairs16(px.data(), stride, h, w / 2, pa.data());
        ref.SumPairs16(px.data(), stride, h, w / 2, pb.data());
        ASSERT_EQ(pa, pb) << w / 2 << " pairs";
      }
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
        std::vector<TColor32> r1(static_cast<std::size_t>(count)), r2(static_cast<std::size_t>(count));
        v->InterpolateAcross(px.data(), w, pos.data(), wt.data(), r1.data(), count);
        ref.InterpolateAcross(px.data(), w, pos.data(), wt.data(), r2.data(), count);
        ASSERT_EQ(r1, r2);
        for (std::uint8_t bw : {std::uint8_t(0), std::uint8_t(255), std::uint8_t(rng() % 256)}) {
          v->CombineRows(px.data(), px.data() + w + extra, bw, r1.data(), std::min(count, w));
          ref.CombineRows(px.data(), px.data() + w + extra, bw, r2.data(), std::min(count, w));
          ASSERT_EQ(r1, r2);
        }
      }
    }
  }
}

namespace {

// Draws src (filled from seed) into dst through dstRect and checks every clipped pixel against
// the interpolation rule written out with the position tables.
void ExpectEnlargementMatchesRule(int sw, int sh, int dw, int dh, const TRect& dr, std::uint32_t seed) {
  SCOPED_TRACE(::testing::Message() << sw << "x" << sh << " -> " << dw << "x" << dh);
  TBitmap32 src, dst;
  src.SetSize(sw, sh);
  Fill(src, seed);
  dst.SetSize(dw, dh);
  TDraftResampler::CreateFor(src);
  dst.Draw(dr, src.Bounds(), &src);
  const TRect clip = IntersectRect(dst.Bounds(), dr);
  const auto cols = BuildPositionTable(sw, dr.Width(), clip.Left - dr.Left, clip.Width(), 0, sw, sw);
  const auto rows = BuildPositionTable(sh, dr.Height(), clip.Top - dr.Top, clip.Height(), 0, sh, sh);
  for (int j = 0; j < clip.Height(); ++j)
    for (int i = 0; i < clip.Width(); ++i) {
      const int p = cols[i].Pos, q = rows[j].Pos;
      const std::uint32_t a = std::min(cols[i].Weight & 0xFFFF, 255u), b = std::min(rows[j].Weight & 0xFFFF, 255u);
      const TColor32 top = Combine(*src.PixelPtr(p, q), *src.PixelPtr(p + 1, q), a);
      const TColor32 bottom = Combine(*src.PixelPtr(p, q + 1), *src.PixelPtr(p + 1, q + 1), a);
      ASSERT_EQ(*dst.PixelPtr(clip.Left + i, clip.Top + j), Combine(top, bottom, b)) << i << "," << j;
    }
}

}  // namespace

TEST(DraftStretch, EnlargementMatchesTheInterpolationRuleEverywhere) {
  for (bool reference : {false, true}) {
    ForceReferenceRoutines(reference);
    // Partly off the destination: the clip offsets the tables.
    ExpectEnlargementMatchesRule(13, 9, 50, 40, MakeRect(-3, -2, 47, 38), 99);
    ExpectEnlargementMatchesRule(320, 240, 1280, 960, MakeRect(0, 0, 1280, 960), 98);
    // Every ratio from 1 to 24 in each direction, sizes that do not divide, reductions across
    // (neighbours too far apart for one load) and 2-pixel sources.
    std::mt19937 rng(reference ? 17 : 18);
    for (int rx = 1; rx <= 24; ++rx)
      for (int ry = 1; ry <= 24; ++ry) {
        const int sw = 2 + int(rng() % 5), sh = 2 + int(rng() % 3);
        const int dw = rx == 1 ? 1 + int(rng() % sw) : sw * rx + int(rng() % std::uint32_t(rx));
        const int dh = ry == 1 ? sh + 1 : sh * ry + int(rng() % std::uint32_t(ry));
        ExpectEnlargementMatchesRule(sw, sh, dw, dh, MakeRect(0, 0, dw, dh), rng());
      }
    ExpectEnlargementMatchesRule(200, 3, 17, 40, MakeRect(0, 0, 17, 40), 3);
  }
  ForceReferenceRoutines(false);
}

namespace {

// Reduces src in bands the way the camera does and compares every produced row with the whole
// picture drawn at once; bottomUp lays each band out as GetDIBits does.
void ExpectBandsMatchTheWholePicture(int sw, int sh, int dw, int dh, int firstRow, std::size_t bandBytes,
                                     bool bottomUp) {
  SCOPED_TRACE(::testing::Message() << sw << "x" << sh << " -> " << dw << "x" << dh << " from row " << firstRow
                                    << ", band " << bandBytes << (bottomUp ? " bottom-up" : " top-down"));
  TBitmap32 src, whole;
  src.SetSize(sw, sh);
  Fill(src, std::uint32_t(sw * 7 + dh));
  whole.SetSize(dw, dh);
  TDraftResampler::CreateFor(src);
  whole.Draw(whole.Bounds(), src.Bounds(), &src);
  const TBlockEdges ey(sh, dh, 0);
  std::int32_t nextSourceRow = ey.Edge(firstRow), nextRow = firstRow;
  BoxReduceInBands(
      sw, sh, dw, dh, firstRow,
      [&](TColor32* band, std::int32_t top, std::int32_t rows) {
        EXPECT_EQ(top, nextSourceRow) << "bands follow each other from the first row's blocks";
        nextSourceRow = top + rows;
        // The sanitizer stops a band too small for the rows asked for.
        for (std::int32_t i = 0; i < rows; ++i)
          std::copy_n(src.ScanLine(top + i), sw, band + std::size_t(bottomUp ? rows - 1 - i : i) * sw);
        return bottomUp ? TRowSpan{band + std::size_t(rows - 1) * sw, -sw * 4} : TRowSpan{band, sw * 4};
      },
      [&](std::int32_t row, const TColor32* pixels) {
        ASSERT_EQ(row, nextRow++);
        for (int x = 0; x < dw; ++x) ASSERT_EQ(pixels[x], *whole.PixelPtr(x, row)) << "at " << x << "," << row;
      },
      bandBytes);
  EXPECT_EQ(nextRow, dh);
  EXPECT_EQ(nextSourceRow, ey.Edge(dh)) << "rows past the last block are not read";
}

}  // namespace

TEST(DraftStretch, BandedReductionGivesTheRowsOfTheWholePicture) {
  for (bool reference : {false, true}) {
    ForceReferenceRoutines(reference);
    ExpectBandsMatchTheWholePicture(1280, 1024, 160, 120, 0, DefaultBandBytes, true);
    ExpectBandsMatchTheWholePicture(1280, 1024, 640, 480, 0, DefaultBandBytes, true);
    ExpectBandsMatchTheWholePicture(1024, 768, 160, 120, 110, 1, true);   // a band of the tallest block only
    ExpectBandsMatchTheWholePicture(1920, 300, 7, 1, 0, 1, false);        // blocks too high for 16-bit sums
    ExpectBandsMatchTheWholePicture(5000, 40, 2, 40, 39, 1 << 20, true);  // blocks wider than a chunk
    ExpectBandsMatchTheWholePicture(50, 40, 50, 40, 3, 600, false);       // equal sizes: pixels copied
    ExpectBandsMatchTheWholePicture(37, 29, 37, 13, 0, 37 * 4 * 29, true);  // one band for all
  }
  ForceReferenceRoutines(false);
  // Only reductions: an enlargement needs the whole picture at once.
  const auto none = [](TColor32* b, std::int32_t, std::int32_t) { return TRowSpan{b, 4}; };
  EXPECT_THROW(BoxReduceInBands(10, 10, 11, 5, 0, none, [](std::int32_t, const TColor32*) {}), EAssertionFailed);
  EXPECT_THROW(BoxReduceInBands(10, 10, 0, 5, 0, none, [](std::int32_t, const TColor32*) {}), EAssertionFailed);
}

TEST(DraftStretch, InPlaceReductionIsTheWholePictureWithOrWithoutItsAlpha) {
  struct Case { int sw, sh, dw, dh, firstRow; };
  const Case cases[] = {{1280, 1024, 160, 120, 0}, {1280, 1024, 640, 480, 3}, {1920, 1080, 640, 480, 0},
                        {1024, 768, 160, 120, 119}, {1920, 300, 7, 1, 0}, {5000, 40, 2, 40, 0}, {61, 17, 61, 5, 0},
                        // narrow blocks of two widths (2 or 3, 3 or 4), their fourth byte given by the kernel
                        {683, 384, 320, 240, 0}, {512, 384, 160, 120, 7},
                        // blocks 8 and 12 wide, the wide routines'; a first row before the first
                        {1280, 1024, 160, 120, -2}, {1920, 1080, 160, 120, 100}};
  for (bool reference : {false, true}) {
    ForceReferenceRoutines(reference);
    for (const Case& c : cases)
      for (bool opaque : {false, true})
        for (bool bottomUp : {false, true}) {
          SCOPED_TRACE(::testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh
                                            << (opaque ? " opaque" : "") << (bottomUp ? " bottom-up" : ""));
          TBitmap32 src, picture, whole;
          src.SetSize(c.sw, c.sh);
          Fill(src, std::uint32_t(c.sw + c.dh));
          // What the copy-in of a picture without alpha gives: every fourth byte 255.
          picture.CopyFrom(&src);
          if (opaque) picture.FillAlpha(255);
          TDraftResampler::CreateFor(picture);
          whole.SetSize(c.dw, c.dh);
          whole.Draw(whole.Bounds(), picture.Bounds(), &picture);
          // Bottom-up memory: the rows turned over, read with a negative stride.
          std::vector<TColor32> turned;
          TRowSpan span{src.ScanLine(0), c.sw * 4};
          if (bottomUp) {
            turned.resize(std::size_t(c.sw) * c.sh);
            for (int y = 0; y < c.sh; ++y) std::copy_n(src.ScanLine(y), c.sw, &turned[std::size_t(c.sh - 1 - y) * c.sw]);
            span = TRowSpan{&turned[std::size_t(c.sh - 1) * c.sw], -c.sw * 4};
          }
          // Into a bottom-up frame as the camera's, with a guard row on each side: rows firstRow
          // (or 0) .. dh - 1 fill it from its last row up, and nothing else is written.
          const int from = std::max(c.firstRow, 0), made = c.dh - from;
          std::vector<TColor32> frame(std::size_t(made + 2) * c.dw, 0x5A5A5A5A);
          BoxReducePicture(span, c.sw, c.sh, c.dw, c.dh, c.firstRow, opaque,
                           TRowTarget{&frame[std::size_t(made) * c.dw], -c.dw * 4});
          for (int x = 0; x < c.dw; ++x) {
            ASSERT_EQ(frame[std::size_t(x)], 0x5A5A5A5Au);
            ASSERT_EQ(frame[std::size_t(made + 1) * c.dw + x], 0x5A5A5A5Au);
          }
          for (int row = from; row < c.dh; ++row)
            for (int x = 0; x < c.dw; ++x)
              ASSERT_EQ(frame[std::size_t(made - (row - from)) * c.dw + x], *whole.PixelPtr(x, row))
                  << "at " << x << "," << row;
        }
  }
  ForceReferenceRoutines(false);
  TBitmap32 b;
  b.SetSize(10, 10);
  EXPECT_THROW(BoxReducePicture(TRowSpan{b.Bits(), 40}, 10, 10, 11, 5, 0, true, TRowTarget{b.Bits(), 40}),
               EAssertionFailed);
}

TEST(VectorRoutines, EvenBlocksAndTheLimitsOfSixteenBitTotals) {
  std::mt19937 rng(77);
  const TVectorRoutines& ref = ReferenceRoutines;
  for (const TVectorRoutines* v : VectorLevels()) {
    SCOPED_TRACE(v->Name);
    // Widths of blocks all alike (2 is the halving), and block sizes around 257 pixels, the
    // largest whose white total fits 16 bits.
    for (int width : {1, 2, 3, 8})
      for (int rows : {1, 2, 3, 128, 129, 257})
        for (bool white : {false, true}) {
          SCOPED_TRACE(::testing::Message() << width << " x " << rows << (white ? " white" : ""));
          const int count = 1 + int(rng() % 40), pixels = count * width;
          std::vector<TColor32> px(std::size_t(pixels) * rows);
          for (auto& p : px) p = white ? 0xFFFFFFFF : rng();
          std::vector<std::uint16_t> sums(4 * std::size_t(pixels));
          ref.SumRows16(px.data(), pixels * 4, rows, pixels, sums.data());
          std::vector<std::int32_t> edges;
          for (int c = 0; c <= count; ++c) edges.push_back(c * width);
          std::vector<TColor32> o1(static_cast<std::size_t>(count)), o2(static_cast<std::size_t>(count));
          v->AverageSums16(sums.data(), edges.data(), count, rows, o1.data());
          ref.AverageSums16(sums.data(), edges.data(), count, rows, o2.data());
          ASSERT_EQ(o1, o2);
          // One odd block in the middle of a halving row.
          if (width == 2 && count > 5) {
            edges[3] = edges[2] + 1;
            v->AverageSums16(sums.data(), edges.data(), count, rows, o1.data());
            ref.AverageSums16(sums.data(), edges.data(), count, rows, o2.data());
            ASSERT_EQ(o1, o2);
          }
        }
  }
}

TEST(VectorRoutines, SixteenBitDivisionIsTheReferencesForEveryBlockSize) {
  int exact = 0;
  for (std::uint32_t n = 0; n <= 256; ++n) {
    const TBlockDivisor& d = BlockDivisors[n];
    if (!d.Exact) continue;
    ++exact;
    const std::uint32_t m = 16777216u / n;
    for (std::uint32_t t = 0; t <= 255 * n; ++t) {
      const std::uint32_t u = t > d.Bias ? t - d.Bias : 0;
      const std::uint32_t q = (((u * d.Mul) >> 16) * d.Post) >> 16;
      ASSERT_EQ(q, (t * m) >> 24) << "n " << n << " total " << t;
    }
  }
  // Every block of up to 185 pixels but 1 and 2 has the short form; the narrow kernels count on it.
  EXPECT_GE(exact, 183);
  for (std::uint32_t n = 3; n <= 185; ++n) EXPECT_TRUE(BlockDivisors[n].Exact) << n;
}

TEST(VectorRoutines, RowRoutinesMatchTheReferenceBlockByBlock) {
  std::mt19937 rng(4321);
  for (const TVectorRoutines* v : VectorLevels()) {
    if (!v->ReduceNarrowRow && !v->ReduceWideRow) continue;
    SCOPED_TRACE(v->Name);
    for (int round = 0; round < 600; ++round) {
      // Narrow blocks: one width for all (each of 1 to 4), or the two neighbouring widths of a
      // ratio that does not divide, in random order. Wide blocks: one width for all, of those
      // the wide routines have (8, 12) and one they turn down.
      const bool wide = round % 3 == 2;
      if (wide ? !v->ReduceWideRow : !v->ReduceNarrowRow) continue;
      const int base = wide ? std::array{8, 12, 16}[rng() % 3] : 1 + int(rng() % NarrowBlockWidth);
      const bool uniform = wide || round % 2 == 0 || base == NarrowBlockWidth;
      // Every tenth round white blocks of the most rows, the largest totals the routines'
      // 16-bit sums must hold.
      const int count = 1 + int(rng() % 70);
      const int rows = round % 10 == 0 ? NarrowBlockRows : 1 + int(rng() % NarrowBlockRows);
      std::vector<std::int32_t> edges{0};
      for (int c = 0; c < count; ++c) edges.push_back(edges.back() + base + (uniform ? 0 : int(rng() % 2)));
      const int pixels = edges.back(), pad = int(rng() % 3);
      const int stride = (pixels + pad) * 4;
      std::vector<TColor32> px(std::size_t(pixels + pad) * rows);
      const bool white = round % 5 == 0;
      for (auto& p : px) p = white ? 0xFFFFFFFF : rng();
      // Bottom-up rows too, as the camera reads its screen.
      const bool bottomUp = round % 4 == 0;
      const TColor32* first = bottomUp ? &px[std::size_t(rows - 1) * (pixels + pad)] : px.data();
      const int step = bottomUp ? -stride : stride;
      // An opaque source's fourth bytes count as 255: the reference reads a copy that has them.
      const bool opaque = round % 7 < 3;
      std::vector<TColor32> filled(px);
      for (auto& p : filled) p |= 0xFF000000u;
      const TColor32* opaqueFirst = filled.data() + (first - px.data());
      std::vector<TColor32> got(std::size_t(count) + 1, 0x12345678), want(std::size_t(count) + 1, 0x12345678);
      if (wide) {
        const bool done = v->ReduceWideRow(first, step, rows, base, count, opaque, got.data());
        if (!done) {
          EXPECT_EQ(base, 16);
          ASSERT_EQ(got, want) << "a width turned down leaves the row alone";
          continue;
        }
      } else {
        v->ReduceNarrowRow(first, step, rows, edges.data(), count, uniform ? base : 0, opaque, got.data());
      }
      for (int c = 0; c < count; ++c)
        want[std::size_t(c)] = ReferenceRoutines.AverageBlock(edges[c + 1] - edges[c], rows,
                                                              (opaque ? opaqueFirst : first) + edges[c], step);
      ASSERT_EQ(got, want) << count << " blocks of " << base << (uniform ? "" : " or more") << " x " << rows
                           << (opaque ? " opaque" : "");
    }
  }
}
