// The stand-in control end to end: real WinHTTP against a loopback server, the real JScript
// engine, and a scripted container recording what the control asks of it.
#include "LoopbackServer.h"
#include "StandInBrowser.h"
#include "TestContainer.h"

#include <gtest/gtest.h>

#include <map>

using Microsoft::WRL::ComPtr;

namespace murmella::webcontrol::test {
namespace {

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string Page(const std::string& script) { return "<html><body><script>" + script + "</script></body></html>"; }

// Pages by path; a path missing from the table is a 404 whose body still has a script.
class PageTable {
 public:
  std::map<std::string, TReply> Pages;
  TReply Serve(const std::string& path) const {
    const std::string key = path.substr(0, path.find('?'));
    const auto it = Pages.find(key);
    if (it != Pages.end()) return it->second;
    return Reply(404, "Not Found", Page("external.log('404 page ran')"));
  }
};

class StandInBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(CreateStandInWebBrowser(&unknown), S_OK);
    ASSERT_TRUE(SUCCEEDED(unknown.As(&browser)));
    ASSERT_TRUE(SUCCEEDED(unknown.As(&ole)));
    site.Attach(new TTestSite);
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
  std::wstring Location() {
    BSTR b = nullptr;
    EXPECT_EQ(browser->get_LocationURL(&b), S_OK);
    std::wstring s = b ? b : L"";
    SysFreeString(b);
    return s;
  }
  std::wstring Status() {
    BSTR b = nullptr;
    EXPECT_EQ(browser->get_StatusText(&b), S_OK);
    std::wstring s = b ? b : L"";
    SysFreeString(b);
    return s;
  }
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

}  // namespace
}  // namespace murmella::webcontrol::test
