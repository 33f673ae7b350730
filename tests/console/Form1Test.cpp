// TForm1 built in this process: what cannot be read from another process (components and
// their settings, fonts, the menu, the sign-up call), the close rule and the option rule.
#include <winsock2.h>

#include "Unit1.h"

#include "Application.h"
#include "AutoRun.h"
#include "ComCtrls.h"
#include "CoolTrayIcon.h"
#include "EmbeddedWB.h"
#include "ExtCtrls.h"
#include "HTMLPopup.h"
#include "ImgList.h"
#include "Menus.h"
#include "OneInstance.h"
#include "ServicePages.h"
#include "StdCtrls.h"
#include "ChatProcess.h"
#include "WineDesktop.h"
#include "ovcstate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace murmella;
using namespace murmella::console;
using forms::TCloseAction;
using chattest::Pump;

namespace {

std::vector<std::wstring> navigated;
HRESULT WINAPI RecordNavigation(IUnknown* unknown, LPCWSTR target) {
  navigated.push_back(unknown ? L"<context>" : target);
  return S_OK;
}

// Listens where the service's pages are and keeps the first request line that arrives.
class ServiceListener {
 public:
  ServiceListener() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(8480);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bound_ = ::bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(socket_, 4) == 0;
    if (bound_)
      thread_ = std::thread([this] {
        SOCKET c = ::accept(socket_, nullptr, nullptr);
        if (c == INVALID_SOCKET) return;
        char buf[512] = {};
        const int n = ::recv(c, buf, sizeof buf - 1, 0);
        if (n > 0) {
          std::string s(buf, static_cast<std::size_t>(n));
          line_ = s.substr(0, s.find("\r\n"));
        }
        done_ = true;
        ::closesocket(c);
      });
  }
  ~ServiceListener() {
    ::closesocket(socket_);
    if (thread_.joinable()) thread_.join();
    WSACleanup();
  }
  bool Bound() const { return bound_; }
  bool Done() const { return done_; }
  std::string Line() const { return done_ ? line_ : std::string(); }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  bool bound_ = false;
  std::atomic<bool> done_{false};
  std::string line_;
  std::thread thread_;
};

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testdesktop::Enter());
    RegDeleteTreeA(HKEY_CURRENT_USER, "Murmellachat");
    OleInitialize(nullptr);
    app = std::make_unique<forms::TApplication>();
    app->SetTitle("MurmellaChat");
  }
  void TearDown() override {
    form.reset();
    app.reset();
    startup::RemoveAutoRunValue("MurMellachatRun");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Murmellachat");
    OleUninitialize();
    ConsolePlatform.HlinkNavigateString = &::HlinkNavigateString;
    ConsolePlatform.GetCursorPos = &::GetCursorPos;
  }
  void Build() {
    form = std::make_unique<TForm1>(nullptr);
    app->SetMainForm(form.get());
  }
  std::unique_ptr<forms::TApplication> app;
  std::unique_ptr<TForm1> form;
};

TEST_F(Form1Test, ComponentsInCreationOrderWithTheirSettings) {
  ServiceListener service;
  Build();
  std::vector<std::string> names;
  for (forms::TComponent* c : form->Components()) names.push_back(c->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Panel3", "chstartup", "chpopup", "disconnect", "duree", "Label1",
                                             "JvPageControl1", "TabSheet2", "www", "OvcComponentState1",
                                             "OvcRegistryStore1", "ImageList1", "pop2", "OneInstance1", "CoolTrayIcon1",
                                             "Timer1", "Timer2", "AutoRun1", "PopupMenu1", "Opendialogoo1",
                                             "CloseMurmella", "N1", "RegisterMurmellachat",
                                             "RecentVisitors"}));
  EXPECT_EQ(form->Font().Name(), "MS Shell Dlg 2");
  EXPECT_EQ(form->Font().Height(), -11);
  EXPECT_EQ(form->chstartup->Font().Name(), "MS Shell Dlg 2");
  EXPECT_EQ(form->Color(), forms::clBtnFace);
  EXPECT_EQ(form->JvPageControl1->ActivePage(), form->TabSheet2);
  EXPECT_FALSE(form->www->Visible());
  EXPECT_NE(form->www->Browser(), nullptr);

  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Timer1->Interval(), 3000u);
  EXPECT_TRUE(form->Timer2->Enabled());
  EXPECT_EQ(form->Timer2->Interval(), 60000u);

  EXPECT_TRUE(form->AutoRun1->Active());
  EXPECT_EQ(form->AutoRun1->Title(), "MurMellachatRun");
  EXPECT_EQ(form->AutoRun1->Key(), startup::TKeyReg::RUN);
  EXPECT_TRUE(form->OneInstance1->OwnsMutex());
  EXPECT_FALSE(form->OneInstance1->InformUser());
  EXPECT_FALSE(form->OneInstance1->RaisePriorInstance());
  EXPECT_TRUE(form->OvcComponentState1->Restored()) << "restored after FormCreate";
  EXPECT_EQ(form->OvcComponentState1->StoredProperties().size(), 5u);

  tray::TCoolTrayIcon& icon = *form->CoolTrayIcon1;
  EXPECT_EQ(icon.Hint(), L"Murmellachat");
  EXPECT_TRUE(icon.ShowHint());
  EXPECT_TRUE(icon.MinimizeToTray());
  EXPECT_TRUE(icon.IconVisible());
  EXPECT_EQ(icon.IconList(), form->ImageList1);
  EXPECT_EQ(icon.PopupMenu(), form->PopupMenu1);
  EXPECT_EQ(icon.IconIndex(), 0);
  EXPECT_NE(icon.Icon(), nullptr);
  EXPECT_EQ(form->ImageList1->Count(), 3);

  struct Item {
    forms::TMenuItem* item;
    const char* caption;
    int image;
  } items[] = {{form->Opendialogoo1, "Open Murmellachat", imTray},
               {form->CloseMurmella, "Close Murmellachat", imClose},
               {form->N1, "-", -1},
               {form->RegisterMurmellachat, "Register Murmellachat", imSignUp},
               {form->RecentVisitors, "Recent visitors", -1}};
  ASSERT_EQ(form->PopupMenu1->Items().size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(form->PopupMenu1->Items()[i], items[i].item);
    EXPECT_EQ(items[i].item->Caption(), items[i].caption);
    EXPECT_EQ(items[i].item->ImageIndex(), items[i].image);
  }
  EXPECT_EQ(form->PopupMenu1->Images(), form->ImageList1);
  EXPECT_EQ(form->PopupMenu1->DefaultItem(), nullptr);
  ASSERT_EQ(form->RecentVisitors->Items().size(), 1u);
  EXPECT_EQ(form->RecentVisitors->Items()[0]->Caption(), "(none yet)");
  EXPECT_FALSE(form->RecentVisitors->Items()[0]->Enabled());

  // FormCreate asked for the start page.
  if (!service.Bound()) GTEST_SKIP() << "the service's port is taken; the start page request is not checked";
  Pump(0);
  for (int i = 0; i < 200 && !service.Done(); ++i) Pump(25);
  EXPECT_EQ(service.Line(), "GET /pop.php HTTP/1.1");
}

TEST_F(Form1Test, TheOptionRuleAndTheSignUpPage) {
  ConsolePlatform.HlinkNavigateString = &RecordNavigation;
  navigated.clear();
  Build();
  struct Step {
    bool disconnect;
  } steps[] = {{false}, {true}, {false}, {true}};
  for (const Step& s : steps) {
    SendMessageA(form->disconnect->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(form->disconnect->Checked(), s.disconnect);
    EXPECT_EQ(form->duree->Enabled(), s.disconnect);
  }
  form->chpopup->SetChecked(false);
  EXPECT_TRUE(form->duree->Enabled()) << "nothing else couples the controls";

  form->RegisterMurmellachat->Click();
  const std::string url = SignUpPageUrl;
  ASSERT_EQ(navigated.size(), 1u);
  EXPECT_EQ(navigated[0], std::wstring(url.begin(), url.end()));
  EXPECT_EQ(url.substr(url.size() - 13), "/register.htm");
  EXPECT_FALSE(form->chpopup->Checked()) << "options untouched";
}

TEST_F(Form1Test, CloseHidesAndKeepsEverythingTheMenuCloseEnds) {
  Build();
  form->Show();
  Pump(100);
  form->Close();  // as the close button does
  Pump(100);
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(app->Terminated());
  EXPECT_TRUE(form->Timer2->Enabled());
  EXPECT_NE(form->www->Browser(), nullptr) << "the page stays";
  EXPECT_TRUE(form->CoolTrayIcon1->IconVisible());
  EXPECT_TRUE(form->OvcComponentState1->Saved());

  struct Case {
    TCloseAction given, left;
    bool terminated;
  } cases[] = {{TCloseAction::caHide, TCloseAction::caNone, false},
               {TCloseAction::caNone, TCloseAction::caNone, false},
               {TCloseAction::caFree, TCloseAction::caFree, true}};
  for (const Case& c : cases) {
    form->Show();
    TCloseAction a = c.given;
    form->FormClose(*form, a);
    EXPECT_EQ(a, c.left);
    EXPECT_EQ(app->Terminated(), c.terminated);
    EXPECT_EQ(form->Visible(), c.terminated) << "a free close does not hide";
  }
}

// The page host goes before everything its handlers reach, and once ending has begun a page's
// calls change nothing.
class FreeWatcher : public forms::TComponent {
 public:
  explicit FreeWatcher(TForm1& form) : forms::TComponent(nullptr, "watcher"), form_(form) { form.pop2->FreeNotification(*this); }
  bool PageClosedBeforeNotice = false, Notified = false;

 protected:
  void Notification(forms::TComponent&) override {
    Notified = true;
    PageClosedBeforeNotice = form_.www->Browser() == nullptr;
  }

 private:
  TForm1& form_;
};

TEST_F(Form1Test, EndingCutsThePageOffFirst) {
  Build();
  auto pageSetup = [&] {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"pagesetup");
    HRESULT hr = DISP_E_UNKNOWNNAME;
    form->wwwGetIDsOfNames(*form->www, IID_NULL, &name, 1, 0, &id, hr);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(L"Visitor7");
    DISPPARAMS params{&arg, nullptr, 1, 0};
    HRESULT invoked = DISP_E_MEMBERNOTFOUND;
    form->wwwInvoke(*form->www, id, IID_NULL, 0, DISPATCH_METHOD, params, nullptr, nullptr, nullptr, invoked);
    VariantClear(&arg);
    return std::pair{hr, invoked};
  };
  app->Terminate();
  const auto [named, invoked] = pageSetup();
  EXPECT_NE(named, S_OK);
  EXPECT_NE(invoked, S_OK);
  EXPECT_FALSE(form->Timer1->Enabled()) << "no notice after ending began";
  EXPECT_EQ(form->pop2->Window(), nullptr);

  FreeWatcher watcher(*form);
  form.reset();
  EXPECT_TRUE(watcher.Notified);
  EXPECT_TRUE(watcher.PageClosedBeforeNotice);
}

BOOL WINAPI NoCursor(POINT*) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

// The once-a-minute tick with no cursor to read (a locked workstation): no activity, no error.
TEST_F(Form1Test, AnUnreadableCursorIsIdleTime) {
  Build();
  form->disconnect->SetChecked(false);
  ConsolePlatform.GetCursorPos = &NoCursor;
  const std::int32_t before = form->IdleCounters().AccumulatedMs;
  for (int i = 0; i < 3; ++i) EXPECT_NO_THROW(form->Timer2Timer(*form->Timer2));
  ConsolePlatform.GetCursorPos = &::GetCursorPos;
  EXPECT_EQ(form->IdleCounters().AccumulatedMs, before + 3 * 60000);
  EXPECT_EQ(form->IdleCounters().IdleSeconds, (before + 3 * 60000) / 1000);
}

}  // namespace

int main(int argc, char** argv) {
  testdesktop::RunKeeperIfAsked(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
