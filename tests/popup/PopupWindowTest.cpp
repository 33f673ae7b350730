// The notice window on the platform: geometry, styles and the climb read back from the
// system, the pixels read back from the screen, hover, clicks, the hiding rules, nesting
// slides and picture errors reaching the real error box. Metrics and the work area are read
// at run time.
#include "Application.h"
#include "ErrorBoxWatcher.h"
#include "Forms.h"
#include "GdiCanvas.h"
#include "HTMLPopup.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace murmella::popup {
namespace {

const std::string kNotice = "<B>Murmellachat</B><br><FONT color=\"#FF0000\">Visitor7</FONT> is ONLINE.";
const std::string kTwoLinks = "<A href=\"first\">one link</A> and <A href=\"second\">two link</A>";

RECT WorkArea() {
  RECT r{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
  return r;
}

RECT RectOf(HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  return r;
}

void Pump(const std::function<bool()>& done, int timeoutMs = 3000) {
  const DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < static_cast<DWORD>(timeoutMs)) {
    forms::Application().ProcessMessages();
    Sleep(5);
  }
}

void PumpFor(int ms) {
  Pump([] { return false; }, ms);
}

// Widths and line height of MS Sans Serif at -11 pixels, measured independently of the popup.
struct TMetrics {
  int Bold = 0, Regular = 0, Line = 0;
  std::string Face;  // what GDI chose; a prefix without Wine's fonts falls back to another face
  int Width(const char* text, bool bold) const {
    LOGFONTA lf{};
    lf.lfHeight = -11;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpyA(lf.lfFaceName, "MS Sans Serif");
    HDC dc = GetDC(nullptr);
    HFONT f = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(dc, f);
    std::string s(text);
    RECT rc{0, 0, 0, 0};
    DrawTextA(dc, s.data(), static_cast<int>(s.size()), &rc, DT_SINGLELINE | DT_EXPANDTABS | DT_CALCRECT);
    SelectObject(dc, old);
    DeleteObject(f);
    ReleaseDC(nullptr, dc);
    return rc.right - rc.left;
  }
  TMetrics() {
    HDC dc = GetDC(nullptr);
    LOGFONTA lf{};
    lf.lfHeight = -11;
    lstrcpyA(lf.lfFaceName, "MS Sans Serif");
    HFONT f = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(dc, f);
    SIZE sz{};
    GetTextExtentPoint32A(dc, "gh", 2, &sz);
    Line = sz.cy;
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc, LF_FACESIZE, face);
    Face = face;
    SelectObject(dc, old);
    DeleteObject(f);
    ReleaseDC(nullptr, dc);
  }
};

COLORREF ScreenPixel(int x, int y) {
  HDC dc = GetDC(nullptr);
  const COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(nullptr, dc);
  return c;
}

// Counts screen pixels of one colour in a rectangle (screen coordinates).
int CountPixels(RECT r, COLORREF c) {
  HDC dc = GetDC(nullptr);
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (GetPixel(dc, x, y) == c) ++n;
  ReleaseDC(nullptr, dc);
  return n;
}

// Every position change of a notice window and every activation it received, as the window
// procedure saw them (a hook on this thread's sent messages).
struct TWindowLog {
  struct TMove {
    DWORD Tick;
    int Top;
    bool Visible;
  };
  std::vector<TMove> Moves;
  int Activations = 0;
  static TWindowLog* Current;
  static LRESULT CALLBACK Hook(int code, WPARAM w, LPARAM l) {
    const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(l);
    if (code == HC_ACTION && Current && testsupport::WindowClassOf(m->hwnd) == "MurmellaHTMLPopup") {
      if (m->message == WM_WINDOWPOSCHANGED) {
        const auto* wp = reinterpret_cast<const WINDOWPOS*>(m->lParam);
        if (!(wp->flags & SWP_NOMOVE) || (wp->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)))
          Current->Moves.push_back({GetTickCount(), RectOf(m->hwnd).top, IsWindowVisible(m->hwnd) != FALSE});
      }
      if ((m->message == WM_ACTIVATE && LOWORD(m->wParam) != WA_INACTIVE) ||
          (m->message == WM_NCACTIVATE && m->wParam))
        ++Current->Activations;
    }
    return CallNextHookEx(nullptr, code, w, l);
  }
  TWindowLog() {
    Current = this;
    hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, &Hook, nullptr, GetCurrentThreadId());
  }
  ~TWindowLog() {
    UnhookWindowsHookEx(hook_);
    Current = nullptr;
  }
  // Tops while visible, in order, without repeats.
  std::vector<int> VisibleTops() const {
    std::vector<int> tops;
    for (const TMove& m : Moves)
      if (m.Visible && (tops.empty() || tops.back() != m.Top)) tops.push_back(m.Top);
    return tops;
  }

 private:
  HHOOK hook_;
};
TWindowLog* TWindowLog::Current = nullptr;

class PopupWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void SetUp() override {
    app_.SetTitle("PopupTest");
    form_ = new forms::TForm(&app_, "Form1");
    form_->SetBounds(0, 0, 300, 200);
    form_->Show();
    SetForegroundWindow(form_->Handle());
    images_ = new forms::TImageList(form_, "ImageList1");
    pop2_ = new THTMLPopup(form_, "pop2");
    ApplyNoticeSettings(*pop2_, images_);
    SetCursorPos(0, 0);  // away from where notices appear
    PumpFor(50);
  }
  void TearDown() override {
    delete form_;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  HWND Notice() const { return pop2_->Window() ? pop2_->Window()->Handle() : nullptr; }
  // Shows `markup` at (left, top) without sliding, and lets it paint.
  void ShowAt(const std::string& markup, int left, int top) {
    pop2_->Text().Clear();
    pop2_->Text().Add(markup);
    pop2_->SetPopupLeft(left);
    pop2_->SetPopupTop(top);
    pop2_->ShowInPlace();
    UpdateWindow(Notice());
    PumpFor(50);
  }
  // The screen point of a client point of the notice.
  POINT OnNotice(int x, int y) const {
    POINT p{x, y};
    ClientToScreen(Notice(), &p);
    return p;
  }
  // The client x of link `number` on the text's first line, found with the renderer.
  int LinkX(int number) {
    THTMLPopupWindow& w = *pop2_->Window();
    const RECT c = w.ClientRect();
    const TRect text = PopupTextRect(c.right, c.bottom, w.Look.BorderSize, w.MarginX, w.MarginY);
    HDC dc = GetDC(Notice());
    int found = -1;
    const std::string markup = w.Text();
    for (int x = text.Left; x < text.Right && found < 0; ++x) {
      TGdiCanvas canvas(dc, MarkupFontOf(w.Font().Data()));
      TMarkupRenderInput in;
      in.Markup = markup;
      in.Bounds = text;
      in.HitMode = true;
      in.Point = {x, text.Top + 3};
      TMarkupRenderResult out;
      if (RenderMarkup(canvas, in, out) && out.HitNumber == number) found = x + 2;
    }
    ReleaseDC(Notice(), dc);
    return found;
  }

  forms::TApplication app_;
  forms::TForm* form_ = nullptr;
  forms::TImageList* images_ = nullptr;
  THTMLPopup* pop2_ = nullptr;
  TMetrics metrics_;
};

TEST_F(PopupWindow, NoticeClimbsIntoTheCornerWithoutTakingActivation) {
  ASSERT_EQ(metrics_.Face, "MS Sans Serif") << "the notice would be measured in a stand-in face";
  const RECT area = WorkArea();
  std::printf("work area (%ld, %ld, %ld, %ld), screen %d x %d\n", area.left, area.top, area.right, area.bottom,
              GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  TWindowLog log;
  pop2_->Text().Clear();
  pop2_->Text().Add(kNotice);
  pop2_->SlideIn();
  HWND h = Notice();
  ASSERT_NE(h, nullptr);

  // Styles: a tool window, topmost, a plain popup owned by the main window.
  const LONG style = GetWindowLongA(h, GWL_STYLE), ex = GetWindowLongA(h, GWL_EXSTYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & (WS_BORDER | WS_CAPTION | WS_THICKFRAME));
  EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
  EXPECT_TRUE(ex & WS_EX_TOPMOST);
  EXPECT_TRUE(GetClassLongPtrA(h, GCL_STYLE) & CS_SAVEBITS);
  EXPECT_EQ(GetWindow(h, GW_OWNER), form_->Handle());

  // Size: the wider line + 2 (the renderer's content width) + 26; two lines + 26.
  const int second = metrics_.Width("Visitor7", false) + metrics_.Width(" ", false) + metrics_.Width("is ", false) +
                     metrics_.Width("ONLINE.", false);
  const int contentWidth = std::max(metrics_.Width("Murmellachat", true), second) + 2;
  const RECT r = RectOf(h);
  EXPECT_EQ(r.right - r.left, contentWidth + 26);
  EXPECT_EQ(r.bottom - r.top, 2 * metrics_.Line + 26);
  EXPECT_EQ(r.right, area.right - 20);
  EXPECT_EQ(r.bottom, area.bottom);
  EXPECT_TRUE(IsWindowVisible(h));

  // The climb: shown just below the work area, then 20 pixels per pause of at least 50 ms.
  const int height = r.bottom - r.top, bottom = area.bottom;
  std::vector<int> expected;
  for (int top = bottom; top > bottom - height; top = std::max(top - 20, bottom - height)) expected.push_back(top);
  expected.push_back(bottom - height);
  EXPECT_EQ(log.VisibleTops(), expected);
  for (std::size_t i = 1; i < log.Moves.size(); ++i)
    if (log.Moves[i].Visible && log.Moves[i - 1].Visible && log.Moves[i].Top != log.Moves[i - 1].Top)
      EXPECT_GE(log.Moves[i].Tick - log.Moves[i - 1].Tick, 45u) << "step " << i;

  EXPECT_EQ(log.Activations, 0);
  EXPECT_NE(GetForegroundWindow(), h);
  EXPECT_NE(GetActiveWindow(), h);

  // Sinking out: 20 pixels per pause until the top reaches the bottom, then hidden.
  log.Moves.clear();
  pop2_->SlideOut();
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_GE(RectOf(h).top, area.bottom);
  const std::vector<int> down = log.VisibleTops();
  ASSERT_FALSE(down.empty());
  for (std::size_t i = 1; i < down.size(); ++i) EXPECT_EQ(down[i] - down[i - 1], 20);
  EXPECT_EQ(log.Activations, 0);
}

TEST_F(PopupWindow, NoticePixelsShadeBorderAndText) {
  pop2_->Text().Clear();
  pop2_->Text().Add(kNotice);
  pop2_->SlideIn();
  HWND h = Notice();
  UpdateWindow(h);
  PumpFor(50);
  const RECT r = RectOf(h);
  const int w = r.right - r.left, ht = r.bottom - r.top;
  auto at = [&](int x, int y) { return ScreenPixel(r.left + x, r.top + y); };

  // 40 stripes white to yellow, read on a row below the text and inside the border.
  int checked = 0;
  for (int i = 0; i < 40; ++i) {
    const TShadeStripe s = ShadeStripe(0xFFFFFF, 0x00FFFF, 40, TShadeDirection::sdHorizontal, w, ht, i);
    if (s.Rect.Left < 6 || s.Rect.Left >= w - 6) continue;
    EXPECT_EQ(at(s.Rect.Left, ht - 7), s.Rgb) << "stripe " << i;
    ++checked;
  }
  EXPECT_GE(checked, 30);
  EXPECT_EQ(at(w / 2 + 1, ht - 7) & 0xFF, 0xFFu) << "red stays full";

  // The 5-pixel border in the button face colour, with its outer and inner bevels.
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(at(2, ht / 2), face);
  EXPECT_EQ(at(w / 2, 2), face);
  EXPECT_EQ(at(w - 3, ht / 2), face);
  EXPECT_EQ(at(w / 2, ht - 3), face);
  EXPECT_EQ(at(0, ht / 2), 0xFFFFFFu);
  EXPECT_EQ(at(w / 2, 0), 0xFFFFFFu);
  EXPECT_EQ(at(w - 1, ht / 2), 0x808080u);
  EXPECT_EQ(at(w / 2, ht - 1), 0x808080u);
  EXPECT_EQ(at(5, ht / 2), 0x808080u);
  EXPECT_EQ(at(w / 2, 5), 0x808080u);
  EXPECT_EQ(at(w - 5, ht / 2), 0xFFFFFFu);
  EXPECT_EQ(at(w / 2, ht - 5), 0xFFFFFFu);

  // First line: "Murmellachat" in black, wider than it would be without bold.
  const int left = r.left + 9, top = r.top + 9, line = metrics_.Line;
  const int regular = metrics_.Width("Murmellachat", false), bold = metrics_.Width("Murmellachat", true);
  ASSERT_GT(bold, regular);
  EXPECT_GT(CountPixels({left, top, left + regular, top + line}, 0x000000), 20);
  EXPECT_GT(CountPixels({left + regular + 1, top, left + bold + 2, top + line}, 0x000000), 0) << "bold";
  // Second line: "Visitor7" in red, the rest not.
  const int name = metrics_.Width("Visitor7", false);
  EXPECT_GT(CountPixels({left, top + line, left + name + 1, top + 2 * line}, 0x0000FF), 10);
  EXPECT_EQ(CountPixels({left + name + 2, top + line, r.right - 5, top + 2 * line}, 0x0000FF), 0);
  EXPECT_GT(CountPixels({left + name + 2, top + line, r.right - 5, top + 2 * line}, 0x000000), 10);
}

TEST_F(PopupWindow, HoverUnderlinesOnlyTheLinkUnderThePointerAndClicksReport) {
  std::vector<std::string> anchors;
  int clicks = 0;
  pop2_->OnAnchorClick = [&](forms::TObject& sender, const std::string& anchor) {
    EXPECT_EQ(&sender, pop2_);
    anchors.push_back(anchor);
  };
  pop2_->OnClick = [&](forms::TObject& sender) {
    EXPECT_EQ(&sender, pop2_);
    ++clicks;
  };
  pop2_->SetAutoHide(false);
  ShowAt(kTwoLinks, 200, 300);
  THTMLPopupWindow& w = *pop2_->Window();
  const int x1 = LinkX(1), x2 = LinkX(2);
  ASSERT_GT(x1, 0);
  ASSERT_GT(x2, x1);
  const int y = 9 + 3;
  const COLORREF blue = 0xFF0000;
  // The longest row of link colour inside a link's rectangle: the underline spans it all.
  auto underlineOf = [&](const TRect& link) {
    int longest = 0;
    for (int row = link.Top; row < link.Bottom; ++row) {
      const POINT tl = OnNotice(link.Left, row);
      longest = std::max(longest, CountPixels({tl.x, tl.y, tl.x + link.Width(), tl.y + 1}, blue));
    }
    return longest;
  };

  // Onto link 1: hand cursor, only link 1's rectangle to repaint, then underlined.
  POINT p = OnNotice(x1, y);
  SetCursorPos(p.x, p.y);
  ValidateRect(w.Handle(), nullptr);
  SendMessageA(w.Handle(), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
  EXPECT_EQ(w.HoverNumber(), 1);
  EXPECT_TRUE(w.HandCursor());
  RECT update{};
  GetUpdateRect(w.Handle(), &update, FALSE);
  const TRect first = w.HoverRect();
  EXPECT_EQ(update.left, first.Left);
  EXPECT_EQ(update.right, first.Right);
  EXPECT_EQ(update.top, first.Top);
  EXPECT_EQ(update.bottom, first.Bottom);
  UpdateWindow(w.Handle());
  PumpFor(50);
  const int lineWidth = first.Width();
  EXPECT_GE(underlineOf(first), lineWidth - 2) << "link 1 underlined";
  CURSORINFO ci{sizeof ci};
  GetCursorInfo(&ci);
  EXPECT_EQ(ci.hCursor, LoadCursor(nullptr, IDC_HAND));

  // Straight onto link 2: the underline moves.
  p = OnNotice(x2, y);
  SetCursorPos(p.x, p.y);
  Pump([&] { return w.HoverNumber() == 2; });
  UpdateWindow(w.Handle());
  PumpFor(50);
  EXPECT_EQ(w.HoverNumber(), 2);
  EXPECT_LT(underlineOf(first), lineWidth / 2) << "link 1 no longer underlined";
  EXPECT_GE(underlineOf(w.HoverRect()), w.HoverRect().Width() - 2);

  // A click on link 2: the anchor, the click, and the focus back with the main window.
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
  Pump([&] { return clicks == 1; });
  EXPECT_EQ(anchors, std::vector<std::string>{"second"});
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(GetFocus(), form_->Handle());
  EXPECT_NE(GetForegroundWindow(), w.Handle());

  // Off the links (the text's right part): arrow, no hover; a click there is only a click.
  const RECT c = w.ClientRect();
  p = OnNotice(c.right - 8, c.bottom - 8);
  SetCursorPos(p.x, p.y);
  Pump([&] { return w.HoverNumber() == -1; });
  EXPECT_FALSE(w.HandCursor());
  SendInput(2, in, sizeof(INPUT));
  Pump([&] { return clicks == 2; });
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(anchors.size(), 1u);
}

// Pointer moves are answered from the last layout; a new text or a new width is laid out again.
TEST_F(PopupWindow, HoverFollowsTheTextAndTheWidthItWasLaidOutWith) {
  pop2_->SetAutoHide(false);
  ShowAt(kTwoLinks, 200, 300);
  THTMLPopupWindow& w = *pop2_->Window();
  const int x2 = LinkX(2);
  ASSERT_GT(x2, 0);
  auto hoverAt = [&](int x, int y) {
    const POINT p = OnNotice(x, y);
    SetCursorPos(p.x, p.y);
    SendMessageA(w.Handle(), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    return w.HoverNumber();
  };
  const int y = 9 + 3;
  EXPECT_EQ(hoverAt(x2, y), 2);
  EXPECT_EQ(hoverAt(x2 + 1, y), 2) << "the same layout, asked again";

  pop2_->Text().Assign({"plain words and no link at all, long enough to reach"});
  EXPECT_EQ(hoverAt(x2, y), -1) << "the new text has no link";
  pop2_->Text().Assign({kTwoLinks});
  EXPECT_EQ(hoverAt(x2, y), 2);

  // Narrower than the first line: the second link wraps below, and its place is empty.
  SetWindowPos(w.Handle(), nullptr, 0, 0, x2 - 4 + 9, w.Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(hoverAt(x2 - 8, y), -1) << "laid out again at the new width";
  EXPECT_FALSE(w.HandCursor());
}

TEST_F(PopupWindow, HidingOnMouseLeaveOrAfterTheTimeOut) {
  // The platform notices a leave within its hover time (Wine polls at that rate).
  UINT hoverMs = 400;
  SystemParametersInfoA(SPI_GETMOUSEHOVERTIME, 0, &hoverMs, 0);
  const int leaveWait = static_cast<int>(hoverMs) * 2 + 300;
  struct TCase {
    const char* What;
    THideType Type;
    bool HiddenOnLeave;
  };
  for (const TCase& c : {TCase{"mouse leave", THideType::htMouseLeave, true},
                         TCase{"time-out", THideType::htTimeOut, false}}) {
    SCOPED_TRACE(c.What);
    pop2_->SetHideType(c.Type);
    pop2_->SetTimeOut(leaveWait + 1000);
    const DWORD shown = GetTickCount();
    ShowAt(kNotice, 300, 300);
    HWND h = Notice();
    ASSERT_TRUE(IsWindowVisible(h));
    const POINT in = OnNotice(10, 10);
    SetCursorPos(in.x, in.y);
    PumpFor(150);
    EXPECT_TRUE(IsWindowVisible(h)) << "shown while the pointer is over it";
    SetCursorPos(0, 0);
    Pump([&] { return !IsWindowVisible(h); }, leaveWait);
    EXPECT_EQ(IsWindowVisible(h) == FALSE, c.HiddenOnLeave) << "on leaving";
    if (!c.HiddenOnLeave) {
      Pump([&] { return !IsWindowVisible(h); }, 3000);
      EXPECT_FALSE(IsWindowVisible(h));
      EXPECT_GE(GetTickCount() - shown, static_cast<DWORD>(leaveWait + 950)) << "not before the time-out";
    }
  }
}

TEST_F(PopupWindow, SlidesNestInsideEachOthersPauses) {
  const RECT area = WorkArea();
  pop2_->Text().Clear();
  pop2_->Text().Add(kNotice);
  struct TCase {
    const char* What;
    bool InnerSlideOut;
  };
  for (const TCase& c : {TCase{"a second SlideIn during the climb", false},
                         TCase{"a SlideOut during the climb", true}}) {
    SCOPED_TRACE(c.What);
    auto* timer = new forms::TTimer(form_);
    timer->SetInterval(60);
    int inner = 0;
    timer->OnTimer = [&](forms::TObject&) {
      timer->SetEnabled(false);
      ++inner;
      if (c.InnerSlideOut)
        pop2_->SlideOut();
      else
        pop2_->SlideIn();
    };
    pop2_->SlideIn();
    EXPECT_EQ(inner, 1);
    const RECT r = RectOf(Notice());
    if (c.InnerSlideOut) {
      EXPECT_GE(r.top, area.bottom) << "the climb stopped where the SlideOut left the notice";
      EXPECT_FALSE(IsWindowVisible(Notice()));
    } else {
      EXPECT_EQ(r.bottom, area.bottom) << "the running slide took the notice to its final position";
      EXPECT_TRUE(IsWindowVisible(Notice()));
    }
    delete timer;
  }
}

// A page may call on every tick of a timer: slides never pile up inside each other's pauses,
// the running one shows the newest text, and a slide whose window goes ends.
TEST_F(PopupWindow, SlidesNeverPileUpAndAlwaysEnd) {
  const RECT area = WorkArea();
  pop2_->Text().Assign({kNotice});
  auto* timer = new forms::TTimer(form_);
  timer->SetInterval(10);
  int calls = 0, deepest = 0, depth = 0;
  timer->OnTimer = [&](forms::TObject&) {
    ++calls;
    pop2_->Text().Assign({"<B>Visitor " + std::to_string(calls) + "</B>"});
    ++depth;
    deepest = std::max(deepest, depth);
    pop2_->SlideIn();
    --depth;
  };
  pop2_->SlideIn();
  timer->SetEnabled(false);
  EXPECT_GT(calls, 3);
  EXPECT_EQ(deepest, 1) << "each call returned at once";
  EXPECT_EQ(pop2_->Window()->Text(), "<B>Visitor " + std::to_string(calls) + "</B>");
  EXPECT_EQ(RectOf(Notice()).bottom, area.bottom);

  // The window freed during a pause: both slides end without it.
  for (bool in : {true, false}) {
    SCOPED_TRACE(in ? "SlideIn" : "SlideOut");
    if (!in) pop2_->SlideIn();
    timer->OnTimer = [&](forms::TObject&) {
      timer->SetEnabled(false);
      delete pop2_->Window();
    };
    timer->SetEnabled(true);
    if (in) pop2_->SlideIn();
    else pop2_->SlideOut();
    EXPECT_EQ(pop2_->Window(), nullptr);
  }
  delete timer;
}

TEST_F(PopupWindow, PreparingCopiesSettingsRecreatesAndSizes) {
  // No window yet: hiding and sliding out do nothing.
  pop2_->SlideOut();
  pop2_->HideInPlace();
  EXPECT_EQ(pop2_->Window(), nullptr);

  pop2_->SetAlwaysOnTop(false);
  pop2_->Text().Assign({"a", "b"});
  pop2_->PrepareWindow();
  HWND first = Notice();
  EXPECT_EQ(pop2_->Window()->Text(), "ab") << "lines joined without a break";
  EXPECT_FALSE(GetWindowLongA(first, GWL_EXSTYLE) & WS_EX_TOPMOST);
  pop2_->PrepareWindow();
  EXPECT_NE(Notice(), first) << "every preparation makes the handle again";
  EXPECT_FALSE(IsWindow(first));

  // asdWidth with two lines: sized to the first line only.
  pop2_->SetAutoSizeType(TAutoSizeType::asdWidth);
  pop2_->Text().Assign({"<B>Murmellachat</B><br>", "a much longer second line than the first"});
  pop2_->PrepareWindow();
  RECT r = RectOf(Notice());
  EXPECT_EQ(r.right - r.left, metrics_.Width("Murmellachat", true) + 2 + 26);
  EXPECT_EQ(r.bottom - r.top, metrics_.Line + 26);

  // Without auto-size the window takes PopupWidth and PopupHeight.
  pop2_->SetAutoSize(false);
  pop2_->PrepareWindow();
  r = RectOf(Notice());
  EXPECT_EQ(r.right - r.left, 150);
  EXPECT_EQ(r.bottom - r.top, 150);

  // A change of Text reaches the existing window at once, sized as plain text.
  pop2_->Text().Clear();
  pop2_->Text().Add("<B>plain</B>");
  EXPECT_EQ(pop2_->Window()->Text(), "<B>plain</B>");
  r = RectOf(Notice());
  EXPECT_EQ(r.right - r.left, metrics_.Width("<B>plain</B>", false) + 6);
  EXPECT_EQ(r.bottom - r.top, metrics_.Line + 4);

  // Freed references are cleared on the component and on the window.
  auto* container = new TPictureContainer(form_, "Pictures");
  pop2_->SetPictureContainer(container);
  pop2_->PrepareWindow();
  EXPECT_EQ(pop2_->Window()->Images(), images_);
  EXPECT_EQ(pop2_->Window()->PictureContainer(), container);
  delete images_;
  delete container;
  EXPECT_EQ(pop2_->Images(), nullptr);
  EXPECT_EQ(pop2_->Window()->Images(), nullptr);
  EXPECT_EQ(pop2_->PictureContainer(), nullptr);
  EXPECT_EQ(pop2_->Window()->PictureContainer(), nullptr);
  EXPECT_EQ(pop2_->Version(), "1.3.0.0");
}

TEST_F(PopupWindow, PictureErrorsWhilePaintingOrHitTestingReachTheErrorBox) {
  testsupport::TBoxWatcher watcher("PopupTest");
  pop2_->SetAutoSize(false);
  pop2_->SetAutoHide(false);
  struct TCase {
    const char* What;
    bool Paint;
  };
  for (const TCase& c : {TCase{"painting", true}, TCase{"hit-testing", false}}) {
    SCOPED_TRACE(c.What);
    // A fresh component, so its window has an empty picture cache.
    auto* pop = new THTMLPopup(form_, "pop3");
    pop->SetAutoSize(false);
    pop->Text().Add("<IMG src=\"RES://BADPIC\"> after the picture");
    pop->SetPopupLeft(400);
    pop->SetPopupTop(400);
    const std::size_t before = watcher.Count();
    if (c.Paint) {
      pop->ShowInPlace();
      UpdateWindow(pop->Window()->Handle());
    } else {
      pop->PrepareWindow();  // hidden, so nothing paints
      SendMessageA(pop->Window()->Handle(), WM_NCHITTEST, 0, 0);
    }
    Pump([&] { return watcher.Count() > before; });
    ASSERT_EQ(watcher.Count(), before + 1);
    const testsupport::TSeenBox box = watcher.Seen().back();
    EXPECT_TRUE(box.Text == std::string(kInvalidImageFormat) + "." || box.Text == std::string(kCouldNotLoadImage) + ".")
        << box.Text;
    EXPECT_TRUE(box.ErrorIcon);
    // The program goes on: the picture stays empty, later paints and hit tests report nothing.
    InvalidateRect(pop->Window()->Handle(), nullptr, TRUE);
    UpdateWindow(pop->Window()->Handle());
    EXPECT_EQ(SendMessageA(pop->Window()->Handle(), WM_NCHITTEST, 0, 0), HTCLIENT);
    PumpFor(100);
    EXPECT_EQ(watcher.Count(), before + 1);
    delete pop;
  }
}

}  // namespace
}  // namespace murmella::popup
