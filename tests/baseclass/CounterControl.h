// What the counter source and its receivers share: its class and control interface, the
// sample pattern and the video type, all without the framework so that COM clients of the
// test server can use them.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "TestMediaType.h"

// {6D2C5A41-8E3B-4F0A-9C7D-1B2E3F405A61}
inline constexpr CLSID CLSID_BCTestSource = {0x6d2c5a41, 0x8e3b, 0x4f0a, {0x9c, 0x7d, 0x1b, 0x2e, 0x3f, 0x40, 0x5a, 0x61}};
// {6D2C5A42-8E3B-4F0A-9C7D-1B2E3F405A61}
inline constexpr IID IID_IBCCounterControl = {0x6d2c5a42, 0x8e3b, 0x4f0a, {0x9c, 0x7d, 0x1b, 0x2e, 0x3f, 0x40, 0x5a, 0x61}};
inline constexpr wchar_t kBCTestSourceName[] = L"Murmella BC Test Source";

constexpr LONG kCounterWidth = 64;
constexpr LONG kCounterHeight = 48;
constexpr REFERENCE_TIME kCounterFrameTime = 333333;
constexpr DWORD kCounterMagic = 0x4D424354;

// Pixel 0 is the magic word, pixel 1 the sample's counter, every later pixel this.
inline DWORD CounterPixel(DWORD counter, DWORD index) { return (counter * 2654435761u) ^ (index * 40503u); }

// The counter of a whole counter frame of the expected length, or -1 for anything else
// (short, torn or foreign data).
inline LONGLONG CheckCounterFrame(const BYTE* data, long length, long expected) {
  if (!data || length != expected || length < 8 || length % 4) return -1;
  const DWORD* pixels = reinterpret_cast<const DWORD*>(data);
  if (pixels[0] != kCounterMagic) return -1;
  const DWORD counter = pixels[1];
  for (DWORD i = 2; i < DWORD(length / 4); ++i)
    if (pixels[i] != CounterPixel(counter, i)) return -1;
  return counter;
}

struct BCCounterStats {
  LONG FillCalls;      // FillBuffer calls begun
  LONG ThreadCreates;  // OnThreadCreate calls
  LONG ThreadEnds;     // OnThreadEnd calls
  LONG StreamStarts;   // OnStreamStart calls
  LONG InFill;         // 1 while a FillBuffer call is running
};

// The knobs, per pin (0-based index); reachable through QueryInterface on the filter.
struct DECLSPEC_UUID("6D2C5A42-8E3B-4F0A-9C7D-1B2E3F405A61") IBCCounterControl : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetFillDelay(LONG pin, DWORD milliseconds) = 0;
  // After `after` further successful FillBuffer calls, the next one returns result, once.
  virtual HRESULT STDMETHODCALLTYPE SetFillResult(LONG pin, LONG after, HRESULT result) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetThreadCreateResult(LONG pin, HRESULT result) = 0;
  // GoInactive does its work and then reports result.
  virtual HRESULT STDMETHODCALLTYPE SetGoInactiveResult(LONG pin, HRESULT result) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStats(LONG pin, BCCounterStats* stats) = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IBCCounterControl, 0x6d2c5a42, 0x8e3b, 0x4f0a, 0x9c, 0x7d, 0x1b, 0x2e, 0x3f, 0x40, 0x5a, 0x61)
#endif
