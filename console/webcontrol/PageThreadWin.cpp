#include "PageThread.h"

#include "ComSupport.h"

#include <oleauto.h>

#include <algorithm>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace murmella::webcontrol {

namespace {

constexpr UINT kRunBlock = WM_APP + 20;    // wParam: line; lParam: std::wstring* (taken over)
constexpr UINT kStopTimers = WM_APP + 21;
constexpr UINT kQuitPage = WM_APP + 22;
constexpr wchar_t kPageWindowClass[] = L"MurmellaPageScripts";

// How long Close waits for a page to end by itself before it is ended as a runaway, and how
// long a runaway may take to be caught inside the engine's code.
constexpr DWORD kPoliteEndMs = 400;
constexpr DWORD kKillPatienceMs = 1000;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

ULONGLONG Now() { return std::max<ULONGLONG>(GetTickCount64(), 1); }

// Values that may cross to the control's thread: plain data only. An object (a script
// function, an array) stays with the page.
bool CopyPlain(VARIANT& to, const VARIANT& from) {
  VariantInit(&to);
  if (FAILED(VariantCopyInd(&to, const_cast<VARIANT*>(&from)))) return false;
  const VARTYPE t = to.vt;
  if ((t & VT_ARRAY) || t == VT_DISPATCH || t == VT_UNKNOWN || t == VT_RECORD || t == VT_VARIANT) {
    VariantClear(&to);
    return false;
  }
  return true;
}

// Answers the container on the control's thread, with the script waiting: a call the page
// makes after its time is up is not carried any more.
HRESULT CallOwner(TPageThread::TShared& shared, std::function<HRESULT(TPageOwner&)> body) {
  if (shared.Closing) return E_ABORT;
  const ULONGLONG start = shared.UnitStart;
  if (start != 0 && Now() - start > kMaxScriptMs) return E_ABORT;
  TPageCall call{shared.Serial, std::move(body)};
  shared.InOwnerCall = true;
  SendMessageW(shared.Owner, kPageCall, 0, reinterpret_cast<LPARAM>(&call));
  shared.InOwnerCall = false;
  return call.Result;
}

// What the page thread knows of the container's external object. A round trip to the
// control's thread costs far more than a call on either side (the platform here takes about a
// millisecond), so a page's call on external is carried in one: the name's number is given out
// here, and the container is asked for the number and called together, in the order the page
// made them. A read of window.external after the first asks the container again with the next
// call.
struct TExternalState {
  bool Known = false, Offered = false, FreshDue = false;
  std::vector<std::wstring> Names;  // by number, from kFirstNameId
};
constexpr DISPID kFirstNameId = 0x4000;

class TExternalProxy final : public TUntypedDispatch<IDispatch> {
 public:
  TExternalProxy(std::shared_ptr<TPageThread::TShared> shared, std::shared_ptr<TExternalState> state)
      : shared_(std::move(shared)), state_(std::move(state)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return QueryOne<IDispatch>(this, IID_IDispatch, iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    if (count == 1 && names[0]) {
      return Guarded([&] {
        const std::wstring name = names[0];
        auto& known = state_->Names;
        auto it = std::find(known.begin(), known.end(), name);
        if (it == known.end()) it = known.insert(known.end(), name);
        ids[0] = kFirstNameId + static_cast<DISPID>(it - known.begin());
        return S_OK;
      });
    }
    return CallOwner(*shared_, [&](TPageOwner& owner) {
      IDispatch* external = owner.PageExternal(TakeFresh());
      return external ? external->GetIDsOfNames(iid, names, count, lcid, ids) : E_UNEXPECTED;
    });
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT* argErr) override {
    return Guarded([&] {
      const UINT n = params ? params->cArgs : 0;
      std::vector<VARIANT> args(n);
      for (UINT i = 0; i < n; ++i)
        if (!CopyPlain(args[i], params->rgvarg[i])) {
          for (UINT j = 0; j < i; ++j) VariantClear(&args[j]);
          if (argErr) *argErr = n - 1 - i;
          return DISP_E_TYPEMISMATCH;
        }
      DISPPARAMS copy{args.data(), nullptr, n, 0};
      std::vector<DISPID> named;
      if (params && params->cNamedArgs > 0 && params->rgdispidNamedArgs) {
        named.assign(params->rgdispidNamedArgs, params->rgdispidNamedArgs + params->cNamedArgs);
        copy.rgdispidNamedArgs = named.data();
        copy.cNamedArgs = params->cNamedArgs;
      }
      const std::size_t index = static_cast<std::size_t>(id - kFirstNameId);
      std::wstring name;
      if (id >= kFirstNameId && index < state_->Names.size()) name = state_->Names[index];
      const bool fresh = TakeFresh();
      VARIANT answer;
      VariantInit(&answer);
      const HRESULT hr = CallOwner(*shared_, [&](TPageOwner& owner) {
        IDispatch* external = owner.PageExternal(fresh);
        if (!external) return E_UNEXPECTED;
        DISPID real = id;
        if (!name.empty()) {
          LPOLESTR asked = name.data();
          const HRESULT found = external->GetIDsOfNames(iid, &asked, 1, lcid, &real);
          if (FAILED(found)) return found == DISP_E_UNKNOWNNAME ? DISP_E_MEMBERNOTFOUND : found;
        }
        return external->Invoke(real, iid, lcid, flags, &copy, &answer, info, argErr);
      });
      for (VARIANT& a : args) VariantClear(&a);
      if (result) {
        if (!CopyPlain(*result, answer)) VariantInit(result);
      }
      VariantClear(&answer);
      return hr;
    });
  }

 private:
  bool TakeFresh() {
    const bool fresh = state_->FreshDue;
    state_->FreshDue = false;
    return fresh;
  }

  ULONG refs_ = 1;
  std::shared_ptr<TPageThread::TShared> shared_;
  std::shared_ptr<TExternalState> state_;
};

// The page's view of its control, on the page thread.
class TPageHost final : public TScriptHost {
 public:
  explicit TPageHost(std::shared_ptr<TPageThread::TShared> shared) : shared_(std::move(shared)) {}

  ComPtr<IDispatch> External() override {
    if (!external_->Known) {
      bool offered = false;
      external_->Known = SUCCEEDED(CallOwner(*shared_, [&](TPageOwner& owner) {
        offered = owner.PageExternal(true) != nullptr;
        return S_OK;
      }));
      external_->Offered = offered;
    } else {
      external_->FreshDue = true;
    }
    if (!external_->Offered) return nullptr;
    return Adopt<IDispatch>(new TExternalProxy(shared_, external_));
  }
  void NavigateFromPage(const std::wstring& url) override {
    CallOwner(*shared_, [&](TPageOwner& owner) { return owner.NavigateFromPage(url), S_OK; });
  }
  bool ScriptErrorContinues(const std::wstring& description, ULONG line) override {
    bool goOn = false;
    CallOwner(*shared_, [&](TPageOwner& owner) {
      goOn = owner.ScriptErrorContinues(description, line);
      return S_OK;
    });
    return goOn;
  }
  HWND TimerWindow() override { return shared_->Window; }
  UINT_PTR NewTimerId() override { return ++lastTimerId_; }

 private:
  std::shared_ptr<TPageThread::TShared> shared_;
  std::shared_ptr<TExternalState> external_ = std::make_shared<TExternalState>();
  UINT_PTR lastTimerId_ = 0;
};

// Everything of the page that lives on its thread.
struct TPageSide {
  TPageHost Host;
  TScriptPage Page;
  std::shared_ptr<TPageThread::TShared> Shared;

  // Runs one block or callback with the clock the watchdog reads, and says when it is done.
  template <class F>
  void Unit(F&& f) {
    Shared->UnitStart = Now();
    f();
    Shared->UnitStart = 0;
    PostMessageW(Shared->Owner, kPageUnitDone, Shared->Serial, Page.Stopped() ? 1 : 0);
  }
};

LRESULT CALLBACK PageWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* side = reinterpret_cast<TPageSide*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (side) {
    switch (message) {
      case kRunBlock: {
        const std::unique_ptr<std::wstring> code(reinterpret_cast<std::wstring*>(l));
        side->Unit([&] { side->Page.RunBlock(*code, static_cast<ULONG>(w)); });
        return 0;
      }
      case WM_TIMER:
        if (!side->Page.OwnsTimer(w)) KillTimer(window, w);
        else if (!side->Shared->TimersHeld) side->Unit([&] { side->Page.FireTimer(w); });
        return 0;
      case kStopTimers:
        side->Page.StopTimers();
        return 0;
      case kQuitPage:
        PostQuitMessage(0);
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, w, l);
}

struct TStartArgs {
  TPageThread* Self;
  HANDLE Ready;
};

}  // namespace

LRESULT AnswerPageCall(TPageOwner& owner, unsigned liveSerial, LPARAM l) {
  auto* call = reinterpret_cast<TPageCall*>(l);
  if (!call) return 0;
  if (call->Serial != liveSerial) {
    call->Result = E_ABORT;
    return 0;
  }
  call->Result = Guarded([&] { return call->Body(owner); });
  return 0;
}

TPageThread::TPageThread(HWND owner, unsigned serial, std::wstring url) : serial_(serial), url_(std::move(url)) {
  shared_->Owner = owner;
  shared_->Serial = serial;
  static const ATOM registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &PageWindowProc;
    wc.hInstance = ThisModule();
    wc.lpszClassName = kPageWindowClass;
    return RegisterClassExW(&wc);
  }();
  (void)registered;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!ready) return;
  TStartArgs args{this, ready};
  thread_ = CreateThread(nullptr, 0, &TPageThread::Main, &args, 0, nullptr);
  if (thread_) {
    const HANDLE both[2] = {ready, thread_};
    WaitForMultipleObjects(2, both, FALSE, INFINITE);
  }
  CloseHandle(ready);
  if (!started_) Close();
}

TPageThread::~TPageThread() {
  Close();
  if (thread_) CloseHandle(thread_);
}

DWORD WINAPI TPageThread::Main(void* p) {
  const TStartArgs args = *static_cast<TStartArgs*>(p);
  args.Self->Run(args.Ready);
  return 0;
}

// On the page thread. `started_` is written before `ready` is set and read after the wait.
void TPageThread::Run(HANDLE ready) {
  const std::shared_ptr<TShared> shared = shared_;
  const std::wstring url = url_;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    SetEvent(ready);
    return;
  }
  {
    TPageSide side{TPageHost(shared), TScriptPage(side.Host, url), shared};
    HWND window = CreateWindowExW(0, kPageWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(),
                                  nullptr);
    if (window) {
      shared->Window = window;
      started_ = side.Page.Start();
      if (started_) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&side));
    }
    SetEvent(ready);  // `this` may be gone from here on: only `shared` and `side` are used
    if (window && GetWindowLongPtrW(window, GWLP_USERDATA)) {
      MSG m;
      while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    }
    if (window) DestroyWindow(window);
  }
  CoUninitialize();
}

ULONGLONG TPageThread::BusyMs() const {
  const ULONGLONG start = shared_->UnitStart;
  return start == 0 ? 0 : Now() - start;
}

void TPageThread::RunBlock(std::wstring code, ULONG line) {
  if (!started_ || Ended()) return;
  auto* text = new std::wstring(std::move(code));
  if (!PostMessageW(shared_->Window, kRunBlock, line, reinterpret_cast<LPARAM>(text))) delete text;
}

void TPageThread::StopTimers() {
  if (started_) PostMessageW(shared_->Window, kStopTimers, 0, 0);
}

bool TPageThread::Ended() const { return !thread_ || WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0; }

void TPageThread::Close() {
  if (Ended()) return;
  shared_->Closing = true;
  PostMessageW(shared_->Window, kQuitPage, 0, 0);
  // Calls the page makes meanwhile are answered (refused), or it would wait for ever.
  const ULONGLONG deadline = GetTickCount64() + kPoliteEndMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    const DWORD r = MsgWaitForMultipleObjects(1, &thread_, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) return;
    if (r != WAIT_OBJECT_0 + 1) break;
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  Kill();
}

void TPageThread::Kill() {
  if (Ended()) return;
  shared_->Closing = true;
  killed_ = true;
  const bool clean = EndThreadInModule(thread_, GetModuleHandleW(L"jscript.dll"), kKillPatienceMs);
  if (!clean) OutputDebugStringA("webcontrol: a runaway page script was ended outside the engine's code");
}

bool EndThreadInModule(HANDLE thread, HMODULE module, DWORD patienceMs) {
  std::uintptr_t first = 0, last = 0;
  if (module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    first = reinterpret_cast<std::uintptr_t>(base);
    last = first + nt->OptionalHeader.SizeOfImage;
  }
  const ULONGLONG deadline = GetTickCount64() + patienceMs;
  for (;;) {
    if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) return true;
    if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
      TerminateThread(thread, 1);
      WaitForSingleObject(thread, 1000);
      return false;
    }
    // Nothing between the suspension and the decision may take a lock the thread could hold.
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    std::uintptr_t ip = 0;
    if (GetThreadContext(thread, &context)) {
#ifdef _WIN64
      ip = static_cast<std::uintptr_t>(context.Rip);
#else
      ip = static_cast<std::uintptr_t>(context.Eip);
#endif
    }
    const bool inside = ip >= first && ip < last;
    if (inside || GetTickCount64() >= deadline) {
      TerminateThread(thread, 1);
      WaitForSingleObject(thread, 1000);
      return inside;
    }
    ResumeThread(thread);
    // A thread waiting for an answer from this one gets it (refused) and moves on.
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    Sleep(1);
  }
}

}  // namespace murmella::webcontrol
