// A GoogleTest main for Windows tests whose geometry can be checked in Wine's virtual desktop
// (a taskbar, so a work area smaller than the screen). With MURMELLA_VIRTUAL_DESKTOP=1 the
// program starts itself again inside "explorer /desktop=...", waits for that copy, and passes
// on its output and exit code; otherwise the tests run where they are started. Not the
// default: on this machine's Wine 8 the desktop's tray window exists but the work area stays
// the whole screen, and the hover and mouse-leave checks, which pass on the plain display,
// failed inside it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kInnerFlag = "--murmella-inner=";
constexpr DWORD kInnerTimeoutMs = 280000;

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

int RunInDesktop(int argc, char** argv) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  const std::string base = std::string(dir) + "murmella-desktop-" + std::to_string(GetCurrentProcessId());
  const std::string eventName = "Local\\murmella-desktop-" + std::to_string(GetCurrentProcessId());
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
  std::string command = "explorer.exe /desktop=Murmella,1280x1024 " + Quoted(self) + " " + kInnerFlag + base;
  for (int i = 1; i < argc; ++i) command += " " + Quoted(argv[i]);
  STARTUPINFOA si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::fprintf(stderr, "cannot start the virtual desktop (%lu)\n", GetLastError());
    return 125;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  const bool finished = WaitForSingleObject(done, kInnerTimeoutMs) == WAIT_OBJECT_0;
  CloseHandle(done);
  int rc = 1;
  if (FILE* f = std::fopen((base + ".out").c_str(), "rb")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) std::fwrite(buf, 1, n, stdout);
    std::fclose(f);
  }
  if (FILE* f = std::fopen((base + ".rc").c_str(), "rb")) {
    if (std::fscanf(f, "%d", &rc) != 1) rc = 1;
    std::fclose(f);
  }
  DeleteFileA((base + ".out").c_str());
  DeleteFileA((base + ".rc").c_str());
  if (!finished) {
    std::fprintf(stderr, "the tests inside the virtual desktop did not finish\n");
    return 1;
  }
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  std::string inner;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]).rfind(kInnerFlag, 0) == 0) inner = argv[i] + std::strlen(kInnerFlag);
  char wanted[8] = {};
  const bool desktop = GetEnvironmentVariableA("MURMELLA_VIRTUAL_DESKTOP", wanted, sizeof wanted) > 0 &&
                       std::string(wanted) == "1";
  if (inner.empty() && desktop) return RunInDesktop(argc, argv);

  if (!inner.empty()) {
    std::freopen((inner + ".out").c_str(), "wb", stdout);
    // The desktop's taskbar comes up beside the program; wait until it has taken its strip.
    for (int i = 0; i < 100; ++i) {
      RECT area{};
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
      if (area.bottom < GetSystemMetrics(SM_CYSCREEN)) break;
      Sleep(50);
    }
  }
  testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  if (!inner.empty()) {
    std::fflush(stdout);
    if (FILE* f = std::fopen((inner + ".rc").c_str(), "wb")) {
      std::fprintf(f, "%d", rc);
      std::fclose(f);
    }
    const std::string eventName = "Local\\murmella-desktop-" + inner.substr(inner.rfind('-') + 1);
    if (HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName.c_str())) {
      SetEvent(done);
      CloseHandle(done);
    }
  }
  return rc;
}
