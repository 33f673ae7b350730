// The camera filter: a source with exactly one TBCVirtualWebCamPin, flagged as a source so that
// graph builders treat it as a live device, and offering its settings page.
#pragma once

#include "BaseClass.h"

#include <windows.h>
#include <dshow.h>
#include <ocidl.h>

class TBCVirtualWebCamPin;

class TBCVirtualWebCam final : public TBCSource, public IAMFilterMiscFlags, public ISpecifyPropertyPages {
 public:
  // result tells whether the pin exists (E_OUTOFMEMORY when it could not be made).
  TBCVirtualWebCam(const wchar_t* name, IUnknown* outer, HRESULT* result);
  ~TBCVirtualWebCam() override;

  // What the library's class factory calls.
  static TBCUnknown* CreateFromFactory(TBCClassFactory& factory, IUnknown* outer);

  BC_DECLARE_UNKNOWN

  // IAMFilterMiscFlags
  STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

  // ISpecifyPropertyPages: the camera's own settings page, what "camera settings" buttons open.
  STDMETHODIMP GetPages(CAUUID* pages) override;

  TBCVirtualWebCamPin* Pin() const { return pin_; }

 protected:
  void* FindInterface(REFIID iid) override;

 private:
  TBCVirtualWebCamPin* pin_ = nullptr;
};
