// The four exports of an in-process server built on the framework. The library's .def file
// names them with their ordinals.
#include "BCClassFactory.h"
#include "BCGuard.h"

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  TBCClassFactory* factory = TBCFilterTemplate::Instance().FactoryFor(clsid);
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  const bool unused = TBCServerCounters::ObjectCount == 0 && TBCServerCounters::LockCount == 0 &&
                     TBCServerCounters::FactoryRefCount == 0;
  return unused ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
  return BCGuarded([] { return TBCFilterTemplate::Instance().RegisterAll(true); });
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  return BCGuarded([] { return TBCFilterTemplate::Instance().RegisterAll(false); });
}
