// The console's one window: the bar of three options over the hidden presence page, the
// components it owns for the life of the program, the close-to-tray rule and the tray menu's
// commands.
#pragma once

#include "Forms.h"
#include "IdleCheck.h"
#include "RecentVisitors.h"

#include <windows.h>
#include <oaidl.h>
#include <mshtmhst.h>
#include <urlmon.h>

#include <string>

namespace murmella::forms {
class TCheckBox;
class TComboBox;
class TImageList;
class TLabel;
class TMenuItem;
class TPageControl;
class TPanel;
class TPopupMenu;
class TTabSheet;
class TTimer;
}  // namespace murmella::forms
namespace murmella::pagehost {
class TEmbeddedWB;
}
namespace murmella::popup {
class THTMLPopup;
}
namespace murmella::startup {
class TAutoRun;
class TOneInstance;
class TOvcComponentState;
class TOvcRegistryStore;
}  // namespace murmella::startup
namespace murmella::tray {
class TCoolTrayIcon;
}

namespace murmella::console {

// Calls whose effect the platform cannot show (the user's default browser opening a page, the
// taskbar entry flashing, a cursor that cannot be read): tests read what was handed over or
// answer in the platform's place.
struct TConsolePlatform {
  HRESULT(WINAPI* HlinkNavigateString)(IUnknown* unknown, LPCWSTR target) = &::HlinkNavigateString;
  BOOL(WINAPI* FlashWindow)(HWND window, BOOL invert) = &::FlashWindow;
  // Fails on the secure desktop (a locked workstation), which a test cannot bring up.
  BOOL(WINAPI* GetCursorPos)(POINT* point) = &::GetCursorPos;
};
extern TConsolePlatform ConsolePlatform;

// Image numbers in ImageList1, and the icon resources they come from.
enum TConsoleImage { imTray = 0, imSignUp = 1, imClose = 2 };
inline constexpr int kTrayIconResource = 101;
inline constexpr int kSignUpIconResource = 102;
inline constexpr int kCloseIconResource = 103;

class TForm1 : public forms::TForm {
 public:
  // Builds the window with every component, runs their after-load steps and the create
  // notification. An error from the components' settings (the autostart value that cannot be
  // written) propagates: the program cannot start.
  explicit TForm1(forms::TComponent* owner);
  ~TForm1() override;

  // Controls, in layout and tab order.
  forms::TPanel* Panel3;
  forms::TCheckBox* chstartup;
  forms::TCheckBox* chpopup;
  forms::TCheckBox* disconnect;
  forms::TComboBox* duree;
  forms::TLabel* Label1;
  forms::TPageControl* JvPageControl1;
  forms::TTabSheet* TabSheet2;
  pagehost::TEmbeddedWB* www;
  // Non-visual components, in creation order.
  startup::TOvcComponentState* OvcComponentState1;
  startup::TOvcRegistryStore* OvcRegistryStore1;
  forms::TImageList* ImageList1;
  popup::THTMLPopup* pop2;
  startup::TOneInstance* OneInstance1;
  tray::TCoolTrayIcon* CoolTrayIcon1;
  forms::TTimer* Timer1;
  forms::TTimer* Timer2;
  startup::TAutoRun* AutoRun1;
  forms::TPopupMenu* PopupMenu1;
  forms::TMenuItem* Opendialogoo1;
  forms::TMenuItem* CloseMurmella;
  forms::TMenuItem* N1;
  forms::TMenuItem* RegisterMurmellachat;
  forms::TMenuItem* RecentVisitors;  // its submenu: the visitors of this run

  void FormCreate(forms::TObject& Sender);
  void FormClose(forms::TObject& Sender, forms::TCloseAction& Action);
  void disconnectClick(forms::TObject& Sender);
  void CoolTrayIcon1Click(forms::TObject& Sender);
  void Opendialogoo1Click(forms::TObject& Sender);
  void CloseMurmellaClick(forms::TObject& Sender);
  void RegisterMurmellachatClick(forms::TObject& Sender);
  // The page bridge: the page's calls on its external object, the notice's end, the idle check.
  void wwwGetIDsOfNames(forms::TObject& Sender, REFIID IID, LPOLESTR* Names, UINT NameCount, LCID LocaleID,
                        DISPID* DispIDs, HRESULT& Rezult);
  void wwwInvoke(forms::TObject& Sender, DISPID DispID, REFIID IID, LCID LocaleID, WORD Flags, DISPPARAMS& Params,
                 VARIANT* VarResult, EXCEPINFO* ExcepInfo, UINT* ArgErr, HRESULT& Rezult);
  void wwwGetExternal(forms::TObject& Sender, IDispatch*& ppDispatch);
  void wwwGetHostInfo(forms::TObject& Sender, DOCHOSTUIINFO& pInfo);
  void Timer1Timer(forms::TObject& Sender);
  void Timer2Timer(forms::TObject& Sender);

  // The idle check's counters, for the life of the program.
  const TIdleCounters& IdleCounters() const { return idle_; }
  // The visitors of this run, newest first.
  const TRecentVisitors& Recent() const { return recent_; }

 private:
  // The page's call arrived: flash the taskbar entry and show the window as it was.
  void FlashAndShow();
  TIdleCounters idle_;
  // The page's call with a name, whatever the popups option: the tray's tip and submenu follow.
  void RememberVisitor(const std::wstring& name);
  void ShowRecentVisitors();
  TRecentVisitors recent_;

  void SetWindowIcons();
  void CreateControls();
  void CreateComponents();
  void CreateMenu();
};

// The program: application title, the main window, the message loop. Answers the exit code: 0,
// or 1 after the fatal error box when the window could not be built.
int RunMurmellaChat();

}  // namespace murmella::console
