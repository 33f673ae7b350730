// Paints a test pattern over the whole screen, captures the screen with GDI into a TBitmap32,
// draft-scales it to 160x120 and 640x480 and writes each as a 32-bit .bmp into the directory
// given on the command line, printing the paths.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "Bitmap32.h"
#include "DraftResampler.h"
#include "PlatformBitmap.h"

using namespace murmella::bitmap32;

namespace {

void PaintPattern(HDC dc, int w, int h) {
  static const COLORREF bars[] = {RGB(255, 255, 255), RGB(255, 255, 0), RGB(0, 255, 255), RGB(0, 255, 0),
                                  RGB(255, 0, 255),   RGB(255, 0, 0),   RGB(0, 0, 255),   RGB(0, 0, 0)};
  for (int i = 0; i < 8; ++i) {
    RECT r{i * w / 8, 0, (i + 1) * w / 8, h / 2};
    HBRUSH b = CreateSolidBrush(bars[i]);
    FillRect(dc, &r, b);
    DeleteObject(b);
  }
  RECT low{0, h / 2, w, h};
  FillRect(dc, &low, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 255, 255));
  HGDIOBJ old = SelectObject(dc, pen);
  for (int x = 0; x <= w; x += w / 16) { MoveToEx(dc, x, h / 2, nullptr); LineTo(dc, x, h); }
  for (int y = h / 2; y <= h; y += h / 16) { MoveToEx(dc, 0, y, nullptr); LineTo(dc, w, y); }
  SelectObject(dc, old);
  DeleteObject(pen);
  HFONT font = CreateFontW(-h / 14, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
  old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 0));
  RECT t{0, h / 2, w, h};
  DrawTextW(dc, L"Murmella 32-bit bitmap", -1, &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, old);
  DeleteObject(font);
}

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT r;
    GetClientRect(wnd, &r);
    PaintPattern(dc, r.right, r.bottom);
    EndPaint(wnd, &ps);
    return 0;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

// Writes a bottom-up 32-bit DIB (as copy-out leaves it) as a .bmp file.
bool WriteBmp(const std::string& path, TPlatformBitmap& dib) {
  const int w = dib.Width(), h = dib.Height();
  BITMAPINFOHEADER ih{};
  ih.biSize = sizeof(ih);
  ih.biWidth = w;
  ih.biHeight = h;
  ih.biPlanes = 1;
  ih.biBitCount = 32;
  ih.biCompression = BI_RGB;
  ih.biSizeImage = DWORD(w) * DWORD(h) * 4;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(fh) + sizeof(ih);
  fh.bfSize = fh.bfOffBits + ih.biSizeImage;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&fh), sizeof(fh));
  out.write(reinterpret_cast<const char*>(&ih), sizeof(ih));
  out.write(static_cast<const char*>(dib.ScanLine(h - 1)), std::streamsize(ih.biSizeImage));
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: BitmapDemo OUTPUT_DIRECTORY\n");
    return 2;
  }
  const std::string dir = argv[1];
  CreateDirectoryA(dir.c_str(), nullptr);
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"MurmellaBitmapDemo";
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  RegisterClassW(&wc);
  HWND wnd = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"BitmapDemo", WS_POPUP | WS_VISIBLE, 0, 0, sw, sh,
                             nullptr, nullptr, wc.hInstance, nullptr);
  if (!wnd) return 1;
  UpdateWindow(wnd);
  for (DWORD end = GetTickCount() + 700; GetTickCount() < end;) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    Sleep(20);
  }
  try {
    HDC screen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP shot = CreateCompatibleBitmap(screen, sw, sh);
    HGDIOBJ old = SelectObject(mem, shot);
    BitBlt(mem, 0, 0, sw, sh, screen, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteDC(screen);
    TBitmap32 src;
    {
      TPlatformBitmap captured(shot);
      src.CopyFrom(captured);
    }
    DeleteObject(shot);
    TDraftResampler::CreateFor(src);
    for (auto [w, h] : {std::pair{160, 120}, std::pair{640, 480}}) {
      TBitmap32 dst;
      dst.SetSize(w, h);
      dst.Draw(dst.Bounds(), src.Bounds(), &src);
      TPlatformBitmap dib;
      dst.CopyTo(dib);
      const std::string path = dir + "\\draft-" + std::to_string(w) + "x" + std::to_string(h) + ".bmp";
      if (!WriteBmp(path, dib)) {
        std::fprintf(stderr, "BitmapDemo: cannot write %s\n", path.c_str());
        return 1;
      }
      std::printf("%s\n", path.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "BitmapDemo: %s\n", e.what());
    return 1;
  }
  DestroyWindow(wnd);
  return 0;
}
