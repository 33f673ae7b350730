// The platform's WebBrowser control in the same container, as far as this platform takes it.
#include "EmbeddedWB.h"
#include "PageHostTestSupport.h"
#include "WebControlChoice.h"

#include <gtest/gtest.h>

#include <mshtmdid.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace murmella::pagehost {
namespace {

using forms::TObject;

TEST(PlatformControl, IsCreatedBoundToTheContainerAndAsksItsQuestions) {
  TPageWindow page;
  TEmbeddedWB host(nullptr);
  host.ControlKind = TWebControlKind::Platform;
  host.SetParentWindow(page.Handle());
  host.SetBounds(RECT{0, 0, 848, 532});
  host.SetDownloadOptions({});
  int hostInfo = 0;
  std::vector<DISPID> invoked;
  host.OnGetHostInfo = [&](TObject&, DOCHOSTUIINFO& info) {
    ++hostInfo;
    info.cbSize = 12;
    info.dwFlags = 12;
  };
  host.OnInvoke = [&](TObject&, DISPID id, REFIID, LCID, WORD, DISPPARAMS&, VARIANT*, EXCEPINFO*, UINT*,
                      HRESULT&) { invoked.push_back(id); };
  host.Loaded();
  ASSERT_NE(host.Browser(), nullptr);
  EXPECT_TRUE(host.HostsPlatformControl());
  // The control is bound to our site.
  Microsoft::WRL::ComPtr<IOleObject> object;
  ASSERT_EQ(host.Browser()->QueryInterface(IID_PPV_ARGS(&object)), S_OK);
  Microsoft::WRL::ComPtr<IOleClientSite> site;
  ASSERT_EQ(object->GetClientSite(&site), S_OK);
  Microsoft::WRL::ComPtr<IDispatch> siteDispatch;
  ASSERT_EQ(site.As(&siteDispatch), S_OK);
  EXPECT_EQ(siteDispatch.Get(), host.DispatchInterface());
  // Hidden: whatever window it made is not shown.
  HWND window = nullptr;
  Microsoft::WRL::ComPtr<IOleInPlaceObject> inPlace;
  if (SUCCEEDED(object.As(&inPlace)) && SUCCEEDED(inPlace->GetWindow(&window)) && window) {
    EXPECT_FALSE(IsWindowVisible(window));
  }

  // Before any page the address is empty; a navigation either starts or is raised as an error.
  EXPECT_EQ(host.LocationURL(), "");
  bool raised = false;
  try {
    host.Navigate("http://127.0.0.1:1/pop.php");
  } catch (const forms::EMurmellaError& e) {
    raised = true;
    EXPECT_EQ(e.ClassName(), "EOleSysError");
  }
  PumpUntil([] { return false; }, std::chrono::milliseconds(300));
  // The control read ambient properties through the site (the ones the host does not answer
  // itself reach OnInvoke); host information comes only once a document is made.
  EXPECT_FALSE(invoked.empty());
  RecordProperty("host_info_calls", hostInfo);
  RecordProperty("navigate_raised", raised ? 1 : 0);
  std::printf("platform control: host info asked %d times, navigate %s, ambient reads reaching OnInvoke:",
              hostInfo, raised ? "raised" : "started");
  for (DISPID id : invoked) std::printf(" %ld", static_cast<long>(id));
  std::printf("\n");
}

TEST(PlatformControl, WithoutAnHtmlEngineTheAutomaticChoiceIsTheStandIn) {
  // Our Wine runs with mshtml disabled; a platform with the engine would answer true.
  const char* overrides = std::getenv("WINEDLLOVERRIDES");
  if (!overrides || !strstr(overrides, "mshtml=")) GTEST_SKIP() << "the HTML engine is not disabled here";
  EXPECT_FALSE(PlatformHasHtmlEngine());
}

}  // namespace
}  // namespace murmella::pagehost
