// The panel and the window-message timer.
#pragma once

#include "Controls.h"

namespace murmella::forms {

// A plain container in the parent's colour, usually docked (SetAlign).
class TPanel : public TWinControl {
 public:
  TPanel(TComponent* owner, TWinControl* parent, std::string name = {});
};

// A window-message timer on the thread that made it: OnTimer runs from that thread's message
// loop, never in between. Its messages go to a hidden window of its own.
class TTimer : public TComponent {
 public:
  // Enabled, 1000 ms, as the platform's defaults go.
  explicit TTimer(TComponent* owner, std::string name = {});
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  // Enabling an enabled timer changes nothing: the period running is not restarted.
  void SetEnabled(bool enabled);
  unsigned Interval() const { return interval_; }
  // A new period starts counting now; 0 stops the timer while it stays enabled.
  void SetInterval(unsigned milliseconds);

  TNotifyEvent OnTimer;
  // Assigns OnTimer and, while enabled, starts the period afresh.
  void SetOnTimer(TNotifyEvent handler);

 private:
  class TTimerWindow;
  void Update();
  void Fire();
  std::unique_ptr<TTimerWindow> window_;
  bool enabled_ = true;
  unsigned interval_ = 1000;
};

}  // namespace murmella::forms
