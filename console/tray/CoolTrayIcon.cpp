#include "CoolTrayIcon.h"

#include "Application.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "ImgList.h"
#include "Menus.h"
#include "TextCut.h"

#include <algorithm>
#include <cstring>

namespace murmella::tray {

TTrayShell TrayShell;

namespace {

// Finds the tray icon from its owner's window while the hook is in place.
constexpr char kHookProperty[] = "MurmellaTrayIcon";
// Posted to the owner when it is being shown: raising a window from inside its own
// WM_SHOWWINDOW would act before it is visible.
constexpr UINT kRaiseMessage = WM_APP + 0x3F1;

// The shell restarted (Explorer crashed or was restarted) and forgot every icon.
UINT TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageA("TaskbarCreated");
  return message;
}

TShiftState KeyboardShift() {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  return s;
}

TShiftState ButtonShift(TMouseButton b) {
  switch (b) {
    case TMouseButton::mbLeft: return ssLeft;
    case TMouseButton::mbRight: return ssRight;
    case TMouseButton::mbMiddle: return ssMiddle;
  }
  return 0;
}

POINT CursorPosition() {
  POINT p{};
  GetCursorPos(&p);
  return p;
}

}  // namespace

NOTIFYICONDATAW TrayIconRecord(HWND window, HICON icon, const std::wstring& hint, bool showHint) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = NOTIFYICONDATAW_V1_SIZE;
  nid.hWnd = window;
  nid.uID = kTrayIconId;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = kTrayCallbackMessage;
  nid.hIcon = icon;
  if (showHint && !hint.empty()) {
    // The first layout's tip field holds 64 units, whatever size the headers give it.
    constexpr std::size_t kTipChars = 63;
    const std::wstring_view tip = forms::CutUtf16(std::wstring_view(hint), kTipChars);
    std::memcpy(nid.szTip, tip.data(), tip.size() * sizeof(wchar_t));
  }
  return nid;
}

// The hidden window the shell talks to. Top-level (not message-only), so that the shell's
// "TaskbarCreated" broadcast reaches it.
class TCoolTrayIcon::TTrayWindow final : public forms::TWindow {
 public:
  explicit TTrayWindow(TCoolTrayIcon& icon) : icon_(icon) {
    forms::TWindowParams p;
    p.ClassName = "MurmellaTrayIcon";
    p.Style = WS_POPUP;
    p.ExStyle = WS_EX_TOOLWINDOW;
    CreateHandle(p);
    // The shell runs with less privilege than an elevated console; its broadcast must get in.
    TrayShell.ChangeWindowMessageFilterEx(Handle(), TaskbarCreatedMessage(), MSGFLT_ALLOW, nullptr);
  }

 protected:
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == kTrayCallbackMessage) {
      icon_.HandleCallback(static_cast<UINT>(lParam));
      return 0;
    }
    if (message == WM_QUERYENDSESSION) return 1;
    if (message == TaskbarCreatedMessage()) {
      if (icon_.iconVisible_) icon_.AddIcon();
      return 0;
    }
    return forms::TWindow::WndProc(message, wParam, lParam);
  }

 private:
  TCoolTrayIcon& icon_;
};

TCoolTrayIcon::TCoolTrayIcon(forms::TComponent* owner, std::string name)
    : TComponent(owner, std::move(name)),
      window_(std::make_unique<TTrayWindow>(*this)),
      timer_(std::make_unique<forms::TTimer>(nullptr)) {
  timer_->SetEnabled(false);
  timer_->SetInterval(0);
  timer_->OnTimer = [this](forms::TObject&) { CycleStep(); };
  if (auto* control = dynamic_cast<forms::TWinControl*>(owner); control && control->Handle()) {
    ownerWindow_ = control->Handle();
    SetPropA(ownerWindow_, kHookProperty, this);
    ownerPrevious_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(ownerWindow_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OwnerHook)));
  }
}

TCoolTrayIcon::~TCoolTrayIcon() {
  RemoveIcon();
  Unhook();
  if (iconList_) iconList_->RemoveFreeNotification(*this);
  if (popupMenu_) popupMenu_->RemoveFreeNotification(*this);
}

void TCoolTrayIcon::Unhook() {
  if (!ownerWindow_) return;
  if (IsWindow(ownerWindow_)) {
    // Put the previous procedure back only when ours is still the one in place; a later hook
    // would otherwise be cut out of the chain.
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(ownerWindow_, GWLP_WNDPROC)) == &OwnerHook)
      SetWindowLongPtrA(ownerWindow_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ownerPrevious_));
    RemovePropA(ownerWindow_, kHookProperty);
  }
  ownerWindow_ = nullptr;
}

HWND TCoolTrayIcon::Handle() const { return window_->Handle(); }

void TCoolTrayIcon::Notify(DWORD message) {
  NOTIFYICONDATAW nid = TrayIconRecord(Handle(), icon_.get(), hint_, showHint_);
  TrayShell.NotifyIcon(message, &nid);  // the shell's answer changes nothing we do
}

void TCoolTrayIcon::AddIcon() {
  iconVisible_ = true;
  Notify(NIM_ADD);
}

void TCoolTrayIcon::RemoveIcon() {
  iconVisible_ = false;
  Notify(NIM_DELETE);
}

void TCoolTrayIcon::ModifyIcon() { Notify(NIM_MODIFY); }

void TCoolTrayIcon::SetIconVisible(bool value) {
  if (value) AddIcon();
  else RemoveIcon();
}

void TCoolTrayIcon::SetIcon(HICON icon) {
  icon_.reset(icon ? CopyIcon(icon) : nullptr);
  ModifyIcon();
}

void TCoolTrayIcon::SetHint(const std::wstring& hint) {
  hint_ = hint;
  ModifyIcon();
}

void TCoolTrayIcon::SetHint(const std::string& hint) {
  std::wstring wide;
  if (const int n = MultiByteToWideChar(CP_ACP, 0, hint.data(), static_cast<int>(hint.size()), nullptr, 0); n > 0) {
    wide.resize(static_cast<std::size_t>(n));
    MultiByteToWideChar(CP_ACP, 0, hint.data(), static_cast<int>(hint.size()), wide.data(), n);
  }
  SetHint(wide);
}

void TCoolTrayIcon::SetShowHint(bool value) {
  showHint_ = value;
  ModifyIcon();
}

void TCoolTrayIcon::SetIconList(forms::TImageList* list) {
  if (iconList_ != list) {
    if (iconList_) iconList_->RemoveFreeNotification(*this);
    iconList_ = list;
    if (iconList_) iconList_->FreeNotification(*this);
  }
  SetIconIndex(0);
}

void TCoolTrayIcon::SetIconIndex(int index) {
  if (iconList_) {
    // Beyond the list means its last image; before it (a negative index) its first.
    iconIndex_ = std::max(0, std::min(index, iconList_->Count() - 1));
    icon_ = iconList_->GetIcon(iconIndex_);
  } else {
    iconIndex_ = 0;
  }
  ModifyIcon();
}

void TCoolTrayIcon::SetPopupMenu(forms::TPopupMenu* menu) {
  if (popupMenu_ == menu) return;
  if (popupMenu_) popupMenu_->RemoveFreeNotification(*this);
  popupMenu_ = menu;
  if (popupMenu_) popupMenu_->FreeNotification(*this);
}

void TCoolTrayIcon::SetCycleInterval(int milliseconds) {
  cycleInterval_ = milliseconds;
  UpdateTimer();
}

void TCoolTrayIcon::SetCycleIcons(bool value) {
  cycleIcons_ = value;
  if (value) SetIconIndex(0);
  UpdateTimer();
}

void TCoolTrayIcon::UpdateTimer() {
  timer_->SetInterval(static_cast<unsigned>(std::max(0, cycleInterval_)));
  timer_->SetEnabled(cycleIcons_);
}

void TCoolTrayIcon::CycleStep() {
  if (!iconList_) return;
  icon_ = iconList_->GetIcon(iconIndex_);
  const int next = iconIndex_ + 1 >= iconList_->Count() ? 0 : iconIndex_ + 1;
  Cycle(next);
  ModifyIcon();
  SetIconIndex(next);
}

void TCoolTrayIcon::Notification(forms::TComponent& freed) {
  if (&freed == iconList_) {
    iconList_ = nullptr;
    iconIndex_ = 0;
  }
  if (&freed == popupMenu_) popupMenu_ = nullptr;
}

void TCoolTrayIcon::Loaded() {
  if (startMinimized_) forms::Application().SetShowMainForm(false);
  ModifyIcon();
  SetIconVisible(iconVisible_);
}

void TCoolTrayIcon::ShowMainWindow() {
  forms::TForm* main = forms::Application().MainForm();
  if (!main) return;
  // Restores a minimised window too; the owner hook raises it once it is visible.
  ShowWindow(main->Handle(), SW_SHOWNORMAL);
  main->SetVisible(true);
}

void TCoolTrayIcon::HideMainWindow() {
  forms::TForm* main = forms::Application().MainForm();
  if (!main) return;
  main->SetVisible(false);
  ShowWindow(main->Handle(), SW_HIDE);
}

void TCoolTrayIcon::SendToTray() {
  HideMainWindow();
  AddIcon();
}

void TCoolTrayIcon::PopupAtCursor() {
  if (!popupMenu_ || !popupMenu_->AutoPopup()) return;
  POINT p{};
  if (!GetCursorPos(&p)) return;
  forms::Application().ProcessMessages();
  if (ownerWindow_) SetForegroundWindow(ownerWindow_);
  popupMenu_->SetPopupComponent(this);
  popupMenu_->Popup(p.x, p.y);
  if (ownerWindow_) PostMessageA(ownerWindow_, WM_NULL, 0, 0);
}

void TCoolTrayIcon::HandleCallback(UINT mouseMessage) {
  if (!enabled_) return;
  const TShiftState keys = KeyboardShift();
  const POINT p = CursorPosition();
  auto down = [&](TMouseButton b) { MouseDown(b, keys | ButtonShift(b), p.x, p.y); };
  auto up = [&](TMouseButton b) { MouseUp(b, keys | ButtonShift(b), p.x, p.y); };
  switch (mouseMessage) {
    case WM_MOUSEMOVE:
      MouseMove(keys, p.x, p.y);
      break;
    case WM_LBUTTONDOWN:
      down(TMouseButton::mbLeft);
      pressed_ = true;
      if (leftPopup_) PopupAtCursor();
      break;
    case WM_LBUTTONUP:
      if (pressed_) {
        pressed_ = false;
        Click();
      }
      up(TMouseButton::mbLeft);
      break;
    case WM_LBUTTONDBLCLK:
      DblClick();
      if (popupMenu_ && popupMenu_->AutoPopup() && !leftPopup_)
        if (forms::TMenuItem* item = popupMenu_->DefaultItem()) item->Click();
      break;
    case WM_RBUTTONDOWN:
      down(TMouseButton::mbRight);
      PopupAtCursor();
      break;
    case WM_RBUTTONUP:
      up(TMouseButton::mbRight);
      break;
    case WM_MBUTTONDOWN:
      down(TMouseButton::mbMiddle);
      break;
    case WM_MBUTTONUP:
      up(TMouseButton::mbMiddle);
      break;
  }
}

void TCoolTrayIcon::Click() {
  if (OnClick) OnClick(*this);
}
void TCoolTrayIcon::DblClick() {
  if (OnDblClick) OnDblClick(*this);
}
void TCoolTrayIcon::Cycle(int nextIndex) {
  if (OnCycle) OnCycle(*this, nextIndex);
}
void TCoolTrayIcon::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(*this, button, shift, x, y);
}
void TCoolTrayIcon::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(*this, button, shift, x, y);
}
void TCoolTrayIcon::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(*this, shift, x, y);
}

LRESULT CALLBACK TCoolTrayIcon::OwnerHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<TCoolTrayIcon*>(GetPropA(window, kHookProperty));
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  try {
    return self->OwnerMessage(window, message, wParam, lParam);
  } catch (const std::exception& e) {
    forms::Application().HandleException(e);
  } catch (...) {
    forms::Application().HandleUnknownException();
  }
  return 0;
}

LRESULT TCoolTrayIcon::OwnerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous = ownerPrevious_;
  switch (message) {
    case kRaiseMessage:
      if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
      SetForegroundWindow(window);
      return 0;
    case WM_SHOWWINDOW:
      if (wParam == TRUE && lParam == 0) PostMessageA(window, kRaiseMessage, 0, 0);
      break;
    case WM_ACTIVATE:
      // Remember the focused control when the window loses activation, to give it back.
      if (LOWORD(wParam) == WA_INACTIVE)
        if (HWND focus = GetFocus(); focus && IsChild(window, focus)) lastFocus_ = focus;
      break;
    case WM_WINDOWPOSCHANGED:
      if (lastFocus_ && IsWindow(lastFocus_) && IsChild(window, lastFocus_) && GetActiveWindow() == window &&
          !IsChild(window, GetFocus()))
        SetFocus(lastFocus_);
      break;
  }
  const LRESULT result = CallWindowProcA(previous, window, message, wParam, lParam);
  if (message == WM_SIZE && wParam == SIZE_MINIMIZED && minimizeToTray_) SendToTray();
  if (message == WM_NCDESTROY) Unhook();
  return result;
}

}  // namespace murmella::tray
