// The stand-in control's COM object: the browser interface, the OLE object and its in-place
// activation, the container protocol, navigation and the life of each page.
#include "StandInBrowser.h"

#include "ComSupport.h"
#include "ContainerIds.h"
#include "PageCharset.h"
#include "PageFetch.h"
#include "PageRules.h"
#include "PageScripts.h"
#include "PageThread.h"
#include "UrlResolve.h"

#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <mshtmdid.h>
#include <docobj.h>
#include <oleidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <atomic>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>

using Microsoft::WRL::ComPtr;

namespace murmella::webcontrol {

namespace {

constexpr UINT kFetchDone = WM_APP + 1;  // wParam: the navigation's ticket
constexpr UINT kDeferred = WM_APP + 2;   // work held back while a script was on the stack
constexpr DISPID kDispidLocationUrl = 211;
// Looks for a page script past its time; a window timer, so it runs inside any message loop of
// the control's thread, nested ones included.
constexpr UINT_PTR kWatchdogTimer = 1;
constexpr UINT kWatchdogMs = 250;
constexpr wchar_t kWindowClass[] = L"MurmellaStandInWebControl";


HRESULT ReturnBstr(BSTR* out, const std::wstring& text) {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out || text.empty() ? S_OK : E_OUTOFMEMORY;
}

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

struct TWindowDestroyer {
  void operator()(HWND h) const { DestroyWindow(h); }
};
using TWindow = std::unique_ptr<std::remove_pointer_t<HWND>, TWindowDestroyer>;

class TStandInBrowser final : public TUntypedDispatch<IWebBrowser2>,
                              public IOleObject,
                              public IOleInPlaceObject,
                              public IOleInPlaceActiveObject,
                              public IOleControl,
                              private TPageOwner {
 public:
  TStandInBrowser();
  ~TStandInBrowser();
  bool Ready() const { return messages_ != nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }

  // IDispatch: LocationURL only, which is what containers read through it.
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override;

  // IWebBrowser
  HRESULT STDMETHODCALLTYPE GoBack() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GoForward() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GoHome() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GoSearch() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override;
  HRESULT STDMETHODCALLTYPE Refresh() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Refresh2(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE get_Application(IDispatch** d) override { return NoObject(d); }
  HRESULT STDMETHODCALLTYPE get_Parent(IDispatch** d) override { return NoObject(d); }
  HRESULT STDMETHODCALLTYPE get_Container(IDispatch** d) override { return NoObject(d); }
  HRESULT STDMETHODCALLTYPE get_Document(IDispatch** d) override { return NoObject(d); }
  HRESULT STDMETHODCALLTYPE get_TopLevelContainer(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Type(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Left(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Left(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Top(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Top(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Width(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Width(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Height(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Height(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LocationName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override { return ReturnBstr(url, location_); }
  HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* busy) override {
    if (!busy) return E_POINTER;
    *busy = Loading() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  // IWebBrowserApp
  HRESULT STDMETHODCALLTYPE Quit() override;
  HRESULT STDMETHODCALLTYPE ClientToWindow(int*, int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PutProperty(BSTR, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FullName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Path(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* v) override {
    if (!v) return E_POINTER;
    *v = visible_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL v) override;
  HRESULT STDMETHODCALLTYPE get_StatusBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_StatusBar(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_StatusText(BSTR* text) override { return ReturnBstr(text, status_); }
  HRESULT STDMETHODCALLTYPE put_StatusText(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ToolBar(int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ToolBar(int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_MenuBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_MenuBar(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FullScreen(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_FullScreen(VARIANT_BOOL) override { return E_NOTIMPL; }
  // IWebBrowser2
  HRESULT STDMETHODCALLTYPE Navigate2(VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryStatusWB(OLECMDID, OLECMDF*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ReadyState(READYSTATE* state) override {
    if (!state) return E_POINTER;
    *state = Loading() ? READYSTATE_LOADING : READYSTATE_COMPLETE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Offline(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Offline(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Silent(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RegisterAsBrowser(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_RegisterAsBrowser(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RegisterAsDropTarget(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_RegisterAsDropTarget(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_TheaterMode(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_TheaterMode(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_AddressBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_AddressBar(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Resizable(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Resizable(VARIANT_BOOL) override { return E_NOTIMPL; }

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
    if (!site) return E_POINTER;
    *site = site_.Get();
    if (*site) (*site)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close(DWORD) override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** m) override {
    if (m) *m = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject** d) override {
    if (d) *d = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* active, LONG, HWND parent,
                                   LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** e) override {
    if (e) *e = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Update() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsUpToDate() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR* t) override {
    if (t) *t = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** e) override {
    if (e) *e = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
    if (!status) return E_POINTER;
    // As the platform's control: the site first, so that ambient values are there to read.
    *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
              OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = view_.get();
    return view_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT) override {
    if (!position) return E_POINTER;
    if (view_)
      MoveWindow(view_.get(), position->left, position->top, position->right - position->left,
                 position->bottom - position->top, FALSE);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

  // IOleControl: the host says when an ambient value changed; the next page goes by it.
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID) override {
    return Guarded([&] { return ReadAmbients(true), S_OK; });
  }
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL) override { return S_OK; }

 private:
  // TPageOwner
  IDispatch* PageExternal(bool fresh) override;
  void NavigateFromPage(const std::wstring& url) override;
  bool ScriptErrorContinues(const std::wstring& description, ULONG line) override;

  static HRESULT NoObject(IDispatch** d) {
    if (d) *d = nullptr;
    return E_NOTIMPL;
  }
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
  void OnFetchDone(WPARAM ticket);
  void OnUnitDone(unsigned serial, bool stopped);
  void RunNextBlock();
  void StopRunaway();
  void RunDeferred();
  void ApplyResult(TFetchResult r);
  void StartNavigation(const std::wstring& url);
  void CancelNavigation();
  void ClosePage();
  void ReadAmbients(bool all);
  bool ReadAmbient(DISPID id, VARIANT& value);
  void AskHostInfo();

  // Every call of a page into the control runs through here: while one is on the stack, nothing
  // that would replace or close that page runs; it waits for the outermost call to return.
  template <class F>
  void InScript(F&& f);
  bool ScriptOnStack() const { return scriptDepth_ > 0; }
  // A page's script is running on its thread, or in a call into the control.
  bool ScriptRunning() const { return ScriptOnStack() || (page_ && (blockOutstanding_ || page_->Busy())); }
  // A page is complete once its inline blocks have run, as in the platform's control.
  bool Loading() const {
    return fetch_ || localResult_ || !waiting_.empty() || completionDue_ || blockOutstanding_ || !blocks_.empty();
  }
  void StartDownload();

  LONG refs_ = 1;
  TWindow messages_;  // message-only window: downloads' completions and page timers
  TWindow view_;      // the control's own window while in-place active; never painted
  ComPtr<IOleClientSite> site_;
  ComPtr<IOleInPlaceSite> inPlaceSite_;
  bool visible_ = false;

  // Ambient values, read from the site as the platform's control reads them.
  DWORD downloadControl_ = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS;
  bool userMode_ = true;
  std::wstring userAgent_;
  DWORD hostFlags_ = 0;

  std::wstring location_;  // LocationURL
  std::wstring status_;    // StatusText: the last page's status or why it did not load
  std::wstring requested_;
  bool scriptsAllowed_ = true;  // as the ambients were when the navigation started
  WPARAM ticket_ = 0;
  std::shared_ptr<TPageFetch> fetch_;
  std::optional<TFetchResult> localResult_;  // about:blank and refused addresses, no network
  std::string waiting_;                      // a download waiting for a worker to end
  std::shared_ptr<std::atomic<int>> liveDownloads_ = std::make_shared<std::atomic<int>>(0);
  std::unique_ptr<TPageThread> page_;
  unsigned lastPageSerial_ = 0;
  std::deque<TInlineScript> blocks_;  // the page's inline blocks not yet run
  bool blockOutstanding_ = false;     // one was handed to the page thread and has not returned
  bool pageLeft_ = false;             // the host navigated away: the page's own navigations no longer count
  ComPtr<IDispatch> pageExternal_;    // the container's external object as the page last read it

  int scriptDepth_ = 0;
  bool completionDue_ = false;
  bool closeDue_ = false;
};

TStandInBrowser::TStandInBrowser() {
  static const ATOM registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &TStandInBrowser::WindowProc;
    wc.hInstance = ThisModule();
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc);
  }();
  (void)registered;
  messages_.reset(CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), this));
  if (messages_) SetTimer(messages_.get(), kWatchdogTimer, kWatchdogMs, nullptr);
}

TStandInBrowser::~TStandInBrowser() {
  CancelNavigation();
  page_.reset();
  if (inPlaceSite_) inPlaceSite_->OnInPlaceDeactivate();
}

HRESULT TStandInBrowser::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser || iid == IID_IWebBrowserApp ||
      iid == IID_IWebBrowser2)
    *out = static_cast<IWebBrowser2*>(this);
  else if (iid == IID_IOleObject)
    *out = static_cast<IOleObject*>(this);
  else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
    *out = static_cast<IOleInPlaceObject*>(this);
  else if (iid == IID_IOleInPlaceActiveObject)
    *out = static_cast<IOleInPlaceActiveObject*>(this);
  else if (iid == IID_IOleControl)
    *out = static_cast<IOleControl*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

HRESULT TStandInBrowser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    // Names of a dispatch interface are not case-sensitive.
    const bool known = i == 0 && names[i] && _wcsicmp(names[i], L"LocationURL") == 0;
    ids[i] = known ? kDispidLocationUrl : DISPID_UNKNOWN;
    if (!known) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT TStandInBrowser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                UINT*) {
  if (id != kDispidLocationUrl) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (!result) return E_POINTER;
  VariantInit(result);
  result->vt = VT_BSTR;
  return get_LocationURL(&result->bstrVal);
}

HRESULT TStandInBrowser::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
  if (!url || SysStringLen(url) == 0) return E_INVALIDARG;
  if (!Ready()) return E_UNEXPECTED;
  return Guarded([&] {
    // The host's navigation wins over the page it leaves: a page that navigates on every tick
    // of a timer would otherwise cancel it for ever.
    if (page_) {
      page_->StopTimers();
      pageLeft_ = true;
    }
    StartNavigation(std::wstring(url, SysStringLen(url)));
    return S_OK;
  });
}

void TStandInBrowser::StartNavigation(const std::wstring& url) {
  CancelNavigation();
  // The platform's control asks again on every navigation: the host may have changed them.
  ReadAmbients(false);
  scriptsAllowed_ = userMode_ && !(downloadControl_ & DLCTL_NO_SCRIPTS);
  requested_ = url;
  const WPARAM ticket = ++ticket_;
  const std::string address = WideToUtf8(url);
  switch (ClassifyAddress(address)) {
    case TAddressKind::Http:
      waiting_ = address;
      StartDownload();
      return;
    case TAddressKind::Blank:
      localResult_ = TFetchResult{true, 200, "OK", "about:blank", {}, {}};
      break;
    case TAddressKind::Unsupported:
      localResult_ = TFetchResult{false, 0, "address not supported", address, {}, {}};
      break;
  }
  // Completed through the message loop too, so every navigation ends asynchronously.
  PostMessageW(messages_.get(), kFetchDone, ticket, 0);
}

void TStandInBrowser::StartDownload() {
  if (waiting_.empty() || *liveDownloads_ >= kMaxDownloads) return;
  fetch_ = TPageFetch::Start(std::move(waiting_), userAgent_, messages_.get(), kFetchDone, ticket_, liveDownloads_);
  waiting_.clear();
}

void TStandInBrowser::CancelNavigation() {
  if (fetch_) fetch_->Cancel();
  fetch_.reset();
  localResult_.reset();
  waiting_.clear();
  completionDue_ = false;
  ++ticket_;
}

HRESULT TStandInBrowser::Stop() {
  CancelNavigation();
  return S_OK;
}

HRESULT TStandInBrowser::Quit() {
  CancelNavigation();
  ClosePage();
  return S_OK;
}

HRESULT TStandInBrowser::put_Visible(VARIANT_BOOL v) {
  visible_ = v != VARIANT_FALSE;
  if (view_) ShowWindow(view_.get(), visible_ ? SW_SHOWNA : SW_HIDE);
  return S_OK;
}

void TStandInBrowser::ClosePage() {
  if (ScriptOnStack()) {
    closeDue_ = true;
    if (page_) page_->HoldTimers();
    return;
  }
  closeDue_ = false;
  blocks_.clear();
  blockOutstanding_ = false;
  pageExternal_.Reset();
  // A page whose script is still running is ended with its thread.
  const std::unique_ptr<TPageThread> page = std::move(page_);
}

template <class F>
void TStandInBrowser::InScript(F&& f) {
  // Left on every way out, or the control would wait for ever for a script to return.
  struct TDepth {
    TStandInBrowser& B;
    ComPtr<TStandInBrowser> Keep;  // a handler may drop the container's last reference
    explicit TDepth(TStandInBrowser& b) : B(b), Keep(&b) { ++B.scriptDepth_; }
    ~TDepth() {
      if (--B.scriptDepth_ == 0 && (B.completionDue_ || B.closeDue_))
        PostMessageW(B.messages_.get(), kDeferred, 0, 0);
    }
  } depth(*this);
  f();
}

LRESULT CALLBACK TStandInBrowser::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    const auto* cs = reinterpret_cast<CREATESTRUCTW*>(l);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<TStandInBrowser*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) {
    switch (message) {
      case kFetchDone:
        Guarded([&] { return self->OnFetchDone(w), S_OK; });
        return 0;
      case kDeferred:
        Guarded([&] { return self->RunDeferred(), S_OK; });
        return 0;
      case kPageCall: {
        LRESULT r = 0;
        Guarded([&] {
          self->InScript([&] { r = AnswerPageCall(*self, self->page_ ? self->page_->Serial() : 0, l); });
          return S_OK;
        });
        return r;
      }
      case kPageUnitDone:
        Guarded([&] { return self->OnUnitDone(static_cast<unsigned>(w), l != 0), S_OK; });
        return 0;
      case WM_TIMER:
        if (w == kWatchdogTimer) Guarded([&] { return self->StopRunaway(), S_OK; });
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, w, l);
}

void TStandInBrowser::OnFetchDone(WPARAM ticket) {
  StartDownload();                // a worker has ended: one waiting may start
  if (ticket != ticket_) return;  // a navigation since replaced
  if (ScriptRunning()) {
    completionDue_ = true;
    if (page_) page_->HoldTimers();
    return;
  }
  std::optional<TFetchResult> r = localResult_ ? std::move(localResult_) : fetch_ ? fetch_->Take() : std::nullopt;
  if (!r) return;  // still waiting for a worker
  localResult_.reset();
  fetch_.reset();
  completionDue_ = false;
  ApplyResult(std::move(*r));
}

void TStandInBrowser::OnUnitDone(unsigned serial, bool stopped) {
  if (!page_ || page_->Serial() != serial) return;  // a page since closed
  if (stopped) blocks_.clear();                      // an error the host did not let pass
  // Blocks run one after the other, each once the previous has returned; a close or a page's
  // own navigation due meanwhile waits for them, as when they ran on this thread.
  if (blockOutstanding_) {
    blockOutstanding_ = false;
    RunNextBlock();
  }
  if (!ScriptRunning()) RunDeferred();
}

void TStandInBrowser::RunNextBlock() {
  if (!page_ || blockOutstanding_ || blocks_.empty() || closeDue_) return;
  const TInlineScript s = std::move(blocks_.front());
  blocks_.pop_front();
  const std::u16string text = DecodePageText(s.Text);
  blockOutstanding_ = true;
  page_->RunBlock(std::wstring(text.begin(), text.end()), static_cast<ULONG>(s.Line));
}

void TStandInBrowser::StopRunaway() {
  // A page waiting for this thread's answer is not running; its time runs on meanwhile.
  if (!page_ || page_->InOwnerCall() || page_->BusyMs() <= kMaxScriptMs) return;
  {
    const std::unique_ptr<TPageThread> page = std::move(page_);
    blocks_.clear();
    blockOutstanding_ = false;
    pageExternal_.Reset();
    page->Kill();
  }
  // The page is gone with its timers before the host hears of it: its answer changes nothing.
  ScriptErrorContinues(L"A script on this page ran longer than " + std::to_wstring(kMaxScriptMs / 1000) +
                           L" seconds and was stopped",
                       0);
  if (!ScriptRunning()) RunDeferred();
}

void TStandInBrowser::RunDeferred() {
  if (ScriptRunning()) return;  // the page's unit or the outermost call brings it back here
  if (closeDue_) ClosePage();
  if (completionDue_) OnFetchDone(ticket_);
}

void TStandInBrowser::ApplyResult(TFetchResult r) {
  ClosePage();
  location_ = r.Loaded ? Utf8ToWide(r.FinalUrl) : requested_;
  status_ = Utf8ToWide(r.Loaded ? std::to_string(r.Status) + (r.StatusText.empty() ? "" : " " + r.StatusText)
                                : r.StatusText);
  if (!r.Loaded) {
    const std::string line = "webcontrol: " + WideToUtf8(requested_) + " did not load: " + r.StatusText;
    OutputDebugStringA(line.c_str());
  }
  // A new document asks its host how to show itself, as the platform's documents do.
  AskHostInfo();
  if (!r.Loaded || !scriptsAllowed_) return;
  // Scripts are found in the page's text, whatever its encoding, carried as UTF-8 from here on.
  std::vector<TInlineScript> scripts = ExtractInlineScripts(WideToUtf8(DecodePage(r.ContentType, r.Body)));
  if (scripts.empty()) return;
  auto page = std::make_unique<TPageThread>(messages_.get(), ++lastPageSerial_, location_);
  if (!page->Started()) return;
  page_ = std::move(page);
  pageLeft_ = false;
  // A block may stop the page (an error the host did not let pass) or ask for it to be closed;
  // a navigation it starts goes on in the background, as in a browser.
  blocks_.assign(std::make_move_iterator(scripts.begin()), std::make_move_iterator(scripts.end()));
  RunNextBlock();
}

IDispatch* TStandInBrowser::PageExternal(bool fresh) {
  if (!fresh) return pageExternal_.Get();
  pageExternal_.Reset();
  ComPtr<IDocHostUIHandler> handler;
  if (site_ && SUCCEEDED(site_.As(&handler))) {
    const HRESULT hr = handler->GetExternal(pageExternal_.GetAddressOf());
    if (hr != S_OK) pageExternal_.Reset();  // S_FALSE: the host has no external object
  }
  return pageExternal_.Get();
}

void TStandInBrowser::NavigateFromPage(const std::wstring& ref) {
  if (pageLeft_) return;  // the host's navigation wins over the page it leaves
  const std::wstring base = page_ ? page_->Url() : location_;
  const std::string absolute = ResolveUrl(WideToUtf8(base), WideToUtf8(ref));
  // A page leads only to other pages on the web: file:, javascript:, res: and the like are
  // refused without a fetch, and the page stays where it is.
  if (ClassifyAddress(absolute) != TAddressKind::Http) {
    OutputDebugStringA(("webcontrol: a page's navigation to " + WideToUtf8(ref) + " refused").c_str());
    return;
  }
  StartNavigation(Utf8ToWide(absolute));
}

bool TStandInBrowser::ScriptErrorContinues(const std::wstring& description, ULONG line) {
  const std::string text = "webcontrol: script error on line " + std::to_string(line) + ": " + WideToUtf8(description);
  OutputDebugStringA(text.c_str());
  ComPtr<IOleCommandTarget> target;
  if (!site_ || FAILED(site_.As(&target))) return false;
  VARIANT in, out;
  VariantInit(&in);
  VariantInit(&out);
  const HRESULT hr = target->Exec(&kCgidDocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, OLECMDEXECOPT_DODEFAULT,
                                  &in, &out);
  const bool goOn = hr == S_OK && out.vt == VT_BOOL && out.boolVal != VARIANT_FALSE;
  VariantClear(&out);
  return goOn;
}

bool TStandInBrowser::ReadAmbient(DISPID id, VARIANT& value) {
  VariantInit(&value);
  ComPtr<IDispatch> ambients;
  if (!site_ || FAILED(site_.As(&ambients))) return false;
  DISPPARAMS none{};
  return SUCCEEDED(ambients->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                                    nullptr, nullptr));
}

void TStandInBrowser::ReadAmbients(bool all) {
  VARIANT v;
  if (ReadAmbient(DISPID_AMBIENT_DLCONTROL, v) && SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4)))
    downloadControl_ = static_cast<DWORD>(v.lVal);
  VariantClear(&v);
  if (ReadAmbient(DISPID_AMBIENT_USERAGENT, v) && v.vt == VT_BSTR)
    userAgent_.assign(v.bstrVal ? v.bstrVal : L"", v.bstrVal ? SysStringLen(v.bstrVal) : 0);
  VariantClear(&v);
  if (!all) return;
  if (ReadAmbient(DISPID_AMBIENT_USERMODE, v) && SUCCEEDED(VariantChangeType(&v, &v, 0, VT_BOOL)))
    userMode_ = v.boolVal != VARIANT_FALSE;
  VariantClear(&v);
}

void TStandInBrowser::AskHostInfo() {
  ComPtr<IDocHostUIHandler> handler;
  if (!site_ || FAILED(site_.As(&handler))) return;
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof(info);
  if (SUCCEEDED(handler->GetHostInfo(&info))) hostFlags_ = info.dwFlags;
  CoTaskMemFree(info.pchHostCss);
  CoTaskMemFree(info.pchHostNS);
}

HRESULT TStandInBrowser::SetClientSite(IOleClientSite* site) {
  site_ = site;
  if (!site_) {
    CancelNavigation();
    ClosePage();
    return S_OK;
  }
  return Guarded([&] {
    ReadAmbients(true);
    AskHostInfo();
    return S_OK;
  });
}

HRESULT TStandInBrowser::Close(DWORD) {
  InPlaceDeactivate();
  CancelNavigation();
  ClosePage();
  return S_OK;
}

HRESULT TStandInBrowser::DoVerb(LONG verb, LPMSG, IOleClientSite* active, LONG, HWND parent, LPCRECT rect) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_OPEN:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      break;
    case OLEIVERB_HIDE:
      if (view_) ShowWindow(view_.get(), SW_HIDE);
      return S_OK;
    default:
      return OLEOBJ_S_INVALIDVERB;
  }
  if (view_) return S_OK;  // already active
  IOleClientSite* const from = active ? active : site_.Get();
  ComPtr<IOleInPlaceSite> inPlace;
  RECT position = rect ? *rect : RECT{0, 0, 0, 0};
  if (from && SUCCEEDED(from->QueryInterface(IID_PPV_ARGS(&inPlace)))) {
    if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
    inPlace->OnInPlaceActivate();
    HWND siteWindow = nullptr;
    if (SUCCEEDED(inPlace->GetWindow(&siteWindow)) && siteWindow) parent = siteWindow;
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> document;
    RECT clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof(frameInfo);
    if (SUCCEEDED(inPlace->GetWindowContext(&frame, &document, &position, &clip, &frameInfo)) && rect)
      position = *rect;
  }
  if (!parent) {
    if (inPlace) inPlace->OnInPlaceDeactivate();
    return E_INVALIDARG;
  }
  // Never shown unless the host sets Visible: the console runs its page unseen.
  view_.reset(CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_CLIPSIBLINGS | (visible_ ? WS_VISIBLE : 0),
                              position.left, position.top, position.right - position.left,
                              position.bottom - position.top, parent, nullptr, ThisModule(), nullptr));
  if (!view_) {
    if (inPlace) inPlace->OnInPlaceDeactivate();
    return HRESULT_FROM_WIN32(GetLastError());
  }
  inPlaceSite_ = std::move(inPlace);
  return S_OK;
}

HRESULT TStandInBrowser::InPlaceDeactivate() {
  view_.reset();
  if (inPlaceSite_) {
    const ComPtr<IOleInPlaceSite> s = std::move(inPlaceSite_);
    s->OnInPlaceDeactivate();
  }
  return S_OK;
}

HRESULT TStandInBrowser::TranslateAccelerator(LPMSG msg) {
  // The platform's control offers each key to its host first; what the host takes is done.
  ComPtr<IDocHostUIHandler> handler;
  if (msg && site_ && SUCCEEDED(site_.As(&handler)) &&
      handler->TranslateAccelerator(msg, &kCgidMshtml, 0) == S_OK)
    return S_OK;
  return S_FALSE;
}

}  // namespace

}  // namespace murmella::webcontrol

HRESULT CreateStandInWebBrowser(IUnknown** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto* browser = new (std::nothrow) murmella::webcontrol::TStandInBrowser;
  if (!browser) return E_OUTOFMEMORY;
  if (!browser->Ready()) {
    browser->Release();
    return E_FAIL;
  }
  *out = static_cast<IWebBrowser2*>(browser);
  return S_OK;
}
