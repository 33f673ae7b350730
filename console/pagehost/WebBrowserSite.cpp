#include "WebBrowserSite.h"

#include "EmbeddedWB.h"

#include <exception>

namespace murmella::pagehost {

namespace {

// A handler that throws must not unwind into the control: the call fails instead.
template <typename F>
HRESULT Guarded(TEmbeddedWB* host, F&& f) {
  if (!host) return E_UNEXPECTED;
  try {
    return f(*host);
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace

STDMETHODIMP TWebBrowserSite::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IOleClientSite)
    *ppv = static_cast<IOleClientSite*>(this);
  else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
    *ppv = static_cast<IOleInPlaceSite*>(this);
  else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
    *ppv = static_cast<IOleInPlaceFrame*>(this);
  else if (riid == IID_IDocHostUIHandler)
    *ppv = static_cast<IDocHostUIHandler*>(this);
  else if (riid == IID_IOleCommandTarget)
    *ppv = static_cast<IOleCommandTarget*>(this);
  else if (riid == IID_IDispatch)
    *ppv = static_cast<IDispatch*>(this);
  else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) TWebBrowserSite::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) TWebBrowserSite::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP TWebBrowserSite::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
  if (ppmk) *ppmk = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TWebBrowserSite::GetContainer(IOleContainer** ppContainer) {
  if (ppContainer) *ppContainer = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP TWebBrowserSite::GetWindow(HWND* phwnd) {
  if (!phwnd) return E_POINTER;
  *phwnd = host_ ? host_->ParentWindow() : nullptr;
  return host_ ? S_OK : E_UNEXPECTED;
}

STDMETHODIMP TWebBrowserSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                               LPRECT lprcPosRect, LPRECT lprcClipRect,
                                               LPOLEINPLACEFRAMEINFO lpFrameInfo) {
  if (!ppFrame || !ppDoc || !lprcPosRect || !lprcClipRect || !lpFrameInfo) return E_POINTER;
  *ppFrame = nullptr;
  *ppDoc = nullptr;
  if (!host_) return E_UNEXPECTED;
  *ppFrame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  *lprcPosRect = host_->Bounds();
  *lprcClipRect = host_->Bounds();
  lpFrameInfo->cb = sizeof(OLEINPLACEFRAMEINFO);
  lpFrameInfo->fMDIApp = FALSE;
  lpFrameInfo->hwndFrame = host_->ParentWindow();
  lpFrameInfo->haccel = nullptr;
  lpFrameInfo->cAccelEntries = 0;
  return S_OK;
}

STDMETHODIMP TWebBrowserSite::GetHostInfo(DOCHOSTUIINFO* pInfo) {
  return Guarded(host_, [&](TEmbeddedWB& h) { return h.GetHostInfo(pInfo); });
}

STDMETHODIMP TWebBrowserSite::TranslateAccelerator(LPMSG lpMsg, const GUID*, DWORD) {
  return Guarded(host_, [&](TEmbeddedWB& h) { return h.TranslateAccelerator(lpMsg); });
}

STDMETHODIMP TWebBrowserSite::GetOptionKeyPath(LPOLESTR* pchKey, DWORD) {
  if (pchKey) *pchKey = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TWebBrowserSite::GetDropTarget(IDropTarget*, IDropTarget** ppDropTarget) {
  if (ppDropTarget) *ppDropTarget = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TWebBrowserSite::GetExternal(IDispatch** ppDispatch) {
  if (ppDispatch) *ppDispatch = nullptr;
  return Guarded(host_, [&](TEmbeddedWB& h) { return h.GetExternal(ppDispatch); });
}

STDMETHODIMP TWebBrowserSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* ppchURLOut) {
  if (ppchURLOut) *ppchURLOut = nullptr;
  return S_FALSE;
}

STDMETHODIMP TWebBrowserSite::FilterDataObject(IDataObject*, IDataObject** ppDORet) {
  if (ppDORet) *ppDORet = nullptr;
  return S_FALSE;
}

STDMETHODIMP TWebBrowserSite::QueryStatus(const GUID*, ULONG, OLECMD[], OLECMDTEXT*) {
  return OLECMDERR_E_UNKNOWNGROUP;
}

STDMETHODIMP TWebBrowserSite::Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD, VARIANT*, VARIANT* pvaOut) {
  return Guarded(host_, [&](TEmbeddedWB& h) { return h.Exec(pguidCmdGroup, nCmdID, pvaOut); });
}

STDMETHODIMP TWebBrowserSite::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP TWebBrowserSite::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TWebBrowserSite::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) {
  return Guarded(host_, [&](TEmbeddedWB& h) { return h.GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId); });
}

STDMETHODIMP TWebBrowserSite::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                     UINT* puArgErr) {
  // The host turns a handler's error into DISP_E_EXCEPTION itself.
  return Guarded(host_, [&](TEmbeddedWB& h) {
    return h.Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
  });
}

}  // namespace murmella::pagehost
