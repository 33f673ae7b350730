// The class factory of one creatable class with the data it is registered under, the list of
// all factories of the library, and the registration that the server exports perform.
#pragma once

#include "BCObject.h"

#include <windows.h>
#include <dshow.h>

class TBCClassFactory;

// The virtual constructor the factory calls: builds the object for an optional outer unknown.
using TBCObjectClass = TBCUnknown* (*)(TBCClassFactory& factory, IUnknown* outer);

class TBCClassFactory final : public IClassFactory {
 public:
  // Puts itself at the head of the template's list; the template frees it at unload.
  TBCClassFactory(TBCObjectClass objectClass, const wchar_t* friendlyName, const CLSID& classId,
                  const GUID& filterCategory, DWORD filterMerit, UINT pinRecordCount, const REGFILTERPINS* pinRecords);
  ~TBCClassFactory() = default;
  TBCClassFactory(const TBCClassFactory&) = delete;
  TBCClassFactory& operator=(const TBCClassFactory&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  STDMETHODIMP LockServer(BOOL lock) override;

  // A class registered with a filter category is a filter; one with GUID_NULL is a plain COM
  // class (a settings page), which gets its server keys and no mapper entry.
  bool IsFilter() const { return FilterCategory != GUID_NULL; }

  // The class's server keys under HKEY_CLASSES_ROOT, and its entry with either mapper. Each
  // gives the failure of the call that failed.
  HRESULT RegisterServerKeys(bool doRegister);
  HRESULT RegisterWithMapper2(IFilterMapper2* mapper, bool doRegister);
  HRESULT RegisterWithMapper(IFilterMapper* mapper, bool doRegister);

  TBCObjectClass ObjectClass;
  const wchar_t* FriendlyName;
  CLSID ClassId;
  GUID FilterCategory;
  DWORD FilterMerit;
  UINT PinRecordCount;
  const REGFILTERPINS* PinRecords;
  TBCClassFactory* NextFactory = nullptr;
};

// Whichever filter mapper the platform offers, the newer one first, or the one given.
class TBCFilterMapper {
 public:
  TBCFilterMapper();
  explicit TBCFilterMapper(IFilterMapper2* mapper);
  ~TBCFilterMapper();
  TBCFilterMapper(const TBCFilterMapper&) = delete;
  TBCFilterMapper& operator=(const TBCFilterMapper&) = delete;
  // S_OK with a mapper, else why none could be had.
  HRESULT Status() const { return status_; }
  // One factory's part of a registration: its server keys and its mapper entry. A failed
  // registration leaves the earlier one as it was; unregistering removes both.
  HRESULT Register(TBCClassFactory& factory, bool doRegister);

 private:
  IFilterMapper2* mapper2_ = nullptr;
  IFilterMapper* mapper_ = nullptr;
  HRESULT status_ = S_OK;
};

class TBCFilterTemplate {
 public:
  static TBCFilterTemplate& Instance();
  ~TBCFilterTemplate();  // frees every factory in the list
  TBCFilterTemplate(const TBCFilterTemplate&) = delete;
  TBCFilterTemplate& operator=(const TBCFilterTemplate&) = delete;

  void Add(TBCClassFactory* factory);
  TBCClassFactory* FactoryFor(REFCLSID clsid) const;
  // Every factory in list order, stopping at the first failure, which it returns.
  HRESULT RegisterAll(bool doRegister);
  HRESULT RegisterAll(bool doRegister, TBCFilterMapper& mapper);
  TBCClassFactory* First() const { return head_; }

 private:
  TBCFilterTemplate() = default;
  TBCClassFactory* head_ = nullptr;
};

// The module this code is linked into (the .ax, not the host), and its full path.
HMODULE BCModuleHandle();
std::wstring BCModulePath();
