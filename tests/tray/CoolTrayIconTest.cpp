// The tray icon against the real notification area of Wine's virtual desktop: the records it
// hands the shell, its mouse table, the menu, minimising to the tray and back, the re-add after
// the shell restarts, and its references.
#include "CoolTrayIcon.h"

#include "Application.h"
#include "Forms.h"
#include "ImgList.h"
#include "Menus.h"
#include "ChatProcess.h"
#include "WineDesktop.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

using namespace murmella;
using namespace murmella::tray;
using chattest::IconInShell;
using chattest::Pump;

namespace {

struct Record {
  DWORD Message;
  NOTIFYICONDATAW Data;
};
std::vector<Record> records;

BOOL WINAPI RecordingNotifyIcon(DWORD message, PNOTIFYICONDATAW data) {
  records.push_back({message, *data});
  return Shell_NotifyIconW(message, data);
}

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testdesktop::Enter()) << "no virtual desktop with a notification area";
    records.clear();
    TrayShell.NotifyIcon = &RecordingNotifyIcon;
    form = new forms::TForm(&app, "Form1");
    images = new forms::TImageList(&app, "Images");
    for (LPCSTR id : {IDI_APPLICATION, IDI_WARNING, IDI_INFORMATION})
      images->AddIcon(LoadIconA(nullptr, id));
    menu = new forms::TPopupMenu(&app, "Menu");
    for (const char* caption : {"Open", "Close", "-", "Register"}) {
      auto* item = new forms::TMenuItem(&app, *menu);
      item->SetCaption(caption);
      item->OnClick = [this, caption](forms::TObject&) { log += std::string("menu:") + caption + " "; };
    }
    icon = new TCoolTrayIcon(form, "CoolTrayIcon1");
    icon->SetIconList(images);
    icon->SetPopupMenu(menu);
    icon->OnClick = [this](forms::TObject&) { log += "C "; };
    icon->OnDblClick = [this](forms::TObject&) { log += "DBL "; };
    auto name = [](TMouseButton b) { return b == TMouseButton::mbLeft ? "L" : b == TMouseButton::mbRight ? "R" : "M"; };
    icon->OnMouseDown = [this, name](forms::TObject&, TMouseButton b, TShiftState, int, int) {
      log += std::string("D(") + name(b) + ") ";
    };
    icon->OnMouseUp = [this, name](forms::TObject&, TMouseButton b, TShiftState, int, int) {
      log += std::string("U(") + name(b) + ") ";
    };
    icon->OnMouseMove = [this](forms::TObject&, TShiftState, int, int) { log += "M "; };
  }
  void TearDown() override { TrayShell.NotifyIcon = &Shell_NotifyIconW; }

  void Mouse(UINT message) { SendMessageA(icon->Handle(), kTrayCallbackMessage, kTrayIconId, message); }

  forms::TApplication app;
  forms::TForm* form = nullptr;
  forms::TImageList* images = nullptr;
  forms::TPopupMenu* menu = nullptr;
  TCoolTrayIcon* icon = nullptr;
  std::string log;
};

TEST(TrayRecord, FixedFieldsAndTipRule) {
  const std::wstring long100(100, L'x');
  const std::wstring emoji = L"\U0001F600";  // two UTF-16 units
  struct Case {
    std::wstring hint;
    bool show;
    std::wstring tip;
  } cases[] = {
      {L"Murmellachat", true, L"Murmellachat"},
      {long100, true, std::wstring(63, L'x')},
      {std::wstring(63, L'y'), true, std::wstring(63, L'y')},
      {std::wstring(64, L'z'), true, std::wstring(63, L'z')},
      {L"Zo\u00EB \u738B\u4F1F \u0141ukasz", true, L"Zo\u00EB \u738B\u4F1F \u0141ukasz"},
      // The 63rd unit would be half of the emoji: the tip ends before it.
      {std::wstring(62, L'e') + emoji, true, std::wstring(62, L'e')},
      {std::wstring(61, L'e') + emoji + L"f", true, std::wstring(61, L'e') + emoji},
      {L"Murmellachat", false, L""},
      {L"", true, L""},
  };
  const HWND w = reinterpret_cast<HWND>(0x1234);
  const HICON i = reinterpret_cast<HICON>(0x5678);
  for (const Case& c : cases) {
    const NOTIFYICONDATAW n = TrayIconRecord(w, i, c.hint, c.show);
    EXPECT_EQ(n.cbSize, NOTIFYICONDATAW_V1_SIZE);
    if (sizeof(void*) == 4) {
      EXPECT_EQ(n.cbSize, 152u);
    }
    EXPECT_EQ(n.hWnd, w);
    EXPECT_EQ(n.uID, 1u);
    EXPECT_EQ(n.uFlags, 7u);
    EXPECT_EQ(n.uCallbackMessage, 0x0800u);
    EXPECT_EQ(n.hIcon, i);
    EXPECT_EQ(std::wstring(n.szTip), c.tip) << c.hint.size();
    for (std::size_t k = c.tip.size(); k < std::size(n.szTip); ++k) EXPECT_EQ(n.szTip[k], 0) << k;
  }
}

TEST_F(TrayTest, LoadedAddsTheIconWithImageZeroAndTheHint) {
  icon->SetHint(std::string(80, 'h'));
  icon->SetShowHint(true);
  records.clear();
  icon->Loaded();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(records[1].Message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(records[1].Data.hIcon, icon->Icon());
  EXPECT_NE(icon->Icon(), nullptr);
  EXPECT_EQ(std::wcslen(records[1].Data.szTip), 63u);
  EXPECT_TRUE(IconInShell(icon->Handle()));
  delete icon;
  EXPECT_FALSE(IconInShell(records[1].Data.hWnd)) << "destruction removes the icon";
}

TEST_F(TrayTest, MouseMessagesBecomeEventsInOrder) {
  struct Case {
    std::vector<UINT> messages;
    bool enabled;
    const char* expected;
  } cases[] = {
      {{WM_LBUTTONDOWN, WM_LBUTTONUP}, true, "D(L) C U(L) "},
      {{WM_LBUTTONUP}, true, "U(L) "},  // the press was not on the icon
      {{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}, true, "D(L) C U(L) DBL U(L) "},
      {{WM_MOUSEMOVE}, true, "M "},
      {{WM_RBUTTONUP}, true, "U(R) "},
      {{WM_MBUTTONDOWN, WM_MBUTTONUP}, true, "D(M) U(M) "},
      {{WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK}, true, ""},
      {{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE}, false, ""},
  };
  for (const Case& c : cases) {
    log.clear();
    icon->SetEnabled(c.enabled);
    for (UINT m : c.messages) Mouse(m);
    EXPECT_EQ(log, c.expected);
  }
}

TEST_F(TrayTest, DoubleClickRunsOnlyTheDefaultItem) {
  Mouse(WM_LBUTTONDBLCLK);
  EXPECT_EQ(log, "DBL ") << "no default item, no command";
  menu->Items()[3]->SetDefault(true);
  menu->Items()[1]->SetDefault(true);
  log.clear();
  Mouse(WM_LBUTTONDBLCLK);
  EXPECT_EQ(log, "DBL menu:Close ") << "the default item with the lowest position";
  icon->SetLeftPopup(true);
  log.clear();
  Mouse(WM_LBUTTONDBLCLK);
  EXPECT_EQ(log, "DBL ");
}

// Runs inside the menu's own modal loop: notes the menu that is up, then closes it.
int menuItemsSeen = -1;
VOID CALLBACK CloseMenuWhenUp(HWND, UINT, UINT_PTR id, DWORD) {
  if (HWND m = FindWindowA("#32768", nullptr); m && IsWindowVisible(m)) {
    menuItemsSeen = GetMenuItemCount(reinterpret_cast<HMENU>(SendMessageA(m, MN_GETHMENU, 0, 0)));
    KillTimer(nullptr, id);
    EndMenu();
  }
}

TEST_F(TrayTest, RightButtonDownOpensTheMenuAtTheCursor) {
  SetCursorPos(1200, 990);
  menuItemsSeen = -1;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &CloseMenuWhenUp);
  Mouse(WM_RBUTTONDOWN);  // returns when the menu has closed
  KillTimer(nullptr, timer);
  EXPECT_EQ(menuItemsSeen, 4);
  EXPECT_EQ(menu->PopupComponent(), icon);
  EXPECT_EQ(log, "D(R) ") << "closing the menu chose nothing";
  log.clear();
  Mouse(WM_RBUTTONUP);
  EXPECT_EQ(log, "U(R) ");
  EXPECT_FALSE(IsWindowVisible(FindWindowA("#32768", nullptr)));
}

TEST_F(TrayTest, MinimisingSendsTheMainWindowToTheTrayAndAClickBringsItBack) {
  icon->SetMinimizeToTray(true);
  icon->ShowMainWindow();
  icon->HideMainWindow();
  form->Show();
  EXPECT_TRUE(IsWindowVisible(form->Handle())) << "no main window yet: nothing changed";
  app.SetMainForm(form);
  icon->OnClick = [this](forms::TObject&) { icon->ShowMainWindow(); };
  Pump(200);
  ShowWindow(form->Handle(), SW_MINIMIZE);
  Pump(200);
  EXPECT_FALSE(IsWindowVisible(form->Handle()));
  EXPECT_TRUE(IconInShell(icon->Handle()));
  Mouse(WM_LBUTTONDOWN);
  Mouse(WM_LBUTTONUP);
  Pump(300);
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_FALSE(IsIconic(form->Handle()));
  EXPECT_EQ(GetForegroundWindow(), form->Handle());
  icon->SetMinimizeToTray(false);
  ShowWindow(form->Handle(), SW_MINIMIZE);
  Pump(200);
  EXPECT_TRUE(IsWindowVisible(form->Handle())) << "without MinimizeToTray a minimised window stays";
  app.SetMainForm(nullptr);
}

TEST_F(TrayTest, TheIconComesBackWhenTheShellRestarts) {
  icon->Loaded();
  ASSERT_TRUE(IconInShell(icon->Handle()));
  // What a restarted shell has: no icon of ours; then it announces itself to every window.
  NOTIFYICONDATAW n = TrayIconRecord(icon->Handle(), nullptr, L"", false);
  Shell_NotifyIconW(NIM_DELETE, &n);
  ASSERT_FALSE(IconInShell(icon->Handle()));
  SendMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_TRUE(IconInShell(icon->Handle()));
  icon->SetIconVisible(false);
  SendMessageA(icon->Handle(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_FALSE(IconInShell(icon->Handle())) << "a hidden icon stays hidden";
}

std::vector<std::pair<HWND, UINT>> filtered;
BOOL WINAPI RecordFilter(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT) {
  if (action == MSGFLT_ALLOW) filtered.emplace_back(window, message);
  return TRUE;
}

TEST_F(TrayTest, TheShellsAnnouncementPassesTheFilterOfAnElevatedConsole) {
  TrayShell.ChangeWindowMessageFilterEx = &RecordFilter;
  filtered.clear();
  tray::TCoolTrayIcon other(nullptr, "other");
  TrayShell.ChangeWindowMessageFilterEx = &::ChangeWindowMessageFilterEx;
  ASSERT_EQ(filtered.size(), 1u);
  EXPECT_EQ(filtered[0].first, other.Handle());
  EXPECT_EQ(filtered[0].second, RegisterWindowMessageA("TaskbarCreated"));
}

TEST_F(TrayTest, IconIndexReferencesAndCycling) {
  struct Case {
    int set, expected;
  } cases[] = {{0, 0}, {2, 2}, {3, 2}, {99, 2}, {-5, 0}};
  for (const Case& c : cases) {
    icon->SetIconIndex(c.set);
    EXPECT_EQ(icon->IconIndex(), c.expected) << c.set;
    EXPECT_EQ(records.back().Data.hIcon, icon->Icon());
  }
  std::vector<int> steps;
  icon->OnCycle = [&](forms::TObject&, int next) { steps.push_back(next); };
  icon->SetCycleInterval(20);
  icon->SetCycleIcons(true);
  Pump(300);
  icon->SetCycleIcons(false);
  ASSERT_GE(steps.size(), 4u);
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(steps[k], static_cast<int>((k + 1) % 3));
  delete images;
  EXPECT_EQ(icon->IconList(), nullptr);
  EXPECT_EQ(icon->IconIndex(), 0);
  delete menu;
  EXPECT_EQ(icon->PopupMenu(), nullptr);
  Mouse(WM_RBUTTONDOWN);  // no menu: only the event
  EXPECT_EQ(log, "D(R) ");
}

TEST_F(TrayTest, LogOffIsAllowed) { EXPECT_EQ(SendMessageA(icon->Handle(), WM_QUERYENDSESSION, 0, 0), 1); }

}  // namespace

int main(int argc, char** argv) {
  testdesktop::RunKeeperIfAsked(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
