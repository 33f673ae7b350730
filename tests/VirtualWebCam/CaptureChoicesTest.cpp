// The capture choices against the real platform: the values in the registry with their
// defaults written back, the displays as Wine lists them, and frames of a screen painted with
// known colours for a region, a region past the display, the cursor shown and hidden, the
// region following the cursor and the picture's shape kept.
#include "CaptureRegion.h"
#include "ScreenSource.h"
#include "SettingsStore.h"
#include "CameraTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

using namespace vwc;
using namespace vwctest;

namespace {

void PutCapture(const CaptureSettings& s) {
  for (const CaptureValue& v : kCaptureValues) PutDword(v.Name, DWORD(s.*v.Field));
}

CaptureSettings Choices(int32_t l, int32_t t, int32_t w, int32_t h) {
  CaptureSettings s;
  s.CaptureLeft = l;
  s.CaptureTop = t;
  s.CaptureWidth = w;
  s.CaptureHeight = h;
  return s;
}

struct Picture {
  int W, H;
  std::vector<uint8_t> Bytes;
  // Pixel (x, y) counted from the top, in the bottom-up frame.
  const uint8_t* At(int x, int y) const { return &Bytes[(size_t(H - 1 - y) * W + x) * 4]; }
  bool IsBlack(int x, int y) const {
    const uint8_t* p = At(x, y);
    return p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0xFF;
  }
};

Picture FrameOf(TScreenSource& source, int w, int h) {
  Picture p{w, h, std::vector<uint8_t>(size_t(w) * h * 4)};
  EXPECT_EQ(source.Frame(w, h, p.Bytes.data(), p.Bytes.size()), p.Bytes.size());
  return p;
}

// Pixels in a box around (x, y) of the frame that are not the colour c.
int Differing(const Picture& p, int x, int y, COLORREF c) {
  int n = 0;
  for (int j = y - 4; j <= y + 4; ++j)
    for (int i = x - 4; i <= x + 4; ++i) {
      const uint8_t* q = p.At(i, j);
      n += std::abs(q[2] - int(GetRValue(c))) + std::abs(q[1] - int(GetGValue(c))) + std::abs(q[0] - int(GetBValue(c))) > 24;
    }
  return n;
}

}  // namespace

TEST(CaptureSettingsStore, MissingValuesGetTheirDefaultsWritten) {
  ClearKey();
  EXPECT_EQ(LoadCaptureSettings(), CaptureSettings{});
  for (const CaptureValue& v : kCaptureValues)
    EXPECT_EQ(Stored(v.Name), std::make_pair(DWORD(REG_DWORD), DWORD(v.Default)));
  EXPECT_EQ(Stored(L"ShowCursor").second, 1u);
}

TEST(CaptureSettingsStore, BadValuesAreReplacedEachOnItsOwn) {
  // One bad value per row among good ones: only that one becomes its default again.
  struct Case {
    const wchar_t* Name;
    DWORD Bad;     // a DWORD out of range, or (with AsString) any string
    bool AsString;
  } cases[] = {{L"Monitor", 0xFFFFFFFF, false},     {L"CaptureLeft", 0x80000000, false},
               {L"CaptureWidth", 0xFFFFFF00, false}, {L"FollowCursor", 2, false},
               {L"ShowCursor", 7, false},           {L"KeepAspect", 0, true},
               {L"CaptureHeight", 0, true}};
  const CaptureSettings good{2, 10, 20, 300, 200, 1, 0, 1};
  for (const Case& c : cases) {
    ClearKey();
    PutCapture(good);
    if (c.AsString)
      PutString(c.Name, L"1");
    else
      PutDword(c.Name, c.Bad);
    const CaptureSettings read = LoadCaptureSettings();
    for (const CaptureValue& v : kCaptureValues) {
      const bool replaced = wcscmp(v.Name, c.Name) == 0;
      EXPECT_EQ(read.*v.Field, replaced ? v.Default : good.*v.Field) << (replaced ? "replaced" : "kept");
      EXPECT_EQ(Stored(v.Name), std::make_pair(DWORD(REG_DWORD), DWORD(replaced ? v.Default : good.*v.Field)));
    }
  }
  ClearKey();
}

TEST(CaptureSettingsStore, SavedChoicesAreReadBack) {
  ClearKey();
  const CaptureSettings s{1, 5, 6, 7, 8, 1, 0, 1};
  ASSERT_TRUE(SaveCaptureSettings(s));
  ASSERT_TRUE(SaveFrameSettings(320, 240, 15, true));
  EXPECT_EQ(LoadCaptureSettings(), s);
  const CameraSettings frames = LoadCameraSettings();
  EXPECT_EQ(frames.VideoWidth, 320);
  EXPECT_EQ(frames.VideoHeight, 240);
  EXPECT_EQ(frames.FrameDuration, 666'666);
  EXPECT_TRUE(frames.SingleFormat);
  ASSERT_TRUE(SaveFrameSettings(320, 240, 15, false));
  EXPECT_FALSE(LoadCameraSettings().SingleFormat);
  ClearKey();
}

TEST(Displays, ThePlatformsListAndTheFallbackToThePrimary) {
  const std::vector<DisplayInfo> displays = ListDisplays();
  ASSERT_FALSE(displays.empty());
  int primaries = 0;
  for (const DisplayInfo& d : displays) {
    primaries += d.Primary;
    if (d.Primary) {
      EXPECT_EQ(d.Bounds.Left, 0);
      EXPECT_EQ(d.Bounds.Top, 0);
      EXPECT_EQ(d.Bounds.Width(), GetSystemMetrics(SM_CXSCREEN));
      EXPECT_EQ(d.Bounds.Height(), GetSystemMetrics(SM_CYSCREEN));
      EXPECT_TRUE(ChosenDisplay(0) == d.Bounds);
    }
  }
  EXPECT_EQ(primaries, 1);
  for (size_t i = 0; i < displays.size(); ++i) EXPECT_TRUE(ChosenDisplay(int32_t(i + 1)) == displays[i].Bounds);
  // A display that is not (or no longer) there: the primary.
  EXPECT_TRUE(ChosenDisplay(int32_t(displays.size() + 1)) == ChosenDisplay(0));
  EXPECT_TRUE(ChosenDisplay(INT32_MAX) == ChosenDisplay(0));
}

TEST_F(PaintedScreen, ARegionShowsOnlyItsPartOfTheScreen) {
  // Straddling the four quadrants: each quarter of the frame is one quadrant's colour.
  ClearKey();
  PutCapture(Choices(w_ / 2 - 160, h_ / 2 - 120, 320, 240));
  TScreenSource source;
  source.Reload();
  EXPECT_TRUE(source.Region() == (TRect{w_ / 2 - 160, h_ / 2 - 120, w_ / 2 + 160, h_ / 2 + 120}));
  Picture p = FrameOf(source, 160, 120);
  ExpectPixel(p.At(40, 30), kColours[0], "top left");
  ExpectPixel(p.At(120, 30), kColours[1], "top right");
  ExpectPixel(p.At(40, 90), kColours[2], "bottom left");
  ExpectPixel(p.At(120, 90), kColours[3], "bottom right");
  // Within one quadrant: one colour throughout.
  PutCapture(Choices(w_ / 2 + 10, 10, 320, 240));
  source.Reload();
  p = FrameOf(source, 160, 120);
  for (int y = 0; y < 120; y += 7)
    for (int x = 0; x < 160; x += 9) ExpectPixel(p.At(x, y), kColours[1], "top right quadrant");
  // Reaching past the display: clipped to the grey corner it still covers.
  PutCapture(Choices(w_ - 100, h_ - 100, 640, 480));
  source.Reload();
  EXPECT_TRUE(source.Region() == (TRect{w_ - 100, h_ - 100, w_, h_}));
  // Bad values answered: a region entirely off the display is the whole display.
  PutCapture(Choices(w_ + 5, 0, 100, 100));
  source.Reload();
  EXPECT_TRUE(source.Region() == (TRect{0, 0, w_, h_}));
  ClearKey();
}

TEST_F(PaintedScreen, TheCursorIsShownRelativeToTheRegionOrLeftOut) {
  ClearKey();
  // A red region whose middle holds the arrow's hotspot: frame pixel (80, 60) at 1:1.
  CaptureSettings s = Choices(100, 100, 160, 120);
  SetCursorPos(180, 160);
  Pump(200);
  for (int show : {1, 0}) {
    s.ShowCursor = show;
    PutCapture(s);
    TScreenSource source;
    source.Reload();
    const Picture p = FrameOf(source, 160, 120);
    if (show)
      EXPECT_GT(Differing(p, 84, 64, kColours[0]), 0) << "no cursor where it is in the region";
    else
      EXPECT_EQ(Differing(p, 84, 64, kColours[0]), 0) << "a cursor although it is hidden";
  }
  SetCursorPos(w_ - 1, h_ - 1);
  ClearKey();
}

TEST_F(PaintedScreen, TheRegionFollowsTheCursor) {
  ClearKey();
  CaptureSettings s = Choices(0, 0, 320, 240);
  s.FollowCursor = 1;
  s.ShowCursor = 0;
  PutCapture(s);
  TScreenSource source;
  source.Reload();
  SetCursorPos(100, 100);
  Picture p = FrameOf(source, 160, 120);
  EXPECT_TRUE(source.Region() == (TRect{0, 0, 320, 240}));
  ExpectPixel(p.At(80, 60), kColours[0], "still top left");
  // Into the bottom-right quadrant: the region moves by the least that keeps the cursor in it.
  SetCursorPos(w_ - 200, h_ - 150);
  p = FrameOf(source, 160, 120);
  EXPECT_TRUE(source.Region() == (TRect{w_ - 200 - 319, h_ - 150 - 239, w_ - 199, h_ - 149}));
  ExpectPixel(p.At(150, 110), kColours[3], "followed to the grey quadrant");
  // To the far corner: kept on the display.
  SetCursorPos(w_ - 1, h_ - 1);
  p = FrameOf(source, 160, 120);
  EXPECT_TRUE(source.Region() == (TRect{w_ - 320, h_ - 240, w_, h_}));
  for (int y = 0; y < 120; y += 13)
    for (int x = 0; x < 160; x += 11) ExpectPixel(p.At(x, y), kColours[3], "the grey corner");
  // Reading the same settings again keeps the place; without following it is the stored one.
  source.Reload();
  EXPECT_TRUE(source.Region() == (TRect{w_ - 320, h_ - 240, w_, h_}));
  s.FollowCursor = 0;
  PutCapture(s);
  source.Reload();
  FrameOf(source, 160, 120);
  EXPECT_TRUE(source.Region() == (TRect{0, 0, 320, 240}));
  ClearKey();
}

TEST_F(PaintedScreen, KeepAspectCentresThePictureBetweenBlackBars) {
  ClearKey();
  CaptureSettings s;
  s.KeepAspect = 1;
  s.ShowCursor = 0;
  PutCapture(s);
  TScreenSource source;
  source.Reload();
  // The whole screen into a wider frame: bars left and right.
  const int fw = 640, fh = 360;
  const TRect inner = Letterbox(w_, h_, fw, fh);
  const Picture p = FrameOf(source, fw, fh);
  int left = 0, right = fw;
  while (left < fw && p.IsBlack(left, fh / 2)) ++left;
  while (right > 0 && p.IsBlack(right - 1, fh / 2)) --right;
  EXPECT_EQ(left, inner.Left);
  EXPECT_EQ(right, inner.Right);
  EXPECT_LE(std::abs(left - (fw - right)), 1) << "centred";
  // The picture's shape is the screen's within one pixel.
  EXPECT_LE(std::abs(double(right - left) - double(fh) * w_ / h_), 1.0);
  for (int y = 0; y < fh; y += 7) {
    ASSERT_TRUE(p.IsBlack(0, y) && p.IsBlack(left - 1, y) && p.IsBlack(right, y) && p.IsBlack(fw - 1, y)) << y;
  }
  // The quadrants inside, split in the middle of the picture.
  const int mid = (left + right) / 2;
  ExpectPixel(p.At(mid - 20, 40), kColours[0], "top left");
  ExpectPixel(p.At(mid + 20, 40), kColours[1], "top right");
  ExpectPixel(p.At(mid - 20, fh - 40), kColours[2], "bottom left");
  ExpectPixel(p.At(mid + 20, fh - 40), kColours[3], "bottom right");
  // A wide region into a 4:3 frame: bars above and below.
  PutCapture([&] {
    CaptureSettings wide = s;
    wide.CaptureWidth = 800;
    wide.CaptureHeight = 100;
    return wide;
  }());
  source.Reload();
  const Picture q = FrameOf(source, 160, 120);
  const TRect band = Letterbox(800, 100, 160, 120);
  EXPECT_EQ(band.Height(), 20);
  EXPECT_TRUE(q.IsBlack(80, band.Top - 1) && q.IsBlack(80, band.Bottom));
  ExpectPixel(q.At(40, band.Top + 10), kColours[0], "the band's picture");
  ClearKey();
}

TEST_F(PaintedScreen, ChangedChoicesAreReadAgainAtMostOnceASecond) {
  ClearKey();
  PutCapture(Choices(0, 0, 100, 100));
  TScreenSource source;
  source.Reload();
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  PutCapture(Choices(w_ - 100, h_ - 100, 100, 100));
  source.ReloadIfDue(now.QuadPart, frequency.QuadPart);
  EXPECT_TRUE(source.Region() == (TRect{0, 0, 100, 100})) << "read again within the second";
  source.ReloadIfDue(now.QuadPart + frequency.QuadPart, frequency.QuadPart);
  EXPECT_TRUE(source.Region() == (TRect{w_ - 100, h_ - 100, w_, h_}));
  ClearKey();
}

// With more than one display (Xvfb with two screens joined by Xinerama gives Wine two), the
// chosen one is captured in its own coordinates; with one, the test says so and stops.
TEST(Displays, TheChosenDisplayIsCapturedInItsOwnCoordinates) {
  const std::vector<DisplayInfo> displays = ListDisplays();
  size_t other = displays.size();
  for (size_t i = 0; i < displays.size(); ++i)
    if (!displays[i].Primary) other = i;
  if (other == displays.size()) GTEST_SKIP() << "one display: only the fallback to the primary can be shown";
  const TRect b = displays[other].Bounds;
  // A window of one colour over the whole of the other display.
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = CreateSolidBrush(RGB(30, 160, 90));
  wc.lpszClassName = L"VwcOtherDisplay";
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, b.Left, b.Top, b.Width(),
                           b.Height(), nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(w);
  for (int i = 0; i < 20; ++i) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    UpdateWindow(w);
    Sleep(20);
  }
  ClearKey();
  CaptureSettings s = Choices(10, 10, 100, 100);
  s.Monitor = int32_t(other + 1);
  s.ShowCursor = 0;
  PutCapture(s);
  TScreenSource source;
  source.Reload();
  EXPECT_TRUE(source.Region() == (TRect{b.Left + 10, b.Top + 10, b.Left + 110, b.Top + 110}));
  const Picture p = FrameOf(source, 32, 32);
  ExpectPixel(p.At(16, 16), RGB(30, 160, 90), "the other display's window");
  DestroyWindow(w);
  DeleteObject(wc.hbrBackground);
  ClearKey();
}
