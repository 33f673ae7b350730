#include "ScriptSafety.h"

#include "ComSupport.h"

#include <objsafe.h>
#include <urlmon.h>

namespace murmella::webcontrol {

namespace {

// Stateless and shared by every page: its reference count does not matter.
class TRefusingSecurityManager final : public IInternetHostSecurityManager {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return QueryOne<IInternetHostSecurityManager>(this, IID_IInternetHostSecurityManager, iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetSecurityId(BYTE*, DWORD* size, DWORD_PTR) override {
    if (size) *size = 0;
    return E_NOTIMPL;
  }
  // Every action (running or initialising a control, binding a moniker, scripting an object)
  // is disallowed, whatever the engine asks about.
  HRESULT STDMETHODCALLTYPE ProcessUrlAction(DWORD, BYTE* policy, DWORD size, BYTE*, DWORD, DWORD,
                                             DWORD) override {
    if (policy && size >= sizeof(DWORD)) *reinterpret_cast<DWORD*>(policy) = URLPOLICY_DISALLOW;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE QueryCustomPolicy(REFGUID, BYTE** policy, DWORD* size, BYTE*, DWORD, DWORD) override {
    if (!policy || !size) return E_POINTER;
    *policy = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(DWORD)));
    if (!*policy) {
      *size = 0;
      return E_OUTOFMEMORY;
    }
    *reinterpret_cast<DWORD*>(*policy) = URLPOLICY_DISALLOW;
    *size = sizeof(DWORD);
    return S_FALSE;
  }
};

TRefusingSecurityManager refusing;

}  // namespace

bool MakeEngineSafe(IActiveScript* engine) {
  Microsoft::WRL::ComPtr<IObjectSafety> safety;
  if (!engine || FAILED(engine->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf()))))
    return false;
  constexpr DWORD kWanted = INTERFACESAFE_FOR_UNTRUSTED_DATA | INTERFACE_USES_SECURITY_MANAGER;
  // The parse interface is the one the page's text comes through; the engine applies the
  // options to itself as a whole.
  const IID& parse = __uuidof(IActiveScriptParse);
  if (FAILED(safety->SetInterfaceSafetyOptions(parse, kWanted, kWanted))) return false;
  DWORD supported = 0, enabled = 0;
  return SUCCEEDED(safety->GetInterfaceSafetyOptions(parse, &supported, &enabled)) &&
         (enabled & kWanted) == kWanted;
}

HRESULT QueryPageSecurity(REFGUID service, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (service != SID_SInternetHostSecurityManager) return E_NOINTERFACE;
  return refusing.QueryInterface(iid, out);
}

}  // namespace murmella::webcontrol
