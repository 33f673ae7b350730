// The platform's critical section and event, and the worker thread with its one-slot command
// handshake that a streaming pin runs on.
#pragma once

#include <windows.h>

// A re-entrant lock: a state change holds it and calls pins that take it again.
class TBCCritSec {
 public:
  TBCCritSec() { InitializeCriticalSection(&section_); }
  ~TBCCritSec() { DeleteCriticalSection(&section_); }
  TBCCritSec(const TBCCritSec&) = delete;
  TBCCritSec& operator=(const TBCCritSec&) = delete;
  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class TBCAutoLock {
 public:
  explicit TBCAutoLock(TBCCritSec* lock) : lock_(lock) { lock_->Enter(); }
  ~TBCAutoLock() { lock_->Leave(); }
  TBCAutoLock(const TBCAutoLock&) = delete;
  TBCAutoLock& operator=(const TBCAutoLock&) = delete;

 private:
  TBCCritSec* lock_;
};

class TBCAMEvent {
 public:
  explicit TBCAMEvent(bool manualReset);
  ~TBCAMEvent();
  TBCAMEvent(const TBCAMEvent&) = delete;
  TBCAMEvent& operator=(const TBCAMEvent&) = delete;
  void Set() { SetEvent(handle_); }
  void Reset() { ResetEvent(handle_); }
  // TRUE when the event was signalled within the time.
  bool Wait(DWORD milliseconds = INFINITE) { return WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0; }
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};

enum TBCThreadCommand : DWORD { CMD_INIT = 0, CMD_PAUSE = 1, CMD_RUN = 2, CMD_STOP = 3, CMD_EXIT = 4 };

class TBCAMThread {
 public:
  using Procedure = DWORD (*)(void* object);

  TBCAMThread();
  ~TBCAMThread();  // joins a thread still running
  TBCAMThread(const TBCAMThread&) = delete;
  TBCAMThread& operator=(const TBCAMThread&) = delete;

  void SetProcedure(Procedure procedure, void* object) {
    procedure_ = procedure;
    object_ = object;
  }
  bool StartThread();
  bool HasThread() const { return thread_ != nullptr; }
  // One command at a time; blocks until the worker answers. E_FAIL without a thread.
  HRESULT SendCommand(DWORD command);
  DWORD WaitCommand();
  bool PeekCommand(DWORD* command);
  void AnswerCommand(HRESULT value);
  void JoinThread();

 private:
  static DWORD WINAPI Entry(void* self);

  TBCAMEvent commandSent_{true};
  TBCAMEvent commandDone_{false};
  volatile DWORD command_ = 0;
  volatile HRESULT reply_ = S_OK;
  HANDLE volatile thread_ = nullptr;
  TBCCritSec access_;
  Procedure procedure_ = nullptr;
  void* object_ = nullptr;
};
