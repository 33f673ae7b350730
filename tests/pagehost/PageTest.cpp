// Pages from the stand-in service running in the control the host chose, with the console's
// settings and handlers: JScript, WinHTTP and the container protocol all real.
#include <winsock2.h>  // before windows.h

#include "EmbeddedWB.h"
#include "PageHostTestSupport.h"
#include "ServiceClient.h"

#include <gtest/gtest.h>

#include <mshtmdid.h>
#include <olectl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace murmella::pagehost {
namespace {

using forms::TObject;
using namespace std::chrono_literals;

struct TCall {
  DISPID id;
  std::wstring arg;  // the first argument as text
};

// "pagesetup" whatever the case of its letters A to Z, and nothing else.
bool IsPageSetup(const wchar_t* name) {
  static const wchar_t word[] = L"pagesetup";
  for (int i = 0; word[i]; ++i) {
    wchar_t c = name[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != word[i]) return false;
  }
  return name[9] == 0;
}

BOOL CALLBACK CountVisible(HWND w, LPARAM n) {
  if (IsWindowVisible(w)) ++*reinterpret_cast<int*>(n);
  return TRUE;
}

class PageTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ServiceUrl().empty()) << "MURMELLA_SERVICE_URL is not set: run through CTest (scripts/test-service)";
    host_.SetParentWindow(page_.Handle());
    host_.SetBounds(RECT{0, 0, 848, 532});
    host_.SetDownloadOptions({});
    host_.OnGetHostInfo = [this](TObject&, DOCHOSTUIINFO& info) {
      ++hostInfo_;
      info.cbSize = 12;
      info.dwFlags = 12;
      info.dwDoubleClick = 0;
    };
    host_.OnGetExternal = [this](TObject&, IDispatch*& pp) {
      ++externals_;
      pp = host_.DispatchInterface();
      pp->AddRef();
    };
    host_.OnGetIDsOfNames = [this](TObject&, REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids,
                                   HRESULT& rezult) {
      lookups_.emplace_back(names[0]);
      if (count == 1 && IsPageSetup(names[0])) {
        ids[0] = 1;
        rezult = S_OK;
      } else if (count == 1 && wcscmp(names[0], L"other") == 0) {
        ids[0] = 2;
        rezult = S_OK;
      }
    };
    host_.OnInvoke = [this](TObject&, DISPID id, REFIID, LCID, WORD flags, DISPPARAMS& params, VARIANT*,
                            EXCEPINFO*, UINT*, HRESULT& rezult) {
      TCall call{id, {}};
      if (params.cArgs > 0) {
        VARIANT text;
        VariantInit(&text);
        if (SUCCEEDED(VariantChangeType(&text, &params.rgvarg[params.cArgs - 1], 0, VT_BSTR)))
          call.arg.assign(text.bstrVal, SysStringLen(text.bstrVal));
        VariantClear(&text);
      }
      calls_.push_back(call);
      if (id == 1 && (flags & DISPATCH_METHOD)) rezult = S_OK;
    };
    host_.Loaded();
  }

  void PutPage(const std::string& name, const std::string& html) {
    ASSERT_EQ(ServiceRequest(L"PUT", "/t/" + name, html), 201);
  }

  // The arguments of the page's pagesetup calls so far.
  std::vector<std::wstring> Visitors() const {
    std::vector<std::wstring> v;
    for (const TCall& c : calls_)
      if (c.id == 1) v.push_back(c.arg);
    return v;
  }
  bool Called(DISPID id) const {
    for (const TCall& c : calls_)
      if (c.id == id) return true;
    return false;
  }
  bool WaitForVisitor(const std::wstring& name, std::chrono::milliseconds timeout = 5s) {
    return PumpUntil([&] {
      for (const std::wstring& v : Visitors())
        if (v == name) return true;
      return false;
    }, timeout);
  }

  TPageWindow page_;
  TEmbeddedWB host_{nullptr};
  int hostInfo_ = 0, externals_ = 0;
  std::vector<std::wstring> lookups_;
  std::vector<TCall> calls_;
};

TEST_F(PageTest, PresencePageReportsQueuedVisitorsThroughTheHostsDispatchAndReloadsItself) {
  EXPECT_FALSE(host_.HostsPlatformControl());  // no HTML engine here: the stand-in runs
  EXPECT_EQ(host_.LocationURL(), "");          // nothing loaded yet
  ASSERT_EQ(ServiceRequest(L"POST", "/visitors?name=" + UrlEncode("Ann <b>bold</b>")), 202);
  const std::string start = ServiceUrl() + "/pop.php";
  host_.Navigate(start);
  ASSERT_TRUE(WaitForVisitor(L"Ann <b>bold</b>"));
  EXPECT_EQ(host_.LocationURL(), start);
  EXPECT_GE(externals_, 1);  // the script read window.external and got the host's dispatch
  EXPECT_GE(hostInfo_, 1);
  EXPECT_EQ(lookups_.front(), L"pagesetup");

  // The next visitor arrives with one of the page's own reloads.
  ASSERT_EQ(ServiceRequest(L"POST", "/visitors?name=Bob"), 202);
  ASSERT_TRUE(WaitForVisitor(L"Bob"));
  EXPECT_EQ(Visitors(), (std::vector<std::wstring>{L"Ann <b>bold</b>", L"Bob"}));

  // Ambient reads: download control and user mode are the host's own answers; the user agent,
  // which the console does not set, falls through to OnInvoke.
  EXPECT_TRUE(Called(DISPID_AMBIENT_USERAGENT));
  EXPECT_FALSE(Called(DISPID_AMBIENT_DLCONTROL));
  EXPECT_FALSE(Called(DISPID_AMBIENT_USERMODE));
}

TEST_F(PageTest, OnlyPageSetupInAnyCaseOfItsLettersIsCalled) {
  struct Row {
    const char* name;
    bool known;
  } rows[] = {
      {"pagesetup", true}, {"PAGESETUP", true},  {"PageSetup", true},   {"pAgEsEtUp", true},
      {"pagesetu", false}, {"pagesetup2", false}, {"page_setup", false}, {"pages\\u0065tup", true},
      {"pag\\u00C9setup", false}, {"pagesetup ", false},
  };
  std::string script = "<script>\n";
  for (size_t i = 0; i < std::size(rows); ++i)
    script += "try { window.external[\"" + std::string(rows[i].name) + "\"](\"" + std::to_string(i) +
              "\"); } catch (e) {}\n";
  script += "window.external.pagesetup(\"end\");\n</script>\n";
  PutPage("names.htm", "<html><body>" + script + "</body></html>");
  host_.Navigate(ServiceUrl() + "/t/names.htm");
  ASSERT_TRUE(WaitForVisitor(L"end"));
  std::vector<std::wstring> expected;
  for (size_t i = 0; i < std::size(rows); ++i)
    if (rows[i].known) expected.push_back(std::to_wstring(i));
  expected.push_back(L"end");
  EXPECT_EQ(Visitors(), expected);
  // Every name reached the lookup event as the script wrote it.
  for (const wchar_t* n : {L"PAGESETUP", L"pAgEsEtUp", L"pagesetup2", L"page_setup", L"pag\u00C9setup"})
    EXPECT_NE(std::find(lookups_.begin(), lookups_.end(), n), lookups_.end()) << n;
}

TEST_F(PageTest, UnansweredNumbersAndScriptErrorsDoNotStopThePage) {
  PutPage("errors.htm",
          "<html><body>\n"
          "<script>try { window.external.other(1); window.external.pagesetup(\"no error\"); }\n"
          "catch (e) { window.external.pagesetup(\"caught \" + (e.number >>> 0).toString(16)); }</script>\n"
          "<script>this is not a script (</script>\n"
          "<script>throw new Error(\"thrown\");</script>\n"
          "<script>window.external.pagesetup(\"after\");</script>\n"
          "</body></html>");
  host_.Navigate(ServiceUrl() + "/t/errors.htm");
  ASSERT_TRUE(WaitForVisitor(L"after"));
  EXPECT_TRUE(Called(2));
  // DISP_E_MEMBERNOTFOUND reached the script as the call's error.
  EXPECT_EQ(Visitors(), (std::vector<std::wstring>{L"caught 80020003", L"after"}));
  // No dialog came up for the two errors: the page window is the thread's only window.
  int windows = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountVisible, reinterpret_cast<LPARAM>(&windows));
  EXPECT_EQ(windows, 0);
}

TEST_F(PageTest, DownloadOptionsReachTheControlScriptsOffMeansNoCalls) {
  host_.SetDownloadOptions({TDownloadOption::DontExecuteScripts});
  PutPage("quiet.htm", "<html><body><script>window.external.pagesetup(\"ran\");</script></body></html>");
  const std::string url = ServiceUrl() + "/t/quiet.htm";
  host_.Navigate(url);
  ASSERT_TRUE(PumpUntil([&] { return host_.LocationURL() == url; }, 5s));
  PumpUntil([] { return false; }, 300ms);
  EXPECT_TRUE(Visitors().empty());
  host_.SetDownloadOptions({});
  host_.Navigate(url);
  EXPECT_TRUE(WaitForVisitor(L"ran"));
}

TEST_F(PageTest, CtrlNOfferedToTheControlIsSwallowedByTheHost) {
  Microsoft::WRL::ComPtr<IOleInPlaceActiveObject> active;
  ASSERT_EQ(host_.Browser()->QueryInterface(IID_PPV_ARGS(&active)), S_OK);
  SetControlAndAlt(true, false);
  MSG n{page_.Handle(), WM_KEYDOWN, 'N', 0, 0, {0, 0}};
  MSG m{page_.Handle(), WM_KEYDOWN, 'M', 0, 0, {0, 0}};
  EXPECT_EQ(active->TranslateAccelerator(&n), S_OK);
  EXPECT_EQ(active->TranslateAccelerator(&m), S_FALSE);
  SetControlAndAlt(false, false);
  EXPECT_EQ(active->TranslateAccelerator(&n), S_FALSE);
}

// A loopback port nothing listens on: bound once for a moment, then given back.
int DeadPort() {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  closesocket(s);
  WSACleanup();
  return ntohs(a.sin_port);
}

TEST_F(PageTest, ARefusedAddressIsRaisedADeadServerIsNotAndTheHostGoesOn) {
  // What the control refuses outright is raised to the caller.
  ExpectMurmellaError([&] { host_.Navigate(""); }, "EOleSysError");
  const std::string dead = "http://127.0.0.1:" + std::to_string(DeadPort()) + "/pop.php";
  EXPECT_NO_THROW(host_.Navigate(dead));
  ASSERT_TRUE(PumpUntil([&] { return host_.LocationURL() == dead; }, 10s));
  EXPECT_TRUE(Visitors().empty());
  ASSERT_EQ(ServiceRequest(L"POST", "/visitors?name=Carol"), 202);
  host_.Navigate(ServiceUrl() + "/pop.php");
  EXPECT_TRUE(WaitForVisitor(L"Carol"));
}

}  // namespace
}  // namespace murmella::pagehost
