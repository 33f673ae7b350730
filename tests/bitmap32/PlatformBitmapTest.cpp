#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Bitmap32.h"
#include "Bitmap32Errors.h"
#include "DraftResampler.h"
#include "PlatformBitmap.h"

using namespace murmella::bitmap32;

namespace {

HBITMAP MakeDib32(int w, int h, void** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  return CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace

TEST(PlatformBitmap, StorageIsATopDownDibSectionWithItsDC) {
  TBitmap32 b;
  b.SetSize(160, 120);
  ASSERT_NE(b.Handle(), nullptr);
  ASSERT_NE(b.DrawingContext(), nullptr);
  DIBSECTION ds{};
  ASSERT_EQ(GetObjectW(static_cast<HBITMAP>(b.Handle()), sizeof(ds), &ds), int(sizeof(ds)));
  EXPECT_EQ(ds.dsBm.bmBits, b.Bits());
  EXPECT_EQ(ds.dsBmih.biBitCount, 32);
  // GDI drawing reaches the pixels, top row first.
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT r{0, 0, 160, 1};
  FillRect(static_cast<HDC>(b.DrawingContext()), &r, red);
  DeleteObject(red);
  GdiFlush();
  EXPECT_EQ(b.Bits()[0] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(b.Bits()[160] & 0xFFFFFF, 0u);
  b.SetSize(0, 0);
  EXPECT_EQ(b.Handle(), nullptr);
  EXPECT_EQ(b.DrawingContext(), nullptr);
}

TEST(PlatformBitmap, CopyInOfAScreenBitmapIsOpaque) {
  HDC screen = GetDC(nullptr);
  HBITMAP ddb = CreateCompatibleBitmap(screen, 64, 48);
  HDC mem = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(mem, ddb);
  HBRUSH brush = CreateSolidBrush(RGB(10, 200, 30));
  RECT all{0, 0, 64, 48};
  FillRect(mem, &all, brush);
  SetPixel(mem, 5, 7, RGB(1, 2, 3));
  DeleteObject(brush);
  SelectObject(mem, old);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  {
    TPlatformBitmap platform(ddb);
    EXPECT_EQ(platform.HandleType(), bmDDB);
    TBitmap32 b;
    int changes = 0;
    b.OnChange = [&](TNotifiablePersistent&) { ++changes; };
    b.CopyFrom(platform);
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(b.Width(), 64);
    ASSERT_EQ(b.Height(), 48);
    EXPECT_EQ(b.Bits()[0], 0xFF0AC81Eu);
    EXPECT_EQ(*b.PixelPtr(5, 7), 0xFF010203u);
    for (int i = 0; i < 64 * 48; ++i) ASSERT_EQ(b.Bits()[i] >> 24, 0xFFu);
    platform.Transparent = true;
    platform.TransparentColor = RGB(10, 200, 30);
    b.CopyFrom(platform);
    EXPECT_EQ(b.Bits()[0], 0x000AC81Eu) << "transparent colour loses its alpha, keeps its colour";
    EXPECT_EQ(*b.PixelPtr(5, 7), 0xFF010203u);
  }
  EXPECT_TRUE(DeleteObject(ddb)) << "the wrapped bitmap was let go and stays the caller's";
}

TEST(PlatformBitmap, CopyInOfA32BitDibKeepsTheFourthBytes) {
  void* bits = nullptr;
  HBITMAP dib = MakeDib32(3, 2, &bits);
  ASSERT_TRUE(dib);
  auto* px = static_cast<std::uint32_t*>(bits);
  for (int i = 0; i < 6; ++i) px[i] = 0x10203040u + std::uint32_t(i) * 0x11000000u;
  TPlatformBitmap platform(dib, true);
  EXPECT_EQ(platform.HandleType(), bmDIB);
  EXPECT_EQ(platform.PixelFormat(), pf32bit);
  TBitmap32 b;
  b.CopyFrom(platform);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(b.Bits()[i], px[i]);
}

TEST(PlatformBitmap, CopyOutGivesAnUprightBottomUp32BitDibOfTheSameSize) {
  TBitmap32 b;
  b.SetSize(7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) *b.PixelPtr(x, y) = Color32(std::uint8_t(x * 30), std::uint8_t(y * 50), 99);
  HDC screen = GetDC(nullptr);
  TPlatformBitmap platform(CreateCompatibleBitmap(screen, 20, 30), true);
  ReleaseDC(nullptr, screen);
  b.CopyTo(platform);
  EXPECT_EQ(platform.HandleType(), bmDIB);
  EXPECT_EQ(platform.PixelFormat(), pf32bit);
  EXPECT_EQ(platform.Width(), 7);
  EXPECT_EQ(platform.Height(), 5);
  DIBSECTION ds{};
  ASSERT_EQ(GetObjectW(platform.Handle(), sizeof(ds), &ds), int(sizeof(ds)));
  EXPECT_GT(ds.dsBmih.biHeight, 0) << "rows bottom-up in memory";
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      ASSERT_EQ(static_cast<std::uint32_t*>(platform.ScanLine(y))[x] & 0xFFFFFF, *b.PixelPtr(x, y) & 0xFFFFFF);
  // The last image row lies at the lowest address.
  EXPECT_EQ(platform.ScanLine(4), ds.dsBm.bmBits);
  // And back in again.
  TBitmap32 c;
  c.CopyFrom(platform);
  for (int i = 0; i < 35; ++i) EXPECT_EQ(c.Bits()[i] & 0xFFFFFF, b.Bits()[i] & 0xFFFFFF);
}

TEST(PlatformBitmap, LoadRowsReadsABandOfRowsByTheCopyInRule) {
  // Pixel (x, y) is (x, y, x + y) with a fourth byte of 0x11, in a screen bitmap and in a 32-bit DIB.
  constexpr int w = 9, h = 12;
  std::vector<std::uint32_t> px(w * h);
  for (int i = 0; i < w * h; ++i) px[i] = 0x11000000u | Color32(std::uint8_t(i % w), std::uint8_t(i / w), std::uint8_t(i % w + i / w), 0);
  HDC screen = GetDC(nullptr);
  TPlatformBitmap ddb(CreateCompatibleBitmap(screen, w, h), true);
  BITMAPINFO bi{};
  bi.bmiHeader = DibHeader(w, -h, 32);
  ASSERT_EQ(SetDIBits(screen, ddb.Handle(), 0, h, px.data(), &bi, DIB_RGB_COLORS), h);
  ReleaseDC(nullptr, screen);
  void* bits = nullptr;
  TPlatformBitmap dib(MakeDib32(w, h, &bits), true);
  std::copy(px.begin(), px.end(), static_cast<std::uint32_t*>(bits));
  // A capture's DIB, its fourth byte padding by its colour masks; its rows where GDI draws them.
  TPlatformBitmap opaque(CreateOpaqueDib32(w, h, &bits), true);
  ASSERT_TRUE(opaque.Handle());
  EXPECT_EQ(opaque.HandleType(), bmDIB);
  EXPECT_EQ(opaque.PixelFormat(), pf32bit);
  EXPECT_EQ(opaque.RowStep(), -w * 4);
  {
    const TMemoryDC draw(CreateCompatibleDC(nullptr));
    const HGDIOBJ previous = SelectObject(draw.get(), opaque.Handle());
    SetPixelV(draw.get(), 2, 1, RGB(1, 2, 3));
    GdiFlush();
    SelectObject(draw.get(), previous);
  }
  EXPECT_EQ(static_cast<const std::uint32_t*>(opaque.ScanLine(1))[2] & 0xFFFFFF, 0x010203u) << "row 1 from the top";
  for (int y = 0; y < h; ++y) std::copy_n(&px[std::size_t(y) * w], w, static_cast<std::uint32_t*>(opaque.ScanLine(y)));
  EXPECT_EQ(ddb.RowStep(), 0);
  EXPECT_FALSE(ddb.KeepsAlpha());
  EXPECT_FALSE(opaque.KeepsAlpha());
  EXPECT_TRUE(dib.KeepsAlpha());
  const TMemoryDC dc(CreateCompatibleDC(nullptr));
  std::vector<TColor32> band(w * 3);
  for (TPlatformBitmap* source : {&ddb, &dib, &opaque}) {
    const TRowSpan span = LoadRows(*source, dc.get(), band.data(), 9, 3);
    EXPECT_EQ(span.Stride, -w * 4) << "GetDIBits rows arrive bottom-up";
    const std::uint32_t alpha = source == &dib ? 0 : 0xFF000000u;  // only a DIB with alpha keeps it
    for (int i = 0; i < 3; ++i) {
      const auto* row = reinterpret_cast<const std::uint8_t*>(span.First) + i * span.Stride;
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(reinterpret_cast<const TColor32*>(row)[x], px[(9 + i) * w + x] | alpha) << x << "," << 9 + i;
    }
  }
  EXPECT_THROW(LoadRows(ddb, dc.get(), band.data(), 10, 3), EAssertionFailed) << "past the last row";
}

TEST(PlatformBitmap, SystemColoursAreResolved) {
  const DWORD face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(Color32(TColor(0x8000000F)), Color32FromColorRef(face));
  EXPECT_EQ(Color32(TColor(0x00332211)), 0xFF112233u);
}

TEST(PlatformBitmap, AllocationFailuresLeaveTheBitmapEmpty) {
  TBitmap32 b;
  int handles = 0;
  b.OnHandleChanged = [&](TNotifiablePersistent&) { ++handles; };
  b.SetSize(10, 10);
  try {
    b.SetSize(200000, 200000);
    FAIL() << "an absurd size was allocated";
  } catch (const EBitmapAllocationException& e) {
    EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
  }
  EXPECT_EQ(handles, 2);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_EQ(b.Handle(), nullptr);
  EXPECT_TRUE(b.IsEmpty());
  // With the GDI handle table exhausted but for one, the section is made and the DC is not.
  std::vector<HDC> dcs;
  for (HDC dc; dcs.size() < 100000 && (dc = CreateCompatibleDC(nullptr));) dcs.push_back(dc);
  if (dcs.size() < 100000 && !dcs.empty()) {
    DeleteDC(dcs.back());
    dcs.pop_back();
    try {
      b.SetSize(4, 4);
      ADD_FAILURE() << "allocation succeeded with no handles left";
    } catch (const EBitmapAllocationException& e) {
      EXPECT_STREQ(e.what(), "Can't create compatible DC");
    }
    EXPECT_TRUE(b.IsEmpty());
  }
  for (HDC dc : dcs) DeleteDC(dc);
  EXPECT_TRUE(b.SetSize(4, 4));
}
