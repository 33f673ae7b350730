// Wine's virtual desktop for tests that need the shell's taskbar and notification area: the
// desktop is started through explorer with this test program as its keeper (it waits there
// until the test process ends), and the calling thread moves onto it, so windows the test
// makes and finds, and its Shell_NotifyIcon calls, are on that desktop.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace testdesktop {

inline constexpr char kDesktopName[] = "MurmellaTest";
inline constexpr char kKeeperFlag[] = "--desktop-keeper=";

// In the keeper copy: waits for the test process, then ends. Call first thing in main.
inline void RunKeeperIfAsked(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], kKeeperFlag, std::strlen(kKeeperFlag)) == 0) {
      const DWORD pid = std::strtoul(argv[i] + std::strlen(kKeeperFlag), nullptr, 10);
      if (HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, pid)) {
        WaitForSingleObject(p, 600000);
        CloseHandle(p);
      }
      std::exit(0);
    }
}

inline std::string ProgramPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// Starts `commandLine` on the test desktop (through explorer, which makes the desktop on first
// use). Answers false when the program could not be started.
inline bool StartOnDesktop(const std::string& commandLine, PROCESS_INFORMATION* started = nullptr) {
  std::string line = std::string("C:\\windows\\explorer.exe /desktop=") + kDesktopName + ",1280x1024 " + commandLine;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  if (started) *started = pi;
  else {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  return true;
}

// Makes the desktop (kept by a copy of this program) and moves the calling thread onto it,
// then waits for its notification area. False when any of that fails.
inline bool Enter() {
  static bool entered = false;
  if (entered) return true;
  if (!StartOnDesktop("\"" + ProgramPath() + "\" " + kKeeperFlag + std::to_string(GetCurrentProcessId())))
    return false;
  HDESK desk = nullptr;
  for (int i = 0; i < 200 && !desk; ++i) {
    desk = OpenDesktopA(kDesktopName, 0, FALSE, GENERIC_ALL);
    if (!desk) Sleep(50);
  }
  if (!desk || !SetThreadDesktop(desk)) return false;
  for (int i = 0; i < 200; ++i) {
    if (FindWindowA("Shell_TrayWnd", nullptr)) {
      entered = true;
      return true;
    }
    Sleep(50);
  }
  return false;
}

}  // namespace testdesktop
