// chatctl: drives a MurmellaChat on one of Wine's desktops for the demo, and measures it.
//   chatctl wait DESKTOP              waits (10 s at most) until the window shows
//   chatctl close DESKTOP             closes the window (to the tray), as its close button does
//   chatctl quit DESKTOP              "Close Murmellachat" from the tray menu
//   chatctl notice DESKTOP [HALF.bmp IN.bmp]
//       waits (20 s at most) for the presence notice and follows its climb; with file names, captures
//       the screen once the notice has come about half way up and once it is fully in. Prints one JSON line
//       with the work area and the notice's rectangle at both moments (null if the climb was missed).
//   chatctl bench PROGRAM [STARTS] [IDLE_SECONDS]
//       on a desktop of its own: STARTS starts (default 20), each timed from process creation to
//       the main window visible; the working set after start; the CPU time a copy in the tray
//       uses over IDLE_SECONDS (default 60). Prints one JSON line.
#include "ChatProcess.h"
#include "FrameFiles.h"
#include "WineDesktop.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace chattest;

namespace {

// The running console's windows on the named desktop.
struct Console {
  HWND main = nullptr, tray = nullptr;
};

bool EnterDesktop(const char* name) {
  HDESK desk = OpenDesktopA(name, 0, FALSE, GENERIC_ALL);
  return desk && SetThreadDesktop(desk);
}

Console FindConsole() {
  Console c;
  WaitFor([&] {
    HWND main = FindWindowA("MurmellaForm", "MurmellaChat");
    if (!main) return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    c.main = main;
    c.tray = FindProcessWindow(pid, "MurmellaTrayIcon");
    return c.tray != nullptr;
  }, 10000);
  return c;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return double(to.QuadPart - from.QuadPart) * 1000.0 / double(f.QuadPart);
}

double CpuMilliseconds(HANDLE process) {
  FILETIME created, ended, kernel, user;
  GetProcessTimes(process, &created, &ended, &kernel, &user);
  auto ticks = [](FILETIME t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return double(ticks(kernel) + ticks(user)) / 10000.0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Ends a copy the way an operator does; a copy that does not go is stopped.
void Quit(ChatProcess& chat) {
  if (HWND tray = chat.TrayWindow()) ChooseFromTrayMenu(tray, 1);
  chat.WaitForExit(5000);
}

struct StartFigures {
  std::vector<double> startMs, workingSetMb, startCpuMs;
};

// `starts` starts of `program`, each timed from process creation to its top-level window of
// class `windowClass` visible, with the working set a second later.
bool TimeStarts(const std::string& program, const char* windowClass, int starts, StartFigures& out) {
  for (int i = 0; i < starts; ++i) {
    ChatProcess chat;
    if (!chat.Start(program)) return false;
    LARGE_INTEGER seen{};
    const DWORD t0 = GetTickCount();
    while (GetTickCount() - t0 < 10000) {
      HWND w = FindProcessWindow(chat.Pid(), windowClass);
      if (w && IsWindowVisible(w)) {
        QueryPerformanceCounter(&seen);
        break;
      }
      Sleep(1);
    }
    if (!seen.QuadPart) {
      std::fprintf(stderr, "chatctl: start %d of %s showed no window\n", i + 1, program.c_str());
      return false;
    }
    out.startMs.push_back(Milliseconds(chat.StartedAt(), seen));
    Sleep(1000);  // what it holds once settled
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(chat.Process(), &pmc, sizeof pmc)) out.workingSetMb.push_back(pmc.WorkingSetSize / 1048576.0);
    out.startCpuMs.push_back(CpuMilliseconds(chat.Process()));
    if (chat.TrayWindow()) Quit(chat);
  }
  return true;
}

int Bench(const std::string& program, int starts, int idleSeconds) {
  if (!testdesktop::Enter()) {
    std::fprintf(stderr, "chatctl: no virtual desktop\n");
    return 2;
  }
  // Wine's own floor, side by side: its Notepad, a plain window program, started the same way.
  StartFigures chatFigures, floorFigures;
  if (!TimeStarts(program, "MurmellaForm", starts, chatFigures)) return 1;
  if (!TimeStarts("C:\\windows\\system32\\notepad.exe", "Notepad", starts, floorFigures)) return 1;
  const std::vector<double>& startMs = chatFigures.startMs;
  double idleCpu = -1;
  {
    ChatProcess chat;
    chat.Start(program);
    HWND main = chat.WaitForMainWindow();
    if (main) {
      PostMessageA(main, WM_CLOSE, 0, 0);
      WaitFor([&] { return !IsWindowVisible(main); }, 5000);
      Sleep(500);
      const double before = CpuMilliseconds(chat.Process());
      Sleep(DWORD(idleSeconds) * 1000);
      idleCpu = CpuMilliseconds(chat.Process()) - before;
    }
    Quit(chat);
  }
  std::printf(
      "{\"starts\":%d,\"start_to_visible_ms_median\":%.1f,\"start_to_visible_ms_min\":%.1f,"
      "\"start_to_visible_ms_max\":%.1f,\"working_set_mb_median\":%.2f,\"cpu_ms_to_settled_median\":%.1f,"
      "\"notepad_start_to_visible_ms_median\":%.1f,\"notepad_working_set_mb_median\":%.2f,"
      "\"notepad_cpu_ms_to_settled_median\":%.1f,"
      "\"idle_seconds\":%d,\"idle_cpu_ms\":%.1f}\n",
      starts, Median(startMs), *std::min_element(startMs.begin(), startMs.end()),
      *std::max_element(startMs.begin(), startMs.end()), Median(chatFigures.workingSetMb), Median(chatFigures.startCpuMs),
      Median(floorFigures.startMs), Median(floorFigures.workingSetMb), Median(floorFigures.startCpuMs), idleSeconds,
      idleCpu);
  return 0;
}

// The whole screen as the user sees it, written as a BMP.
bool CaptureScreen(const std::string& path) {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  BITMAPINFO bi = camsnap::TopDownHeader(w, h);
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (mem && dib) {
    HGDIOBJ old = SelectObject(mem, dib);
    ok = BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY | CAPTUREBLT) != FALSE;
    SelectObject(mem, old);
  }
  if (ok) {
    camsnap::Frame frame;
    const auto* p = static_cast<const uint8_t*>(bits);
    frame.Bytes.assign(p, p + std::size_t(w) * std::size_t(h) * 4);
    camsnap::VideoFormat format;
    format.Width = w;
    format.Height = -h;
    format.BitCount = 32;
    std::wstring wide(path.size(), L'\0');
    wide.resize(std::size_t(MultiByteToWideChar(CP_ACP, 0, path.data(), int(path.size()), wide.data(), int(wide.size()))));
    ok = camsnap::WriteBmp(wide, format, frame);
  }
  if (dib) DeleteObject(dib);
  if (mem) DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return ok;
}

std::string RectJson(const RECT* r) {
  if (!r) return "null";
  char text[96];
  std::snprintf(text, sizeof text, "{\"left\":%ld,\"top\":%ld,\"right\":%ld,\"bottom\":%ld}", r->left, r->top,
                r->right, r->bottom);
  return text;
}

// Follows the notice from its first visible frame until it rests on the work area's bottom edge.
int Notice(const char* halfPath, const char* inPath) {
  HWND notice = nullptr;
  if (!WaitFor([&] {
        notice = FindWindowA("MurmellaHTMLPopup", nullptr);
        return notice && IsWindowVisible(notice);
      }, 20000)) {
    std::fprintf(stderr, "chatctl: no notice showed\n");
    return 1;
  }
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  RECT half{}, in{};
  bool haveHalf = false, haveIn = false;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 5000 && IsWindowVisible(notice)) {
    RECT r{};
    if (!GetWindowRect(notice, &r)) break;
    const long height = r.bottom - r.top;
    if (r.bottom <= work.bottom) {
      in = r;
      haveIn = true;
      break;
    }
    // It climbs 20 px a step: the first step with three eighths of it showing is the one
    // nearest half way for a two-line notice.
    if (!haveHalf && (work.bottom - r.top) * 8 >= height * 3) {
      half = r;
      haveHalf = !halfPath || CaptureScreen(halfPath);
    }
    Sleep(1);
  }
  if (!haveIn) {
    std::fprintf(stderr, "chatctl: the notice did not arrive\n");
    return 1;
  }
  if (inPath) {
    Sleep(300);  // let it paint at rest
    if (!CaptureScreen(inPath)) return 1;
  }
  std::printf("{\"work\":%s,\"half\":%s,\"in\":%s}\n", RectJson(&work).c_str(),
              RectJson(haveHalf ? &half : nullptr).c_str(), RectJson(&in).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  testdesktop::RunKeeperIfAsked(argc, argv);
  const std::string command = argc > 1 ? argv[1] : "";
  if ((command == "wait" || command == "close" || command == "quit") && argc > 2) {
    bool entered = false;
    WaitFor([&] { return entered = EnterDesktop(argv[2]); }, 10000);
    if (!entered) return 2;
    const Console c = FindConsole();
    if (!c.main) return 1;
    if (command == "wait") return WaitFor([&] { return IsWindowVisible(c.main) != FALSE; }, 10000) ? 0 : 1;
    if (command == "close") {
      PostMessageA(c.main, WM_CLOSE, 0, 0);
      return WaitFor([&] { return !IsWindowVisible(c.main); }, 5000) ? 0 : 1;
    }
    return ChooseFromTrayMenu(c.tray, 1) && WaitFor([&] { return !IsWindow(c.main); }, 5000) ? 0 : 1;
  }
  if (command == "notice" && (argc == 3 || argc == 5)) {
    bool entered = false;
    WaitFor([&] { return entered = EnterDesktop(argv[2]); }, 10000);
    if (!entered) return 2;
    return Notice(argc == 5 ? argv[3] : nullptr, argc == 5 ? argv[4] : nullptr);
  }
  if (command == "bench" && argc > 2)
    return Bench(argv[2], argc > 3 ? std::atoi(argv[3]) : 20, argc > 4 ? std::atoi(argv[4]) : 60);
  std::fprintf(stderr, "usage: chatctl wait|close|quit DESKTOP | chatctl notice DESKTOP [HALF.bmp IN.bmp] | chatctl bench PROGRAM [STARTS] [IDLE_SECONDS]\n");
  return 2;
}
