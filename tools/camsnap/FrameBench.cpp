#include "FrameBench.h"

#include "FrameFiles.h"

#include "ScreenCapture.h"
#include "VectorRoutines.h"

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

double Median(std::vector<double> t) {
  if (t.empty()) return 0;
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

const Method* Find(const std::vector<Method>& methods, const char* name, int w, int h) {
  for (const auto& m : methods)
    if (m.Name == name && m.Width == w && m.Height == h) return &m;
  return nullptr;
}

}  // namespace

double BareScreenReadMs(int reads) {
  HDC screen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
  const int sw = GetDeviceCaps(screen, HORZRES), sh = GetDeviceCaps(screen, VERTRES);
  std::vector<double> times;
  {
    Dib target(screen, sw, sh);
    for (int i = 0; i <= reads; ++i) {
      const double t0 = Now();
      BitBlt(target.Dc, 0, 0, sw, sh, screen, 0, 0, SRCCOPY);
      GdiFlush();
      if (i) times.push_back(Now() - t0);  // the first read pays for the target's fresh pages
    }
  }
  DeleteDC(screen);
  return Median(times);
}

int RunFrameBench(int frames) {
  HDC screen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
  const int sw = GetDeviceCaps(screen, HORZRES), sh = GetDeviceCaps(screen, VERTRES);
  const RECT all{0, 0, sw, sh};
  printf("{\"screen_width\":%d,\"screen_height\":%d,\"routines\":\"%s\"}\n", sw, sh,
         murmella::bitmap32::VectorRoutines().Name);
  const int sizes[3][2] = {{160, 120}, {640, 480}, {sw, sh}};
  std::vector<uint8_t> sample(size_t(sw) * sh * 4), copy(size_t(sw) * sh * 4);
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
  // The ceiling of any capture: the screen read into memory that is already there.
  Dib bare(screen, sw, sh);
  methods.push_back({"bare_screen_read", sw, sh, [&] {
                       BitBlt(bare.Dc, 0, 0, sw, sh, screen, 0, 0, SRCCOPY);
                       GdiFlush();
                     },
                     {}});
  // The camera as its pin makes frames, and the same frame in a new bitmap each time.
  vwc::TScreenFrames stream;
  methods.push_back({"camera_new_bitmap_each_frame", 160, 120, [&] {
                       HBITMAP b = vwc::CopyScreenToBitmapEx(all);
                       vwc::ScaleToSample(b, 160, 120, sample.data(), sample.size());
                       if (b) DeleteObject(b);
                     },
                     {}});
  std::vector<std::unique_ptr<Dib>> dibs;
  for (auto& s : sizes) {
    const int w = s[0], h = s[1];
    methods.push_back({"camera_fillbuffer", w, h, [&, w, h] {
                         stream.Capture(all);
                         stream.ScaleTo(w, h, sample.data(), sample.size());
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

  // A region of the screen as the capture settings choose one: 640 x 480 from the screen's middle
  // into a frame of its own size, beside the whole screen into the same size above. Only the
  // region is read, so it should cost well under the whole screen.
  const int rw = std::min(640, sw), rh = std::min(480, sh);
  const RECT part{(sw - rw) / 2, (sh - rh) / 2, (sw - rw) / 2 + rw, (sh - rh) / 2 + rh};
  vwc::TScreenFrames regionStream;
  methods.push_back({"camera_region", rw, rh, [&] {
                       regionStream.Capture(part);
                       regionStream.ScaleTo(rw, rh, sample.data(), sample.size());
                     },
                     {}});

  // The camera's two steps apart, to see where a frame's time goes.
  vwc::TScreenFrames captured;
  captured.Capture(all);
  methods.push_back({"step_capture", sw, sh, [&] { stream.Capture(all); }, {}});
  for (auto& s : sizes) {
    const int w = s[0], h = s[1];
    methods.push_back({"step_scale_to_sample", w, h,
                       [&, w, h] { captured.ScaleTo(w, h, sample.data(), sample.size()); }, {}});
  }

  TimeInTurn(frames, methods);
  for (const auto& m : methods) Report(m);
  // Side by side, from the same interleaved run: the ratios are what to compare.
  const double floor = Median(methods[0].Times), ceiling = Median(methods[1].Times);
  for (auto& s : sizes) {
    const int w = s[0], h = s[1];
    const double camera = Median(Find(methods, "camera_fillbuffer", w, h)->Times);
    const double halftone = Median(Find(methods, "stretchblt_halftone", w, h)->Times);
    const double colorOnColor = Median(Find(methods, "stretchblt_coloroncolor", w, h)->Times);
    const double scale = Median(Find(methods, "step_scale_to_sample", w, h)->Times);
    printf("{\"summary\":true,\"screen\":\"%dx%d\",\"size\":\"%dx%d\",\"floor_ms\":%.3f,\"camera_ms\":%.3f,"
           "\"halftone_ms\":%.3f,\"coloroncolor_ms\":%.3f,\"scale_ms\":%.3f,\"bare_read_ms\":%.3f,"
           "\"camera_per_floor\":%.3f,\"camera_per_halftone\":%.3f,\"camera_per_coloroncolor\":%.3f}\n",
           sw, sh, w, h, floor, camera, halftone, colorOnColor, scale, ceiling, camera / floor, camera / halftone,
           camera / colorOnColor);
  }
  const double region = Median(Find(methods, "camera_region", rw, rh)->Times);
  const Method* whole = Find(methods, "camera_fillbuffer", 640, 480);
  const double wholeMs = whole ? Median(whole->Times) : 0;
  printf("{\"summary\":true,\"region\":\"%dx%d of %dx%d\",\"size\":\"%dx%d\",\"region_ms\":%.3f,"
         "\"whole_screen_ms\":%.3f,\"region_per_whole_screen\":%.3f}\n",
         rw, rh, sw, sh, rw, rh, region, wholeMs, wholeMs > 0 ? region / wholeMs : 0.0);
  printf("{\"ceiling\":true,\"bare_screen_reads_per_second\":%.1f}\n", ceiling > 0 ? 1000.0 / ceiling : 0.0);
  DeleteDC(screen);
  return 0;
}

}  // namespace camsnap
