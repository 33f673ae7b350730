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

  // The class's server keys under HKEY_CLASSES_ROOT; FALSE when registering failed.
  bool RegisterServerKeys(bool doRegister);
  bool RegisterWithMapper2(IFilterMapper2* mapper, bool doRegister);
  bool RegisterWithMapper(IFilterMapper* mapper, bool doRegister);

  TBCObjectClass ObjectClass;
  const wchar_t* FriendlyName;
  CLSID ClassId;
  GUID FilterCategory;
  DWORD FilterMerit;
  UINT PinRecordCount;
  const REGFILTERPINS* PinRecords;
  TBCClassFactory* NextFactory = nullptr;
};

// Whichever filter mapper the platform offers, the newer one first.
class TBCFilterMapper {
 public:
  TBCFilterMapper();
  ~TBCFilterMapper();
  TBCFilterMapper(const TBCFilterMapper&) = delete;
  TBCFilterMapper& operator=(const TBCFilterMapper&) = delete;
  bool Available() const { return mapper2_ || mapper_; }
  // Server keys off, the mapper entry, then the server keys as asked: one factory's part of
  // a registration.
  bool Register(TBCClassFactory& factory, bool doRegister);

 private:
  IFilterMapper2* mapper2_ = nullptr;
  IFilterMapper* mapper_ = nullptr;
};

class TBCFilterTemplate {
 public:
  static TBCFilterTemplate& Instance();
  ~TBCFilterTemplate();  // frees every factory in the list
  TBCFilterTemplate(const TBCFilterTemplate&) = delete;
  TBCFilterTemplate& operator=(const TBCFilterTemplate&) = delete;

  void Add(TBCClassFactory* factory);
  TBCClassFactory* FactoryFor(REFCLSID clsid) const;
  bool RegisterAll(bool doRegister);
  TBCClassFactory* First() const { return head_; }

 private:
  TBCFilterTemplate() = default;
  TBCClassFactory* head_ = nullptr;
};

// The full path of the module this code is linked into (the .ax, not the host).
std::wstring BCModulePath();
