// The library as COM and the registration tool reach it: the class object and the unload
// answer that follows every reference, interfaces answered in class order only, aggregation,
// and a registration round trip through regsvr32, the exports and IAMovieSetup that the
// device enumerator sees.
#include "TestServerDll.h"

#include <string>

namespace {

std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* name) {
  wchar_t text[1024];
  DWORD size = sizeof text;
  if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return L"<none>";
  return text;
}

bool KeyExists(const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::wstring ClassKey() {
  wchar_t text[64];
  StringFromGUID2(CLSID_BCTestSource, text, 64);
  return std::wstring(L"CLSID\\") + text;
}

// Whether an enumeration of filter monikers names the test source.
bool NamesTestSource(IEnumMoniker* monikers) {
  bool found = false;
  for (ComPtr<IMoniker> moniker; monikers && monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) continue;
    VARIANT name, clsid;
    VariantInit(&name);
    VariantInit(&clsid);
    CLSID listed{};
    if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && SUCCEEDED(bag->Read(L"CLSID", &clsid, nullptr)) &&
        SUCCEEDED(CLSIDFromString(clsid.bstrVal, &listed)))
      found |= wcscmp(name.bstrVal, kBCTestSourceName) == 0 && listed == CLSID_BCTestSource;
    VariantClear(&name);
    VariantClear(&clsid);
  }
  return found;
}

// Whether the system device enumerator lists the test source among the video input devices.
bool ListedAsVideoInput() {
  ComPtr<ICreateDevEnum> devices;
  ComPtr<IEnumMoniker> monikers;
  return SUCCEEDED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&devices))) &&
         devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) == S_OK &&
         NamesTestSource(monikers.Get());
}

// Whether the filter mapper offers the test source for an RGB32 video output.
bool FoundByMapper() {
  ComPtr<IFilterMapper2> mapper;
  ComPtr<IEnumMoniker> monikers;
  const GUID output[2] = {MEDIATYPE_Video, MEDIASUBTYPE_RGB32};
  return SUCCEEDED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper))) &&
         SUCCEEDED(mapper->EnumMatchingFilters(&monikers, 0, FALSE, MERIT_DO_NOT_USE, FALSE, 0, nullptr, nullptr,
                                               nullptr, FALSE, TRUE, 1, output, nullptr, nullptr)) &&
         NamesTestSource(monikers.Get());
}

DWORD RunRegsvr32(const std::wstring& args) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring cmd = L"\"" + std::wstring(system) + L"\\regsvr32.exe\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return DWORD(-1);
  DWORD code = DWORD(-2);
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return code;
}

// An outer object that aggregates the counter source and counts the queries delegated to it.
class Outer final : public IUnknown {
 public:
  TEST_REFCOUNT
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    ++Queries;
    if (iid == IID_IUnknown) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return Inner->QueryInterface(iid, out);
  }
  ComPtr<IUnknown> Inner;
  std::atomic<int> Queries{0};
};

}  // namespace

TEST(Server, ClassObjectAndUnloadAnswer) {
  TestServerDll& dll = TestServerDll::Get();
  ASSERT_TEST_SERVER(dll);
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);

  void* out = &dll;
  EXPECT_EQ(dll.GetClassObject(CLSID_FilterGraph, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  out = &dll;
  EXPECT_EQ(dll.GetClassObject(CLSID_BCTestSource, IID_IBaseFilter, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(dll.GetClassObject(CLSID_BCTestSource, IID_PPV_ARGS(&factory)), S_OK);
  EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "a factory reference is outstanding";
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(factory.As(&unknown), S_OK);
  EXPECT_EQ(unknown.Get(), static_cast<IUnknown*>(factory.Get()));
  unknown.Reset();

  // A query the object cannot answer destroys what was just made.
  out = &dll;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IAMFilterMiscFlags, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter)), S_OK);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr), E_POINTER);

  // A server lock outlives the factory reference that took it.
  ASSERT_HRESULT_SUCCEEDED(factory->LockServer(TRUE));
  factory.Reset();
  filter.Reset();
  EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "the server is locked";
  ASSERT_EQ(dll.GetClassObject(CLSID_BCTestSource, IID_PPV_ARGS(&factory)), S_OK);
  ASSERT_HRESULT_SUCCEEDED(factory->LockServer(FALSE));
  EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
  factory.Reset();
  EXPECT_EQ(dll.CanUnloadNow(), S_OK) << "an object, lock or factory reference was left behind";
}

TEST(Server, InterfacesInClassOrderOnly) {
  TestServerDll& dll = TestServerDll::Get();
  ASSERT_TEST_SERVER(dll);
  ComPtr<IBaseFilter> filter = dll.CreateFilter();
  ASSERT_NE(filter.Get(), nullptr);
  ComPtr<IPin> pin;
  ASSERT_EQ(filter->FindPin(L"Out", &pin), S_OK);
  struct Case {
    const char* name;
    IUnknown* object;
    const IID& iid;
    HRESULT expected;
  } cases[] = {
      {"filter IBaseFilter", filter.Get(), IID_IBaseFilter, S_OK},
      {"filter IAMovieSetup", filter.Get(), IID_IAMovieSetup, S_OK},
      {"filter's own control", filter.Get(), IID_IBCCounterControl, S_OK},
      {"filter IMediaFilter by its own IID", filter.Get(), IID_IMediaFilter, E_NOINTERFACE},
      {"filter IPersist by its own IID", filter.Get(), IID_IPersist, E_NOINTERFACE},
      {"filter IPin", filter.Get(), IID_IPin, E_NOINTERFACE},
      {"filter IAMFilterMiscFlags", filter.Get(), IID_IAMFilterMiscFlags, E_NOINTERFACE},
      {"pin IPin", pin.Get(), IID_IPin, S_OK},
      {"pin IQualityControl", pin.Get(), IID_IQualityControl, S_OK},
      {"pin IMemInputPin", pin.Get(), IID_IMemInputPin, E_NOINTERFACE},
      {"pin IBaseFilter", pin.Get(), IID_IBaseFilter, E_NOINTERFACE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    void* out = &dll;
    EXPECT_EQ(c.object->QueryInterface(c.iid, &out), c.expected);
    if (c.expected != S_OK) {
      EXPECT_EQ(out, nullptr);
      continue;
    }
    // Every interface leads to the same object identity.
    ComPtr<IUnknown> viaInterface, viaObject;
    static_cast<IUnknown*>(out)->QueryInterface(IID_PPV_ARGS(&viaInterface));
    c.object->QueryInterface(IID_PPV_ARGS(&viaObject));
    EXPECT_EQ(viaInterface.Get(), viaObject.Get());
    static_cast<IUnknown*>(out)->Release();
  }
  // A pin's references are its filter's: holding the pin keeps the filter.
  filter->AddRef();
  const ULONG before = filter->Release();
  pin->AddRef();
  filter->AddRef();
  EXPECT_EQ(filter->Release(), before + 1);
  pin->Release();
  pin.Reset();
  filter.Reset();
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

TEST(Server, Aggregation) {
  TestServerDll& dll = TestServerDll::Get();
  ASSERT_TEST_SERVER(dll);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(dll.GetClassObject(CLSID_BCTestSource, IID_PPV_ARGS(&factory)), S_OK);
  {
    ComPtr<Outer> outer = Adopt(new Outer);
    void* out = &dll;
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IBaseFilter, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(factory->CreateInstance(outer.Get(), IID_PPV_ARGS(&outer->Inner)), S_OK);
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(outer->Inner.As(&filter), S_OK);
    // The filter's interfaces answer IUnknown for the outer object.
    const int queries = outer->Queries;
    ComPtr<IUnknown> identity;
    ASSERT_EQ(filter.As(&identity), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(outer.Get()));
    EXPECT_EQ(outer->Queries, queries + 1);
    identity.Reset();
    filter.Reset();
    outer->Inner.Reset();
  }
  factory.Reset();
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

TEST(Server, RegistrationRoundTrip) {
  TestServerDll& dll = TestServerDll::Get();
  ASSERT_TEST_SERVER(dll);
  const std::wstring classKey = ClassKey(), serverKey = classKey + L"\\InprocServer32";
  enum Way { Regsvr32, Exports, FilterSetup };
  for (Way way : {Regsvr32, Exports, FilterSetup}) {
    SCOPED_TRACE(way == Regsvr32 ? "regsvr32" : way == Exports ? "exports" : "IAMovieSetup");
    ComPtr<IAMovieSetup> setup;
    if (way == FilterSetup) {
      ASSERT_EQ(dll.CreateFilter().As(&setup), S_OK);
    }
    auto run = [&](bool doRegister) -> HRESULT {
      switch (way) {
        case Regsvr32: return RunRegsvr32(doRegister ? L"/s \"" + dll.Path + L"\"" : L"/s /u \"" + dll.Path + L"\"") == 0 ? S_OK : E_FAIL;
        case Exports: return doRegister ? dll.RegisterServer() : dll.UnregisterServer();
        case FilterSetup: return doRegister ? setup->Register() : setup->Unregister();
      }
      return E_FAIL;
    };
    ASSERT_EQ(run(true), S_OK);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, classKey, nullptr), kBCTestSourceName);
    EXPECT_EQ(_wcsicmp(ReadString(HKEY_CLASSES_ROOT, serverKey, nullptr).c_str(), dll.Path.c_str()), 0)
        << "InprocServer32 must name the library itself";
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, serverKey, L"ThreadingModel"), L"Both");
    EXPECT_TRUE(ListedAsVideoInput());
    EXPECT_TRUE(FoundByMapper());
    // Registering twice is the same as once.
    ASSERT_EQ(run(true), S_OK);
    EXPECT_TRUE(ListedAsVideoInput());
    EXPECT_EQ(run(false), S_OK);
    EXPECT_FALSE(KeyExists(serverKey));
    EXPECT_FALSE(KeyExists(classKey)) << "unregistering left the class key";
    EXPECT_FALSE(ListedAsVideoInput());
    EXPECT_FALSE(FoundByMapper());
  }
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}
