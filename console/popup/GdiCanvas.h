// The markup canvas over a GDI device context.
#pragma once

#include "MarkupCanvas.h"

#include <windows.h>

#include <vector>

namespace murmella::popup {

class TGdiCanvas : public TMarkupCanvas {
 public:
  // The DC stays the caller's; everything selected into it is put back on destruction.
  explicit TGdiCanvas(HDC dc, const TMarkupFont& font = TMarkupFont{});
  ~TGdiCanvas() override;
  TGdiCanvas(const TGdiCanvas&) = delete;
  TGdiCanvas& operator=(const TGdiCanvas&) = delete;

  HDC Handle() const { return Dc_; }

  const TMarkupFont& Font() const override { return Font_; }
  void SetFont(const TMarkupFont& font) override { Font_ = font; }
  bool BrushSolid() const override { return BrushSolid_; }
  TColor BrushColor() const override { return Brush_; }
  void SetBrushColor(TColor c) override { Brush_ = c; BrushSolid_ = TextOpaque_ = true; }
  void SetBrushClear() override { BrushSolid_ = TextOpaque_ = false; }
  void SetTextTransparent() override { TextOpaque_ = false; }
  TColor PenColor() const override { return Pen_; }
  void SetPenColor(TColor c) override { Pen_ = c; }
  TSize TextExtent(std::u16string_view text) override;
  int RunWidth(std::u16string_view text, bool prefix) override;
  void DrawRun(std::u16string_view text, const TRect& box, bool prefix) override;
  void TextAt(int x, int y, std::u16string_view text) override;
  void FillRect(const TRect& rect) override;
  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void PushClip(const TRect& rect) override;
  void PopClip() override;
  TRect VisibleRect() const override;
  int PixelsPerInchX() const override { return PpiX_; }
  int PixelsPerInchY() const override { return PpiY_; }
  std::uint32_t ResolveColor(TColor color) const override;

  // The current font made real and selected, for callers drawing on the DC themselves.
  HFONT SelectFont();

 private:
  struct TCachedFont {
    TMarkupFont Key;  // colour ignored
    HFONT Handle;
    bool Linked;    // TrueType: the platform's font links supply what the face lacks
    UINT CodePage;  // of the face's character set
    bool Owned;
  };
  TCachedFont& Realize(const TMarkupFont& font);
  void Select(HFONT font);
  void SelectFontFor(std::u16string_view text);
  void PrepareText(std::u16string_view text);
  void SelectPen();

  HDC Dc_;
  TMarkupFont Font_;
  bool BrushSolid_ = false;
  bool TextOpaque_ = false;
  TColor Brush_ = 0xFFFFFF;
  TColor Pen_ = 0;
  int PpiX_ = 96, PpiY_ = 96;
  std::vector<TCachedFont> Fonts_;
  HGDIOBJ OriginalFont_ = nullptr;
  HGDIOBJ OriginalPen_ = nullptr;
  HPEN Pen__ = nullptr;
  TColor PenMade_ = 0;
  struct TSavedClip {
    HRGN Region;
    bool Had;
  };
  std::vector<TSavedClip> Clips_;
  int SavedDc_ = 0;
};

}  // namespace murmella::popup
