// TCoolTrayIcon keeps the program's icon in the notification area, turns mouse actions on it
// into events and into its menu, hides and shows the main window with its taskbar button and
// sends the program to the tray when it is minimised.
//
// Our main window carries its own taskbar button (see Application.h), so "the application
// window" and "the owner window" are the same window here: one hook on the owner serves both.
#pragma once

#include "Classes.h"
#include "Controls.h"
#include "Handles.h"

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>

namespace murmella::forms {
class TImageList;
class TPopupMenu;
class TTimer;
}  // namespace murmella::forms

namespace murmella::tray {

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Keys and buttons held while a mouse event happened.
enum TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };
using TShiftState = unsigned;

using TMouseEvent = std::function<void(forms::TObject& Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(forms::TObject& Sender, TShiftState Shift, int X, int Y)>;
using TCycleEvent = std::function<void(forms::TObject& Sender, int NextIndex)>;

// The shell's callback message for our icon, and our icon's number with the shell.
inline constexpr UINT kTrayCallbackMessage = 0x0800;
inline constexpr UINT kTrayIconId = 1;

// What the shell is told about the icon. Its answer cannot be seen from inside the program (the
// shell draws the icon), so the call goes through this table: tests read the records handed over.
struct TTrayShell {
  BOOL(WINAPI* NotifyIcon)(DWORD message, PNOTIFYICONDATAW data) = &Shell_NotifyIconW;
  // The window's message filter: a console started as administrator would not hear the shell's
  // "TaskbarCreated" otherwise (the platform here has no integrity levels to show it).
  BOOL(WINAPI* ChangeWindowMessageFilterEx)(HWND window, UINT message, DWORD action,
                                            PCHANGEFILTERSTRUCT info) = &::ChangeWindowMessageFilterEx;
};
extern TTrayShell TrayShell;

// The icon record in its first layout, in its wide form (152 bytes in the 32-bit build) so that
// every name keeps its characters: the tip is at most the first 63 UTF-16 units of `hint`, one
// fewer rather than half a character, and empty unless `showHint`. Every call on the icon uses
// this form, so no 8-bit call can overwrite the tip.
NOTIFYICONDATAW TrayIconRecord(HWND window, HICON icon, const std::wstring& hint, bool showHint);

class TCoolTrayIcon : public forms::TComponent {
 public:
  // Hooks the owner's window when the owner is a windowed control.
  explicit TCoolTrayIcon(forms::TComponent* owner, std::string name = {});
  ~TCoolTrayIcon() override;

  forms::TImageList* IconList() const { return iconList_; }
  void SetIconList(forms::TImageList* list);
  bool CycleIcons() const { return cycleIcons_; }
  void SetCycleIcons(bool value);
  int CycleInterval() const { return cycleInterval_; }
  void SetCycleInterval(int milliseconds);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  const std::wstring& Hint() const { return hint_; }
  void SetHint(const std::wstring& hint);
  // ANSI text, as the program's other settings are.
  void SetHint(const std::string& hint);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool value);
  HICON Icon() const { return icon_.get(); }
  // Keeps a copy of `icon` (the caller keeps its own).
  void SetIcon(HICON icon);
  bool IconVisible() const { return iconVisible_; }
  void SetIconVisible(bool value);
  int IconIndex() const { return iconIndex_; }
  void SetIconIndex(int index);
  forms::TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(forms::TPopupMenu* menu);
  bool LeftPopup() const { return leftPopup_; }
  void SetLeftPopup(bool value) { leftPopup_ = value; }
  bool StartMinimized() const { return startMinimized_; }
  void SetStartMinimized(bool value) { startMinimized_ = value; }
  bool MinimizeToTray() const { return minimizeToTray_; }
  void SetMinimizeToTray(bool value) { minimizeToTray_ = value; }

  forms::TNotifyEvent OnClick, OnDblClick;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TCycleEvent OnCycle;

  // The window that receives the shell's callback messages.
  HWND Handle() const;

  void ShowMainWindow();
  void HideMainWindow();
  virtual void AddIcon();
  virtual void RemoveIcon();
  virtual void ModifyIcon();
  // Opens the menu at the cursor; returns when it closes.
  void PopupAtCursor();

  void Loaded() override;

 protected:
  virtual void Click();
  virtual void DblClick();
  virtual void Cycle(int nextIndex);
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void SendToTray();
  void Notification(forms::TComponent& freed) override;

 private:
  class TTrayWindow;
  friend class TTrayWindow;

  void Notify(DWORD message);
  void HandleCallback(UINT mouseMessage);
  void CycleStep();
  void UpdateTimer();
  static LRESULT CALLBACK OwnerHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OwnerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Unhook();

  forms::TImageList* iconList_ = nullptr;
  forms::TPopupMenu* popupMenu_ = nullptr;
  bool cycleIcons_ = false;
  int cycleInterval_ = 0;
  bool enabled_ = true;
  std::wstring hint_;
  bool showHint_ = false;
  forms::unique_hicon icon_;
  bool iconVisible_ = true;
  int iconIndex_ = 0;
  bool leftPopup_ = false;
  bool startMinimized_ = false;
  bool minimizeToTray_ = false;
  bool pressed_ = false;

  std::unique_ptr<TTrayWindow> window_;
  std::unique_ptr<forms::TTimer> timer_;
  HWND ownerWindow_ = nullptr;
  WNDPROC ownerPrevious_ = nullptr;
  HWND lastFocus_ = nullptr;  // the control to give the focus back to when the owner returns
};

}  // namespace murmella::tray
