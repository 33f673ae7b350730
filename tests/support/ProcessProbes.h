// What a Windows test process can see of itself: its threads, the threads a given module
// started, its handles; and the polling and watchdog helpers the concurrency tests use.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <vector>

// Threads of this process, as Toolhelp lists them.
inline int ProcessThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}

// Threads of this process whose start routine lies in the given module: the framework's
// workers start in the library that links the framework, Wine's own threads elsewhere.
inline int ThreadsStartedIn(HMODULE module) {
  using QueryFn = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  constexpr int kThreadQuerySetWin32StartAddress = 9;
  static const auto query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
  if (!module || !query) return -1;
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const BYTE* end = base + nt->OptionalHeader.SizeOfImage;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    const BYTE* start = nullptr;
    if (query(thread, kThreadQuerySetWin32StartAddress, &start, sizeof start, nullptr) == 0 && start >= base &&
        start < end)
      ++count;
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return count;
}

// Handles this process holds. Wine's GetProcessHandleCount answers 0, so the count comes from
// the system's handle table (which wineserver does report) when that call gives nothing.
inline long ProcessHandleCount() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count) return long(count);
  struct Entry {
    ULONG OwnerPid;
    BYTE ObjectType, Flags;
    USHORT Value;
    void* Object;
    ULONG Access;
  };
  struct Table {
    ULONG Count;
    Entry Entries[1];
  };
  using QueryFn = LONG(NTAPI*)(int, void*, ULONG, ULONG*);
  constexpr int kSystemHandleInformation = 16;
  static const auto query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  std::vector<BYTE> buffer(1 << 16);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status = query(kSystemHandleInformation, buffer.data(), ULONG(buffer.size()), &needed);
    if (status == 0) {
      const auto* table = reinterpret_cast<const Table*>(buffer.data());
      long mine = 0;
      for (ULONG i = 0; i < table->Count; ++i) mine += table->Entries[i].OwnerPid == GetCurrentProcessId();
      return mine;
    }
    buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
  }
  return -1;
}

// Polls a condition every millisecond until it holds or the time is up.
template <class Condition>
bool WaitUntil(Condition condition, DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  while (!condition()) {
    if (GetTickCount64() >= end) return false;
    Sleep(1);
  }
  return true;
}

// A deadlock must fail the run with a message instead of idling until CTest's timeout.
class Watchdog {
 public:
  Watchdog(DWORD ms, const char* what) : ms_(ms), what_(what) {
    done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &Watch, this, 0, nullptr);
  }
  ~Watchdog() {
    SetEvent(done_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(done_);
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  static DWORD WINAPI Watch(void* self) {
    auto* w = static_cast<Watchdog*>(self);
    if (WaitForSingleObject(w->done_, w->ms_) == WAIT_TIMEOUT) {
      fprintf(stderr, "watchdog: %s did not finish within %lu ms\n", w->what_, static_cast<unsigned long>(w->ms_));
      fflush(stderr);
      ExitProcess(3);
    }
    return 0;
  }
  DWORD ms_;
  const char* what_;
  HANDLE done_, thread_;
};
