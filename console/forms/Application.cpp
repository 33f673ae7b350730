#include "Application.h"

#include "Forms.h"


namespace murmella::forms {

namespace {

TApplication* current = nullptr;

std::string ModuleFileName(bool withExtension) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path);
  if (auto slash = name.find_last_of("\\/"); slash != std::string::npos) name.erase(0, slash + 1);
  if (!withExtension)
    if (auto dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
  return name;
}

std::string ClassNameOf(const std::exception& e) {
  if (auto* m = dynamic_cast<const EMurmellaError*>(&e)) return m->ClassName();
  return "Exception";
}

// Keys of a form go through the dialog manager first, so Tab and the arrow keys move between
// its controls in creation order.
void Dispatch(MSG& msg) {
  if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST)
    if (HWND root = GetAncestor(msg.hwnd, GA_ROOT); root && TForm::IsForm(root) && IsDialogMessageA(root, &msg))
      return;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

}  // namespace

TApplication::TApplication() : TComponent(nullptr, "Application"), previous_(current) { current = this; }

TApplication::~TApplication() {
  DestroyComponents();
  if (current == this) current = previous_;
}

TApplication& Application() {
  if (current) return *current;
  static TApplication process;
  return process;
}

void TApplication::SetTitle(const std::string& title) { title_ = title; }

std::string TApplication::CaptionText() const { return title_.empty() ? ModuleFileName(false) : title_; }

void TApplication::Run() {
  if (mainForm_ && showMainForm_) mainForm_->Show();
  MSG msg;
  while (!terminated_) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      terminated_ = true;
      break;
    }
    Dispatch(msg);
  }
}

void TApplication::Terminate() {
  terminated_ = true;
  PostQuitMessage(0);
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      terminated_ = true;
      break;
    }
    Dispatch(msg);
  }
}

void TApplication::ShowErrorBox(const std::string& text) {
  MessageBoxA(GetActiveWindow(), ErrorBoxText(text).c_str(), CaptionText().c_str(), MB_OK | MB_ICONERROR);
}

void TApplication::HandleException(const std::exception& e) {
  try {
    ShowErrorBox(e.what());
  } catch (...) {
  }
}

void TApplication::HandleUnknownException() {
  try {
    ShowErrorBox("Unknown error");
  } catch (...) {
  }
}

void TApplication::ShowFatalError(const std::exception& e) {
  const std::string text =
      FatalErrorText(ClassNameOf(e), ModuleFileName(true), reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)),
                     e.what());
  MessageBoxA(nullptr, text.c_str(), kFatalErrorCaption, MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void RaiseLastOSError() {
  const DWORD code = GetLastError();
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = text ? text : "";
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  throw EMurmellaError("System Error.  Code: " + std::to_string(code) + ".\r\n" + message, "EOSError");
}

}  // namespace murmella::forms
