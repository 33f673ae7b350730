// Nothing may cross a COM boundary from the camera: a guarded body that throws (a failed
// assertion, a failed allocation, anything else) becomes its "vwc: ..." debug line and E_FAIL.
#pragma once

#include <windows.h>

namespace vwc {

template <class Body>
HRESULT Guarded(const char* failureLine, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    OutputDebugStringA(failureLine);
    return E_FAIL;
  }
}

}  // namespace vwc
