// The COM object base of the framework: the process-wide counters that DllCanUnloadNow
// reads, and TBCUnknown with its delegating and non-delegating IUnknown.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

// Live framework objects, server locks and references held on class factories. None of them
// ever goes below zero: an unpaired unlock or release would make the library look unused while
// something still lives in it.
struct TBCServerCounters {
  static volatile LONG ObjectCount;
  static volatile LONG LockCount;
  static volatile LONG FactoryRefCount;
};

// Lowers a counter that is above zero and gives its new value; -1, with the counter left at
// zero, when there was nothing to lower.
LONG BCDecrementAboveZero(volatile LONG& counter);

// Base of every framework object that COM can reach: its life is counted so that the library
// is not unloaded under it.
class TBCBaseObject {
 public:
  explicit TBCBaseObject(const wchar_t* name);
  virtual ~TBCBaseObject();
  TBCBaseObject(const TBCBaseObject&) = delete;
  TBCBaseObject& operator=(const TBCBaseObject&) = delete;
  const std::wstring& ObjectName() const { return objectName_; }

 private:
  std::wstring objectName_;
};

class TBCClassFactory;

// The reference-counted object base. Every COM interface of a descendant answers IUnknown by
// delegating to the controlling unknown (the outer object when aggregated, else the object's
// own inner IUnknown, whose methods are InnerQueryInterface, InnerAddRef and InnerRelease).
class TBCUnknown : public TBCBaseObject {
 public:
  TBCUnknown(const wchar_t* name, IUnknown* outer);
  ~TBCUnknown() override;

  virtual HRESULT InnerQueryInterface(REFIID iid, void** out);
  virtual ULONG InnerAddRef();
  virtual ULONG InnerRelease();

  // The object's own IUnknown: what a query for IID_IUnknown hands out.
  IUnknown* InnerUnknown() { return &inner_; }
  // The outer object when aggregated, else the own IUnknown.
  IUnknown* ControllingUnknown() { return outer_ ? outer_ : &inner_; }
  LONG RefCount() const { return refCount_; }

 protected:
  HRESULT DelegatingQueryInterface(REFIID iid, void** out);
  ULONG DelegatingAddRef();
  ULONG DelegatingRelease();

  // Each class answers the interfaces it declares and then asks its base, so lookup runs in
  // class order; a base COM interface that the class does not declare is never matched.
  virtual void* FindInterface(REFIID iid);

  // Runs once when the last reference goes, while the object is still whole (virtual calls
  // reach the most derived class); references taken and dropped here do not destroy it again.
  virtual void OnFinalRelease() {}

  volatile LONG refCount_ = 0;

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(TBCUnknown* owner) : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return owner_->InnerQueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->InnerAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->InnerRelease(); }

   private:
    TBCUnknown* owner_;
  };

  Inner inner_;
  IUnknown* outer_;  // not counted: the outer object owns us
};

// The delegating IUnknown of a class that adds COM interfaces; one final overrider serves
// every interface the class inherits.
#define BC_DECLARE_UNKNOWN                                                                        \
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return DelegatingQueryInterface(iid, out); } \
  STDMETHODIMP_(ULONG) AddRef() override { return DelegatingAddRef(); }                           \
  STDMETHODIMP_(ULONG) Release() override { return DelegatingRelease(); }

// The interface pointer as the class's own view of it, for FindInterface.
template <class Interface, class Object>
void* BCInterface(Object* object) {
  return static_cast<void*>(static_cast<Interface*>(object));
}
