// The notice window: painting, auto-size, hover, clicks and mouse-leave.
#include "GdiCanvas.h"
#include "HTMLPopup.h"
#include "ImageListWin.h"
#include "Utf8Text.h"

#include <optional>

namespace murmella::popup {

namespace {

constexpr const char* kClassName = "MurmellaHTMLPopup";

HWND OwnerWindow(forms::TComponent* owner) {
  auto* w = dynamic_cast<forms::TWinControl*>(owner);
  return w ? w->Handle() : nullptr;
}

forms::TWindowParams PopupParams(forms::TComponent* owner, bool topmost) {
  forms::TWindowParams p;
  p.ClassName = kClassName;
  p.ClassStyle = CS_SAVEBITS;
  p.Style = WS_POPUP;
  p.ExStyle = WS_EX_TOOLWINDOW | (topmost ? WS_EX_TOPMOST : 0);
  p.Parent = OwnerWindow(owner);
  return p;
}

// The window's own text, for whoever reads it (accessibility tools): the markup as UTF-16.
void ShowAsWindowText(HWND window, const std::string& markup) {
  const std::u16string wide = text::Utf8ToUtf16(markup);
  SetWindowTextW(window, reinterpret_cast<const wchar_t*>(wide.c_str()));
}

}  // namespace

forms::TWindowParams THTMLPopupWindow::Params() const { return PopupParams(Owner(), alwaysOnTop_); }

THTMLPopupWindow::THTMLPopupWindow(forms::TComponent* owner)
    : TWinControl(owner, nullptr, PopupParams(owner, false), "") {}

THTMLPopupWindow::~THTMLPopupWindow() = default;

void THTMLPopupWindow::RecreateHandle() {
  RECT r{};
  GetWindowRect(Handle(), &r);
  forms::TWindowParams p = Params();
  p.Left = r.left;
  p.Top = r.top;
  p.Width = r.right - r.left;
  p.Height = r.bottom - r.top;
  DestroyHandle();
  trackingLeave_ = false;
  CreateHandle(p);
  ShowAsWindowText(Handle(), markup_);
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), FALSE);
}

void THTMLPopupWindow::SetAlwaysOnTop(bool value) {
  alwaysOnTop_ = value;
  RecreateHandle();
}

void THTMLPopupWindow::SetHover(bool value) {
  hover_ = value;
  hoverState_ = THoverState{};
}

void THTMLPopupWindow::SetImages(forms::TImageList* images) { forms::SetReference(*this, images_, images); }

void THTMLPopupWindow::SetPictureContainer(TPictureContainer* container) {
  forms::SetReference(*this, container_, container);
}

void THTMLPopupWindow::Notification(forms::TComponent& freed) {
  // Images from a list or container that is gone are no longer drawn.
  bool changed = false;
  if (&freed == images_) images_ = nullptr, changed = true;
  if (&freed == container_) container_ = nullptr, changed = true;
  if (changed) hitMapKey_.reset();
  if (changed && Handle()) Invalidate();
}

void THTMLPopupWindow::SetText(const std::string& text) {
  markup_ = text;
  ++markupVersion_;
  hitMapKey_.reset();
  ShowAsWindowText(Handle(), markup_);
}

THTMLPopupWindow::TLayoutKey THTMLPopupWindow::LayoutKey(const TRect& bounds) const {
  return {markupVersion_, bounds, MarkupFontOf(Font().Data()), hover_, hoverState_.Number, images_, container_};
}

TRect THTMLPopupWindow::TextRect() const {
  const RECT client = ClientRect();
  return PopupTextRect(client.right, client.bottom, Look.BorderSize, MarginX, MarginY);
}

// With record, the layout is kept for hit tests of the same key; a layout cut short by a
// picture error is not kept.
TMarkupRenderResult THTMLPopupWindow::Render(HDC dc, const TRect& bounds, bool hit, TPoint point, bool record) {
  TGdiCanvas canvas(dc, MarkupFontOf(Font().Data()));
  std::optional<TListImages> images;
  if (images_) images.emplace(*images_);
  TMarkupRenderInput in;
  in.Markup = markup_;
  in.Bounds = bounds;
  in.Images = images ? &*images : nullptr;
  in.PictureContainer = container_;
  in.PictureCache = &cache_;
  in.ShellIcons = &shell_;
  in.HoverStyle = hover_;
  in.HoverNumber = hoverState_.Number;
  in.HitMode = hit;
  in.Point = point;
  if (record) {
    hitMapKey_.reset();
    in.Record = &hitMap_;
  }
  TMarkupRenderResult out;
  RenderMarkup(canvas, in, out);
  if (record && hitMap_.Complete()) hitMapKey_ = LayoutKey(bounds);
  return out;
}

void THTMLPopupWindow::SetAutoSize(bool value) {
  autoSize_ = value;
  if (!value) return;
  forms::unique_window_dc dc(Handle());
  const TRect measure = AutoSizeMeasuringRect(Look.BorderSize, AutoSizeType);
  const TMarkupRenderResult out = Render(dc.get(), measure, false, {});
  Resize(AutoSizeWindowSize(out.ContentWidth, out.ContentHeight, Look.BorderSize));
}

void THTMLPopupWindow::Resize(TSize size) {
  RECT area{};
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0))
    area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  size = FitToWorkArea(size, area.right - area.left, area.bottom - area.top);
  SetWindowPos(Handle(), nullptr, 0, 0, size.Width, size.Height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void THTMLPopupWindow::SetTextFitted(const std::string& text) {
  SetText(text);
  forms::unique_window_dc dc(Handle());
  forms::TCanvas canvas(dc.get());
  canvas.SetFont(Font());
  RECT r{0, 0, 0, 0};
  const std::u16string wide = text::Utf8ToUtf16(text);
  DrawTextW(dc.get(), reinterpret_cast<const wchar_t*>(wide.c_str()), static_cast<int>(wide.size()), &r,
            DT_CALCRECT | DT_NOPREFIX);
  Resize({r.right - r.left + 6, r.bottom - r.top + 4});
}

void THTMLPopupWindow::ShowNoActivate() {
  SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
               SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
}

void THTMLPopupWindow::HideNoActivate() {
  SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
               SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
}

void THTMLPopupWindow::MoveTop(int top) {
  SetWindowPos(Handle(), nullptr, Left(), top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void THTMLPopupWindow::Paint() {
  forms::unique_paint_dc dc(Handle());
  const RECT client = ClientRect();
  const int w = client.right, h = client.bottom;
  {
    TGdiCanvas canvas(dc.get());
    PaintPopupFrame(canvas, Look, w, h);
  }
  // A picture error thrown from here leaves the paint unfinished; the framework's window
  // procedure reports it, and the picture stays cached empty, so the next paint completes.
  Render(dc.get(), PopupTextRect(w, h, Look.BorderSize, MarginX, MarginY), false, {}, true);
}

// A pointer move over the text last laid out is answered from that layout.
TMarkupRenderResult THTMLPopupWindow::HitAtCursor() {
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(Handle(), &p);
  const TRect bounds = TextRect();
  if (hitMapKey_ && *hitMapKey_ == LayoutKey(bounds)) return hitMap_.Hit({p.x, p.y});
  forms::unique_window_dc dc(Handle());
  return Render(dc.get(), bounds, true, {p.x, p.y}, true);
}

void THTMLPopupWindow::RepaintRect(const TRect& r) {
  RECT rc{r.Left, r.Top, r.Right, r.Bottom};
  InvalidateRect(Handle(), &rc, TRUE);
}

void THTMLPopupWindow::PointerMoved() {
  const TMarkupRenderResult hit = HitAtCursor();
  const THoverChange c = UpdateHover(hoverState_, hit.HitLink, hit.HitTarget, hit.HitNumber, hit.HitRect, hover_);
  handCursor_ = c.HandCursor;
  for (int i = 0; i < c.RepaintCount; ++i) RepaintRect(c.Repaint[i]);
}

void THTMLPopupWindow::FocusReceived() {
  const TMarkupRenderResult hit = HitAtCursor();
  if (hit.HitLink && OnAnchorClick) OnAnchorClick(*this, hit.HitTarget);
  if (!Handle()) return;  // a handler may have prepared the window again
  SetFocus(GetWindow(Handle(), GW_OWNER));
  if (hoverState_.Number != -1 && hover_) RepaintRect(hoverState_.Rect);
}

LRESULT THTMLPopupWindow::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCHITTEST:
      PointerMoved();
      return HTCLIENT;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursor(nullptr, handCursor_ ? IDC_HAND : IDC_ARROW));
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      if (!trackingLeave_) {
        TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, Handle(), 0};
        trackingLeave_ = TrackMouseEvent(&t) != FALSE;
      }
      break;
    case WM_MOUSELEAVE:
      trackingLeave_ = false;
      if (AutoHide && HideType == THideType::htMouseLeave) HideNoActivate();
      return 0;
    case WM_SETFOCUS:
      FocusReceived();
      return 0;
    case WM_LBUTTONUP: {
      const LRESULT r = DefaultHandler(message, wParam, lParam);
      if (OnClick) OnClick(*this);
      return r;
    }
    case WM_ERASEBKGND:
      return 1;  // the paint covers the whole client area
    case WM_PAINT:
      Paint();
      return 0;
  }
  return TWinControl::WndProc(message, wParam, lParam);
}

}  // namespace murmella::popup
