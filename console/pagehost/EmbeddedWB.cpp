#include "EmbeddedWB.h"

#include "OleText.h"
#include "WebBrowserSite.h"
#include "WebControlChoice.h"

#include <mshtmdid.h>
#include <olectl.h>

#include <cstring>
#include <exception>

namespace murmella::pagehost {

using Microsoft::WRL::ComPtr;

namespace {

// LocationURL on the control's own dispatch interface.
constexpr DISPID kDispidLocationURL = 211;
// The code a handler's error is reported with in EXCEPINFO.
constexpr WORD kHandlerErrorCode = 9999;

void SetBool(VARIANT& v, bool b) {
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetInt(VARIANT& v, LONG i) {
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = i;
}

void SetText(VARIANT& v, const std::string& text) {
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = AnsiToBstr(text);
}

void FillException(EXCEPINFO* excep, const std::string& source, const char* message, DWORD helpContext) {
  if (!excep) return;
  *excep = EXCEPINFO{};
  excep->wCode = kHandlerErrorCode;
  excep->bstrSource = AnsiToBstr(source);
  excep->bstrDescription = AnsiToBstr(message);
  excep->dwHelpContext = helpContext;
}

[[noreturn]] void RaiseNoControl() {
  throw forms::EMurmellaError("The web control has not been created", "EOleError");
}

}  // namespace

// The site exists from the start, so that the host's dispatch interface can be handed out before
// the control is created and the control's first ambient reads, made while it is being bound,
// are answered.
TEmbeddedWB::TEmbeddedWB(forms::TComponent* owner, std::string name)
    : TComponent(owner, std::move(name)), site_(new TWebBrowserSite(*this)) {}

TEmbeddedWB::~TEmbeddedWB() {
  Close();
  // A page or the control may still hold the site; from now on it answers E_UNEXPECTED.
  site_->Detach();
}

void TEmbeddedWB::SetBounds(const RECT& bounds) {
  bounds_ = bounds;
  ComPtr<IOleInPlaceObject> inPlace;
  if (control_ && SUCCEEDED(control_.As(&inPlace))) inPlace->SetObjectRects(&bounds_, &bounds_);
}

void TEmbeddedWB::SetDownloadOptions(TDownloadOptions o) {
  dlOptions_ = o;
  ComPtr<IOleControl> control;
  if (control_ && SUCCEEDED(control_.As(&control))) control->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL);
}

void TEmbeddedWB::SetScriptErrorsSuppressed(bool on) {
  scriptErrorAction_ = on ? TScriptErrorAction::eaContinue : TScriptErrorAction::eaAskUser;
}

IDispatch* TEmbeddedWB::DispatchInterface() const { return site_->Dispatch(); }

void TEmbeddedWB::Loaded() {
  if (control_) return;
  try {
    ComPtr<IUnknown> unknown = CreateWebControl(ControlKind, platform_);
    OleCheck(unknown.As(&control_));
    OleCheck(unknown.As(&browser_));
    OleCheck(control_->SetClientSite(site_->ClientSite()));
    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(unknown.As(&persist))) persist->InitNew();
    // In place but hidden: the control keeps a window (which the page's timers and loads need
    // on the platform's control) that nobody sees.
    RECT bounds = bounds_;
    control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_->ClientSite(), 0, parent_, &bounds);
    ComPtr<IOleInPlaceObject> inPlace;
    HWND window = nullptr;
    if (SUCCEEDED(control_.As(&inPlace)) && SUCCEEDED(inPlace->GetWindow(&window)) && window)
      ShowWindow(window, SW_HIDE);
  } catch (...) {
    Close();
    throw;
  }
}

void TEmbeddedWB::Close() {
  if (control_) {
    ComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(control_.As(&inPlace))) inPlace->InPlaceDeactivate();
    control_->Close(OLECLOSE_NOSAVE);
    control_->SetClientSite(nullptr);
  }
  browser_.Reset();
  control_.Reset();
}

void TEmbeddedWB::Navigate(const std::string& address) {
  if (!browser_) RaiseNoControl();
  BSTR url = AnsiToBstr(address);
  VARIANT empty;
  VariantInit(&empty);
  const HRESULT hr = browser_->Navigate(url, &empty, &empty, &empty, &empty);
  SysFreeString(url);
  OleCheck(hr);
}

std::string TEmbeddedWB::LocationURL() {
  if (!browser_) RaiseNoControl();
  ComPtr<IDispatch> dispatch;
  OleCheck(browser_.As(&dispatch));
  DISPPARAMS none{};
  VARIANT value;
  VariantInit(&value);
  OleCheck(dispatch->Invoke(kDispidLocationURL, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                            nullptr, nullptr));
  std::string url;
  if (value.vt == VT_BSTR) {
    url = WideToAnsi(value.bstrVal, static_cast<int>(SysStringLen(value.bstrVal)));
  } else if (value.vt != VT_EMPTY && value.vt != VT_NULL) {
    const HRESULT hr = VariantChangeType(&value, &value, 0, VT_BSTR);
    if (FAILED(hr)) {
      VariantClear(&value);
      RaiseOleError(hr);
    }
    url = WideToAnsi(value.bstrVal, static_cast<int>(SysStringLen(value.bstrVal)));
  }
  VariantClear(&value);
  return url;
}

HRESULT TEmbeddedWB::GetHostInfo(DOCHOSTUIINFO* pInfo) {
  if (!pInfo) return E_POINTER;
  std::memset(pInfo, 0, sizeof(DOCHOSTUIINFO));
  pInfo->cbSize = sizeof(DOCHOSTUIINFO);
  pInfo->dwFlags = uiOptions_.Value();
  pInfo->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  if (OnGetHostInfo) OnGetHostInfo(*this, *pInfo);
  if (!pInfo->pchHostCss && !HostCSS.empty()) pInfo->pchHostCss = AnsiToCoTaskString(HostCSS);
  if (!pInfo->pchHostNS && !HostNS.empty()) pInfo->pchHostNS = AnsiToCoTaskString(HostNS);
  return S_OK;
}

HRESULT TEmbeddedWB::GetExternal(IDispatch** ppDispatch) {
  if (!ppDispatch) return E_POINTER;
  *ppDispatch = nullptr;
  if (OnGetExternal) OnGetExternal(*this, *ppDispatch);
  return *ppDispatch ? S_OK : S_FALSE;
}

HRESULT TEmbeddedWB::TranslateAccelerator(const MSG* msg) const {
  if (!msg || msg->message != WM_KEYDOWN) return S_FALSE;
  const bool control = GetKeyState(VK_CONTROL) < 0;
  const bool alt = GetKeyState(VK_MENU) < 0;
  if (control && !alt && IsDisabledCtrlShortcut(ctrlShortcuts_, static_cast<unsigned>(msg->wParam))) return S_OK;
  return S_FALSE;
}

HRESULT TEmbeddedWB::Exec(const GUID* group, DWORD cmd, VARIANT* out) const {
  if (!group || *group != CGID_DocHostCommandHandler || cmd != OLECMDID_SHOWSCRIPTERROR)
    return OLECMDERR_E_UNKNOWNGROUP;
  switch (scriptErrorAction_) {
    case TScriptErrorAction::eaContinue:
    case TScriptErrorAction::eaCancel:
      // The out value tells the control whether to go on running the page's scripts.
      if (out) SetBool(*out, scriptErrorAction_ == TScriptErrorAction::eaContinue);
      return S_OK;
    case TScriptErrorAction::eaAskUser:
      break;
  }
  return OLECMDERR_E_NOTSUPPORTED;  // the control shows its own dialog
}

HRESULT TEmbeddedWB::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
  HRESULT rezult = E_NOTIMPL;  // the host itself knows no names
  if (OnGetIDsOfNames) OnGetIDsOfNames(*this, iid, names, count, lcid, ids, rezult);
  return rezult;
}

bool TEmbeddedWB::AnswerAmbient(DISPID id, VARIANT& result) const {
  switch (id) {
    case DISPID_AMBIENT_AUTOCLIP:
    case DISPID_AMBIENT_SUPPORTSMNEMONICS:
    case DISPID_AMBIENT_MESSAGEREFLECT:
      SetBool(result, true);
      return true;
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_UIDEAD:
      SetBool(result, false);
      return true;
    case DISPID_AMBIENT_LOCALEID:
      SetInt(result, static_cast<LONG>(GetUserDefaultLCID()));
      return true;
    case DISPID_AMBIENT_FORECOLOR:
      SetInt(result, static_cast<LONG>(FontColor));
      return true;
    case DISPID_AMBIENT_BACKCOLOR:
      SetInt(result, static_cast<LONG>(Color));
      return true;
    case DISPID_AMBIENT_FONT: {
      std::wstring face = AnsiToWide(FontName);
      FONTDESC desc{};
      desc.cbSizeofstruct = sizeof desc;
      desc.lpstrName = face.data();
      desc.cySize.int64 = static_cast<LONGLONG>(FontSize) * 10000;
      desc.sWeight = FW_NORMAL;
      desc.sCharset = DEFAULT_CHARSET;
      IFontDisp* font = nullptr;
      OleCheck(OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(&font)));
      VariantInit(&result);
      result.vt = VT_DISPATCH;
      result.pdispVal = font;
      return true;
    }
    case DISPID_AMBIENT_DISPLAYNAME:
      SetText(result, Name());
      return true;
    default:
      return false;
  }
}

HRESULT TEmbeddedWB::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* excep, UINT* argErr) {
  DISPPARAMS none{};
  DISPPARAMS& args = params ? *params : none;
  try {
    const bool get = (flags & DISPATCH_PROPERTYGET) && result;
    if (get) {
      switch (id) {
        case DISPID_AMBIENT_DLCONTROL:
          SetInt(*result, static_cast<LONG>(dlOptions_.Value()));
          return S_OK;
        case DISPID_AMBIENT_USERMODE:
          SetBool(*result, !userModePut_);
          return S_OK;
        case DISPID_AMBIENT_USERAGENT:
          if (UserAgent.empty()) break;
          SetText(*result, UserAgent);
          return S_OK;
        default:
          break;
      }
    } else if ((flags & DISPATCH_PROPERTYPUT) && id == DISPID_AMBIENT_USERMODE) {
      if (args.cArgs < 1 || !args.rgvarg) return DISP_E_BADPARAMCOUNT;
      VARIANT value;
      VariantInit(&value);
      if (FAILED(VariantChangeType(&value, &args.rgvarg[0], 0, VT_BOOL))) {
        if (argErr) *argErr = 0;
        return DISP_E_TYPEMISMATCH;
      }
      userModePut_ = value.boolVal != VARIANT_FALSE;
      return S_OK;
    }
    if (get && AnswerAmbient(id, *result)) return S_OK;
    HRESULT rezult = DISP_E_MEMBERNOTFOUND;
    if (OnInvoke) OnInvoke(*this, id, iid, lcid, flags, args, result, excep, argErr, rezult);
    return rezult;
  } catch (const forms::EMurmellaError& e) {
    FillException(excep, e.ClassName(), e.what(), e.HelpContext());
  } catch (const std::exception& e) {
    FillException(excep, "Exception", e.what(), 0);
  } catch (...) {
    FillException(excep, "Exception", "Unknown error", 0);
  }
  return DISP_E_EXCEPTION;
}

}  // namespace murmella::pagehost
