// The framework on the platform: the windows read back from the system, check box clicks,
// errors escaping events, timers and menu commands reaching the real error box, timers on the
// UI thread, the close notifications and the message loop.
#include "Application.h"
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "ImgList.h"
#include "Menus.h"
#include "StdCtrls.h"
#include "ErrorBoxWatcher.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace murmella::forms {
namespace {

using testsupport::TBoxWatcher;
using testsupport::TSeenBox;

constexpr auto ClassOf = &testsupport::WindowClassOf;
constexpr auto TextOf = &testsupport::WindowTextOf;

// Position and size relative to the parent's client area, as the system has them.
RECT PlaceOf(HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void ExpectPlace(HWND h, int x, int y, int w, int height) {
  const RECT r = PlaceOf(h);
  EXPECT_EQ(r.left, x);
  EXPECT_EQ(r.top, y);
  EXPECT_EQ(r.right - r.left, w);
  if (height >= 0) {
    EXPECT_EQ(r.bottom - r.top, height);
  }
}

void Pump(const std::function<bool()>& done, int timeoutMs = 5000) {
  const DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < static_cast<DWORD>(timeoutMs)) {
    Application().ProcessMessages();
    Sleep(1);
  }
}

class FormsWindows : public ::testing::Test {
 protected:
  void SetUp() override { app_.SetTitle("FormsTest"); }
  void TearDown() override {
    // A quit request left by a test must not close the next test's boxes.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  TApplication app_;
};

// The console's window as its constructor builds it, read back from the system.
TEST_F(FormsWindows, ControlsAreTheSystemsOwnWhereTheyWerePut) {
  TForm form(&app_, "Form1");
  form.SetCaption("MurmellaChat");
  form.SetBounds(10, 10, 856, 584);
  form.SetPosition(TPosition::poScreenCenter);
  auto* panel = new TPanel(&form, &form, "Panel3");
  panel->SetBounds(0, 0, 100, 25);
  panel->SetAlign(TAlign::alTop);
  auto* chstartup = new TCheckBox(&form, panel, "chstartup");
  chstartup->SetBounds(8, 4, 161, 17);
  chstartup->SetCaption(" Run application at startup");
  chstartup->SetChecked(true);
  auto* duree = new TComboBox(&form, panel, "duree");
  duree->SetBounds(528, 0, 57, 21);
  duree->SetItems({"5", "10", "15", "20", "30", "40", "50", "60", "120", "180", "240"});
  duree->SetItemIndex(0);
  auto* label = new TLabel(&form, panel, "Label1");
  label->SetBounds(592, 4, 0, 0);
  label->SetCaption("minutes of inactivity");
  auto* pages = new TPageControl(&form, &form, "JvPageControl1");
  pages->SetAlign(TAlign::alClient);
  auto* sheet = new TTabSheet(&form, *pages, "TabSheet2");

  const RECT client = form.ClientRect();
  EXPECT_EQ(ClassOf(chstartup->Handle()), "Button");
  EXPECT_EQ(GetWindowLongA(chstartup->Handle(), GWL_STYLE) & 0xF, BS_AUTOCHECKBOX);
  EXPECT_TRUE(GetWindowLongA(chstartup->Handle(), GWL_STYLE) & WS_TABSTOP);
  EXPECT_EQ(TextOf(chstartup->Handle()), " Run application at startup");
  EXPECT_EQ(SendMessageA(chstartup->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  ExpectPlace(chstartup->Handle(), 8, 4, 161, 17);
  EXPECT_EQ(GetParent(chstartup->Handle()), panel->Handle());

  EXPECT_EQ(ClassOf(duree->Handle()), "ComboBox");
  EXPECT_EQ(GetWindowLongA(duree->Handle(), GWL_STYLE) & 0x3, CBS_DROPDOWNLIST);
  EXPECT_EQ(SendMessageA(duree->Handle(), CB_GETCOUNT, 0, 0), 11);
  EXPECT_EQ(SendMessageA(duree->Handle(), CB_GETCURSEL, 0, 0), 0);
  ExpectPlace(duree->Handle(), 528, 0, 57, 21);  // the closed height, in this font
  EXPECT_EQ(duree->Text(), "5");

  EXPECT_EQ(ClassOf(label->Handle()), "Static");
  EXPECT_EQ(TextOf(label->Handle()), "minutes of inactivity");
  {
    // Sized to its text in its font.
    HDC dc = GetDC(label->Handle());
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(label->Handle(), WM_GETFONT, 0, 0)));
    SIZE s{};
    GetTextExtentPoint32A(dc, "minutes of inactivity", 21, &s);
    SelectObject(dc, old);
    ReleaseDC(label->Handle(), dc);
    ExpectPlace(label->Handle(), 592, 4, s.cx, s.cy);
  }

  // The panel docked on top across the client area, the pages in the rest.
  ExpectPlace(panel->Handle(), 0, 0, client.right, 25);
  ExpectPlace(pages->Handle(), 0, 25, client.right, client.bottom - 25);
  ExpectPlace(sheet->Handle(), 0, 0, client.right, client.bottom - 25);
  EXPECT_EQ(pages->ActivePage(), sheet);
  EXPECT_TRUE(IsWindowVisible(sheet->Handle()) || !IsWindowVisible(form.Handle()));

  // Tab order is creation order.
  EXPECT_EQ(GetWindow(panel->Handle(), GW_CHILD), chstartup->Handle());
  EXPECT_EQ(GetWindow(chstartup->Handle(), GW_HWNDNEXT), duree->Handle());
  EXPECT_EQ(GetWindow(duree->Handle(), GW_HWNDNEXT), label->Handle());

  // Every control has the form's font.
  LOGFONTA lf{};
  GetObjectA(reinterpret_cast<HGDIOBJ>(SendMessageA(chstartup->Handle(), WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_STREQ(lf.lfFaceName, "MS Shell Dlg 2");
  EXPECT_EQ(lf.lfHeight, -11);

  // The form: its own taskbar button, no owner, hidden until shown, then centred.
  EXPECT_EQ(ClassOf(form.Handle()), "MurmellaForm");
  EXPECT_EQ(TextOf(form.Handle()), "MurmellaChat");
  EXPECT_TRUE(GetWindowLongA(form.Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_EQ(GetWindow(form.Handle(), GW_OWNER), nullptr);
  EXPECT_FALSE(IsWindowVisible(form.Handle()));
  form.Show();
  EXPECT_TRUE(IsWindowVisible(form.Handle()));
  RECT r{};
  GetWindowRect(form.Handle(), &r);
  EXPECT_EQ(r.right - r.left, 856);
  EXPECT_EQ(r.bottom - r.top, 584);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 856) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 584) / 2);
  EXPECT_TRUE(IsWindowVisible(sheet->Handle()));

  // Tab moves the focus in creation order, through the message loop.
  SetForegroundWindow(form.Handle());
  SetFocus(chstartup->Handle());
  ASSERT_EQ(GetFocus(), chstartup->Handle());
  PostMessageA(chstartup->Handle(), WM_KEYDOWN, VK_TAB, 0);
  app_.ProcessMessages();
  EXPECT_EQ(GetFocus(), duree->Handle());
  PostMessageA(duree->Handle(), WM_KEYDOWN, VK_TAB, 0);
  app_.ProcessMessages();
  EXPECT_EQ(GetFocus(), chstartup->Handle());
}

TEST_F(FormsWindows, CheckedRunsOnClickOnlyOnChangeAsAUserClickDoes) {
  TForm form(&app_);
  auto* disconnect = new TCheckBox(&form, &form, "disconnect");
  disconnect->SetBounds(384, 4, 137, 17);  // a click lands inside the box
  auto* duree = new TComboBox(&form, &form, "duree");
  form.Show();
  int clicks = 0;
  disconnect->OnClick = [&](TObject& sender) {
    EXPECT_EQ(&sender, disconnect);
    ++clicks;
    duree->SetEnabled(disconnect->Checked());
  };
  disconnect->SetChecked(false);  // as it is: nothing
  EXPECT_EQ(clicks, 0);
  disconnect->SetChecked(true);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(duree->Enabled());
  disconnect->SetChecked(true);
  EXPECT_EQ(clicks, 1);

  // The user's click, delivered by the system: toggled, then the handler.
  SendMessageA(disconnect->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(disconnect->Checked());
  EXPECT_FALSE(IsWindowEnabled(duree->Handle()));

  // Through the state store's table, as stored text.
  const TPublishedProperty* checked = FindPublished(*disconnect, "checked");
  ASSERT_NE(checked, nullptr);
  checked->Set(*disconnect, "TRUE");
  EXPECT_EQ(clicks, 3);
  EXPECT_TRUE(IsWindowEnabled(duree->Handle()));
  checked->Set(*disconnect, "1");  // not a Boolean name: unchanged, no click
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(checked->Get(*disconnect), "True");
  EXPECT_EQ(FindPublished(*disconnect, "Enabled")->Get(*disconnect), "True");
}

TEST_F(FormsWindows, DropDownListSelectionOnly) {
  TForm form(&app_);
  auto* duree = new TComboBox(&form, &form, "duree");
  duree->SetItems({"5", "10", "240"});
  EXPECT_EQ(duree->ItemIndex(), -1);
  EXPECT_EQ(duree->Text(), "");
  const TPublishedProperty* index = FindPublished(*duree, "ItemIndex");
  const TPublishedProperty* enabled = FindPublished(*duree, "ENABLED");
  ASSERT_NE(index, nullptr);
  ASSERT_NE(enabled, nullptr);
  index->Set(*duree, "2");
  EXPECT_EQ(duree->Text(), "240");
  EXPECT_EQ(index->Get(*duree), "2");
  index->Set(*duree, "11");  // outside the items: no selection
  EXPECT_EQ(duree->ItemIndex(), -1);
  EXPECT_EQ(SendMessageA(duree->Handle(), CB_GETCURSEL, 0, 0), CB_ERR);
  index->Set(*duree, "five");  // not a number: 0
  EXPECT_EQ(duree->Text(), "5");
  enabled->Set(*duree, "false");
  EXPECT_FALSE(IsWindowEnabled(duree->Handle()));
  EXPECT_EQ(enabled->Get(*duree), "False");
  EXPECT_EQ(duree->Items(), (std::vector<std::string>{"5", "10", "240"}));
}

TEST_F(FormsWindows, ErrorsEscapingEventsTimersAndMenusReachTheErrorBox) {
  TBoxWatcher watcher("FormsTest");
  TForm form(&app_);
  auto* box = new TCheckBox(&form, &form, "chpopup");
  box->SetBounds(192, 4, 185, 17);
  box->OnClick = [](TObject&) { throw EMurmellaError("Click failed", "EInvalidOperation"); };
  auto* timer = new TTimer(&form, "Timer1");
  timer->SetEnabled(false);
  timer->SetInterval(10);
  int ticks = 0;
  timer->OnTimer = [&](TObject&) {
    ++ticks;
    timer->SetEnabled(false);
    throw std::runtime_error("Tick failed!");
  };
  auto* menu = new TPopupMenu(&form, "PopupMenu1");
  auto* item = new TMenuItem(&form, *menu, "CloseMurmella");
  item->SetCaption("Close Murmellachat");
  item->OnClick = [](TObject&) { throw EMurmellaError("Menu failed:"); };
  form.Show();

  // A user click: the system calls the window procedure, which must not let the error through.
  SendMessageA(box->Handle(), BM_CLICK, 0, 0);
  ASSERT_EQ(watcher.Count(), 1u);
  timer->SetEnabled(true);
  Pump([&] { return watcher.Count() == 2; });
  EXPECT_EQ(ticks, 1);
  menu->DispatchCommand(1);
  ASSERT_EQ(watcher.Count(), 3u);

  const auto seen = watcher.Seen();
  const char* texts[] = {"Click failed.", "Tick failed!", "Menu failed:."};
  for (std::size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(texts[i]);
    EXPECT_EQ(seen[i].Caption, "FormsTest");
    EXPECT_EQ(seen[i].Text, texts[i]);
    EXPECT_TRUE(seen[i].ErrorIcon);
    EXPECT_EQ(seen[i].Buttons, std::vector<std::string>{"OK"});
  }
  // And the program goes on: the controls still answer.
  EXPECT_TRUE(box->Checked());
  box->OnClick = nullptr;
  SendMessageA(box->Handle(), BM_CLICK, 0, 0);
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(watcher.Count(), 3u);
}

TEST_F(FormsWindows, ErrorInTheCreateNotificationIsShownAndConstructionGoesOn) {
  TBoxWatcher watcher("FormsTest");
  TForm form(&app_, "Form1");
  bool restored = false;
  form.OnCreate = [](TObject&) { throw EMurmellaError("Navigation failed"); };
  // A component chaining its own step after the window's handler, as the state store does.
  form.OnCreate = [previous = form.OnCreate, &restored](TObject& sender) {
    previous(sender);
    restored = true;
  };
  form.DoCreate();
  ASSERT_EQ(watcher.Count(), 1u);
  EXPECT_EQ(watcher.Seen()[0].Text, "Navigation failed.");
  EXPECT_FALSE(restored);
}

TEST_F(FormsWindows, FatalErrorBoxNamesTheErrorsClassAndTheModule) {
  TBoxWatcher watcher(kFatalErrorCaption);
  app_.ShowFatalError(EMurmellaError("Access denied", "EOSError"));
  ASSERT_EQ(watcher.Count(), 1u);
  const TSeenBox box = watcher.Seen()[0];
  const std::string start = "Exception EOSError dans le module forms_win_tests.exe \xE0 ";
  EXPECT_EQ(box.Text.substr(0, start.size()), start) << box.Text;
  const std::string end = ".\r\nAccess denied.";
  ASSERT_GE(box.Text.size(), end.size());
  // The box may drop the final line break when it shows the text.
  std::string text = box.Text;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  EXPECT_EQ(text.substr(text.size() - end.size()), end) << box.Text;
  EXPECT_TRUE(box.ErrorIcon);
}

TEST_F(FormsWindows, ChosenMenuItemRunsItsClick) {
  TForm form(&app_);
  TImageList* images = new TImageList(&form, "ImageList1");
  images->AddIcon(LoadIcon(nullptr, IDI_APPLICATION));
  auto* menu = new TPopupMenu(&form, "PopupMenu1");
  menu->SetImages(images);
  auto* open = new TMenuItem(&form, *menu, "Opendialogoo1");
  open->SetCaption("Open Murmellachat");
  open->SetImageIndex(0);
  auto* line = new TMenuItem(&form, *menu, "N1");
  line->SetCaption("-");
  auto* reg = new TMenuItem(&form, *menu, "RegisterMurmellachat");
  reg->SetCaption("Register Murmellachat");
  std::vector<std::string> clicked;
  open->OnClick = [&](TObject& s) { clicked.push_back(static_cast<TComponent&>(s).Name()); };
  reg->OnClick = open->OnClick;

  // Down twice (the separator is skipped), then Enter, typed into the open menu.
  std::atomic<bool> done{false};
  std::thread keys([&] {
    HWND menuWindow = nullptr;
    for (int i = 0; i < 500 && !menuWindow; ++i, Sleep(10)) {
      menuWindow = FindWindowA("#32768", nullptr);
      if (menuWindow && !IsWindowVisible(menuWindow)) menuWindow = nullptr;
    }
    if (!menuWindow) return;
    for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN}) {
      PostMessageA(menuWindow, WM_KEYDOWN, key, 0);
      Sleep(50);
    }
    done = true;
  });
  form.Show();
  SetForegroundWindow(form.Handle());
  menu->Popup(100, 100);
  keys.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(clicked, std::vector<std::string>{"RegisterMurmellachat"});

  // Freeing the image list clears the menu's reference.
  delete images;
  EXPECT_EQ(menu->Images(), nullptr);
}

TEST_F(FormsWindows, ImageListTakesIconsFromResources) {
  TImageList images(&app_, "ImageList1");
  EXPECT_EQ(images.AddIconResource(GetModuleHandleA(nullptr), "TESTICON"), 0);
  EXPECT_EQ(images.AddIconResource(GetModuleHandleA(nullptr), "TESTICON"), 1);
  EXPECT_EQ(images.Count(), 2);
  try {
    images.AddIconResource(GetModuleHandleA(nullptr), "NOSUCHICON");
    ADD_FAILURE() << "a missing icon was taken";
  } catch (const EMurmellaError& e) {
    EXPECT_EQ(e.ClassName(), "EResNotFound");
    EXPECT_NE(std::string(e.what()).find("NOSUCHICON"), std::string::npos);
  }
  EXPECT_EQ(images.Count(), 2);

  // Drawn, the icon's two halves show: red on the left, blue on the right.
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 16;
  bi.bmiHeader.biHeight = -16;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  unique_hbitmap bitmap(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  unique_hdc_memory dc(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(bitmap && dc && bits);
  {
    selected_object keep(dc.get(), bitmap.get());
    images.Draw(dc.get(), 1, 0, 0);
    GdiFlush();
  }
  const auto* px = static_cast<const std::uint32_t*>(bits);
  EXPECT_EQ(px[8 * 16 + 2] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(px[8 * 16 + 13] & 0xFFFFFF, 0x0000FFu);

  unique_hicon icon = images.GetIcon(0);
  ASSERT_TRUE(icon);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon.get(), &info));
  unique_hbitmap colour(info.hbmColor), mask(info.hbmMask);
  BITMAP b{};
  GetObjectA(colour.get(), sizeof b, &b);
  EXPECT_EQ(b.bmWidth, 16);
  EXPECT_EQ(b.bmHeight, 16);
  EXPECT_FALSE(images.GetIcon(2));
  EXPECT_FALSE(images.GetIcon(-1));
}

TEST_F(FormsWindows, TimersFireOnTheThreadThatMadeThem) {
  TForm form(&app_);
  auto* timer = new TTimer(&form, "Timer2");
  timer->SetEnabled(false);
  timer->SetInterval(20);
  std::vector<DWORD> threads;
  timer->OnTimer = [&](TObject& s) {
    EXPECT_EQ(&s, timer);
    threads.push_back(GetCurrentThreadId());
  };
  // Disabled: nothing arrives.
  const DWORD start = GetTickCount();
  Pump([&] { return GetTickCount() - start > 100; });
  EXPECT_TRUE(threads.empty());
  timer->SetEnabled(true);
  Pump([&] { return threads.size() >= 3; });
  ASSERT_GE(threads.size(), 3u);
  for (DWORD t : threads) EXPECT_EQ(t, GetCurrentThreadId());
}

TEST_F(FormsWindows, EnablingAnEnabledTimerDoesNotRestartIt) {
  TTimer timer(&app_);
  timer.SetEnabled(false);
  timer.SetInterval(1000);
  DWORD fired = 0;
  timer.OnTimer = [&](TObject&) {
    if (!fired) fired = GetTickCount();
  };
  const DWORD start = GetTickCount();
  timer.SetEnabled(true);
  Pump([&] { return GetTickCount() - start >= 500; });
  timer.SetEnabled(true);  // half-way: must not start the period again
  Pump([&] { return fired != 0; }, 4000);
  ASSERT_NE(fired, 0u);
  // A restart would fire at 1500 ms at the earliest; the margin leaves room for a busy machine.
  EXPECT_LT(fired - start, 1450u);
}

TEST_F(FormsWindows, NewHandlerOrIntervalStartsThePeriodAfresh) {
  // Timers are never early, so a restart shows as a first tick no sooner than a full period
  // after it.
  for (int restartBy : {0, 1}) {
    SCOPED_TRACE(restartBy ? "interval" : "handler");
    TTimer timer(&app_);
    timer.SetEnabled(false);
    timer.SetInterval(400);
    DWORD fired = 0;
    auto handler = [&](TObject&) {
      if (!fired) fired = GetTickCount();
    };
    timer.OnTimer = handler;
    timer.SetEnabled(true);
    const DWORD start = GetTickCount();
    Pump([&] { return GetTickCount() - start >= 250; });
    ASSERT_EQ(fired, 0u);
    const DWORD restart = GetTickCount();
    if (restartBy) timer.SetInterval(400);
    else timer.SetOnTimer(handler);
    Pump([&] { return fired != 0; }, 3000);
    ASSERT_NE(fired, 0u);
    EXPECT_GE(fired - restart, 390u);
  }
}

TEST_F(FormsWindows, UserCloseRunsCloseQueryThenOnCloseWithHide) {
  TForm form(&app_, "Form1");
  std::vector<std::string> log;
  bool allow = false;
  TCloseAction answer = TCloseAction::caNone;
  form.OnCloseQuery = [&](TObject&, bool& canClose) {
    log.push_back("query");
    canClose = allow;
  };
  form.OnClose = [&](TObject&, TCloseAction& action) {
    log.push_back(action == TCloseAction::caHide ? "close hide" : "close ?");
    action = answer;
  };
  form.Show();
  SendMessageA(form.Handle(), WM_CLOSE, 0, 0);  // refused by the query
  EXPECT_EQ(log, (std::vector<std::string>{"query"}));
  EXPECT_TRUE(IsWindowVisible(form.Handle()));
  allow = true;
  SendMessageA(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);  // the system menu's close
  EXPECT_TRUE(IsWindowVisible(form.Handle()));  // caNone
  answer = TCloseAction::caHide;
  SendMessageA(form.Handle(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(form.Handle()));
  EXPECT_TRUE(IsWindow(form.Handle()));
  EXPECT_EQ(log, (std::vector<std::string>{"query", "query", "close hide", "query", "close hide"}));
  app_.SetMainForm(&form);
  answer = TCloseAction::caFree;
  SendMessageA(form.Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(app_.Terminated());
  EXPECT_TRUE(IsWindow(form.Handle()));

  // Another form asked to free itself goes once its own message is done.
  auto* other = new TForm(&app_, "other");
  bool destroyed = false;
  other->OnClose = [](TObject&, TCloseAction& action) { action = TCloseAction::caFree; };
  other->OnDestroy = [&](TObject&) { destroyed = true; };
  const HWND otherWindow = other->Handle();
  SendMessageA(otherWindow, WM_CLOSE, 0, 0);
  EXPECT_FALSE(destroyed);
  app_.ProcessMessages();
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(IsWindow(otherWindow));
  EXPECT_EQ(app_.FindComponent("other"), nullptr);
}

// Log-off (or an uninstaller asking the same way): the main form ends the program whatever
// its close handler answers, with the destroy notification (where options are saved) run
// before WM_ENDSESSION returns; a cancelled session and other forms change nothing.
TEST_F(FormsWindows, EndedSessionEndsTheProgramThroughTheMainForm) {
  TForm other(&app_, "Form2");
  auto* form = new TForm(&app_, "Form1");
  std::vector<std::string> log;
  form->OnCloseQuery = [&](TObject&, bool& canClose) {
    log.push_back("query");
    canClose = false;
  };
  form->OnClose = [&](TObject&, TCloseAction& action) {
    log.push_back(action == TCloseAction::caFree ? "close free" : "close ?");
    action = TCloseAction::caNone;  // as the console does when it sends itself to the tray
  };
  form->OnDestroy = [&](TObject&) { log.push_back("destroy"); };
  app_.SetMainForm(form);
  form->Show();
  EXPECT_EQ(SendMessageA(form->Handle(), WM_QUERYENDSESSION, 0, 0), 1);
  SendMessageA(form->Handle(), WM_ENDSESSION, FALSE, 0);  // the session goes on
  SendMessageA(other.Handle(), WM_ENDSESSION, TRUE, 0);   // not the main window
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(app_.Terminated());
  SendMessageA(form->Handle(), WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"close free", "destroy"}));
  EXPECT_TRUE(app_.Terminated());
  MSG msg{};
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  delete form;  // the destroy notification ran once
  EXPECT_EQ(log.size(), 2u);
}

TEST_F(FormsWindows, RunShowsTheMainFormAndEndsOnTerminate) {
  auto* form = new TForm(&app_, "Form1");
  int created = 0, destroyed = 0;
  form->OnCreate = [&](TObject&) { ++created; };
  form->OnDestroy = [&](TObject&) { ++destroyed; };
  form->DoCreate();
  form->DoCreate();
  EXPECT_EQ(created, 1);
  app_.SetMainForm(form);
  auto* timer = new TTimer(form);
  timer->SetInterval(50);
  bool visibleInLoop = false;
  timer->OnTimer = [&](TObject&) {
    visibleInLoop = IsWindowVisible(form->Handle()) != FALSE;
    app_.Terminate();
  };
  app_.Run();
  EXPECT_TRUE(visibleInLoop);
  EXPECT_TRUE(app_.Terminated());
  delete form;
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(app_.MainForm(), nullptr);
}

TEST_F(FormsWindows, QuitMetWhileProcessingMessagesEndsTheLoopAtOnce) {
  TForm form(&app_);
  app_.SetMainForm(&form);
  PostQuitMessage(0);
  app_.ProcessMessages();
  EXPECT_TRUE(app_.Terminated());
  app_.Run();  // shows the window, then ends
  EXPECT_TRUE(IsWindowVisible(form.Handle()));
}

}  // namespace
}  // namespace murmella::forms
