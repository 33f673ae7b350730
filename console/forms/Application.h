// The application object: the program's title, its main window, the message loop and the
// standard error box. The one piece of global state the console has.
#pragma once

#include "Classes.h"

#include <windows.h>

#include <exception>
#include <string>

namespace murmella::forms {

class TForm;

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // Caption of the application's message boxes and of its taskbar entry.
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);

  // The main window, set once its create notification has run; show and hide requests made
  // through it before then do nothing.
  TForm* MainForm() const { return mainForm_; }
  void SetMainForm(TForm* form) { mainForm_ = form; }

  // Shows the main window, then runs the message loop until a quit request arrives.
  void Run();
  // Posts the quit request; the loop ends when it takes it.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles every message already waiting, then returns.
  void ProcessMessages();

  // The standard error box: error icon, OK, the title as caption, and a full stop appended
  // when the text ends in a character that sorts after the full stop.
  void ShowErrorBox(const std::string& text);
  // What escaped an event, a timer or a menu command: shown in the standard error box.
  void HandleException(const std::exception& e);
  void HandleUnknownException();

 private:
  std::string title_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
};

// The application object, created by the program entry before anything else.
TApplication& Application();

// The text the standard error box shows for `text` (the full-stop rule).
std::string ErrorBoxText(const std::string& text);

}  // namespace murmella::forms
