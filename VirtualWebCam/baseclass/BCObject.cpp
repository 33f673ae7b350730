#include "BCObject.h"

#include "BCGuard.h"

#include <cstdio>

volatile LONG TBCServerCounters::ObjectCount = 0;
volatile LONG TBCServerCounters::LockCount = 0;
volatile LONG TBCServerCounters::FactoryRefCount = 0;

LONG BCDecrementAboveZero(volatile LONG& counter) {
  for (LONG seen = counter; seen > 0; seen = counter)
    if (InterlockedCompareExchange(&counter, seen - 1, seen) == seen) return seen - 1;
  return -1;
}

void BCAssertionFailed(const char* condition, const char* file, int line) {
  char text[512];
  snprintf(text, sizeof text, "vwc: assertion failed: %s (%s:%d)", condition, file, line);
  OutputDebugStringA(text);
  throw EBCAssertion(text);
}

TBCBaseObject::TBCBaseObject(const wchar_t* name) : objectName_(name ? name : L"") {
  InterlockedIncrement(&TBCServerCounters::ObjectCount);
}

TBCBaseObject::~TBCBaseObject() { InterlockedDecrement(&TBCServerCounters::ObjectCount); }

TBCUnknown::TBCUnknown(const wchar_t* name, IUnknown* outer) : TBCBaseObject(name), inner_(this), outer_(outer) {}

TBCUnknown::~TBCUnknown() = default;

void* TBCUnknown::FindInterface(REFIID iid) {
  if (iid == IID_IUnknown) return static_cast<IUnknown*>(&inner_);
  return nullptr;
}

HRESULT TBCUnknown::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = FindInterface(iid);
  if (!*out) return E_NOINTERFACE;
  static_cast<IUnknown*>(*out)->AddRef();
  return S_OK;
}

ULONG TBCUnknown::InnerAddRef() { return ULONG(InterlockedIncrement(&refCount_)); }

ULONG TBCUnknown::InnerRelease() {
  const LONG count = InterlockedDecrement(&refCount_);
  if (count == 0) {
    // Hold a reference of our own while the last rites run, so that a QueryInterface and
    // Release inside them cannot start a second destruction.
    refCount_ = 1;
    try {
      OnFinalRelease();
    } catch (...) {
      OutputDebugStringA("vwc: Error in TBCUnknown final release...");
    }
    delete this;
    return 0;
  }
  if (count < 0) {
    // An unbalanced Release from a client: keep the object alive rather than free it twice.
    InterlockedIncrement(&refCount_);
    OutputDebugStringA("vwc: Release on an object without references");
    return 0;
  }
  return ULONG(count);
}

HRESULT TBCUnknown::DelegatingQueryInterface(REFIID iid, void** out) {
  return outer_ ? outer_->QueryInterface(iid, out) : InnerQueryInterface(iid, out);
}

ULONG TBCUnknown::DelegatingAddRef() { return outer_ ? outer_->AddRef() : InnerAddRef(); }

ULONG TBCUnknown::DelegatingRelease() { return outer_ ? outer_->Release() : InnerRelease(); }
