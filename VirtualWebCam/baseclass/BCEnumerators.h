// The enumerators a filter hands out for its pins and a pin for its media types.
#pragma once

#include "BCObject.h"

#include <windows.h>
#include <dshow.h>

#include <vector>

class TBCBaseFilter;
class TBCBasePin;

class TBCEnumPins final : public TBCBaseObject, public IEnumPins {
 public:
  // From the filter's current pins, or a copy of source's position and list.
  TBCEnumPins(TBCBaseFilter* filter, const TBCEnumPins* source);
  ~TBCEnumPins() override;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** out) override;

 private:
  bool OutOfSync() const;
  void Refresh();

  volatile LONG refCount_ = 1;
  TBCBaseFilter* filter_;
  int position_ = 0;
  int pinCount_ = 0;
  LONG version_ = 0;
  std::vector<TBCBasePin*> handedOut_;
};

class TBCEnumMediaTypes final : public TBCBaseObject, public IEnumMediaTypes {
 public:
  TBCEnumMediaTypes(TBCBasePin* pin, const TBCEnumMediaTypes* source);
  ~TBCEnumMediaTypes() override;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** out) override;

 private:
  bool OutOfSync() const;

  volatile LONG refCount_ = 1;
  TBCBasePin* pin_;
  int position_ = 0;
  LONG version_ = 0;
};
