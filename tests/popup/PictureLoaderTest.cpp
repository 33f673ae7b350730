// The platform's picture loader: every picture it decodes draws exactly as the platform's own
// picture object draws the same bytes, whether it keeps that object or copies an opaque
// bitmap's pixels out of it.
#include "DibSurface.h"
#include "GdiCanvas.h"
#include "PictureContainer.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <olectl.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace murmella::popup {
namespace {

constexpr int kSide = 64;

// A BMP file of `w` by `h` pixels at `bpp` bits, each pixel's colour a function of its place,
// written bottom-up (the usual way) or top-down.
TBytes MakeBmp(int w, int h, int bpp, bool topDown) {
  const int colours = bpp <= 8 ? 1 << bpp : 0;
  const int stride = ((w * bpp + 31) / 32) * 4;
  const std::size_t header = 14 + 40 + static_cast<std::size_t>(colours) * 4;
  TBytes b(header + static_cast<std::size_t>(stride) * h, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(&b[at], &v, 4); };
  auto put16 = [&](std::size_t at, std::uint16_t v) { std::memcpy(&b[at], &v, 2); };
  b[0] = 'B', b[1] = 'M';
  put32(2, static_cast<std::uint32_t>(b.size()));
  put32(10, static_cast<std::uint32_t>(header));
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(w));
  put32(22, static_cast<std::uint32_t>(topDown ? -h : h));
  put16(26, 1);
  put16(28, static_cast<std::uint16_t>(bpp));
  for (int i = 0; i < colours; ++i) put32(54 + i * 4, static_cast<std::uint32_t>((i * 97) << 16 | (i * 53) << 8 | (255 - i)) & 0xFFFFFF);
  for (int y = 0; y < h; ++y) {
    const std::size_t row = header + static_cast<std::size_t>(stride) * (topDown ? y : h - 1 - y);
    for (int x = 0; x < w; ++x) {
      const int v = (x * 7 + y * 13) & 0xFF;  // differs across and down: a flip would show
      if (bpp == 32) put32(row + x * 4, static_cast<std::uint32_t>(v << 16 | (255 - v) << 8 | (x * 4 & 0xFF)));
      if (bpp == 24) b[row + x * 3] = static_cast<std::uint8_t>(v), b[row + x * 3 + 1] = static_cast<std::uint8_t>(y * 4),
                     b[row + x * 3 + 2] = static_cast<std::uint8_t>(x * 4);
      if (bpp == 8) b[row + x] = static_cast<std::uint8_t>(v);
      if (bpp == 1 && (v & 1)) b[row + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
  }
  return b;
}

TBytes ReadFile(const std::string& path) {
  TBytes b;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return b;
  std::uint8_t buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) b.insert(b.end(), buf, buf + n);
  std::fclose(f);
  return b;
}

// What `draw` paints on a white surface.
template <class F>
std::vector<std::uint32_t> Paint(F draw) {
  test::TDibSurface surface(kSide * 4, kSide * 4);
  draw(surface.Dc());
  return surface.Pixels();
}

ComPtr<IPicture> PlatformPicture(const TBytes& bytes) {
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  std::memcpy(GlobalLock(mem), bytes.data(), bytes.size());
  GlobalUnlock(mem);
  ComPtr<IStream> stream;
  CreateStreamOnHGlobal(mem, TRUE, &stream);
  ComPtr<IPicture> picture;
  OleLoadPicture(stream.Get(), static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                 reinterpret_cast<void**>(picture.GetAddressOf()));
  return picture;
}

TEST(PictureLoader, DrawsEveryPictureAsThePlatformsPictureObject) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  struct TCase {
    const char* Name;
    TBytes Bytes;
  };
  std::string gif = "Z:" MURMELLA_TEST_GIF;
  for (char& c : gif)
    if (c == '/') c = '\\';
  const TCase cases[] = {
      {"32-bit bottom-up BMP", MakeBmp(kSide, kSide / 2, 32, false)},
      {"32-bit top-down BMP", MakeBmp(kSide / 2, kSide, 32, true)},
      {"24-bit BMP, odd width", MakeBmp(37, 21, 24, false)},
      {"8-bit BMP with a palette", MakeBmp(kSide, kSide, 8, false)},
      {"1-bit BMP", MakeBmp(kSide - 3, 17, 1, false)},
      {"GIF", ReadFile(gif)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_FALSE(c.Bytes.empty());
    ComPtr<IPicture> platform = PlatformPicture(c.Bytes);
    ASSERT_TRUE(platform);
    OLE_XSIZE_HIMETRIC hmW = 0;
    OLE_YSIZE_HIMETRIC hmH = 0;
    platform->get_Width(&hmW);
    platform->get_Height(&hmH);
    THTMLPicture picture;
    picture.LoadFromBytes(c.Bytes, DefaultPictureLoader());
    ASSERT_FALSE(picture.Empty());
    const TSize size = picture.DecodedSize();
    EXPECT_EQ(size.Width, MulDiv(hmW, 96, 2540));
    EXPECT_EQ(size.Height, MulDiv(hmH, 96, 2540));
    // At its own size, stretched and squeezed.
    for (const TRect r : {TRect{3, 5, 3 + size.Width, 5 + size.Height}, TRect{0, 0, size.Width * 3, size.Height * 2},
                          TRect{1, 1, 1 + size.Width / 2 + 1, 1 + size.Height / 3 + 1}}) {
      const auto ours = Paint([&](HDC dc) {
        TGdiCanvas canvas(dc);
        picture.Draw(canvas, r);
      });
      const auto theirs = Paint([&](HDC dc) {
        platform->Render(dc, r.Left, r.Top, r.Width(), r.Height(), 0, hmH, hmW, -hmH, nullptr);
      });
      EXPECT_EQ(ours, theirs) << r.Left << "," << r.Top << " " << r.Width() << "x" << r.Height();
      int painted = 0;
      for (std::uint32_t p : ours) painted += p != 0xFFFFFF;
      EXPECT_GT(painted, 0);
    }
  }
  CoUninitialize();
}

}  // namespace
}  // namespace murmella::popup
