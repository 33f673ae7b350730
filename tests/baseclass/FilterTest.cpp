// The filter and pin answers a graph relies on: connection and type negotiation against peers
// that refuse in every way they can, state changes with pins that fail, pin lookup, filter
// information and the enumerators, including the null-pointer corners of Next.
#include "CounterSource.h"
#include "TestPeers.h"

#include <optional>
#include <string>

namespace {

// A counter source made in this process and reached through its IBaseFilter, so the tests can
// also look at the framework's side of it.
struct Filter {
  explicit Filter(int pins = 1) : Source(new TCounterSource(L"counter", nullptr, pins)) {
    Source->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(Base.GetAddressOf()));
  }
  IPin* Pin(int n = 0) { return Source->Stream(n); }
  TCounterStream* Stream(int n = 0) { return Source->Stream(n); }
  // The filter's reference count as a client sees it.
  ULONG Refs() {
    Base->AddRef();
    return Base->Release();
  }
  TCounterSource* Source;
  ComPtr<IBaseFilter> Base;
};

// Stops and takes both ends of a connection apart, as a graph does before releasing filters.
void Unplug(Filter& f, TestInputPin* peer, int pin = 0) {
  EXPECT_HRESULT_SUCCEEDED(f.Base->Stop());
  f.Pin(pin)->Disconnect();
  peer->Disconnect();
}

AM_MEDIA_TYPE PartialType(const GUID& subtype) {
  AM_MEDIA_TYPE type{};
  type.majortype = MEDIATYPE_Video;
  type.subtype = subtype;
  return type;
}

}  // namespace

TEST(Connection, RefusedConnectionsLeaveNothingBehind) {
  struct Case {
    const char* name;
    PeerOptions peer;
    HRESULT expected;
  };
  auto options = [](auto change) {
    PeerOptions o;
    change(o);
    return o;
  };
  const Case cases[] = {
      {"peer of the same direction", options([](PeerOptions& o) { o.Direction = PINDIR_OUTPUT; }),
       VFW_E_INVALID_DIRECTION},
      {"peer without IMemInputPin", options([](PeerOptions& o) { o.MemInput = false; }), E_NOINTERFACE},
      {"peer refusing every type", options([](PeerOptions& o) { o.ReceiveConnectionResults = {VFW_E_TYPE_NOT_ACCEPTED}; }),
       VFW_E_NO_ACCEPTABLE_TYPES},
      {"peer refusing with a specific error",
       options([](PeerOptions& o) {
         o.ReceiveConnectionResults = {E_ACCESSDENIED};
         o.Types = {{96, 64, MEDIASUBTYPE_RGB32}};
       }),
       E_ACCESSDENIED},
      {"a specific error of the first pass outlives a second pass that fits nothing",
       options([](PeerOptions& o) {
         o.ReceiveConnectionResults = {E_ACCESSDENIED, VFW_E_TYPE_NOT_ACCEPTED};
         o.Types = {{96, 64, MEDIASUBTYPE_RGB32}};
       }),
       E_ACCESSDENIED},
      {"NotifyAllocator failing for every allocator", options([](PeerOptions& o) {
         o.OwnAllocator = true;
         o.NotifyFailures = 99;
         o.NotifyResult = VFW_E_BADALIGN;
       }),
       VFW_E_BADALIGN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Filter f;
    auto peer = CounterPeer(c.peer);
    EXPECT_EQ(f.Pin()->Connect(peer.Get(), nullptr), c.expected);
    ComPtr<IPin> connected;
    EXPECT_EQ(f.Pin()->ConnectedTo(&connected), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(connected.Get(), nullptr);
    EXPECT_FALSE(peer->Connected());
    // Every reference the attempt took on either side is given back.
    EXPECT_EQ(peer->refs_.load(), 1);
    EXPECT_EQ(f.Refs(), 1u);
    EXPECT_EQ(f.Stream()->AgreedAllocator(), nullptr);
    EXPECT_EQ(f.Stream()->PeerInputPin(), nullptr);
    if (c.expected == VFW_E_BADALIGN) {
      EXPECT_GE(peer->Disconnects.load(), 1) << "the peer accepted and must be told";
    }
  }
}

TEST(Connection, TypeNegotiationOrder) {
  enum Given { None, Complete, Partial };
  struct Case {
    const char* name;
    std::vector<VideoShape> peerTypes;
    Given given;
    VideoShape givenType;
    HRESULT expected;
    std::vector<LONG> offered;  // widths the peer's ReceiveConnection saw, in order
  };
  const GUID rgb32 = MEDIASUBTYPE_RGB32, rgb24 = MEDIASUBTYPE_RGB24;
  const Case cases[] = {
      {"no peer types: the pin's own", {}, None, {}, S_OK, {kCounterWidth}},
      {"the peer's acceptable type first", {{32, 24, rgb24}, {128, 96, rgb32}}, None, {}, S_OK, {128}},
      {"nothing acceptable from the peer", {{32, 24, rgb24}}, None, {}, S_OK, {kCounterWidth}},
      {"a complete type is the only one tried", {{128, 96, rgb32}}, Complete, {100, 50, rgb32}, S_OK, {100}},
      {"a complete foreign type", {{128, 96, rgb32}}, Complete, {100, 50, rgb24}, VFW_E_TYPE_NOT_ACCEPTED, {}},
      {"a complete broken type keeps its code", {}, Complete, {1, 50, rgb32}, VFW_E_INVALIDMEDIATYPE, {}},
      {"a partial type filters the candidates", {{32, 24, rgb24}, {128, 96, rgb32}}, Partial, {0, 0, rgb32}, S_OK, {128}},
      {"a partial type nothing matches", {{128, 96, rgb32}}, Partial, {0, 0, rgb24}, VFW_E_NO_ACCEPTABLE_TYPES, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Filter f;
    PeerOptions o;
    o.Types = c.peerTypes;
    auto peer = CounterPeer(o);
    OwnedType complete(c.givenType);
    AM_MEDIA_TYPE partial = PartialType(c.givenType.Subtype);
    const AM_MEDIA_TYPE* given = c.given == None ? nullptr : c.given == Complete ? &complete.Type : &partial;
    EXPECT_EQ(f.Pin()->Connect(peer.Get(), given), c.expected);
    EXPECT_EQ(peer->OfferedWidths, c.offered);
    if (c.expected == S_OK) {
      OwnedType agreed;
      ASSERT_EQ(f.Pin()->ConnectionMediaType(&agreed), S_OK);
      EXPECT_EQ(TypeWidth(agreed.Type), c.offered.back());
      Unplug(f, peer.Get());
    }
  }
}

TEST(Connection, StateRulesAndAnswers) {
  Filter f(2);
  auto peer = CounterPeer(), other = CounterPeer();

  // Unconnected answers: the record is reset, not left as it was.
  OwnedType junk(16, 16);
  junk.Type.lSampleSize = 77;
  FreeTypeFields(junk.Type);
  EXPECT_EQ(f.Pin()->ConnectionMediaType(&junk), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(junk.Type.majortype, GUID_NULL);
  EXPECT_EQ(junk.Type.lSampleSize, 1);
  EXPECT_TRUE(junk.Type.bFixedSizeSamples);
  EXPECT_EQ(f.Pin()->Disconnect(), S_FALSE);

  ASSERT_EQ(f.Pin()->Connect(peer.Get(), nullptr), S_OK);
  ComPtr<IPin> connected;
  ASSERT_EQ(f.Pin()->ConnectedTo(&connected), S_OK);
  EXPECT_EQ(connected.Get(), static_cast<IPin*>(peer.Get()));
  connected.Reset();
  EXPECT_EQ(f.Pin()->Connect(other.Get(), nullptr), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(f.Pin()->ReceiveConnection(other.Get(), &peer->Type()), VFW_E_ALREADY_CONNECTED);

  // The connection type handed out is the caller's own copy.
  OwnedType agreed;
  ASSERT_EQ(f.Pin()->ConnectionMediaType(&agreed), S_OK);
  EXPECT_NE(agreed.Type.pbFormat, f.Stream()->ConnectionType().pbFormat);
  EXPECT_TRUE(SameMediaType(agreed.Type, peer->Type()));

  ASSERT_EQ(f.Base->Run(0), S_OK);
  EXPECT_EQ(f.Pin(1)->Connect(other.Get(), nullptr), VFW_E_NOT_STOPPED);
  EXPECT_EQ(other->ReceiveConnections.load(), 0);
  EXPECT_EQ(f.Pin()->Disconnect(), VFW_E_NOT_STOPPED);
  ASSERT_EQ(f.Base->Stop(), S_OK);
  EXPECT_EQ(f.Pin()->Disconnect(), S_OK);
  EXPECT_EQ(f.Pin()->Disconnect(), S_FALSE);
  peer->Disconnect();
  EXPECT_EQ(peer->refs_.load(), 1);
  EXPECT_EQ(f.Refs(), 1u);
}

TEST(Filter, FindPinAndPinIdentity) {
  Filter f(2);
  struct Case {
    const wchar_t* id;
    int pin;  // -1: not found
  } cases[] = {{L"Out", 0}, {L"Aux", 1}, {L"out", -1}, {L"OUT", -1}, {L"1", 0}, {L"2", 1},
               {L"3", -1},  {L"0", -1},  {L"1x", -1},  {L"", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "FindPin(\"" << std::string(c.id, c.id + wcslen(c.id)) << "\")");
    IPin* raw = reinterpret_cast<IPin*>(1);  // must be cleared on failure
    const HRESULT hr = f.Base->FindPin(c.id, &raw);
    ComPtr<IPin> pin = Adopt(raw);
    EXPECT_EQ(hr, c.pin < 0 ? VFW_E_NOT_FOUND : S_OK);
    EXPECT_EQ(pin.Get(), c.pin < 0 ? nullptr : f.Pin(c.pin));
  }
  for (int n = 0; n < 2; ++n) {
    LPWSTR id = nullptr;
    ASSERT_EQ(f.Pin(n)->QueryId(&id), S_OK);
    EXPECT_STREQ(id, n == 0 ? L"1" : L"2");
    CoTaskMemFree(id);
    PIN_INFO info{};
    ASSERT_EQ(f.Pin(n)->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.pFilter, f.Base.Get());
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    EXPECT_STREQ(info.achName, n == 0 ? L"Out" : L"Aux");
    if (info.pFilter) info.pFilter->Release();
  }
  EXPECT_EQ(f.Refs(), 1u);
}

TEST(Filter, InformationClockAndGraph) {
  Filter f;
  CLSID clsid{};
  EXPECT_EQ(f.Base->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_BCTestSource);
  LPWSTR vendor = nullptr;
  EXPECT_EQ(f.Base->QueryVendorInfo(&vendor), E_NOTIMPL);

  ComPtr<IFilterGraph> graph;
  ASSERT_HRESULT_SUCCEEDED(
      CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph)));
  for (size_t length : {0u, 5u, 127u, 128u, 200u}) {
    SCOPED_TRACE(length);
    const std::wstring name(length, L'n');
    ASSERT_EQ(f.Base->JoinFilterGraph(graph.Get(), name.c_str()), S_OK);
    FILTER_INFO info;
    memset(&info, 0xCC, sizeof info);
    ASSERT_EQ(f.Base->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(std::wstring(info.achName), name.substr(0, 127));
    EXPECT_EQ(info.pGraph, graph.Get());
    if (info.pGraph) info.pGraph->Release();
  }
  // In a graph, events reach the graph's sink and from there the application.
  ComPtr<IMediaEvent> events;
  ASSERT_HRESULT_SUCCEEDED(graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf())));
  for (long code : {long(EC_ERRORABORT), long(EC_USER + 7)}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(f.Source->PostEvent(code, E_ACCESSDENIED, 0), S_OK);
    long got = 0;
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(events->GetEvent(&got, &p1, &p2, 0), S_OK);
    EXPECT_EQ(got, code);
    EXPECT_EQ(HRESULT(p1), E_ACCESSDENIED);
    events->FreeEventParams(got, p1, p2);
  }
  ASSERT_EQ(f.Base->JoinFilterGraph(nullptr, nullptr), S_OK);
  FILTER_INFO info;
  ASSERT_EQ(f.Base->QueryFilterInfo(&info), S_OK);
  EXPECT_STREQ(info.achName, L"");
  EXPECT_EQ(info.pGraph, nullptr);
  // Out of the graph, an event has nowhere to go.
  EXPECT_EQ(f.Source->PostEvent(EC_ERRORABORT, E_FAIL, 0), E_NOTIMPL);

  ComPtr<IReferenceClock> clock, got;
  ASSERT_HRESULT_SUCCEEDED(
      CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&clock)));
  REFERENCE_TIME t = 0;
  EXPECT_EQ(f.Source->CurrentStreamTime(&t), VFW_E_NO_CLOCK);
  ASSERT_EQ(f.Base->SetSyncSource(clock.Get()), S_OK);
  ASSERT_EQ(f.Base->GetSyncSource(&got), S_OK);
  EXPECT_EQ(got.Get(), clock.Get());
  EXPECT_EQ(f.Source->CurrentStreamTime(&t), S_OK);
  EXPECT_GT(t, 0);
  ASSERT_EQ(f.Base->SetSyncSource(nullptr), S_OK);
  ASSERT_EQ(f.Base->GetSyncSource(&got), S_OK);
  EXPECT_EQ(got.Get(), nullptr);
}

TEST(FilterState, TransitionsAndFailingPins) {
  Filter f(2);
  auto peer0 = CounterPeer(), peer1 = CounterPeer();
  ASSERT_EQ(f.Pin(0)->Connect(peer0.Get(), nullptr), S_OK);
  FILTER_STATE state;

  // Run from stopped goes through pause: one thread per pin, made once.
  ASSERT_EQ(f.Base->Run(0), S_OK);
  EXPECT_EQ(f.Base->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Running);
  EXPECT_TRUE(f.Stream(0)->HasWorker());
  EXPECT_FALSE(f.Stream(1)->HasWorker()) << "an unconnected pin streams nothing";
  ASSERT_EQ(f.Base->Pause(), S_OK);
  ASSERT_EQ(f.Base->Run(10), S_OK);
  EXPECT_EQ(f.Stream(0)->Stats.ThreadCreates, 1);
  ASSERT_EQ(f.Base->Stop(), S_OK);
  EXPECT_FALSE(f.Stream(0)->HasWorker());
  EXPECT_EQ(f.Stream(0)->Stats.ThreadEnds, 1);

  // A pin that fails to go inactive does not keep the other from stopping.
  ASSERT_EQ(f.Pin(1)->Connect(peer1.Get(), nullptr), S_OK);
  ASSERT_EQ(f.Base->Pause(), S_OK);
  ASSERT_TRUE(peer0->WaitFor(1, 5000) && peer1->WaitFor(1, 5000));
  f.Stream(0)->GoInactiveResult = E_ACCESSDENIED;
  f.Stream(1)->GoInactiveResult = E_NOTIMPL;
  EXPECT_EQ(f.Base->Stop(), E_ACCESSDENIED);
  EXPECT_EQ(f.Base->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
  EXPECT_FALSE(f.Stream(0)->HasWorker());
  EXPECT_FALSE(f.Stream(1)->HasWorker());
  EXPECT_EQ(f.Stream(1)->Stats.ThreadEnds, 1);
  f.Stream(0)->GoInactiveResult = S_OK;
  f.Stream(1)->GoInactiveResult = S_OK;

  // A pin that cannot start its thread fails the pause; the filter stays stopped, and a stopped
  // filter must not have a pin still streaming from that pause (a later Stop would not reach it).
  f.Stream(1)->ThreadCreateResult = E_ACCESSDENIED;
  EXPECT_EQ(f.Base->Pause(), E_ACCESSDENIED);
  EXPECT_EQ(f.Base->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
  EXPECT_FALSE(f.Stream(1)->HasWorker());
  EXPECT_EQ(f.Stream(1)->Stats.ThreadEnds, f.Stream(1)->Stats.ThreadCreates);
  EXPECT_FALSE(f.Stream(0)->HasWorker()) << "the pin that went active before the failure is left streaming";
  if (f.Stream(0)->HasWorker()) f.Stream(0)->GoInactive();
  f.Stream(1)->ThreadCreateResult = S_OK;

  Unplug(f, peer0.Get(), 0);
  Unplug(f, peer1.Get(), 1);
}

TEST(Enumerators, PinsNextSkipResetClone) {
  Filter f(2);
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(f.Base->EnumPins(&pins), S_OK);
  EXPECT_EQ(f.Refs(), 2u) << "an enumerator keeps its filter";
  IPin* got[3] = {};
  ULONG fetched = 99;

  // The null-pointer corners write through no null pointer.
  EXPECT_EQ(pins->Next(0, nullptr, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_HRESULT_FAILED(pins->Next(1, nullptr, &fetched));
  EXPECT_EQ(pins->Next(2, got, nullptr), E_INVALIDARG);

  ASSERT_EQ(pins->Next(1, got, nullptr), S_OK);
  EXPECT_EQ(got[0], f.Pin(0));
  got[0]->Release();
  ComPtr<IEnumPins> clone;
  ASSERT_EQ(pins->Clone(&clone), S_OK);
  ASSERT_EQ(pins->Next(3, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(got[0], f.Pin(1));
  got[0]->Release();
  EXPECT_EQ(pins->Next(1, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(got[0], nullptr);

  // The clone goes on where the original was.
  ASSERT_EQ(clone->Next(1, got, &fetched), S_OK);
  EXPECT_EQ(got[0], f.Pin(1));
  got[0]->Release();

  ASSERT_EQ(pins->Reset(), S_OK);
  EXPECT_EQ(pins->Skip(1), S_OK);
  EXPECT_EQ(pins->Skip(2), S_FALSE);
  ASSERT_EQ(pins->Reset(), S_OK);
  ASSERT_EQ(pins->Next(2, got, &fetched), S_OK);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(got[0], f.Pin(0));
  EXPECT_EQ(got[1], f.Pin(1));
  got[0]->Release();
  got[1]->Release();
  pins.Reset();
  clone.Reset();
  EXPECT_EQ(f.Refs(), 1u);
}

TEST(Enumerators, MediaTypesNextSkipResetClone) {
  Filter f;
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(f.Pin()->EnumMediaTypes(&types), S_OK);
  AM_MEDIA_TYPE* got[2] = {};
  ULONG fetched = 99;

  EXPECT_EQ(types->Next(0, nullptr, &fetched), S_OK);  // nothing asked, nothing missing
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(types->Next(2, got, nullptr), E_INVALIDARG);
  ASSERT_EQ(types->Next(1, got, nullptr), S_OK);
  OwnedType expected(kCounterWidth, kCounterHeight);
  EXPECT_TRUE(SameMediaType(*got[0], expected.Type));
  FreeTypeRecord(got[0]);
  EXPECT_EQ(types->Next(1, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);

  ASSERT_EQ(types->Reset(), S_OK);
  EXPECT_EQ(types->Skip(0), S_OK);
  EXPECT_EQ(types->Skip(1), S_OK);
  ComPtr<IEnumMediaTypes> clone;
  ASSERT_EQ(types->Clone(&clone), S_OK);
  EXPECT_EQ(clone->Next(1, got, &fetched), S_FALSE) << "the clone is past the only type too";
  ASSERT_EQ(types->Reset(), S_OK);
  EXPECT_EQ(types->Skip(2), S_FALSE);
  EXPECT_EQ(types->Next(1, got, &fetched), S_FALSE);
  ASSERT_EQ(types->Reset(), S_OK);
  ASSERT_EQ(types->Next(2, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  FreeTypeRecord(got[0]);
}

TEST(StreamThread, CommandsReachingTheWorker) {
  Filter f;
  auto peer = CounterPeer();
  ASSERT_EQ(f.Pin()->Connect(peer.Get(), nullptr), S_OK);
  TCounterStream* s = f.Stream();
  EXPECT_EQ(s->SendWorkerCommand(CMD_PAUSE), E_FAIL) << "no thread while stopped";

  ASSERT_EQ(f.Base->Pause(), S_OK);
  ASSERT_TRUE(peer->WaitFor(1, 5000));
  // While pumping: pause and run are acknowledged, anything unknown is unexpected, and
  // streaming goes on after either.
  EXPECT_EQ(s->SendWorkerCommand(CMD_RUN), S_OK);
  EXPECT_EQ(s->SendWorkerCommand(CMD_PAUSE), S_OK);
  EXPECT_EQ(s->SendWorkerCommand(7), E_UNEXPECTED);
  const long before = peer->Samples;
  EXPECT_TRUE(peer->WaitFor(before + 3, 5000));
  EXPECT_EQ(s->Stats.StreamStarts, 1);

  // A stream that ended by itself idles; a run command starts it again like a pause.
  s->FillAfter = 0;
  s->FillResult = S_FALSE;
  ASSERT_TRUE(peer->WaitFor(1, 5000, true));
  EXPECT_EQ(s->SendWorkerCommand(9), E_NOTIMPL);
  EXPECT_EQ(s->SendWorkerCommand(CMD_RUN), S_OK);
  EXPECT_TRUE(WaitUntil([&] { return s->Stats.StreamStarts == 2; }, 5000));
  const long restarted = peer->Samples;
  EXPECT_TRUE(peer->WaitFor(restarted + 2, 5000));
  Unplug(f, peer.Get());
  EXPECT_EQ(s->Stats.ThreadEnds, 1);
}
