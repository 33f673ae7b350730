// camsnap as a user runs it: its listing through the system device enumerator and the
// answers it gives for bad arguments and devices that do not exist.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

struct Result {
  DWORD Code = 0xFFFFFFFF;
  std::string Out;
};

Result RunCamSnap(const std::wstring& args) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  CreatePipe(&readEnd, &writeEnd, &sa, 0);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::wstring exe = L"" CAMSNAP_EXE;
  for (auto& c : exe)
    if (c == L'/') c = L'\\';
  std::wstring cmd = L"\"" + exe + L"\" " + args;
  Result r;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    ADD_FAILURE() << "camsnap did not start: " << GetLastError();
    return r;
  }
  CloseHandle(writeEnd);
  char buf[4096];
  DWORD n;
  while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n) r.Out.append(buf, n);
  WaitForSingleObject(pi.hProcess, 60000);
  GetExitCodeProcess(pi.hProcess, &r.Code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(readEnd);
  return r;
}

}  // namespace

TEST(CamSnap, ListsDevicesAsJsonLines) {
  Result r = RunCamSnap(L"list");
  EXPECT_EQ(r.Code, 0u) << r.Out;
  // Every line names a device and its class; an empty category lists nothing.
  size_t pos = 0;
  while (pos < r.Out.size()) {
    size_t end = r.Out.find('\n', pos);
    std::string line = r.Out.substr(pos, end - pos);
    EXPECT_EQ(line.rfind("{\"name\":", 0), 0u) << line;
    EXPECT_NE(line.find("\"clsid\":"), std::string::npos) << line;
    if (end == std::string::npos) break;
    pos = end + 1;
  }
}

TEST(CamSnap, UnknownDeviceIsExitCode3) {
  Result r = RunCamSnap(L"grab --device \"No such camera\" --frames 1");
  EXPECT_EQ(r.Code, 3u);
  EXPECT_NE(r.Out.find("no video input device named \"No such camera\""), std::string::npos) << r.Out;
  EXPECT_EQ(RunCamSnap(L"avi --device \"No such camera\" --out x.avi").Code, 3u);
}

TEST(CamSnap, BadArgumentsAreExitCode2WithUsage) {
  for (const wchar_t* args : {L"", L"snap", L"grab", L"grab --frames -1", L"grab --frames x", L"grab --seconds 0",
                              L"grab --device", L"avi", L"list --bogus"}) {
    Result r = RunCamSnap(args);
    EXPECT_EQ(r.Code, 2u) << std::string(args, args + wcslen(args));
    EXPECT_NE(r.Out.find("usage: camsnap"), std::string::npos);
  }
}
