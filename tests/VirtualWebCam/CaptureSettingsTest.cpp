// The camera's Windows layer against the real platform: settings in the registry, a capture
// of a screen painted with known colours, the draft stretch into samples of every size.
#include "CameraSettings.h"
#include "ScreenCapture.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

using namespace vwc;

namespace {

void ClearKey() { RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey); }

void PutDword(const wchar_t* name, DWORD v) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), 0);
  RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), sizeof v);
  RegCloseKey(k);
}

void PutString(const wchar_t* name, const wchar_t* s) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), 0);
  RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(s), DWORD((wcslen(s) + 1) * 2));
  RegCloseKey(k);
}

// The stored value and its type, or type 0 when missing.
std::pair<DWORD, DWORD> Stored(const wchar_t* name) {
  DWORD type = 0, v = 0, size = sizeof v;
  if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_ANY, &type, &v, &size) != ERROR_SUCCESS) return {0, 0};
  return {type, v};
}

}  // namespace

TEST(Settings, MissingKeyIsCreatedWithDefaults) {
  ClearKey();
  CameraSettings s = LoadCameraSettings();
  EXPECT_EQ(s.VideoWidth, 160);
  EXPECT_EQ(s.VideoHeight, 120);
  EXPECT_EQ(s.FrameDuration, 5'000'000);
  EXPECT_EQ(Stored(L"VideoWidth"), std::make_pair(DWORD(REG_DWORD), DWORD(160)));
  EXPECT_EQ(Stored(L"VideoHeight"), std::make_pair(DWORD(REG_DWORD), DWORD(120)));
  EXPECT_EQ(Stored(L"FramesPerSecond"), std::make_pair(DWORD(REG_DWORD), DWORD(2)));
}

TEST(Settings, RatesAreClampedAndStoredValuesKept) {
  const std::pair<DWORD, int64_t> cases[] = {{0, 10'000'000}, {61, 166'666}, {DWORD(-3), 10'000'000},
                                             {25, 400'000},   {30, 333'333}, {60, 166'666}};
  for (auto [rate, duration] : cases) {
    ClearKey();
    PutDword(L"FramesPerSecond", rate);
    EXPECT_EQ(LoadCameraSettings().FrameDuration, duration) << rate;
    EXPECT_EQ(Stored(L"FramesPerSecond").second, rate) << "a clamped rate is not rewritten";
  }
}

TEST(Settings, WronglyTypedValuesAreReplacedIndependently) {
  ClearKey();
  PutString(L"FramesPerSecond", L"30");
  PutDword(L"VideoWidth", 320);
  CameraSettings s = LoadCameraSettings();
  EXPECT_EQ(s.FrameDuration, 5'000'000);
  EXPECT_EQ(Stored(L"FramesPerSecond"), std::make_pair(DWORD(REG_DWORD), DWORD(2)));
  EXPECT_EQ(s.VideoWidth, 320);
  EXPECT_EQ(s.VideoHeight, 120);
  EXPECT_EQ(Stored(L"VideoHeight"), std::make_pair(DWORD(REG_DWORD), DWORD(120)));
  // Sizes are taken as stored, even when they cannot make a frame.
  PutDword(L"VideoWidth", DWORD(-4));
  PutDword(L"VideoHeight", 0);
  s = LoadCameraSettings();
  EXPECT_EQ(s.VideoWidth, -4);
  EXPECT_EQ(s.VideoHeight, 0);
  EXPECT_FALSE(IsStreamableSize(s.VideoWidth, s.VideoHeight));
  ClearKey();
}

namespace {

// Four quadrants of known colours over the whole screen; the cursor is parked in the
// bottom-right corner, where only its hotspot pixel could land in the picture.
class PaintedScreen : public ::testing::Test {
 protected:
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_PAINT) {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(w, &ps);
      RECT r;
      GetClientRect(w, &r);
      const int cx = r.right / 2, cy = r.bottom / 2;
      const RECT q[4] = {{0, 0, cx, cy}, {cx, 0, r.right, cy}, {0, cy, cx, r.bottom}, {cx, cy, r.right, r.bottom}};
      for (int i = 0; i < 4; ++i) {
        HBRUSH b = CreateSolidBrush(kColours[i]);
        FillRect(dc, &q[i], b);
        DeleteObject(b);
      }
      EndPaint(w, &ps);
      return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
  }
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VwcPaintedScreen";
    RegisterClassW(&wc);
    w_ = GetSystemMetrics(SM_CXSCREEN);
    h_ = GetSystemMetrics(SM_CYSCREEN);
    window_ = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, w_, h_, nullptr,
                              nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(window_);
    SetCursorPos(w_ - 1, h_ - 1);
    for (int i = 0; i < 20; ++i) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      UpdateWindow(window_);
      Sleep(20);
    }
  }
  void TearDown() override { DestroyWindow(window_); }

  // COLORREF 0x00BBGGRR: red, green, blue, a grey.
  static constexpr COLORREF kColours[4] = {RGB(200, 30, 40), RGB(20, 180, 60), RGB(10, 50, 220), RGB(128, 128, 128)};
  HWND window_ = nullptr;
  int w_ = 0, h_ = 0;
};

void ExpectPixel(const uint8_t* p, COLORREF c, const char* where) {
  // Box averages may sit one below the true mean when a block is not a power of two.
  EXPECT_NEAR(p[2], GetRValue(c), 1) << where;
  EXPECT_NEAR(p[1], GetGValue(c), 1) << where;
  EXPECT_NEAR(p[0], GetBValue(c), 1) << where;
}

}  // namespace

TEST_F(PaintedScreen, FrameIsTheScreenScaledBottomUp) {
  RECT all{0, 0, w_, h_};
  HBITMAP bmp = CopyScreenToBitmapEx(all);
  ASSERT_TRUE(bmp);
  BITMAP info{};
  GetObjectW(bmp, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, w_);
  EXPECT_EQ(info.bmHeight, h_);
  std::vector<uint8_t> buf(160 * 120 * 4 + 16, 0xAB);
  ASSERT_EQ(ScaleToSample(bmp, 160, 120, buf.data(), 160 * 120 * 4), 76'800u);
  DeleteObject(bmp);
  auto at = [&](int x, int rowFromBufferStart) { return &buf[(size_t(rowFromBufferStart) * 160 + x) * 4]; };
  // The first rows in the buffer are the bottom of the screen.
  ExpectPixel(at(40, 30), kColours[2], "bottom left");
  ExpectPixel(at(120, 30), kColours[3], "bottom right");
  ExpectPixel(at(40, 90), kColours[0], "top left");
  ExpectPixel(at(120, 90), kColours[1], "top right");
  ExpectPixel(at(0, 119), kColours[0], "first pixel of the last buffer row");
  EXPECT_EQ(buf[76'800], 0xAB) << "nothing past the frame";
}

TEST_F(PaintedScreen, ShortBuffersGetWholeBottomRows) {
  RECT all{0, 0, w_, h_};
  HBITMAP bmp = CopyScreenToBitmapEx(all);
  ASSERT_TRUE(bmp);
  std::vector<uint8_t> buf(640 * 10 + 100, 0xAB);
  EXPECT_EQ(ScaleToSample(bmp, 160, 120, buf.data(), 640 * 10 + 7), 6400u);
  DeleteObject(bmp);
  ExpectPixel(&buf[0], kColours[2], "bottom left");
  for (size_t i = 6400; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xAB) << i;
}

TEST(Capture, EmptyRectangleGivesNoBitmapAndABlackFrame) {
  EXPECT_EQ(CopyScreenToBitmapEx(RECT{0, 0, 0, 100}), nullptr);
  EXPECT_EQ(CopyScreenToBitmapEx(RECT{10, 10, 5, 20}), nullptr);
  std::vector<uint8_t> buf(8 * 4 * 4, 0xAB);
  EXPECT_EQ(ScaleToSample(nullptr, 8, 4, buf.data(), buf.size()), buf.size());
  for (size_t i = 0; i < buf.size(); ++i) ASSERT_EQ(buf[i], i % 4 == 3 ? 0xFF : 0);
}

TEST(Capture, RectangleBeyondTheDisplayIsClamped) {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  HBITMAP bmp = CopyScreenToBitmapEx(RECT{-50, -50, w + 300, h + 200});
  ASSERT_TRUE(bmp);
  BITMAP info{};
  GetObjectW(bmp, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, w);
  EXPECT_EQ(info.bmHeight, h);
  DeleteObject(bmp);
}
