// The registered camera through the clients a user's application would use: regsvr32, the
// system device enumerator, the capture graph builder with the sample grabber, and the AVI mux.
// The screen is painted with known colours so frames can be checked pixel by pixel.
#include "CameraTestSupport.h"
#include "CaptureGraph.h"
#include "DeviceList.h"

#include "SettingsPageIds.h"

#include <olectl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

using namespace vwctest;
using namespace camsnap;

namespace {

constexpr wchar_t kClassKey[] = L"CLSID\\{FE0B330A-6D25-45DC-AC7F-6C445FB6F5C0}";
// The settings page's class: server keys only, no mapper entry.
constexpr wchar_t kPageKey[] = L"CLSID\\{D88FF424-C6F0-46D0-8FDD-DD024CDF72C6}";
constexpr wchar_t kPageMapperEntry[] =
    L"CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\{D88FF424-C6F0-46D0-8FDD-DD024CDF72C6}";
// The filter mapper's entry for the camera in the video input category.
constexpr wchar_t kMapperEntry[] =
    L"CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\{FE0B330A-6D25-45DC-AC7F-6C445FB6F5C0}";

// Whether the filter mapper finds the camera for a video output pin at this merit or above.
bool MapperFinds(DWORD merit) {
  ComPtr<IFilterMapper2> mapper;
  ComPtr<IEnumMoniker> found;
  const GUID output[2] = {MEDIATYPE_Video, GUID_NULL};
  if (FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper))) ||
      mapper->EnumMatchingFilters(&found, 0, FALSE, merit, FALSE, 0, nullptr, nullptr, nullptr, FALSE, TRUE, 1, output,
                                  nullptr, nullptr) != S_OK)
    return false;
  for (ComPtr<IMoniker> moniker; found->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) continue;
    VARIANT clsid;
    VariantInit(&clsid);
    const bool camera = SUCCEEDED(bag->Read(L"CLSID", &clsid, nullptr)) && clsid.vt == VT_BSTR &&
                        _wcsicmp(clsid.bstrVal, L"{FE0B330A-6D25-45DC-AC7F-6C445FB6F5C0}") == 0;
    VariantClear(&clsid);
    if (camera) return true;
  }
  return false;
}

std::wstring WindowsPath(std::wstring path) {
  for (auto& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

DWORD Regsvr32(const wchar_t* flags) {
  std::wstring command = std::wstring(L"regsvr32.exe ") + flags + L" \"" + WindowsPath(VWC_AX_PATH) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return ~0u;
  WaitForSingleObject(pi.hProcess, 60'000);
  DWORD code = ~0u;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

std::wstring ClassString(const std::wstring& key, const wchar_t* name) {
  wchar_t text[1024] = {};
  DWORD size = sizeof text;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
    return L"<missing>";
  return text;
}

bool Listed() {
  std::vector<VideoDevice> devices;
  ListVideoDevices(devices);
  for (const auto& d : devices)
    if (d.FriendlyName == L"MurmellaScreenSharing" && d.ClassId == L"{FE0B330A-6D25-45DC-AC7F-6C445FB6F5C0}")
      return true;
  return false;
}

// Whether anything but the camera itself is listed as a device of this library.
bool PageListedAsDevice() {
  std::vector<VideoDevice> devices;
  ListVideoDevices(devices);
  for (const auto& d : devices)
    if (d.ClassId == L"{D88FF424-C6F0-46D0-8FDD-DD024CDF72C6}" || d.FriendlyName.find(L"Settings Page") != std::wstring::npos)
      return true;
  return false;
}

class RegisteredCamera : public PaintedScreen {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ClearKey();  // the defaults: 160 x 120 at two frames a second
    ASSERT_EQ(Regsvr32(L"/s"), 0u);
  }
  static void TearDownTestSuite() { CoUninitialize(); }

  ComPtr<IBaseFilter> Bound() {
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(BindVideoDevice(L"MurmellaScreenSharing", filter), S_OK);
    return filter;
  }

  // n frames through capture graph builder, sample grabber and null renderer.
  std::vector<Frame> Grab(size_t n) {
    auto source = Bound();
    TFrameSink sink(n, n);
    VideoFormat format;
    RunStats stats;
    std::string step;
    EXPECT_EQ(RunGrabGraph(source.Get(), sink, DWORD(n) * 500 + 5'000, false, format, stats, step), S_OK) << step;
    EXPECT_EQ(format.Width, 160);
    EXPECT_EQ(format.Height, 120);
    EXPECT_EQ(format.BitCount, 32);
    EXPECT_EQ(stats.EventCode, 0);
    return sink.TakeFrames();
  }
};

}  // namespace

TEST_F(RegisteredCamera, RegistrationKeysAndTheDeviceEnumerator) {
  EXPECT_EQ(ClassString(kClassKey, nullptr), L"MurmellaScreenSharing");
  const std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
  EXPECT_EQ(_wcsicmp(ClassString(server, nullptr).c_str(), WindowsPath(VWC_AX_PATH).c_str()), 0)
      << ClassString(server, nullptr);
  EXPECT_EQ(ClassString(server, L"ThreadingModel"), L"Both");
  EXPECT_TRUE(Listed());

  // The mapper's entry in the video input category, read from the registry. Its FilterData is
  // the mapper's binary record: a header (version, merit, pin count, reserved), each pin's record
  // (signature, flags, instances, media types, mediums, category) and its media types
  // (signature, reserved, offsets of the major and minor type GUIDs). The mapper keeps pins
  // without their names, so the pin record's "Output" is not there to compare.
  EXPECT_EQ(ClassString(kMapperEntry, L"FriendlyName"), L"MurmellaScreenSharing");
  EXPECT_EQ(ClassString(kMapperEntry, L"CLSID"), L"{FE0B330A-6D25-45DC-AC7F-6C445FB6F5C0}");
  BYTE data[1024] = {};
  DWORD size = sizeof data;
  ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, kMapperEntry, L"FilterData", RRF_RT_REG_BINARY, nullptr, data, &size),
            ERROR_SUCCESS);
  auto dword = [&](size_t at) {
    DWORD v = 0;
    if (at + sizeof v <= size) memcpy(&v, data + at, sizeof v);
    return v;
  };
  auto guid = [&](size_t at) {
    GUID g = {0xFFFFFFFF, 0, 0, {}};
    if (at + sizeof g <= size) memcpy(&g, data + at, sizeof g);
    return g;
  };
  EXPECT_EQ(dword(0), 2u);
  EXPECT_EQ(dword(4), 0x00200000u) << "merit";
  ASSERT_EQ(dword(8), 1u) << "pins";
  EXPECT_EQ(dword(20), DWORD(REG_PINFLAG_B_OUTPUT)) << "output; not rendered, zero or many";
  ASSERT_EQ(dword(28), 1u) << "media types";
  EXPECT_EQ(guid(dword(48)), MEDIATYPE_Video);
  EXPECT_EQ(guid(dword(52)), GUID_NULL);
  // The mapper itself finds it at exactly that merit, for a video output.
  EXPECT_TRUE(MapperFinds(0x00200000));
  EXPECT_FALSE(MapperFinds(0x00200001));

  auto filter = Bound();
  ASSERT_TRUE(filter);
  CLSID clsid{};
  filter->GetClassID(&clsid);
  wchar_t text[64];
  StringFromGUID2(clsid, text, 64);
  EXPECT_STREQ(text, L"{FE0B330A-6D25-45DC-AC7F-6C445FB6F5C0}");
}

TEST_F(RegisteredCamera, FramesShowTheScreenBottomUpOnSchedule) {
  auto frames = Grab(3);
  ASSERT_EQ(frames.size(), 3u);
  for (size_t k = 0; k < frames.size(); ++k) {
    const Frame& f = frames[k];
    EXPECT_TRUE(f.HasTime && f.SyncPoint);
    EXPECT_EQ(f.Start, int64_t(k) * 5'000'000);
    EXPECT_EQ(f.Stop, int64_t(k + 1) * 5'000'000);
    EXPECT_GE(f.ArrivalMicros, int64_t(k) * 500'000) << "released before its start time";
    ASSERT_EQ(f.Length, 76'800);
    ASSERT_EQ(f.Bytes.size(), 76'800u);
    auto at = [&](int x, int bufferRow) { return &f.Bytes[(size_t(bufferRow) * 160 + x) * 4]; };
    ExpectPixel(at(40, 30), kColours[2], "bottom left");
    ExpectPixel(at(120, 30), kColours[3], "bottom right");
    ExpectPixel(at(40, 90), kColours[0], "top left");
    ExpectPixel(at(120, 90), kColours[1], "top right");
  }
}

TEST_F(RegisteredCamera, TheCursorIsDrawnInWhereItIs) {
  // The arrow's hotspot in the middle of the top-left quadrant: frame pixel (40, 30) from the top.
  SetCursorPos(w_ / 4, h_ / 4);
  Pump(200);
  auto differs = [&](const Frame& f) {
    int n = 0;
    for (int y = 28; y <= 34; ++y)
      for (int x = 38; x <= 44; ++x) {
        const uint8_t* p = &f.Bytes[(size_t(119 - y) * 160 + x) * 4];
        n += std::abs(p[2] - int(GetRValue(kColours[0]))) + std::abs(p[1] - int(GetGValue(kColours[0]))) > 24;
      }
    return n;
  };
  auto shown = Grab(1);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_GT(differs(shown[0]), 0) << "no cursor in the picture";
  SetCursorPos(w_ - 1, h_ - 1);
  Pump(200);
  auto parked = Grab(1);
  ASSERT_EQ(parked.size(), 1u);
  EXPECT_EQ(differs(parked[0]), 0);
}

TEST_F(RegisteredCamera, TheAviMuxRecordsFrames) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::wstring path = std::wstring(dir) + L"vwc-graph-test.avi";
  auto source = Bound();
  RunStats stats;
  std::string step;
  ASSERT_EQ(RunAviGraph(source.Get(), path, 2'500, stats, step), S_OK) << step;
  std::string avi;
  if (FILE* in = _wfopen(path.c_str(), L"rb")) {
    char block[65536];
    for (size_t n; (n = fread(block, 1, sizeof block, in)) > 0;) avi.append(block, n);
    fclose(in);
  }
  DeleteFileW(path.c_str());
  ASSERT_GT(avi.size(), 12u);
  EXPECT_EQ(avi.substr(0, 4), "RIFF");
  EXPECT_EQ(avi.substr(8, 4), "AVI ");
  const size_t strf = avi.find("strf");
  ASSERT_NE(strf, std::string::npos);
  BITMAPINFOHEADER header{};
  memcpy(&header, avi.data() + strf + 8, sizeof header);
  EXPECT_EQ(header.biWidth, 160);
  EXPECT_EQ(header.biHeight, 120);
  EXPECT_EQ(header.biBitCount, 32);
  // Whole frames as chunks of the movie list; the index names "00db" too, so it is walked
  // chunk by chunk rather than searched.
  const size_t movi = avi.find("movi");
  ASSERT_NE(movi, std::string::npos);
  uint32_t listSize = 0;
  memcpy(&listSize, avi.data() + movi - 4, 4);
  const size_t end = std::min(avi.size(), movi + listSize);
  size_t frames = 0;
  for (size_t at = movi + 4; at + 8 <= end;) {
    uint32_t size = 0;
    memcpy(&size, avi.data() + at + 4, 4);
    if (avi.compare(at, 4, "00db") == 0) {
      EXPECT_EQ(size, 76'800u) << "frame " << frames;
      ++frames;
    }
    at += 8 + size + (size & 1);
  }
  EXPECT_GE(frames, 3u) << "frames at 0, 0.5, 1.0 and 1.5 s and more";
  EXPECT_LE(frames, 7u) << "more frames than 2.5 s at two a second";
}

TEST_F(RegisteredCamera, TheSettingsPageIsAPlainClassAndNoDevice) {
  EXPECT_EQ(ClassString(kPageKey, nullptr), L"MurmellaScreenSharing Settings Page");
  const std::wstring server = std::wstring(kPageKey) + L"\\InprocServer32";
  EXPECT_EQ(_wcsicmp(ClassString(server, nullptr).c_str(), WindowsPath(VWC_AX_PATH).c_str()), 0);
  EXPECT_EQ(ClassString(kPageMapperEntry, L"FriendlyName"), L"<missing>");
  EXPECT_FALSE(PageListedAsDevice());
  // COM makes it from the registration alone, as a property frame does.
  ComPtr<IPropertyPage> page;
  EXPECT_EQ(CoCreateInstance(CLSID{0xD88FF424, 0xC6F0, 0x46D0, {0x8F, 0xDD, 0xDD, 0x02, 0x4C, 0xDF, 0x72, 0xC6}},
                             nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&page)),
            S_OK);
}

TEST_F(RegisteredCamera, ChoicesMadeWhileStreamingShowWithinASecond) {
  // A region in the red quadrant, five frames a second; a second and a bit into the stream the
  // region moves to the grey one, as a settings page applied beside a running preview would.
  PutDword(L"FramesPerSecond", 5);
  PutDword(L"CaptureLeft", 100);
  PutDword(L"CaptureTop", 100);
  PutDword(L"CaptureWidth", 320);
  PutDword(L"CaptureHeight", 240);
  PutDword(L"ShowCursor", 0);
  std::thread operatorMoves([&] {
    Sleep(1200);
    PutDword(L"CaptureLeft", DWORD(w_ - 400));
    PutDword(L"CaptureTop", DWORD(h_ - 300));
  });
  auto source = Bound();
  TFrameSink sink(14, 14);
  VideoFormat format;
  RunStats stats;
  std::string step;
  EXPECT_EQ(RunGrabGraph(source.Get(), sink, 12'000, false, format, stats, step), S_OK) << step;
  operatorMoves.join();
  const auto frames = sink.TakeFrames();
  ASSERT_EQ(frames.size(), 14u);
  auto colourOf = [&](const Frame& f) {
    const uint8_t* p = &f.Bytes[(size_t(60) * 160 + 80) * 4];
    for (int i = 0; i < 4; ++i)
      if (std::abs(p[2] - int(GetRValue(kColours[i]))) + std::abs(p[1] - int(GetGValue(kColours[i]))) +
              std::abs(p[0] - int(GetBValue(kColours[i]))) <= 6)
        return i;
    return -1;
  };
  EXPECT_EQ(colourOf(frames[0]), 0) << "the red region first";
  EXPECT_EQ(colourOf(frames.back()), 3) << "the grey region after the change";
  // Frames at 0.2 s steps: the change at 1.2 s shows by the frame at 2.4 s (read at most once a
  // second, so at the latest a second after the change, plus a frame).
  EXPECT_EQ(colourOf(frames[12]), 3);
  PutDword(L"FramesPerSecond", 2);
  for (const wchar_t* name : {L"CaptureLeft", L"CaptureTop", L"CaptureWidth", L"CaptureHeight"}) PutDword(name, 0);
  PutDword(L"ShowCursor", 1);
}

// The property frame capture applications open for a filter's pages, with its controls driven
// from another thread as an operator would, and the registry read back.
class PropertyFrame : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OleInitialize(nullptr);
    ASSERT_EQ(Regsvr32(L"/s"), 0u);  // the frame makes the page from its registration
  }
  static void TearDownTestSuite() { OleUninitialize(); }

  // Shows the camera's pages in the platform's frame; operate runs on another thread with the
  // frame and the page's dialog once both are up, and ends by closing the frame.
  template <class Operate>
  void Open(Operate operate) {
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(BindVideoDevice(L"MurmellaScreenSharing", filter), S_OK);
    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(filter.As(&pages), S_OK);
    CAUUID ids{};
    ASSERT_EQ(pages->GetPages(&ids), S_OK);
    std::atomic<bool> found{false};
    std::thread driver([&] {
      HWND frame = nullptr, page = nullptr;
      // The frame is the top-level window of this process that holds the page (its caption is the
      // platform's to choose).
      for (int i = 0; i < 200 && !page; ++i, Sleep(50)) {
        frame = FrameWithPage();
        if (frame) page = GetParent(FindControl(frame, IDC_VIDEO_WIDTH));
      }
      if (!page) return;
      found = true;
      Sleep(200);  // the frame's first paint
      operate(frame, page);
    });
    IUnknown* object = filter.Get();
    const HRESULT hr = OleCreatePropertyFrame(nullptr, 40, 40, L"Camera settings test", 1, &object, ids.cElems,
                                              ids.pElems, 0, 0, nullptr);
    driver.join();
    CoTaskMemFree(ids.pElems);
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(found) << "the frame with the camera's page never showed";
  }

  static BOOL CALLBACK HoldsPage(HWND w, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(w, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(w) || !FindControl(w, IDC_VIDEO_WIDTH)) return TRUE;
    *reinterpret_cast<HWND*>(found) = w;
    return FALSE;
  }
  static HWND FrameWithPage() {
    HWND found = nullptr;
    EnumWindows(HoldsPage, reinterpret_cast<LPARAM>(&found));
    return found;
  }

  static void Type(HWND page, int id, const wchar_t* text) {
    SendMessageW(GetDlgItem(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  }
  static void Click(HWND page, int id) { SendMessageW(GetDlgItem(page, id), BM_CLICK, 0, 0); }
  // The frame's own buttons.
  static void Press(HWND frame, int id) {
    HWND button = GetDlgItem(frame, id);
    PostMessageW(frame, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  }
};

// The platform's frame shows the page it made from the registration, with the stored settings,
// and takes the operator's input. Wine's frame never calls a page's Apply or IsPageDirty (seen
// with a debug monitor: neither its Apply button nor OK reaches the page, and Apply stays
// disabled), so storing is shown with the page in a site of the test's own (SettingsPageTest).
TEST_F(PropertyFrame, ThePageStandsInTheFrameWithTheStoredSettings) {
  ClearKey();
  PutDword(L"VideoWidth", 320);
  PutDword(L"KeepAspect", 1);
  std::wstring width;
  bool keepAspect = false, regionEnabled = true;
  Open([&](HWND frame, HWND page) {
    wchar_t text[32] = {};
    GetDlgItemTextW(page, IDC_VIDEO_WIDTH, text, 32);
    width = text;
    keepAspect = IsDlgButtonChecked(page, IDC_KEEP_ASPECT) == BST_CHECKED;
    regionEnabled = IsWindowEnabled(GetDlgItem(page, IDC_REGION_WIDTH));
    // An operator's choices, left standing for a screenshot when one is asked for.
    Type(page, IDC_VIDEO_WIDTH, L"480");
    Type(page, IDC_VIDEO_HEIGHT, L"360");
    Type(page, IDC_FRAME_RATE, L"15");
    Click(page, IDC_WHOLE_DISPLAY);
    Type(page, IDC_REGION_LEFT, L"10");
    Type(page, IDC_REGION_TOP, L"20");
    Type(page, IDC_REGION_WIDTH, L"640");
    Type(page, IDC_REGION_HEIGHT, L"480");
    Click(page, IDC_SHOW_CURSOR);
    Click(page, IDC_FOLLOW_CURSOR);
    SendDlgItemMessageW(page, IDC_DISPLAY, CB_SETCURSEL, 1, 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_DISPLAY, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_DISPLAY)));
    if (const char* hold = getenv("VWC_PAGE_HOLD_MS")) Sleep(DWORD(atoi(hold)));
    Press(frame, IDCANCEL);
  });
  EXPECT_EQ(width, L"320");
  EXPECT_TRUE(keepAspect);
  EXPECT_FALSE(regionEnabled) << "whole display: the region fields wait";
  ClearKey();
}

TEST_F(PropertyFrame, CancelLeavesTheSettingsAsTheyWere) {
  ClearKey();
  PutDword(L"VideoWidth", 320);
  PutDword(L"KeepAspect", 0);
  Open([](HWND frame, HWND page) {
    Type(page, IDC_VIDEO_WIDTH, L"999");
    Click(page, IDC_KEEP_ASPECT);
    Press(frame, IDCANCEL);
  });
  EXPECT_EQ(Stored(L"VideoWidth").second, 320u);
  EXPECT_EQ(Stored(L"KeepAspect").second, 0u);
  ClearKey();
}

// Last in this suite: regsvr32 /u takes the camera away again.
TEST_F(RegisteredCamera, UnregisteringRemovesKeysAndDevice) {
  ASSERT_EQ(Regsvr32(L"/u /s"), 0u);
  EXPECT_EQ(ClassString(kClassKey, nullptr), L"<missing>");
  EXPECT_EQ(ClassString(kMapperEntry, L"FriendlyName"), L"<missing>");
  EXPECT_EQ(ClassString(kPageKey, nullptr), L"<missing>") << "the settings page goes with the camera";
  EXPECT_EQ(ClassString(std::wstring(kPageKey) + L"\\InprocServer32", nullptr), L"<missing>");
  EXPECT_FALSE(Listed());
  ASSERT_EQ(Regsvr32(L"/s"), 0u);  // as the other tests and the demo expect to find it
  EXPECT_TRUE(Listed());
}
