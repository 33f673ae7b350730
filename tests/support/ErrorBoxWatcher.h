// The application's error boxes as the user sees them: read from their windows by another
// thread, which then presses OK, so a test on the UI thread can go on.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace murmella::testsupport {

inline std::string WindowClassOf(HWND h) {
  char name[64] = {};
  GetClassNameA(h, name, sizeof name);
  return name;
}

inline std::string WindowTextOf(HWND h) {
  char text[512] = {};
  GetWindowTextA(h, text, sizeof text);
  return text;
}

// What the error box showed, read from its window by another thread, which then presses OK.
struct TSeenBox {
  std::string Caption, Text;
  bool ErrorIcon = false;
  std::vector<std::string> Buttons;
};

class TBoxWatcher {
 public:
  explicit TBoxWatcher(std::string caption) : caption_(std::move(caption)) {
    thread_ = std::thread([this] { Watch(); });
  }
  ~TBoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  // The boxes seen so far.
  std::vector<TSeenBox> Seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }
  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_.size();
  }

 private:
  void Watch() {
    while (!stop_) {
      HWND box = nullptr;
      FindBox(&box);
      if (box) Read(box);
      Sleep(10);
    }
  }
  struct TFind {
    const std::string* Caption;
    HWND Found;
  };
  static BOOL CALLBACK Match(HWND h, LPARAM p) {
    auto* f = reinterpret_cast<TFind*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(h) && WindowClassOf(h) == "#32770" && WindowTextOf(h) == *f->Caption) {
      f->Found = h;
      return FALSE;
    }
    return TRUE;
  }
  void FindBox(HWND* found) {
    TFind f{&caption_, nullptr};
    EnumWindows(&Match, reinterpret_cast<LPARAM>(&f));
    *found = f.Found;
  }
  void Read(HWND box) {
    TSeenBox seen;
    seen.Caption = WindowTextOf(box);
    HICON error = LoadIcon(nullptr, IDI_ERROR);
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      const std::string cls = WindowClassOf(c);
      const LONG style = GetWindowLongA(c, GWL_STYLE);
      if (cls == "Button") {
        seen.Buttons.push_back(WindowTextOf(c));
      } else if (cls == "Static") {
        if ((style & SS_TYPEMASK) == SS_ICON) {
          seen.ErrorIcon = reinterpret_cast<HICON>(SendMessageA(c, STM_GETICON, 0, 0)) == error;
        } else if (!WindowTextOf(c).empty()) {
          seen.Text = WindowTextOf(c);
        }
      }
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      seen_.push_back(seen);
    }
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    // Until it has gone, so that one box is read once.
    for (int i = 0; i < 500 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(10);
  }

  std::string caption_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<TSeenBox> seen_;
  std::thread thread_;
};

}  // namespace murmella::testsupport
