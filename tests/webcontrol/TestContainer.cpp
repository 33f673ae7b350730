#include "TestContainer.h"

#include "ContainerIds.h"

#include <cwchar>

namespace murmella::webcontrol::test {

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20)), QS_ALLINPUT);
  }
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

namespace {
constexpr DISPID kLog = 1, kCount = 2, kPump = 3;
}

HRESULT TTestExternal::QueryInterface(REFIID iid, void** out) {
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

ULONG TTestExternal::Release() {
  const ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

HRESULT TTestExternal::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  const std::wstring n = names[0];
  ids[0] = n == L"log" ? kLog : n == L"count" ? kCount : n == L"pump" ? kPump : DISPID_UNKNOWN;
  return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT TTestExternal::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                              UINT*) {
  VARIANT arg;
  VariantInit(&arg);
  if (params->cArgs > 0) VariantChangeType(&arg, &params->rgvarg[params->cArgs - 1], 0, VT_BSTR);
  const std::wstring text = arg.vt == VT_BSTR && arg.bstrVal ? arg.bstrVal : L"";
  VariantClear(&arg);
  switch (id) {
    case kLog:
      Log.push_back(text);
      if (OnLog) OnLog();
      return S_OK;
    case kCount:
      ++Count;
      return S_OK;
    case kPump:
      ++Depth;
      MaxDepth = std::max(MaxDepth, Depth);
      if (DuringPump) DuringPump();
      PumpFor(static_cast<DWORD>(_wtoi(text.c_str())));
      --Depth;
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

TTestSite::TTestSite() : external_(new TTestExternal) {}
TTestSite::~TTestSite() { external_->Release(); }

HRESULT TTestSite::QueryInterface(REFIID iid, void** out) {
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
  else if ((iid == IID_IOleInPlaceSite || iid == IID_IOleWindow) && InPlaceWindow)
    *out = static_cast<IOleInPlaceSite*>(this);
  else if (iid == IID_IDocHostUIHandler) *out = static_cast<IDocHostUIHandler*>(this);
  else if (iid == IID_IOleCommandTarget) *out = static_cast<IOleCommandTarget*>(this);
  else if (iid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
  else return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG TTestSite::Release() {
  const ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

HRESULT TTestSite::GetHostInfo(DOCHOSTUIINFO* info) {
  ++HostInfoCalls;
  info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
  return S_OK;
}

HRESULT TTestSite::TranslateAccelerator(LPMSG msg, const GUID*, DWORD) {
  const bool ctrlN = msg->message == WM_KEYDOWN && msg->wParam == 'N';
  return ctrlN ? S_OK : S_FALSE;
}

HRESULT TTestSite::GetExternal(IDispatch** d) {
  ++ExternalCalls;
  *d = nullptr;
  if (!OffersExternal) return S_FALSE;
  *d = external_;
  external_->AddRef();
  return S_OK;
}

HRESULT TTestSite::Exec(const GUID* group, DWORD id, DWORD, VARIANT*, VARIANT* out) {
  if (group && *group == kCgidDocHostCommandHandler && id == OLECMDID_SHOWSCRIPTERROR) {
    ++ScriptErrors;
    if (out) {
      VariantInit(out);
      out->vt = VT_BOOL;
      out->boolVal = ScriptErrorsContinue ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
  }
  OtherCommands.push_back(id);
  return OLECMDERR_E_UNKNOWNGROUP;
}

HRESULT TTestSite::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
  AmbientReads.push_back(id);
  if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
  VariantInit(result);
  if (id == DISPID_AMBIENT_DLCONTROL && DownloadControl) {
    result->vt = VT_I4;
    result->lVal = *DownloadControl;
    return S_OK;
  }
  if (id == DISPID_AMBIENT_USERAGENT && UserAgent) {
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocString(UserAgent->c_str());
    return S_OK;
  }
  if (id == DISPID_AMBIENT_USERMODE) {
    result->vt = VT_BOOL;
    result->boolVal = UserMode ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

}  // namespace murmella::webcontrol::test
