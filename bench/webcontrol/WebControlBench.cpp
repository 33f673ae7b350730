// The stand-in control's costs under Wine, printed as one JSON line:
// - load: Navigate to the page's first external call, median of 50 loads, beside a plain
//   WinHTTP GET of the same page in the same run (the HTTP round trip the control cannot beat);
// - flood: a page calling external 10,000 times in a loop: the loop's time, how long a message
//   posted as the loop ends waits to be handled, and private memory after the page is gone
//   against before it came.
#include "LoopbackServer.h"
#include "StandInBrowser.h"
#include "TestContainer.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using namespace murmella::webcontrol::test;

namespace {

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) * 1000.0 / frequency;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double PlainGet(unsigned short port, const wchar_t* path) {
  const double start = Now();
  HINTERNET s = WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0);
  HINTERNET c = WinHttpConnect(s, L"127.0.0.1", port, 0);
  HINTERNET r = WinHttpOpenRequest(c, L"GET", path, nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
  WinHttpSendRequest(r, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
  WinHttpReceiveResponse(r, nullptr);
  char buf[4096];
  DWORD got = 0;
  while (WinHttpReadData(r, buf, sizeof(buf), &got) && got > 0) {
  }
  WinHttpCloseHandle(r);
  WinHttpCloseHandle(c);
  WinHttpCloseHandle(s);
  return Now() - start;
}

double probeHandled = 0;

LRESULT CALLBACK ProbeProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_APP) probeHandled = Now();
  return DefWindowProcW(w, m, wp, lp);
}

HWND ProbeWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"MurmellaBenchProbe";
  RegisterClassW(&wc);
  return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

// Committed private memory, from the address space itself: Wine's process counters report
// no private usage.
SIZE_T PrivateBytes() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION m;
  for (const char* p = nullptr; VirtualQuery(p, &m, sizeof(m)) == sizeof(m); p = static_cast<const char*>(m.BaseAddress) + m.RegionSize) {
    if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) total += m.RegionSize;
    if (static_cast<const char*>(m.BaseAddress) + m.RegionSize < p) break;
  }
  return total;
}

HRESULT Navigate(IWebBrowser2* b, const std::string& url) {
  const std::wstring w(url.begin(), url.end());
  BSTR s = SysAllocString(w.c_str());
  const HRESULT hr = b->Navigate(s, nullptr, nullptr, nullptr, nullptr);
  SysFreeString(s);
  return hr;
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string page = "<html><body><script>external.log('first')</script></body></html>";
  const std::string flood =
      "<html><body><script>for (var i = 0; i < 10000; ++i) external.count(); external.log('end')</script></body></html>";
  TLoopbackServer server([&](const std::string& path) {
    return Reply(200, "OK", path.rfind("/flood", 0) == 0 ? flood : page);
  });
  ComPtr<IUnknown> unknown;
  if (CreateStandInWebBrowser(&unknown) != S_OK) return 1;
  ComPtr<IWebBrowser2> browser;
  ComPtr<IOleObject> ole;
  unknown.As(&browser);
  unknown.As(&ole);
  ComPtr<TTestSite> site;
  site.Attach(new TTestSite);
  ole->SetClientSite(site.Get());
  auto& log = site->External().Log;

  // Loads and plain GETs alternate, so both see the same machine.
  std::vector<double> loads, gets;
  for (int i = 0; i < 51; ++i) {
    log.clear();
    const double start = Now();
    double first = 0;
    site->External().OnLog = [&] { if (first == 0) first = Now(); };
    Navigate(browser.Get(), server.Url("/page?" + std::to_string(i)));
    if (!PumpUntil([&] { return !log.empty(); }, 10000)) return 2;
    const double get = PlainGet(server.Port(), L"/page");
    if (i == 0) continue;  // the first load also starts the engine and the network stack
    loads.push_back(first - start);
    gets.push_back(get);
  }
  site->External().OnLog = nullptr;

  // The flood: memory before, the loop, a message posted at its end, memory after.
  Navigate(browser.Get(), "about:blank");
  PumpFor(200);
  const SIZE_T before = PrivateBytes();
  HWND window = ProbeWindow();
  double loopStart = 0, loopEnd = 0;
  site->External().OnLog = [&] {
    loopEnd = Now();
    PostMessageW(window, WM_APP, 0, 0);
  };
  log.clear();
  site->External().Count = 0;
  loopStart = Now();
  Navigate(browser.Get(), server.Url("/flood"));
  if (!PumpUntil([&] { return probeHandled != 0; }, 30000)) return 3;
  const double handled = probeHandled;
  const int calls = site->External().Count;
  Navigate(browser.Get(), "about:blank");
  PumpFor(500);
  const SIZE_T after = PrivateBytes();

  std::printf(
      "{\"loads\":%zu,\"navigate_to_first_external_ms\":%.2f,\"plain_get_ms\":%.2f,\"beyond_http_ms\":%.2f,"
      "\"flood_calls\":%d,\"flood_navigate_to_end_ms\":%.1f,\"posted_message_wait_ms\":%.2f,"
      "\"private_kb_before\":%llu,\"private_bytes_delta_kb\":%lld}\n",
      loads.size(), Median(loads), Median(gets), Median(loads) - Median(gets), calls, loopEnd - loopStart,
      handled - loopEnd, static_cast<unsigned long long>(before) / 1024, (static_cast<long long>(after) - static_cast<long long>(before)) / 1024);
  DestroyWindow(window);
  ole->Close(OLECLOSE_NOSAVE);
  ole->SetClientSite(nullptr);
  return 0;
}
