#include "GraphicsWin.h"

#include <string>

namespace murmella::forms {

COLORREF ColorToRGB(TColor color) {
  if (IsSystemColor(color)) return (color & 0x00FFFF00u) == 0 ? GetSysColor(static_cast<int>(color & 0xFF)) : 0;
  if (color == clNone) return 0;
  return color & 0xFFFFFF;
}

namespace {

int ScreenPixelsPerInch() {
  unique_window_dc dc(nullptr);
  const int ppi = dc ? GetDeviceCaps(dc.get(), LOGPIXELSY) : 0;
  return ppi > 0 ? ppi : 96;
}

}  // namespace

void TFont::Assign(const TFontData& data) {
  if (data == data_) return;
  // Colour is drawn, not part of the GDI font: only a change of the rest remakes it.
  TFontData old = std::exchange(data_, data);
  old.Color = data.Color;
  if (!(old == data)) handle_.reset();
}

int TFont::Size() const { return FontPointsForHeight(data_.Height, ScreenPixelsPerInch()); }

void TFont::SetSize(int points) {
  TFontData d = data_;
  d.Height = FontHeightForPoints(points, ScreenPixelsPerInch());
  Assign(d);
}

LOGFONTA MakeLogFont(const std::string& name, int height, unsigned style, unsigned char charset, int escapement) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfEscapement = lf.lfOrientation = escapement;
  lf.lfWeight = (style & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (style & fsItalic) ? TRUE : FALSE;
  lf.lfUnderline = (style & fsUnderline) ? TRUE : FALSE;
  lf.lfStrikeOut = (style & fsStrikeOut) ? TRUE : FALSE;
  lf.lfCharSet = charset;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  lstrcpynA(lf.lfFaceName, name.c_str(), LF_FACESIZE);
  return lf;
}

HFONT TFont::Handle() const {
  if (!handle_) {
    const LOGFONTA lf = MakeLogFont(data_.Name, data_.Height, data_.Style, data_.Charset);
    handle_.reset(CreateFontIndirectA(&lf));
  }
  return handle_ ? handle_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void TCanvas::SetFont(const TFont& font) {
  font_.reset();
  font_.emplace(dc_, font.Handle());
}

SIZE TCanvas::TextExtent(std::string_view text, bool prefix) {
  std::string s(text);
  RECT rc{0, 0, 0, 0};
  DrawTextA(dc_, s.c_str(), static_cast<int>(s.size()), &rc,
            DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS | (prefix ? 0 : DT_NOPREFIX));
  return {rc.right - rc.left, rc.bottom - rc.top};
}

void TCanvas::FillRect(const RECT& rect, TColor color) {
  unique_hbrush brush(CreateSolidBrush(ColorToRGB(color)));
  if (brush) ::FillRect(dc_, &rect, brush.get());
}

}  // namespace murmella::forms
