// Video media type records as the Windows tests build, copy and free them, without any of the
// product's code, so that test COM servers can use them too.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstring>

// A VIDEOINFOHEADER video type with a CoTaskMem format block; the caller frees the block.
inline void MakeVideoType(AM_MEDIA_TYPE& type, LONG width, LONG height, const GUID& subtype = MEDIASUBTYPE_RGB32,
                          REFERENCE_TIME frameTime = 333333) {
  memset(&type, 0, sizeof type);
  auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (!info) return;
  memset(info, 0, sizeof *info);
  const WORD bits = subtype == MEDIASUBTYPE_RGB24 ? 24 : 32;
  info->AvgTimePerFrame = frameTime;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = width;
  info->bmiHeader.biHeight = height;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = bits;
  info->bmiHeader.biCompression = BI_RGB;
  info->bmiHeader.biSizeImage = DWORD(width * height * (bits / 8));
  type.majortype = MEDIATYPE_Video;
  type.subtype = subtype;
  type.formattype = FORMAT_VideoInfo;
  type.bFixedSizeSamples = TRUE;
  type.lSampleSize = LONG(info->bmiHeader.biSizeImage);
  type.cbFormat = sizeof(VIDEOINFOHEADER);
  type.pbFormat = reinterpret_cast<BYTE*>(info);
}

inline void FreeTypeFields(AM_MEDIA_TYPE& type) {
  if (type.cbFormat) CoTaskMemFree(type.pbFormat);
  type.cbFormat = 0;
  type.pbFormat = nullptr;
  if (type.pUnk) type.pUnk->Release();
  type.pUnk = nullptr;
}

inline void FreeTypeRecord(AM_MEDIA_TYPE* type) {
  if (!type) return;
  FreeTypeFields(*type);
  CoTaskMemFree(type);
}

inline void CopyTypeFields(AM_MEDIA_TYPE& dst, const AM_MEDIA_TYPE& src) {
  dst = src;
  if (src.cbFormat) {
    dst.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src.cbFormat));
    memcpy(dst.pbFormat, src.pbFormat, src.cbFormat);
  }
  if (dst.pUnk) dst.pUnk->AddRef();
}

// The width of a VIDEOINFOHEADER type, 0 for any other.
inline LONG TypeWidth(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER)) return 0;
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader.biWidth;
}
