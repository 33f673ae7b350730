// pagehost_bench [--loads N] [--calls N] (a storm longer than the 5 s script limit is stopped): the page host with the control it chooses, against
// the stand-in service named by MURMELLA_SERVICE_URL.
//  - first call: time from Navigate of the presence page to its first external call, beside
//    the plain HTTP round trip for the same page, medians over N loads (interleaved);
//  - call storm: a page calling external.pagesetup N times in one loop: calls completed, the
//    loop's length, how soon after its end a posted message is handled, and the process's
//    committed memory and working set against where the storm started (five rounds);
//  - response: another thread's WM_NULL round trip to the host's window every 10 ms for 10 s,
//    while a page calls pagesetup from a 0 ms timer without end, and while a page's script
//    never ends (stopped after 5 s): median and maximum.
// Prints one JSON line per measurement.
#include "EmbeddedWB.h"
#include "ServiceClient.h"

#include <ole2.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using murmella::pagehost::ServiceRequest;
using murmella::pagehost::ServiceUrl;
using murmella::pagehost::TEmbeddedWB;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct TMemory {
  double committedKb, workingSetKb;
};

TMemory Memory() {
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof pmc;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc);
  // Wine leaves PrivateUsage at 0; the commit charge is the same figure there and on Windows.
  const size_t committed = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
  return {committed / 1024.0, pmc.WorkingSetSize / 1024.0};
}

// Dispatches messages until `done` or the deadline; a thread message WM_APP sets `appHandled`.
bool Pump(const std::function<bool()>& done, Clock::duration timeout, Clock::time_point* appHandled = nullptr) {
  const auto end = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= end) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_APP && !msg.hwnd) {
        if (appHandled) *appHandled = Clock::now();
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
  return true;
}

struct TBench {
  HWND page = CreateWindowExW(0, L"STATIC", L"page", WS_OVERLAPPEDWINDOW, 0, 0, 848, 532, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  TEmbeddedWB host{nullptr};
  long calls = 0;
  bool ended = false;
  Clock::time_point firstCall{}, endCall{};

  TBench() {
    host.SetParentWindow(page);
    host.SetBounds(RECT{0, 0, 848, 532});
    host.SetDownloadOptions({});
    host.OnGetExternal = [this](murmella::forms::TObject&, IDispatch*& pp) {
      pp = host.DispatchInterface();
      pp->AddRef();
    };
    host.OnGetIDsOfNames = [](murmella::forms::TObject&, REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids,
                              HRESULT& rezult) {
      if (count == 1 && _wcsicmp(names[0], L"pagesetup") == 0) {
        ids[0] = 1;
        rezult = S_OK;
      }
    };
    host.OnInvoke = [this](murmella::forms::TObject&, DISPID id, REFIID, LCID, WORD, DISPPARAMS& params, VARIANT*,
                           EXCEPINFO*, UINT*, HRESULT& rezult) {
      if (id != 1) return;
      rezult = S_OK;
      if (calls++ == 0) firstCall = Clock::now();
      if (params.cArgs == 1 && params.rgvarg[0].vt == VT_BSTR && wcscmp(params.rgvarg[0].bstrVal, L"end") == 0) {
        ended = true;
        endCall = Clock::now();
        PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
      }
    };
    host.Loaded();
  }
  ~TBench() { DestroyWindow(page); }
};

int FirstCall(TBench& b, int loads) {
  const std::string start = ServiceUrl() + "/pop.php";
  std::vector<double> navigate, roundTrip;
  for (int i = 0; i < loads; ++i) {
    std::string body;
    const auto g0 = Clock::now();
    if (ServiceRequest(L"GET", "/pop.php", {}, &body) != 200) return std::fprintf(stderr, "GET failed\n"), 1;
    roundTrip.push_back(Ms(Clock::now() - g0));
    if (ServiceRequest(L"POST", "/visitors?name=V" + std::to_string(i)) != 202)
      return std::fprintf(stderr, "POST failed\n"), 1;
    b.calls = 0;
    const auto t0 = Clock::now();
    b.host.Navigate(start);
    if (!Pump([&] { return b.calls > 0; }, std::chrono::seconds(10)))
      return std::fprintf(stderr, "load %d: no call\n", i), 1;
    navigate.push_back(Ms(b.firstCall - t0));
  }
  const double nav = Median(navigate), rt = Median(roundTrip);
  std::printf("{\"bench\":\"first_call\",\"loads\":%d,\"navigate_to_call_ms\":%.2f,\"http_round_trip_ms\":%.2f,"
              "\"beyond_round_trip_ms\":%.2f,\"goal_ms\":30}\n",
              loads, nav, rt, nav - rt);
  return 0;
}

int CallStorm(TBench& b, int calls) {
  const std::string page = "<html><body><script>for (var i = 0; i < " + std::to_string(calls) +
                           "; i++) window.external.pagesetup(\"v\" + i);</script>"
                           "<script>window.external.pagesetup(\"end\");</script></body></html>";
  if (ServiceRequest(L"PUT", "/t/storm.htm", page) != 201) return std::fprintf(stderr, "PUT failed\n"), 1;
  const std::string url = ServiceUrl() + "/t/storm.htm";
  // The engine is already loaded by the first-call runs, so this is where the storm starts.
  const TMemory before = Memory();
  for (int round = 1; round <= 5; ++round) {
    b.calls = 0;
    b.ended = false;
    Clock::time_point handled{};
    b.host.Navigate(url);
    if (!Pump([&] { return b.ended && handled != Clock::time_point{}; }, std::chrono::seconds(60), &handled))
      return std::fprintf(stderr, "round %d: the loop did not end (%ld calls)\n", round, b.calls), 1;
    // Settle: let the control drop the page's objects before memory is read.
    b.host.Navigate("about:blank");
    Pump([] { return false; }, std::chrono::milliseconds(300));
    const TMemory now = Memory();
    std::printf("{\"bench\":\"call_storm\",\"round\":%d,\"calls\":%ld,\"loop_ms\":%.1f,\"post_handled_after_ms\":%.2f,"
                "\"goal_post_ms\":100,\"committed_delta_kb\":%.0f,\"working_set_delta_kb\":%.0f,\"goal_delta_kb\":1024}\n",
                round, b.calls - 1, Ms(b.endCall - b.firstCall), Ms(handled - b.endCall),
                now.committedKb - before.committedKb, now.workingSetKb - before.workingSetKb);
  }
  return 0;
}

int Response(TBench& b, const char* name, const std::string& script) {
  const std::string path = std::string("/t/") + name + ".htm";
  if (ServiceRequest(L"PUT", path, "<html><body><script>" + script + "</script></body></html>") != 201)
    return std::fprintf(stderr, "PUT failed\n"), 1;
  b.calls = 0;
  b.host.Navigate(ServiceUrl() + path);
  if (!Pump([&] { return b.calls > 0; }, std::chrono::seconds(10))) return std::fprintf(stderr, "%s: no call\n", name), 1;
  std::atomic<bool> done{false};
  std::vector<double> trips;
  int unanswered = 0;
  std::thread asker([&] {
    while (!done) {
      const auto t0 = Clock::now();
      DWORD_PTR r = 0;
      if (SendMessageTimeoutW(b.page, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r)) trips.push_back(Ms(Clock::now() - t0));
      else ++unanswered;
      Sleep(10);
    }
  });
  Pump([] { return false; }, std::chrono::seconds(10));
  done = true;
  asker.join();
  b.host.Navigate("about:blank");
  Pump([] { return false; }, std::chrono::milliseconds(300));
  std::printf("{\"bench\":\"response\",\"page\":\"%s\",\"round_trips\":%zu,\"unanswered\":%d,\"median_ms\":%.2f,"
              "\"max_ms\":%.2f,\"goal_max_ms\":200,\"page_calls\":%ld}\n",
              name, trips.size(), unanswered, Median(trips),
              trips.empty() ? 0.0 : *std::max_element(trips.begin(), trips.end()), b.calls);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int loads = 50, calls = 1000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--loads")) loads = std::max(1, std::atoi(argv[i + 1]));
    else if (!std::strcmp(argv[i], "--calls")) calls = std::max(1, std::atoi(argv[i + 1]));
  }
  if (ServiceUrl().empty()) {
    std::fprintf(stderr, "pagehost_bench: set MURMELLA_SERVICE_URL to the stand-in service's address\n");
    return 2;
  }
  if (FAILED(OleInitialize(nullptr))) return 3;
  int rc = 0;
  try {
    TBench b;
    rc = FirstCall(b, loads);
    if (rc == 0) rc = CallStorm(b, calls);
    if (rc == 0)
      rc = Response(b, "flood", "setInterval(function () { for (var i = 0; i < 20; i++) window.external.pagesetup('v'); }, 0)");
    if (rc == 0) rc = Response(b, "spin", "window.external.pagesetup('start'); for (;;) {}");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pagehost_bench: %s\n", e.what());
    rc = 1;
  }
  OleUninitialize();
  return rc;
}
