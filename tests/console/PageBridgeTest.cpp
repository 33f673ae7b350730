// The page bridge end to end: TForm1 in this process, its hidden page running the stand-in
// service's presence page through the stand-in control and the real JScript engine, visitors
// queued at the service; and the idle check driven through its timer handler with the real
// cursor.
#include "Unit1.h"

#include "Application.h"
#include "AutoRun.h"
#include "ComCtrls.h"
#include "CoolTrayIcon.h"
#include "EmbeddedWB.h"
#include "ExtCtrls.h"
#include "HTMLPopup.h"
#include "Menus.h"
#include "NoticeText.h"
#include "PopupGeometry.h"
#include "ReadBackCanvas.h"
#include "Utf8Text.h"
#include "ServicePages.h"
#include "StdCtrls.h"
#include "ChatProcess.h"
#include "ServiceClient.h"
#include "WineDesktop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <thread>
#include <string>
#include <vector>

using namespace murmella;
using namespace murmella::console;
using chattest::Pump;

namespace {

std::vector<HWND> flashed;
BOOL WINAPI RecordFlash(HWND window, BOOL invert) {
  if (invert) flashed.push_back(window);
  return TRUE;
}

// Handles messages until `ready` or `ms` have passed.
template <class F>
bool PumpUntil(F ready, DWORD ms) {
  const DWORD start = GetTickCount();
  while (!ready()) {
    if (GetTickCount() - start > ms) return false;
    Pump(10);
  }
  return true;
}

class PageBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(pagehost::ServiceUrl().empty()) << "run with the stand-in service (scripts/test-service)";
    ASSERT_TRUE(testdesktop::Enter());
    RegDeleteTreeA(HKEY_CURRENT_USER, "Murmellachat");
    OleInitialize(nullptr);
    flashed.clear();
    ConsolePlatform.FlashWindow = &RecordFlash;
    app = std::make_unique<forms::TApplication>();
    app->SetTitle("MurmellaChat");
    form = std::make_unique<TForm1>(nullptr);
    app->SetMainForm(form.get());
    form->Show();
    Pump(50);
  }
  void TearDown() override {
    form.reset();
    app.reset();
    startup::RemoveAutoRunValue("MurMellachatRun");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Murmellachat");
    OleUninitialize();
    ConsolePlatform.FlashWindow = &::FlashWindow;
  }
  // The page as the service serves it, loaded in the hidden control.
  void Load(const std::string& path) {
    const std::string url = pagehost::ServiceUrl() + path;
    form->www->Navigate(url);
    ASSERT_TRUE(PumpUntil([&] { return form->www->LocationURL() == url; }, 10000)) << url;
  }
  void Queue(const std::string& name) {
    const int status = pagehost::ServiceRequest(L"POST", "/visitors?name=" + pagehost::UrlEncode(name), "x");
    ASSERT_TRUE(status >= 200 && status < 300) << status;
  }
  HWND Notice() const { return form->pop2->Window() ? form->pop2->Window()->Handle() : nullptr; }
  bool NoticeShown() const { return Notice() && IsWindowVisible(Notice()); }
  // A call on the page's external object, as the control makes it.
  HRESULT Call(DISPID id, std::vector<VARIANT> args, EXCEPINFO* excep = nullptr) {
    DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    return form->www->DispatchInterface()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, excep,
                                                  nullptr);
  }

  std::unique_ptr<forms::TApplication> app;
  std::unique_ptr<TForm1> form;
};

TEST_F(PageBridge, AVisitorBringsTheWindowBackFlashesItAndSlidesTheNoticeInForThreeSeconds) {
  form->Close();  // to the tray
  Pump(100);
  ASSERT_FALSE(form->Visible());
  Load("/pop.php");
  Queue("Visitor7");
  ASSERT_TRUE(PumpUntil([&] { return NoticeShown(); }, 10000)) << "no notice";
  const DWORD shown = GetTickCount();
  EXPECT_TRUE(form->Visible()) << "back from the tray";
  EXPECT_FALSE(flashed.empty());
  for (HWND w : flashed) EXPECT_EQ(w, form->Handle());
  EXPECT_TRUE(form->Timer1->Enabled());
  ASSERT_EQ(form->pop2->Text().Count(), 1);
  EXPECT_EQ(form->pop2->Text().Lines()[0],
            "<B>Murmellachat</B><br><FONT color=\"#FF0000\">Visitor7</FONT> is ONLINE.");

  RECT work{}, notice{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(Notice(), &notice);
  EXPECT_EQ(notice.right, work.right - 20);
  EXPECT_EQ(notice.bottom, work.bottom) << "arrived when SlideIn returned";
  EXPECT_TRUE(GetWindowLongA(Notice(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

  ASSERT_TRUE(PumpUntil([&] { return !NoticeShown(); }, 10000)) << "the notice stays";
  EXPECT_GE(GetTickCount() - shown, 2500u) << "Timer1 ends it, 3000 ms after the call";
  EXPECT_FALSE(form->Timer1->Enabled());
}

// Hostile pages on the console's own page host, each served by the stand-in service: what a
// page may try, and what the console does about it. The page reports through pagesetup, which
// puts its text on the notice.
struct THostilePage {
  const char* Name;
  std::string Script;
  enum TExpect { Reports, Runaway, Flood, StaysPut } Expect;
  std::string Report;  // Reports: the notice's name; StaysPut: the address the page must keep
  bool Popups = true;
};

std::string Escaped(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += c == L'\\' ? std::string("\\\\") : std::string(1, static_cast<char>(c));
  return s;
}

TEST_F(PageBridge, HostilePagesCannotHarmTheConsole) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring marker = std::wstring(temp) + L"murmella-hostile-page.txt";
  DeleteFileW(marker.c_str());
  const std::string m = Escaped(marker);
  auto attempt = [](const std::string& code) {
    return "try { " + code + "; external.pagesetup('made'); } catch (e) { external.pagesetup('refused'); }";
  };
  const std::vector<THostilePage> pages = {
      {"WScript.Shell", attempt("new ActiveXObject('WScript.Shell').Run('cmd /c echo x > \"" + m + "\"', 0, true)"),
       THostilePage::Reports, "refused"},
      {"Scripting.FileSystemObject",
       attempt("new ActiveXObject('Scripting.FileSystemObject').CreateTextFile('" + m + "').Close()"),
       THostilePage::Reports, "refused"},
      {"Shell.Application", attempt("new ActiveXObject('Shell.Application').ShellExecute('cmd', '/c echo x > \"" + m + "\"')"),
       THostilePage::Reports, "refused"},
      {"MSXML2.XMLHTTP", attempt("new ActiveXObject('MSXML2.XMLHTTP').open('GET', 'http://127.0.0.1/', false)"),
       THostilePage::Reports, "refused"},
      {"GetObject winmgmts", attempt("GetObject('winmgmts:').Get('Win32_Process').Create('cmd /c echo x > \"" + m + "\"')"),
       THostilePage::Reports, "refused"},
      {"for (;;) {}", "external.pagesetup('spinning'); for (;;) {}", THostilePage::Runaway, ""},
      {"while (true) {} in a timer", "setTimeout(function () { while (true) {} }, 0)", THostilePage::Runaway, ""},
      {"deep recursion", "function f(n) { return f(n + 1) + 1; } f(0)", THostilePage::Runaway, ""},
      {"pagesetup in a loop", "for (var i = 0; ; ++i) external.pagesetup('v' + i)", THostilePage::Flood, ""},
      {"pagesetup in a loop, popups off", "for (var i = 0; ; ++i) external.pagesetup('v' + i)", THostilePage::Flood,
       "", false},
      {"pagesetup every 0 ms", "setInterval(function () { external.pagesetup('tick'); }, 0)", THostilePage::Flood, ""},
      {"pagesetup every 0 ms, popups off", "setInterval(function () { external.pagesetup('tick'); }, 0)",
       THostilePage::Flood, "", false},
      {"location to file:", "location.href = 'file:///c:/windows/win.ini'", THostilePage::StaysPut, ""},
      {"location to javascript:", "location.replace('javascript:external.pagesetup(1)')", THostilePage::StaysPut, ""},
  };
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const THostilePage& c = pages[i];
    SCOPED_TRACE(c.Name);
    const std::string path = "/t/hostile" + std::to_string(i) + ".htm";
    const int put = pagehost::ServiceRequest(L"PUT", path, "<html><body><script>" + c.Script + "</script></body></html>");
    ASSERT_TRUE(put >= 200 && put < 300) << put;
    form->chpopup->SetChecked(c.Popups);
    form->pop2->Text().Clear();
    Load(path);
    // The window's thread answers another thread's round trip whatever the page does.
    std::atomic<bool> done{false};
    std::atomic<int> asked{0}, answered{0};
    std::thread asker([&] {
      while (!done) {
        DWORD_PTR r = 0;
        ++asked;
        if (SendMessageTimeoutW(form->Handle(), WM_NULL, 0, 0, SMTO_NORMAL, 3000, &r)) ++answered;
        Sleep(100);
      }
    });
    switch (c.Expect) {
      case THostilePage::Reports:
        EXPECT_TRUE(PumpUntil([&] { return form->pop2->Text().Count() == 1; }, 5000));
        if (form->pop2->Text().Count() == 1)
          EXPECT_NE(form->pop2->Text().Lines()[0].find(">" + c.Report + "<"), std::string::npos)
              << form->pop2->Text().Lines()[0];
        Pump(300);
        EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing made";
        break;
      case THostilePage::Runaway: {
        // Stopped within 6 s: the process stops burning a core.
        auto cpu = [] {
          FILETIME c0, e0, k, u;
          GetProcessTimes(GetCurrentProcess(), &c0, &e0, &k, &u);
          return ((static_cast<ULONGLONG>(k.dwHighDateTime) << 32 | k.dwLowDateTime) +
                  (static_cast<ULONGLONG>(u.dwHighDateTime) << 32 | u.dwLowDateTime)) / 10000;
        };
        Pump(6000);
        const ULONGLONG before = cpu();
        Pump(1000);
        EXPECT_LT(cpu() - before, 500u) << "ms of CPU in a second after the page's time was up";
        break;
      }
      case THostilePage::Flood:
        Pump(1500);
        break;
      case THostilePage::StaysPut:
        Pump(500);
        EXPECT_EQ(form->www->LocationURL(), pagehost::ServiceUrl() + path);
        break;
    }
    done = true;
    asker.join();
    EXPECT_GT(asked.load(), 0);
    EXPECT_EQ(answered.load(), asked.load()) << "the window answered every round trip";
    DeleteFileW(marker.c_str());
    if (c.Expect == THostilePage::Flood) {
      // "Close Murmellachat" in the middle of it ends the program within a few seconds.
      const DWORD start = GetTickCount();
      form->CloseMurmellaClick(*form->CloseMurmella);
      EXPECT_TRUE(app->Terminated());
      form.reset();
      EXPECT_LT(GetTickCount() - start, 2000u) << "ended within 2 s";
      app = std::make_unique<forms::TApplication>();
      app->SetTitle("MurmellaChat");
      form = std::make_unique<TForm1>(nullptr);
      app->SetMainForm(form.get());
      form->Show();
      Pump(50);
    }
  }
}

// A name of 1 MB, built by the page's script (the service caps the names it queues): the notice
// shows, cut to the work area.
TEST_F(PageBridge, AHugeNameKeepsTheNoticeOnTheScreen) {
  const int put = pagehost::ServiceRequest(L"PUT", "/t/huge.htm",
      "<html><body><script>var s = 'Visitor'; while (s.length < (1 << 20)) s += s;"
      " external.pagesetup(s.substr(0, 1 << 20));</script></body></html>");
  ASSERT_TRUE(put >= 200 && put < 300) << put;
  Load("/t/huge.htm");
  ASSERT_TRUE(PumpUntil([&] { return NoticeShown(); }, 15000)) << "no notice";
  ASSERT_TRUE(PumpUntil([&] { return !form->pop2->Text().Lines().empty(); }, 1000));
  RECT work{}, notice{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  Pump(500);
  GetWindowRect(Notice(), &notice);
  EXPECT_LE(notice.right - notice.left, work.right - work.left - 40);
  EXPECT_GE(notice.left, work.left);
  EXPECT_EQ(notice.right, work.right - 20);
}

TEST_F(PageBridge, PageReloadsAndAmbientReadsNeverBringTheWindowBack) {
  form->Close();
  Pump(100);
  Load("/pop.php");
  // The presence page reloads itself about once a second; each load reads the ambient values.
  Pump(3500);
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(flashed.empty());
  EXPECT_FALSE(NoticeShown());
  for (DISPID ambient : {-5513 /* user agent */, -726 /* palette */, 7, 0}) {
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{};
    EXPECT_EQ(form->www->DispatchInterface()->Invoke(ambient, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result,
                                                     nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND)
        << ambient;
  }
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(flashed.empty());
}

TEST_F(PageBridge, WithPopupsOffTheWindowComesBackWithoutFlashOrNotice) {
  form->chpopup->SetChecked(false);
  form->Close();
  Pump(100);
  Load("/pop.php");
  Queue("Quiet");
  ASSERT_TRUE(PumpUntil([&] { return form->Visible(); }, 10000));
  Pump(500);
  EXPECT_TRUE(flashed.empty());
  EXPECT_FALSE(NoticeShown());
  EXPECT_FALSE(form->Timer1->Enabled());
}

std::wstring Widen(const std::string& utf8) {
  std::wstring w(utf8.size(), L'\0');
  w.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), static_cast<int>(w.size()))));
  return w;
}

std::wstring MenuText(HMENU menu, int position) {
  wchar_t text[256] = {};
  GetMenuStringW(menu, static_cast<UINT>(position), text, 256, MF_BYPOSITION);
  return text;
}

std::vector<NOTIFYICONDATAW> tips;
BOOL WINAPI RecordTip(DWORD message, PNOTIFYICONDATAW data) {
  if (message == NIM_MODIFY) tips.push_back(*data);
  return Shell_NotifyIconW(message, data);
}

TEST_F(PageBridge, TheTrayKeepsTheLastVisitorsWhateverThePopupsOption) {
  // Before the first visitor: the title as the tip, one grey entry.
  EXPECT_EQ(form->CoolTrayIcon1->Hint(), L"Murmellachat");
  form->chpopup->SetChecked(false);
  tips.clear();
  tray::TrayShell.NotifyIcon = &RecordTip;
  Load("/pop.php");
  // "Zoë 王伟 Łukasz", "Наташа & Co", an emoji and 60 letters; the service passes them to the page
  // as \u escapes.
  const std::string utf8[] = {"Zo\xC3\xAB \xE7\x8E\x8B\xE4\xBC\x9F \xC5\x81ukasz",
                              "\xD0\x9D\xD0\xB0\xD1\x82\xD0\xB0\xD1\x88\xD0\xB0 & Co",
                              "\xF0\x9F\x98\x80" + std::string(60, 'L')};
  for (std::size_t i = 0; i < 3; ++i) {
    Queue(utf8[i]);
    ASSERT_TRUE(PumpUntil([&] { return form->Recent().NewestFirst().size() == i + 1; }, 10000)) << i;
  }
  tray::TrayShell.NotifyIcon = &Shell_NotifyIconW;
  EXPECT_FALSE(NoticeShown()) << "popups are off";
  const auto& recent = form->Recent().NewestFirst();
  for (std::size_t i = 0; i < 3; ++i) {
    const std::wstring expected = Widen(utf8[2 - i]);
    EXPECT_EQ(std::wstring(recent[i].Name.begin(), recent[i].Name.end()), expected) << i;
  }
  SYSTEMTIME now{};
  GetLocalTime(&now);
  EXPECT_TRUE(recent[0].Hour * 60 + recent[0].Minute == now.wHour * 60 + now.wMinute ||
              (recent[0].Hour * 60 + recent[0].Minute + 1) % 1440 == now.wHour * 60 + now.wMinute);
  // The emoji and 46 of the Ls fill the tip's 63 units; the time is cut off.
  const std::wstring tip = L"MurmellaChat - \U0001F600" + std::wstring(46, L'L');
  EXPECT_EQ(form->CoolTrayIcon1->Hint().substr(0, 63), tip);
  ASSERT_FALSE(tips.empty());
  EXPECT_EQ(tips.back().cbSize, NOTIFYICONDATAW_V1_SIZE);
  EXPECT_EQ(std::wstring(tips.back().szTip), tip) << "the shell got the wide text";

  // The real tray menu: the four items in place, the visitors in the last one's submenu.
  form->Close();
  Pump(100);
  ASSERT_FALSE(form->Visible());
  std::vector<std::wstring> top, sub;
  std::atomic<bool> chosen{false};
  const HDESK desktop = GetThreadDesktop(GetCurrentThreadId());
  std::thread operatorHand([&] {
    SetThreadDesktop(desktop);  // the test's desktop, where the menu opens
    HWND menuWindow = nullptr;
    if (!chattest::WaitFor([&] { return (menuWindow = chattest::VisibleMenu()) != nullptr; }, 5000)) return;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) top.push_back(MenuText(menu, i));
    HMENU visitors = GetSubMenu(menu, 4);
    for (int i = 0; i < GetMenuItemCount(visitors); ++i) sub.push_back(MenuText(visitors, i));
    // Down to the fifth item (the separator is skipped), into its submenu, the second visitor.
    for (int i = 0; i < 4; ++i) PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menuWindow, WM_KEYDOWN, VK_RIGHT, 0);
    PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
    chosen = chattest::WaitFor([] { return chattest::VisibleMenu() == nullptr; }, 5000);
    // A menu that did not take the keys must not hold the test up.
    while (HWND open = chattest::VisibleMenu()) {
      PostMessageW(open, WM_KEYDOWN, VK_ESCAPE, 0);
      Sleep(100);
    }
  });
  PostMessageW(form->CoolTrayIcon1->Handle(), tray::kTrayCallbackMessage, tray::kTrayIconId, WM_RBUTTONDOWN);
  PumpUntil([&] { return chosen.load(); }, 8000);
  operatorHand.join();
  Pump(300);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(top, (std::vector<std::wstring>{L"Open Murmellachat", L"Close Murmellachat", L"", L"Register Murmellachat",
                                            L"Recent visitors"}));
  ASSERT_EQ(sub.size(), 3u);
  auto clock = [](const TVisitor& v) {
    wchar_t t[8];
    swprintf(t, 8, L"%02d:%02d", v.Hour, v.Minute);
    return std::wstring(t);
  };
  EXPECT_EQ(sub[0], clock(recent[0]) + L"  \U0001F600" + std::wstring(38, L'L') + L"\u2026");
  EXPECT_EQ(sub[1], clock(recent[1]) + L"  \u041D\u0430\u0442\u0430\u0448\u0430 && Co") << "an ampersand, no key";
  EXPECT_EQ(sub[2], clock(recent[2]) + L"  " + Widen(utf8[0]));
  EXPECT_TRUE(form->Visible()) << "choosing a visitor brings the window back";
  EXPECT_TRUE(flashed.empty());
}

// The screen's pixels of a window, as a 24-bit BMP file (for looking at a notice afterwards).
void SaveWindowPixels(HWND window, const std::string& path) {
  RECT r{};
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB};
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  const DWORD size = static_cast<DWORD>(((w * 3 + 3) & ~3) * h);
  BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader + size), 0, 0,
                      static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader)};
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(&fh, sizeof fh, 1, f);
    std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f);
    std::fwrite(bits, size, 1, f);
    std::fclose(f);
  }
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}

// Names as visitors type them, queued at the service (which passes them to the page as \u
// escapes), through the real console to its notice: the markup carries the name unchanged, and
// the text the notice's layout draws in the name's colour, read back on the notice's own DC, is
// the name. A page that writes the name raw in UTF-8 gives the same notice. With MURMELLA_NOTICE_SHOTS naming a folder, each notice at rest is saved there.
TEST_F(PageBridge, VisitorsNamesReachTheNoticeAsTheyTypedThem) {
  std::string long300;
  while (long300.size() < 300) long300 += "Visitor" + std::to_string(long300.size()) + " ";
  long300.resize(300);
  struct Case {
    const char* Name;
    std::string Utf8;   // as queued
    std::string Shown;  // drawn in the name's colour; empty: the name
  } cases[] = {
      {"latin", "Zo\xC3\xAB \xC5\x81ukasz \xC3\x85ngstr\xC3\xB6m", ""},
      {"chinese", "\xE7\x8E\x8B\xE4\xBC\x9F \xE6\x9D\x8E\xE5\xA8\x9C", ""},
      {"arabic", "\xD9\x85\xD8\xAD\xD9\x85\xD8\xAF \xD8\xB9\xD9\x84\xD9\x8A", ""},
      {"cyrillic", "\xD0\x91\xD0\xBE\xD1\x80\xD0\xB8\xD1\x81 \xD0\x9F\xD0\xB0\xD1\x81\xD1\x82\xD0\xB5\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBA", ""},
      {"emoji", "Ana \xF0\x9F\x98\x80", ""},
      {"300 characters", long300, ""},
      {"bold chinese", "<B>\xE7\x8E\x8B\xE4\xBC\x9F</B>", "\xE7\x8E\x8B\xE4\xBC\x9F"},
  };
  const char* shots = std::getenv("MURMELLA_NOTICE_SHOTS");
  Load("/pop.php");
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  int latinWidth = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string notice = ComposeNotice(c.Utf8);
    // Each name on a notice of its own: Timer1 ends a notice 3 s after its first call.
    ASSERT_TRUE(PumpUntil([&] { return !NoticeShown() && !form->Timer1->Enabled(); }, 10000));
    Queue(c.Utf8);
    ASSERT_TRUE(PumpUntil([&] { return form->pop2->Text().Count() == 1 && form->pop2->Text().Lines()[0] == notice; },
                          10000))
        << (form->pop2->Text().Count() ? form->pop2->Text().Lines()[0] : "no notice");
    RECT r{};
    ASSERT_TRUE(PumpUntil([&] { return NoticeShown() && GetWindowRect(Notice(), &r) && r.bottom == work.bottom; }, 5000));
    Pump(100);
    popup::THTMLPopupWindow& w = *form->pop2->Window();
    EXPECT_EQ(w.Text(), notice);
    HDC dc = GetDC(Notice());
    popup::testing::TReadBackCanvas canvas(dc, popup::MarkupFontOf(w.Font().Data()), 0x0000FF);
    const RECT client = w.ClientRect();
    popup::TMarkupRenderInput in;
    in.Markup = w.Text();
    in.Bounds = popup::PopupTextRect(client.right, client.bottom, w.Look.BorderSize, w.MarginX, w.MarginY);
    popup::TMarkupRenderResult out;
    popup::RenderMarkup(canvas, in, out);
    ReleaseDC(Notice(), dc);
    const std::string drawn = text::Utf16ToUtf8(canvas.Text());
    const int width = r.right - r.left;
    if (std::string(c.Name) == "300 characters") {
      // Wider than the work area allows: the notice stops at its limit and the text is cut.
      EXPECT_GT(width, latinWidth) << "the notice grows with the name";
      EXPECT_EQ(width, work.right - work.left - 40);
      EXPECT_GT(drawn.size(), 150u);
      EXPECT_EQ(c.Utf8.substr(0, drawn.size()), drawn) << "the name's beginning";
    } else {
      EXPECT_EQ(drawn, c.Shown.empty() ? c.Utf8 : c.Shown);
    }
    if (std::string(c.Name) == "latin") latinWidth = width;
    if (shots) SaveWindowPixels(Notice(), std::string(shots) + "\\notice-" + c.Name + ".bmp");

    // The same name written raw in a page of the service's (labelled UTF-8): the same notice.
    const std::string path = std::string("/t/raw-") + std::to_string(&c - cases) + ".htm";
    const int put = pagehost::ServiceRequest(
        L"PUT", path, "<html><body><script>external.pagesetup('" + c.Utf8 + "')</script></body></html>");
    ASSERT_TRUE(put >= 200 && put < 300) << put;
    form->pop2->Text().Clear();
    Load(path);
    EXPECT_TRUE(PumpUntil([&] { return form->pop2->Text().Count() == 1; }, 5000)) << "raw";
    if (form->pop2->Text().Count() == 1) EXPECT_EQ(form->pop2->Text().Lines()[0], notice) << "raw";
    Load("/pop.php");
  }
}

TEST_F(PageBridge, ArgumentsThePageMayPass) {
  auto text = [](const wchar_t* s) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(s);
    return v;
  };
  VARIANT null, number;
  V_VT(&null) = VT_NULL;
  V_VT(&number) = VT_I4;
  V_I4(&number) = 42;

  EXCEPINFO excep{};
  EXPECT_EQ(Call(1, {}, &excep), DISP_E_EXCEPTION) << "no argument";
  EXPECT_EQ(excep.wCode, 9999);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  EXPECT_TRUE(form->Visible()) << "shown before the argument is read";
  EXPECT_EQ(Call(1, {null}), DISP_E_EXCEPTION);
  EXPECT_FALSE(NoticeShown());

  EXPECT_EQ(Call(1, {number}), S_OK);
  EXPECT_EQ(form->pop2->Text().Lines()[0].find("42</FONT>"), 45u);
  VARIANT markup = text(L"<B>Bold</B> & co");
  EXPECT_EQ(Call(1, {markup}), S_OK);
  EXPECT_NE(form->pop2->Text().Lines()[0].find("<B>Bold</B> & co"), std::string::npos) << "not escaped";
  VariantClear(&markup);

  // A megabyte of name: answered, shown, nothing breaks.
  std::wstring huge(1 << 20, L'x');
  for (std::size_t i = 64; i < huge.size(); i += 64) huge[i] = L' ';
  VARIANT big = text(huge.c_str());
  EXPECT_EQ(Call(1, {big}), S_OK);
  VariantClear(&big);
  EXPECT_TRUE(NoticeShown());

  form->Close();
  Pump(100);
  EXPECT_EQ(Call(2, {number}), DISP_E_MEMBERNOTFOUND) << "another number is no member";
  EXPECT_FALSE(form->Visible()) << "and brings nothing back";
}

TEST_F(PageBridge, TheIdleCheckSendsALivePageBackAfterTheChosenMinutes) {
  std::string seen;  // the cursor at each tick, for the failure messages
  auto tick = [&] {
    POINT p{};
    GetCursorPos(&p);
    seen += "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
    form->Timer2Timer(*form->Timer2);
  };
  // The platform moves the cursor a moment after it is asked to, and may report the way there
  // for a while: wait until the position has held still for a few hundred milliseconds.
  auto moveTo = [](int x, int y) {
    SetCursorPos(x, y);
    DWORD since = GetTickCount();
    ASSERT_TRUE(PumpUntil([&] {
      POINT p{};
      if (!GetCursorPos(&p) || p.x != x || p.y != y) {
        since = GetTickCount();
        return false;
      }
      return GetTickCount() - since >= 300;
    }, 5000));
  };
  Load("/t/none");  // a 404 still loads, and its address holds no "disconnect"
  const std::string page = form->www->LocationURL();
  ASSERT_EQ(form->duree->Text(), "5");

  moveTo(300, 300);
  tick();  // activity
  for (int i = 0; i < 4; ++i) {
    // Purely horizontal and purely vertical moves are activity too, so only still ticks count.
    tick();
  }
  EXPECT_EQ(form->www->LocationURL(), page) << "four idle minutes of five";
  moveTo(301, 300);
  tick();
  moveTo(301, 301);
  tick();
  for (int i = 0; i < 4; ++i) tick();
  EXPECT_EQ(form->www->LocationURL(), page);
  tick();  // the fifth idle minute
  EXPECT_TRUE(PumpUntil([&] { return form->www->LocationURL() == StartPageUrl; }, 10000))
      << form->www->LocationURL() << " after ticks at " << seen;
  EXPECT_EQ(form->IdleCounters().AccumulatedMs, 0) << seen;

  // With the option off nothing happens; ticking it later sends the page back at the next tick.
  Load("/t/none");
  SendMessageA(form->disconnect->Handle(), BM_CLICK, 0, 0);
  ASSERT_FALSE(form->disconnect->Checked());
  for (int i = 0; i < 6; ++i) tick();
  EXPECT_EQ(form->www->LocationURL(), page);
  SendMessageA(form->disconnect->Handle(), BM_CLICK, 0, 0);
  tick();
  EXPECT_TRUE(PumpUntil([&] { return form->www->LocationURL() == StartPageUrl; }, 10000));

  // A page the service logged out of stays where it is; the counters start again all the same.
  Load("/disconnect.php");
  const std::string loggedOut = form->www->LocationURL();
  for (int i = 0; i < 5; ++i) tick();
  EXPECT_EQ(form->IdleCounters().AccumulatedMs, 0);
  Pump(300);
  EXPECT_EQ(form->www->LocationURL(), loggedOut);
}

}  // namespace

int main(int argc, char** argv) {
  testdesktop::RunKeeperIfAsked(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
