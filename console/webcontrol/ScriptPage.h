// The script side of one loaded page: a JScript engine with the page's `window` (external,
// location, timers) as its global object. A page lives from its load to the next load or the
// control's end; its engine and timers go with it.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <activscp.h>
#include <wrl/client.h>

#include <map>
#include <string>

namespace murmella::webcontrol {

class TWindowObject;
class TScriptSite;

// What a page's scripts reach of the control that loaded the page.
class TScriptHost {
 public:
  // The container's external object, or null when it offers none.
  virtual Microsoft::WRL::ComPtr<IDispatch> External() = 0;
  // A navigation asked for by the page (location.href = ..., replace, reload), absolute.
  virtual void NavigateFromPage(const std::wstring& url) = 0;
  // Tells the container of a script error; true when the page's scripts may go on.
  virtual bool ScriptErrorContinues(const std::wstring& description, ULONG line) = 0;
  // Window-message timers of the page are set on this window, with ids from NewTimerId.
  virtual HWND TimerWindow() = 0;
  virtual UINT_PTR NewTimerId() = 0;

 protected:
  ~TScriptHost() = default;
};

class TScriptPage {
 public:
  TScriptPage(TScriptHost& host, std::wstring url);
  ~TScriptPage();
  TScriptPage(const TScriptPage&) = delete;
  TScriptPage& operator=(const TScriptPage&) = delete;

  // Creates the engine; false (and the page runs nothing) when JScript cannot be had.
  bool Start();
  // Runs one inline block; `line` is where it starts on the page (from 1).
  void RunBlock(const std::wstring& code, ULONG line);
  void FireTimer(UINT_PTR id);
  bool OwnsTimer(UINT_PTR id) const { return timers_.count(id) != 0; }
  // After a script error the container did not let pass, nothing more of the page runs.
  bool Stopped() const { return stopped_; }
  // The page is being left: its timers fire no more.
  void StopTimers();
  const std::wstring& Url() const { return url_; }

  // Called by the page's objects.
  TScriptHost& Host() { return host_; }
  UINT_PTR AddTimer(VARIANT* callback, LONG ms, bool repeat);
  void RemoveTimer(UINT_PTR id);
  void OnScriptError(const std::wstring& description, ULONG line);

 private:
  struct TTimer {
    Microsoft::WRL::ComPtr<IDispatch> Function;  // called with DISPID_VALUE, or
    std::wstring Code;                           // evaluated as script text
    bool Repeat = false;
  };
  void Stop();
  void Evaluate(const std::wstring& code, ULONG line);

  TScriptHost& host_;
  std::wstring url_;
  Microsoft::WRL::ComPtr<IActiveScript> engine_;
  Microsoft::WRL::ComPtr<IActiveScriptParse> parser_;  // the 32- or 64-bit interface of the build
  Microsoft::WRL::ComPtr<TScriptSite> site_;
  Microsoft::WRL::ComPtr<TWindowObject> window_;
  std::map<UINT_PTR, TTimer> timers_;
  bool stopped_ = false;
  bool errorReported_ = false;  // the engine reported the error of the call in progress itself
};

}  // namespace murmella::webcontrol
