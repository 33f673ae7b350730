// The form: a top-level window with caption, bounds, font and colour, and the create, close
// and destroy notifications the console's components chain onto.
#pragma once

#include "Controls.h"

#include <functional>

namespace murmella::forms {

enum class TCloseAction { caNone, caHide, caFree };
enum class TPosition { poDesigned, poScreenCenter };

class TForm : public TWinControl {
 public:
  // Hidden until shown; a top-level window without owner, so it carries its own taskbar
  // button (see Application.h).
  explicit TForm(TComponent* owner, std::string name = {});
  ~TForm() override;

  std::string Caption() const { return Text(); }
  void SetCaption(const std::string& caption) { SetText(caption); }

  // poScreenCenter centres the window on the screen when it is first shown.
  TPosition Position() const { return position_; }
  void SetPosition(TPosition position) { position_ = position; }

  void SetClientSize(int width, int height);

  TNotifyEvent OnCreate, OnDestroy;
  std::function<void(TObject& Sender, bool& CanClose)> OnCloseQuery;
  std::function<void(TObject& Sender, TCloseAction& Action)> OnClose;

  // The create notification: runs OnCreate, once. The one who builds the form calls it when
  // the form's components have their settings and have run their after-load step. An error
  // escaping OnCreate is shown in the standard error box and construction goes on (what the
  // handler had still to do is skipped).
  void DoCreate();
  // The destroy notification: runs OnDestroy, once. ~TForm calls it if nobody has; a derived
  // form whose handlers use its own members calls it first thing in its destructor.
  void DoDestroy();

  // Whether `window` is a form's window.
  static bool IsForm(HWND window);

  // The close query: OnCloseQuery's answer (true when not assigned).
  bool CloseQuery();
  // As a user close (close button, system menu, Alt+F4): the close query, then OnClose with
  // caHide and what it leaves: caHide hides, caFree ends the program when this is the main
  // window and frees this form otherwise, caNone does nothing.
  void Close();
  // The session is ending (log-off, shut-down, or an uninstaller asking the way they do): for
  // the main window, OnClose with caFree whatever it answers, then the destroy notification at
  // once (the system may end the process as soon as WM_ENDSESSION returns), then the program
  // ends. No close query: the session's own query has been answered by then.
  void EndSession();

 protected:
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  TPosition position_ = TPosition::poDesigned;
  bool shown_ = false;
  bool created_ = false;
  bool destroyed_ = false;
};

}  // namespace murmella::forms
