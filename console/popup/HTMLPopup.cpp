// The component: preparing the window from the settings, showing, hiding and sliding.
#include "HTMLPopup.h"

#include "Application.h"

namespace murmella::popup {

namespace {

RECT WorkArea() {
  RECT r{};
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0))
    r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return r;
}

}  // namespace

THTMLPopup::THTMLPopup(forms::TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {
  text_.OnChange = [this] {
    if (window_) window_->SetTextFitted(text_.Joined());
  };
}

THTMLPopup::~THTMLPopup() {
  // The timer's handler and the window's events call into this object.
  DestroyComponents();
  if (window_) {
    window_->OnAnchorClick = nullptr;
    window_->OnClick = nullptr;
  }
}

void THTMLPopup::SetImages(forms::TImageList* images) { forms::SetReference(*this, images_, images); }

void THTMLPopup::SetPictureContainer(TPictureContainer* container) {
  forms::SetReference(*this, container_, container);
}

void THTMLPopup::Notification(forms::TComponent& freed) {
  if (&freed == images_) images_ = nullptr;
  if (&freed == container_) container_ = nullptr;
  if (&freed == window_) window_ = nullptr;
}

void THTMLPopup::PrepareWindow() {
  if (!window_) {
    // The window belongs to the owner (the main window) and goes with it; without an owner,
    // to this component.
    window_ = new THTMLPopupWindow(Owner() ? Owner() : this);
    FreeNotification(*window_);
  }
  THTMLPopupWindow& w = *window_;
  w.HideNoActivate();
  w.SetText(text_.Joined());
  w.SetAlwaysOnTop(alwaysOnTop_);
  SetWindowPos(w.Handle(), nullptr, popupLeft_, popupTop_, popupWidth_, popupHeight_,
               SWP_NOZORDER | SWP_NOACTIVATE);
  w.SetPictureContainer(container_);
  w.SetHover(hover_);
  w.SetImages(images_);
  w.MarginX = marginX_;
  w.MarginY = marginY_;
  w.SetFont(font_);
  w.AutoHide = autoHide_;
  w.HideType = hideType_;
  w.Look = look_;  // the shade settings, BorderSize and Color
  w.OnAnchorClick = [this](forms::TObject&, const std::string& anchor) {
    if (OnAnchorClick) OnAnchorClick(*this, anchor);
  };
  w.OnClick = [this](forms::TObject&) {
    if (OnClick) OnClick(*this);
  };
  w.AutoSizeType = autoSizeType_;
  w.SetAutoSize(autoSize_);
}

void THTMLPopup::ShowInPlace() {
  PrepareWindow();
  window_->ShowNoActivate();
  if (autoHide_ && hideType_ == THideType::htTimeOut) {
    if (!timer_) timer_ = new forms::TTimer(this);
    timer_->SetInterval(static_cast<unsigned>(timeOut_ < 0 ? 0 : timeOut_));
    timer_->SetOnTimer([this](forms::TObject&) {
      HideInPlace();
      timer_->SetEnabled(false);
    });
    timer_->SetEnabled(true);
  }
}

void THTMLPopup::HideInPlace() {
  if (window_) window_->HideNoActivate();
}

void THTMLPopup::Pause() {
  const DWORD start = GetTickCount();
  for (;;) {
    forms::Application().ProcessMessages();
    if (forms::Application().Terminated()) return;
    const DWORD now = GetTickCount();
    if (PauseOver(start, now, kSlidePauseMs)) return;
    // Sleep until a message arrives or the pause is over, rather than spin.
    MsgWaitForMultipleObjectsEx(0, nullptr, kSlidePauseMs - (now - start), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

namespace {

// One slide on the stack: counted, so that a call arriving in its pauses knows of it, and
// numbered, so that it knows when a later slide has taken the window over.
struct TSlide {
  int& Running;
  const unsigned Number;
  TSlide(int& running, unsigned& started) : Running(running), Number(++started) { ++Running; }
  ~TSlide() { --Running; }
};

}  // namespace

// Each step starts from where the window is now, and the slide ends once a step leaves it
// where it was (a window that cannot move, or one moved back by another hand).
bool THTMLPopup::SlideStep(int next) {
  if (!window_ || forms::Application().Terminated()) return false;
  const int before = window_->Top();
  window_->MoveTop(next);
  return window_ && window_->Top() != before;
}

void THTMLPopup::SlideIn() {
  if (slidesRunning_ > 0) return;
  const TSlide slide(slidesRunning_, slidesStarted_);
  const RECT area = WorkArea();
  popupTop_ = area.bottom;
  PrepareWindow();
  popupLeft_ = area.right - window_->Width() - 20;
  ShowInPlace();
  // The text may change during the pauses, and the height with it.
  auto finalTop = [&] { return area.bottom - window_->Height() - rollUpSpace_; };
  while (window_ && SlideInGoesOn(window_->Top(), window_->Height(), area.bottom, finalTop())) {
    Pause();
    if (!window_ || slidesStarted_ != slide.Number) return;
    if (!SlideStep(SlideInNext(window_->Top(), finalTop()))) break;
  }
  if (window_ && slidesStarted_ == slide.Number && !forms::Application().Terminated()) window_->MoveTop(finalTop());
}

void THTMLPopup::SlideOut() {
  if (!window_) return;
  const TSlide slide(slidesRunning_, slidesStarted_);
  const RECT area = WorkArea();
  while (window_ && SlideOutGoesOn(window_->Top(), area.bottom)) {
    Pause();
    if (!window_ || slidesStarted_ != slide.Number) return;
    if (!SlideStep(SlideOutNext(window_->Top()))) break;
  }
  HideInPlace();
}

void ApplyNoticeSettings(THTMLPopup& pop2, forms::TImageList* imageList1) {
  pop2.SetAlwaysOnTop(true);
  pop2.SetAutoHide(true);
  pop2.SetAutoSize(true);
  pop2.SetAutoSizeType(TAutoSizeType::asdHeight);
  pop2.SetBorderSize(5);
  pop2.SetColor(clBlack);
  forms::TFontData font;
  font.Name = "MS Sans Serif";
  font.Height = -11;
  font.Color = clWindowText;
  font.Charset = kDefaultCharset;
  font.Style = 0;
  pop2.SetFont(font);
  pop2.SetHover(true);
  pop2.SetHideType(THideType::htMouseLeave);
  pop2.SetImages(imageList1);
  pop2.SetMarginX(4);
  pop2.SetMarginY(4);
  pop2.SetRollUpSpace(0);
  pop2.SetShadeEnable(true);
  pop2.SetShadeStartColor(clWhite);
  pop2.SetShadeEndColor(clYellow);
  pop2.SetShadeSteps(40);
  pop2.SetShadeDirection(TShadeDirection::sdHorizontal);
  pop2.SetTimeOut(2000);
  pop2.SetPictureContainer(nullptr);
  pop2.SetPopupWidth(150);
  pop2.SetPopupHeight(150);
  pop2.SetVersion("1.3.0.0");
}

}  // namespace murmella::popup
