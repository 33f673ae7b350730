#include "BCClassFactory.h"

#include "BCGuard.h"

#include <cstdio>

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
  return ULONG(InterlockedDecrement(&TBCServerCounters::FactoryRefCount));
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
  const HRESULT hr = CoLockObjectExternal(static_cast<IClassFactory*>(this), lock, TRUE);
  if (lock)
    InterlockedIncrement(&TBCServerCounters::ObjectCount);
  else
    InterlockedDecrement(&TBCServerCounters::ObjectCount);
  return hr;
}

namespace {

std::wstring ClassKeyName(REFCLSID clsid) {
  wchar_t text[64];
  StringFromGUID2(clsid, text, 64);  // upper-case hexadecimal in braces
  return std::wstring(L"CLSID\\") + text;
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        DWORD((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool CreateKeyWithDefault(const std::wstring& path, const std::wstring& value, HKEY* out) {
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, out, nullptr) !=
      ERROR_SUCCESS)
    return false;
  if (SetString(*out, nullptr, value)) return true;
  RegCloseKey(*out);
  return false;
}

}  // namespace

std::wstring BCModulePath() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&BCModulePath), &module);
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

bool TBCClassFactory::RegisterServerKeys(bool doRegister) {
  const std::wstring classKey = ClassKeyName(ClassId);
  const std::wstring serverKey = classKey + L"\\InprocServer32";
  if (!doRegister) {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, serverKey.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, classKey.c_str());
    return true;
  }
  HKEY key = nullptr;
  if (!CreateKeyWithDefault(classKey, FriendlyName, &key)) return false;
  RegCloseKey(key);
  const std::wstring path = BCModulePath();
  if (path.empty() || !CreateKeyWithDefault(serverKey, path, &key)) return false;
  const bool ok = SetString(key, L"ThreadingModel", L"Both");
  RegCloseKey(key);
  return ok;
}

bool TBCClassFactory::RegisterWithMapper2(IFilterMapper2* mapper, bool doRegister) {
  bool ok = SUCCEEDED(mapper->UnregisterFilter(&FilterCategory, nullptr, ClassId));
  if (doRegister) {
    REGFILTER2 filter{};
    filter.dwVersion = 1;
    filter.dwMerit = FilterMerit;
    filter.cPins = PinRecordCount;
    filter.rgPins = PinRecords;
    ok = SUCCEEDED(mapper->RegisterFilter(ClassId, FriendlyName, nullptr, &FilterCategory, nullptr, &filter));
  }
  return ok;
}

bool TBCClassFactory::RegisterWithMapper(IFilterMapper* mapper, bool doRegister) {
  const bool ok = SUCCEEDED(mapper->UnregisterFilter(ClassId));
  if (!doRegister) return ok;
  if (FAILED(mapper->RegisterFilter(ClassId, FriendlyName, FilterMerit))) return false;
  for (UINT i = 0; i < PinRecordCount; ++i) {
    const REGFILTERPINS& pin = PinRecords[i];
    const CLSID connectsTo = pin.clsConnectsToFilter ? *pin.clsConnectsToFilter : GUID_NULL;
    if (FAILED(mapper->RegisterPin(ClassId, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany,
                                   connectsTo, pin.strConnectsToPin)))
      return false;
    for (UINT t = 0; t < pin.nMediaTypes; ++t) {
      const REGPINTYPES& type = pin.lpMediaType[t];
      if (FAILED(mapper->RegisterPinType(ClassId, pin.strName, *type.clsMajorType, *type.clsMinorType)))
        return false;
    }
  }
  return true;
}

TBCFilterMapper::TBCFilterMapper() {
  if (FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                              reinterpret_cast<void**>(&mapper2_)))) {
    mapper2_ = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                                reinterpret_cast<void**>(&mapper_))))
      mapper_ = nullptr;
  }
}

TBCFilterMapper::~TBCFilterMapper() {
  if (mapper2_) mapper2_->Release();
  if (mapper_) mapper_->Release();
}

bool TBCFilterMapper::Register(TBCClassFactory& factory, bool doRegister) {
  factory.RegisterServerKeys(false);
  const bool mapped = mapper2_ ? factory.RegisterWithMapper2(mapper2_, doRegister)
                               : factory.RegisterWithMapper(mapper_, doRegister);
  if (!mapped) return false;
  return factory.RegisterServerKeys(doRegister);
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

bool TBCFilterTemplate::RegisterAll(bool doRegister) {
  if (!head_) return false;
  TBCFilterMapper mapper;
  if (!mapper.Available()) return false;
  for (TBCClassFactory* f = head_; f; f = f->NextFactory)
    if (!mapper.Register(*f, doRegister)) return false;
  return true;
}
