#include <algorithm>
#include <cmath>

#include "LinearResampler.h"
#include "Transfer.h"
#include "VectorRoutines.h"

namespace murmella::bitmap32 {

std::vector<TPointRec> BuildPositionTable(std::uint32_t srcLen, std::uint32_t dstLen, std::int32_t clipOffset,
                                          std::int32_t clipLen, std::int32_t srcLo, std::int32_t srcHi,
                                          std::int32_t srcSize) {
  const float s = float(double(srcLen) / double(dstLen));
  std::vector<TPointRec> table(std::size_t(std::max(clipLen, 0)));
  for (std::int32_t i = 0; i < clipLen; ++i) {
    float x = float((double(i + clipOffset) + 0.5) * double(s) + (double(srcLo) - 0.5));
    if (x < 0) x = 0;
    else if (x > float(srcSize - 1)) x = float(srcSize - 1);
    const float fl = std::floor(x);
    const auto w = std::uint32_t(256 - std::int32_t(std::nearbyint((x - fl) * 256.0f)));
    table[std::size_t(i)] = {std::int32_t(fl), w * 65537u};
  }
  for (auto it = table.rbegin(); it != table.rend() && it->Pos == srcHi - 1; ++it) {
    it->Pos -= 1;
    it->Weight = 0;
  }
  // Memory safety only: keep both neighbours inside the bitmap whatever the rounding did.
  for (auto& e : table) e.Pos = std::clamp(e.Pos, 0, srcSize - 2);
  return table;
}

void BilinearTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& clip, const TBitmap32& src,
                      const TRect& srcRect, TDrawMode combineOp, const TPixelCombineEvent& combineCallBack) {
  const auto cols = BuildPositionTable(std::uint32_t(srcRect.Width()), std::uint32_t(dstRect.Width()),
                                       clip.Left - dstRect.Left, clip.Width(), srcRect.Left, srcRect.Right, src.Width());
  const auto rows = BuildPositionTable(std::uint32_t(srcRect.Height()), std::uint32_t(dstRect.Height()),
                                       clip.Top - dstRect.Top, clip.Height(), srcRect.Top, srcRect.Bottom, src.Height());
  std::vector<std::uint8_t> colWeights(cols.size());
  std::vector<std::int32_t> colPos(cols.size());
  for (std::size_t i = 0; i < cols.size(); ++i) {
    colWeights[i] = std::uint8_t(std::min<std::uint32_t>(cols[i].Weight & 0xFFFF, 255));
    colPos[i] = cols[i].Pos;
  }
  const TPixelPutter put(src, combineOp, combineCallBack);
  const std::int32_t n = std::int32_t(cols.size());
  std::vector<TColor32> line(cols.size());
  // The across step of a source row is shared by every destination row that reads it, so
  // it is kept for the two rows in use and only redone when the row pair moves on.
  std::vector<TColor32> across[2] = {std::vector<TColor32>(cols.size()), std::vector<TColor32>(cols.size())};
  std::int32_t acrossRow[2] = {-1, -1};
  const auto& v = VectorRoutines();
  const auto acrossOf = [&](std::int32_t y, std::int32_t keep) -> const TColor32* {
    for (int k = 0; k < 2; ++k)
      if (acrossRow[k] == y) return across[k].data();
    const int k = acrossRow[0] == keep ? 1 : 0;
    v.InterpolateAcross(src.ScanLine(y), src.Width(), colPos.data(), colWeights.data(), across[k].data(), n);
    acrossRow[k] = y;
    return across[k].data();
  };
  for (std::size_t j = 0; j < rows.size(); ++j) {
    const std::uint32_t b = std::min<std::uint32_t>(rows[j].Weight & 0xFFFF, 255);
    TColor32* d = dst.PixelPtr(clip.Left, clip.Top + std::int32_t(j));
    TColor32* out = put.Mode() == dmOpaque ? d : line.data();
    const TColor32* top = acrossOf(rows[j].Pos, rows[j].Pos + 1);
    const TColor32* bottom = acrossOf(rows[j].Pos + 1, rows[j].Pos);
    v.CombineRows(top, bottom, std::uint8_t(b), out, n);
    if (out != d)
      for (std::size_t i = 0; i < cols.size(); ++i) put(line[i], d[i]);
  }
}

}  // namespace murmella::bitmap32
