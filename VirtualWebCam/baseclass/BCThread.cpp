#include "BCThread.h"

#include <new>

TBCAMEvent::TBCAMEvent(bool manualReset) : handle_(CreateEventW(nullptr, manualReset, FALSE, nullptr)) {
  // Without its event the handshake cannot work at all; fail construction instead of
  // waiting on a null handle later.
  if (!handle_) throw std::bad_alloc();
}

TBCAMEvent::~TBCAMEvent() { CloseHandle(handle_); }

TBCAMThread::TBCAMThread() = default;

TBCAMThread::~TBCAMThread() { JoinThread(); }

bool TBCAMThread::StartThread() {
  TBCAutoLock lock(&access_);
  if (thread_) return false;
  DWORD id = 0;
  thread_ = CreateThread(nullptr, 0, &TBCAMThread::Entry, this, 0, &id);
  return thread_ != nullptr;
}

DWORD WINAPI TBCAMThread::Entry(void* param) {
  auto* self = static_cast<TBCAMThread*>(param);
  // Looked up rather than linked so the worker uses whatever COM the host has loaded.
  using CoInitializeExFn = HRESULT(WINAPI*)(void*, DWORD);
  HRESULT com = E_FAIL;
  if (HMODULE ole = GetModuleHandleW(L"ole32.dll")) {
    if (auto init = reinterpret_cast<CoInitializeExFn>(reinterpret_cast<void*>(GetProcAddress(ole, "CoInitializeEx"))))
      com = init(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE);
  }
  const DWORD result = self->procedure_ ? self->procedure_(self->object_) : 0;
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}

HRESULT TBCAMThread::SendCommand(DWORD command) {
  TBCAutoLock lock(&access_);
  if (!thread_) return E_FAIL;
  command_ = command;
  commandSent_.Set();
  // If the worker died without answering, waiting forever would hang the caller's state
  // change; wait on the thread too and report the loss.
  HANDLE waits[2] = {commandDone_.Handle(), thread_};
  const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  if (which != WAIT_OBJECT_0) {
    commandSent_.Reset();
    return E_FAIL;
  }
  return reply_;
}

DWORD TBCAMThread::WaitCommand() {
  commandSent_.Wait(INFINITE);
  return command_;
}

bool TBCAMThread::PeekCommand(DWORD* command) {
  if (!commandSent_.Wait(0)) return false;
  if (command) *command = command_;
  return true;
}

void TBCAMThread::AnswerCommand(HRESULT value) {
  reply_ = value;
  commandSent_.Reset();
  commandDone_.Set();
}

void TBCAMThread::JoinThread() {
  HANDLE thread = InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&thread_), nullptr);
  if (!thread) return;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}
