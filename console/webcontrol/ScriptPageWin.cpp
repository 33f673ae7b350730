// The page's engine and the objects its scripts see. Every object here runs on the control's
// thread; the objects keep a plain pointer to their page and answer E_UNEXPECTED once the page
// is gone, because the engine may hold them a little longer than the page lives.
#include "ScriptPage.h"

#include "ComSupport.h"
#include "ScriptSafety.h"

#include <oleauto.h>

#include <algorithm>
#include <array>
#include <atomic>

using Microsoft::WRL::ComPtr;

namespace murmella::webcontrol {

namespace {

// {F414C260-6AC0-11CF-B6D1-00AA00BBBB58}
constexpr CLSID kClsidJScript = {0xF414C260, 0x6AC0, 0x11CF, {0xB6, 0xD1, 0x00, 0xAA, 0x00, 0xBB, 0xBB, 0x58}};

constexpr wchar_t kWindowItem[] = L"window";

// A COM object of one dispatch interface with a plain count; enough for objects that live on
// one thread.
template <class Interface>
class TSingleThreadCom : public Interface {
 public:
  virtual ~TSingleThreadCom() = default;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 private:
  ULONG refs_ = 1;
};

// Names of a dispatch object: a plain table, compared as JScript compares names (exactly).
struct TMember {
  const wchar_t* Name;
  DISPID Id;
};

template <std::size_t N>
HRESULT LookUp(const std::array<TMember, N>& members, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (i > 0) {  // named arguments are not supported
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    const auto m = std::find_if(members.begin(), members.end(),
                                [&](const TMember& x) { return names[i] && wcscmp(x.Name, names[i]) == 0; });
    if (m == members.end()) hr = DISP_E_UNKNOWNNAME;
    else ids[i] = m->Id;
  }
  return hr;
}

// Positional argument `i` (0 is the first as written); DISPPARAMS keeps them in reverse.
VARIANT* Argument(DISPPARAMS* p, UINT i) {
  if (!p || i >= p->cArgs) return nullptr;
  return &p->rgvarg[p->cArgs - 1 - i];
}

// The value of a property put.
VARIANT* PutValue(DISPPARAMS* p) {
  if (!p || p->cArgs < 1) return nullptr;
  return &p->rgvarg[0];
}

bool AsText(VARIANT* v, std::wstring& out) {
  if (!v) return false;
  VARIANT t;
  VariantInit(&t);
  if (FAILED(VariantChangeType(&t, v, 0, VT_BSTR))) return false;
  out.assign(t.bstrVal ? t.bstrVal : L"", t.bstrVal ? SysStringLen(t.bstrVal) : 0);
  VariantClear(&t);
  return true;
}

LONG AsInteger(VARIANT* v) {
  if (!v) return 0;
  VARIANT t;
  VariantInit(&t);
  if (FAILED(VariantChangeType(&t, v, 0, VT_R8))) return 0;
  const double d = t.dblVal;
  if (!(d >= 0)) return 0;  // also NaN
  return d > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<LONG>(d);
}

void ReturnText(VARIANT* result, const std::wstring& text) {
  if (!result) return;
  VariantInit(result);
  result->vt = VT_BSTR;
  result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void ReturnDispatch(VARIANT* result, IDispatch* d) {
  if (!result) return;
  VariantInit(result);
  if (!d) {
    result->vt = VT_NULL;
    return;
  }
  result->vt = VT_DISPATCH;
  result->pdispVal = d;
  d->AddRef();
}

bool IsGet(WORD flags) { return (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0 && !(flags & DISPATCH_PROPERTYPUT); }

class TDispatchBase : public TSingleThreadCom<TUntypedDispatch<IDispatch>> {
 public:
  explicit TDispatchBase(TScriptPage* page) : page_(page) {}
  void Detach() { page_ = nullptr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return QueryOne<IDispatch>(this, IID_IDispatch, iid, out);
  }

 protected:
  TScriptPage* page_;
};

// window.location: the page's address; writing it, replace() and reload() navigate.
class TLocationObject final : public TDispatchBase {
 public:
  using TDispatchBase::TDispatchBase;
  enum : DISPID { kHref = 1, kReload, kReplace, kToString };

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static constexpr std::array<TMember, 4> kMembers = {
        {{L"href", kHref}, {L"reload", kReload}, {L"replace", kReplace}, {L"toString", kToString}}};
    return LookUp(kMembers, names, count, ids);
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    if (!page_) return E_UNEXPECTED;
    return Guarded([&] { return Answer(id, flags, params, result); });
  }

  HRESULT Answer(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
    switch (id) {
      case DISPID_VALUE:
      case kHref:
        if (flags & DISPATCH_PROPERTYPUT) return Go(PutValue(params));
        ReturnText(result, page_->Url());
        return S_OK;
      case kToString:
        ReturnText(result, page_->Url());
        return S_OK;
      case kReplace:
        return Go(Argument(params, 0));
      case kReload:
        page_->Host().NavigateFromPage(page_->Url());
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  HRESULT Go(VARIANT* target) {
    std::wstring url;
    if (!AsText(target, url)) return DISP_E_TYPEMISMATCH;
    page_->Host().NavigateFromPage(url);
    return S_OK;
  }
};

}  // namespace

// The page's global object.
class TWindowObject final : public TDispatchBase {
 public:
  explicit TWindowObject(TScriptPage* page) : TDispatchBase(page), location_(new TLocationObject(page)) {}
  ~TWindowObject() override { location_->Release(); }
  void Detach() {
    TDispatchBase::Detach();
    location_->Detach();
  }
  enum : DISPID { kExternal = 1, kLocation, kSetTimeout, kClearTimeout, kSetInterval, kClearInterval, kWindow };

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static constexpr std::array<TMember, 8> kMembers = {{{L"external", kExternal},
                                                         {L"location", kLocation},
                                                         {L"setTimeout", kSetTimeout},
                                                         {L"clearTimeout", kClearTimeout},
                                                         {L"setInterval", kSetInterval},
                                                         {L"clearInterval", kClearInterval},
                                                         {L"window", kWindow},
                                                         {L"self", kWindow}}};
    return LookUp(kMembers, names, count, ids);
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    if (!page_) return E_UNEXPECTED;
    return Guarded([&] { return Answer(id, flags, params, result); });
  }

 private:
  HRESULT Answer(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
    switch (id) {
      case kExternal:
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        ReturnDispatch(result, page_->Host().External().Get());
        return S_OK;
      case kLocation:
        if (flags & DISPATCH_PROPERTYPUT) return location_->Go(PutValue(params));
        ReturnDispatch(result, location_);
        return S_OK;
      case kWindow:
        ReturnDispatch(result, this);
        return S_OK;
      case kSetTimeout:
      case kSetInterval: {
        const UINT_PTR timer = page_->AddTimer(Argument(params, 0), AsInteger(Argument(params, 1)), id == kSetInterval);
        if (result) {
          VariantInit(result);
          result->vt = VT_I4;
          result->lVal = static_cast<LONG>(timer);
        }
        return S_OK;
      }
      case kClearTimeout:
      case kClearInterval:
        page_->RemoveTimer(static_cast<UINT_PTR>(AsInteger(Argument(params, 0))));
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  TLocationObject* location_;
};

// What the engine calls back: the named item, errors, state changes, and its security
// questions (through the site's service provider), which are all answered "no".
class TScriptSite final : public TSingleThreadCom<IActiveScriptSite>, public IServiceProvider {
 public:
  TScriptSite(TScriptPage* page, IDispatch* window) : page_(page), window_(window) {}
  void Detach() {
    page_ = nullptr;
    window_.Reset();
  }

  // No IActiveScriptSiteWindow: the engine has no window to show a dialog on.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out && iid == IID_IServiceProvider) {
      *out = static_cast<IServiceProvider*>(this);
      AddRef();
      return S_OK;
    }
    return QueryOne<IActiveScriptSite>(this, IID_IActiveScriptSite, iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return TSingleThreadCom<IActiveScriptSite>::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return TSingleThreadCom<IActiveScriptSite>::Release(); }
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override {
    return QueryPageSecurity(service, iid, out);
  }
  HRESULT STDMETHODCALLTYPE GetLCID(LCID* lcid) override {
    if (!lcid) return E_POINTER;
    *lcid = GetUserDefaultLCID();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** type) override {
    if (item) *item = nullptr;
    if (type) *type = nullptr;
    if (!name || wcscmp(name, kWindowItem) != 0 || !window_) return TYPE_E_ELEMENTNOTFOUND;
    if (mask & SCRIPTINFO_ITYPEINFO) return TYPE_E_ELEMENTNOTFOUND;
    if (mask & SCRIPTINFO_IUNKNOWN) {
      if (!item) return E_POINTER;
      *item = window_.Get();
      (*item)->AddRef();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* v) override {
    if (v) *v = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override {
    if (!page_ || !error) return S_OK;
    Guarded([&] { return Report(error); });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

 private:
  HRESULT Report(IActiveScriptError* error) {
    EXCEPINFO info{};
    std::wstring description = L"script error";
    if (SUCCEEDED(error->GetExceptionInfo(&info))) {
      if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
      if (info.bstrDescription && SysStringLen(info.bstrDescription) > 0) description = info.bstrDescription;
      SysFreeString(info.bstrDescription);
      SysFreeString(info.bstrSource);
      SysFreeString(info.bstrHelpFile);
    }
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    error->GetSourcePosition(&context, &line, &column);
    page_->OnScriptError(description, line + 1);
    return S_OK;
  }

  TScriptPage* page_;
  ComPtr<IDispatch> window_;
};

TScriptPage::TScriptPage(TScriptHost& host, std::wstring url) : host_(host), url_(std::move(url)) {}

TScriptPage::~TScriptPage() {
  Stop();
  if (engine_) {
    engine_->SetScriptState(SCRIPTSTATE_DISCONNECTED);
    engine_->Close();
  }
  if (site_) site_->Detach();
  if (window_) window_->Detach();
  parser_.Reset();
  engine_.Reset();
}

bool TScriptPage::Start() {
  ComPtr<IActiveScript> engine;
  HRESULT hr = CoCreateInstance(kClsidJScript, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&engine));
  ComPtr<IActiveScriptParse> parser;
  if (SUCCEEDED(hr)) hr = engine.As(&parser);
  if (FAILED(hr)) {
    OutputDebugStringA("webcontrol: the JScript engine is not available; the page's scripts do not run");
    stopped_ = true;
    return false;
  }
  // A page is untrusted data: an engine that cannot be held to that runs none of it.
  if (!MakeEngineSafe(engine.Get())) {
    OutputDebugStringA("webcontrol: the JScript engine has no safe mode; the page's scripts do not run");
    stopped_ = true;
    return false;
  }
  window_ = Adopt(new TWindowObject(this));
  site_ = Adopt(new TScriptSite(this, window_.Get()));
  if (FAILED(engine->SetScriptSite(site_.Get())) || FAILED(parser->InitNew()) ||
      FAILED(engine->AddNamedItem(kWindowItem, SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS)) ||
      FAILED(engine->SetScriptState(SCRIPTSTATE_CONNECTED))) {
    OutputDebugStringA("webcontrol: the JScript engine did not start");
    engine->Close();
    stopped_ = true;
    return false;
  }
  engine_ = std::move(engine);
  parser_ = std::move(parser);
  return true;
}

void TScriptPage::Evaluate(const std::wstring& code, ULONG line) {
  if (!parser_ || stopped_) return;
  EXCEPINFO info{};
  parser_->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, line > 0 ? line - 1 : 0,
                           SCRIPTTEXT_ISVISIBLE, nullptr, &info);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrHelpFile);
}

void TScriptPage::RunBlock(const std::wstring& code, ULONG line) { Evaluate(code, line); }

UINT_PTR TScriptPage::AddTimer(VARIANT* callback, LONG ms, bool repeat) {
  if (stopped_ || !callback) return 0;
  TTimer t;
  t.Repeat = repeat;
  if (callback->vt == VT_DISPATCH && callback->pdispVal) t.Function = callback->pdispVal;
  else if (!AsText(callback, t.Code)) return 0;
  const UINT_PTR id = host_.NewTimerId();
  // Window timers fire no sooner than USER_TIMER_MINIMUM, which is what a 0 ms timeout gets.
  if (!SetTimer(host_.TimerWindow(), id, static_cast<UINT>(std::max<LONG>(ms, USER_TIMER_MINIMUM)), nullptr)) return 0;
  timers_.emplace(id, std::move(t));
  return id;
}

void TScriptPage::RemoveTimer(UINT_PTR id) {
  if (timers_.erase(id)) KillTimer(host_.TimerWindow(), id);
}

void TScriptPage::FireTimer(UINT_PTR id) {
  const auto it = timers_.find(id);
  if (it == timers_.end() || stopped_) return;
  // Taken out first: the callback may clear this timer, set new ones or stop the page.
  TTimer t = it->second;
  if (!t.Repeat) RemoveTimer(id);
  if (t.Function) {
    DISPPARAMS none{};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO info{};
    errorReported_ = false;
    const HRESULT hr = t.Function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                                          &result, &info, nullptr);
    VariantClear(&result);
    // A function called from outside the engine hands its exception to the caller instead of
    // reporting it; the container hears of it all the same.
    if (hr == DISP_E_EXCEPTION && !errorReported_) {
      if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
      OnScriptError(info.bstrDescription ? info.bstrDescription : L"script error", 0);
    }
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
  } else {
    Evaluate(t.Code, 0);
  }
}

void TScriptPage::OnScriptError(const std::wstring& description, ULONG line) {
  errorReported_ = true;
  if (stopped_) return;
  if (!host_.ScriptErrorContinues(description, line)) Stop();
}

void TScriptPage::Stop() {
  stopped_ = true;
  StopTimers();
}

void TScriptPage::StopTimers() {
  for (const auto& [id, t] : timers_) KillTimer(host_.TimerWindow(), id);
  timers_.clear();
}

}  // namespace murmella::webcontrol
