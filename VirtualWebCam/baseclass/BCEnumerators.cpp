#include "BCEnumerators.h"

#include "BCBaseFilter.h"
#include "BCBasePin.h"
#include "BCGuard.h"

#include <algorithm>

namespace {

template <class Interface, class Object>
HRESULT QueryEnumerator(Object* self, REFIID own, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == own || iid == IID_IUnknown) {
    *out = static_cast<Interface*>(self);
    self->AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG ReleaseEnumerator(volatile LONG& count, TBCBaseObject* self) {
  const LONG n = InterlockedDecrement(&count);
  if (n == 0) delete self;
  return ULONG(n < 0 ? 0 : n);
}

}  // namespace

// ---- pins

TBCEnumPins::TBCEnumPins(TBCBaseFilter* filter, const TBCEnumPins* source)
    : TBCBaseObject(L"TBCEnumPins"), filter_(filter) {
  BCAssert(filter != nullptr);
  if (source) {
    position_ = source->position_;
    pinCount_ = source->pinCount_;
    version_ = source->version_;
    handedOut_ = source->handedOut_;
  } else {
    version_ = filter->PinListVersion();
    pinCount_ = filter->PinCount();
  }
  filter_->AsBaseFilter()->AddRef();
}

TBCEnumPins::~TBCEnumPins() { filter_->AsBaseFilter()->Release(); }

STDMETHODIMP TBCEnumPins::QueryInterface(REFIID iid, void** out) {
  return QueryEnumerator<IEnumPins>(this, IID_IEnumPins, iid, out);
}

STDMETHODIMP_(ULONG) TBCEnumPins::AddRef() { return ULONG(InterlockedIncrement(&refCount_)); }

STDMETHODIMP_(ULONG) TBCEnumPins::Release() { return ReleaseEnumerator(refCount_, this); }

bool TBCEnumPins::OutOfSync() const { return filter_->PinListVersion() != version_; }

void TBCEnumPins::Refresh() {
  version_ = filter_->PinListVersion();
  pinCount_ = filter_->PinCount();
}

STDMETHODIMP TBCEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (fetched) *fetched = 0;
  if (count == 0) return S_FALSE;  // nothing asked, nothing handed out; pins may be null
  if (!pins) return E_POINTER;
  pins[0] = nullptr;
  if (!fetched && count > 1) return E_INVALIDARG;
  return BCGuarded([&]() -> HRESULT {
    if (OutOfSync()) {
      Refresh();
      position_ = 0;
    }
    const int left = pinCount_ - position_;
    ULONG n = left > 0 ? std::min<ULONG>(count, ULONG(left)) : 0;
    if (n == 0) return S_FALSE;
    ULONG handed = 0;
    while (handed < n && position_ < pinCount_) {
      TBCBasePin* pin = filter_->PinAt(position_++);
      if (!pin) {
        if (fetched) *fetched = handed;
        return VFW_E_ENUM_OUT_OF_SYNC;
      }
      if (std::find(handedOut_.begin(), handedOut_.end(), pin) != handedOut_.end()) continue;
      handedOut_.push_back(pin);
      pins[handed] = pin->AsPin();
      pins[handed]->AddRef();
      ++handed;
    }
    if (fetched) *fetched = handed;
    return handed == count ? S_OK : S_FALSE;
  });
}

STDMETHODIMP TBCEnumPins::Skip(ULONG count) {
  if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  const int left = pinCount_ - position_;
  if (ULONGLONG(count) > ULONGLONG(left > 0 ? left : 0)) return S_FALSE;
  position_ += int(count);
  return S_OK;
}

STDMETHODIMP TBCEnumPins::Reset() {
  Refresh();
  position_ = 0;
  handedOut_.clear();
  return S_OK;
}

STDMETHODIMP TBCEnumPins::Clone(IEnumPins** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  return BCGuarded([&]() -> HRESULT {
    *out = new (std::nothrow) TBCEnumPins(filter_, this);
    return *out ? S_OK : E_OUTOFMEMORY;
  });
}

// ---- media types

TBCEnumMediaTypes::TBCEnumMediaTypes(TBCBasePin* pin, const TBCEnumMediaTypes* source)
    : TBCBaseObject(L"TBCEnumMediaTypes"), pin_(pin) {
  BCAssert(pin != nullptr);
  if (source) {
    position_ = source->position_;
    version_ = source->version_;
  } else {
    version_ = pin->TypeVersion();
  }
  pin_->AsPin()->AddRef();
}

TBCEnumMediaTypes::~TBCEnumMediaTypes() { pin_->AsPin()->Release(); }

STDMETHODIMP TBCEnumMediaTypes::QueryInterface(REFIID iid, void** out) {
  return QueryEnumerator<IEnumMediaTypes>(this, IID_IEnumMediaTypes, iid, out);
}

STDMETHODIMP_(ULONG) TBCEnumMediaTypes::AddRef() { return ULONG(InterlockedIncrement(&refCount_)); }

STDMETHODIMP_(ULONG) TBCEnumMediaTypes::Release() { return ReleaseEnumerator(refCount_, this); }

bool TBCEnumMediaTypes::OutOfSync() const { return pin_->TypeVersion() != version_; }

STDMETHODIMP TBCEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
  if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  if (fetched) *fetched = 0;
  if (count == 0) return S_OK;
  if (!types) return E_POINTER;
  if (!fetched && count > 1) return E_INVALIDARG;
  return BCGuarded([&]() -> HRESULT {
    ULONG handed = 0;
    while (handed < count) {
      TBCScratchType scratch;
      const HRESULT hr = pin_->ProposeType(position_++, scratch.Ptr());
      if (hr != S_OK) break;
      auto* record = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
      if (!record) break;
      // The format block and pUnk move into the record; the scratch gives them up.
      *record = scratch.Get();
      scratch.Get().cbFormat = 0;
      scratch.Get().pbFormat = nullptr;
      scratch.Get().pUnk = nullptr;
      types[handed++] = record;
    }
    if (fetched) *fetched = handed;
    return handed == count ? S_OK : S_FALSE;
  });
}

STDMETHODIMP TBCEnumMediaTypes::Skip(ULONG count) {
  if (count == 0) return S_OK;
  if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  return BCGuarded([&]() -> HRESULT {
    position_ += int(count);
    TBCScratchType scratch;
    return pin_->ProposeType(position_ - 1, scratch.Ptr()) == S_OK ? S_OK : S_FALSE;
  });
}

STDMETHODIMP TBCEnumMediaTypes::Reset() {
  position_ = 0;
  version_ = pin_->TypeVersion();
  return S_OK;
}

STDMETHODIMP TBCEnumMediaTypes::Clone(IEnumMediaTypes** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  return BCGuarded([&]() -> HRESULT {
    *out = new (std::nothrow) TBCEnumMediaTypes(pin_, this);
    return *out ? S_OK : E_OUTOFMEMORY;
  });
}
