// The output pin's allocator agreement with peers that grant too little or refuse it, the
// commit that follows the filter's state, and the delivery answers that end a stream.
#include "CounterSource.h"
#include "TestPeers.h"

namespace {

struct Filter {
  Filter() : Source(new TCounterSource(L"counter", nullptr, 1)) {
    Source->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(Base.GetAddressOf()));
  }
  TCounterStream* Stream() { return Source->Stream(0); }
  TCounterSource* Source;
  ComPtr<IBaseFilter> Base;
};

void Unplug(Filter& f, TestInputPin* peer) {
  EXPECT_HRESULT_SUCCEEDED(f.Base->Stop());
  f.Stream()->Disconnect();
  peer->Disconnect();
}

}  // namespace

TEST(Allocator, AgreementWithThePeer) {
  struct Case {
    const char* name;
    long grantCap;
    int notifyFailures;
    bool peerAllocatorUsed;
  } cases[] = {
      {"the peer's allocator when it grants the size", 0, 0, true},
      {"the default allocator when the peer's grants smaller buffers", 1000, 0, false},
      {"the default allocator when the peer refuses its own once", 0, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Filter f;
    PeerOptions o;
    o.OwnAllocator = true;
    o.GrantCap = c.grantCap;
    o.NotifyFailures = c.notifyFailures;
    auto peer = CounterPeer(o);
    ASSERT_EQ(f.Stream()->Connect(peer.Get(), nullptr), S_OK);
    ASSERT_NE(peer->Notified.Get(), nullptr);
    EXPECT_EQ(f.Stream()->AgreedAllocator(), peer->Notified.Get());
    EXPECT_EQ(peer->Notified.Get() == peer->OwnAllocator.Get(), c.peerAllocatorUsed);
    ALLOCATOR_PROPERTIES granted{};
    ASSERT_EQ(peer->Notified->GetProperties(&granted), S_OK);
    EXPECT_GE(granted.cbBuffer, kCounterWidth * kCounterHeight * 4);
    // Whole frames flow through whichever allocator was agreed.
    ASSERT_EQ(f.Base->Pause(), S_OK);
    EXPECT_TRUE(peer->WaitFor(3, 5000));
    Unplug(f, peer.Get());
    EXPECT_EQ(peer->BadSamples.load(), 0);
  }
}

TEST(Allocator, CommitFollowsTheFilterState) {
  Filter f;
  PeerOptions o;
  o.OwnAllocator = true;
  auto peer = CounterPeer(o);
  ASSERT_EQ(f.Stream()->Connect(peer.Get(), nullptr), S_OK);
  ASSERT_EQ(peer->Notified.Get(), peer->OwnAllocator.Get());
  auto committed = [&] {
    ComPtr<IMediaSample> sample;
    return peer->OwnAllocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT) != VFW_E_NOT_COMMITTED;
  };
  EXPECT_FALSE(committed());
  ASSERT_EQ(f.Base->Pause(), S_OK);
  EXPECT_TRUE(committed());
  ASSERT_EQ(f.Base->Stop(), S_OK);
  EXPECT_FALSE(committed());

  // A pause that fails once the allocator is committed must not leave it committed.
  f.Stream()->ThreadCreateResult = E_ACCESSDENIED;
  EXPECT_EQ(f.Base->Pause(), E_ACCESSDENIED);
  EXPECT_FALSE(committed()) << "a failed pause left the allocator committed";
  f.Stream()->ThreadCreateResult = S_OK;
  ASSERT_EQ(f.Base->Pause(), S_OK) << "the filter pauses again after a failed pause";
  EXPECT_TRUE(peer->WaitFor(1, 5000));
  Unplug(f, peer.Get());
}

TEST(Allocator, UnconnectedPinAnswers) {
  Filter f;
  TCounterStream* pin = f.Stream();
  EXPECT_EQ(pin->TBCBaseOutputPin::GoActive(), VFW_E_NO_ALLOCATOR);
  EXPECT_EQ(pin->TBCBaseOutputPin::GoInactive(), VFW_E_NO_ALLOCATOR);
  IMediaSample* sample = reinterpret_cast<IMediaSample*>(1);
  EXPECT_EQ(pin->AcquireBuffer(&sample, nullptr, nullptr, 0), E_NOINTERFACE);
  EXPECT_EQ(sample, nullptr);
  EXPECT_EQ(pin->SendSample(nullptr), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(pin->SendEndOfStream(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(pin->SendBeginFlush(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(pin->SendEndFlush(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(pin->SendNewSegment(0, 10, 1.0), VFW_E_NOT_CONNECTED);
  // An output pin is never the receiving end of stream notifications.
  EXPECT_EQ(pin->EndOfStream(), E_UNEXPECTED);
  EXPECT_EQ(pin->BeginFlush(), E_UNEXPECTED);
  EXPECT_EQ(pin->EndFlush(), E_UNEXPECTED);
  // Pausing with nothing connected starts nothing.
  ASSERT_EQ(f.Base->Pause(), S_OK);
  EXPECT_FALSE(pin->HasWorker());
  EXPECT_EQ(pin->Stats.ThreadCreates, 0);
  ASSERT_EQ(f.Base->Stop(), S_OK);

  // After a disconnection the pin forgets its peer.
  auto peer = CounterPeer();
  ASSERT_EQ(pin->Connect(peer.Get(), nullptr), S_OK);
  ASSERT_EQ(pin->SendEndOfStream(), S_OK);
  EXPECT_EQ(peer->EndOfStreams.load(), 1);
  Unplug(f, peer.Get());
  EXPECT_EQ(pin->SendSample(nullptr), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(pin->SendEndOfStream(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(pin->AgreedAllocator(), nullptr);
  EXPECT_EQ(peer->refs_.load(), 1);
}

TEST(Delivery, DownstreamRefusalEndsPumpingWithoutEndOfStream) {
  Filter f;
  PeerOptions o;
  o.ReceiveOkCount = 3;
  auto peer = CounterPeer(o);
  ASSERT_EQ(f.Stream()->Connect(peer.Get(), nullptr), S_OK);
  ASSERT_EQ(f.Base->Pause(), S_OK);
  ASSERT_TRUE(peer->WaitFor(4, 5000));
  Sleep(100);
  EXPECT_EQ(peer->Samples.load(), 4) << "pumping went on after Receive said S_FALSE";
  EXPECT_EQ(peer->EndOfStreams.load(), 0);
  EXPECT_EQ(f.Stream()->Stats.FillCalls, 4);
  EXPECT_TRUE(f.Stream()->HasWorker()) << "the thread stays until the filter stops";
  // Stop and pause start a new stream, which the peer refuses at once again.
  ASSERT_EQ(f.Base->Stop(), S_OK);
  ASSERT_EQ(f.Base->Pause(), S_OK);
  ASSERT_TRUE(peer->WaitFor(5, 5000));
  Sleep(50);
  EXPECT_EQ(peer->Samples.load(), 5);
  Unplug(f, peer.Get());
  EXPECT_EQ(peer->BadSamples.load(), 0);
}
