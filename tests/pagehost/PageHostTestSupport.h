// Helpers the page host's tests share: the apartment, a parent window, a message pump with a
// deadline, the keyboard state, and error checks.
#pragma once

#include "Classes.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace murmella::pagehost {

// The calling thread's key state as GetKeyState reports it to the host.
inline void SetControlAndAlt(bool control, bool alt) {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = keys[VK_LCONTROL] = control ? 0x80 : 0;
  keys[VK_MENU] = keys[VK_LMENU] = alt ? 0x80 : 0;
  SetKeyboardState(keys);
}

template <typename F>
void ExpectMurmellaError(F&& f, const std::string& className) {
  try {
    f();
    ADD_FAILURE() << "no error raised";
  } catch (const forms::EMurmellaError& e) {
    EXPECT_EQ(e.ClassName(), className) << e.what();
    EXPECT_STRNE(e.what(), "");
  }
}

// Dispatches the thread's messages until `done` holds or `timeout` has passed; true if done.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// A hidden top-level window standing in for the main window's page.
class TPageWindow {
 public:
  TPageWindow() {
    hwnd_ = CreateWindowExW(0, L"STATIC", L"page", WS_OVERLAPPEDWINDOW, 0, 0, 848, 532, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  }
  ~TPageWindow() { DestroyWindow(hwnd_); }
  TPageWindow(const TPageWindow&) = delete;
  TPageWindow& operator=(const TPageWindow&) = delete;
  HWND Handle() const { return hwnd_; }

 private:
  HWND hwnd_;
};

}  // namespace murmella::pagehost
