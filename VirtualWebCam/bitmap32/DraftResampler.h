#pragma once
#include <functional>

#include "LinearResampler.h"

namespace murmella::bitmap32 {

// Draft quality: integer box averages for reductions, bilinear for enlargements.
class TDraftResampler : public TLinearResampler {
public:
  using TLinearResampler::TLinearResampler;
  static TDraftResampler& CreateFor(TBitmap32& b) { return CreateForClass<TDraftResampler>(b); }
  std::string ClassName() const override { return "TDraftResampler"; }
  void Transfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& cb) override;
};

// The reduction: each destination pixel is the AverageBlock of its block of source pixels.
void BoxTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& clip, const TBitmap32& src, const TRect& srcRect,
                 TDrawMode combineOp, const TPixelCombineEvent& combineCallBack);

// Rows of a band as a loader left them: the top row and the bytes from one row to the next
// (negative when the rows lie bottom-up in memory).
struct TRowSpan {
  const TColor32* First;
  std::int32_t Stride;
};
// Puts source rows top .. top + rows - 1 into band, which has room for that many rows of the
// source's width, and says where they are.
using TBandLoader = std::function<TRowSpan(TColor32* band, std::int32_t top, std::int32_t rows)>;
// Takes destination row `row`, its pixels valid only during the call.
using TRowSink = std::function<void(std::int32_t row, const TColor32* pixels)>;

// The opaque reduction of a whole srcW x srcH picture to dstW x dstH (no larger in either
// direction) with the blocks and averages of BoxTransfer, for a picture that is never held in
// memory at once: it is read through `load` a band of whole block rows at a time, into plain
// memory of about bandBytes (never less than the tallest block), which the heap hands out again
// frame after frame, unlike a fresh bitmap whose new pages the platform must supply. Destination
// rows firstRow .. dstH - 1 are made, in order, and handed to `sink`; source rows above row
// firstRow's blocks are not read.
constexpr std::size_t DefaultBandBytes = 64 * 1024;
void BoxReduceInBands(std::int32_t srcW, std::int32_t srcH, std::int32_t dstW, std::int32_t dstH,
                      std::int32_t firstRow, const TBandLoader& load, const TRowSink& sink,
                      std::size_t bandBytes = DefaultBandBytes);

// Where destination rows go: the first one made at First, each next Stride bytes further
// (negative for a bottom-up picture).
struct TRowTarget {
  TColor32* First;
  std::int32_t Stride;
};

// The same reduction of a picture that is already in memory, read where it lies: source row y
// at picture.First + y * picture.Stride bytes. With opaqueSource the fourth byte of every
// source pixel counts as 255 whatever it holds (a picture without alpha, as its copy-in would
// make it), so the result is that of the opaque picture without a pass that writes one.
// Destination rows firstRow .. dstH - 1 are written straight into target, not copied there,
// in whatever order reads the picture fastest.
void BoxReducePicture(const TRowSpan& picture, std::int32_t srcW, std::int32_t srcH, std::int32_t dstW,
                      std::int32_t dstH, std::int32_t firstRow, bool opaqueSource, const TRowTarget& target);

// Block edges Ex(k) = floor(k * step / 65536) with step = trunc(float(srcLen / dstLen) * 65536).
struct TBlockEdges {
  TBlockEdges(std::uint32_t srcLen, std::uint32_t dstLen, std::int32_t clipOffset);
  std::int64_t Step;
  std::int32_t Offset;  // trunc(clipOffset * s)
  std::int32_t Edge(std::int32_t k) const { return std::int32_t((std::int64_t(k) * Step) >> 16); }
};

}  // namespace murmella::bitmap32
