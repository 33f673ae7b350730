// The presence popup: THTMLPopup, the component the main window owns (pop2), and
// THTMLPopupWindow, the borderless notice window it prepares, slides in and out and hides.
// Everything runs on the user-interface thread; the slides pause in 50 ms steps that process
// pending messages, so handlers (a second SlideIn, a SlideOut, timers) can run inside them.
#pragma once

#include "Controls.h"
#include "ExtCtrls.h"
#include "ImgList.h"
#include "MarkupRenderer.h"
#include "PictureContainer.h"
#include "PopupGeometry.h"
#include "ShellIconsWin.h"
#include "TextLines.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace murmella::popup {

using TAnchorClickEvent = std::function<void(forms::TObject& Sender, const std::string& Anchor)>;

// A top-level popup of the hint-window kind: WS_POPUP without border or caption, class style
// CS_SAVEBITS, WS_EX_TOOLWINDOW (and WS_EX_TOPMOST while AlwaysOnTop), owned by the owner's
// window. It is shown and hidden without activation. A click still activates it for a
// moment, as a click does on any window: that is what brings WM_SETFOCUS, whose handler
// reports the link and hands the focus straight back to the owner's window.
class THTMLPopupWindow : public forms::TWinControl {
 public:
  // `owner` frees the window; its window, when it has one, owns the popup's.
  explicit THTMLPopupWindow(forms::TComponent* owner);
  ~THTMLPopupWindow() override;

  bool AlwaysOnTop() const { return alwaysOnTop_; }
  // Always recreates the window handle (hidden, bounds and text kept), so the style follows.
  void SetAlwaysOnTop(bool value);
  // Destroys the handle and makes it again with the current settings.
  void RecreateHandle();

  bool AutoHide = false;
  THideType HideType = THideType::htMouseLeave;
  TAutoSizeType AutoSizeType = TAutoSizeType::asdBoth;
  bool AutoSize() const { return autoSize_; }
  // Setting true measures the text and resizes the window (see AutoSizeMeasuringRect).
  void SetAutoSize(bool value);

  // Background and border; BorderSize and Color are part of it.
  TPopupLook Look;
  int MarginX = 4, MarginY = 4;

  bool Hover() const { return hover_; }
  void SetHover(bool value);  // forgets the hovered link
  int HoverNumber() const { return hoverState_.Number; }
  const TRect& HoverRect() const { return hoverState_.Rect; }

  forms::TImageList* Images() const { return images_; }
  void SetImages(forms::TImageList* images);
  TPictureContainer* PictureContainer() const { return container_; }
  void SetPictureContainer(TPictureContainer* container);
  THTMLPictureCache& PictureCache() { return cache_; }

  TAnchorClickEvent OnAnchorClick;  // Sender: this window
  forms::TNotifyEvent OnClick;

  // The markup shown, in UTF-8. The window keeps it itself: the platform's window text of this
  // 8-bit window would lose what the code page cannot hold, and reading it back on every paint
  // and pointer move would copy the whole text each time.
  const std::string& Text() const { return markup_; }
  void SetText(const std::string& text);
  // Sets the window text and, as a hint window does, sizes the window to the plain text
  // (width + 6, height + 4, markup not interpreted, measured as UTF-16).
  void SetTextFitted(const std::string& text);
  // Without activation, keeping position, size and z-order.
  void ShowNoActivate();
  void HideNoActivate();
  void MoveTop(int top);
  // Whether the pointer shows the hand (over a link with a target) or the arrow.
  bool HandCursor() const { return handCursor_; }

 protected:
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Notification(forms::TComponent& freed) override;

 private:
  forms::TWindowParams Params() const;
  // What a layout depends on besides the drawing surface's fonts; a hit test reuses the last
  // layout while this stays the same.
  struct TLayoutKey {
    unsigned MarkupVersion = 0;
    TRect Bounds;
    TMarkupFont Font;
    bool Hover = false;
    int HoverNumber = -1;
    const void* Images = nullptr;
    const void* Container = nullptr;
    friend bool operator==(const TLayoutKey&, const TLayoutKey&) = default;
  };
  TLayoutKey LayoutKey(const TRect& bounds) const;
  TRect TextRect() const;
  TMarkupRenderResult Render(HDC dc, const TRect& bounds, bool hit, TPoint point, bool record = false);
  TMarkupRenderResult HitAtCursor();
  void Paint();
  void PointerMoved();
  void FocusReceived();
  void RepaintRect(const TRect& r);
  // Sizes the window, never past the work area less its margin.
  void Resize(TSize size);

  bool alwaysOnTop_ = false;
  bool autoSize_ = false;
  bool hover_ = true;
  bool handCursor_ = false;
  bool trackingLeave_ = false;
  THoverState hoverState_;
  std::string markup_;
  unsigned markupVersion_ = 0;
  TMarkupHitMap hitMap_;                 // of the last layout drawn or hit-tested
  std::optional<TLayoutKey> hitMapKey_;  // none while hitMap_ is not a complete layout
  forms::TImageList* images_ = nullptr;
  TPictureContainer* container_ = nullptr;
  THTMLPictureCache cache_;
  TSystemShellIcons shell_;
};

// The component. Its properties, in declaration order, with their values after construction:
// AlwaysOnTop false, AutoHide false, AutoSize false, AutoSizeType asdHeight, BorderSize 0,
// Color clInfoBk, Font the framework's default, Hover false, HideType htMouseLeave, Images
// none, MarginX 4, MarginY 4, PopupLeft 0, PopupTop 0, RollUpSpace 0, ShadeEnable false,
// ShadeStartColor clSilver, ShadeEndColor clGray, ShadeSteps 40, ShadeDirection sdHorizontal,
// Text empty, TimeOut 2000, PictureContainer none, PopupWidth 200, PopupHeight 200, Version
// "1.3.0.0". Setters only store: the window takes the settings at the next PrepareWindow.
class THTMLPopup : public forms::TComponent {
 public:
  explicit THTMLPopup(forms::TComponent* owner, std::string name = {});
  ~THTMLPopup() override;

  bool AlwaysOnTop() const { return alwaysOnTop_; }
  void SetAlwaysOnTop(bool v) { alwaysOnTop_ = v; }
  bool AutoHide() const { return autoHide_; }
  void SetAutoHide(bool v) { autoHide_ = v; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v) { autoSize_ = v; }
  TAutoSizeType AutoSizeType() const { return autoSizeType_; }
  void SetAutoSizeType(TAutoSizeType v) { autoSizeType_ = v; }
  int BorderSize() const { return look_.BorderSize; }
  void SetBorderSize(int v) { look_.BorderSize = v; }
  TColor Color() const { return look_.Color; }
  void SetColor(TColor v) { look_.Color = v; }
  const forms::TFontData& Font() const { return font_; }
  void SetFont(const forms::TFontData& f) { font_ = f; }
  bool Hover() const { return hover_; }
  void SetHover(bool v) { hover_ = v; }
  THideType HideType() const { return hideType_; }
  void SetHideType(THideType v) { hideType_ = v; }
  forms::TImageList* Images() const { return images_; }
  void SetImages(forms::TImageList* images);  // cleared when the list is freed
  int MarginX() const { return marginX_; }
  void SetMarginX(int v) { marginX_ = v; }
  int MarginY() const { return marginY_; }
  void SetMarginY(int v) { marginY_ = v; }
  int PopupLeft() const { return popupLeft_; }
  void SetPopupLeft(int v) { popupLeft_ = v; }
  int PopupTop() const { return popupTop_; }
  void SetPopupTop(int v) { popupTop_ = v; }
  int RollUpSpace() const { return rollUpSpace_; }
  void SetRollUpSpace(int v) { rollUpSpace_ = v; }
  bool ShadeEnable() const { return look_.ShadeEnable; }
  void SetShadeEnable(bool v) { look_.ShadeEnable = v; }
  TColor ShadeStartColor() const { return look_.ShadeStartColor; }
  void SetShadeStartColor(TColor v) { look_.ShadeStartColor = v; }
  TColor ShadeEndColor() const { return look_.ShadeEndColor; }
  void SetShadeEndColor(TColor v) { look_.ShadeEndColor = v; }
  int ShadeSteps() const { return look_.ShadeSteps; }
  void SetShadeSteps(int v) { look_.ShadeSteps = v; }
  TShadeDirection ShadeDirection() const { return look_.ShadeDirection; }
  void SetShadeDirection(TShadeDirection v) { look_.ShadeDirection = v; }
  // The lines; every change reaches the window's text at once when the window exists.
  TTextLines& Text() { return text_; }
  const TTextLines& Text() const { return text_; }
  void SetText(std::vector<std::string> lines) { text_.Assign(std::move(lines)); }
  int TimeOut() const { return timeOut_; }
  void SetTimeOut(int ms) { timeOut_ = ms; }
  TPictureContainer* PictureContainer() const { return container_; }
  void SetPictureContainer(TPictureContainer* container);  // cleared when it is freed
  int PopupWidth() const { return popupWidth_; }
  void SetPopupWidth(int v) { popupWidth_ = v; }
  int PopupHeight() const { return popupHeight_; }
  void SetPopupHeight(int v) { popupHeight_ = v; }
  TAnchorClickEvent OnAnchorClick;  // Sender: this component
  forms::TNotifyEvent OnClick;
  std::string Version() const { return "1.3.0.0"; }
  void SetVersion(const std::string&) {}

  // Shows the text at the bottom right of the work area, climbing 20 pixels per 50 ms pause;
  // returns when it has arrived. Called while a slide is under way (from a handler run in its
  // pauses), it returns at once: the running slide shows the text as it is by then.
  void SlideIn();
  // Sinks 20 pixels per pause until the top reaches the work area's bottom, then hides.
  // Nothing without a window. A SlideIn under way when it starts stops climbing.
  // Either slide also stops when the window is gone, no longer moves, or the program ends.
  void SlideOut();
  // Prepares and shows at (PopupLeft, PopupTop) at once; starts the time-out when AutoHide
  // and HideType htTimeOut.
  void ShowInPlace();
  void HideInPlace();
  // Makes the window on first use and copies text and settings into it (the handle is made
  // again each time).
  void PrepareWindow();

  // None until the first PrepareWindow; also none once its owner has freed it.
  THTMLPopupWindow* Window() const { return window_; }

 protected:
  void Notification(forms::TComponent& freed) override;

 private:
  void Pause();
  bool SlideStep(int next);

  bool alwaysOnTop_ = false, autoHide_ = false, autoSize_ = false, hover_ = false;
  TAutoSizeType autoSizeType_ = TAutoSizeType::asdHeight;
  TPopupLook look_;
  forms::TFontData font_;
  THideType hideType_ = THideType::htMouseLeave;
  forms::TImageList* images_ = nullptr;
  int marginX_ = 4, marginY_ = 4;
  int popupLeft_ = 0, popupTop_ = 0, rollUpSpace_ = 0;
  TTextLines text_;
  int timeOut_ = 2000;
  TPictureContainer* container_ = nullptr;
  int popupWidth_ = 200, popupHeight_ = 200;
  THTMLPopupWindow* window_ = nullptr;
  forms::TTimer* timer_ = nullptr;
  int slidesRunning_ = 0;   // slides on the stack (one inside another's pause)
  unsigned slidesStarted_ = 0;
};

// The presence notice's settings (the main window's pop2), applied in declaration order:
// AlwaysOnTop, AutoHide, AutoSize true; asdHeight; BorderSize 5; Color clBlack; Font "MS Sans
// Serif" at height -11 in clWindowText; Hover true; htMouseLeave; Images = imageList1;
// margins 4; RollUpSpace 0; the shade on, clWhite to clYellow in 40 horizontal steps;
// TimeOut 2000; no picture container; 150 x 150.
void ApplyNoticeSettings(THTMLPopup& pop2, forms::TImageList* imageList1);

}  // namespace murmella::popup
