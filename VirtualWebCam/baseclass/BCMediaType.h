// Copying, freeing and comparing AM_MEDIA_TYPE records. Records and format blocks handed
// across COM come from CoTaskMemAlloc and are freed by whoever receives them.
#pragma once

#include <windows.h>
#include <dshow.h>

// dst gets every field and its own copy of the format block (cbFormat 0 when that copy cannot
// be allocated); pUnk is AddRef'ed. dst and src must differ.
void CloneMediaType(AM_MEDIA_TYPE& dst, const AM_MEDIA_TYPE& src);
// Frees the format block and releases pUnk; the record itself stays.
void ClearMediaType(AM_MEDIA_TYPE& type);
// ClearMediaType, then frees the record; null is ignored.
void DisposeMediaType(AM_MEDIA_TYPE* type);
// All zero, then lSampleSize 1 and bFixedSizeSamples TRUE.
void ResetMediaType(AM_MEDIA_TYPE& type);
bool SameMediaType(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b);
bool IsIncomplete(const AM_MEDIA_TYPE& type);
// GUID_NULL fields of given match anything.
bool MatchesGiven(const AM_MEDIA_TYPE& candidate, const AM_MEDIA_TYPE& given);

// A media type owned by the stack frame that declares it.
class TBCScratchType {
 public:
  TBCScratchType() { ResetMediaType(type_); }
  ~TBCScratchType() { ClearMediaType(type_); }
  TBCScratchType(const TBCScratchType&) = delete;
  TBCScratchType& operator=(const TBCScratchType&) = delete;
  AM_MEDIA_TYPE* Ptr() { return &type_; }
  AM_MEDIA_TYPE& Get() { return type_; }

 private:
  AM_MEDIA_TYPE type_;
};
