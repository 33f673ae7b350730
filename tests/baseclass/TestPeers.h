// What the framework's tests put on the other end of a connection: the shared test input pin,
// made to check every counter frame it receives; plus a media type owned by its scope, the
// apartment the tests run in, process probes and a watchdog.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <dshow.h>

#include "CounterControl.h"
#include "ProcessProbes.h"
#include "TestInputPin.h"

// Streaming threads and Wine's filter graph are free-threaded; the tests run in the MTA.
struct ComApartment : testing::Environment {
  void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
  void TearDown() override { CoUninitialize(); }
};
inline testing::Environment* const kComApartment = testing::AddGlobalTestEnvironment(new ComApartment);

// A test input pin that counts every sample that is not a whole, newer counter frame.
inline ComPtr<TestInputPin> CounterPeer(PeerOptions options = {}) {
  options.CheckFrame = &CheckCounterFrame;
  return TestInputPin::Make(std::move(options));
}

// A media type that frees its format block with the scope.
struct OwnedType {
  AM_MEDIA_TYPE Type{};
  OwnedType() = default;
  OwnedType(LONG w, LONG h, const GUID& subtype = MEDIASUBTYPE_RGB32) { MakeVideoType(Type, w, h, subtype); }
  explicit OwnedType(const VideoShape& s) : OwnedType(s.Width, s.Height, s.Subtype) {}
  ~OwnedType() { FreeTypeFields(Type); }
  OwnedType(const OwnedType&) = delete;
  OwnedType& operator=(const OwnedType&) = delete;
  AM_MEDIA_TYPE* operator&() { return &Type; }
};
