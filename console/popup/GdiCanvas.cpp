#include "GdiCanvas.h"

#include "GraphicsWin.h"

#include <string>

namespace murmella::popup {

namespace {

// Markup can name many faces and sizes; a bounded cache keeps GDI objects in check.
constexpr std::size_t kMaxCachedFonts = 32;

// The face the platform gives its own dialogs (Tahoma on Windows and under Wine).
constexpr const char* kLinkedFace = "MS Shell Dlg 2";

bool SameFont(const TMarkupFont& a, const TMarkupFont& b) {
  return a.Name == b.Name && a.Size == b.Size && a.Height == b.Height && a.Charset == b.Charset &&
         a.Style == b.Style && a.Escapement == b.Escapement;
}

UINT RunFlags(bool prefix) {
  return DT_SINGLELINE | DT_BOTTOM | DT_EXPANDTABS | (prefix ? 0 : DT_NOPREFIX);
}

}  // namespace

TGdiCanvas::TGdiCanvas(HDC dc, const TMarkupFont& font) : Dc_(dc), Font_(font) {
  SavedDc_ = SaveDC(dc);
  PpiX_ = GetDeviceCaps(dc, LOGPIXELSX);
  PpiY_ = GetDeviceCaps(dc, LOGPIXELSY);
  if (PpiX_ <= 0) PpiX_ = 96;
  if (PpiY_ <= 0) PpiY_ = 96;
  SetBkMode(dc, TRANSPARENT);
}

TGdiCanvas::~TGdiCanvas() {
  while (!Clips_.empty()) PopClip();
  if (OriginalFont_) SelectObject(Dc_, OriginalFont_);
  if (OriginalPen_) SelectObject(Dc_, OriginalPen_);
  if (SavedDc_) RestoreDC(Dc_, SavedDc_);
  for (auto& f : Fonts_)
    if (f.Owned) DeleteObject(f.Handle);
  if (Pen__) DeleteObject(Pen__);
}

TGdiCanvas::TCachedFont& TGdiCanvas::Realize(const TMarkupFont& font) {
  for (auto& f : Fonts_)
    if (SameFont(f.Key, font)) return f;
  if (Fonts_.size() >= kMaxCachedFonts) {
    if (OriginalFont_) SelectObject(Dc_, OriginalFont_);
    for (auto& f : Fonts_)
      if (f.Owned) DeleteObject(f.Handle);
    Fonts_.clear();
  }
  const LOGFONTA lf = forms::MakeLogFont(font.Name, font.Height != 0 ? font.Height : -::MulDiv(font.Size, PpiY_, 72),
                                         font.Style, font.Charset, font.Escapement);
  HFONT h = CreateFontIndirectA(&lf);
  if (!h) h = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  Fonts_.push_back({font, h, true, CP_ACP, h != GetStockObject(DEFAULT_GUI_FONT)});
  TCachedFont& made = Fonts_.back();
  // What the platform made of the face: a TrueType face gets the platform's font links, any
  // other (a bitmap face such as "MS Sans Serif") only the characters of its code page.
  HGDIOBJ old = SelectObject(Dc_, h);
  if (!OriginalFont_) OriginalFont_ = old;
  TEXTMETRICW tm{};
  if (GetTextMetricsW(Dc_, &tm)) made.Linked = (tm.tmPitchAndFamily & TMPF_TRUETYPE) != 0;
  CHARSETINFO cs{};
  if (TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(GetTextCharset(Dc_))), &cs, TCI_SRCCHARSET))
    made.CodePage = cs.ciACP;
  return made;
}

// Selecting a font into a window's DC costs the platform far more than any text call (tens of
// microseconds under Wine), and a long text makes several calls a word: a font already in
// place is left there.
void TGdiCanvas::Select(HFONT font) {
  if (GetCurrentObject(Dc_, OBJ_FONT) == font) return;
  HGDIOBJ old = SelectObject(Dc_, font);
  if (!OriginalFont_) OriginalFont_ = old;
}

HFONT TGdiCanvas::SelectFont() {
  const HFONT h = Realize(Font_).Handle;
  Select(h);
  return h;
}

// Text with characters the current face cannot show is measured and drawn in the face the
// platform gives its own dialogs, at the same size and style: that face is TrueType and
// linked to fonts with the other scripts' glyphs, as the platform's controls get them.
void TGdiCanvas::SelectFontFor(std::u16string_view text) {
  const TCachedFont& f = Realize(Font_);
  const HFONT h = f.Handle;
  bool foreign = false;
  if (!f.Linked) {
    for (char16_t c : text)
      if (c >= 0x80) {
        foreign = true;
        break;
      }
  }
  if (foreign) {
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(f.CodePage, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(text.data()),
                        static_cast<int>(text.size()), nullptr, 0, nullptr, &usedDefault);
    foreign = usedDefault != FALSE;
  }
  if (!foreign) return Select(h);
  TMarkupFont linked = Font_;
  linked.Name = kLinkedFace;
  Select(Realize(linked).Handle);
}

void TGdiCanvas::PrepareText(std::u16string_view text) {
  SelectFontFor(text);
  SetTextColor(Dc_, ResolveColor(Font_.Color));
  if (BrushSolid_ && TextOpaque_) {
    SetBkMode(Dc_, OPAQUE);
    SetBkColor(Dc_, ResolveColor(Brush_));
  } else {
    SetBkMode(Dc_, TRANSPARENT);
  }
}

namespace {

// char16_t and the platform's wide characters are the same 16-bit units.
const wchar_t* Wide(std::u16string_view text) { return reinterpret_cast<const wchar_t*>(text.data()); }
int Length(std::u16string_view text) { return static_cast<int>(text.size()); }

}  // namespace

TSize TGdiCanvas::TextExtent(std::u16string_view text) {
  SelectFontFor(text);
  SIZE s{};
  GetTextExtentPoint32W(Dc_, Wide(text), Length(text), &s);
  return {static_cast<int>(s.cx), static_cast<int>(s.cy)};
}

// DrawTextExW takes a writable buffer, though without DT_MODIFYSTRING it writes nothing.
int TGdiCanvas::RunWidth(std::u16string_view text, bool prefix) {
  SelectFontFor(text);
  RECT rc{0, 0, 0, 0};
  DrawTextExW(Dc_, const_cast<wchar_t*>(Wide(text)), Length(text), &rc,
              RunFlags(prefix) | DT_CALCRECT | DT_EXTERNALLEADING, nullptr);
  return rc.right - rc.left;
}

void TGdiCanvas::DrawRun(std::u16string_view text, const TRect& box, bool prefix) {
  PrepareText(text);
  RECT rc{box.Left, box.Top, box.Right, box.Bottom};
  DrawTextExW(Dc_, const_cast<wchar_t*>(Wide(text)), Length(text), &rc, RunFlags(prefix), nullptr);
}

void TGdiCanvas::TextAt(int x, int y, std::u16string_view text) {
  PrepareText(text);
  ::TextOutW(Dc_, x, y, Wide(text), Length(text));
}

void TGdiCanvas::FillRect(const TRect& rect) {
  if (!BrushSolid_) return;
  HBRUSH b = CreateSolidBrush(ResolveColor(Brush_));
  if (!b) return;
  RECT rc{rect.Left, rect.Top, rect.Right, rect.Bottom};
  ::FillRect(Dc_, &rc, b);
  DeleteObject(b);
}

void TGdiCanvas::SelectPen() {
  if (!Pen__ || PenMade_ != Pen_) {
    HPEN p = CreatePen(PS_SOLID, 1, ResolveColor(Pen_));
    if (!p) return;
    HGDIOBJ old = SelectObject(Dc_, p);
    if (!OriginalPen_) OriginalPen_ = old;
    if (Pen__) DeleteObject(Pen__);
    Pen__ = p;
    PenMade_ = Pen_;
  }
}

void TGdiCanvas::MoveTo(int x, int y) { MoveToEx(Dc_, x, y, nullptr); }

void TGdiCanvas::LineTo(int x, int y) {
  SelectPen();
  ::LineTo(Dc_, x, y);
}

void TGdiCanvas::PushClip(const TRect& rect) {
  HRGN saved = CreateRectRgn(0, 0, 0, 0);
  const bool had = saved && GetClipRgn(Dc_, saved) == 1;
  Clips_.push_back({saved, had});
  HRGN r = CreateRectRgn(rect.Left, rect.Top, rect.Right, rect.Bottom);
  if (!r) return;
  if (had) CombineRgn(r, r, saved, RGN_AND);
  SelectClipRgn(Dc_, r);
  DeleteObject(r);
}

void TGdiCanvas::PopClip() {
  if (Clips_.empty()) return;
  TSavedClip c = Clips_.back();
  Clips_.pop_back();
  SelectClipRgn(Dc_, c.Had ? c.Region : nullptr);
  if (c.Region) DeleteObject(c.Region);
}

TRect TGdiCanvas::VisibleRect() const {
  RECT rc{};
  if (GetClipBox(Dc_, &rc) == ERROR) return TMarkupCanvas::VisibleRect();
  return {rc.left, rc.top, rc.right, rc.bottom};
}

std::uint32_t TGdiCanvas::ResolveColor(TColor c) const {
  if (IsSystemColor(c)) {
    const int index = static_cast<int>(c & 0xFF);
    return (c & 0x00FFFF00u) == 0 ? GetSysColor(index) : 0;
  }
  return c & 0xFFFFFF;
}

}  // namespace murmella::popup
