#include "VirtualWebCamFilter.h"

#include "UMain.h"

TBCVirtualWebCam::TBCVirtualWebCam(const wchar_t* name, IUnknown* outer, HRESULT* result)
    : TBCSource(name, outer, vwc::kClsidVirtualWebCam) {
  try {
    pin_ = new TBCVirtualWebCamPin(result, this);
    if (result && FAILED(*result) && !pin_) *result = E_OUTOFMEMORY;
  } catch (...) {
    if (result) *result = E_OUTOFMEMORY;
    OutputDebugStringA("vwc: Error in TBCVirtualWebCam.Create call...");
  }
}

TBCVirtualWebCam::~TBCVirtualWebCam() {
  // The pin goes first: it detaches itself from the source's list while the filter is whole.
  try {
    delete pin_;
  } catch (...) {
    OutputDebugStringA("vwc: TBCVirtualWebCamPin.Destroy call...");
  }
  pin_ = nullptr;
}

TBCUnknown* TBCVirtualWebCam::CreateFromFactory(TBCClassFactory& factory, IUnknown* outer) {
  try {
    HRESULT ignored = S_OK;
    return new TBCVirtualWebCam(factory.FriendlyName, outer, &ignored);
  } catch (...) {
    OutputDebugStringA("vwc: Error in TBCVirtualWebCam.CreateFromFactory call...");
    return nullptr;
  }
}

STDMETHODIMP TBCVirtualWebCam::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (!pages->pElems) {
    pages->cElems = 0;
    return E_OUTOFMEMORY;
  }
  pages->cElems = 1;
  pages->pElems[0] = vwc::kClsidSettingsPage;
  return S_OK;
}

void* TBCVirtualWebCam::FindInterface(REFIID iid) {
  if (iid == IID_IAMFilterMiscFlags) return BCInterface<IAMFilterMiscFlags>(this);
  if (iid == IID_ISpecifyPropertyPages) return BCInterface<ISpecifyPropertyPages>(this);
  return TBCSource::FindInterface(iid);
}
