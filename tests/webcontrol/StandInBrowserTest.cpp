// The stand-in control end to end: real WinHTTP against a loopback server, the real JScript
// engine, and a scripted container recording what the control asks of it.
#include "LoopbackServer.h"
#include "PageRules.h"
#include "StandInBrowser.h"
#include "ComSupport.h"
#include "TestContainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <atomic>
#include <mutex>
#include <thread>

using Microsoft::WRL::ComPtr;

namespace murmella::webcontrol::test {
namespace {

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string Page(const std::string& script) { return "<html><body><script>" + script + "</script></body></html>"; }

// Pages by path (Later: what the second and later requests of a path get); a path missing
// from the table is a 404 whose body still has a script.
class PageTable {
 public:
  std::map<std::string, TReply> Pages, Later;
  TReply Serve(const std::string& path) {
    const std::string key = path.substr(0, path.find('?'));
    std::lock_guard<std::mutex> g(lock_);
    if (served_[key]++ > 0 && Later.count(key)) return Later[key];
    const auto it = Pages.find(key);
    if (it != Pages.end()) return it->second;
    return Reply(404, "Not Found", Page("external.log('404 page ran')"));
  }

 private:
  std::mutex lock_;  // the server answers on its own threads
  std::map<std::string, int> served_;
};

class StandInBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(CreateStandInWebBrowser(&unknown), S_OK);
    ASSERT_TRUE(SUCCEEDED(unknown.As(&browser)));
    ASSERT_TRUE(SUCCEEDED(unknown.As(&ole)));
    site = Adopt(new TTestSite);
  }
  void TearDown() override {
    if (ole) {
      ole->Close(OLECLOSE_NOSAVE);
      ole->SetClientSite(nullptr);
    }
    ole.Reset();
    browser.Reset();
    site.Reset();
    server.reset();
    CoUninitialize();
  }

  void Serve() {
    server = std::make_unique<TLoopbackServer>([this](const std::string& p) { return table.Serve(p); });
  }
  void Attach() { ASSERT_EQ(ole->SetClientSite(site.Get()), S_OK); }

  HRESULT Navigate(const std::wstring& url) {
    BSTR b = SysAllocString(url.c_str());
    const HRESULT hr = browser->Navigate(b, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(b);
    return hr;
  }
  bool WaitLoaded(DWORD ms = 10000) {
    return PumpUntil([&] {
      READYSTATE s{};
      browser->get_ReadyState(&s);
      return s == READYSTATE_COMPLETE;
    }, ms);
  }
  // Navigates and waits until the page has loaded and run its inline scripts.
  void Load(const std::string& path) {
    ASSERT_EQ(Navigate(W(server->Url(path))), S_OK);
    ASSERT_TRUE(WaitLoaded()) << path;
  }
  std::wstring Text(HRESULT (STDMETHODCALLTYPE IWebBrowser2::*get)(BSTR*)) {
    BSTR b = nullptr;
    EXPECT_EQ((browser.Get()->*get)(&b), S_OK);
    std::wstring s = b ? b : L"";
    SysFreeString(b);
    return s;
  }
  std::wstring Location() { return Text(&IWebBrowser2::get_LocationURL); }
  std::wstring Status() { return Text(&IWebBrowser2::get_StatusText); }
  std::vector<std::wstring>& Log() { return site->External().Log; }
  bool WaitLog(std::size_t n, DWORD ms = 5000) {
    return PumpUntil([&] { return Log().size() >= n; }, ms);
  }

  PageTable table;
  std::unique_ptr<TLoopbackServer> server;
  ComPtr<IWebBrowser2> browser;
  ComPtr<IOleObject> ole;
  ComPtr<TTestSite> site;
};

TEST_F(StandInBrowser, LoadsPageAndRunsItsScriptsInOrder) {
  table.Pages["/page"] = Reply(200, "OK",
                          "<html><head><script>external.log('one');</script></head>"
                          "<body><!-- <script>external.log('commented');</script> -->"
                          "<script type='text/javascript'>external.log('two')</script>"
                          "<script src='x.js'></script><script type='text/vbscript'>bad</script>"
                          "<script>external.log(window.location.href);</script></body></html>");
  Serve();
  Attach();
  EXPECT_EQ(Location(), L"") << "no page yet";
  Load("/page");
  EXPECT_EQ(Log(), (std::vector<std::wstring>{L"one", L"two", W(server->Url("/page"))}));
  EXPECT_EQ(Location(), W(server->Url("/page")));
  EXPECT_EQ(Status(), L"200 OK");

  // LocationURL through the control's own dispatch interface, number 211.
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(browser.As(&dispatch), S_OK);
  LPOLESTR name = const_cast<LPOLESTR>(L"LocationURL");
  DISPID id = 0;
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 211);
  DISPPARAMS none{};
  VARIANT v;
  VariantInit(&v);
  ASSERT_EQ(dispatch->Invoke(211, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
  ASSERT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(std::wstring(v.bstrVal), W(server->Url("/page")));
  VariantClear(&v);
  LPOLESTR other = const_cast<LPOLESTR>(L"Document");
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &other, 1, 0, &id), DISP_E_UNKNOWNNAME);
}

TEST_F(StandInBrowser, AsksTheContainerLikeThePlatformControl) {
  table.Pages["/ua"] = Reply(200, "OK", Page("external.log('ran')"));
  Serve();
  site->UserAgent = L"MurmellaTest/1.0";
  Attach();
  auto reads = [&](DISPID id) { return std::count(site->AmbientReads.begin(), site->AmbientReads.end(), id); };
  EXPECT_EQ(reads(DISPID_AMBIENT_DLCONTROL), 1);
  EXPECT_EQ(reads(DISPID_AMBIENT_USERMODE), 1);
  EXPECT_EQ(reads(DISPID_AMBIENT_USERAGENT), 1);
  EXPECT_EQ(site->HostInfoCalls, 1);
  Load("/ua");
  Load("/ua");
  EXPECT_EQ(reads(DISPID_AMBIENT_DLCONTROL), 3) << "read again on every navigation";
  EXPECT_EQ(site->HostInfoCalls, 3) << "each new page asks for the host information";
  EXPECT_EQ(site->ExternalCalls, 2) << "one GetExternal per read of window.external";
  const auto requests = server->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].UserAgent, "MurmellaTest/1.0");
  EXPECT_EQ(Log().size(), 2u);

  // Scripts off: the page still loads, nothing of it runs.
  site->DownloadControl = DLCTL_NO_SCRIPTS;
  Load("/ua");
  EXPECT_EQ(Log().size(), 2u);
  EXPECT_EQ(Location(), W(server->Url("/ua")));
  site->DownloadControl = 0;
  Load("/ua");
  EXPECT_EQ(Log().size(), 3u) << "a later navigation reads the download control again";

  // A container that turns to design mode (and says so) gets pages that run nothing.
  ComPtr<IOleControl> control;
  ASSERT_EQ(browser.As(&control), S_OK);
  site->UserMode = false;
  EXPECT_EQ(control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE), S_OK);
  Load("/ua");
  EXPECT_EQ(Log().size(), 3u);
  site->UserMode = true;
  EXPECT_EQ(control->OnAmbientPropertyChange(DISPID_UNKNOWN), S_OK);
  Load("/ua");
  EXPECT_EQ(Log().size(), 4u);

  // Keys go to the host first; what it takes (Ctrl+N in this container) is done.
  ComPtr<IOleInPlaceActiveObject> active;
  ASSERT_EQ(browser.As(&active), S_OK);
  MSG key{};
  key.message = WM_KEYDOWN;
  key.wParam = 'N';
  EXPECT_EQ(active->TranslateAccelerator(&key), S_OK);
  key.wParam = 'M';
  EXPECT_EQ(active->TranslateAccelerator(&key), S_FALSE);
}

// What each kind of answer, or its absence, leaves behind. Pages log through external.
struct TOutcome {
  const char* Name;
  std::string Path;          // on the loopback server; "dead" for a port nobody listens on
  bool Loaded;               // LocationURL is then the final address, else the requested one
  std::string FinalPath;
  std::wstring StatusStart;  // StatusText begins with it
  std::vector<std::wstring> Log;
  int ScriptErrors;
};

TEST_F(StandInBrowser, EveryAnswerEndsClearly) {
  table.Pages["/ok"] = Reply(200, "OK", Page("external.log('ok')"));
  table.Pages["/500"] = Reply(500, "Internal Server Error", Page("external.log('500 page ran')"));
  table.Pages["/hop1"] = Redirect("/hop2");
  table.Pages["/hop2"] = Redirect("sub/../ok");
  table.Pages["/loop"] = Redirect("/loop");
  table.Pages["/big"] = Reply(200, "OK", Page("external.log('big')") + std::string(10u << 20, ' '));
  table.Pages["/syntax"] = Reply(200, "OK", Page("external.log('first'") + Page("external.log('after')"));
  table.Pages["/throws"] = Reply(200, "OK", Page("throw new Error('boom')") + Page("external.log('after')"));
  table.Pages["/undefined"] = Reply(200, "OK", Page("noSuchFunction()") + Page("external.log('after')"));
  table.Pages["/unknown-method"] = Reply(200, "OK", Page("external.nothing()") + Page("external.log('after')"));
  table.Pages["/flood"] = Reply(200, "OK", Page("for (var i = 0; i < 200; ++i) external.count(); external.log('done')"));
  Serve();
  Attach();
  const std::vector<TOutcome> cases = {
      {"plain page", "/ok", true, "/ok", L"200 OK", {L"ok"}, 0},
      {"404 loads with its status", "/missing", true, "/missing", L"404 Not Found", {L"404 page ran"}, 0},
      {"500 loads with its status", "/500", true, "/500", L"500 Internal Server Error", {L"500 page ran"}, 0},
      {"redirects followed, relative", "/hop1", true, "/ok", L"200", {L"ok"}, 0},
      {"redirect loop bounded", "/loop", false, "/loop", L"more than 10 redirects", {}, 0},
      {"10 MB page refused", "/big", false, "/big", L"page larger than", {}, 0},
      {"dead port", "dead", false, "", L"network error", {}, 0},
      {"syntax error, later block runs", "/syntax", true, "/syntax", L"200", {L"after"}, 1},
      {"throw, later block runs", "/throws", true, "/throws", L"200", {L"after"}, 1},
      {"undefined name, later block runs", "/undefined", true, "/undefined", L"200", {L"after"}, 1},
      {"unknown external method", "/unknown-method", true, "/unknown-method", L"200", {L"after"}, 1},
      {"external called 200 times", "/flood", true, "/flood", L"200", {L"done"}, 0},
  };
  const std::string dead = "http://127.0.0.1:" + std::to_string(DeadPort()) + "/x";
  for (const TOutcome& c : cases) {
    SCOPED_TRACE(c.Name);
    Log().clear();
    site->ScriptErrors = 0;
    const std::string url = c.Path == "dead" ? dead : server->Url(c.Path);
    ASSERT_EQ(Navigate(W(url)), S_OK);
    ASSERT_TRUE(WaitLoaded(20000));
    EXPECT_EQ(Location(), W(c.Loaded ? server->Url(c.FinalPath) : url));
    EXPECT_EQ(Status().rfind(c.StatusStart, 0), 0u) << Status().c_str();
    EXPECT_EQ(Log(), c.Log);
    EXPECT_EQ(site->ScriptErrors, c.ScriptErrors);
  }
  EXPECT_EQ(site->External().Count, 200);
  EXPECT_EQ(server->CountRequests("/loop"), 11) << "the first request and ten redirects";

  // Addresses the control does not load end the same way, without the network.
  for (const wchar_t* address : {L"ftp://127.0.0.1/x", L"file:///c:/windows/win.ini", L"not an address"}) {
    ASSERT_EQ(Navigate(address), S_OK);
    ASSERT_TRUE(WaitLoaded());
    EXPECT_EQ(Location(), address);
    EXPECT_EQ(Status(), L"address not supported");
  }
  ASSERT_EQ(Navigate(L"about:blank"), S_OK);
  ASSERT_TRUE(WaitLoaded());
  EXPECT_EQ(Location(), L"about:blank");
  EXPECT_EQ(Navigate(L""), E_INVALIDARG);
  EXPECT_EQ(browser->Navigate(nullptr, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
}

// A page is untrusted data: no name gets it an object, however it asks, and each refusal is a
// script error the page can catch. Each attempt would leave a file behind if it got through.
TEST_F(StandInBrowser, PagesGetNoObjects) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring marker = std::wstring(temp) + L"murmella-page-made-this.txt";
  DeleteFileW(marker.c_str());
  std::string js;
  for (wchar_t c : marker) js += c == L'\\' ? std::string("\\\\") : std::string(1, static_cast<char>(c));
  struct TAttempt {
    const char* Name;
    std::string Script;  // leaves the marker file if the object was had
  };
  const std::vector<TAttempt> attempts = {
      {"WScript.Shell", "new ActiveXObject('WScript.Shell').Run('cmd /c echo x > \"" + js + "\"', 0, true)"},
      {"Scripting.FileSystemObject", "new ActiveXObject('Scripting.FileSystemObject').CreateTextFile('" + js + "').Close()"},
      {"Shell.Application", "new ActiveXObject('Shell.Application').ShellExecute('cmd', '/c echo x > \"" + js + "\"')"},
      {"MSXML2.XMLHTTP", "new ActiveXObject('MSXML2.XMLHTTP'); new ActiveXObject('Scripting.FileSystemObject')"
                         ".CreateTextFile('" + js + "').Close()"},
      {"ADODB.Stream", "var s = new ActiveXObject('ADODB.Stream'); s.Open(); s.SaveToFile('" + js + "')"},
      {"GetObject winmgmts", "GetObject('winmgmts:').Get('Win32_Process').Create('cmd /c echo x > \"" + js + "\"')"},
      {"GetObject file moniker", "GetObject('" + js + "')"},
      {"GetObject by class", "GetObject('', 'Scripting.FileSystemObject').CreateTextFile('" + js + "').Close()"},
  };
  for (std::size_t i = 0; i < attempts.size(); ++i)
    table.Pages["/object" + std::to_string(i)] = Reply(200, "OK",
        Page("try { " + attempts[i].Script + "; external.log('made'); } catch (e) { external.log('refused'); }") +
        Page("external.log(typeof ActiveXObject)"));
  table.Pages["/uncaught"] = Reply(200, "OK", Page("new ActiveXObject('WScript.Shell')") + Page("external.log('after')"));
  Serve();
  Attach();
  for (std::size_t i = 0; i < attempts.size(); ++i) {
    SCOPED_TRACE(attempts[i].Name);
    Log().clear();
    Load("/object" + std::to_string(i));
    ASSERT_TRUE(WaitLog(2));
    EXPECT_EQ(Log()[0], L"refused");
    EXPECT_EQ(Log()[1], L"function") << "the page still sees the names; only their use is refused";
    PumpFor(100);  // a started program would have had its moment
    EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(marker.c_str());
  }
  // Not caught: the usual script error, and the page's next block runs.
  Log().clear();
  site->ScriptErrors = 0;
  Load("/uncaught");
  ASSERT_TRUE(WaitLog(1));
  EXPECT_EQ(Log(), std::vector<std::wstring>{L"after"});
  EXPECT_EQ(site->ScriptErrors, 1);
}

// Scripts that never return run on the page's thread: the container's thread keeps answering,
// the script is stopped past its time with one script error, and nothing of it runs on.
TEST_F(StandInBrowser, RunawayScriptsAreStopped) {
  struct TRunaway {
    const char* Name;
    std::string Page;
    int ScriptErrors;  // deep recursion ends by itself, as the engine's own error
  };
  const std::vector<TRunaway> runaways = {
      {"for (;;) {} in a block", Page("external.log('started'); for (;;) {}") + Page("external.log('later block')"), 1},
      {"while (true) {} in a timer",
       Page("setTimeout(function () { external.log('started'); while (true) {} }, 10);"
            "setInterval(function () { external.log('interval'); }, 3000)"), 1},
      {"allocating loop", Page("external.log('started'); var s = ''; for (;;) { s = s.substr(1) + 'x'; var o = {a: s}; }"), 1},
      {"deep recursion", Page("external.log('started'); function f(n) { return f(n + 1) + 1; } f(0)"), 1},
  };
  for (std::size_t i = 0; i < runaways.size(); ++i) table.Pages["/run" + std::to_string(i)] = Reply(200, "OK", runaways[i].Page);
  table.Pages["/after"] = Reply(200, "OK", Page("external.log('after')"));
  Serve();
  Attach();
  HWND probe = CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(probe, nullptr);
  for (std::size_t i = 0; i < runaways.size(); ++i) {
    SCOPED_TRACE(runaways[i].Name);
    Log().clear();
    site->ScriptErrors = 0;
    ASSERT_EQ(Navigate(W(server->Url("/run" + std::to_string(i)))), S_OK);
    ASSERT_TRUE(WaitLog(1));
    // Another thread's message round trip to this one, answered while the script runs.
    std::atomic<int> answered{0}, asked{0};
    std::atomic<bool> done{false};
    std::thread asker([&] {
      while (!done) {
        DWORD_PTR r = 0;
        ++asked;
        if (SendMessageTimeoutW(probe, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &r)) ++answered;
        Sleep(50);
      }
    });
    const ULONGLONG start = GetTickCount64();
    const bool stopped = PumpUntil([&] { return site->ScriptErrors >= runaways[i].ScriptErrors; }, 8000);
    const ULONGLONG took = GetTickCount64() - start;
    done = true;
    asker.join();
    ASSERT_TRUE(stopped);
    EXPECT_LT(took, 6500u);
    // Deep recursion ends by itself within a fraction of a second; the others run until stopped.
    EXPECT_GE(asked.load(), std::max(1, static_cast<int>(took / 200))) << "round trips asked while it ran";
    EXPECT_EQ(answered.load(), asked.load()) << "the container's thread answered every time";
    // Nothing of the page runs on: no later block, no timer, no core kept busy.
    FILETIME c, e, k0, u0, k1, u1;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k0, &u0);
    PumpFor(1000);
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k1, &u1);
    auto ticks = [](FILETIME f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    EXPECT_LT((ticks(u1) - ticks(u0) + ticks(k1) - ticks(k0)) / 10000, 500u) << "ms of CPU in the second after";
    EXPECT_EQ(Log(), std::vector<std::wstring>{L"started"});
    EXPECT_EQ(site->ScriptErrors, runaways[i].ScriptErrors);
    Log().clear();
    Load("/after");
    EXPECT_EQ(Log(), std::vector<std::wstring>{L"after"}) << "the next page starts clean";
  }
  DestroyWindow(probe);
}

// The host's Close and Quit end a page whatever its script does, at once.
TEST_F(StandInBrowser, ClosingEndsARunningScript) {
  table.Pages["/spin"] = Reply(200, "OK", Page("external.log('started'); for (;;) {}"));
  Serve();
  Attach();
  for (int round = 0; round < 2; ++round) {
    Log().clear();
    ASSERT_EQ(Navigate(W(server->Url("/spin"))), S_OK);
    ASSERT_TRUE(WaitLog(1));
    const ULONGLONG start = GetTickCount64();
    if (round == 0) EXPECT_EQ(browser->Quit(), S_OK);
    else EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_LT(GetTickCount64() - start, 2000u);
  }
  const ULONGLONG start = GetTickCount64();
  ASSERT_EQ(Navigate(W(server->Url("/spin"))), S_OK);
  ASSERT_TRUE(WaitLog(1));
  ole->SetClientSite(nullptr);
  ole.Reset();
  browser.Reset();
  EXPECT_LT(GetTickCount64() - start, 4000u) << "the last reference ended the page too";
}

TEST_F(StandInBrowser, ScriptErrorTheHostDoesNotPassStopsThePage) {
  table.Pages["/stop"] = Reply(200, "OK",
                               Page("setTimeout(function () { external.log('timer'); }, 10); external.log('first')") +
                                   Page("throw 1") + Page("external.log('after')"));
  Serve();
  site->ScriptErrorsContinue = false;
  Attach();
  Load("/stop");
  PumpFor(200);
  EXPECT_EQ(Log(), std::vector<std::wstring>{L"first"}) << "neither the later block nor the timer ran";
  EXPECT_EQ(site->ScriptErrors, 1);
}

TEST_F(StandInBrowser, WindowOffersTimersAndLocation) {
  table.Pages["/timers"] = Reply(200, "OK", Page(R"js(
      var n = 0, ticks = 0;
      setTimeout(function () { external.log('function'); }, 30);
      setTimeout("external.log('text')", 60);
      var never = setTimeout(function () { external.log('cleared'); }, 40);
      clearTimeout(never);
      var every = setInterval(function () {
        external.log('tick ' + (++ticks));
        if (ticks == 3) { clearInterval(every); setTimeout(function () { location.replace('rel/b.html?x'); }, 10); }
      }, 100);
      external.log(window.self === window ? 'ready' : 'no window');
      )js"));
  table.Pages["/rel/b.html"] = Reply(200, "OK", Page(R"js(
      external.log(location.href);
      if (location.href.indexOf('again') < 0) location.href = '../reloaded?again';
      )js"));
  table.Pages["/reloaded"] = Reply(200, "OK", Page("location.reload()"));
  table.Later["/reloaded"] = Reply(200, "OK", Page("external.log('reloaded')"));
  Serve();
  Attach();
  Load("/timers");
  ASSERT_TRUE(WaitLog(8));
  EXPECT_EQ(Log(), (std::vector<std::wstring>{L"ready", L"function", L"text", L"tick 1", L"tick 2", L"tick 3",
                                              W(server->Url("/rel/b.html?x")), L"reloaded"}));
  PumpFor(250);
  EXPECT_EQ(Log().size(), 8u) << "nothing fires after clearInterval or from the old pages";
  EXPECT_EQ(Location(), W(server->Url("/reloaded?again")));

  // An error inside a timer's function reaches the host once; later timers still run.
  table.Pages["/late-error"] = Reply(200, "OK", Page(
      "setTimeout(function () { external.log('x'); throw new Error('late'); }, 10);"
      "setTimeout(function () { external.log('y'); }, 60);"));
  Log().clear();
  site->ScriptErrors = 0;
  Load("/late-error");
  ASSERT_TRUE(WaitLog(2));
  EXPECT_EQ(Log(), (std::vector<std::wstring>{L"x", L"y"}));
  EXPECT_EQ(site->ScriptErrors, 1);

  // window.external is null when the host offers none.
  table.Pages["/noexternal"] = Reply(200, "OK", Page("window.location = window.external === null ? '/yes' : '/no'"));
  table.Pages["/yes"] = Reply(200, "OK", "");
  site->OffersExternal = false;
  Load("/noexternal");
  ASSERT_TRUE(PumpUntil([&] { return Location() == W(server->Url("/yes")); }, 5000)) << Location().c_str();
}

// A page is read in the encoding its response or its own <meta> names, else as UTF-8 when it
// is UTF-8, else in the system's code page: whichever way a name is written, the script
// passes the same text to the host.
TEST_F(StandInBrowser, PagesAreReadInTheirOwnEncoding) {
  const std::wstring name = L"Zo\u00EB \u738B\u4F1F \u0141ukasz";
  const std::string rawName = "Zo\xC3\xAB \xE7\x8E\x8B\xE4\xBC\x9F \xC5\x81ukasz";
  auto labelled = [](std::string contentType, std::string body) {
    TReply r = Reply(200, "OK", std::move(body));
    r.ContentType = std::move(contentType);
    return r;
  };
  std::string utf16 = "\xFF\xFE";
  for (char c : Page("external.log('\\u738B')")) utf16 += {c, '\0'};
  std::string acpBytes = "caf\xE9 \xC8\xE2\xE0\xED";  // no label and not UTF-8
  std::wstring acpText(16, L'\0');
  acpText.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_ACP, 0, acpBytes.data(), static_cast<int>(acpBytes.size()), acpText.data(), 16)));
  struct TCase {
    const char* Path;
    TReply Served;
    std::wstring Expected;
  };
  const TCase cases[] = {
      {"/escaped", Reply(200, "OK", Page("external.log('Zo\\u00EB \\u738B\\u4F1F \\u0141ukasz')")), name},
      {"/raw-labelled", labelled("text/html; charset=utf-8", Page("external.log('" + rawName + "')")), name},
      {"/raw-unlabelled", Reply(200, "OK", Page("external.log('" + rawName + "')")), name},
      {"/raw-in-comment-and-string", Reply(200, "OK", Page("// " + rawName + "\nexternal.log(\"" + rawName + "\")")),
       name},
      {"/cp1251-by-header", labelled("text/html; charset=windows-1251", Page("external.log('\xC8\xE2\xE0\xED')")),
       L"\u0418\u0432\u0430\u043D"},
      {"/gbk-by-meta", Reply(200, "OK", "<html><head><meta charset=\"GBK\"></head>" +
                                            Page("external.log('\xCD\xF5\xCE\xB0')")),
       L"\u738B\u4F1F"},
      {"/sjis-by-http-equiv",
       Reply(200, "OK", "<meta http-equiv='Content-Type' content='text/html; charset=Shift_JIS'>" +
                            Page("external.log('\x82\xE2\x82\xDC\x82\xBE')")),
       L"\u3084\u307E\u3060"},
      {"/header-over-meta", labelled("text/html; charset=windows-1251",
                                     "<meta charset=utf-8>" + Page("external.log('\xC8\xE2\xE0\xED')")),
       L"\u0418\u0432\u0430\u043D"},
      {"/utf16-bom", Reply(200, "OK", utf16), L"\u738B"},
      {"/system-code-page", Reply(200, "OK", Page("external.log('" + acpBytes + "')")), acpText},
  };
  for (const TCase& c : cases) table.Pages[c.Path] = c.Served;
  Serve();
  Attach();
  for (const TCase& c : cases) {
    Log().clear();
    Load(c.Path);
    ASSERT_TRUE(WaitLog(1)) << c.Path;
    EXPECT_EQ(Log().front(), c.Expected) << c.Path;
  }
}

// A page's own navigations go to the web only; anything else is refused and the page stays.
TEST_F(StandInBrowser, PageNavigationsStayOnTheWeb) {
  table.Pages["/leave"] = Reply(200, "OK", Page(R"js(
      location.href = 'file:///c:/windows/win.ini';
      location.replace('javascript:external.log("ran")');
      window.location = 'res://shell32.dll/1';
      location.href = 'mk:@MSITStore:c:/x.chm::/a.htm';
      setTimeout(function () { external.log(location.href); }, 300);
      )js"));
  Serve();
  Attach();
  Load("/leave");
  ASSERT_TRUE(WaitLog(1));
  EXPECT_EQ(Log(), std::vector<std::wstring>{W(server->Url("/leave"))});
  EXPECT_EQ(Location(), W(server->Url("/leave")));
  EXPECT_EQ(Status(), L"200 OK");
  EXPECT_EQ(server->Requests().size(), 1u);
}

TEST_F(StandInBrowser, NewNavigationCancelsThePendingOne) {
  TReply slow = Reply(200, "OK", Page("external.log('slow')"));
  slow.DelayMs = 400;
  table.Pages["/slow"] = slow;
  table.Pages["/fast"] = Reply(200, "OK", Page("external.log('fast')"));
  Serve();
  Attach();
  ASSERT_EQ(Navigate(W(server->Url("/slow"))), S_OK);
  ASSERT_EQ(Navigate(W(server->Url("/fast"))), S_OK);
  ASSERT_TRUE(WaitLoaded());
  PumpFor(700);
  EXPECT_EQ(Log(), std::vector<std::wstring>{L"fast"});
  EXPECT_EQ(Location(), W(server->Url("/fast")));

  // Stop leaves the loaded page as it was.
  ASSERT_EQ(Navigate(W(server->Url("/slow"))), S_OK);
  EXPECT_EQ(browser->Stop(), S_OK);
  PumpFor(700);
  EXPECT_EQ(Log(), std::vector<std::wstring>{L"fast"});
  EXPECT_EQ(Location(), W(server->Url("/fast")));
}

TEST_F(StandInBrowser, PageNavigatingOnEveryTimerTick) {
  table.Pages["/tick"] = Reply(200, "OK", Page("setInterval(function () { location.href = '/tick?' + Math.random(); }, 10)"));
  table.Pages["/rest"] = Reply(200, "OK", Page("external.log('rest')"));
  Serve();
  Attach();
  Load("/tick");
  ASSERT_TRUE(PumpUntil([&] { return server->CountRequests("/tick") >= 10; }, 10000));
  Load("/rest");
  ASSERT_TRUE(WaitLog(1));
  const int ticks = server->CountRequests("/tick");
  PumpFor(300);
  EXPECT_EQ(server->CountRequests("/tick"), ticks) << "the old page's timers went with it";
  EXPECT_EQ(Location(), W(server->Url("/rest")));
  EXPECT_EQ(Log(), std::vector<std::wstring>{L"rest"});

  // The same against a server that does not answer for a while: cancelled downloads cannot be
  // cut short, so only a few run at a time, and the host's navigation still gets through.
  TReply hang = Reply(200, "OK", Page("external.log('hang')"));
  hang.DelayMs = 2500;
  table.Pages["/hang"] = hang;
  table.Pages["/tick-hang"] = Reply(200, "OK", Page("setInterval(function () { location.href = '/hang?' + Math.random(); }, 10)"));
  Log().clear();
  Load("/tick-hang");
  PumpFor(500);
  EXPECT_EQ(server->CountRequests("/hang"), kMaxDownloads);
  Load("/rest");
  EXPECT_EQ(Log(), std::vector<std::wstring>{L"rest"});
  EXPECT_EQ(server->CountRequests("/hang"), kMaxDownloads);
}

TEST_F(StandInBrowser, HandlersThatPumpMessagesDoNotNestScriptsOrCloseTheirPage) {
  // While external.pump runs the message loop, a timer falls due and the page's own
  // navigation completes; both wait until the script has returned.
  table.Pages["/nest"] = Reply(200, "OK", Page(R"js(
      setTimeout(function () { external.log('timer'); }, 10);
      location.href = '/next';
      external.log('before');
      external.pump(500);
      external.log('after');
      )js"));
  table.Pages["/next"] = Reply(200, "OK", Page("external.log('next')"));
  Serve();
  Attach();
  Load("/nest");
  ASSERT_TRUE(WaitLog(3));
  PumpFor(300);
  EXPECT_EQ(Log(), (std::vector<std::wstring>{L"before", L"after", L"next"}))
      << "the old page's script finished; its timer went with the page; the new page ran";
  EXPECT_EQ(site->External().MaxDepth, 1);
  EXPECT_EQ(Location(), W(server->Url("/next")));

  table.Pages["/nest-timer"] = Reply(200, "OK", Page(R"js(
      setTimeout(function () { external.log('timer'); }, 10);
      external.pump(300);
      external.log('after');
      )js"));
  Log().clear();
  Load("/nest-timer");
  ASSERT_TRUE(WaitLog(2));
  EXPECT_EQ(Log(), (std::vector<std::wstring>{L"after", L"timer"}));
}

TEST_F(StandInBrowser, HostMayQuitOrLetGoDuringAScriptCall) {
  // The host ends the control from inside a page's call: the call returns, the page closes
  // afterwards and its later blocks do not run.
  table.Pages["/quit"] = Reply(200, "OK", Page("external.log('one'); external.pump(50); external.log('two')") +
                                              Page("external.log('three')"));
  Serve();
  Attach();
  site->External().DuringPump = [&] { EXPECT_EQ(browser->Quit(), S_OK); };
  Load("/quit");
  PumpFor(100);
  EXPECT_EQ(Log(), (std::vector<std::wstring>{L"one", L"two"}));

  // The host lets go of the control altogether inside the call: the control outlives the
  // call, the page finds no external object any more, and nothing runs on a freed object.
  site->External().DuringPump = [&] {
    ole->SetClientSite(nullptr);
    ole.Reset();
    browser.Reset();
  };
  Log().clear();
  ASSERT_EQ(Navigate(W(server->Url("/quit"))), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return !browser; }, 5000));
  PumpFor(200);
  EXPECT_EQ(Log(), std::vector<std::wstring>{L"one"});
  EXPECT_FALSE(browser);
}

TEST_F(StandInBrowser, InPlaceActivationMakesAHiddenChildWindow) {
  Attach();
  HWND parent = CreateWindowExW(0, L"Static", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  RECT r{0, 0, 200, 100};
  ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, parent, &r), S_OK);
  ComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(browser.As(&inPlace), S_OK);
  HWND view = nullptr;
  ASSERT_EQ(inPlace->GetWindow(&view), S_OK);
  EXPECT_EQ(GetParent(view), parent);
  EXPECT_FALSE(IsWindowVisible(view)) << "never shown unless Visible is set";
  EXPECT_EQ(inPlace->InPlaceDeactivate(), S_OK);
  EXPECT_FALSE(IsWindow(view));
  EXPECT_EQ(inPlace->GetWindow(&view), E_FAIL);

  // Through an in-place site: its window is the parent, its context the position, and it
  // hears of activation and deactivation.
  site->InPlaceWindow = parent;
  ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, nullptr, nullptr), S_OK);
  ASSERT_EQ(inPlace->GetWindow(&view), S_OK);
  EXPECT_EQ(GetParent(view), parent);
  RECT at{};
  GetWindowRect(view, &at);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&at), 2);
  EXPECT_EQ(at.left, 10);
  EXPECT_EQ(at.right, 110);
  EXPECT_EQ(site->InPlaceActivations, 1);
  EXPECT_FALSE(IsWindowVisible(view));
  ShowWindow(parent, SW_SHOWNA);
  EXPECT_EQ(browser->put_Visible(VARIANT_TRUE), S_OK);
  EXPECT_TRUE(IsWindowVisible(view));
  EXPECT_EQ(browser->put_Visible(VARIANT_FALSE), S_OK);
  EXPECT_FALSE(IsWindowVisible(view));
  EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), S_OK);
  EXPECT_FALSE(IsWindow(view));
  EXPECT_EQ(site->InPlaceDeactivations, 1);
  DestroyWindow(parent);
}

}  // namespace
}  // namespace murmella::webcontrol::test
