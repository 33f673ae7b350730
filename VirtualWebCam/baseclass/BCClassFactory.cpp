#include "BCClassFactory.h"

#include "BCGuard.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>

TBCClassFactory::TBCClassFactory(TBCObjectClass objectClass, const wchar_t* friendlyName, const CLSID& classId,
                                 const GUID& filterCategory, DWORD filterMerit, UINT pinRecordCount,
                                 const REGFILTERPINS* pinRecords)
    : ObjectClass(objectClass),
      FriendlyName(friendlyName),
      ClassId(classId),
      FilterCategory(filterCategory),
      FilterMerit(filterMerit),
      PinRecordCount(pinRecordCount),
      PinRecords(pinRecords) {
  TBCFilterTemplate::Instance().Add(this);
}

STDMETHODIMP TBCClassFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IClassFactory || iid == IID_IUnknown) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// A factory lives as long as the library; its references only keep the library loaded.
STDMETHODIMP_(ULONG) TBCClassFactory::AddRef() { return ULONG(InterlockedIncrement(&TBCServerCounters::FactoryRefCount)); }

STDMETHODIMP_(ULONG) TBCClassFactory::Release() {
  const LONG left = BCDecrementAboveZero(TBCServerCounters::FactoryRefCount);
  if (left >= 0) return ULONG(left);
  OutputDebugStringA("vwc: Release on a class factory without references");
  return 0;
}

STDMETHODIMP TBCClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  // An aggregating outer object may only ask for our own IUnknown.
  if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  return BCGuarded([&]() -> HRESULT {
    TBCUnknown* object = ObjectClass(*this, outer);
    if (!object) return E_OUTOFMEMORY;
    // With an outer object the query must reach our own IUnknown, not the outer's.
    const HRESULT hr = outer ? object->InnerQueryInterface(iid, out)
                             : object->ControllingUnknown()->QueryInterface(iid, out);
    if (object->RefCount() == 0) delete object;
    return hr;
  });
}

STDMETHODIMP TBCClassFactory::LockServer(BOOL lock) {
  if (lock) {
    const HRESULT hr = CoLockObjectExternal(static_cast<IClassFactory*>(this), TRUE, TRUE);
    InterlockedIncrement(&TBCServerCounters::LockCount);
    return hr;
  }
  // An unlock without a lock would take away one that someone else holds.
  if (BCDecrementAboveZero(TBCServerCounters::LockCount) < 0) {
    OutputDebugStringA("vwc: LockServer(FALSE) without a lock");
    return E_UNEXPECTED;
  }
  return CoLockObjectExternal(static_cast<IClassFactory*>(this), FALSE, TRUE);
}

namespace {

std::wstring ClassKeyName(REFCLSID clsid) {
  wchar_t text[64];
  StringFromGUID2(clsid, text, 64);  // upper-case hexadecimal in braces
  return std::wstring(L"CLSID\\") + text;
}

std::wstring ServerKeyName(REFCLSID clsid) { return ClassKeyName(clsid) + L"\\InprocServer32"; }

HRESULT FromStatus(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

HRESULT SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return FromStatus(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   DWORD((value.size() + 1) * sizeof(wchar_t))));
}

HRESULT CreateKeyWithDefault(const std::wstring& path, const std::wstring& value, HKEY* out) {
  HRESULT hr =
      FromStatus(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, out, nullptr));
  if (FAILED(hr)) return hr;
  hr = SetString(*out, nullptr, value);
  if (FAILED(hr)) RegCloseKey(*out);
  return hr;
}

// One string value of a key as it stood, or its absence.
struct StoredString {
  bool Present = false;
  std::wstring Text;
};

StoredString ReadString(HKEY key, const wchar_t* name) {
  StoredString value;
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ) return value;
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS)
    return value;
  text.resize(wcsnlen(text.c_str(), bytes / sizeof(wchar_t)));
  value.Present = true;
  value.Text = std::move(text);
  return value;
}

void PutBack(HKEY key, const wchar_t* name, const StoredString& value) {
  if (value.Present)
    SetString(key, name, value.Text);
  else
    RegDeleteValueW(key, name);
}

// The values a registration writes into a class's server keys, as they were before it, so that
// a registration that fails part way can leave the earlier one in place.
class ServerKeySnapshot {
 public:
  explicit ServerKeySnapshot(REFCLSID clsid) : classKey_(ClassKeyName(clsid)), serverKey_(ServerKeyName(clsid)) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, classKey_.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      hadClassKey_ = true;
      name_ = ReadString(key, nullptr);
      RegCloseKey(key);
    }
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, serverKey_.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      hadServerKey_ = true;
      path_ = ReadString(key, nullptr);
      threading_ = ReadString(key, L"ThreadingModel");
      RegCloseKey(key);
    }
  }

  void Restore() const {
    HKEY key = nullptr;
    if (!hadServerKey_) {
      RegDeleteKeyW(HKEY_CLASSES_ROOT, serverKey_.c_str());
    } else if (RegOpenKeyExW(HKEY_CLASSES_ROOT, serverKey_.c_str(), 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
      PutBack(key, nullptr, path_);
      PutBack(key, L"ThreadingModel", threading_);
      RegCloseKey(key);
    }
    if (!hadClassKey_) {
      RegDeleteKeyW(HKEY_CLASSES_ROOT, classKey_.c_str());
    } else if (RegOpenKeyExW(HKEY_CLASSES_ROOT, classKey_.c_str(), 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
      PutBack(key, nullptr, name_);
      RegCloseKey(key);
    }
  }

 private:
  std::wstring classKey_, serverKey_;
  bool hadClassKey_ = false, hadServerKey_ = false;
  StoredString name_, path_, threading_;
};

}  // namespace

HMODULE BCModuleHandle() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&BCModuleHandle), &module);
  return module;
}

std::wstring BCModulePath() {
  const HMODULE module = BCModuleHandle();
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, path.data(), DWORD(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

HRESULT TBCClassFactory::RegisterServerKeys(bool doRegister) {
  const std::wstring classKey = ClassKeyName(ClassId);
  const std::wstring serverKey = ServerKeyName(ClassId);
  if (!doRegister) {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, serverKey.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, classKey.c_str());
    return S_OK;
  }
  HKEY key = nullptr;
  HRESULT hr = CreateKeyWithDefault(classKey, FriendlyName, &key);
  if (FAILED(hr)) return hr;
  RegCloseKey(key);
  const std::wstring path = BCModulePath();
  if (path.empty()) return E_FAIL;
  hr = CreateKeyWithDefault(serverKey, path, &key);
  if (FAILED(hr)) return hr;
  hr = SetString(key, L"ThreadingModel", L"Both");
  RegCloseKey(key);
  return hr;
}

HRESULT TBCClassFactory::RegisterWithMapper2(IFilterMapper2* mapper, bool doRegister) {
  if (!doRegister) return mapper->UnregisterFilter(&FilterCategory, nullptr, ClassId);
  // The new entry replaces an earlier one in place, so a refused one leaves the earlier.
  REGFILTER2 filter{};
  filter.dwVersion = 1;
  filter.dwMerit = FilterMerit;
  filter.cPins = PinRecordCount;
  filter.rgPins = PinRecords;
  return mapper->RegisterFilter(ClassId, FriendlyName, nullptr, &FilterCategory, nullptr, &filter);
}

// The older mapper adds pins to an entry, so a registration starts from none.
HRESULT TBCClassFactory::RegisterWithMapper(IFilterMapper* mapper, bool doRegister) {
  HRESULT hr = mapper->UnregisterFilter(ClassId);
  if (!doRegister) return hr;
  hr = mapper->RegisterFilter(ClassId, FriendlyName, FilterMerit);
  if (FAILED(hr)) return hr;
  for (UINT i = 0; i < PinRecordCount; ++i) {
    const REGFILTERPINS& pin = PinRecords[i];
    const CLSID connectsTo = pin.clsConnectsToFilter ? *pin.clsConnectsToFilter : GUID_NULL;
    hr = mapper->RegisterPin(ClassId, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany, connectsTo,
                             pin.strConnectsToPin);
    if (FAILED(hr)) return hr;
    for (UINT t = 0; t < pin.nMediaTypes; ++t) {
      const REGPINTYPES& type = pin.lpMediaType[t];
      hr = mapper->RegisterPinType(ClassId, pin.strName, *type.clsMajorType, *type.clsMinorType);
      if (FAILED(hr)) return hr;
    }
  }
  return S_OK;
}

TBCFilterMapper::TBCFilterMapper() {
  status_ = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                             reinterpret_cast<void**>(&mapper2_));
  if (FAILED(status_)) {
    mapper2_ = nullptr;
    status_ = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                               reinterpret_cast<void**>(&mapper_));
    if (FAILED(status_)) mapper_ = nullptr;
  }
}

TBCFilterMapper::TBCFilterMapper(IFilterMapper2* mapper) : mapper2_(mapper), status_(mapper ? S_OK : E_POINTER) {
  if (mapper2_) mapper2_->AddRef();
}

TBCFilterMapper::~TBCFilterMapper() {
  if (mapper2_) mapper2_->Release();
  if (mapper_) mapper_->Release();
}

HRESULT TBCFilterMapper::Register(TBCClassFactory& factory, bool doRegister) {
  if (FAILED(status_)) return status_;
  auto mapperEntry = [&] {
    if (!factory.IsFilter()) return S_OK;
    return mapper2_ ? factory.RegisterWithMapper2(mapper2_, doRegister)
                    : factory.RegisterWithMapper(mapper_, doRegister);
  };
  if (!doRegister) {
    factory.RegisterServerKeys(false);
    return mapperEntry();
  }
  const ServerKeySnapshot earlier(factory.ClassId);
  HRESULT hr = factory.RegisterServerKeys(true);
  if (SUCCEEDED(hr)) hr = mapperEntry();
  if (FAILED(hr)) earlier.Restore();
  return hr;
}

TBCFilterTemplate& TBCFilterTemplate::Instance() {
  static TBCFilterTemplate instance;
  return instance;
}

TBCFilterTemplate::~TBCFilterTemplate() {
  while (head_) {
    TBCClassFactory* next = head_->NextFactory;
    delete head_;
    head_ = next;
  }
}

void TBCFilterTemplate::Add(TBCClassFactory* factory) {
  factory->NextFactory = head_;
  head_ = factory;
}

TBCClassFactory* TBCFilterTemplate::FactoryFor(REFCLSID clsid) const {
  for (TBCClassFactory* f = head_; f; f = f->NextFactory)
    if (f->ClassId == clsid) return f;
  return nullptr;
}

HRESULT TBCFilterTemplate::RegisterAll(bool doRegister) {
  if (!head_) return E_FAIL;
  TBCFilterMapper mapper;
  return RegisterAll(doRegister, mapper);
}

HRESULT TBCFilterTemplate::RegisterAll(bool doRegister, TBCFilterMapper& mapper) {
  if (!head_) return E_FAIL;
  for (TBCClassFactory* f = head_; f; f = f->NextFactory) {
    const HRESULT hr = mapper.Register(*f, doRegister);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}
