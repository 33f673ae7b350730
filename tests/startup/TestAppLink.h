// The application as the start-up components see it, for tests: the quit request goes to the
// thread's real message queue; the texts the error box would show are kept for the test.
#pragma once

#include "AppLink.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

struct TestAppState {
  std::string title = "MurmellaChat";
  std::vector<std::string> errorBoxes;
};

class TestAppLink final : public murmella::startup::TAppLink {
 public:
  explicit TestAppLink(TestAppState& state) : state_(state) {}
  std::string Title() const override { return state_.title; }
  void SetTitle(const std::string& title) override { state_.title = title; }
  void Terminate() override { PostQuitMessage(0); }
  void ShowErrorBox(const std::string& text) override { state_.errorBoxes.push_back(text); }

 private:
  TestAppState& state_;
};

inline std::unique_ptr<murmella::startup::TAppLink> Link(TestAppState& state) {
  return std::make_unique<TestAppLink>(state);
}

// Takes a waiting quit request off this thread's queue; true when there was one.
inline bool TakeQuitRequest() {
  MSG msg;
  bool quit = false;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    if (msg.message == WM_QUIT) quit = true;
  return quit;
}
