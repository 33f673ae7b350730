// camsnap as a user runs it: its listing through the system device enumerator, the answers
// it gives for bad arguments and devices that do not exist, and its recording and rate runs
// against the registered camera.
#include "SettingsStore.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace {

struct Result {
  DWORD Code = 0xFFFFFFFF;
  std::string Out;
};

std::wstring WindowsPath(const char* path) {
  std::wstring p(path, path + strlen(path));
  for (auto& c : p)
    if (c == L'/') c = L'\\';
  return p;
}

Result RunCommand(std::wstring cmd) {
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
  Result r;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    ADD_FAILURE() << "did not start: " << GetLastError();
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

Result RunCamSnap(const std::wstring& args) { return RunCommand(L"\"" + WindowsPath(CAMSNAP_EXE) + L"\" " + args); }

// The stored setting's type and bytes; type 0 when it is missing.
std::pair<DWORD, std::string> Stored(const wchar_t* name) {
  char data[64] = {};
  DWORD type = 0, size = sizeof data;
  if (RegGetValueW(HKEY_CURRENT_USER, vwc::kSettingsKey, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) !=
      ERROR_SUCCESS)
    return {0, ""};
  return {type, std::string(data, size)};
}

class WithCamera : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(RunCommand(L"regsvr32.exe /s \"" + WindowsPath(CAMERA_AX) + L"\"").Code, 0u);
  }
};

}  // namespace

TEST_F(WithCamera, ListsTheCameraAmongDevicesAsJsonLines) {
  Result r = RunCamSnap(L"list");
  EXPECT_EQ(r.Code, 0u) << r.Out;
  // Every line names a device and its class, and one of them is the registered camera.
  int cameras = 0;
  size_t pos = 0;
  while (pos < r.Out.size()) {
    size_t end = r.Out.find('\n', pos);
    std::string line = r.Out.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    EXPECT_EQ(line.rfind("{\"name\":", 0), 0u) << line;
    EXPECT_NE(line.find("\"clsid\":"), std::string::npos) << line;
    cameras += line == "{\"name\":\"MurmellaScreenSharing\",\"clsid\":\"{FE0B330A-6D25-45DC-AC7F-6C445FB6F5C0}\"}";
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  EXPECT_EQ(cameras, 1) << r.Out;
}

TEST(CamSnap, UnknownDeviceIsExitCode3) {
  Result r = RunCamSnap(L"grab --device \"No such camera\" --frames 1");
  EXPECT_EQ(r.Code, 3u);
  EXPECT_NE(r.Out.find("no video input device named \"No such camera\""), std::string::npos) << r.Out;
  EXPECT_EQ(RunCamSnap(L"avi --device \"No such camera\" --out x.avi").Code, 3u);
}

TEST(CamSnap, BadArgumentsAreExitCode2WithUsage) {
  for (const wchar_t* args : {L"", L"snap", L"grab", L"grab --frames -1", L"grab --frames x", L"grab --seconds 0",
                              L"grab --device", L"avi", L"list --bogus", L"rate", L"rate --seconds 1 --fps 0",
                              L"rate --seconds 1 --fps 61", L"rate --seconds 1 --width x", L"rate --height 10",
                              L"rate --seconds 1 --format YV12", L"rate --seconds 1 --format"}) {
    Result r = RunCamSnap(args);
    EXPECT_EQ(r.Code, 2u) << std::string(args, args + wcslen(args));
    EXPECT_NE(r.Out.find("usage: camsnap"), std::string::npos);
  }
}

TEST_F(WithCamera, AviRecordsARiffFile) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::wstring path = std::wstring(dir) + L"camsnap-test.avi";
  Result r = RunCamSnap(L"avi --seconds 1.2 --out \"" + path + L"\"");
  EXPECT_EQ(r.Code, 0u) << r.Out;
  char head[12] = {};
  if (FILE* f = _wfopen(path.c_str(), L"rb")) {
    fread(head, 1, sizeof head, f);
    fclose(f);
  }
  EXPECT_TRUE(DeleteFileW(path.c_str())) << "the file is still open or was never written";
  EXPECT_EQ(std::string(head, 4), "RIFF");
  EXPECT_EQ(std::string(head + 8, 4), "AVI ");
}

// The camera streams at the size and rate given, and the user's stored settings are as before
// afterwards: a value of another type kept as it was, a missing one missing again although the
// camera writes its defaults for missing values while it runs.
TEST_F(WithCamera, RateUsesTheGivenSettingsAndPutsBackWhatWasThere) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, vwc::kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
  const DWORD width = 200;
  RegSetValueExW(key, L"VideoWidth", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&width), sizeof width);
  RegSetValueExW(key, L"FramesPerSecond", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"7"), 4);
  RegDeleteValueW(key, L"VideoHeight");
  RegSetValueExW(key, L"SingleFormat", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&width), sizeof width);
  RegCloseKey(key);
  const auto widthBefore = Stored(L"VideoWidth"), rateBefore = Stored(L"FramesPerSecond");

  Result r = RunCamSnap(L"rate --seconds 1 --fps 10 --width 320 --height 240");
  EXPECT_EQ(r.Code, 0u) << r.Out;
  for (const char* field : {"\"width\":320,", "\"height\":240,", "\"fps\":10.000,", "\"scheduled\":10.0,"})
    EXPECT_NE(r.Out.find(field), std::string::npos) << field << " in " << r.Out;
  EXPECT_EQ(r.Out.find("\"frames\":0,"), std::string::npos) << r.Out;
  // Lateness counts from the moment the graph was told to run, and the camera's clock starts
  // inside Run, so no frame can be early; the first one comes after its capture.
  const auto number = [&](const char* field) {
    const size_t at = r.Out.find(std::string("\"") + field + "\":");
    return at == std::string::npos ? -1.0 : atof(r.Out.c_str() + at + strlen(field) + 3);
  };
  EXPECT_GT(number("first_frame_us"), 0) << r.Out;
  for (const char* field : {"median_lateness_us", "p90_lateness_us", "max_lateness_us"})
    EXPECT_GE(number(field), 0) << field << " in " << r.Out;
  EXPECT_GT(number("ceiling_fps"), 0) << r.Out;

  // A format asked for is set through IAMStreamConfig, on the many-format camera even when the
  // user keeps the one-format one (SingleFormat non-zero, above).
  r = RunCamSnap(L"rate --seconds 1 --fps 10 --width 320 --height 240 --format NV12");
  EXPECT_EQ(r.Code, 0u) << r.Out;
  for (const char* field : {"\"format\":\"NV12\",", "\"width\":320,", "\"fps\":10.000,"})
    EXPECT_NE(r.Out.find(field), std::string::npos) << field << " in " << r.Out;
  EXPECT_EQ(r.Out.find("\"frames\":0,"), std::string::npos) << r.Out;

  EXPECT_EQ(Stored(L"VideoWidth"), widthBefore);
  EXPECT_EQ(Stored(L"FramesPerSecond"), rateBefore);
  EXPECT_EQ(Stored(L"VideoHeight").first, 0u);
  EXPECT_EQ(Stored(L"SingleFormat"), std::make_pair(DWORD(REG_DWORD), std::string(reinterpret_cast<const char*>(&width), 4)));
  RegDeleteTreeW(HKEY_CURRENT_USER, vwc::kSettingsKey);
}
