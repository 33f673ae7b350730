// noticebench [RUNS]: slides the presence notice in and out RUNS times (5 by default) with the
// notice's own settings and prints one JSON line: how far apart the slide's steps came
// (median, smallest, largest, in milliseconds on the performance counter) and how many there
// were. The goal is 50 ms +- 5 ms per step.
#include "Application.h"
#include "Forms.h"
#include "HTMLPopup.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using namespace murmella;

double Now() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

// When the notice window was shown and when each new top took effect while it was visible.
std::vector<double> moves;
int lastTop = 0;

LRESULT CALLBACK Watch(int code, WPARAM w, LPARAM l) {
  const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(l);
  if (code == HC_ACTION && m->message == WM_WINDOWPOSCHANGED) {
    char cls[32] = {};
    GetClassNameA(m->hwnd, cls, sizeof cls);
    const auto* wp = reinterpret_cast<const WINDOWPOS*>(m->lParam);
    const bool shown = (wp->flags & SWP_SHOWWINDOW) != 0;
    const bool moved = !(wp->flags & SWP_NOMOVE) && wp->y != lastTop;
    if (lstrcmpA(cls, "MurmellaHTMLPopup") == 0 && IsWindowVisible(m->hwnd) && (shown || moved)) {
      moves.push_back(Now());
      RECT r{};
      GetWindowRect(m->hwnd, &r);
      lastTop = r.top;
    }
  }
  return CallNextHookEx(nullptr, code, w, l);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  forms::TApplication app;
  forms::TForm form(&app, "Form1");
  auto* pop2 = new popup::THTMLPopup(&form, "pop2");
  popup::ApplyNoticeSettings(*pop2, nullptr);
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, &Watch, nullptr, GetCurrentThreadId());
  std::vector<double> gaps;
  for (int r = 0; r < runs; ++r) {
    pop2->Text().Clear();
    pop2->Text().Add("<B>Murmellachat</B><br><FONT color=\"#FF0000\">Visitor7</FONT> is ONLINE.");
    for (int pass = 0; pass < 2; ++pass) {
      moves.clear();
      if (pass == 0)
        pop2->SlideIn();
      else
        pop2->SlideOut();
      // A climb counts from its showing; a descent from its first step.
      for (std::size_t i = 1; i < moves.size(); ++i) gaps.push_back(moves[i] - moves[i - 1]);
    }
  }
  UnhookWindowsHookEx(hook);
  if (gaps.empty()) {
    std::printf("{\"steps\":0}\n");
    return 1;
  }
  std::printf("{\"runs\":%d,\"steps\":%zu,\"median_ms\":%.2f,\"min_ms\":%.2f,\"max_ms\":%.2f}\n", runs, gaps.size(),
              Median(gaps), *std::min_element(gaps.begin(), gaps.end()), *std::max_element(gaps.begin(), gaps.end()));
  return 0;
}
