// Shared by the camera's Windows tests: the settings key, a screen painted with known colours,
// the debug lines a process sends, and the camera library loaded by path.
#pragma once

#include "SettingsStore.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vwctest {

using Microsoft::WRL::ComPtr;

inline void ClearKey() { RegDeleteTreeW(HKEY_CURRENT_USER, vwc::kSettingsKey); }

inline void PutDword(const wchar_t* name, DWORD v) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, vwc::kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), 0);
  RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), sizeof v);
  RegCloseKey(k);
}

inline void PutString(const wchar_t* name, const wchar_t* s) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, vwc::kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), 0);
  RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(s), DWORD((wcslen(s) + 1) * 2));
  RegCloseKey(k);
}

// The stored value and its type, or type 0 when missing.
inline std::pair<DWORD, DWORD> Stored(const wchar_t* name) {
  DWORD type = 0, v = 0, size = sizeof v;
  if (RegGetValueW(HKEY_CURRENT_USER, vwc::kSettingsKey, name, RRF_RT_ANY, &type, &v, &size) != ERROR_SUCCESS)
    return {0, 0};
  return {type, v};
}

// Four quadrants of known colours over the whole screen; the cursor is parked in the
// bottom-right corner, where only its hotspot pixel could land in the picture.
class PaintedScreen : public ::testing::Test {
 protected:
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_PAINT) {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(w, &ps);
      RECT r;
      GetClientRect(w, &r);
      const int cx = r.right / 2, cy = r.bottom / 2;
      const RECT q[4] = {{0, 0, cx, cy}, {cx, 0, r.right, cy}, {0, cy, cx, r.bottom}, {cx, cy, r.right, r.bottom}};
      for (int i = 0; i < 4; ++i) {
        HBRUSH b = CreateSolidBrush(kColours[i]);
        FillRect(dc, &q[i], b);
        DeleteObject(b);
      }
      EndPaint(w, &ps);
      return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
  }
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = L"VwcPaintedScreen";
    RegisterClassW(&wc);
    w_ = GetSystemMetrics(SM_CXSCREEN);
    h_ = GetSystemMetrics(SM_CYSCREEN);
    window_ = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, w_, h_, nullptr,
                              nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(window_);
    SetCursorPos(w_ - 1, h_ - 1);
    Pump(400);
  }
  void TearDown() override { DestroyWindow(window_); }

  // Lets the window paint and the cursor settle.
  void Pump(int ms) {
    for (int i = 0; i < ms / 20; ++i) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      UpdateWindow(window_);
      Sleep(20);
    }
  }

  // COLORREF 0x00BBGGRR: red, green, blue, a grey.
  static constexpr COLORREF kColours[4] = {RGB(200, 30, 40), RGB(20, 180, 60), RGB(10, 50, 220), RGB(128, 128, 128)};
  HWND window_ = nullptr;
  int w_ = 0, h_ = 0;
};

inline void ExpectPixel(const uint8_t* p, COLORREF c, const char* where) {
  // Box averages may sit one below the true mean when a block is not a power of two.
  EXPECT_NEAR(p[2], GetRValue(c), 1) << where;
  EXPECT_NEAR(p[1], GetGValue(c), 1) << where;
  EXPECT_NEAR(p[0], GetBValue(c), 1) << where;
}

// Listens to OutputDebugString the way a debug monitor does (the DBWIN buffer and its two
// events), so a test sees the lines the camera sends.
class DebugLog {
 public:
  DebugLog() {
    bufferReady_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    dataReady_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
    view_ = static_cast<const char*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 4096));
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this] { Listen(); });
  }
  ~DebugLog() {
    SetEvent(stop_);
    thread_.join();
    UnmapViewOfFile(view_);
    for (HANDLE h : {mapping_, dataReady_, bufferReady_, stop_}) CloseHandle(h);
  }
  std::vector<std::string> Take() {
    Sleep(50);  // a line sent just now may still be on its way
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(lines_, {});
  }
  bool Saw(const std::string& line) {
    auto lines = Take();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

 private:
  void Listen() {
    SetEvent(bufferReady_);
    HANDLE waits[2] = {stop_, dataReady_};
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.emplace_back(view_ + sizeof(DWORD), strnlen(view_ + sizeof(DWORD), 4096 - sizeof(DWORD)));
      }
      SetEvent(bufferReady_);
    }
  }
  HANDLE bufferReady_, dataReady_, mapping_, stop_;
  const char* view_;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

// A program run to its end with its standard output and error captured together; a program
// still running after timeoutMs is ended (code ~0u). Window-less, as a console tool runs.
struct ProgramResult {
  DWORD Code = ~0u;
  std::string Output;
};

inline ProgramResult RunProgram(std::wstring commandLine, DWORD timeoutMs) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ProgramResult r;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return r;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = writeEnd;
  si.hStdInput = nullptr;
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                      nullptr, &si, &pi);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return r;
  }
  // The output is read on its own thread so that a chatty program never blocks on a full pipe.
  std::thread reader([&] {
    char buf[4096];
    DWORD n;
    while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n) r.Output.append(buf, n);
  });
  if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, ~0u);
  WaitForSingleObject(pi.hProcess, INFINITE);
  GetExitCodeProcess(pi.hProcess, &r.Code);
  reader.join();
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(readEnd);
  return r;
}

// The first window below parent (at any depth) with this control id, or null.
struct ControlSearch {
  int Id;
  HWND Found;
  // A named callback: on i686 a lambda does not convert to the stdcall WNDENUMPROC.
  static BOOL CALLBACK Visit(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<ControlSearch*>(p);
    if (GetDlgCtrlID(w) != s->Id) return TRUE;
    s->Found = w;
    return FALSE;
  }
};

inline HWND FindControl(HWND parent, int id) {
  ControlSearch search{id, nullptr};
  EnumChildWindows(parent, ControlSearch::Visit, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

#ifdef VWC_AX_PATH
// The built camera library, loaded by path, and filters made by its own class factory.
class CameraLibrary {
 public:
  CameraLibrary() : module_(LoadLibraryW(VWC_AX_PATH)) {}
  ~CameraLibrary() {
    if (module_) FreeLibrary(module_);
  }
  bool Loaded() const { return module_ != nullptr; }
  template <class F>
  F* Export(const char* name) {
    return reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }
  HRESULT CanUnloadNow() { return Export<HRESULT WINAPI()>("DllCanUnloadNow")(); }
  ComPtr<IClassFactory> Factory() {
    static constexpr CLSID kCamera = {0xFE0B330A, 0x6D25, 0x45DC, {0xAC, 0x7F, 0x6C, 0x44, 0x5F, 0xB6, 0xF5, 0xC0}};
    ComPtr<IClassFactory> factory;
    Export<HRESULT WINAPI(REFCLSID, REFIID, void**)>("DllGetClassObject")(kCamera, IID_IClassFactory, &factory);
    return factory;
  }
  ComPtr<IBaseFilter> NewFilter() {
    ComPtr<IBaseFilter> filter;
    if (auto f = Factory()) f->CreateInstance(nullptr, IID_PPV_ARGS(&filter));
    return filter;
  }

 private:
  HMODULE module_;
};

inline ComPtr<IPin> OutPin(IBaseFilter* filter) {
  ComPtr<IPin> pin;
  if (filter) filter->FindPin(L"Out", &pin);
  return pin;
}
#endif

}  // namespace vwctest
