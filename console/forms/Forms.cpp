#include "Forms.h"

#include "Application.h"

namespace murmella::forms {

namespace {

// Posted to a form whose close asked to free it: the form goes once its own messages are done.
constexpr UINT kReleaseMessage = WM_APP + 0x3F0;
constexpr char kFormClass[] = "MurmellaForm";

// Handlers of the create and destroy notifications report their errors and the form goes on.
void Guarded(const TNotifyEvent& handler, TObject& sender) {
  if (handler) CallGuarded([&] { handler(sender); });
}

TWindowParams FormParams() {
  TWindowParams p;
  p.ClassName = kFormClass;
  p.ClassStyle = CS_DBLCLKS;
  p.Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  p.ExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
  p.Left = CW_USEDEFAULT;
  p.Top = CW_USEDEFAULT;
  p.Width = 320;
  p.Height = 240;
  return p;
}

}  // namespace

TForm::TForm(TComponent* owner, std::string name) : TWinControl(owner, nullptr, FormParams(), std::move(name)) {}

TForm::~TForm() {
  DoDestroy();
  if (Application().MainForm() == this) Application().SetMainForm(nullptr);
  // The controls are children of this window: free them while it still is one.
  DestroyComponents();
}

void TForm::SetClientSize(int width, int height) {
  RECT r{0, 0, width, height};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongA(Handle(), GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(Handle(), GWL_EXSTYLE)));
  SetBounds(Left(), Top(), r.right - r.left, r.bottom - r.top);
}

void TForm::DoCreate() {
  if (created_) return;
  created_ = true;
  Guarded(OnCreate, *this);
}

void TForm::DoDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  Guarded(OnDestroy, *this);
}

bool TForm::IsForm(HWND window) {
  char name[sizeof kFormClass + 1] = {};
  return GetClassNameA(window, name, sizeof name) > 0 && lstrcmpiA(name, kFormClass) == 0;
}

bool TForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(*this, canClose);
  return canClose;
}

void TForm::Close() {
  if (!CloseQuery()) return;
  TCloseAction action = TCloseAction::caHide;
  if (OnClose) OnClose(*this, action);
  switch (action) {
    case TCloseAction::caNone:
      break;
    case TCloseAction::caHide:
      Hide();
      break;
    case TCloseAction::caFree:
      if (Application().MainForm() == this) Application().Terminate();
      else PostMessageA(Handle(), kReleaseMessage, 0, 0);
      break;
  }
}

void TForm::EndSession() {
  if (Application().MainForm() != this) return;
  TCloseAction action = TCloseAction::caFree;
  if (OnClose) OnClose(*this, action);
  DoDestroy();
  Application().Terminate();
}

LRESULT TForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ENDSESSION:
      if (wParam) EndSession();
      return 0;
    case WM_SHOWWINDOW:
      if (wParam && !shown_) {
        shown_ = true;
        if (position_ == TPosition::poScreenCenter) {
          RECT r{};
          GetWindowRect(Handle(), &r);
          const int w = r.right - r.left, h = r.bottom - r.top;
          SetWindowPos(Handle(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                       (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
      }
      break;
    case kReleaseMessage:
      // Nothing of this object is touched after the delete: the window procedure returns.
      delete this;
      return 0;
  }
  return TWinControl::WndProc(message, wParam, lParam);
}

}  // namespace murmella::forms
