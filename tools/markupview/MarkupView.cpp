// markupview [options] (MARKUP | -f FILE) OUT.bmp
// Renders markup the way the presence popup lays it out and writes a 24-bit BMP.
//   -w WIDTH     text rectangle width; 0 (default) sizes to the content, nothing wraps
//   -h HEIGHT    text rectangle height (default 4096, the popup's auto-size height)
//   --font NAME  base font face (default "MS Sans Serif"), --size POINTS (default 8)
//   --bg RRGGBB  background colour (default the popup's white-to-yellow shade)
//   --hover N    underline only link N, as the popup does under the pointer
//   --hit X,Y    also report the link at that point of the text rectangle
// Prints ContentWidth, ContentHeight and the hit result on stdout.
#include "GdiCanvas.h"
#include "MarkupRenderer.h"
#include "ShellIconsWin.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

using namespace murmella::popup;

namespace {

// The notice window's frame: 5-pixel border, 4-pixel margins, 6 and 2 more inside.
constexpr int kBorder = 5, kMargin = 4;

int Usage() {
  std::fprintf(stderr, "usage: markupview [-w W] [-h H] [--font NAME] [--size PT] [--bg RRGGBB] [--hover N] "
                       "[--hit X,Y] (MARKUP | -f FILE) OUT.bmp\n");
  return 2;
}

bool WriteBmp(const char* path, const std::uint32_t* bits, int w, int h) {
  const int stride = (w * 3 + 3) & ~3;
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  ih.biSize = sizeof ih;
  ih.biWidth = w;
  ih.biHeight = h;
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biSizeImage = stride * h;
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = fh.bfOffBits + ih.biSizeImage;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
  out.write(reinterpret_cast<const char*>(&ih), sizeof ih);
  std::string row(stride, '\0');
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = bits[y * w + x];
      row[x * 3] = static_cast<char>(p & 0xFF);
      row[x * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
      row[x * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
    }
    out.write(row.data(), stride);
  }
  return static_cast<bool>(out);
}

}  // namespace

int Run(int argc, char** argv) {
  int width = 0, height = 4096, hover = -1, points = 8;
  std::string font = "MS Sans Serif", markup, out;
  bool haveMarkup = false, hit = false, plainBg = false;
  TPoint hitPoint;
  unsigned bg = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "-w" && (v = next())) width = std::atoi(v);
    else if (a == "-h" && (v = next())) height = std::atoi(v);
    else if (a == "--font" && (v = next())) font = v;
    else if (a == "--size" && (v = next())) points = std::atoi(v);
    else if (a == "--hover" && (v = next())) hover = std::atoi(v);
    else if (a == "--bg" && (v = next())) { bg = std::strtoul(v, nullptr, 16); plainBg = true; }
    else if (a == "--hit" && (v = next())) { hit = std::sscanf(v, "%d,%d", &hitPoint.X, &hitPoint.Y) == 2; }
    else if (a == "-f" && (v = next())) {
      std::ifstream f(v, std::ios::binary);
      if (!f) { std::fprintf(stderr, "markupview: cannot read %s\n", v); return 1; }
      std::stringstream s;
      s << f.rdbuf();
      markup = s.str();
      haveMarkup = true;
    } else if (!haveMarkup) { markup = a; haveMarkup = true; }
    else if (out.empty()) out = a;
    else return Usage();
  }
  if (!haveMarkup || out.empty() || height <= 0 || width < 0) return Usage();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  TMarkupFont base;
  base.Name = font;
  base.Size = points;
  base.Color = clWindowText;
  THTMLPictureCache cache;
  TSystemShellIcons shell;
  TMarkupRenderInput in;
  in.Markup = markup;
  in.PictureCache = &cache;
  in.ShellIcons = &shell;
  in.HoverStyle = hover >= 0;
  in.HoverNumber = hover;

  // Measure as the popup's auto-size does, then lay out the picture around the content.
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  TMarkupRenderResult measured;
  {
    TGdiCanvas canvas(dc, base);
    in.Bounds = {kBorder + 6, kBorder + 2, kBorder + 6 + width, kBorder + 2 + height};
    RenderMarkup(canvas, in, measured);
  }
  const int W = (width ? width : measured.ContentWidth) + 16 + 2 * kBorder;
  const int H = measured.ContentHeight + 16 + 2 * kBorder;

  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), W, -H, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::uint32_t* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
  if (!bmp) return 1;
  HGDIOBJ old = SelectObject(dc, bmp);
  TMarkupRenderResult painted;
  {
    TGdiCanvas canvas(dc, base);
    if (plainBg) {
      canvas.SetBrushColor(((bg & 0xFF) << 16) | (bg & 0xFF00) | ((bg >> 16) & 0xFF));
      canvas.FillRect({0, 0, W, H});
    } else {
      GradientFill(canvas, {0, 0, W, H}, clWhite, clYellow, true);
    }
    canvas.SetBrushColor(clBtnFace);
    for (const TRect r : {TRect{0, 0, W, kBorder}, TRect{W - kBorder, 0, W, H}, TRect{0, H - kBorder, W, H},
                          TRect{0, 0, kBorder, H}})
      canvas.FillRect(r);
    canvas.SetBrushClear();
    const TRect text{kBorder + kMargin, kBorder + kMargin, W - kBorder - kMargin, H - kBorder - kMargin};
    in.Bounds = text;
    RenderMarkup(canvas, in, painted);
    if (hit) {
      in.HitMode = true;
      in.HoverStyle = false;
      in.HoverNumber = -1;
      in.Point = {text.Left + hitPoint.X, text.Top + hitPoint.Y};
      TMarkupRenderResult r;
      RenderMarkup(canvas, in, r);
      std::printf("HitLink=%d HitTarget=%s HitNumber=%d HitRect=%d,%d,%d,%d\n", r.HitLink ? 1 : 0,
                  r.HitTarget.c_str(), r.HitNumber, r.HitRect.Left, r.HitRect.Top, r.HitRect.Right,
                  r.HitRect.Bottom);
    }
  }
  GdiFlush();
  const bool ok = WriteBmp(out.c_str(), bits, W, H);
  std::printf("ContentWidth=%d ContentHeight=%d Image=%dx%d\n", measured.ContentWidth, measured.ContentHeight, W, H);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  if (!ok) {
    std::fprintf(stderr, "markupview: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const EPictureError& e) {
    std::fprintf(stderr, "markupview: %s: %s\n", EPictureError::ClassName(), e.what());
    return 1;
  }
}
