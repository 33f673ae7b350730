// The camera library loaded by path and driven directly: its interface tables, the format and
// properties capture applications read, what the stored settings make of them, negotiation
// with a peer pin, paced samples, and many whole lifecycles without a leak.
#include "CameraTestSupport.h"
#include "CaptureFormats.h"
#include "ProcessProbes.h"
#include "TestInputPin.h"

#include <algorithm>
#include <cstring>

#include "VideoFormat.h"
#include "YuvConvert.h"

using namespace vwctest;

namespace {

struct ComApartment : ::testing::Environment {
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  void TearDown() override { CoUninitialize(); }
};
const auto* const kApartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

CameraLibrary& Library() {
  static CameraLibrary library;
  return library;
}

// A camera built after the given settings were stored; unless told otherwise the one-format
// camera ("SingleFormat" 1), whose every rule is the original camera's.
ComPtr<IBaseFilter> NewCamera(int32_t width = 160, int32_t height = 120, DWORD fps = 2, DWORD singleFormat = 1) {
  ClearKey();
  PutDword(L"VideoWidth", DWORD(width));
  PutDword(L"VideoHeight", DWORD(height));
  PutDword(L"FramesPerSecond", fps);
  PutDword(L"SingleFormat", singleFormat);
  return Library().NewFilter();
}

template <class I>
ComPtr<I> As(IUnknown* object) {
  ComPtr<I> out;
  object->QueryInterface(IID_PPV_ARGS(&out));
  return out;
}

const VIDEOINFOHEADER& Header(const AM_MEDIA_TYPE& t) { return *reinterpret_cast<const VIDEOINFOHEADER*>(t.pbFormat); }

void Dispose(AM_MEDIA_TYPE* t) {
  if (!t) return;
  CoTaskMemFree(t->pbFormat);
  CoTaskMemFree(t);
}

// A proposed type a peer or an application might hand the camera.
struct Proposal {
  AM_MEDIA_TYPE Type{};
  VIDEOINFOHEADER Vih{};
  Proposal(LONG width, LONG height, WORD bits = 32, DWORD sizeImage = ~0u, GUID subtype = MEDIASUBTYPE_RGB32,
           BOOL fixed = TRUE) {
    Type.majortype = MEDIATYPE_Video;
    Type.subtype = subtype;
    Type.bFixedSizeSamples = fixed;
    Type.formattype = FORMAT_VideoInfo;
    Type.cbFormat = sizeof Vih;
    Type.pbFormat = reinterpret_cast<BYTE*>(&Vih);
    Vih.AvgTimePerFrame = 5'000'000;
    Vih.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, bits, BI_RGB,
                     sizeImage == ~0u ? DWORD(width * std::abs(height) * 4) : sizeImage, 0, 0, 0, 0};
    Type.lSampleSize = Vih.bmiHeader.biSizeImage;
  }
};

}  // namespace

TEST(CameraFilter, InterfaceTablesAndThePin) {
  ASSERT_TRUE(Library().Loaded());
  auto filter = NewCamera();
  ASSERT_TRUE(filter);
  auto flags = As<IAMFilterMiscFlags>(filter.Get());
  ASSERT_TRUE(flags);
  EXPECT_EQ(flags->GetMiscFlags(), ULONG(AM_FILTER_MISC_FLAGS_IS_SOURCE));
  EXPECT_TRUE(As<IAMovieSetup>(filter.Get()));
  void* none = nullptr;
  EXPECT_EQ(filter->QueryInterface(IID_IKsPropertySet, &none), E_NOINTERFACE) << "the property set is the pin's";
  EXPECT_EQ(filter->QueryInterface(IID_IAMStreamConfig, &none), E_NOINTERFACE);
  EXPECT_EQ(filter->QueryInterface(IID_IMediaFilter, &none), E_NOINTERFACE);
  CLSID clsid{};
  filter->GetClassID(&clsid);
  EXPECT_EQ(clsid, (CLSID{0xFE0B330A, 0x6D25, 0x45DC, {0xAC, 0x7F, 0x6C, 0x44, 0x5F, 0xB6, 0xF5, 0xC0}}));

  ComPtr<IEnumPins> pins;
  ASSERT_EQ(filter->EnumPins(&pins), S_OK);
  IPin* got[2] = {};
  ULONG n = 0;
  EXPECT_EQ(pins->Next(2, got, &n), S_FALSE);
  ASSERT_EQ(n, 1u);
  // MinGW's ComPtr::Attach takes a reference of its own, so the handed-out one is given back.
  ComPtr<IPin> pin = got[0];
  got[0]->Release();
  PIN_INFO info{};
  pin->QueryPinInfo(&info);
  EXPECT_STREQ(info.achName, L"Out");
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  if (info.pFilter) info.pFilter->Release();
  LPWSTR id = nullptr;
  ASSERT_EQ(pin->QueryId(&id), S_OK);
  EXPECT_STREQ(id, L"1");
  CoTaskMemFree(id);
  EXPECT_EQ(OutPin(filter.Get()).Get(), pin.Get());
  for (REFIID iid : {IID_IKsPropertySet, IID_IAMStreamConfig, IID_IQualityControl, IID_IPin}) {
    void* p = nullptr;
    EXPECT_EQ(pin->QueryInterface(iid, &p), S_OK);
    if (p) static_cast<IUnknown*>(p)->Release();
  }
  auto quality = As<IQualityControl>(pin.Get());
  EXPECT_EQ(quality->Notify(filter.Get(), Quality{Famine, 500, -10'000, 0}), E_FAIL);
}

TEST(CameraFilter, StreamConfigAndPinCategoryWithTheirDebugLines) {
  DebugLog log;
  auto filter = NewCamera(160, 120, 30);
  auto pin = OutPin(filter.Get());
  auto config = As<IAMStreamConfig>(pin.Get());
  auto props = As<IKsPropertySet>(pin.Get());
  ASSERT_TRUE(config && props);
  log.Take();

  AM_MEDIA_TYPE* type = nullptr;
  ASSERT_EQ(config->GetFormat(&type), S_OK);
  EXPECT_EQ(type->lSampleSize, 76'800u);
  EXPECT_EQ(Header(*type).AvgTimePerFrame, 333'333);
  EXPECT_EQ(Header(*type).dwBitRate, 18'432'018u);
  EXPECT_EQ(Header(*type).bmiHeader.biHeight, 120) << "bottom-up";
  EXPECT_TRUE(log.Saw("vwc: TBCVirtualWebCamPin.GetFormat call..."));

  // Only the settings' own format can be set; the format never changes.
  EXPECT_EQ(config->SetFormat(type), S_OK);
  EXPECT_TRUE(log.Saw("TBCVirtualWebCamPin.SetFormat"));
  Proposal other(320, 240), rgb24(160, 120, 24, 57'600, MEDIASUBTYPE_RGB24), topDown(160, -120);
  for (Proposal* p : {&other, &rgb24, &topDown}) EXPECT_EQ(config->SetFormat(&p->Type), VFW_E_INVALIDMEDIATYPE);
  EXPECT_EQ(config->SetFormat(nullptr), E_INVALIDARG);
  AM_MEDIA_TYPE* again = nullptr;
  ASSERT_EQ(config->GetFormat(&again), S_OK);
  EXPECT_EQ(again->cbFormat, type->cbFormat);
  EXPECT_EQ(memcmp(again->pbFormat, type->pbFormat, type->cbFormat), 0);
  Dispose(again);
  Dispose(type);
  EXPECT_EQ(config->GetFormat(nullptr), E_FAIL);
  EXPECT_TRUE(log.Saw("vwc: Error in TBCVirtualWebCamPin.GetFormat call..."));

  int count = 0, size = 0;
  EXPECT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(size, int(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
  VIDEO_STREAM_CONFIG_CAPS caps{};
  EXPECT_EQ(config->GetStreamCaps(1, &type, reinterpret_cast<BYTE*>(&caps)), E_FAIL);
  ASSERT_EQ(config->GetStreamCaps(0, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
  EXPECT_EQ(caps.MinFrameInterval, 333'333);
  EXPECT_EQ(caps.MaxFrameInterval, 333'333);
  EXPECT_EQ(caps.MaxOutputSize.cx, 160);
  EXPECT_EQ(Header(*type).bmiHeader.biWidth, 160);
  Dispose(type);
  EXPECT_TRUE(log.Saw("vwc: TBCVirtualWebCamPin.GetStreamCaps call..."));

  static constexpr GUID kPinSet = {0x9B00F101, 0x1567, 0x11D1, {0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5}};
  struct Case {
    GUID Set;
    DWORD Id, Size;
    bool WithData;
    HRESULT Result;
    DWORD Returned;
  } cases[] = {{kPinSet, 0, 16, true, S_OK, 16},
               {kPinSet, 0, 15, true, E_UNEXPECTED, 16},
               {kPinSet, 0, 0, false, S_OK, 16},
               {kPinSet, 1, 16, true, HRESULT(0x80070490), 0},
               {GUID_NULL, 0, 16, true, HRESULT(0x80070492), 0}};
  for (const Case& c : cases) {
    GUID data{};
    DWORD returned = 0;
    EXPECT_EQ(props->Get(c.Set, c.Id, nullptr, 0, c.WithData ? &data : nullptr, c.Size, &returned), c.Result);
    EXPECT_EQ(returned, c.Returned);
    if (c.Result == S_OK && c.WithData) {
      EXPECT_EQ(data, PIN_CATEGORY_CAPTURE);
    }
  }
  EXPECT_TRUE(log.Saw("vwc: TBCVirtualWebCamPin.Get call..."));
  GUID data{};
  EXPECT_EQ(props->Get(kPinSet, 0, nullptr, 0, &data, 16, nullptr), E_FAIL);
  EXPECT_TRUE(log.Saw("vwc: Error in TBCVirtualWebCamPin.Get call..."));
  DWORD support = 0;
  EXPECT_EQ(props->Set(kPinSet, 0, nullptr, 0, &data, 16), E_NOTIMPL);
  EXPECT_TRUE(log.Saw("vwc: TBCVirtualWebCamPin.Set_ call..."));
  EXPECT_EQ(props->QuerySupported(kPinSet, 0, &support), E_NOTIMPL);
  EXPECT_TRUE(log.Saw("vwc: TBCVirtualWebCamPin.QuerySupported call..."));
}

TEST(CameraFilter, StoredSettingsShapeTheFormat) {
  struct Case {
    void (*Store)();
    LONG Width, Height;
    REFERENCE_TIME Duration;
  } cases[] = {
      {[] {}, 160, 120, 5'000'000},
      {[] { PutDword(L"FramesPerSecond", 0); }, 160, 120, 10'000'000},
      {[] { PutDword(L"FramesPerSecond", 61); }, 160, 120, 166'666},
      {[] { PutDword(L"FramesPerSecond", 25); }, 160, 120, 400'000},
      {[] { PutString(L"FramesPerSecond", L"30"); }, 160, 120, 5'000'000},
      {[] { PutDword(L"VideoWidth", 320); }, 320, 120, 5'000'000},
  };
  for (const Case& c : cases) {
    ClearKey();
    c.Store();
    auto filter = Library().NewFilter();
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(As<IAMStreamConfig>(OutPin(filter.Get()).Get())->GetFormat(&type), S_OK);
    EXPECT_EQ(Header(*type).bmiHeader.biWidth, c.Width);
    EXPECT_EQ(Header(*type).bmiHeader.biHeight, c.Height);
    EXPECT_EQ(Header(*type).AvgTimePerFrame, c.Duration);
    Dispose(type);
    // What was missing or wrongly typed is stored as its default.
    EXPECT_EQ(Stored(L"VideoHeight"), std::make_pair(DWORD(REG_DWORD), DWORD(120)));
    EXPECT_EQ(Stored(L"FramesPerSecond").first, DWORD(REG_DWORD));
  }
  EXPECT_EQ(Stored(L"VideoWidth"), std::make_pair(DWORD(REG_DWORD), DWORD(320)));
}

TEST(CameraFilter, SizesThatCannotMakeAFrameOfferAndAcceptNothing) {
  const std::pair<int32_t, int32_t> sizes[] = {{-160, 120}, {160, -120}, {40'000, 40'000}, {23'171, 23'171}};
  for (auto [w, h] : sizes) {
    auto filter = NewCamera(w, h);
    auto pin = OutPin(filter.Get());
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(pin->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* t = nullptr;
    EXPECT_EQ(types->Next(1, &t, nullptr), S_FALSE) << w << "x" << h;
    Proposal p(w, h, 32, 0);
    EXPECT_EQ(pin->QueryAccept(&p.Type), S_FALSE);
    int count = -1, size = 0;
    auto config = As<IAMStreamConfig>(pin.Get());
    EXPECT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(FAILED(config->GetFormat(&t)));
    auto peer = TestInputPin::Make();
    EXPECT_TRUE(FAILED(pin->Connect(peer.Get(), nullptr)));
    EXPECT_TRUE(FAILED(pin->Connect(peer.Get(), &p.Type)));
  }
}

TEST(CameraFilter, NegotiationWithAPeerPin) {
  DebugLog log;
  auto filter = NewCamera();
  auto pin = OutPin(filter.Get());
  struct Case {
    const char* What;
    Proposal Type;
    HRESULT Result;
  } cases[] = {
      {"top-down", Proposal(160, -120), VFW_E_TYPE_NOT_ACCEPTED},
      {"RGB24", Proposal(160, 120, 24, 57'600, MEDIASUBTYPE_RGB24), VFW_E_TYPE_NOT_ACCEPTED},
      {"variable-size samples", Proposal(160, 120, 32, 76'800, MEDIASUBTYPE_RGB32, FALSE), VFW_E_TYPE_NOT_ACCEPTED},
      {"another size", Proposal(320, 240), VFW_E_TYPE_NOT_ACCEPTED},
      {"24 bits in an RGB32 type", Proposal(160, 120, 24), E_INVALIDARG},
      {"no image size", Proposal(160, 120, 32, 0), E_FAIL},
  };
  for (Case& c : cases) {
    auto peer = TestInputPin::Make();
    EXPECT_EQ(pin->Connect(peer.Get(), &c.Type.Type), c.Result) << c.What;
    ComPtr<IPin> to;
    EXPECT_EQ(pin->ConnectedTo(&to), VFW_E_NOT_CONNECTED) << c.What;
    EXPECT_EQ(peer->References(), 1) << c.What;
  }
  EXPECT_TRUE(log.Saw("vwc: Error in TBCVirtualWebCamPin.CompleteConnect call..."));
  Proposal good(160, 120);
  EXPECT_EQ(pin->QueryAccept(&good.Type), S_OK);
  auto peer = TestInputPin::Make();
  ASSERT_EQ(pin->Connect(peer.Get(), nullptr), S_OK);
  EXPECT_EQ(peer->Type().lSampleSize, 76'800u);
  AM_MEDIA_TYPE now{};
  ASSERT_EQ(pin->ConnectionMediaType(&now), S_OK);
  EXPECT_EQ(Header(now).bmiHeader.biSizeImage, 76'800u);
  CoTaskMemFree(now.pbFormat);
  EXPECT_EQ(pin->Disconnect(), S_OK);
  peer->Disconnect();
}

// A peer's own allocator is used only when it grants a whole frame; one that grants no buffers
// at all ends the connection there, without a second allocator.
TEST(CameraFilter, SizeBuffersWithThePeersAllocator) {
  DebugLog log;
  auto filter = NewCamera();
  auto pin = OutPin(filter.Get());
  Proposal type(160, 120);
  PeerOptions smaller;
  smaller.OwnAllocator = true;
  smaller.GrantCap = 40'960;
  auto peer = TestInputPin::Make(smaller);
  ASSERT_EQ(pin->Connect(peer.Get(), &type.Type), S_OK);
  ASSERT_TRUE(peer->OwnAllocator && peer->Notified);
  EXPECT_NE(peer->Notified.Get(), peer->OwnAllocator.Get()) << "kept an allocator that grants less than a frame";
  EXPECT_EQ(peer->NotifyCalls, 1);
  ALLOCATOR_PROPERTIES granted{};
  ASSERT_EQ(peer->Notified->GetProperties(&granted), S_OK);
  EXPECT_GE(granted.cbBuffer, 76'800);
  EXPECT_EQ(granted.cBuffers, 2);
  EXPECT_EQ(pin->Disconnect(), S_OK);
  peer->Disconnect();

  PeerOptions none;
  none.OwnAllocator = true;
  none.GrantBuffers = 0;
  peer = TestInputPin::Make(none);
  log.Take();
  EXPECT_EQ(pin->Connect(peer.Get(), &type.Type), E_FAIL);
  EXPECT_EQ(peer->NotifyCalls, 0) << "a second allocator was tried";
  EXPECT_FALSE(peer->Connected());
  EXPECT_EQ(peer->References(), 1);
  EXPECT_TRUE(log.Saw("vwc: Error in TBCVirtualWebCamPin.CompleteConnect call..."));
}

// A client's unlock or release beyond what it took must not make the library look unused.
TEST(CameraFilter, UnpairedUnlocksAndReleasesAreRefused) {
  DebugLog log;
  auto filter = NewCamera();
  auto factory = Library().Factory();
  ASSERT_TRUE(filter && factory);
  log.Take();
  EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED);
  EXPECT_TRUE(log.Saw("vwc: LockServer(FALSE) without a lock"));
  EXPECT_EQ(Library().CanUnloadNow(), S_FALSE) << "a filter lives";
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  filter.Reset();
  EXPECT_EQ(Library().CanUnloadNow(), S_FALSE) << "the server is locked";
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  IClassFactory* raw = factory.Detach();
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_TRUE(log.Saw("vwc: Release on a class factory without references"));
  filter = NewCamera();
  EXPECT_EQ(Library().CanUnloadNow(), S_FALSE);
  filter.Reset();
  EXPECT_EQ(Library().CanUnloadNow(), S_OK) << "a count went below zero or stayed up";
}

namespace {

// Runs the camera into the peer until n samples arrived; the samples.
std::vector<ReceivedSample> Stream(IBaseFilter* filter, TestInputPin& peer, long n) {
  peer.Restart();
  EXPECT_EQ(filter->Pause(), S_OK);
  peer.WaitFor(n, 20'000);
  EXPECT_EQ(filter->Stop(), S_OK);
  return peer.Received();
}

}  // namespace

TEST(CameraStream, SamplesAreStampedAndReleasedOnSchedule) {
  auto filter = NewCamera(160, 120, 10);
  auto pin = OutPin(filter.Get());
  auto peer = TestInputPin::Make();
  ASSERT_EQ(pin->Connect(peer.Get(), nullptr), S_OK);
  for (int run = 0; run < 2; ++run) {  // a stop and a new pause start the schedule again
    auto samples = Stream(filter.Get(), *peer.Get(), 12);
    ASSERT_GE(samples.size(), 12u);
    for (size_t k = 0; k < samples.size(); ++k) {
      const ReceivedSample& s = samples[k];
      ASSERT_TRUE(s.HasTime);
      EXPECT_EQ(s.Start, REFERENCE_TIME(k) * 1'000'000) << k;
      EXPECT_EQ(s.Stop, REFERENCE_TIME(k + 1) * 1'000'000) << k;
      EXPECT_TRUE(s.SyncPoint);
      EXPECT_EQ(s.Length, 76'800);
      EXPECT_GE(s.Size, 76'800);
      // Never before its start time; the upper bound only catches a stalled stream.
      EXPECT_GE(s.ArrivalSeconds, double(k) * 0.1) << k;
      EXPECT_LE(s.ArrivalSeconds, double(k) * 0.1 + 1.5) << k;
    }
  }
  EXPECT_EQ(peer->EndOfStreams.load(), 0);
  pin->Disconnect();
  peer->Disconnect();
}

TEST(CameraStream, ShortBuffersAreCutToWholeBottomRows) {
  auto filter = NewCamera(160, 120, 60);
  auto pin = OutPin(filter.Get());
  // Ten pages: if the frame ran on, it would run into memory the allocator never handed out.
  Proposal shortType(160, 120, 32, 40'960);
  auto peer = TestInputPin::Make();
  ASSERT_EQ(pin->Connect(peer.Get(), &shortType.Type), S_OK);
  auto samples = Stream(filter.Get(), *peer.Get(), 3);
  ASSERT_GE(samples.size(), 3u);
  for (const ReceivedSample& s : samples) {
    EXPECT_EQ(s.Length, 64 * 640);
    EXPECT_LE(s.Length, s.Size);
  }
  pin->Disconnect();
  peer->Disconnect();
}

// Samples are described by a VIDEOINFOHEADER connection; with any other format type the first
// sample fails, the stream ends and the graph hears why.
TEST(CameraStream, AConnectionWithoutVideoInfoEndsTheStreamWithAnError) {
  DebugLog log;
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph)), S_OK);
  auto filter = NewCamera(160, 120, 60);
  ASSERT_EQ(graph->AddFilter(filter.Get(), L"Camera"), S_OK);
  ComPtr<IMediaEvent> events;  // MinGW's uuid library lacks its __uuidof
  ASSERT_EQ(graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf())), S_OK);
  auto pin = OutPin(filter.Get());
  Proposal other(160, 120);  // a block that still reads as a VIDEOINFOHEADER
  other.Type.formattype = FORMAT_VideoInfo2;
  auto peer = TestInputPin::Make();
  ASSERT_EQ(pin->Connect(peer.Get(), &other.Type), S_OK);
  log.Take();
  ASSERT_EQ(filter->Pause(), S_OK);
  EXPECT_TRUE(peer->WaitFor(1, 5'000, true)) << "no end of stream";
  bool aborted = false;
  for (ULONGLONG end = GetTickCount64() + 5'000; !aborted && GetTickCount64() < end;) {
    long code;
    LONG_PTR p1, p2;
    if (events->GetEvent(&code, &p1, &p2, 0) != S_OK) {
      Sleep(5);
      continue;
    }
    aborted = code == EC_ERRORABORT && HRESULT(p1) == E_FAIL;
    events->FreeEventParams(code, p1, p2);
  }
  EXPECT_TRUE(aborted) << "no EC_ERRORABORT with E_FAIL";
  EXPECT_EQ(peer->Samples.load(), 0);
  EXPECT_TRUE(log.Saw("vwc: Error in TBCVirtualWebCamPin.FillBuffer call..."));
  EXPECT_EQ(filter->Stop(), S_OK);
  pin->Disconnect();
  peer->Disconnect();
  graph->RemoveFilter(filter.Get());
}

// Build, connect and tear down again and again, every tenth time also running until a sample
// arrives and stopping (a full-screen capture per run makes every cycle a streaming one too slow
// here): every streaming thread ends, every handle is closed, the library can be unloaded. Two
// hundred cycles are enough: a handle left per cycle, or per streaming one, is beyond the slack.
TEST(CameraLifecycle, ManyWholeCyclesLeaveNothingBehind) {
  const char* env = getenv("VWC_CYCLES");
  const int cycles = env ? atoi(env) : 200;
  NewCamera(160, 120, 60).Reset();
  int threads = 0;
  long handles = 0;
  for (int i = 0; i < cycles; ++i) {
    if (i == 5) threads = ProcessThreadCount(), handles = ProcessHandleCount();  // after lazy set-up
    ComPtr<IBaseFilter> filter = Library().NewFilter();
    auto pin = OutPin(filter.Get());
    auto peer = TestInputPin::Make();
    ASSERT_EQ(pin->Connect(peer.Get(), nullptr), S_OK) << i;
    if (i % 10 == 0) {
      ASSERT_EQ(filter->Run(0), S_OK) << i;
      ASSERT_TRUE(peer->WaitFor(1, 10'000)) << i;
      ASSERT_EQ(filter->Stop(), S_OK) << i;
    }
    ASSERT_EQ(pin->Disconnect(), S_OK) << i;
    peer->Disconnect();
    pin.Reset();
    filter.Reset();
    ASSERT_EQ(peer->References(), 1) << i;
  }
  // Exact for the camera's own workers; Wine's thread pool and COM come and go a little.
  EXPECT_EQ(ThreadsStartedIn(GetModuleHandleW(VWC_AX_PATH)), 0);
  EXPECT_LE(ProcessThreadCount(), threads + 2);
  EXPECT_LE(ProcessHandleCount(), handles + 8) << "a leak per cycle would show as hundreds";
  EXPECT_EQ(Library().CanUnloadNow(), S_OK);
}

// --- The many-format camera ---------------------------------------------------------------

namespace {

using vwc::TPixelFormat;

struct Offer {
  GUID Subtype;
  LONG Width, Height;
  WORD Bits;
  DWORD Compression, SizeImage;
};

Offer Describe(const AM_MEDIA_TYPE& t) {
  const BITMAPINFOHEADER& b = Header(t).bmiHeader;
  return {t.subtype, b.biWidth, b.biHeight, b.biBitCount, b.biCompression, b.biSizeImage};
}

// A type as the camera offers it, for SetFormat and connections, then changed by the caller.
struct Offered {
  AM_MEDIA_TYPE* Type = nullptr;
  Offered(IAMStreamConfig* config, int index) {
    VIDEO_STREAM_CONFIG_CAPS caps;
    EXPECT_EQ(config->GetStreamCaps(index, &Type, reinterpret_cast<BYTE*>(&caps)), S_OK);
  }
  ~Offered() { Dispose(Type); }
  VIDEOINFOHEADER& Vih() { return *reinterpret_cast<VIDEOINFOHEADER*>(Type->pbFormat); }
};

// The index of the capability of this format and size.
int IndexOf(IAMStreamConfig* config, const GUID& subtype, LONG width, LONG height) {
  int count = 0, size = 0;
  config->GetNumberOfCapabilities(&count, &size);
  for (int i = 0; i < count; ++i) {
    Offered o(config, i);
    if (o.Type->subtype == subtype && o.Vih().bmiHeader.biWidth == width && o.Vih().bmiHeader.biHeight == height)
      return i;
  }
  return -1;
}

}  // namespace

// Every capability, in order, as the media types the pin enumerates and as IAMStreamConfig
// reports them, with each format's exact sizes and the whole range of rates.
TEST(CameraFormats, CapabilitiesAndTypesInOfferOrder) {
  auto filter = NewCamera(640, 480, 25, 0);
  auto pin = OutPin(filter.Get());
  auto config = As<IAMStreamConfig>(pin.Get());
  const auto expected = vwc::CameraCapabilities({640, 480}, false);
  int count = 0, size = 0;
  ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
  ASSERT_EQ(count, 35);
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(pin->EnumMediaTypes(&types), S_OK);
  for (int i = 0; i < count; ++i) {
    const vwc::TCapability& c = expected[size_t(i)];
    const DWORD bytes = DWORD(*vwc::FormatImageSize(c.Format, c.Size));
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps{};
    ASSERT_EQ(config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)), S_OK) << i;
    const Offer o = Describe(*type);
    EXPECT_EQ(o.Subtype, vwc::SubtypeOf(c.Format)) << i;
    EXPECT_EQ(o.Width, c.Size.Width) << i;
    EXPECT_EQ(o.Height, c.Size.Height) << i;
    EXPECT_EQ(o.Bits, vwc::BitsPerPixel(c.Format)) << i;
    EXPECT_EQ(o.Compression, vwc::IsYuv(c.Format) ? o.Subtype.Data1 : DWORD(BI_RGB)) << i;
    EXPECT_EQ(o.SizeImage, bytes) << i;
    EXPECT_EQ(type->lSampleSize, bytes) << i;
    EXPECT_EQ(Header(*type).AvgTimePerFrame, 400'000) << i;
    EXPECT_EQ(caps.MinFrameInterval, 166'666) << i;
    EXPECT_EQ(caps.MaxFrameInterval, 10'000'000) << i;
    EXPECT_EQ(caps.MaxOutputSize.cx, c.Size.Width) << i;
    EXPECT_EQ(caps.MinOutputSize.cy, c.Size.Height) << i;
    EXPECT_EQ(ULONG(caps.MinBitsPerSecond), vwc::FormatBitRate(c.Format, c.Size, 10'000'000)) << i;
    EXPECT_EQ(ULONG(caps.MaxBitsPerSecond), std::min<ULONG>(vwc::FormatBitRate(c.Format, c.Size, 166'666), INT32_MAX))
        << i;
    Dispose(type);
    AM_MEDIA_TYPE* listed = nullptr;
    ASSERT_EQ(types->Next(1, &listed, nullptr), S_OK) << i;
    const Offer l = Describe(*listed);
    EXPECT_TRUE(l.Subtype == o.Subtype && l.Width == o.Width && l.Height == o.Height) << i;
    Dispose(listed);
  }
  AM_MEDIA_TYPE* none = nullptr;
  EXPECT_EQ(types->Next(1, &none, nullptr), S_FALSE);
  VIDEO_STREAM_CONFIG_CAPS caps{};
  EXPECT_EQ(config->GetStreamCaps(35, &none, reinterpret_cast<BYTE*>(&caps)), E_FAIL);
  EXPECT_EQ(config->GetStreamCaps(-1, &none, reinterpret_cast<BYTE*>(&caps)), E_FAIL);

  // The one-format camera keeps one capability at its fixed rate.
  filter = NewCamera(640, 480, 25, 1);
  config = As<IAMStreamConfig>(OutPin(filter.Get()).Get());
  ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
  EXPECT_EQ(count, 1);
  AM_MEDIA_TYPE* type = nullptr;
  EXPECT_EQ(config->GetStreamCaps(1, &type, reinterpret_cast<BYTE*>(&caps)), E_FAIL);
  ASSERT_EQ(config->GetStreamCaps(0, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
  EXPECT_EQ(caps.MinFrameInterval, 400'000);
  EXPECT_EQ(caps.MaxFrameInterval, 400'000);
  Dispose(type);
}

// What SetFormat takes and refuses; once set, the type is offered first and alone, GetFormat
// returns it, and a connection streams it at the rate that was asked.
TEST(CameraFormats, SetFormatChoosesTheNextConnectionsType) {
  auto filter = NewCamera(320, 240, 2, 0);
  auto pin = OutPin(filter.Get());
  auto config = As<IAMStreamConfig>(pin.Get());
  const int nv12 = IndexOf(config.Get(), MEDIASUBTYPE_NV12, 640, 360);
  ASSERT_GE(nv12, 0);
  struct Refused {
    const char* What;
    void (*Change)(Offered&);
  } refused[] = {
      {"faster than 60 a second", [](Offered& o) { o.Vih().AvgTimePerFrame = 166'665; }},
      {"slower than one a second", [](Offered& o) { o.Vih().AvgTimePerFrame = 20'000'000; }},
      {"another image size", [](Offered& o) { o.Vih().bmiHeader.biSizeImage += 2; }},
      {"a wider stride", [](Offered& o) { o.Vih().rcTarget = {0, 0, 320, 360}; }},
      {"a size not offered", [](Offered& o) { o.Vih().bmiHeader.biWidth = 642; }},
      {"another bit count", [](Offered& o) { o.Vih().bmiHeader.biBitCount = 16; }},
      {"top-down", [](Offered& o) { o.Vih().bmiHeader.biHeight = -360; }},
      {"another format type", [](Offered& o) { o.Type->formattype = FORMAT_VideoInfo2; }},
      {"a short format block", [](Offered& o) { o.Type->cbFormat = 80; }},
  };
  for (const Refused& r : refused) {
    Offered o(config.Get(), nv12);
    r.Change(o);
    EXPECT_EQ(config->SetFormat(o.Type), VFW_E_INVALIDMEDIATYPE) << r.What;
    EXPECT_EQ(pin->QueryAccept(o.Type), S_FALSE) << r.What;
  }
  {
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(pin->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* first = nullptr;
    ASSERT_EQ(types->Next(1, &first, nullptr), S_OK);
    EXPECT_EQ(first->subtype, MEDIASUBTYPE_RGB32) << "nothing refused was set";
    Dispose(first);
  }
  Offered chosen(config.Get(), nv12);
  chosen.Vih().AvgTimePerFrame = 1'000'000;  // 10 a second
  ASSERT_EQ(config->SetFormat(chosen.Type), S_OK);
  AM_MEDIA_TYPE* got = nullptr;
  ASSERT_EQ(config->GetFormat(&got), S_OK);
  EXPECT_EQ(got->subtype, MEDIASUBTYPE_NV12);
  EXPECT_EQ(Header(*got).bmiHeader.biWidth, 640);
  EXPECT_EQ(Header(*got).AvgTimePerFrame, 1'000'000);
  Dispose(got);
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(pin->EnumMediaTypes(&types), S_OK);
  AM_MEDIA_TYPE* listed[2] = {};
  ULONG n = 0;
  EXPECT_EQ(types->Next(2, listed, &n), S_FALSE);
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(listed[0]->subtype, MEDIASUBTYPE_NV12);
  Dispose(listed[0]);

  auto peer = TestInputPin::Make();
  ASSERT_EQ(pin->Connect(peer.Get(), nullptr), S_OK);
  EXPECT_EQ(peer->Type().subtype, MEDIASUBTYPE_NV12);
  Offered other(config.Get(), IndexOf(config.Get(), MEDIASUBTYPE_YUY2, 320, 240));
  EXPECT_EQ(config->SetFormat(other.Type), VFW_E_ALREADY_CONNECTED) << "a connection keeps its type";
  EXPECT_EQ(config->SetFormat(chosen.Type), S_OK) << "the connection's own type";
  auto samples = Stream(filter.Get(), *peer.Get(), 4);
  ASSERT_GE(samples.size(), 4u);
  for (size_t k = 0; k < samples.size(); ++k) {
    EXPECT_EQ(samples[k].Length, 640 * 360 * 3 / 2) << k;
    EXPECT_EQ(samples[k].Start, REFERENCE_TIME(k) * 1'000'000) << k;
    EXPECT_GE(samples[k].ArrivalSeconds, double(k) * 0.1) << k;
  }
  pin->Disconnect();
  peer->Disconnect();
  // A peer may also propose any offered type at a rate of its own.
  Proposal yuy2(320, 240, 16, 320 * 240 * 2, MEDIASUBTYPE_YUY2);
  yuy2.Vih.bmiHeader.biCompression = MEDIASUBTYPE_YUY2.Data1;
  yuy2.Vih.AvgTimePerFrame = 166'666;
  peer = TestInputPin::Make();
  ASSERT_EQ(pin->Connect(peer.Get(), &yuy2.Type), S_OK);
  ALLOCATOR_PROPERTIES granted{};
  ASSERT_TRUE(peer->Notified);
  peer->Notified->GetProperties(&granted);
  EXPECT_GE(granted.cbBuffer, 320 * 240 * 2);
  samples = Stream(filter.Get(), *peer.Get(), 3);
  ASSERT_GE(samples.size(), 3u);
  EXPECT_EQ(samples[2].Start, 2 * 166'666);
  EXPECT_EQ(samples[2].Length, 320 * 240 * 2);
  pin->Disconnect();
  peer->Disconnect();
}

// With the screen painted, each format's frame is the conversion of the RGB32 frame taken of
// the same screen, byte for byte.
class CameraFormatsOnScreen : public PaintedScreen {};

TEST_F(CameraFormatsOnScreen, EachFormatIsTheConversionOfTheRgb32Frame) {
  auto filter = NewCamera(320, 240, 30, 0);
  auto pin = OutPin(filter.Get());
  auto config = As<IAMStreamConfig>(pin.Get());
  const auto frameOf = [&](const GUID& subtype) {
    Offered o(config.Get(), IndexOf(config.Get(), subtype, 320, 240));
    EXPECT_EQ(config->SetFormat(o.Type), S_OK);
    auto peer = TestInputPin::Make();
    EXPECT_EQ(pin->Connect(peer.Get(), nullptr), S_OK);
    Pump(100);
    auto samples = Stream(filter.Get(), *peer.Get(), 2);
    pin->Disconnect();
    peer->Disconnect();
    return samples.size() >= 2 ? samples[1].Bytes : std::vector<uint8_t>{};
  };
  const std::vector<uint8_t> rgb = frameOf(MEDIASUBTYPE_RGB32);
  ASSERT_EQ(rgb.size(), 320u * 240 * 4);
  ExpectPixel(&rgb[(239 * 320 + 10) * 4], kColours[0], "RGB32 top left");
  for (TPixelFormat f : {TPixelFormat::YUY2, TPixelFormat::NV12, TPixelFormat::I420, TPixelFormat::RGB24}) {
    std::vector<uint8_t> expected(murmella::yuv::FrameBytes(f, 320, 240));
    murmella::yuv::ConvertFrame(f, &rgb[239 * 320 * 4], -320 * 4, 320, 240, expected.data());
    EXPECT_TRUE(frameOf(vwc::SubtypeOf(f)) == expected) << int(f);
  }
}
