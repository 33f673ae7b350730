// The real GDI canvas, also keeping the text of every run it draws in one colour: what the
// renderer's layout put on the screen, read back.
#pragma once

#include "GdiCanvas.h"

#include <string>
#include <vector>

namespace murmella::popup::testing {

class TReadBackCanvas : public TGdiCanvas {
 public:
  TReadBackCanvas(HDC dc, const TMarkupFont& font, TColor color) : TGdiCanvas(dc, font), Color_(color) {}
  void DrawRun(std::u16string_view text, const TRect& box, bool prefix) override {
    if (Font().Color == Color_) Runs.emplace_back(text);
    TGdiCanvas::DrawRun(text, box, prefix);
  }
  std::u16string Text() const {
    std::u16string all;
    for (const auto& r : Runs) all += r;
    return all;
  }
  std::vector<std::u16string> Runs;

 private:
  TColor Color_;
};

}  // namespace murmella::popup::testing
