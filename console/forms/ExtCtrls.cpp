#include "ExtCtrls.h"

namespace murmella::forms {

namespace {

TWindowParams PanelParams() {
  TWindowParams p;
  p.ClassName = "MurmellaPanel";
  p.Style = WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  p.ExStyle = WS_EX_CONTROLPARENT;
  return p;
}

constexpr UINT_PTR kTimerId = 1;

}  // namespace

TPanel::TPanel(TComponent* owner, TWinControl* parent, std::string name)
    : TWinControl(owner, parent, PanelParams(), std::move(name)) {}

class TTimer::TTimerWindow final : public TWindow {
 public:
  explicit TTimerWindow(TTimer& timer) : timer_(timer) {
    TWindowParams p;
    p.ClassName = "MurmellaTimer";
    p.Parent = HWND_MESSAGE;
    CreateHandle(p);
  }

 protected:
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER && wParam == kTimerId) {
      timer_.Fire();
      return 0;
    }
    return TWindow::WndProc(message, wParam, lParam);
  }

 private:
  TTimer& timer_;
};

TTimer::TTimer(TComponent* owner, std::string name)
    : TComponent(owner, std::move(name)), window_(std::make_unique<TTimerWindow>(*this)) {
  Update();
}

TTimer::~TTimer() {
  KillTimer(window_->Handle(), kTimerId);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Update();
}

void TTimer::SetInterval(unsigned milliseconds) {
  interval_ = milliseconds;
  Update();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
  OnTimer = std::move(handler);
  Update();
}

void TTimer::Update() {
  HWND h = window_->Handle();
  KillTimer(h, kTimerId);
  if (enabled_ && interval_ > 0) SetTimer(h, kTimerId, interval_, nullptr);
}

void TTimer::Fire() {
  // The handler may disable or free other things; it runs with the timer as sender.
  if (enabled_ && OnTimer) OnTimer(*this);
}

}  // namespace murmella::forms
