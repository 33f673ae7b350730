// The streaming thread as hosts drive it, with the filter from the test server DLL: samples into
// Wine's filter graph, stream endings and errors as the graph reports them, many pause and stop
// cycles, stops while the worker is blocked on a buffer or inside a slow FillBuffer, and
// teardown with the thread running; afterwards no thread, handle or object may be left.
#include "TestServerDll.h"

#include <qedit.h>

#include <algorithm>
#include <string>

namespace {

// qedit.h declares these interfaces, but MinGW's libraries lack the classes.
constexpr CLSID CLSID_SampleGrabber = {0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
constexpr CLSID CLSID_NullRenderer = {0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

ComPtr<IBCCounterControl> CounterOf(IBaseFilter* filter) {
  ComPtr<IBCCounterControl> control;
  filter->QueryInterface(IID_IBCCounterControl, reinterpret_cast<void**>(control.GetAddressOf()));
  return control;
}

BCCounterStats Stats(IBCCounterControl* control) {
  BCCounterStats stats{};
  EXPECT_EQ(control->GetStats(0, &stats), S_OK);
  return stats;
}

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  filter->EnumPins(&pins);
  for (ComPtr<IPin> pin; pins && pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
    PIN_DIRECTION d;
    if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction) return pin;
  }
  return nullptr;
}

// Checks each frame that passes Wine's sample grabber.
class GrabberCallback final : public ISampleGrabberCB {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_ISampleGrabberCB) return *out = nullptr, E_NOINTERFACE;
    *out = static_cast<ISampleGrabberCB*>(this);
    return S_OK;
  }
  // Lives on the test's stack, longer than the graph that calls it.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SampleCB(double, IMediaSample* sample) override {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const LONGLONG counter = CheckCounterFrame(data, sample->GetActualDataLength(), kCounterWidth * kCounterHeight * 4);
    if (counter <= Last) ++Bad;
    Last = std::max<LONGLONG>(Last, counter);
    ++Samples;
    return S_OK;
  }
  STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }
  bool WaitFor(long count, DWORD ms) { return WaitUntil([&] { return Samples >= count; }, ms); }
  std::atomic<long> Samples{0}, Bad{0};
  std::atomic<LONGLONG> Last{0};
};

// Counter source -> Wine's sample grabber -> Wine's null renderer, in Wine's filter graph,
// without a clock so that frames pass as fast as they are made.
struct GraphRig {
  explicit GraphRig(GrabberCallback* callback) {
    Source = TestServerDll::Get().CreateFilter();
    if (!Source) return;
    Counter = CounterOf(Source.Get());
    ComPtr<IBaseFilter> renderer;
    ComPtr<ISampleGrabber> grab;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&Graph))) ||
        FAILED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&Grabber))) ||
        FAILED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&renderer))) ||
        FAILED(Grabber.As(&grab)))
      return;
    grab->SetCallback(callback, 0);
    grab->SetOneShot(FALSE);
    grab->SetBufferSamples(FALSE);
    Graph->AddFilter(Source.Get(), L"Counter");
    Graph->AddFilter(Grabber.Get(), L"Grabber");
    Graph->AddFilter(renderer.Get(), L"Null");
    ComPtr<IMediaFilter> clockless;
    if (FAILED(Graph.As(&clockless)) || FAILED(clockless->SetSyncSource(nullptr))) return;
    if (FAILED(Graph->ConnectDirect(FirstPin(Source.Get(), PINDIR_OUTPUT).Get(),
                                    FirstPin(Grabber.Get(), PINDIR_INPUT).Get(), nullptr)) ||
        FAILED(Graph->ConnectDirect(FirstPin(Grabber.Get(), PINDIR_OUTPUT).Get(),
                                    FirstPin(renderer.Get(), PINDIR_INPUT).Get(), nullptr)))
      return;
    Graph.As(&Control);
    Graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(Events.GetAddressOf()));
  }
  bool Ready() const { return Control && Events && Counter; }
  // Lets go of everything; the graph, holding the filters, goes last.
  void Release() {
    Control.Reset();
    Events.Reset();
    Counter.Reset();
    Grabber.Reset();
    Source.Reset();
    Graph.Reset();
  }
  // The next event with this code within the time, or false; other events are skipped.
  // Polled: under Wine a GetEvent already waiting is not woken by an event queued later.
  bool NextEvent(long wanted, LONG_PTR* param1, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
      long code;
      LONG_PTR p1, p2;
      if (Events->GetEvent(&code, &p1, &p2, 0) != S_OK) {
        if (GetTickCount64() >= end) return false;
        Sleep(5);
        continue;
      }
      Events->FreeEventParams(code, p1, p2);
      Seen += std::to_string(code) + " ";
      if (code == wanted) {
        if (param1) *param1 = p1;
        return true;
      }
    }
  }

  ComPtr<IFilterGraph> Graph;
  ComPtr<IBaseFilter> Source, Grabber;
  ComPtr<IBCCounterControl> Counter;
  ComPtr<IMediaControl> Control;
  ComPtr<IMediaEvent> Events;
  std::string Seen;  // codes of the events read, for failure messages
};

// The DLL's filter connected straight to a test peer: cheap enough for hundreds of cycles.
struct DirectRig {
  explicit DirectRig(PeerOptions options = {}) {
    Source = TestServerDll::Get().CreateFilter();
    Peer = CounterPeer(options);
    if (!Source) return;
    Counter = CounterOf(Source.Get());
    Source->FindPin(L"Out", &Out);
    if (Out) Connected = Out->Connect(Peer.Get(), nullptr) == S_OK;
  }
  ~DirectRig() {
    if (Source) {
      Source->Stop();
      if (Out) Out->Disconnect();
    }
    Peer->Disconnect();
  }
  ComPtr<IBaseFilter> Source;
  ComPtr<IBCCounterControl> Counter;
  ComPtr<IPin> Out;
  ComPtr<TestInputPin> Peer;
  bool Connected = false;
};

// Threads and handles once the library, COM and Wine's DirectShow have made what they keep.
struct Baseline {
  Baseline() {
    {
      DirectRig warm;
      if (warm.Connected && warm.Source->Pause() == S_OK) warm.Peer->WaitFor(1, 5000);
    }
    {
      GrabberCallback grabbed;
      GraphRig warm(&grabbed);
      if (warm.Ready() && SUCCEEDED(warm.Control->Run())) grabbed.WaitFor(1, 5000);
      if (warm.Ready()) warm.Control->Stop();
    }
    WaitUntil([&] { return TestServerDll::Get().CanUnloadNow() == S_OK; }, 1000);
    Threads = ProcessThreadCount();
    Handles = ProcessHandleCount();
  }
  void ExpectNothingLeft() {
    EXPECT_EQ(TestServerDll::Get().CanUnloadNow(), S_OK);
    // A worker is joined before Stop returns, so none may be alive now; the short wait only
    // covers Toolhelp's view of a thread that has just ended.
    EXPECT_TRUE(WaitUntil([] { return ThreadsStartedIn(TestServerDll::Get().Module) == 0; }, 2000))
        << ThreadsStartedIn(TestServerDll::Get().Module) << " streaming threads left";
    // Wine's own thread pool and graph helpers start and end threads on their own schedule
    // (one or two either way between runs), so the total gets that much slack.
    EXPECT_TRUE(WaitUntil([&] { return ProcessThreadCount() <= Threads + 2; }, 5000))
        << "threads: " << ProcessThreadCount() << " now, " << Threads << " before";
    // Wine's COM and wineserver open a few handles lazily on first use (registry keys of class
    // lookups, apartment and thread-pool events), so a little slack is allowed; a leak per
    // stream or cycle would show as hundreds.
    const long handles = ProcessHandleCount();
    EXPECT_GE(handles, 0) << "GetProcessHandleCount failed";
    EXPECT_LE(handles, Handles + 8) << "handles before: " << Handles;
  }
  int Threads;
  long Handles;
};

}  // namespace

TEST(Streaming, SamplesReachWinesGraphAndCyclesThroughIt) {
  ASSERT_TEST_SERVER(TestServerDll::Get());
  Baseline baseline;
  {
    GrabberCallback grabbed;
    GraphRig rig(&grabbed);
    ASSERT_TRUE(rig.Ready());
    ASSERT_HRESULT_SUCCEEDED(rig.Control->Run());
    EXPECT_TRUE(grabbed.WaitFor(30, 10000)) << grabbed.Samples;
    ASSERT_HRESULT_SUCCEEDED(rig.Control->Stop());
    // The graph's own pause and stop, many times over; each pause makes one thread. Thirty
    // are enough for a thread or handle left per cycle to show beyond the slack.
    constexpr int kCycles = 30;
    for (int i = 0; i < kCycles; ++i) {
      Watchdog watch(10000, "a pause and stop through the graph");
      ASSERT_HRESULT_SUCCEEDED(rig.Control->Pause());
      if (i % 4 == 0) Sleep(2);
      ASSERT_HRESULT_SUCCEEDED(rig.Control->Stop());
    }
    const BCCounterStats stats = Stats(rig.Counter.Get());
    EXPECT_EQ(stats.ThreadCreates, kCycles + 1);
    EXPECT_EQ(stats.ThreadEnds, kCycles + 1);
    EXPECT_EQ(grabbed.Bad.load(), 0);
    // Released while running: the graph stops and lets go of the filter with its thread.
    ASSERT_HRESULT_SUCCEEDED(rig.Control->Run());
    const long before = grabbed.Samples;
    EXPECT_TRUE(grabbed.WaitFor(before + 5, 10000));
    Watchdog watch(20000, "releasing a running graph");
    rig.Release();
  }
  baseline.ExpectNothingLeft();
}

TEST(Streaming, EndingsAndErrorsReachTheGraph) {
  ASSERT_TEST_SERVER(TestServerDll::Get());
  struct Case {
    const char* name;
    HRESULT fill;
    long event;
  } cases[] = {{"FillBuffer says the stream is over", S_FALSE, EC_COMPLETE},
               {"FillBuffer fails", E_ACCESSDENIED, EC_ERRORABORT}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GrabberCallback grabbed;
    GraphRig rig(&grabbed);
    ASSERT_TRUE(rig.Ready());
    ASSERT_EQ(rig.Counter->SetFillResult(0, 5, c.fill), S_OK);
    ASSERT_HRESULT_SUCCEEDED(rig.Control->Run());
    LONG_PTR param = 0;
    EXPECT_TRUE(rig.NextEvent(c.event, &param, 10000)) << "events seen: " << rig.Seen;
    if (c.event == EC_ERRORABORT) {
      EXPECT_EQ(HRESULT(param), c.fill);
    }
    Sleep(100);
    EXPECT_EQ(grabbed.Samples.load(), 5);
    EXPECT_EQ(Stats(rig.Counter.Get()).FillCalls, 6);
    EXPECT_HRESULT_SUCCEEDED(rig.Control->Stop());
  }
}

TEST(Streaming, EndOfStreamOnceAndNoMoreUntilStopAndPause) {
  ASSERT_TEST_SERVER(TestServerDll::Get());
  for (HRESULT fill : {S_FALSE, E_ACCESSDENIED}) {
    SCOPED_TRACE(testing::Message() << std::hex << fill);
    DirectRig rig;
    ASSERT_TRUE(rig.Connected);
    ASSERT_EQ(rig.Counter->SetFillResult(0, 3, fill), S_OK);
    ASSERT_EQ(rig.Source->Pause(), S_OK);
    ASSERT_TRUE(rig.Peer->WaitFor(1, 5000, true));
    Sleep(100);
    EXPECT_EQ(rig.Peer->EndOfStreams.load(), 1);
    EXPECT_EQ(rig.Peer->Samples.load(), 3);
    BCCounterStats stats = Stats(rig.Counter.Get());
    EXPECT_EQ(stats.FillCalls, 4);
    EXPECT_EQ(stats.ThreadEnds, 0) << "the thread stays until the filter stops";
    ASSERT_EQ(rig.Source->Run(0), S_OK);  // running again is no restart
    Sleep(50);
    EXPECT_EQ(rig.Peer->Samples.load(), 3);
    ASSERT_EQ(rig.Source->Stop(), S_OK);
    ASSERT_EQ(rig.Source->Pause(), S_OK);
    EXPECT_TRUE(rig.Peer->WaitFor(6, 5000));
    EXPECT_EQ(rig.Peer->EndOfStreams.load(), 1);
    EXPECT_EQ(rig.Peer->BadSamples.load(), 0);
  }
}

TEST(Streaming, ManyPauseStopCycles) {
  ASSERT_TEST_SERVER(TestServerDll::Get());
  Baseline baseline;
  {
    DirectRig rig;
    ASSERT_TRUE(rig.Connected);
    // The probe sees the one worker of a paused filter, so its zero at the end means something.
    ASSERT_EQ(rig.Source->Pause(), S_OK);
    EXPECT_EQ(ThreadsStartedIn(TestServerDll::Get().Module), 1);
    ASSERT_EQ(rig.Source->Stop(), S_OK);
    // A few hundred cycles meet each of the two stop points often enough; a leak per cycle
    // shows long before that.
    constexpr int kCycles = 250;
    Watchdog watch(90000, "the pause and stop cycles");
    for (int i = 0; i < kCycles; ++i) {
      ASSERT_EQ(rig.Source->Pause(), S_OK) << "cycle " << i;
      // Stops land at different points: before the first sample, and while samples flow.
      if (i % 2) {
        ASSERT_TRUE(rig.Peer->WaitFor(rig.Peer->Samples + 1, 5000)) << "cycle " << i;
      }
      ASSERT_EQ(rig.Source->Stop(), S_OK) << "cycle " << i;
    }
    const BCCounterStats stats = Stats(rig.Counter.Get());
    EXPECT_EQ(stats.ThreadCreates, kCycles + 1);
    EXPECT_EQ(stats.ThreadEnds, kCycles + 1);
    EXPECT_GE(rig.Peer->Samples.load(), kCycles / 2);
    EXPECT_EQ(rig.Peer->BadSamples.load(), 0);
    EXPECT_EQ(rig.Peer->EndOfStreams.load(), 0);
  }
  baseline.ExpectNothingLeft();
}

TEST(Streaming, StopWhileBlockedOnAnEmptyBuffer) {
  ASSERT_TEST_SERVER(TestServerDll::Get());
  PeerOptions o;
  o.RequestBuffers = 1;  // the allocator has one buffer ...
  o.HoldSamples = 1;     // ... and the peer keeps it
  DirectRig rig(o);
  ASSERT_TRUE(rig.Connected);
  ASSERT_EQ(rig.Source->Pause(), S_OK);
  ASSERT_TRUE(rig.Peer->WaitFor(1, 5000));
  Sleep(100);
  ASSERT_EQ(Stats(rig.Counter.Get()).FillCalls, 1) << "the worker should be waiting for a buffer";
  {
    Watchdog watch(10000, "a stop while the worker waits for a buffer");
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(rig.Source->Stop(), S_OK);
    EXPECT_LT(GetTickCount64() - start, 2000u);
  }
  EXPECT_EQ(Stats(rig.Counter.Get()).ThreadEnds, 1);
  // With the buffer back the filter streams again.
  rig.Peer->ReleaseHeld();
  ASSERT_EQ(rig.Source->Pause(), S_OK);
  EXPECT_TRUE(rig.Peer->WaitFor(2, 5000));
}

TEST(Streaming, StopWithinOneFillBuffer) {
  ASSERT_TEST_SERVER(TestServerDll::Get());
  constexpr DWORD kFillMs = 300;
  DirectRig rig;
  ASSERT_TRUE(rig.Connected);
  ASSERT_EQ(rig.Counter->SetFillDelay(0, kFillMs), S_OK);
  ASSERT_EQ(rig.Source->Pause(), S_OK);
  ASSERT_TRUE(WaitUntil([&] { return Stats(rig.Counter.Get()).FillCalls >= 2; }, 5000));
  Watchdog watch(10000, "a stop during a slow FillBuffer");
  const LONG begun = Stats(rig.Counter.Get()).FillCalls;
  const ULONGLONG start = GetTickCount64();
  ASSERT_EQ(rig.Source->Stop(), S_OK);
  const ULONGLONG elapsed = GetTickCount64() - start;
  // The call in progress may finish, and at most one more may have begun before the stop
  // arrived; nothing waits for a further one.
  EXPECT_LE(Stats(rig.Counter.Get()).FillCalls, begun + 1);
  EXPECT_LT(elapsed, kFillMs + 1500) << "stop took " << elapsed << " ms";
}

TEST(Streaming, ThreadStartFailureAndTeardownWhilePaused) {
  ASSERT_TEST_SERVER(TestServerDll::Get());
  Baseline baseline;
  {
    DirectRig rig;
    ASSERT_TRUE(rig.Connected);
    ASSERT_EQ(rig.Counter->SetThreadCreateResult(0, E_ACCESSDENIED), S_OK);
    EXPECT_EQ(rig.Source->Pause(), E_ACCESSDENIED);
    FILTER_STATE state;
    EXPECT_EQ(rig.Source->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_EQ(Stats(rig.Counter.Get()).ThreadEnds, 1);
    EXPECT_TRUE(WaitUntil([] { return ThreadsStartedIn(TestServerDll::Get().Module) == 0; }, 2000));
    EXPECT_EQ(rig.Peer->Samples.load(), 0);
    ASSERT_EQ(rig.Counter->SetThreadCreateResult(0, S_OK), S_OK);
    ASSERT_EQ(rig.Source->Pause(), S_OK);
    EXPECT_TRUE(rig.Peer->WaitFor(1, 5000));
  }
  {
    // The last reference goes while the worker streams; the peer, unlike a graph's filter,
    // holds none, so nobody stops the filter first.
    PeerOptions o;
    o.CountedConnector = false;
    DirectRig rig(o);
    ASSERT_TRUE(rig.Connected);
    ASSERT_EQ(rig.Source->Pause(), S_OK);
    ASSERT_TRUE(rig.Peer->WaitFor(2, 5000));
    {
      Watchdog watch(10000, "releasing a paused filter");
      rig.Out.Reset();
      rig.Counter.Reset();
      rig.Source.Reset();
    }
    const long after = rig.Peer->Samples;
    Sleep(100);
    EXPECT_EQ(rig.Peer->Samples.load(), after) << "samples after the filter was released";
    rig.Peer->Disconnect();
  }
  baseline.ExpectNothingLeft();
}
