// The test server DLL loaded as a host loads a filter library, with its four exports.
#pragma once

#include "TestPeers.h"

#include <string>

struct TestServerDll {
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using ServerFn = HRESULT(STDAPICALLTYPE*)();

  // Loaded once per program and kept: the exports' counters are what the tests read.
  static TestServerDll& Get() {
    static TestServerDll dll;
    return dll;
  }

  std::wstring Path;
  HMODULE Module = nullptr;
  GetClassObjectFn GetClassObject = nullptr;
  ServerFn CanUnloadNow = nullptr, RegisterServer = nullptr, UnregisterServer = nullptr;

  // A new counter source through the class factory, as CoCreateInstance would make it.
  ComPtr<IBaseFilter> CreateFilter() {
    ComPtr<IClassFactory> factory;
    ComPtr<IBaseFilter> filter;
    if (SUCCEEDED(GetClassObject(CLSID_BCTestSource, IID_PPV_ARGS(&factory))))
      factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter));
    return filter;
  }

 private:
  TestServerDll() {
    for (const char* c = BCTESTSOURCE_DLL; *c; ++c) Path += wchar_t(*c == '/' ? '\\' : *c);
    Module = LoadLibraryW(Path.c_str());
    if (!Module) return;
    auto get = [this](const char* name) { return reinterpret_cast<void*>(GetProcAddress(Module, name)); };
    GetClassObject = reinterpret_cast<GetClassObjectFn>(get("DllGetClassObject"));
    CanUnloadNow = reinterpret_cast<ServerFn>(get("DllCanUnloadNow"));
    RegisterServer = reinterpret_cast<ServerFn>(get("DllRegisterServer"));
    UnregisterServer = reinterpret_cast<ServerFn>(get("DllUnregisterServer"));
  }
};

// Every test of the server starts from a library that loaded and exports all four entries.
#define ASSERT_TEST_SERVER(dll)                                                             \
  ASSERT_NE((dll).Module, nullptr) << "cannot load the test server";                        \
  ASSERT_TRUE((dll).GetClassObject && (dll).CanUnloadNow && (dll).RegisterServer &&         \
              (dll).UnregisterServer)                                                       \
      << "the test server lacks an export"
