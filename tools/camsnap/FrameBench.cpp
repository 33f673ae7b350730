#include "FrameBench.h"

#include "ScreenCapture.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace camsnap {

namespace {

double Now() {
  LARGE_INTEGER f, n;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&n);
  return double(n.QuadPart) * 1000.0 / double(f.QuadPart);
}

void Report(const char* method, int w, int h, std::vector<double> t) {
  std::sort(t.begin(), t.end());
  double sum = 0;
  for (double v : t) sum += v;
  printf("{\"method\":\"%s\",\"width\":%d,\"height\":%d,\"frames\":%zu,\"median_ms\":%.3f,\"mean_ms\":%.3f}\n", method,
         w, h, t.size(), t[t.size() / 2], sum / double(t.size()));
}

std::vector<double> Time(int frames, const std::function<void()>& once) {
  once();  // warm up
  std::vector<double> t;
  for (int i = 0; i < frames; ++i) {
    double t0 = Now();
    once();
    t.push_back(Now() - t0);
  }
  return t;
}

// A top-down 32-bit header of the given size.
BITMAPINFO TopDownHeader(int w, int h) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  return bi;
}

// A top-down 32-bit DIB section selected into a memory DC.
struct Dib {
  HDC Dc = nullptr;
  HBITMAP Bitmap = nullptr;
  HGDIOBJ Old = nullptr;
  void* Bits = nullptr;
  Dib(HDC ref, int w, int h) {
    BITMAPINFO bi = TopDownHeader(w, h);
    Dc = CreateCompatibleDC(ref);
    Bitmap = CreateDIBSection(Dc, &bi, DIB_RGB_COLORS, &Bits, nullptr, 0);
    Old = SelectObject(Dc, Bitmap);
  }
  ~Dib() {
    SelectObject(Dc, Old);
    DeleteObject(Bitmap);
    DeleteDC(Dc);
  }
};

}  // namespace

int RunFrameBench(int frames) {
  HDC screen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
  const int sw = GetDeviceCaps(screen, HORZRES), sh = GetDeviceCaps(screen, VERTRES);
  const RECT all{0, 0, sw, sh};
  printf("{\"screen_width\":%d,\"screen_height\":%d}\n", sw, sh);
  const int sizes[2][2] = {{160, 120}, {640, 480}};
  std::vector<uint8_t> sample(640 * 480 * 4), copy(size_t(sw) * sh * 4);

  // The floor: what any screen camera must do, a screen copy and one pass over its pixels.
  {
    BITMAPINFO bi = TopDownHeader(sw, sh);
    Report("floor_bitblt_plus_copy", sw, sh, Time(frames, [&] {
             HDC mem = CreateCompatibleDC(screen);
             HBITMAP b = CreateCompatibleBitmap(screen, sw, sh);
             HGDIOBJ old = SelectObject(mem, b);
             BitBlt(mem, 0, 0, sw, sh, screen, 0, 0, SRCCOPY);
             SelectObject(mem, old);
             GetDIBits(mem, b, 0, sh, copy.data(), &bi, DIB_RGB_COLORS);
             DeleteObject(b);
             DeleteDC(mem);
           }));
  }
  for (auto& s : sizes) {
    const int w = s[0], h = s[1];
    Report("camera_fillbuffer", w, h, Time(frames, [&] {
             HBITMAP b = vwc::CopyScreenToBitmapEx(all);
             vwc::ScaleToSample(b, w, h, sample.data(), sample.size());
             if (b) DeleteObject(b);
           }));
    for (int mode : {HALFTONE, COLORONCOLOR}) {
      Dib dib(screen, w, h);
      SetStretchBltMode(dib.Dc, mode);
      if (mode == HALFTONE) SetBrushOrgEx(dib.Dc, 0, 0, nullptr);
      Report(mode == HALFTONE ? "stretchblt_halftone" : "stretchblt_coloroncolor", w, h, Time(frames, [&] {
               StretchBlt(dib.Dc, 0, 0, w, h, screen, 0, 0, sw, sh, SRCCOPY);
               GdiFlush();
               memcpy(sample.data(), dib.Bits, size_t(w) * h * 4);
             }));
    }
  }
  DeleteDC(screen);
  return 0;
}

}  // namespace camsnap
