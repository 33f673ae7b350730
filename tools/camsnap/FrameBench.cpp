#include "FrameBench.h"

#include "ScreenCapture.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace camsnap {

namespace {

double Now() {
  LARGE_INTEGER f, n;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&n);
  return double(n.QuadPart) * 1000.0 / double(f.QuadPart);
}

struct Method {
  std::string Name;
  int Width, Height;
  std::function<void()> Once;
  std::vector<double> Times;
};

void Report(const Method& m) {
  std::vector<double> t = m.Times;
  std::sort(t.begin(), t.end());
  double sum = 0;
  for (double v : t) sum += v;
  printf("{\"method\":\"%s\",\"width\":%d,\"height\":%d,\"frames\":%zu,\"median_ms\":%.3f,\"mean_ms\":%.3f}\n",
         m.Name.c_str(), m.Width, m.Height, t.size(), t[t.size() / 2], sum / double(t.size()));
}

// Runs the methods in turn, a short burst each, so that the load of a shared machine falls on
// all of them alike and their ratios stay meaningful even when the absolute times drift. The
// first frame of a burst is not timed: a method should be measured in the state its own frames
// leave behind (freed memory, caches), as a camera streams, not in the state of another.
void TimeInTurn(int frames, std::vector<Method>& methods) {
  constexpr int Burst = 5;
  for (int done = 0; done < frames; done += Burst)
    for (auto& m : methods) {
      m.Once();
      for (int i = 0; i < Burst && done + i < frames; ++i) {
        const double t0 = Now();
        m.Once();
        m.Times.push_back(Now() - t0);
      }
    }
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
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;
};

}  // namespace

int RunFrameBench(int frames) {
  HDC screen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
  const int sw = GetDeviceCaps(screen, HORZRES), sh = GetDeviceCaps(screen, VERTRES);
  const RECT all{0, 0, sw, sh};
  printf("{\"screen_width\":%d,\"screen_height\":%d}\n", sw, sh);
  const int sizes[2][2] = {{160, 120}, {640, 480}};
  std::vector<uint8_t> sample(640 * 480 * 4), copy(size_t(sw) * sh * 4);
  std::vector<Method> methods;

  // The floor: what any screen camera must do, a screen copy and one pass over its pixels.
  const BITMAPINFO floorHeader = TopDownHeader(sw, sh);
  methods.push_back({"floor_bitblt_plus_copy", sw, sh, [&] {
                       HDC mem = CreateCompatibleDC(screen);
                       HBITMAP b = CreateCompatibleBitmap(screen, sw, sh);
                       HGDIOBJ old = SelectObject(mem, b);
                       BitBlt(mem, 0, 0, sw, sh, screen, 0, 0, SRCCOPY);
                       SelectObject(mem, old);
                       BITMAPINFO bi = floorHeader;
                       GetDIBits(mem, b, 0, sh, copy.data(), &bi, DIB_RGB_COLORS);
                       DeleteObject(b);
                       DeleteDC(mem);
                     },
                     {}});
  std::vector<std::unique_ptr<Dib>> dibs;
  for (auto& s : sizes) {
    const int w = s[0], h = s[1];
    methods.push_back({"camera_fillbuffer", w, h, [&, w, h] {
                         HBITMAP b = vwc::CopyScreenToBitmapEx(all);
                         vwc::ScaleToSample(b, w, h, sample.data(), sample.size());
                         if (b) DeleteObject(b);
                       },
                       {}});
    for (int mode : {HALFTONE, COLORONCOLOR}) {
      dibs.push_back(std::make_unique<Dib>(screen, w, h));
      Dib& dib = *dibs.back();
      SetStretchBltMode(dib.Dc, mode);
      if (mode == HALFTONE) SetBrushOrgEx(dib.Dc, 0, 0, nullptr);
      methods.push_back({mode == HALFTONE ? "stretchblt_halftone" : "stretchblt_coloroncolor", w, h, [&, w, h] {
                           StretchBlt(dib.Dc, 0, 0, w, h, screen, 0, 0, sw, sh, SRCCOPY);
                           GdiFlush();
                           memcpy(sample.data(), dib.Bits, size_t(w) * h * 4);
                         },
                         {}});
    }
  }

  // The camera's two steps apart, to see where a frame's time goes.
  HBITMAP captured = vwc::CopyScreenToBitmapEx(all);
  methods.push_back({"step_capture", sw, sh, [&] {
                       HBITMAP b = vwc::CopyScreenToBitmapEx(all);
                       if (b) DeleteObject(b);
                     },
                     {}});
  for (auto& s : sizes) {
    const int w = s[0], h = s[1];
    methods.push_back({"step_scale_to_sample", w, h,
                       [&, w, h] { vwc::ScaleToSample(captured, w, h, sample.data(), sample.size()); }, {}});
  }

  TimeInTurn(frames, methods);
  for (const auto& m : methods) Report(m);
  DeleteObject(captured);
  DeleteDC(screen);
  return 0;
}

}  // namespace camsnap
