#include "DraftResampler.h"

#include <algorithm>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <vector>

#include "Bitmap32Errors.h"
#include "Transfer.h"
#include "VectorRoutines.h"

namespace murmella::bitmap32 {

TBlockEdges::TBlockEdges(std::uint32_t srcLen, std::uint32_t dstLen, std::int32_t clipOffset) {
  const float s = float(double(srcLen) / double(dstLen));
  Step = std::int64_t(double(s) * 65536.0);
  Offset = std::int32_t(double(clipOffset) * double(s));
}

void TDraftResampler::Transfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                               const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& cb) {
  const auto srcW = std::uint32_t(srcRect.Width()), srcH = std::uint32_t(srcRect.Height());
  const auto dstW = std::uint32_t(dstRect.Width()), dstH = std::uint32_t(dstRect.Height());
  if (srcW < dstW || srcH < dstH)
    TLinearResampler::Transfer(dst, dstRect, dstClip, src, srcRect, combineOp, cb);
  else
    BoxTransfer(dst, dstRect, dstClip, src, srcRect, combineOp, cb);
}

namespace {
// Column sums of one band are gathered for at most this many source pixels at a time, so they
// stay in the first-level cache and need no allocation.
constexpr std::int32_t ChunkPixels = 2048;
// 257 rows of 255 still fit a 16-bit sum.
constexpr std::int32_t MaxRows16 = 257;
// 128 rows of two pixels of 255.
constexpr std::int32_t MaxPairRows = 128;

// How every row of blocks is cut into chunks whose column sums fit the stack arrays. It is the
// same for all rows of a transfer, so it is worked out once, not per row.
class TColumnPlan {
public:
  TColumnPlan(const TBlockEdges& ex, std::int32_t count) : Edges_(std::size_t(count) + 1), Wider_(std::size_t(count)) {
    for (std::int32_t k = 0; k <= count; ++k) Edges_[std::size_t(k)] = ex.Edge(k);
    // Block widths are floor(s) or floor(s) + 1: one bit per block says which.
    for (std::int32_t k = 0; k < count; ++k) MinWidth_ = std::min(MinWidth_, Edges_[std::size_t(k) + 1] - Edges_[std::size_t(k)]);
    for (std::int32_t k = 0; k < count; ++k)
      Wider_[std::size_t(k)] = Edges_[std::size_t(k) + 1] - Edges_[std::size_t(k)] != MinWidth_;
    Uniform_ = std::find(Wider_.begin(), Wider_.end(), std::uint8_t(1)) == Wider_.end();
    MaxWidth_ = Uniform_ ? MinWidth_ : MinWidth_ + 1;
    for (std::int32_t c = 0; c < count;) {
      const std::int32_t left = Edges_[std::size_t(c)];
      std::int32_t end = c;
      while (end < count && Edges_[std::size_t(end) + 1] - left <= ChunkPixels) ++end;
      TChunk chunk{c, end == c ? c + 1 : end, Relative_.size(), end == c, false, 0};
      if (!chunk.Wide) {
        chunk.Even = true;
        for (std::int32_t k = c; k <= end; ++k) {
          Relative_.push_back(Edges_[std::size_t(k)] - left);
          chunk.Even = chunk.Even && Relative_.back() % 2 == 0;
        }
        if (chunk.Even) {
          // The same edges counted in pixel pairs.
          chunk.Pairs = Relative_.size();
          for (std::int32_t k = c; k <= end; ++k) Relative_.push_back((Edges_[std::size_t(k)] - left) / 2);
        }
      }
      Chunks_.push_back(chunk);
      c = chunk.End;
    }
  }

  // One row of blocks, bh source rows high: `first` is the top-left pixel of the row's first
  // block, rows are stride bytes apart; the colours go to drow by put, or as they are without.
  // Says whether it has also given them the fourth byte of an opaque source (opaque), which
  // the narrow blocks' routine does at no cost.
  bool ReduceRow(const TColor32* first, std::int32_t bh, std::int32_t stride, TColor32* drow,
                 const TPixelPutter* put, bool opaque = false) const {
    const auto& v = VectorRoutines();
    TColor32 line[ChunkPixels];
    if (v.ReduceNarrowRow && MaxWidth_ <= NarrowBlockWidth && bh <= NarrowBlockRows) {
      const std::int32_t count = std::int32_t(Wider_.size());
      for (std::int32_t k = 0; k < count; k += ChunkPixels) {
        const std::int32_t n = std::min(ChunkPixels, count - k);
        TColor32* out = !put || put->Mode() == dmOpaque ? drow + k : line;
        v.ReduceNarrowRow(first, stride, bh, &Edges_[std::size_t(k)], n, Uniform_ ? MinWidth_ : 0, opaque, out);
        if (out == line)
          for (std::int32_t i = 0; i < n; ++i) (*put)(line[i], drow[k + i]);
      }
      return opaque;
    }
    if (v.ReduceWideRow && Uniform_ && bh <= NarrowBlockRows) {
      bool done = true;
      const std::int32_t count = std::int32_t(Wider_.size());
      for (std::int32_t k = 0; k < count && done; k += ChunkPixels) {
        const std::int32_t n = std::min(ChunkPixels, count - k);
        TColor32* out = !put || put->Mode() == dmOpaque ? drow + k : line;
        done = v.ReduceWideRow(first + Edges_[std::size_t(k)], stride, bh, MinWidth_, n, opaque, out);
        if (done && out == line)
          for (std::int32_t i = 0; i < n; ++i) (*put)(line[i], drow[k + i]);
      }
      if (done) return opaque;
    }
    std::uint16_t sums[4 * ChunkPixels];
    for (const TChunk& chunk : Chunks_) {
      if (chunk.Wide || bh > MaxRows16) {
        // Blocks too wide or too high for the 16-bit column sums are averaged one by one.
        for (std::int32_t k = chunk.First; k < chunk.End; ++k) {
          const std::int32_t x = Edges_[std::size_t(k)];
          const TColor32 c = v.AverageBlock(Edges_[std::size_t(k) + 1] - x, bh, first + x, stride);
          if (put) (*put)(c, drow[k]);
          else drow[k] = c;
        }
        continue;
      }
      const std::int32_t* edges = &Relative_[chunk.Relative];
      const std::int32_t count = chunk.End - chunk.First;
      const TColor32* left = first + Edges_[std::size_t(chunk.First)];
      TColor32* out = !put || put->Mode() == dmOpaque ? drow + chunk.First : line;
      if (chunk.Even && v.SumPairs16 && bh <= MaxPairRows) {
        // Blocks of even widths from even offsets are reduced across in pairs, half the sums to
        // add across; a block of w / 2 pairs 2 bh high has the same count of pixels.
        const std::int32_t* pairEdges = &Relative_[chunk.Pairs];
        v.SumPairs16(left, stride, bh, pairEdges[count], sums);
        v.AverageSums16(sums, pairEdges, count, 2 * bh, out);
      } else {
        v.SumRows16(left, stride, bh, edges[count], sums);
        v.AverageSums16(sums, edges, count, bh, out);
      }
      if (out == line)
        for (std::int32_t k = 0; k < count; ++k) (*put)(line[k], drow[chunk.First + k]);
    }
    return false;
  }

  // The fourth byte that each of the row's blocks, bh rows high, averages to when every source
  // pixel's fourth byte is 255, in place in the top byte of each word.
  void OpaqueAlphaRow(std::int32_t bh, std::vector<TColor32>& alphaRow) const {
    TColor32 alpha[2];
    for (std::uint32_t i = 0; i < 2; ++i) {
      const std::uint64_t n = std::uint64_t(std::uint32_t(MinWidth_) + i) * std::uint32_t(bh);
      alpha[i] = TColor32(((255 * n) * (16777216u / n)) >> 24) << 24;
    }
    alphaRow.resize(Wider_.size());
    for (std::size_t k = 0; k < Wider_.size(); ++k) alphaRow[k] = alpha[Wider_[k]];
  }

private:
  struct TChunk {
    std::int32_t First, End;  // blocks First .. End - 1
    std::size_t Relative;     // where its edges, relative to its first, start in Relative_
    bool Wide;                // a single block wider than a chunk
    bool Even;                // every edge even: reduced in pixel pairs
    std::size_t Pairs;        // where its edges in pairs start in Relative_
  };
  std::vector<std::int32_t> Edges_;
  std::vector<std::uint8_t> Wider_;
  std::int32_t MinWidth_ = 0x7FFFFFFF, MaxWidth_ = 0;
  bool Uniform_ = true;
  std::vector<std::int32_t> Relative_;
  std::vector<TChunk> Chunks_;
};

const TColor32* RowAt(const TRowSpan& span, std::int32_t row) {
  return reinterpret_cast<const TColor32*>(reinterpret_cast<const std::uint8_t*>(span.First) +
                                           std::ptrdiff_t(row) * span.Stride);
}

}  // namespace

void BoxTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& clip, const TBitmap32& src, const TRect& srcRect,
                 TDrawMode combineOp, const TPixelCombineEvent& combineCallBack) {
  const TBlockEdges ex(std::uint32_t(srcRect.Width()), std::uint32_t(dstRect.Width()), clip.Left - dstRect.Left);
  const TBlockEdges ey(std::uint32_t(srcRect.Height()), std::uint32_t(dstRect.Height()), clip.Top - dstRect.Top);
  const std::int32_t x0 = srcRect.Left + ex.Offset, y0 = srcRect.Top + ey.Offset;
  const TPixelPutter put(src, combineOp, combineCallBack);
  const TColumnPlan plan(ex, clip.Width());
  const std::int32_t stride = src.Width() * 4;
  for (std::int32_t r = 0; r < clip.Height(); ++r) {
    const std::int32_t top = ey.Edge(r);
    plan.ReduceRow(src.PixelPtr(x0, y0 + top), ey.Edge(r + 1) - top, stride,
                   dst.PixelPtr(clip.Left, clip.Top + r), &put);
  }
}

namespace {

// Destination rows firstRow .. dstH - 1 in order, each from the block rows that rowsAt(top,
// rows) says where they lie, handed to sink.
template <class RowsAt>
void ReduceRowsInOrder(std::int32_t dstW, std::int32_t dstH, const TBlockEdges& ex, const TBlockEdges& ey,
                       std::int32_t firstRow, std::int32_t bandRows, RowsAt rowsAt, const TRowSink& sink) {
  const TColumnPlan plan(ex, dstW);
  std::vector<TColor32> line(std::size_t(dstW), 0);
  for (std::int32_t r = std::max(firstRow, 0); r < dstH;) {
    const std::int32_t top = ey.Edge(r);
    std::int32_t end = r + 1;
    while (end < dstH && ey.Edge(end + 1) - top <= bandRows) ++end;
    const TRowSpan span = rowsAt(top, ey.Edge(end) - top);
    for (; r < end; ++r) {
      const std::int32_t y = ey.Edge(r);
      plan.ReduceRow(RowAt(span, y - top), ey.Edge(r + 1) - y, span.Stride, line.data(), nullptr);
      sink(r, line.data());
    }
  }
}

// The fourth bytes of an opaque source's blocks, put into rows whose routine did not make
// them. Block heights take one or two values, so they are two rows made once.
class TOpaqueFourthBytes {
public:
  explicit TOpaqueFourthBytes(const TColumnPlan& plan) : Plan_(plan) {}
  void Put(TColor32* px, std::int32_t count, std::int32_t bh) {
    const TColor32* alpha = RowFor(bh);
    std::int32_t k = 0;
#ifdef __SSE2__
    // Four pixels at a time: a byte-wise pass over a row is as long as the reduction of a small block.
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    for (; k + 4 <= count; k += 4) {
      auto* q = reinterpret_cast<__m128i*>(px + k);
      _mm_storeu_si128(q, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(q), colour),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + k))));
    }
#endif
    for (; k < count; ++k) px[k] = (px[k] & 0x00FFFFFFu) | alpha[k];
  }

private:
  const TColor32* RowFor(std::int32_t bh) {
    const int slot = Height_[0] == bh || Height_[0] == 0 ? 0 : Height_[1] == bh || Height_[1] == 0 ? 1 : 0;
    if (Height_[slot] != bh) {
      Plan_.OpaqueAlphaRow(bh, Rows_[slot]);
      Height_[slot] = bh;
    }
    return Rows_[slot].data();
  }
  const TColumnPlan& Plan_;
  std::vector<TColor32> Rows_[2];
  std::int32_t Height_[2] = {0, 0};
};

}  // namespace

void BoxReduceInBands(std::int32_t srcW, std::int32_t srcH, std::int32_t dstW, std::int32_t dstH,
                      std::int32_t firstRow, const TBandLoader& load, const TRowSink& sink, std::size_t bandBytes) {
  Assert(dstW > 0 && dstH > 0 && srcW >= dstW && srcH >= dstH, "BoxReduceInBands reduces only");
  const TBlockEdges ex(std::uint32_t(srcW), std::uint32_t(dstW), 0), ey(std::uint32_t(srcH), std::uint32_t(dstH), 0);
  std::int32_t bandRows = 0;
  for (std::int32_t r = 0; r < dstH; ++r) bandRows = std::max(bandRows, ey.Edge(r + 1) - ey.Edge(r));
  bandRows = std::max(bandRows, std::int32_t(std::min<std::size_t>(std::size_t(srcH), bandBytes / (std::size_t(srcW) * 4))));
  std::vector<TColor32> band(std::size_t(srcW) * std::size_t(bandRows));
  ReduceRowsInOrder(
      dstW, dstH, ex, ey, firstRow, bandRows,
      [&](std::int32_t top, std::int32_t rows) { return load(band.data(), top, rows); }, sink);
}

void BoxReducePicture(const TRowSpan& picture, std::int32_t srcW, std::int32_t srcH, std::int32_t dstW,
                      std::int32_t dstH, std::int32_t firstRow, bool opaqueSource, const TRowTarget& target) {
  Assert(dstW > 0 && dstH > 0 && srcW >= dstW && srcH >= dstH, "BoxReducePicture reduces only");
  const TBlockEdges ex(std::uint32_t(srcW), std::uint32_t(dstW), 0), ey(std::uint32_t(srcH), std::uint32_t(dstH), 0);
  const TColumnPlan plan(ex, dstW);
  TOpaqueFourthBytes fourth(plan);
  const std::int32_t from = std::max(firstRow, 0);
  // A bottom-up picture is read in the order of its memory, as the processor's prefetcher
  // expects: from the last destination row up, each block from its bottom source row up (its
  // sums do not depend on the order of its rows).
  const bool upward = picture.Stride < 0;
  for (std::int32_t i = 0; i < dstH - from; ++i) {
    const std::int32_t r = upward ? dstH - 1 - i : from + i;
    const std::int32_t y = ey.Edge(r), bh = ey.Edge(r + 1) - y;
    const TColor32* first = RowAt(picture, upward ? y + bh - 1 : y);
    auto* px = reinterpret_cast<TColor32*>(reinterpret_cast<std::uint8_t*>(target.First) +
                                           std::ptrdiff_t(r - from) * target.Stride);
    if (!plan.ReduceRow(first, bh, upward ? -picture.Stride : picture.Stride, px, nullptr, opaqueSource) && opaqueSource)
      fourth.Put(px, dstW, bh);
  }
}

}  // namespace murmella::bitmap32
