// The page host: a hidden web browser control in the window's page area, its container
// (client, in-place and document UI sites, command target) and the one dispatch interface
// through which the page's external object and the control's ambient reads reach the window.
#pragma once

#include "Classes.h"
#include "HostOptions.h"

#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <functional>
#include <string>

namespace murmella::pagehost {

class TWebBrowserSite;

// What the host answers when the control reports a script error.
enum class TScriptErrorAction {
  eaContinue,  // no dialog, the page's scripts keep running
  eaCancel,    // no dialog, the failing script stops
  eaAskUser,   // the control's own dialog
};

// Which control the host creates. Automatic takes the platform's control when the platform
// has an HTML engine and the stand-in otherwise; the others force one path.
enum class TWebControlKind { Automatic, Platform, StandIn };

using THostInfoEvent = std::function<void(forms::TObject& Sender, DOCHOSTUIINFO& pInfo)>;
using TGetExternalEvent = std::function<void(forms::TObject& Sender, IDispatch*& ppDispatch)>;
using TGetIDsOfNamesEvent =
    std::function<void(forms::TObject& Sender, REFIID IID, LPOLESTR* Names, UINT NameCount,
                       LCID LocaleID, DISPID* DispIDs, HRESULT& Rezult)>;
using TInvokeEvent =
    std::function<void(forms::TObject& Sender, DISPID DispID, REFIID IID, LCID LocaleID, WORD Flags,
                       DISPPARAMS& Params, VARIANT* VarResult, EXCEPINFO* ExcepInfo, UINT* ArgErr,
                       HRESULT& Rezult)>;

class TEmbeddedWB : public forms::TComponent {
 public:
  explicit TEmbeddedWB(forms::TComponent* owner, std::string name = "www");
  ~TEmbeddedWB() override;

  // Where the control lives: the page's window and the rectangle in its client area. Set
  // before Loaded; a later change moves a control already placed.
  void SetParentWindow(HWND parent) { parent_ = parent; }
  HWND ParentWindow() const { return parent_; }
  void SetBounds(const RECT& bounds);
  const RECT& Bounds() const { return bounds_; }

  // The control's window is never shown: the page runs unseen.
  bool Visible() const { return false; }

  TUserInterfaceOptions UserInterfaceOptions() const { return uiOptions_; }
  void SetUserInterfaceOptions(TUserInterfaceOptions o) { uiOptions_ = o; }
  // A change is announced to a live control, which reads the ambient value again.
  TDownloadOptions DownloadOptions() const { return dlOptions_; }
  void SetDownloadOptions(TDownloadOptions o);
  const std::string& DisableCtrlShortcuts() const { return ctrlShortcuts_; }
  void SetDisableCtrlShortcuts(std::string keys) { ctrlShortcuts_ = std::move(keys); }
  // Suppressing script errors means continuing past them; not suppressing leaves them to the
  // control's dialog.
  bool ScriptErrorsSuppressed() const { return scriptErrorAction_ != TScriptErrorAction::eaAskUser; }
  void SetScriptErrorsSuppressed(bool on);
  TScriptErrorAction ScriptErrorAction() const { return scriptErrorAction_; }
  void SetScriptErrorAction(TScriptErrorAction a) { scriptErrorAction_ = a; }
  // Texts the host offers the control when set: user agent, host style sheet and namespace.
  std::string UserAgent, HostCSS, HostNS;
  // The ambient colours and font (the page's window's).
  OLE_COLOR FontColor = 0x80000008;  // window text
  OLE_COLOR Color = 0x80000005;      // window background
  std::string FontName = "MS Shell Dlg 2";
  int FontSize = 8;  // points
  TWebControlKind ControlKind = TWebControlKind::Automatic;

  THostInfoEvent OnGetHostInfo;
  TGetExternalEvent OnGetExternal;
  TGetIDsOfNamesEvent OnGetIDsOfNames;
  TInvokeEvent OnInvoke;

  // Creates the control, binds it to its container and activates it in place, hidden.
  void Loaded() override;
  // Closes the control and lets go of it; the page's events are no longer raised. Done by the
  // destructor too; an owner whose handlers reach other components calls it first.
  void Close();

  // Starts loading `address` (ANSI text); the page loads later, inside the message loop.
  void Navigate(const std::string& address);
  // The address of the page loaded, empty before the first load.
  std::string LocationURL();

  // The host's dispatch interface (no reference added), there from construction on: the page's
  // external object and the target of the control's ambient reads.
  IDispatch* DispatchInterface() const;
  // The control, or null before Loaded.
  IWebBrowser2* Browser() const { return browser_.Get(); }
  // True when the control in use is the platform's own.
  bool HostsPlatformControl() const { return platform_; }

  // The container's answers; the site forwards the control's calls here.
  HRESULT GetHostInfo(DOCHOSTUIINFO* pInfo);
  HRESULT GetExternal(IDispatch** ppDispatch);
  HRESULT TranslateAccelerator(const MSG* msg) const;
  HRESULT Exec(const GUID* group, DWORD cmd, VARIANT* out) const;
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);
  HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* argErr);

 private:
  bool AnswerAmbient(DISPID id, VARIANT& result) const;

  HWND parent_ = nullptr;
  RECT bounds_{};
  TUserInterfaceOptions uiOptions_ = kDefaultUserInterfaceOptions;
  TDownloadOptions dlOptions_ = kDefaultDownloadOptions;
  std::string ctrlShortcuts_ = "N";
  TScriptErrorAction scriptErrorAction_ = TScriptErrorAction::eaContinue;
  bool userModePut_ = false;  // user mode is answered as its negation
  bool platform_ = false;

  Microsoft::WRL::ComPtr<TWebBrowserSite> site_;
  Microsoft::WRL::ComPtr<IOleObject> control_;
  Microsoft::WRL::ComPtr<IWebBrowser2> browser_;
};

}  // namespace murmella::pagehost
