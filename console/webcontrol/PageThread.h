// A page's scripts run on a thread of their own, so that no script, however long it runs, holds
// the thread of the control's container (the console's window, its tray icon and timers).
//
// The page thread owns the page's engine, its `window` and its timers; nothing else runs there.
// Whatever a script asks of the container (window.external, a navigation, a script error) is
// carried to the control's thread with SendMessage and answered there, one call at a time and
// in the page's order; the script waits for the answer. The control's thread hands the page its
// inline blocks one at a time and hears when each is done.
//
// Wine's JScript engine cannot be interrupted (IActiveScript::InterruptScriptThread is not
// implemented and no poll reaches the site), so a script past its time is ended with its thread:
// the thread is suspended and ended only at a moment when it is executing the engine's own code,
// never inside the heap, the loader or another library that may hold a lock the process needs.
// The ended page's engine and objects are left unreleased: their thread and apartment are gone.
#pragma once

#include "ScriptPage.h"

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace murmella::webcontrol {

// A block, timer callback or event of a page that runs longer than this is stopped.
inline constexpr ULONGLONG kMaxScriptMs = 5000;

// What a page thread asks of the control, answered on the control's thread.
class TPageOwner {
 public:
  // The container's external object: asked of the container again when `fresh` (the page read
  // window.external), else the one last had. Null when the container offers none.
  virtual IDispatch* PageExternal(bool fresh) = 0;
  virtual void NavigateFromPage(const std::wstring& url) = 0;
  virtual bool ScriptErrorContinues(const std::wstring& description, ULONG line) = 0;

 protected:
  ~TPageOwner() = default;
};

// Messages the page thread sends or posts to the control's window.
constexpr UINT kPageCall = WM_APP + 10;       // sent; lParam: TPageCall*; answers the call's HRESULT
constexpr UINT kPageUnitDone = WM_APP + 11;   // posted; wParam: the page's serial; lParam: 1 when stopped

// One call of a page into its owner, carried by kPageCall.
struct TPageCall {
  unsigned Serial;
  std::function<HRESULT(TPageOwner&)> Body;
  HRESULT Result = E_ABORT;  // stays so when the call is refused or never answered
};

// Runs a page call that arrived at the control's window: only a call of the live page
// `liveSerial` reaches the owner; any other (a page being closed or replaced) is refused.
LRESULT AnswerPageCall(TPageOwner& owner, unsigned liveSerial, LPARAM call);

class TPageThread {
 public:
  // Starts the thread and the page's engine on it. `owner` is the control's window, which
  // receives kPageCall and kPageUnitDone with this page's `serial`.
  TPageThread(HWND owner, unsigned serial, std::wstring url);
  ~TPageThread();
  TPageThread(const TPageThread&) = delete;
  TPageThread& operator=(const TPageThread&) = delete;

  // False when the engine could not be had (no JScript, no safe mode, no thread): nothing runs.
  bool Started() const { return started_; }
  unsigned Serial() const { return serial_; }
  const std::wstring& Url() const { return url_; }

  // Runs one inline block on the page thread; kPageUnitDone follows when it has returned.
  void RunBlock(std::wstring code, ULONG line);
  // The page is being left: its timers fire no more.
  void StopTimers();
  // Work that replaces or closes the page waits for the running script: no timer of the page
  // starts meanwhile.
  void HoldTimers() { shared_->TimersHeld = true; }

  // A block or timer callback is running (a call into the owner included).
  bool Busy() const { return shared_->UnitStart.load() != 0; }
  // How long the running block or callback has run, 0 when none runs.
  ULONGLONG BusyMs() const;
  // The page thread waits in a call into the owner.
  bool InOwnerCall() const { return shared_->InOwnerCall.load(); }

  // Ends the thread: politely when it is idle or comes back within a short while, else as a
  // runaway. Calls arriving meanwhile are refused. Returns at once when already ended.
  void Close();
  // Ends a thread whose script has run past its time.
  void Kill();

  struct TShared {
    HWND Owner = nullptr;
    HWND Window = nullptr;  // the page thread's own window (its timers and work)
    unsigned Serial = 0;
    std::atomic<ULONGLONG> UnitStart{0};
    std::atomic<bool> InOwnerCall{false};
    std::atomic<bool> Closing{false};
    std::atomic<bool> TimersHeld{false};
  };

 private:
  static DWORD WINAPI Main(void* self);
  void Run(HANDLE ready);
  bool Ended() const;

  std::shared_ptr<TShared> shared_ = std::make_shared<TShared>();
  unsigned serial_;
  std::wstring url_;
  HANDLE thread_ = nullptr;
  bool started_ = false;
  bool killed_ = false;
};

// Ends `thread` at a moment it is executing code of `module` (suspending it and looking where
// it is), or after `patienceMs` wherever it is. Answers true when it was in `module`.
bool EndThreadInModule(HANDLE thread, HMODULE module, DWORD patienceMs);

}  // namespace murmella::webcontrol
