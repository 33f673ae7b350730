// The application object: the program's title, its main window, the message loop and the
// standard error box. The one piece of global state the console has.
//
// The taskbar entry: there is no separate application window. The main window is a top-level
// window without owner and with WS_EX_APPWINDOW, so it carries the program's taskbar button
// itself; hiding the main window removes the button and showing it brings the button back.
// Whoever hooks "the application window" (the tray icon) hooks the main window instead.
#pragma once

#include "Classes.h"
#include "ErrorText.h"

#include <windows.h>

#include <exception>
#include <string>

namespace murmella::forms {

class TForm;

class TApplication : public TComponent {
 public:
  // The newest application object is the one Application() answers; the previous one comes
  // back when it goes (tests make their own).
  TApplication();
  ~TApplication() override;

  // Caption of the application's message boxes; the program file's name while empty.
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);

  // The main window, set once its create notification has run; show and hide requests made
  // through it before then do nothing.
  TForm* MainForm() const { return mainForm_; }
  void SetMainForm(TForm* form) { mainForm_ = form; }
  // Whether Run shows the main window first (true unless told otherwise).
  bool ShowMainForm() const { return showMainForm_; }
  void SetShowMainForm(bool show) { showMainForm_ = show; }

  // Shows the main window, then runs the message loop until a quit request arrives. When the
  // quit was asked for earlier, the window shows and the loop ends at once.
  void Run();
  // Posts the quit request; the loop ends when it takes it.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles every message already waiting, then returns. A quit request met here is kept:
  // Terminated() turns true and the loop ends.
  void ProcessMessages();

  // The standard error box: error icon, OK, the title as caption, and a full stop appended
  // when the text ends in a character that sorts after the full stop.
  void ShowErrorBox(const std::string& text);
  // What escaped an event, a timer or a menu command: shown in the standard error box.
  // Never throws.
  void HandleException(const std::exception& e);
  void HandleUnknownException();
  // The box for an error that ends the program (the main window could not be built):
  // task-modal, error icon, "Erreur d'application". The caller then exits with code 1.
  void ShowFatalError(const std::exception& e);

 private:
  std::string CaptionText() const;
  std::string title_;
  TForm* mainForm_ = nullptr;
  bool showMainForm_ = true;
  bool terminated_ = false;
  TApplication* previous_;
};

// The application object: the newest one alive, or one made for the process on first use.
TApplication& Application();

// The calling thread's last platform error, raised as EOSError with the system's text.
[[noreturn]] void RaiseLastOSError();

// Runs `f`; what escapes it goes to the standard error box instead of further up. The edge
// where an event, a timer or a menu command is called from the platform. False after an error.
template <typename F>
bool CallGuarded(F&& f) noexcept {
  try {
    f();
    return true;
  } catch (const std::exception& e) {
    Application().HandleException(e);
  } catch (...) {
    Application().HandleUnknownException();
  }
  return false;
}

}  // namespace murmella::forms
