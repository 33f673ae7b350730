// MurmellaChat.exe as the operator runs it, started on Wine's virtual desktop: its windows
// found by class and process, its registry values read back.
#pragma once

#include "WineDesktop.h"

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>

namespace chattest {

// A path of the build machine as Wine's Windows path.
inline std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}
#ifdef MURMELLA_CHAT_EXE
// The program as built.
inline std::string BuiltProgram() { return WindowsPath(MURMELLA_CHAT_EXE); }
#endif

// Polls `ready` every 20 ms for up to `ms`.
template <class F>
bool WaitFor(F ready, DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (ready()) return true;
    if (GetTickCount() - start > ms) return false;
    Sleep(20);
  }
}

// Handles this thread's messages for `ms` (at least once).
inline void Pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(5);
  } while (static_cast<int>(end - GetTickCount()) > 0);
}

// A top-level window of `pid` with the given class (hidden ones too), or null.
struct WindowSearch {
  DWORD pid;
  const char* cls;
  HWND found;
};
inline BOOL CALLBACK MatchProcessWindow(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<WindowSearch*>(p);
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (owner == s->pid && std::string(cls) == s->cls) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}
inline HWND FindProcessWindow(DWORD pid, const char* className) {
  WindowSearch s{pid, className, nullptr};
  EnumWindows(&MatchProcessWindow, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

class ChatProcess {
 public:
  ChatProcess() = default;
  ChatProcess(const ChatProcess&) = delete;
  ChatProcess& operator=(const ChatProcess&) = delete;
  ~ChatProcess() {
    if (process_) {
      if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
      WaitForSingleObject(process_, 5000);
      CloseHandle(process_);
    }
  }

  // Starts the program on the test desktop; StartedAt() is when the process was created.
  bool Start(const std::string& program, std::string desktop = testdesktop::kDesktopName) {
    std::string line = "\"" + program + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.lpDesktop = desktop.data();
    PROCESS_INFORMATION pi{};
    QueryPerformanceCounter(&startedAt_);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
  }

  // The main window once it is visible, or null after `ms`.
  HWND WaitForMainWindow(DWORD ms = 10000) {
    HWND found = nullptr;
    WaitFor([&] {
      found = FindProcessWindow(pid_, "MurmellaForm");
      return found && IsWindowVisible(found);
    }, ms);
    return found && IsWindowVisible(found) ? found : nullptr;
  }
  HWND MainWindow() const { return FindProcessWindow(pid_, "MurmellaForm"); }
  HWND TrayWindow() const { return FindProcessWindow(pid_, "MurmellaTrayIcon"); }

  bool Running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
  // The exit code once the process ended within `ms`.
  std::optional<DWORD> WaitForExit(DWORD ms) const {
    if (WaitForSingleObject(process_, ms) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
  }
  HANDLE Process() const { return process_; }
  DWORD Pid() const { return pid_; }
  LARGE_INTEGER StartedAt() const { return startedAt_; }

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  LARGE_INTEGER startedAt_{};
};

// Whether the shell knows the icon of `trayWindow`: a modification that changes nothing
// succeeds only then.
inline bool IconInShell(HWND trayWindow) {
  NOTIFYICONDATAA n{};
  n.cbSize = NOTIFYICONDATAA_V1_SIZE;
  n.hWnd = trayWindow;
  n.uID = 1;
  return Shell_NotifyIconA(NIM_MODIFY, &n) != FALSE;
}

inline constexpr UINT kTrayCallback = 0x0800;

inline HWND VisibleMenu() {
  HWND m = FindWindowA("#32768", nullptr);
  return m && IsWindowVisible(m) ? m : nullptr;
}

// Opens the tray menu with the right button and chooses the `command`-th command (0-based; the
// separator is not one) with the keyboard, as an operator can.
inline bool ChooseFromTrayMenu(HWND tray, int command) {
  PostMessageA(tray, kTrayCallback, 1, WM_RBUTTONDOWN);
  HWND menu = nullptr;
  if (!WaitFor([&] { return (menu = VisibleMenu()) != nullptr; }, 5000)) return false;
  for (int i = 0; i <= command; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
  return WaitFor([] { return VisibleMenu() == nullptr; }, 5000);
}

// A REG_SZ value's text, or nothing when it is missing or of another type.
inline std::optional<std::string> ReadString(HKEY root, const char* key, const char* name) {
  char data[1024] = {};
  DWORD size = sizeof data - 1, type = 0;
  HKEY k = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return std::nullopt;
  const LONG r = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  return std::string(data);
}

}  // namespace chattest
