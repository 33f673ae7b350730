#include "BCMediaType.h"

#include "BCGuard.h"

#include <cstring>

void CloneMediaType(AM_MEDIA_TYPE& dst, const AM_MEDIA_TYPE& src) {
  BCAssert(&dst != &src);
  dst = src;
  if (src.cbFormat != 0 && src.pbFormat) {
    dst.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src.cbFormat));
    if (dst.pbFormat)
      memcpy(dst.pbFormat, src.pbFormat, src.cbFormat);
    else
      dst.cbFormat = 0;
  } else {
    // A record that claims a block it does not have is copied as one without a block.
    dst.cbFormat = 0;
    dst.pbFormat = nullptr;
  }
  if (dst.pUnk) dst.pUnk->AddRef();
}

void ClearMediaType(AM_MEDIA_TYPE& type) {
  if (type.cbFormat != 0) {
    CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
  }
  if (type.pUnk) {
    type.pUnk->Release();
    type.pUnk = nullptr;
  }
}

void DisposeMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return;
  ClearMediaType(*type);
  CoTaskMemFree(type);
}

void ResetMediaType(AM_MEDIA_TYPE& type) {
  memset(&type, 0, sizeof type);
  type.lSampleSize = 1;
  type.bFixedSizeSamples = TRUE;
}

namespace {

bool SameFormat(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  if (a.formattype != b.formattype || a.cbFormat != b.cbFormat) return false;
  if (a.cbFormat == 0) return true;
  if (!a.pbFormat || !b.pbFormat) return a.pbFormat == b.pbFormat;
  return memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

}  // namespace

bool SameMediaType(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  return a.majortype == b.majortype && a.subtype == b.subtype && SameFormat(a, b);
}

bool IsIncomplete(const AM_MEDIA_TYPE& type) { return type.majortype == GUID_NULL || type.formattype == GUID_NULL; }

bool MatchesGiven(const AM_MEDIA_TYPE& candidate, const AM_MEDIA_TYPE& given) {
  if (given.majortype != GUID_NULL && given.majortype != candidate.majortype) return false;
  if (given.subtype != GUID_NULL && given.subtype != candidate.subtype) return false;
  if (given.formattype == GUID_NULL) return true;
  return SameFormat(candidate, given);
}
