// MurmellaChat.exe end to end on Wine's virtual desktop: the window read back from the live
// process, closing to the tray and coming back, the tray menu, one instance per program file,
// and the autostart value and options it leaves in the real registry.
#include "ChatProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace chattest;

namespace {

constexpr char kMachineRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRunKeys[] = {"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices",
                                    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"};
constexpr char kParams[] = "Murmellachat\\params";

RECT RectIn(HWND parent, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string TextOf(HWND w) {
  char text[256] = {};
  GetWindowTextA(w, text, sizeof text);
  return text;
}

std::string ClassOf(HWND w) {
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  return cls;
}

BOOL CALLBACK CollectWindow(HWND w, LPARAM p) {
  reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
  return TRUE;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, &CollectWindow, reinterpret_cast<LPARAM>(&all));
  return all;
}

HWND ChildByText(HWND parent, const std::string& cls, const std::string& text) {
  for (HWND w : Descendants(parent))
    if (ClassOf(w) == cls && (text.empty() || TextOf(w) == text)) return w;
  return nullptr;
}

void DeleteValueEverywhere(const char* name) {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
    for (const char* key : kRunKeys) RegDeleteKeyValueA(root, key, name);
}

void TrayClick(HWND tray) {
  PostMessageA(tray, kTrayCallback, 1, WM_LBUTTONDOWN);
  PostMessageA(tray, kTrayCallback, 1, WM_LBUTTONUP);
}

class ChatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testdesktop::Enter());
    RegDeleteTreeA(HKEY_CURRENT_USER, "Murmellachat");
    DeleteValueEverywhere("MurMellachatRun");
    DeleteValueEverywhere("My program");
  }
  // What a run leaves is not left to the next suites.
  void TearDown() override { SetUp(); }
};

TEST_F(ChatTest, TheWindowAsTheOperatorSeesIt) {
  ChatProcess chat;
  ASSERT_TRUE(chat.Start(BuiltProgram()));
  HWND main = chat.WaitForMainWindow();
  ASSERT_TRUE(main);
  EXPECT_EQ(TextOf(main), "MurmellaChat");
  RECT outer{}, client{};
  GetWindowRect(main, &outer);
  GetClientRect(main, &client);
  EXPECT_EQ(outer.right - outer.left, 856);
  EXPECT_EQ(outer.bottom - outer.top, 584);
  EXPECT_EQ(client.right, 848);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 856) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 584) / 2);

  struct Control {
    const char* cls;
    const char* text;
    RECT bounds;  // in the parent
    int checked;  // -1: not a check box
  } controls[] = {
      {"MurmellaPanel", "", {0, 0, 848, 25}, -1},
      {"Button", " Run application at startup", {8, 4, 8 + 161, 4 + 17}, BST_CHECKED},
      {"Button", " Popups when user connects", {192, 4, 192 + 185, 4 + 17}, BST_CHECKED},
      {"Button", " Disconnect after", {384, 4, 384 + 137, 4 + 17}, BST_CHECKED},
      {"ComboBox", "", {528, 0, 528 + 57, 21}, -1},
      {"MurmellaPageControl", "", {0, 25, 848, client.bottom}, -1},
  };
  for (const Control& c : controls) {
    HWND w = ChildByText(main, c.cls, c.text);
    ASSERT_TRUE(w) << c.cls << " '" << c.text << "'";
    const RECT r = RectIn(GetParent(w), w);
    EXPECT_EQ(r.left, c.bounds.left) << c.text;
    EXPECT_EQ(r.top, c.bounds.top) << c.text;
    EXPECT_EQ(r.right, c.bounds.right) << c.text;
    if (std::string(c.cls) != "ComboBox") {
      EXPECT_EQ(r.bottom, c.bounds.bottom) << c.text;
    }
    if (c.checked >= 0) {
      EXPECT_EQ(SendMessageA(w, BM_GETCHECK, 0, 0), c.checked) << c.text;
    }
    EXPECT_TRUE(IsWindowEnabled(w)) << c.text;
  }
  EXPECT_EQ(client.bottom - 25, 532) << "the page area";

  HWND label = ChildByText(main, "Static", "minutes of inactivity");
  ASSERT_TRUE(label);
  EXPECT_EQ(RectIn(GetParent(label), label).left, 592);
  EXPECT_EQ(RectIn(GetParent(label), label).top, 4);

  HWND duree = ChildByText(main, "ComboBox", "");
  ASSERT_TRUE(duree);
  EXPECT_TRUE(GetWindowLongA(duree, GWL_STYLE) & CBS_DROPDOWNLIST);
  const char* minutes[] = {"5", "10", "15", "20", "30", "40", "50", "60", "120", "180", "240"};
  ASSERT_EQ(SendMessageA(duree, CB_GETCOUNT, 0, 0), 11);
  for (int i = 0; i < 11; ++i) {
    wchar_t text[16] = {};
    SendMessageW(duree, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::wstring(text), std::wstring(minutes[i], minutes[i] + std::strlen(minutes[i])));
  }
  EXPECT_EQ(SendMessageA(duree, CB_GETCURSEL, 0, 0), 0);

  // Tab order: the three check boxes, then the minutes.
  std::vector<std::string> order;
  HWND first = GetNextDlgTabItem(main, nullptr, FALSE);
  for (HWND w = first; w && order.size() < 6; w = GetNextDlgTabItem(main, w, FALSE)) {
    order.push_back(ClassOf(w) == "ComboBox" ? "duree" : TextOf(w));
    if (GetNextDlgTabItem(main, w, FALSE) == first) break;
  }
  EXPECT_EQ(order, (std::vector<std::string>{" Run application at startup", " Popups when user connects",
                                              " Disconnect after", "duree"}));

  // The page area shows the button face: the page itself is hidden.
  HDC screen = GetDC(nullptr);
  const COLORREF pixel = GetPixel(screen, outer.left + 400, outer.bottom - 100);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(pixel, GetSysColor(COLOR_BTNFACE));
}

TEST_F(ChatTest, ClosingHidesToTheTrayAndTheTrayBringsItBack) {
  ChatProcess chat;
  ASSERT_TRUE(chat.Start(BuiltProgram()));
  HWND main = chat.WaitForMainWindow();
  ASSERT_TRUE(main);
  HWND tray = chat.TrayWindow();
  ASSERT_TRUE(tray);
  EXPECT_TRUE(IconInShell(tray));

  PostMessageA(main, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 5000));
  Sleep(300);
  EXPECT_TRUE(chat.Running());
  EXPECT_TRUE(IsWindow(main)) << "hiding destroys nothing";
  EXPECT_TRUE(IconInShell(tray));
  // The close saved the five options, as text.
  const std::pair<const char*, const char*> saved[] = {{"chpopup.Checked", "True"}, {"chstartup.Checked", "True"},
                                                       {"disconnect.Checked", "True"}, {"duree.ItemIndex", "0"},
                                                       {"duree.Enabled", "True"}};
  for (const auto& [name, text] : saved) EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kParams, name), text) << name;

  TrayClick(tray);
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main) && GetForegroundWindow() == main; }, 5000));

  // Minimising sends it to the tray as well; "Open Murmellachat" brings it back.
  PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 5000));
  EXPECT_TRUE(chat.Running());
  EXPECT_TRUE(IconInShell(tray));
  ASSERT_TRUE(ChooseFromTrayMenu(tray, 0));
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main) && !IsIconic(main) && GetForegroundWindow() == main; }, 5000));
}

TEST_F(ChatTest, CloseMurmellachatEndsTheProgramAlsoWhileHidden) {
  ChatProcess chat;
  ASSERT_TRUE(chat.Start(BuiltProgram()));
  HWND main = chat.WaitForMainWindow();
  ASSERT_TRUE(main);
  HWND tray = chat.TrayWindow();
  PostMessageA(main, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 5000));
  ASSERT_TRUE(ChooseFromTrayMenu(tray, 1));
  EXPECT_EQ(chat.WaitForExit(5000), std::optional<DWORD>(0));
  EXPECT_FALSE(IconInShell(tray));
}

TEST_F(ChatTest, OneCopyPerProgramFile) {
  ChatProcess first;
  ASSERT_TRUE(first.Start(BuiltProgram()));
  HWND main = first.WaitForMainWindow();
  ASSERT_TRUE(main);
  RECT before{};
  GetWindowRect(main, &before);

  ChatProcess second;
  ASSERT_TRUE(second.Start(BuiltProgram()));
  EXPECT_EQ(second.WaitForExit(2000), std::optional<DWORD>(0)) << "a second start ends by itself";
  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(IsWindowVisible(main));
  RECT after{};
  GetWindowRect(main, &after);
  EXPECT_TRUE(EqualRect(&before, &after));

  // The same program under another file name is another program.
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string copy = std::string(temp) + "MurmellaChatCopy.exe";
  ASSERT_TRUE(CopyFileA(BuiltProgram().c_str(), copy.c_str(), FALSE));
  {
    ChatProcess other;
    ASSERT_TRUE(other.Start(copy));
    EXPECT_TRUE(other.WaitForMainWindow());
    EXPECT_TRUE(other.Running());
    EXPECT_TRUE(first.Running());
  }
  DeleteFileA(copy.c_str());
}

TEST_F(ChatTest, TheAutostartValueFollowsEveryStartAndTheOption) {
  const std::string quoted = "\"" + BuiltProgram() + "\"";
  auto machineValue = [] { return ReadString(HKEY_LOCAL_MACHINE, kMachineRun, "MurMellachatRun"); };
  ChatProcess chat;
  ASSERT_TRUE(chat.Start(BuiltProgram()));
  HWND main = chat.WaitForMainWindow();
  ASSERT_TRUE(main);
  ASSERT_TRUE(machineValue());
  EXPECT_EQ(_stricmp(machineValue()->c_str(), quoted.c_str()), 0) << *machineValue();
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
    for (const char* key : kRunKeys) EXPECT_FALSE(ReadString(root, key, "My program")) << key;

  // Unticked and closed: gone from every run key.
  HWND chstartup = ChildByText(main, "Button", " Run application at startup");
  ASSERT_TRUE(chstartup);
  SendMessageA(chstartup, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(chstartup, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  PostMessageA(main, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 5000));
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
    for (const char* key : kRunKeys) EXPECT_FALSE(ReadString(root, key, "MurMellachatRun")) << key;
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kParams, "chstartup.Checked"), "False");

  // Any start writes it again, also one that ends at once because a copy runs.
  {
    ChatProcess second;
    ASSERT_TRUE(second.Start(BuiltProgram()));
    EXPECT_TRUE(second.WaitForExit(2000));
  }
  EXPECT_TRUE(machineValue());
  // The stored option comes back with the next run, and its close applies it again.
  HWND tray = chat.TrayWindow();
  ASSERT_TRUE(ChooseFromTrayMenu(tray, 1));
  ASSERT_TRUE(chat.WaitForExit(5000));
  EXPECT_FALSE(machineValue()) << "ending through the tray applies the option too";

  ChatProcess again;
  ASSERT_TRUE(again.Start(BuiltProgram()));
  main = again.WaitForMainWindow();
  ASSERT_TRUE(main);
  EXPECT_TRUE(machineValue());
  chstartup = ChildByText(main, "Button", " Run application at startup");
  EXPECT_EQ(SendMessageA(chstartup, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "restored";
}

// A copy of the program whose sign-up icon cannot be found: its image list cannot be filled,
// so the window cannot be built. The icon's entry in the resource directory (the entries of
// icons 101, 102 and 103 side by side, each an id and a subdirectory offset) is renumbered.
bool CopyWithoutSignUpIcon(const std::string& copy) {
  std::vector<unsigned char> bytes;
  {
    std::FILE* f = std::fopen(BuiltProgram().c_str(), "rb");
    if (!f) return false;
    unsigned char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
  }
  int patched = 0;
  for (std::size_t i = 0; i + 24 <= bytes.size(); ++i) {
    const unsigned char* e = &bytes[i];
    auto id = [&](int k) { return e[8 * k] | e[8 * k + 1] << 8 | e[8 * k + 2] << 16 | e[8 * k + 3] << 24; };
    if (id(0) == 101 && id(1) == 102 && id(2) == 103 && (e[7] & 0x80) && (e[15] & 0x80) && (e[23] & 0x80)) {
      bytes[i + 8] = 0xEE;  // 102 becomes 238
      ++patched;
    }
  }
  std::FILE* f = std::fopen(copy.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  std::fclose(f);
  return written && patched == 1;
}

TEST_F(ChatTest, AWindowThatCannotBeBuiltEndsWithTheFatalBoxAndExitCode1) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string copy = std::string(temp) + "MurmellaChatBroken.exe";
  ASSERT_TRUE(CopyWithoutSignUpIcon(copy));
  ChatProcess chat;
  ASSERT_TRUE(chat.Start(copy));
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = FindProcessWindow(chat.Pid(), "#32770")) && IsWindowVisible(box); }, 10000));
  wchar_t caption[64] = {}, text[512] = {};
  GetWindowTextW(box, caption, 64);
  GetDlgItemTextW(box, 0xFFFF, text, 512);
  EXPECT_EQ(std::wstring(caption), L"Erreur d'application");
  const std::wstring t = text;
  EXPECT_EQ(t.rfind(L"Exception ", 0), 0u) << t.c_str();
  EXPECT_NE(t.find(L" dans le module MurmellaChatBroken.exe \u00e0 "), std::wstring::npos);
  EXPECT_EQ(FindProcessWindow(chat.Pid(), "MurmellaForm"), nullptr) << "no window was left";
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(chat.WaitForExit(5000), std::optional<DWORD>(1));
  DeleteFileA(copy.c_str());
}

}  // namespace
