// chatctl: drives a MurmellaChat on one of Wine's desktops for the demo, and measures it.
//   chatctl wait DESKTOP              waits (10 s at most) until the window shows
//   chatctl close DESKTOP             closes the window (to the tray), as its close button does
//   chatctl quit DESKTOP              "Close Murmellachat" from the tray menu
//   chatctl bench PROGRAM [STARTS] [IDLE_SECONDS]
//       on a desktop of its own: STARTS starts (default 20), each timed from process creation to
//       the main window visible; the working set after start; the CPU time a copy in the tray
//       uses over IDLE_SECONDS (default 60). Prints one JSON line.
#include "ChatProcess.h"
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
  if (command == "bench" && argc > 2)
    return Bench(argv[2], argc > 3 ? std::atoi(argv[3]) : 20, argc > 4 ? std::atoi(argv[4]) : 60);
  std::fprintf(stderr, "usage: chatctl wait|close|quit DESKTOP | chatctl bench PROGRAM [STARTS] [IDLE_SECONDS]\n");
  return 2;
}
